/*
 * Nivexa SDK for the M7QX TEC cooled SWIR USB 3.0 camera: the public C interface.
 *
 * Every function except Nivexa_Initialize and Nivexa_GetDllVersion takes a camera handle
 * returned by Nivexa_Initialize. Functions return 1 for success and 0 for failure unless
 * stated otherwise; the reason for a failure is read with Nivexa_GetLastError, and each
 * recorded error is also posted as NIVEXA_WM_ERROR to the window given to Nivexa_Initialize.
 * No function throws; every function may be called from any thread.
 */
#ifndef NIVEXA_SDK_H
#define NIVEXA_SDK_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#ifdef _WIN32
#include <windows.h>
#else
typedef int32_t LONG;
typedef int32_t BOOL;
typedef uint8_t BYTE;
/* On Linux a window handle is a message sink (see NivexaMessages.h). */
typedef struct HWND__* HWND;
#endif

#if defined(_WIN32)
#if defined(NIVEXA_BUILDING_SDK)
#define NIVEXA_API __declspec(dllexport)
#else
#define NIVEXA_API __declspec(dllimport)
#endif
#else
#define NIVEXA_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Messages posted (never sent) to the application's windows. */
#define NIVEXA_WM_FRAME 0x8002 /* wParam: NivexaFrameInfo* or 0; lParam: 0 or an error code */
#define NIVEXA_WM_ERROR 0x8003 /* wParam: 0; lParam: the error code just reported */

/* Error codes returned by Nivexa_GetLastError and carried by NIVEXA_WM_ERROR. */
enum NivexaError {
  NIVEXA_OK = 0,               /* a device command that reports its outcome succeeded */
  NIVEXA_ERR_NO_CAMERA = 1,    /* no camera engine, or refused in the current acquisition mode */
  NIVEXA_ERR_DEVICE = 2,       /* device number not present, or the device did not open */
  NIVEXA_ERR_THREAD = 3,       /* acquisition thread or its event could not be created */
  NIVEXA_ERR_WINDOW = 4,       /* preview window could not be created */
  NIVEXA_ERR_MEMORY = 5,       /* buffer missing, empty or too small */
  NIVEXA_ERR_REGISTER = 6,     /* register access or device command failed */
  NIVEXA_ERR_FORMAT = 7,       /* capture window or subsample setting not valid */
  NIVEXA_ERR_FRAME = 8,        /* frame did not arrive in time or could not be read */
  NIVEXA_ERR_ARGUMENT = 9,     /* argument out of range or not accepted */
  NIVEXA_ERR_UNSUPPORTED = 11, /* not supported by this camera */
  NIVEXA_ERR_TEXT = 12,        /* text conversion, temperature read or recording start failed */
  NIVEXA_ERR_STREAM_LOST = 13, /* the camera stopped delivering frames while previewing */
  NIVEXA_ERR_MASK_FILE = 14    /* mask file could not be opened or does not match */
};

/* Sent by address as wParam of NIVEXA_WM_FRAME; valid while the message is handled. */
typedef struct NivexaFrameInfo {
  LONG reserved;     /* always 0 */
  LONG width;        /* pixels */
  LONG height;       /* pixels */
  LONG bitsPerPixel; /* 8, 16, 24, 32, 48 or 64 */
  LONG frameRate;    /* frames per second x 10; 0 in trigger mode */
  LONG padding;
  BYTE* buffer; /* the buffer given to Nivexa_CallBackPreview or Nivexa_Trigger */
} NivexaFrameInfo;

/* Filled by Nivexa_GetCameraInfo; the caller sets size first (at least 36, 56 for all). */
typedef struct NivexaCameraInfo {
  LONG size;
  LONG widthLimit;
  LONG heightLimit;
  LONG globalGainMin;
  LONG globalGainMax;
  LONG colorGainMin;
  LONG colorGainMax;
  LONG exposureMin; /* ticks of 100 us */
  LONG exposureMax;
  LONG padding;
  double exposureSecondsMin; /* written only when size >= 56 */
  double exposureSecondsMax;
} NivexaCameraInfo;

