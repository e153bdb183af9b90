/** @file
 * Nivexa SDK for the M7QX TEC cooled SWIR USB 3.0 camera: the public C interface.
 *
 * Every function except Nivexa_Initialize and Nivexa_GetDllVersion takes a camera handle
 * returned by Nivexa_Initialize. Functions return 1 for success and 0 for failure unless
 * stated otherwise; the reason for a failure is read with Nivexa_GetLastError, and each
 * recorded error is also posted as NIVEXA_WM_ERROR to the window given to Nivexa_Initialize.
 * No function throws; every function may be called from any thread. docs/api.md groups the
 * functions by task and shows a first program.
 *
 * Failures that skip the error stack (Nivexa_GetLastError does not see them):
 * - any call with an unknown or released handle: it returns its failure value (0; -1 for
 *   Nivexa_GetColorMode, Nivexa_GetSubSample and Nivexa_GetWaitTime; 0.0 for the double
 *   getters) and records and posts nothing, as there is no camera object to hold the code;
 * - calls that only post NIVEXA_WM_ERROR (the comment says "posts"): Nivexa_Fps,
 *   Nivexa_GetHalfClock, Nivexa_SetCrossbar, Nivexa_SetHalfClock, Nivexa_GetMirrorV and
 *   Nivexa_SetMirrorV without a camera, Nivexa_GetIOPort, Nivexa_SetIOPort,
 *   Nivexa_GetInternalCorrection, Nivexa_SetInternalCorrection, Nivexa_SetAutoIris,
 *   Nivexa_ReadSromID and Nivexa_WriteSromID;
 * - refusals that return 0 with no code at all (the comment says "no code"):
 *   Nivexa_SetSubSample, Nivexa_SetWaitTime, Nivexa_SetExposureTimeEx refused by the camera,
 *   Nivexa_SetSamplingRate without a camera, Nivexa_GetChannelGain and its kin with a channel
 *   outside 1..4, Nivexa_LoadConfigFileA with a file that does not open, a failed first read
 *   of Nivexa_ReadSerialNumberA, and the image writers' own failures in Nivexa_SaveImage.
 *
 * "Without a camera" below means the handle's camera engine could not be created; "no device"
 * means no camera is open on the handle (see Nivexa_SetDeviceNumber). Pointers may not be null
 * unless the comment says so; an `ok` argument is always optional (may be null) and receives 1
 * or 0, and is left untouched for an invalid handle. No function keeps a pointer it is given
 * after it returns, except the callback buffers of Nivexa_CallBackPreview and Nivexa_Trigger.
 */
#ifndef NIVEXA_SDK_H
#define NIVEXA_SDK_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

/* The SDK's own types. The functions are declared with these, so the header sits beside any
 * toolkit's headers. On Windows they are the system's LONG, BOOL, BYTE and HWND. On Linux the
 * header also defines those four names, as the documentation and the Windows examples use
 * them; a program whose other headers define them differently (X11's <X11/Xmd.h> has its own
 * BOOL and BYTE) defines NIVEXA_NO_WINDOWS_TYPES before including this header and uses the
 * Nivexa names. */
#ifdef _WIN32
#include <windows.h>
/** 32-bit signed integer. */
typedef LONG NivexaLong;
/** 1 true, 0 false. */
typedef BOOL NivexaBool;
/** One byte of pixel or register data. */
typedef BYTE NivexaByte;
/** A window handle. */
typedef HWND NivexaWindow;
#else
/** 32-bit signed integer, as LONG on Windows. */
typedef int32_t NivexaLong;
/** 1 true, 0 false. */
typedef int32_t NivexaBool;
/** One byte of pixel or register data. */
typedef uint8_t NivexaByte;
/** On Linux a window handle is a message sink (see NivexaMessages.h) or an X11 window (see
 * NivexaWindows.h). */
typedef struct HWND__* NivexaWindow;
#ifndef NIVEXA_NO_WINDOWS_TYPES
/** The Windows name of NivexaLong. */
typedef NivexaLong LONG;
/** The Windows name of NivexaBool. */
typedef NivexaBool BOOL;
/** The Windows name of NivexaByte. */
typedef NivexaByte BYTE;
/** The Windows name of NivexaWindow. */
typedef NivexaWindow HWND;
#endif
#endif

/* Marks the exported functions: only these names leave the library. */
#if defined(_WIN32)
#if defined(NIVEXA_BUILDING_SDK)
#define NIVEXA_API __declspec(dllexport) /**< building the DLL */
#else
#define NIVEXA_API __declspec(dllimport) /**< using the DLL */
#endif
#else
#define NIVEXA_API __attribute__((visibility("default"))) /**< exported from the .so */
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Messages posted (never sent) to the application's windows. */
#define NIVEXA_WM_FRAME 0x8002 /**< wParam: NivexaFrameInfo* or 0; lParam: 0 or an error code */
#define NIVEXA_WM_ERROR 0x8003 /**< wParam: 0; lParam: the error code just reported */

/** Error codes returned by Nivexa_GetLastError and carried by NIVEXA_WM_ERROR. */
enum NivexaError {
  NIVEXA_OK = 0,               /**< a device command that reports its outcome succeeded */
  NIVEXA_ERR_NO_CAMERA = 1,    /**< no camera engine, or refused in the current acquisition mode */
  NIVEXA_ERR_DEVICE = 2,       /**< device number not present, or the device did not open */
  NIVEXA_ERR_THREAD = 3,       /**< acquisition thread or its event could not be created */
  NIVEXA_ERR_WINDOW = 4,       /**< preview window could not be created */
  NIVEXA_ERR_MEMORY = 5,       /**< buffer missing, empty or too small */
  NIVEXA_ERR_REGISTER = 6,     /**< register access or device command failed */
  NIVEXA_ERR_FORMAT = 7,       /**< capture window or subsample setting not valid */
  NIVEXA_ERR_FRAME = 8,        /**< frame did not arrive in time or could not be read */
  NIVEXA_ERR_ARGUMENT = 9,     /**< argument out of range or not accepted */
  NIVEXA_ERR_UNSUPPORTED = 11, /**< not supported by this camera */
  NIVEXA_ERR_TEXT = 12,        /**< text conversion, temperature read or recording start failed */
  NIVEXA_ERR_STREAM_LOST = 13, /**< the camera stopped delivering frames while previewing */
  NIVEXA_ERR_MASK_FILE = 14    /**< mask file could not be opened or does not match */
};

