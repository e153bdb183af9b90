/** @file
 * Message sinks: windows made by the library for programs that have none of their own.
 *
 * The SDK reports errors (NIVEXA_WM_ERROR) and frames (NIVEXA_WM_FRAME) by posting messages to
 * windows. A message sink is such a window: pass it wherever the interface takes an HWND, then
 * read the messages with NivexaMsg_Get.
 *
 * On Linux a sink stands in for a window: any thread may read it, or wait for NivexaMsg_Fd to
 * become readable in a poll/epoll loop or a GUI toolkit's main loop. A post to a null window goes
 * to the posting thread's own queue; NivexaMsg_Get(NULL, ...) reads the calling thread's queue.
 * Posting never blocks; a sink holds at most NIVEXA_MSG_CAPACITY messages, and a post to a full
 * sink is dropped and reported as failed.
 *
 * On Windows a sink is a message-only window of the thread that made it, for console programs
 * and services: only that thread reads it (NivexaMsg_Get), the system's queue limit applies, and
 * a program with windows of its own may pass those instead.
 */
#ifndef NIVEXA_MESSAGES_H
#define NIVEXA_MESSAGES_H

#include "NivexaSdk.h"

#ifdef __cplusplus
extern "C" {
#endif

/** Messages a sink holds; a post beyond them is dropped. On Windows the system's default limit
 * of a thread's queue, which is the same number. */
#define NIVEXA_MSG_CAPACITY 10000

/** One posted message, as NivexaMsg_Get hands it out. */
typedef struct NivexaMsg {
  NivexaWindow hwnd; /**< the sink (or NULL for a thread queue) it was posted to */
  uint32_t message;  /**< NIVEXA_WM_FRAME, NIVEXA_WM_ERROR or NIVEXA_WM_DEVICECHANGE */
  uintptr_t wParam;  /**< NIVEXA_WM_FRAME: a NivexaFrameInfo* (valid until the next frame) or 0;
                          NIVEXA_WM_DEVICECHANGE: NIVEXA_DBT_DEVICEARRIVAL or
                          NIVEXA_DBT_DEVICEREMOVECOMPLETE */
  intptr_t lParam;   /**< 0, or the error code (see NivexaError); NIVEXA_WM_DEVICECHANGE: a
                          const NivexaDeviceInterfaceRecord* */
} NivexaMsg;

/** Camera arrival and removal, on Linux; on Windows the system sends WM_DEVICECHANGE itself, with
 * its own DEV_BROADCAST_DEVICEINTERFACE record, to the window registered. Once Nivexa_Initialize
 * has registered a sink as its notification window, the sink receives NIVEXA_WM_DEVICECHANGE each
 * time a camera's USB interface appears or goes (a real camera through libusb hot-plug, a virtual
 * one when it is created, removed, unplugged or plugged in again), for as long as the sink exists.
 * Cameras present at registration are not announced. The library itself does not act on these
 * notices: after a removal the camera object reports error 13 on its next transfer, and after an
 * arrival Nivexa_SetDeviceNumber opens the camera again. Numbers and record follow the Windows
 * device broadcast, so the same handler serves both systems. */
#define NIVEXA_WM_DEVICECHANGE 0x0219          /**< the message */
#define NIVEXA_DBT_DEVICEARRIVAL 0x8000        /**< wParam: an interface arrived */
#define NIVEXA_DBT_DEVICEREMOVECOMPLETE 0x8004 /**< wParam: an interface is gone */
#define NIVEXA_DBT_DEVTYP_DEVICEINTERFACE 5    /**< NivexaDeviceInterfaceRecord.deviceType */
#define NIVEXA_DEVICE_NAME_CAPACITY 256        /**< bytes of NivexaDeviceInterfaceRecord.name */

/** lParam of NIVEXA_WM_DEVICECHANGE. The library keeps every record it handed out, unchanged, for
 * the life of the process: the pointer stays valid after the message was read. */
typedef struct NivexaDeviceInterfaceRecord {
  uint32_t size;         /**< sizeof(NivexaDeviceInterfaceRecord) */
  uint32_t deviceType;   /**< NIVEXA_DBT_DEVTYP_DEVICEINTERFACE */
  uint32_t reserved;     /**< 0 */
  uint8_t classGuid[16]; /**< the interface class, bytes in the order of the GUID's text form */
  char name[NIVEXA_DEVICE_NAME_CAPACITY]; /**< the interface path, as the camera list names it,
                                               NUL-terminated (cut short if it were longer) */
} NivexaDeviceInterfaceRecord;

/** A new, empty sink to pass wherever an HWND is taken; NULL only when the process is out of
 * memory or file descriptors. Destroy it with NivexaMsg_DestroySink. */
NIVEXA_API NivexaWindow NivexaMsg_CreateSink(void);
/** Destroys a sink and drops its messages; later posts to it fail. NULL and unknown are ignored. */
NIVEXA_API void NivexaMsg_DestroySink(NivexaWindow sink);
/** Takes the oldest message of sink (NULL: the calling thread's queue) into *out. timeoutMs:
 * milliseconds to wait, 0 polls, a negative value waits without limit. Returns 1 with *out
 * filled, 0 on time-out or for an unknown sink. */
NIVEXA_API NivexaBool NivexaMsg_Get(NivexaWindow sink, NivexaMsg* out, NivexaLong timeoutMs);
/** A descriptor that is readable while the sink holds messages; -1 for an unknown sink, and
 * always on Windows, where a thread waits for its windows' messages with
 * MsgWaitForMultipleObjects. It belongs to the sink: do not read from or close it. */
NIVEXA_API int NivexaMsg_Fd(NivexaWindow sink);

#ifdef __cplusplus
}
#endif

#endif /* NIVEXA_MESSAGES_H */