/* Lifecycle, version and errors */
NIVEXA_API LONG Nivexa_Initialize(HWND notifyWindow);
NIVEXA_API BOOL Nivexa_Release(LONG h);
NIVEXA_API LONG Nivexa_GetDllVersion(void);
NIVEXA_API LONG Nivexa_GetLastError(LONG h);
NIVEXA_API LONG Nivexa_GetStatus(LONG h, void* reserved);

/* Device selection and identity */
NIVEXA_API LONG Nivexa_EnumDevice(LONG h, char names[10][256]);
NIVEXA_API LONG Nivexa_EnumDeviceW(LONG h, wchar_t names[10][256]);
NIVEXA_API BOOL Nivexa_GetDeviceName(LONG h, LONG index, char* buffer, LONG size);
NIVEXA_API BOOL Nivexa_GetDeviceNameW(LONG h, LONG index, wchar_t* buffer, LONG size);
NIVEXA_API BOOL Nivexa_SetDeviceNumber(LONG h, LONG number);
NIVEXA_API BOOL Nivexa_ReadSerialNumberA(LONG h, char* buffer, LONG size);
NIVEXA_API BOOL Nivexa_ReadSerialNumberW(LONG h, wchar_t* buffer, LONG size);
NIVEXA_API BOOL Nivexa_GetCameraInfo(LONG h, NivexaCameraInfo* info);

/* Acquisition */
NIVEXA_API BOOL Nivexa_Preview(LONG h);
NIVEXA_API BOOL Nivexa_CallBackPreview(LONG h, HWND notify, BYTE* buffer, LONG size, BOOL rowOrder);
NIVEXA_API BOOL Nivexa_StartPreview(LONG h);
NIVEXA_API BOOL Nivexa_StopPreview(LONG h);
NIVEXA_API BOOL Nivexa_Capture(LONG h);
NIVEXA_API BOOL Nivexa_SnapShot(LONG h, BYTE* buffer, LONG size, BOOL rowOrder);
NIVEXA_API BOOL Nivexa_GetImage(LONG h, BYTE* buffer, LONG size, BOOL rowOrder);
NIVEXA_API BOOL Nivexa_Trigger(LONG h, HWND notify, BYTE* buffer, LONG size, BOOL rowOrder);
NIVEXA_API BOOL Nivexa_Close(LONG h);
NIVEXA_API LONG Nivexa_Width(LONG h);
NIVEXA_API LONG Nivexa_Height(LONG h);

/* Filter values: each named getter is Nivexa_GetFilterValue with a fixed id, each named
 * setter Nivexa_SetFilterValue with that id. */