/** Sent by address as wParam of NIVEXA_WM_FRAME. The library overwrites it with the next frame:
 * read it while handling the message. */
typedef struct NivexaFrameInfo {
  NivexaLong reserved;     /**< always 0 */
  NivexaLong width;        /**< pixels */
  NivexaLong height;       /**< pixels */
  NivexaLong bitsPerPixel; /**< 8, 16, 24, 32, 48 or 64 */
  NivexaLong frameRate;    /**< frames per second x 10; 0 in trigger mode */
  NivexaLong padding;      /**< not written */
  NivexaByte* buffer;      /**< the buffer given to Nivexa_CallBackPreview or Nivexa_Trigger */
} NivexaFrameInfo;

/** Filled by Nivexa_GetCameraInfo; the caller sets size first (at least 36, 56 for all). */
typedef struct NivexaCameraInfo {
  NivexaLong size;           /**< bytes the caller provides: sizeof(NivexaCameraInfo) for all */
  NivexaLong widthLimit;     /**< sensor width, 2048 pixels */
  NivexaLong heightLimit;    /**< sensor height, 1536 pixels */
  NivexaLong globalGainMin;  /**< range of Nivexa_SetGlobalGain */
  NivexaLong globalGainMax;  /**< (camera units) */
  NivexaLong colorGainMin;   /**< range of Nivexa_SetColorGainRed and the other colour gains */
  NivexaLong colorGainMax;   /**< (camera units) */
  NivexaLong exposureMin;    /**< range of Nivexa_SetExposureTime, ticks of 100 us */
  NivexaLong exposureMax;    /**< ticks of 100 us */
  NivexaLong padding;        /**< not written */
  double exposureSecondsMin; /**< range of Nivexa_SetExposureTimeEx, seconds; written only */
  double exposureSecondsMax; /**< when size >= 56 */
} NivexaCameraInfo;

/* ---- Lifecycle, version and errors ---- */

/** Creates a camera handle and opens the camera when exactly one is attached (with none or
 * several, choose one with Nivexa_SetDeviceNumber). notifyWindow (may be NULL) receives
 * NIVEXA_WM_ERROR for every recorded error. Returns the handle, or 0 when out of memory; a
 * handle is returned even when opening the camera failed (the reason is on its error stack). */
NIVEXA_API NivexaLong Nivexa_Initialize(NivexaWindow notifyWindow);
/** Saves the open camera's settings, stops every acquisition and frees the handle. Returns 1,
 * or 0 for an unknown handle. The handle is invalid afterwards. */
NIVEXA_API NivexaBool Nivexa_Release(NivexaLong h);
/** The library version, 0x022B0521; takes no handle and cannot fail. */
NIVEXA_API NivexaLong Nivexa_GetDllVersion(void);
/** Takes the newest recorded error code off the handle's stack of 20 (see NivexaError); repeated
 * calls give the older ones, then 0. Returns 0 for an invalid handle. */
NIVEXA_API NivexaLong Nivexa_GetLastError(NivexaLong h);
/** Always 0; reserved (any value, may be NULL) is ignored. */
NIVEXA_API NivexaLong Nivexa_GetStatus(NivexaLong h, void* reserved);

/* ---- Device selection and identity ---- */

/** Writes the names of up to 10 attached cameras ("NivexaM7QXTEC_01", ...) into names, the
 * unused entries as empty strings. Returns the number of names; 0 and error 1 without a
 * camera engine. */
NIVEXA_API NivexaLong Nivexa_EnumDevice(NivexaLong h, char names[10][256]);
/** Nivexa_EnumDevice with UTF-16 names. */
NIVEXA_API NivexaLong Nivexa_EnumDeviceW(NivexaLong h, wchar_t names[10][256]);
/** Writes the name of device index (0..31) into buffer of size bytes (more than 16). Errors: 9
 * for size <= 16, 2 for an index that is not an attached camera, 1 without a camera engine. */
NIVEXA_API NivexaBool Nivexa_GetDeviceName(NivexaLong h, NivexaLong index, char* buffer,
                                           NivexaLong size);
/** Nivexa_GetDeviceName into a UTF-16 buffer of size characters; error 12 when it does not fit.
 * A failed lookup returns 0 with its error and leaves an empty name in the buffer. */
NIVEXA_API NivexaBool Nivexa_GetDeviceNameW(NivexaLong h, NivexaLong index, wchar_t* buffer,
                                            NivexaLong size);
/** Opens camera number (0-based, as Nivexa_EnumDevice lists them) on this handle, after saving
 * the settings of the camera open so far, and applies number's stored settings. The same
 * number again returns 1 without reopening. Errors: 2 (not present or did not open), 1. */
NIVEXA_API NivexaBool Nivexa_SetDeviceNumber(NivexaLong h, NivexaLong number);
/** Reads the camera's serial number text (at most 31 characters) into buffer of size bytes
 * (at least 32). A camera without a serial number leaves buffer untouched and returns 1.
 * Errors: 9 for size < 32, 1; a failed read returns 0 with no code. */
