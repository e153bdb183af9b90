/** @file
 * Buffer-queue acquisition: the application owns a set of buffers, lends them to the library
 * with NivexaStream_Queue, and gets each back filled with one frame, its frame number, its time
 * and its status, through NivexaStream_Wait or a callback.
 *
 * A buffer belongs to the library from NivexaStream_Queue until it comes back (from
 * NivexaStream_Wait, to the callback, or cancelled by NivexaStream_Stop); the library never
 * writes a buffer it has handed back, nor one it has not been given. A frame that arrives while
 * no buffer is queued is dropped and counted, never written over a buffer the application holds.
 * Buffers come back in the order their frames arrived.
 *
 * The handle is the one Nivexa_Initialize returned, and errors go to its error stack (read with
 * Nivexa_GetLastError; see NivexaError in NivexaSdk.h). A buffer stream is one more acquisition
 * mode beside preview, capture and trigger: starting one while another runs fails with error 1,
 * and so does starting a preview, capture or trigger while a buffer stream runs. Nivexa_Close and
 * Nivexa_Release stop it and cancel its buffers. When the camera stops delivering, the buffer
 * being filled and every queued buffer come back NIVEXA_BUFFER_FAILED, error 13 is recorded and
 * NIVEXA_WM_FRAME with lParam 13 is posted to the window given to Nivexa_Initialize, as the
 * preview does.
 *
 * Raw frames are the frames exactly as the camera sent them, top row first, rows packed
 * (stride = width x bytes per pixel): 8 bits per pixel, or 16 when the colour mode
 * (Nivexa_SetColorMode) is 16, 48 or 64, each pixel a little-endian word holding the sensor's
 * 12 significant bits in its low bits (values 0..4095). Processed frames have passed the pixel
 * pipeline (corrections, filters, gamma, contrast ...) and are the output bitmap of the current
 * colour mode, top row first, rows padded to a multiple of 4 bytes as stride says.
 *
 * This header uses fixed-width C types only, so it sits beside any toolkit's headers; it does
 * not need NivexaSdk.h.
 */
#ifndef NIVEXA_STREAM_H
#define NIVEXA_STREAM_H

#include <stdint.h>

/** Marks the buffer-stream functions: only these names leave the library. */
#if defined(_WIN32)
#if defined(NIVEXA_BUILDING_SDK)
#define NIVEXA_STREAM_API __declspec(dllexport) /**< building the DLL */
#else
#define NIVEXA_STREAM_API __declspec(dllimport) /**< using the DLL */
#endif
#else
#define NIVEXA_STREAM_API __attribute__((visibility("default"))) /**< exported from the .so */
#endif