NIVEXA_API LONG Nivexa_GetFilterValue(LONG h, LONG id, BOOL* ok);
NIVEXA_API BOOL Nivexa_SetFilterValue(LONG h, LONG id, LONG value);
NIVEXA_API LONG Nivexa_GetBrightness(LONG h, BOOL* ok); /* id 1 */
NIVEXA_API BOOL Nivexa_SetBrightness(LONG h, LONG value);
NIVEXA_API LONG Nivexa_GetContrast(LONG h, BOOL* ok); /* id 2 */
NIVEXA_API BOOL Nivexa_SetContrast(LONG h, LONG value);
NIVEXA_API LONG Nivexa_GetHue(LONG h, BOOL* ok); /* id 3 */
NIVEXA_API BOOL Nivexa_SetHue(LONG h, LONG value);
NIVEXA_API LONG Nivexa_GetSaturation(LONG h, BOOL* ok); /* id 4 */
NIVEXA_API BOOL Nivexa_SetSaturation(LONG h, LONG value);
NIVEXA_API LONG Nivexa_GetSharpness(LONG h, BOOL* ok); /* id 5 */
NIVEXA_API BOOL Nivexa_SetSharpness(LONG h, LONG value);
NIVEXA_API LONG Nivexa_GetBayerGainRGB(LONG h, BOOL* ok); /* id 6 */
NIVEXA_API BOOL Nivexa_SetBayerGainRGB(LONG h, LONG value);
NIVEXA_API LONG Nivexa_GetBayerGainRed(LONG h, BOOL* ok); /* id 7 */
NIVEXA_API BOOL Nivexa_SetBayerGainRed(LONG h, LONG value);
NIVEXA_API LONG Nivexa_GetBayerGainGreen(LONG h, BOOL* ok); /* id 8 */
NIVEXA_API BOOL Nivexa_SetBayerGainGreen(LONG h, LONG value);
NIVEXA_API LONG Nivexa_GetBayerGainBlue(LONG h, BOOL* ok); /* id 9 */
NIVEXA_API BOOL Nivexa_SetBayerGainBlue(LONG h, LONG value);
NIVEXA_API LONG Nivexa_GetBayerGainAuto(LONG h, BOOL* ok); /* id 10 */
NIVEXA_API BOOL Nivexa_SetBayerGainAuto(LONG h, LONG value);
NIVEXA_API LONG Nivexa_GetGamma(LONG h, BOOL* ok); /* id 11 */
NIVEXA_API BOOL Nivexa_SetGamma(LONG h, LONG value);
NIVEXA_API LONG Nivexa_GetBayerMode(LONG h, BOOL* ok); /* id 12 */
NIVEXA_API BOOL Nivexa_SetBayerMode(LONG h, LONG value);
NIVEXA_API LONG Nivexa_GetGlobalGain(LONG h, BOOL* ok); /* id 13 */
NIVEXA_API BOOL Nivexa_SetGlobalGain(LONG h, LONG value);
NIVEXA_API LONG Nivexa_GetColorGainRed(LONG h, BOOL* ok); /* id 14 */
NIVEXA_API BOOL Nivexa_SetColorGainRed(LONG h, LONG value);
NIVEXA_API LONG Nivexa_GetColorGainGreen1(LONG h, BOOL* ok); /* id 15 */
NIVEXA_API BOOL Nivexa_SetColorGainGreen1(LONG h, LONG value);
NIVEXA_API LONG Nivexa_GetColorGainGreen2(LONG h, BOOL* ok); /* id 16 */
NIVEXA_API BOOL Nivexa_SetColorGainGreen2(LONG h, LONG value);
NIVEXA_API LONG Nivexa_GetColorGainBlue(LONG h, BOOL* ok); /* id 17 */
NIVEXA_API BOOL Nivexa_SetColorGainBlue(LONG h, LONG value);
NIVEXA_API LONG Nivexa_GetExposureTime(LONG h, BOOL* ok); /* id 18, ticks of 100 us */
NIVEXA_API BOOL Nivexa_SetExposureTime(LONG h, LONG value);
NIVEXA_API LONG Nivexa_GetGrayMode(LONG h, BOOL* ok); /* id 19 */
NIVEXA_API BOOL Nivexa_SetGrayMode(LONG h, LONG value);
NIVEXA_API LONG Nivexa_GetGrayGainR(LONG h, BOOL* ok); /* id 20 */
NIVEXA_API BOOL Nivexa_SetGrayGainR(LONG h, LONG value);
NIVEXA_API LONG Nivexa_GetGrayGainG1(LONG h, BOOL* ok); /* id 21 */
NIVEXA_API BOOL Nivexa_SetGrayGainG1(LONG h, LONG value);
NIVEXA_API LONG Nivexa_GetGrayGainG2(LONG h, BOOL* ok); /* id 22 */
NIVEXA_API BOOL Nivexa_SetGrayGainG2(LONG h, LONG value);
NIVEXA_API LONG Nivexa_GetGrayGainB(LONG h, BOOL* ok); /* id 23 */
NIVEXA_API BOOL Nivexa_SetGrayGainB(LONG h, LONG value);
NIVEXA_API LONG Nivexa_GetGrayOffsetR(LONG h, BOOL* ok); /* id 24 */
NIVEXA_API BOOL Nivexa_SetGrayOffsetR(LONG h, LONG value);
NIVEXA_API LONG Nivexa_GetGrayOffsetG1(LONG h, BOOL* ok); /* id 25 */
NIVEXA_API BOOL Nivexa_SetGrayOffsetG1(LONG h, LONG value);
NIVEXA_API LONG Nivexa_GetGrayOffsetG2(LONG h, BOOL* ok); /* id 26 */
NIVEXA_API BOOL Nivexa_SetGrayOffsetG2(LONG h, LONG value);
NIVEXA_API LONG Nivexa_GetGrayOffsetB(LONG h, BOOL* ok); /* id 27 */
NIVEXA_API BOOL Nivexa_SetGrayOffsetB(LONG h, LONG value);
NIVEXA_API LONG Nivexa_GetPeltier(LONG h, BOOL* ok); /* id 100 */
NIVEXA_API BOOL Nivexa_SetPeltier(LONG h, LONG value);
NIVEXA_API LONG Nivexa_GetTemperature(LONG h, BOOL* ok); /* id 101: use GetTemperatureEx */
NIVEXA_API LONG Nivexa_GetDotFilter(LONG h, BOOL* ok);   /* id 102 */
NIVEXA_API BOOL Nivexa_SetDotFilter(LONG h, LONG value);
NIVEXA_API LONG Nivexa_GetMaskFilter(LONG h, BOOL* ok); /* id 103 */
NIVEXA_API BOOL Nivexa_SetMaskFilter(LONG h, LONG value);
NIVEXA_API LONG Nivexa_GetChannelGain(LONG h, LONG channel, BOOL* ok);
NIVEXA_API BOOL Nivexa_SetChannelGain(LONG h, LONG channel, LONG value);
NIVEXA_API LONG Nivexa_GetChannelOffset(LONG h, LONG channel, BOOL* ok);
NIVEXA_API BOOL Nivexa_SetChannelOffset(LONG h, LONG channel, LONG value);