NIVEXA_API NivexaBool Nivexa_ReadSerialNumberA(NivexaLong h, char* buffer, NivexaLong size);
/** Nivexa_ReadSerialNumberA into a UTF-16 buffer of size characters; error 12 when it does not
 * fit. */
NIVEXA_API NivexaBool Nivexa_ReadSerialNumberW(NivexaLong h, wchar_t* buffer, NivexaLong size);
/** Fills info with the sensor size and the ranges of gain and exposure; set info->size first.
 * Errors: 9 for a NULL info, 5 for size < 36, 1. */
NIVEXA_API NivexaBool Nivexa_GetCameraInfo(NivexaLong h, NivexaCameraInfo* info);

/* ---- Acquisition ----
 * Modes: idle; preview (Nivexa_Preview, Nivexa_CallBackPreview, Nivexa_StartPreview); capture
 * (Nivexa_Capture); trigger (Nivexa_Trigger). A command that conflicts with the current mode
 * records error 1. Nivexa_StopPreview or Nivexa_Close return to idle. Images are
 * Nivexa_Width x Nivexa_Height pixels at Nivexa_GetColorMode bits per pixel, rows of
 * width x bits / 8 bytes rounded up to a multiple of 4; rowOrder 1 gives the top row first,
 * 0 the bottom row first (as a Windows DIB). A 16-bit pixel is a little-endian word holding the
 * sensor's 12 significant bits, values 0..4095, whichever processing ran (every step takes 4095
 * as full scale); the preview, AVI recordings and JPEG files show it as value / 16. */

/** Starts continuous preview: frames are processed (and shown in the preview window when
 * Nivexa_SetPreviewWindow placed one) and Nivexa_GetImage returns the newest. Errors: 4 (window),
 * 8 (stream did not start), those of Nivexa_StartPreview. */
NIVEXA_API NivexaBool Nivexa_Preview(NivexaLong h);
/** Starts continuous preview that copies every processed frame into buffer (size bytes) and
 * posts NIVEXA_WM_FRAME with a NivexaFrameInfo to notify (may be NULL: the calling thread's
 * queue). The library keeps buffer and writes it from its acquisition thread until
 * Nivexa_StopPreview or Nivexa_Close returns: keep it allocated until then. A frame that does
 * not fit posts lParam 5 and records 5; a lost camera posts lParam 13 and records 13. */
NIVEXA_API NivexaBool Nivexa_CallBackPreview(NivexaLong h, NivexaWindow notify, NivexaByte* buffer,
                                             NivexaLong size, NivexaBool rowOrder);
/** Starts the preview stream with the settings stored so far; 1 also when already previewing.
 * Errors: 1 (capture or trigger mode, no camera), 2, 5, 7 (stream preparation), 6 (stream did
 * not start), 3 (thread). */
NIVEXA_API NivexaBool Nivexa_StartPreview(NivexaLong h);
/** Stops preview, trigger, capture mode and recording, waiting for their threads; afterwards the
 * callback buffers are no longer written. Error 1 without a camera engine. */
NIVEXA_API NivexaBool Nivexa_StopPreview(NivexaLong h);
/** Enters capture mode: the stream is prepared once and each Nivexa_SnapShot then takes the next
 * frame of a stream left running. Errors: 1 (preview or trigger mode), 2, 5, 7. */
NIVEXA_API NivexaBool Nivexa_Capture(NivexaLong h);
/** Takes one frame, waiting up to 3 s (6 s once Nivexa_Trigger was used), processes it and
 * copies it into buffer (size bytes; buffer may be NULL with size 0 to keep it for
 * Nivexa_GetImage and Nivexa_SaveImage). Errors: 1 (preview or trigger mode), 2, 5 (buffer too
 * small), 7, 8 (no frame in time). */
NIVEXA_API NivexaBool Nivexa_SnapShot(NivexaLong h, NivexaByte* buffer, NivexaLong size,
                                      NivexaBool rowOrder);
/** Copies the newest processed image into buffer (size bytes) without waiting, also during
 * preview. Error 5 when there is no image yet or buffer is NULL or too small; 1. */
NIVEXA_API NivexaBool Nivexa_GetImage(NivexaLong h, NivexaByte* buffer, NivexaLong size,
                                      NivexaBool rowOrder);
/** Starts hardware-trigger mode: each external trigger's frame is processed, copied into buffer
 * (size bytes) and announced by NIVEXA_WM_FRAME to notify (may be NULL), with frame rate 0.
 * buffer is kept and written by the acquisition thread until Nivexa_StopPreview or Nivexa_Close
 * returns. Errors: 1 (preview, capture or trigger mode), 2, 3, 4, 5, 7. */
NIVEXA_API NivexaBool Nivexa_Trigger(NivexaLong h, NivexaWindow notify, NivexaByte* buffer,
                                     NivexaLong size, NivexaBool rowOrder);
/** Closes the preview window and stops every acquisition (as Nivexa_StopPreview); the handle
 * stays open. Returns 1. */
NIVEXA_API NivexaBool Nivexa_Close(NivexaLong h);
/** Width of the capture window in pixels (before subsampling); 0 for an invalid handle. */
NIVEXA_API NivexaLong Nivexa_Width(NivexaLong h);
/** Height of the capture window in pixels (before subsampling); 0 for an invalid handle. */
NIVEXA_API NivexaLong Nivexa_Height(NivexaLong h);

/* ---- Filter values ----
 * Each named getter is Nivexa_GetFilterValue with a fixed id, each named setter
 * Nivexa_SetFilterValue with that id. A value outside the range named records error 9 and
 * changes nothing. Image-processing values (ids 1-12, 19-28, 102, 103) apply from the next
 * frame; gains and exposure go to the camera. Without a camera engine every one records 1.
 * Three ids have no named function and are reached only through these two:
 * - NIVEXA_FILTER_GAIN_MODE (104): 0 high gain, 1 low gain; not range-checked, not stored.
 * - NIVEXA_FILTER_SENSOR_SWITCH (105): a switch of other sensors of the family; this camera
 *   records 11.
 * - NIVEXA_FILTER_BLACK_LEVEL (106): the sensor's black level, stored per camera. A successful
 *   set or read records the code 0 (a device command's outcome), a failed one 6. */
