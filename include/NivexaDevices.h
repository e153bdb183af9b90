/** @file
 * The cameras this library drives, for programs that look after them rather than use them: an
 * installer writing a device-access rule, a tool naming an attached camera that this user may not
 * open, a demonstration that runs with no camera attached.
 *
 * These functions need no camera handle and record no error: each result says all there is.
 * This header uses fixed-width C types only, so it sits beside any toolkit's headers; it does
 * not need NivexaSdk.h.
 */
#ifndef NIVEXA_DEVICES_H
#define NIVEXA_DEVICES_H

#include <stdint.h>

/** Marks the device-catalogue functions: only these names leave the library. */
#if defined(_WIN32)
#if defined(NIVEXA_BUILDING_SDK)
#define NIVEXA_DEVICES_API __declspec(dllexport) /**< building the DLL */
#else
#define NIVEXA_DEVICES_API __declspec(dllimport) /**< using the DLL */
#endif
#else
#define NIVEXA_DEVICES_API __attribute__((visibility("default"))) /**< exported from the .so */
#endif

#ifdef __cplusplus
extern "C" {
#endif

/** The USB identity of one camera model the library drives. */
typedef struct NivexaUsbProduct {
  uint16_t vendorId;  /**< the USB vendor ID the camera reports */
  uint16_t productId; /**< the USB product ID the camera reports */
} NivexaUsbProduct;

/** The camera models this library opens, by USB identity: fills out[0 .. capacity - 1] (fewer
 * when there are fewer) and returns how many models there are, which may exceed capacity: call
 * again with room for all of them. out may be NULL when capacity is 0. Returns -1, and writes
 * nothing, for a negative capacity or a NULL out with a positive capacity. */
NIVEXA_DEVICES_API int32_t NivexaDevices_UsbProducts(NivexaUsbProduct* out, int32_t capacity);

/** Virtual cameras for this process, made by the library beside any attached ones: the same
 * description the environment variable NIVEXA_VIRTUAL_CAMERAS takes ("1" or "2" for that many
 * cameras with the default options, or option lists separated by ';', such as
 * "serial=DEMO01,pacing=fast"); NULL or "" asks for none. Once called, the call's description
 * counts instead of the variable's, which the library leaves as it is. The cameras appear at the
 * next enumeration (Nivexa_Initialize, Nivexa_EnumDevice) made while no camera of this process is
 * open, and a description that differs from the last one replaces the cameras made for it. Safe
 * from any thread. Returns 1, or 0 for a description the library cannot read, which changes
 * nothing. */
NIVEXA_DEVICES_API int NivexaDevices_UseVirtualCameras(const char* description);

#ifdef __cplusplus
}
#endif

#endif /* NIVEXA_DEVICES_H */