/* Other parameters */
NIVEXA_API double Nivexa_GetExposureTimeEx(LONG h, BOOL* ok); /* seconds */
NIVEXA_API BOOL Nivexa_SetExposureTimeEx(LONG h, double seconds);
NIVEXA_API LONG Nivexa_GetRealExposureTime(LONG h, BOOL* ok); /* microseconds */
NIVEXA_API BOOL Nivexa_SetRealExposureTime(LONG h, LONG microseconds);
NIVEXA_API double Nivexa_GetTemperatureEx(LONG h, BOOL* ok); /* degrees Celsius */
NIVEXA_API LONG Nivexa_GetMirrorH(LONG h);
NIVEXA_API BOOL Nivexa_SetMirrorH(LONG h, BOOL on);
NIVEXA_API LONG Nivexa_GetMirrorV(LONG h);
NIVEXA_API BOOL Nivexa_SetMirrorV(LONG h, BOOL on);
NIVEXA_API LONG Nivexa_GetSubSample(LONG h);
NIVEXA_API BOOL Nivexa_SetSubSample(LONG h, LONG code);
NIVEXA_API LONG Nivexa_GetColorMode(LONG h); /* bits per pixel */
NIVEXA_API BOOL Nivexa_SetColorMode(LONG h, LONG bitsPerPixel);
NIVEXA_API LONG Nivexa_GetWaitTime(LONG h);
NIVEXA_API BOOL Nivexa_SetWaitTime(LONG h, LONG milliseconds);
NIVEXA_API BOOL Nivexa_GetIOPort(LONG h, BYTE* value);
NIVEXA_API BOOL Nivexa_SetIOPort(LONG h, BYTE value);
NIVEXA_API LONG Nivexa_GetInternalCorrection(LONG h, BOOL* ok);
NIVEXA_API BOOL Nivexa_SetInternalCorrection(LONG h, BOOL on);
NIVEXA_API LONG Nivexa_GetAutoIris(LONG h, BOOL* ok);
NIVEXA_API BOOL Nivexa_SetAutoIris(LONG h, LONG mode);
NIVEXA_API BOOL Nivexa_SetSamplingRate(LONG h, LONG rate);
NIVEXA_API LONG Nivexa_GetSamplingRate(LONG h, LONG* value); /* writes 0, returns 0 */
NIVEXA_API LONG Nivexa_GetVideoFormat(LONG h, LONG* value);  /* writes 0, returns 0 */
NIVEXA_API LONG Nivexa_GetConfigFilter(LONG h);
NIVEXA_API LONG Nivexa_SetConfigFilter(LONG h);

/* Not supported by this camera: kept for source compatibility within the camera family. */
NIVEXA_API BOOL Nivexa_SendText(LONG h, char* text);
NIVEXA_API BOOL Nivexa_ReceiveText(LONG h, char* text);
NIVEXA_API BOOL Nivexa_Fps(LONG h);
NIVEXA_API BOOL Nivexa_GetHalfClock(LONG h);
NIVEXA_API BOOL Nivexa_SetCrossbar(LONG h);
NIVEXA_API BOOL Nivexa_SetHalfClock(LONG h);