#define NIVEXA_FILTER_GAIN_MODE 104     /**< filter id of the gain mode */
#define NIVEXA_FILTER_SENSOR_SWITCH 105 /**< filter id of the family's sensor switch */
#define NIVEXA_FILTER_BLACK_LEVEL 106   /**< filter id of the black level */

/** Reads filter id; ok (may be NULL) receives 1 or 0. Errors: 9 for an id that cannot be read,
 * 11 for what this camera lacks, 1. */
NIVEXA_API NivexaLong Nivexa_GetFilterValue(NivexaLong h, NivexaLong id, NivexaBool* ok);
/** Sets filter id to value. Errors: 9 (id unknown or value out of range), 11, 6, 1. */
NIVEXA_API NivexaBool Nivexa_SetFilterValue(NivexaLong h, NivexaLong id, NivexaLong value);
NIVEXA_API NivexaLong Nivexa_GetBrightness(NivexaLong h, NivexaBool* ok);   /**< id 1: -255..255 */
NIVEXA_API NivexaBool Nivexa_SetBrightness(NivexaLong h, NivexaLong value); /**< id 1: -255..255 */
NIVEXA_API NivexaLong Nivexa_GetContrast(NivexaLong h, NivexaBool* ok);     /**< id 2: -127..127 */
NIVEXA_API NivexaBool Nivexa_SetContrast(NivexaLong h, NivexaLong value);   /**< id 2: -127..127 */
NIVEXA_API NivexaLong Nivexa_GetHue(NivexaLong h, NivexaBool* ok);   /**< id 3: -360..360 degrees */
NIVEXA_API NivexaBool Nivexa_SetHue(NivexaLong h, NivexaLong value); /**< id 3: -360..360 degrees */
NIVEXA_API NivexaLong Nivexa_GetSaturation(NivexaLong h, NivexaBool* ok);   /**< id 4: -255..255 */
NIVEXA_API NivexaBool Nivexa_SetSaturation(NivexaLong h, NivexaLong value); /**< id 4: -255..255 */
NIVEXA_API NivexaLong Nivexa_GetSharpness(NivexaLong h, NivexaBool* ok);    /**< id 5: 0..30 */
NIVEXA_API NivexaBool Nivexa_SetSharpness(NivexaLong h, NivexaLong value);  /**< id 5: 0..30 */
/** id 6: red | green << 8 | blue << 16, the low bytes of ids 7, 8 and 9. */
NIVEXA_API NivexaLong Nivexa_GetBayerGainRGB(NivexaLong h, NivexaBool* ok);
/** id 6: bytes 0, 1 and 2 of value become ids 7, 8 and 9; no range check. */
NIVEXA_API NivexaBool Nivexa_SetBayerGainRGB(NivexaLong h, NivexaLong value);
NIVEXA_API NivexaLong Nivexa_GetBayerGainRed(NivexaLong h, NivexaBool* ok);     /**< id 7: 0..400 */
NIVEXA_API NivexaBool Nivexa_SetBayerGainRed(NivexaLong h, NivexaLong value);   /**< id 7: 0..400 */
NIVEXA_API NivexaLong Nivexa_GetBayerGainGreen(NivexaLong h, NivexaBool* ok);   /**< id 8: 0..400 */
NIVEXA_API NivexaBool Nivexa_SetBayerGainGreen(NivexaLong h, NivexaLong value); /**< id 8: 0..400 */
NIVEXA_API NivexaLong Nivexa_GetBayerGainBlue(NivexaLong h, NivexaBool* ok);    /**< id 9: 0..400 */
NIVEXA_API NivexaBool Nivexa_SetBayerGainBlue(NivexaLong h, NivexaLong value);  /**< id 9: 0..400 */
/** id 10: 0 or 1, white balance */
NIVEXA_API NivexaLong Nivexa_GetBayerGainAuto(NivexaLong h, NivexaBool* ok);
/** id 10: non-zero switches on */
NIVEXA_API NivexaBool Nivexa_SetBayerGainAuto(NivexaLong h, NivexaLong value);
NIVEXA_API NivexaLong Nivexa_GetGamma(NivexaLong h, NivexaBool* ok);       /**< id 11: 0..200 */
NIVEXA_API NivexaBool Nivexa_SetGamma(NivexaLong h, NivexaLong value);     /**< id 11: 0..200 */
NIVEXA_API NivexaLong Nivexa_GetBayerMode(NivexaLong h, NivexaBool* ok);   /**< id 12: 0..3 */
NIVEXA_API NivexaBool Nivexa_SetBayerMode(NivexaLong h, NivexaLong value); /**< id 12: 0..3 */
/** id 13: the camera's analog gain (range in NivexaCameraInfo). */
NIVEXA_API NivexaLong Nivexa_GetGlobalGain(NivexaLong h, NivexaBool* ok);
/** id 13: sets the analog gain and the four stored colour gains to value. */
NIVEXA_API NivexaBool Nivexa_SetGlobalGain(NivexaLong h, NivexaLong value);
/** id 14: a colour gain (range in NivexaCameraInfo). */
NIVEXA_API NivexaLong Nivexa_GetColorGainRed(NivexaLong h, NivexaBool* ok);
/** id 14: sets a colour gain; error 11 on this monochrome camera, which has none. */
NIVEXA_API NivexaBool Nivexa_SetColorGainRed(NivexaLong h, NivexaLong value);
/** id 15: a colour gain (range in NivexaCameraInfo). */
NIVEXA_API NivexaLong Nivexa_GetColorGainGreen1(NivexaLong h, NivexaBool* ok);
/** id 15: sets a colour gain; error 11 on this monochrome camera, which has none. */
NIVEXA_API NivexaBool Nivexa_SetColorGainGreen1(NivexaLong h, NivexaLong value);
/** id 16: a colour gain (range in NivexaCameraInfo). */
NIVEXA_API NivexaLong Nivexa_GetColorGainGreen2(NivexaLong h, NivexaBool* ok);
/** id 16: sets a colour gain; error 11 on this monochrome camera, which has none. */
NIVEXA_API NivexaBool Nivexa_SetColorGainGreen2(NivexaLong h, NivexaLong value);
/** id 17: a colour gain (range in NivexaCameraInfo). */
NIVEXA_API NivexaLong Nivexa_GetColorGainBlue(NivexaLong h, NivexaBool* ok);
/** id 17: sets a colour gain; error 11 on this monochrome camera, which has none. */
NIVEXA_API NivexaBool Nivexa_SetColorGainBlue(NivexaLong h, NivexaLong value);
/** id 18, ticks of 100 us */
NIVEXA_API NivexaLong Nivexa_GetExposureTime(NivexaLong h, NivexaBool* ok);
/** id 18: exposure in ticks of 100 us, within NivexaCameraInfo's exposure range. */
NIVEXA_API NivexaBool Nivexa_SetExposureTime(NivexaLong h, NivexaLong value);
NIVEXA_API NivexaLong Nivexa_GetGrayMode(NivexaLong h, NivexaBool* ok);     /**< id 19: 0..2 */
NIVEXA_API NivexaBool Nivexa_SetGrayMode(NivexaLong h, NivexaLong value);   /**< id 19: 0..2 */
NIVEXA_API NivexaLong Nivexa_GetGrayGainR(NivexaLong h, NivexaBool* ok);    /**< id 20: 0..255 */
NIVEXA_API NivexaBool Nivexa_SetGrayGainR(NivexaLong h, NivexaLong value);  /**< id 20: 0..255 */
NIVEXA_API NivexaLong Nivexa_GetGrayGainG1(NivexaLong h, NivexaBool* ok);   /**< id 21: 0..255 */
NIVEXA_API NivexaBool Nivexa_SetGrayGainG1(NivexaLong h, NivexaLong value); /**< id 21: 0..255 */
NIVEXA_API NivexaLong Nivexa_GetGrayGainG2(NivexaLong h, NivexaBool* ok);   /**< id 22: 0..255 */
NIVEXA_API NivexaBool Nivexa_SetGrayGainG2(NivexaLong h, NivexaLong value); /**< id 22: 0..255 */
NIVEXA_API NivexaLong Nivexa_GetGrayGainB(NivexaLong h, NivexaBool* ok);    /**< id 23: 0..255 */
NIVEXA_API NivexaBool Nivexa_SetGrayGainB(NivexaLong h, NivexaLong value);  /**< id 23: 0..255 */
NIVEXA_API NivexaLong Nivexa_GetGrayOffsetR(NivexaLong h, NivexaBool* ok);  /**< id 24: -255..255 */
NIVEXA_API NivexaBool Nivexa_SetGrayOffsetR(NivexaLong h,
                                            NivexaLong value);              /**< id 24: -255..255 */