#ifdef __cplusplus
extern "C" {
#endif

/** NivexaStream_Start flag: frames pass the pixel pipeline (else they come raw). */
#define NIVEXA_STREAM_PROCESSED 0x1
/** NivexaStream_Start flag: one frame per hardware trigger, the camera armed as Nivexa_Trigger
 * arms it (else the camera streams freely at its frame rate). */
#define NIVEXA_STREAM_TRIGGERED 0x2

/** What became of a buffer, in NivexaBuffer::status. */
enum NivexaBufferStatus {
  NIVEXA_BUFFER_QUEUED = 0,     /**< lent to the library, not yet back */
  NIVEXA_BUFFER_COMPLETE = 1,   /**< holds a whole frame */
  NIVEXA_BUFFER_INCOMPLETE = 2, /**< the frame's payload arrived short; the data is not a frame */
  NIVEXA_BUFFER_FAILED = 3,     /**< the camera stopped delivering; the data is not a frame */
  NIVEXA_BUFFER_CANCELLED = 4   /**< the stream stopped before a frame reached it; not written */
};

/** One application buffer. The application fills in data, capacity and (if it likes) user
 * before queueing; the library writes the other fields when it hands the buffer back. */
typedef struct NivexaBuffer {
  void* data;           /**< application memory of at least capacity bytes */
  uint32_t capacity;    /**< bytes at data; at least NivexaStream_FrameBytes */
  uint32_t status;      /**< a NivexaBufferStatus */
  uint32_t frameNumber; /**< the camera's frame counter from the frame's header */
  uint32_t reserved;    /**< 0; keeps the layout free of padding */
  uint64_t timestampNs; /**< host time, monotonic, in ns, when the frame's last byte arrived */
  int32_t width;        /**< pixels */
  int32_t height;       /**< rows */
  int32_t bitsPerPixel; /**< 8 or 16 raw; 8, 16, 24, 32, 48 or 64 processed */
  int32_t stride;       /**< bytes from one row's start to the next row's start */
  void* user;           /**< the application's own; never read or written by the library */
} NivexaBuffer;

/**
 * Counts of the current (or last) buffer stream, since its NivexaStream_Start. A frame is dropped
 * when no buffer was queued as it arrived, or when newer frames replaced it before the stream
 * took it (the stream fell behind the camera); only frames the host never received are lost.
 */
typedef struct NivexaStreamStatistics {
  uint64_t framesDelivered;     /**< buffers handed back NIVEXA_BUFFER_COMPLETE */
  uint64_t framesLost;          /**< gaps in the camera's frame counter: frames never received */
  uint64_t framesDropped;       /**< frames received but not delivered (see above) */
  uint64_t incompleteTransfers; /**< buffers handed back NIVEXA_BUFFER_INCOMPLETE */
  uint64_t failedTransfers;     /**< buffers handed back NIVEXA_BUFFER_FAILED */
  uint64_t bytes;               /**< image bytes written into complete buffers */
  double frameRate;             /**< frames received per second, over the last second or so */
} NivexaStreamStatistics;

/** Called on the library's acquisition thread with each buffer as it comes back (filled, failed
 * or cancelled), instead of handing it to NivexaStream_Wait. It may call NivexaStream_Queue
 * (typically with the same buffer, once done with it) and NivexaStream_Stop; it should return
 * quickly, as the next frame waits for it. */
typedef void (*NivexaStreamCallback)(NivexaBuffer* buffer, void* context);

/** The capacity a buffer needs for a stream started now with flags (NIVEXA_STREAM_PROCESSED or
 * not): the current capture window at the colour mode's depth. 0, with error 1, without a
 * camera, or an unknown handle. */
NIVEXA_STREAM_API uint32_t NivexaStream_FrameBytes(int32_t h, int32_t flags);

/** The rate at which the open camera starts frames as it is programmed now: one over the sensor's
 * frame period at its exposure, capture window and depth, in frames per second. A stream's start
 * programs the colour mode's depth and the capture window, so a consumer that announces its rate
 * (a media pipeline's caps) asks once NivexaStream_Start has returned; before that the answer is
 * the camera's last programming. A stream delivers fewer when the host or the link cannot keep
 * up, and a triggered one delivers one per trigger; the measured rate is
 * NivexaStreamStatistics.frameRate. Returns 1, or 0 with error 9 for a NULL framesPerSecond, 2
 * when no camera is open (or it was unplugged), 1 for no camera engine, or for an unknown
 * handle. */
NIVEXA_STREAM_API int NivexaStream_GetFrameRate(int32_t h, double* framesPerSecond);

/** Starts filling the queued buffers (buffers may be queued before or after). flags: any of
 * NIVEXA_STREAM_PROCESSED and NIVEXA_STREAM_TRIGGERED. Resets the statistics. Returns 1, or 0
 * with error 1 (no camera, or another acquisition runs), 2 (no device open), 7 (capture window
 * not valid), 9 (unknown flags), 5 (out of memory) or 3 (no thread). Starting a running stream
 * again with the same flags returns 1. */
NIVEXA_STREAM_API int NivexaStream_Start(int32_t h, int32_t flags);

/** Lends buffer to the library: it is filled by a later frame. Its status reads
 * NIVEXA_BUFFER_QUEUED until it comes back. Returns 1, or 0 with error 9 for a NULL buffer or
 * data, or a buffer already lent (to this handle or another), or 5 when capacity is below
 * NivexaStream_FrameBytes of the running stream (checked at NivexaStream_Start for buffers
 * queued before it: those come back NIVEXA_BUFFER_CANCELLED). Allowed from the callback. */
NIVEXA_STREAM_API int NivexaStream_Queue(int32_t h, NivexaBuffer* buffer);

/** The oldest buffer that came back, or NULL when none comes within timeoutMs (0 polls, a
 * negative value waits without limit), when a callback is set, or when the handle is released
 * or the stream stops while waiting (its cancelled buffers are then still returned by later
 * calls). */
NIVEXA_STREAM_API NivexaBuffer* NivexaStream_Wait(int32_t h, int32_t timeoutMs);

/** Sets (fn not NULL) or clears the callback; while one is set, buffers come back through it and
 * NivexaStream_Wait returns NULL. Buffers that came back before it was set stay for
 * NivexaStream_Wait. Returns 1, or 0 for an unknown handle. */
NIVEXA_STREAM_API int NivexaStream_SetCallback(int32_t h, NivexaStreamCallback fn, void* context);

/** Stops the stream; the buffer being filled and every queued buffer come back
 * NIVEXA_BUFFER_CANCELLED (through the callback, or for NivexaStream_Wait). When it returns no
 * buffer is written any more, except when called from the callback: then the current frame's
 * callback returns first. Returns 1 (also when no stream runs), or 0 for an unknown handle. */
NIVEXA_STREAM_API int NivexaStream_Stop(int32_t h);

/** Copies the statistics of the running or last stream into out. Returns 1, or 0 with error 9
 * for a NULL out, or for an unknown handle. */
NIVEXA_STREAM_API int NivexaStream_GetStatistics(int32_t h, NivexaStreamStatistics* out);

/**
 * @name AVI files from buffers
 * An uncompressed AVI recording written frame by frame from buffers the stream handed back (or
 * any buffer of the same layout: top row first, stride bytes from row to row). The file holds
 * what the library's own recorder (Nivexa_Record) writes: 24-bit rows, bottom row first, 8-bit
 * grey copied into blue, green and red, 16-bit samples divided by 16 (their 12 significant bits
 * onto 0..255). Any length: a recording that may outgrow the classic layout has the OpenDML
 * extended index, whose first RIFF chunk ordinary AVI readers play on their own.
 *
 * The file takes its name at NivexaStream_AviClose; until then it is a temporary beside it, so
 * no file is ever found half-written under the name. NivexaStream_AviRelease without a close
 * discards the recording.
 *
 * Errors go to the error stack of the handle given to NivexaStream_AviCreate (read with
 * Nivexa_GetLastError): 9 for an argument the file cannot take (a NULL path, buffer or data, a
 * buffer whose width, height or depth is not the file's, a stride or capacity too small for the
 * frame, a buffer that does not hold a whole frame, or a file already closed), 12 when the file
 * cannot be created or written, 5 without memory. A NULL file, or one released or never created,
 * names no handle: calls on it return 0 (or do nothing) without an error. A file is used from
 * one thread at a time or from several: each call is complete before the next on that file
 * starts.
 * @{
 */

/** An AVI recording in progress; opaque. */
typedef struct NivexaAviFile NivexaAviFile;

/** Creates the recording at path (replacing a complete file of that name once it is closed) for
 * frames of width x height at bitsPerPixel (8, 16, 24, 32, 48 or 64). framesPerSecond is the rate
 * written into the file; 0 takes it from the timestamps of the first and last frames appended.
 * maxFrames is the most frames the recording is expected to get, or 0 when not known: when that
 * many fit below 2 GiB the file has the classic layout (one RIFF chunk, an idx1 index) that every
 * AVI reader plays whole, otherwise the OpenDML extended layout, which grows to any length. A
 * classic file takes frames beyond maxFrames while they fit, and then refuses them (error 12).
 * Returns the file, or NULL with error 9 (NULL path, non-positive size, another depth, a
 * negative rate), 12 (the folder does not exist or refuses the file) or 5; NULL without an error
 * for an unknown handle. */
NIVEXA_STREAM_API NivexaAviFile* NivexaStream_AviCreate(int32_t h, const char* path, int32_t width,
                                                        int32_t height, int32_t bitsPerPixel,
                                                        double framesPerSecond, uint64_t maxFrames);

/** Appends the frame in buffer, whose status must be NIVEXA_BUFFER_COMPLETE (an application
 * that fills a buffer itself sets it so). The buffer is only read, and may be queued again as
 * soon as the call returns. Returns 1, or 0 with error 9 or 12 (the disk refused it: the frame
 * is not in the file, and the file keeps the frames before it; also when the file is full).
 */
NIVEXA_STREAM_API int NivexaStream_AviAppend(NivexaAviFile* file, const NivexaBuffer* buffer);

/** Writes the index and the final counts and gives the file its name. Returns 1, or 0 with
 * error 12 when any frame or the index could not be written (the file then holds the frames that
 * were, if any could be) or 9 when the file was closed already. The file stays valid, refusing
 * appends, until NivexaStream_AviRelease. */
NIVEXA_STREAM_API int NivexaStream_AviClose(NivexaAviFile* file);

/** The number of frames in the file so far; 0 for a NULL or unknown file. */
NIVEXA_STREAM_API uint64_t NivexaStream_AviFrames(const NivexaAviFile* file);

/** Frees the file. A recording not closed is discarded: its temporary goes and nothing appears
 * under its name. NULL is ignored; a file released before, or one that never came from
 * NivexaStream_AviCreate, is refused without effect. */
NIVEXA_STREAM_API void NivexaStream_AviRelease(NivexaAviFile* file);

/** @} */

#ifdef __cplusplus
}
#endif

#endif /* NIVEXA_STREAM_H */