/* Register and device-memory access */
NIVEXA_API LONG Nivexa_Fpga_ReadRegister(LONG h, LONG address, BOOL* ok);
NIVEXA_API BOOL Nivexa_Fpga_WriteRegister(LONG h, LONG address, LONG value);
NIVEXA_API LONG Nivexa_ReadRegister(LONG h, LONG address, BOOL* ok);
NIVEXA_API LONG Nivexa_ReadRegisterEx(LONG h, LONG address, BOOL* ok);
NIVEXA_API BOOL Nivexa_WriteRegister(LONG h, LONG address, LONG value);
NIVEXA_API BOOL Nivexa_WriteRegisterEx(LONG h, LONG address, LONG value);
NIVEXA_API LONG Nivexa_ReadSromID(LONG h, LONG address, BOOL* ok);
NIVEXA_API BOOL Nivexa_WriteSromID(LONG h, LONG address, LONG value);

/* Preview window and capture geometry.
 * Nivexa_SetPreviewWindow places the window of the next Nivexa_Preview, Nivexa_CallBackPreview,
 * Nivexa_Trigger or Nivexa_Record: with a parent, a child window at (x, y) of width x height
 * inside it; without one, any non-zero value asks for a centred top-level window as large as
 * the frame; a NULL parent with all four values 0 means no window. On Linux the parent is an
 * X11 window passed through NivexaWin_FromXWindow (NivexaWindows.h). */
NIVEXA_API BOOL Nivexa_SetPreviewWindow(LONG h, HWND parent, LONG x, LONG y, LONG width,
                                        LONG height);
NIVEXA_API BOOL Nivexa_SetCaptureWindow(LONG h, LONG width, LONG height);
NIVEXA_API BOOL Nivexa_SetCaptureWindowEx(LONG h, LONG hTotal, LONG hStart, LONG hEffective,
                                          LONG vTotal, LONG vStart, LONG vEffective);
NIVEXA_API BOOL Nivexa_GetCaptureWindowEx(LONG h, LONG* hTotal, LONG* hStart, LONG* hEffective,
                                          LONG* vTotal, LONG* vStart, LONG* vEffective);

/* Files */
NIVEXA_API BOOL Nivexa_SaveImage(LONG h, const char* path, LONG fileType);
NIVEXA_API BOOL Nivexa_SaveImageW(LONG h, const wchar_t* path, LONG fileType);
NIVEXA_API BOOL Nivexa_Record(LONG h, const char* path, LONG durationMs, BOOL showWindow);
NIVEXA_API BOOL Nivexa_RecordW(LONG h, const wchar_t* path, LONG durationMs, BOOL showWindow);
NIVEXA_API BOOL Nivexa_LoadMaskFile(LONG h, const char* path);
NIVEXA_API BOOL Nivexa_LoadMaskFileW(LONG h, const wchar_t* path);
NIVEXA_API BOOL Nivexa_SaveMaskFile(LONG h, const char* path);
NIVEXA_API BOOL Nivexa_SaveMaskFileW(LONG h, const wchar_t* path);
NIVEXA_API BOOL Nivexa_UpdateMaskData(LONG h, LONG kind);
NIVEXA_API BOOL Nivexa_LoadConfigFileA(LONG h, const char* path);
NIVEXA_API BOOL Nivexa_LoadConfigFileW(LONG h, const wchar_t* path);

/* Settings dialogs: modal, on the calling thread; 1 when the dialog was shown and closed (OK or
   Cancel), 0 with error 1 without an open camera. Japanese texts when the user's language is
   Japanese (Windows: the system language; Linux: the process's message locale, or LC_ALL,
   LC_MESSAGES, LANG), else English. On Linux the dialogs are the GTK 3 module
   libNivexaSdkDialogs.so, loaded from beside the library on the first dialog (or from the path
   in NIVEXA_DIALOG_MODULE): when the module, GTK or a display is missing the call records
   error 4 and returns 0. */
NIVEXA_API BOOL Nivexa_SetCameraDlg(LONG h, HWND parent);
NIVEXA_API BOOL Nivexa_SetImageDlg(LONG h, HWND parent);
NIVEXA_API BOOL Nivexa_SetAnalogDlg(LONG h, HWND parent);

#ifdef __cplusplus
}
#endif

#endif /* NIVEXA_SDK_H */