NIVEXA_API NivexaLong Nivexa_GetGrayOffsetG1(NivexaLong h, NivexaBool* ok); /**< id 25: -255..255 */
NIVEXA_API NivexaBool Nivexa_SetGrayOffsetG1(NivexaLong h,
                                             NivexaLong value);             /**< id 25: -255..255 */
NIVEXA_API NivexaLong Nivexa_GetGrayOffsetG2(NivexaLong h, NivexaBool* ok); /**< id 26: -255..255 */
NIVEXA_API NivexaBool Nivexa_SetGrayOffsetG2(NivexaLong h,
                                             NivexaLong value);            /**< id 26: -255..255 */
NIVEXA_API NivexaLong Nivexa_GetGrayOffsetB(NivexaLong h, NivexaBool* ok); /**< id 27: -255..255 */
NIVEXA_API NivexaBool Nivexa_SetGrayOffsetB(NivexaLong h,
                                            NivexaLong value); /**< id 27: -255..255 */
/** id 100: the cooler, 1 on, 0 off; -1 and error 11 on a camera without cooler. */
NIVEXA_API NivexaLong Nivexa_GetPeltier(NivexaLong h, NivexaBool* ok);
/** id 100: switches the cooler on (non-zero) or off; error 11 without cooler. */
NIVEXA_API NivexaBool Nivexa_SetPeltier(NivexaLong h, NivexaLong value);
/** id 101: always -1 with error 11 and *ok = 0; read the temperature with
 * Nivexa_GetTemperatureEx. */
NIVEXA_API NivexaLong Nivexa_GetTemperature(NivexaLong h, NivexaBool* ok);
/** id 102: the defect-pixel filter, 0 or 1. */
NIVEXA_API NivexaLong Nivexa_GetDotFilter(NivexaLong h, NivexaBool* ok);
/** id 102: 0 or 1. */
NIVEXA_API NivexaBool Nivexa_SetDotFilter(NivexaLong h, NivexaLong value);
/** id 103: the flat-field filter, 0 or 1. */
NIVEXA_API NivexaLong Nivexa_GetMaskFilter(NivexaLong h, NivexaBool* ok);
/** id 103: 0 or 1. The corrected pixel at its white reference is 255, or 4095 at 16 bits. */
NIVEXA_API NivexaBool Nivexa_SetMaskFilter(NivexaLong h, NivexaLong value);
/** Channel 1..4 is id 29..32, which this camera does not read: error 9. Another channel
 * returns 0 with no code and leaves ok untouched. */
NIVEXA_API NivexaLong Nivexa_GetChannelGain(NivexaLong h, NivexaLong channel, NivexaBool* ok);
/** Channel 1..4 is id 29..32, which cannot be set: error 9; another channel: 0, no code. */
NIVEXA_API NivexaBool Nivexa_SetChannelGain(NivexaLong h, NivexaLong channel, NivexaLong value);
/** Channel 1..4 is id 33..36, which this camera does not read: error 9. Another channel
 * returns 0 with no code and leaves ok untouched. */
NIVEXA_API NivexaLong Nivexa_GetChannelOffset(NivexaLong h, NivexaLong channel, NivexaBool* ok);
/** Channel 1..4 is id 33..36, which cannot be set: error 9; another channel: 0, no code. */
NIVEXA_API NivexaBool Nivexa_SetChannelOffset(NivexaLong h, NivexaLong channel, NivexaLong value);

/* ---- Other parameters ---- */

/** Exposure in seconds, where the camera supports it; -1.0 with error 11 where not, or 1. */
NIVEXA_API double Nivexa_GetExposureTimeEx(NivexaLong h, NivexaBool* ok);
/** Sets the exposure in seconds (range in NivexaCameraInfo); the tick value becomes
 * seconds x 10000. Error 11 where unsupported; a value the camera refuses returns 0, no code. */
NIVEXA_API NivexaBool Nivexa_SetExposureTimeEx(NivexaLong h, double seconds);
/** The stored exposure in microseconds (ticks x 100). */
NIVEXA_API NivexaLong Nivexa_GetRealExposureTime(NivexaLong h, NivexaBool* ok);
/** Sets the exposure in microseconds, kept as whole ticks of 100 us (1234 becomes 1200); error 9
 * outside the exposure range of NivexaCameraInfo. */
NIVEXA_API NivexaBool Nivexa_SetRealExposureTime(NivexaLong h, NivexaLong microseconds);
/** Sensor temperature in degrees Celsius; records 0 when read, 12 when the read failed, 11 on a
 * camera without a thermometer (result 0.0). */
NIVEXA_API double Nivexa_GetTemperatureEx(NivexaLong h, NivexaBool* ok);
/** 1 when the image is mirrored left to right, else 0; error 1 without a camera engine. */
NIVEXA_API NivexaLong Nivexa_GetMirrorH(NivexaLong h);
/** Mirrors the image left to right (on non-zero) in the camera; error 1. */
NIVEXA_API NivexaBool Nivexa_SetMirrorH(NivexaLong h, NivexaBool on);
/** 1 when the image is mirrored top to bottom; without a camera engine posts error 1. */
NIVEXA_API NivexaLong Nivexa_GetMirrorV(NivexaLong h);
/** Mirrors the image top to bottom (on non-zero); without a camera engine posts error 1. */
NIVEXA_API NivexaBool Nivexa_SetMirrorV(NivexaLong h, NivexaBool on);
/** The stored subsample code: 0 full resolution, 1 half width and height. */
NIVEXA_API NivexaLong Nivexa_GetSubSample(NivexaLong h);
/** Sets the subsample code (0 or 1) for the next stream; another code returns 0, no code. */
NIVEXA_API NivexaBool Nivexa_SetSubSample(NivexaLong h, NivexaLong code);
/** Bits per pixel of the images delivered: 8 or 16 (values 0..4095) on this camera. */
NIVEXA_API NivexaLong Nivexa_GetColorMode(NivexaLong h);
/** Sets the bits per pixel of the images delivered from the next stream: 8 or 16 on this
 * monochrome camera (24, 32, 48 and 64 are colour formats it refuses); error 9 otherwise. */
NIVEXA_API NivexaBool Nivexa_SetColorMode(NivexaLong h, NivexaLong bitsPerPixel);
/** Milliseconds the preview thread sleeps before each frame wait (default 10). */
NIVEXA_API NivexaLong Nivexa_GetWaitTime(NivexaLong h);
/** Sets that sleep, milliseconds >= 0; a negative value returns 0, no code. */
NIVEXA_API NivexaBool Nivexa_SetWaitTime(NivexaLong h, NivexaLong milliseconds);
/** Reads the camera's I/O port byte into *value; a NULL value or failed read posts error 9,
 * no camera engine posts 1. */
NIVEXA_API NivexaBool Nivexa_GetIOPort(NivexaLong h, NivexaByte* value);
/** Writes the camera's I/O port byte; without a camera engine posts error 1. */
NIVEXA_API NivexaBool Nivexa_SetIOPort(NivexaLong h, NivexaByte value);
/** In-camera correction state; where the camera has none, posts error 11 and returns 0. */
NIVEXA_API NivexaLong Nivexa_GetInternalCorrection(NivexaLong h, NivexaBool* ok);
/** Switches in-camera correction; where the camera has none, posts error 11. */
NIVEXA_API NivexaBool Nivexa_SetInternalCorrection(NivexaLong h, NivexaBool on);
/** Automatic control mode: 0 off, 1 automatic exposure, 2 automatic gain. */
NIVEXA_API NivexaLong Nivexa_GetAutoIris(NivexaLong h, NivexaBool* ok);
/** Sets the automatic control mode 0, 1 or 2; another value posts error 9. */
NIVEXA_API NivexaBool Nivexa_SetAutoIris(NivexaLong h, NivexaLong mode);
/** Passes rate to the camera's frame-period setting and returns its result; 0, no code, without
 * a camera engine. */
NIVEXA_API NivexaBool Nivexa_SetSamplingRate(NivexaLong h, NivexaLong rate);
/** Writes 0 to *value (may be NULL) and returns 0: kept for source compatibility. */
NIVEXA_API NivexaLong Nivexa_GetSamplingRate(NivexaLong h, NivexaLong* value);
/** Writes 0 to *value (may be NULL) and returns 0: kept for source compatibility. */
NIVEXA_API NivexaLong Nivexa_GetVideoFormat(NivexaLong h, NivexaLong* value);
/** Records error 11 and returns -1: not supported by this camera. */
NIVEXA_API NivexaLong Nivexa_GetConfigFilter(NivexaLong h);
/** Records error 11 and returns -1: not supported by this camera. */
NIVEXA_API NivexaLong Nivexa_SetConfigFilter(NivexaLong h);

/* ---- Not supported by this camera: kept for source compatibility within the family ---- */

/** Records error 11 and returns 0; text is not used (may be NULL). */
NIVEXA_API NivexaBool Nivexa_SendText(NivexaLong h, char* text);
/** Records error 11 and returns 0; text is not written (may be NULL). */
NIVEXA_API NivexaBool Nivexa_ReceiveText(NivexaLong h, char* text);
/** Posts error 11 and returns 0. */
NIVEXA_API NivexaBool Nivexa_Fps(NivexaLong h);
/** Posts error 11 and returns 0. */
NIVEXA_API NivexaBool Nivexa_GetHalfClock(NivexaLong h);
/** Posts error 11 and returns 0. */
NIVEXA_API NivexaBool Nivexa_SetCrossbar(NivexaLong h);
/** Posts error 11 and returns 0. */
NIVEXA_API NivexaBool Nivexa_SetHalfClock(NivexaLong h);

/* ---- Register and device-memory access (for service tools; settings go through the
 * functions above) ---- */

/** Reads FPGA register address (0..255); the value is 0..255 and *ok = 1. Errors: 6, 1; *ok = 0
 * and 0 returned. */
NIVEXA_API NivexaLong Nivexa_Fpga_ReadRegister(NivexaLong h, NivexaLong address, NivexaBool* ok);
/** Writes the low 8 bits of value to FPGA register address (0..255). Errors: 6, 1. */
NIVEXA_API NivexaBool Nivexa_Fpga_WriteRegister(NivexaLong h, NivexaLong address, NivexaLong value);
/** Reads sensor register address (0..255); *ok = 1. Errors: 6, 1; *ok = 0 and 0 returned. */
NIVEXA_API NivexaLong Nivexa_ReadRegister(NivexaLong h, NivexaLong address, NivexaBool* ok);
/** Reads sensor register address (full 32-bit address). Errors: 6, 1. */
NIVEXA_API NivexaLong Nivexa_ReadRegisterEx(NivexaLong h, NivexaLong address, NivexaBool* ok);
/** Writes value to sensor register address (0..255); this camera's sensor registers keep its low
 * 8 bits. Errors: 6, 1. */
NIVEXA_API NivexaBool Nivexa_WriteRegister(NivexaLong h, NivexaLong address, NivexaLong value);
/** Writes value to sensor register address, both unmasked. Errors: 6, 1. */
NIVEXA_API NivexaBool Nivexa_WriteRegisterEx(NivexaLong h, NivexaLong address, NivexaLong value);
/** Reads one byte of the camera's non-volatile memory (address bits 12-15 ignored); a failure
 * posts error 1, sets *ok = 0 and returns 0. */
NIVEXA_API NivexaLong Nivexa_ReadSromID(NivexaLong h, NivexaLong address, NivexaBool* ok);
/** Writes the low byte of value to non-volatile memory address (0..4095), reading it back up to
 * 10 times; 1 when the first write succeeded. A failure posts error 1. */
NIVEXA_API NivexaBool Nivexa_WriteSromID(NivexaLong h, NivexaLong address, NivexaLong value);

/* ---- Preview window and capture geometry ---- */

/** Places the preview window of later Nivexa_Preview, Nivexa_CallBackPreview, Nivexa_Trigger and
 * Nivexa_Record calls: with a parent, a child window at (x, y) of width x height pixels inside
 * it, the frame scaled to it; without one, any non-zero value asks for a centred top-level window
 * as large as the frame; a NULL parent with all four values 0 means no window. Nothing is shown
 * until one of those calls starts; a window that cannot be made fails that call with error 4.
 * On Linux the parent is an X11 window made a HWND by NivexaWin_FromXWindow of NivexaWindows.h.
 * On Windows the window belongs to the thread that starts the stream, which pumps its messages.
 * Error 1. */
NIVEXA_API NivexaBool Nivexa_SetPreviewWindow(NivexaLong h, NivexaWindow parent, NivexaLong x,
                                              NivexaLong y, NivexaLong width, NivexaLong height);
/** Selects the stored capture-size preset of width x height pixels. Errors: 4 (no such preset),
 * 7 (preset not valid: the full sensor is used instead), 1. */
NIVEXA_API NivexaBool Nivexa_SetCaptureWindow(NivexaLong h, NivexaLong width, NivexaLong height);
/** Sets the sensor area read out, in pixels: horizontal total, start and width (hEffective),
 * vertical total, start and height (vEffective); start + width <= 2048, start + height <=
 * 1536. Errors: 9 (refused by the camera), 7 (area not valid), 1. */
NIVEXA_API NivexaBool Nivexa_SetCaptureWindowEx(NivexaLong h, NivexaLong hTotal, NivexaLong hStart,
                                                NivexaLong hEffective, NivexaLong vTotal,
                                                NivexaLong vStart, NivexaLong vEffective);
/** Writes the capture area (as Nivexa_SetCaptureWindowEx) through the pointers that are not
 * NULL. Returns 1. */
NIVEXA_API NivexaBool Nivexa_GetCaptureWindowEx(NivexaLong h, NivexaLong* hTotal,
                                                NivexaLong* hStart, NivexaLong* hEffective,
                                                NivexaLong* vTotal, NivexaLong* vStart,
                                                NivexaLong* vEffective);

/* ---- Files ----
 * The W variants take UTF-16 paths, converted to the narrow form first (error 12 when the
 * path does not convert into 1023 bytes). A file is written to a temporary file renamed into
 * place, through symbolic links, keeping an existing file's permissions; a device or a pipe
 * (which needs a reader already) is written in place; a folder or a block device is refused.
 * A file is read only when it is a regular file. */

/** Writes the newest processed image to path as fileType 0 BMP, 1 raw pixels, 2 JPEG quality
 * 100, 3 JPEG 70, 4 JPEG 20, 5 PNG or 6 TIFF (the extension does not matter), through a
 * temporary file renamed into place. A 16-bit image keeps its 12 significant bits (0..4095):
 * PNG and TIFF store the samples as they are and say so (PNG sBIT 12, TIFF SMaxSampleValue
 * 4095), JPEG stores value / 16. Error 1 when no image was taken yet; a failed write
 * returns 0, no code. */
NIVEXA_API NivexaBool Nivexa_SaveImage(NivexaLong h, const char* path, NivexaLong fileType);
/** Nivexa_SaveImage with a UTF-16 path. */
NIVEXA_API NivexaBool Nivexa_SaveImageW(NivexaLong h, const wchar_t* path, NivexaLong fileType);
/** Starts the stream and records the processed frames for durationMs milliseconds into an
 * uncompressed AVI file at path, in the preview window when showWindow is set and one was
 * placed. Returns once recording has started. Errors: 9 (NULL or empty path), 4, 12 (stream
 * or file), 3, 1. */
NIVEXA_API NivexaBool Nivexa_Record(NivexaLong h, const char* path, NivexaLong durationMs,
                                    NivexaBool showWindow);
/** Nivexa_Record with a UTF-16 path. */
NIVEXA_API NivexaBool Nivexa_RecordW(NivexaLong h, const wchar_t* path, NivexaLong durationMs,
                                     NivexaBool showWindow);
/** Loads the dark and white references of the flat-field and defect-pixel filters from a mask
 * file; bytes after the references are ignored. Errors: 14 (does not open or does not match
 * this sensor), 1. */
NIVEXA_API NivexaBool Nivexa_LoadMaskFile(NivexaLong h, const char* path);
/** Nivexa_LoadMaskFile with a UTF-16 path. */
NIVEXA_API NivexaBool Nivexa_LoadMaskFileW(NivexaLong h, const wchar_t* path);
/** Saves the dark and white references to a mask file at path. Errors: 14, 1. */
NIVEXA_API NivexaBool Nivexa_SaveMaskFile(NivexaLong h, const char* path);
/** Nivexa_SaveMaskFile with a UTF-16 path. */
NIVEXA_API NivexaBool Nivexa_SaveMaskFileW(NivexaLong h, const wchar_t* path);
/** Takes the newest raw frame as the dark (kind 0, lens capped) or white (kind 1, even light)
 * reference and finds the defect pixels again: in a dark reference those above the hot level, in
 * a white one those below the dead level (levels of the reference's depth, below), leaving a
 * border of NIVEXA_MASK_BORDER pixels unmarked. The frame must cover the whole sensor, else
 * nothing changes. The defect-pixel filter replaces the marked pixels. Errors: 12 (other kind),
 * 1. */
NIVEXA_API NivexaBool Nivexa_UpdateMaskData(NivexaLong h, NivexaLong kind);
#define NIVEXA_MASK_HOT_LEVEL_8 192    /**< dark reference above this: hot pixel (8 bits) */
#define NIVEXA_MASK_HOT_LEVEL_16 3072  /**< the same of a 16-bit reference (12 significant bits) */
#define NIVEXA_MASK_DEAD_LEVEL_8 64    /**< white reference below this: dead pixel (8 bits) */
#define NIVEXA_MASK_DEAD_LEVEL_16 1024 /**< the same of a 16-bit reference */
#define NIVEXA_MASK_BORDER 2 /**< rows and columns at each edge neither marked nor corrected */
/** Reads a configuration file of pairs of little-endian 32-bit integers, replacing the pairs
 * read before. A file that does not open or is larger than 1 MiB returns 0, no code. */
NIVEXA_API NivexaBool Nivexa_LoadConfigFileA(NivexaLong h, const char* path);
/** Nivexa_LoadConfigFileA with a UTF-16 path. */
NIVEXA_API NivexaBool Nivexa_LoadConfigFileW(NivexaLong h, const wchar_t* path);

/* ---- Settings dialogs ----
 * Modal, on the calling thread; parent may be NULL. 1 when the dialog was shown and closed (OK or
 * Cancel), 0 with error 1 without an open camera. Japanese texts when the user's language is
 * Japanese (Windows: the system language; Linux: the process's message locale, or LC_ALL,
 * LC_MESSAGES, LANG), else English. On Linux the dialogs are the GTK 3 module
 * libNivexaSdkDialogs.so, loaded from beside the library on the first dialog (or from the path in
 * NIVEXA_DIALOG_MODULE): when the module, GTK or a display is missing the call records error 4
 * and returns 0. */

/** Opens the stream-format dialog (colour mode, capture size, subsampling, wait time).
 * Errors: 4, 1. */
NIVEXA_API NivexaBool Nivexa_SetCameraDlg(NivexaLong h, NivexaWindow parent);
/** Opens the image-processing dialog (the filter values). Errors: 4, 1. */
NIVEXA_API NivexaBool Nivexa_SetImageDlg(NivexaLong h, NivexaWindow parent);
/** Opens the camera dialog (gain, exposure, mirroring, cooling). Errors: 4, 1. */
NIVEXA_API NivexaBool Nivexa_SetAnalogDlg(NivexaLong h, NivexaWindow parent);

#ifdef __cplusplus
}
#endif

#endif /* NIVEXA_SDK_H */
