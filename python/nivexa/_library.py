"""Loading the SDK's shared library and declaring the C functions the package calls.

Only this module knows the library's file name and the C signatures; everything else calls
``library()`` and gets a ``ctypes.CDLL`` whose functions carry their argument and result types.
ctypes releases the GIL for the duration of every call into a CDLL, so a thread blocked in
``NivexaStream_Wait`` does not hold up the rest of the program.
"""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
import threading
from pathlib import Path
from typing import Optional

#: Environment variable naming the library file to load, ahead of every other place.
LIBRARY_VARIABLE = "NIVEXA_SDK_LIBRARY"

# Beside the package the plain name is looked for first, then versioned names: the installation
# copies the library there under its full version (libNivexaSdk_M7QX_TEC.so.2.43.5.33).
if sys.platform == "win32":
    _SYSTEM_NAME = "NivexaSdk_M7QX_TEC.dll"
else:
    _SYSTEM_NAME = "libNivexaSdk_M7QX_TEC.so"
_LOOKUP_NAME = "NivexaSdk_M7QX_TEC"

_PACKAGE_FOLDER = Path(__file__).resolve().parent

Long = ctypes.c_int32
Bool = ctypes.c_int32
BoolPointer = ctypes.POINTER(ctypes.c_int32)

#: Capacity of the name table Nivexa_EnumDevice fills: 10 names of 256 bytes.
ENUM_NAMES = 10
ENUM_NAME_BYTES = 256
NameTable = (ctypes.c_char * ENUM_NAME_BYTES) * ENUM_NAMES


class CameraInfoRecord(ctypes.Structure):
    """NivexaCameraInfo: sensor size and the ranges of gain and exposure."""

    _fields_ = [
        ("size", Long),
        ("widthLimit", Long),
        ("heightLimit", Long),
        ("globalGainMin", Long),
        ("globalGainMax", Long),
        ("colorGainMin", Long),
        ("colorGainMax", Long),
        ("exposureMin", Long),
        ("exposureMax", Long),
        ("padding", Long),
        ("exposureSecondsMin", ctypes.c_double),
        ("exposureSecondsMax", ctypes.c_double),
    ]


class BufferRecord(ctypes.Structure):
    """NivexaBuffer: one application buffer lent to a buffer stream."""

    _fields_ = [
        ("data", ctypes.c_void_p),
        ("capacity", ctypes.c_uint32),
        ("status", ctypes.c_uint32),
        ("frameNumber", ctypes.c_uint32),
        ("reserved", ctypes.c_uint32),
        ("timestampNs", ctypes.c_uint64),
        ("width", ctypes.c_int32),
        ("height", ctypes.c_int32),
        ("bitsPerPixel", ctypes.c_int32),
        ("stride", ctypes.c_int32),
        ("user", ctypes.c_void_p),
    ]


class StatisticsRecord(ctypes.Structure):
    """NivexaStreamStatistics: the counts of the running or last buffer stream."""

    _fields_ = [
        ("framesDelivered", ctypes.c_uint64),
        ("framesLost", ctypes.c_uint64),
        ("framesDropped", ctypes.c_uint64),
        ("incompleteTransfers", ctypes.c_uint64),
        ("failedTransfers", ctypes.c_uint64),
        ("bytes", ctypes.c_uint64),
        ("frameRate", ctypes.c_double),
    ]


BufferPointer = ctypes.POINTER(BufferRecord)

# name: (result type, argument types)
_SIGNATURES = {
    "Nivexa_Initialize": (Long, [ctypes.c_void_p]),
    "Nivexa_Release": (Bool, [Long]),
    "Nivexa_GetDllVersion": (Long, []),
    "Nivexa_GetLastError": (Long, [Long]),
    "Nivexa_EnumDevice": (Long, [Long, ctypes.POINTER(NameTable)]),
    "Nivexa_GetDeviceName": (Bool, [Long, Long, ctypes.c_char_p, Long]),
    "Nivexa_SetDeviceNumber": (Bool, [Long, Long]),
    "Nivexa_ReadSerialNumberA": (Bool, [Long, ctypes.c_char_p, Long]),
    "Nivexa_GetCameraInfo": (Bool, [Long, ctypes.POINTER(CameraInfoRecord)]),
    "Nivexa_SnapShot": (Bool, [Long, ctypes.c_void_p, Long, Bool]),
    "Nivexa_StopPreview": (Bool, [Long]),
    "Nivexa_Width": (Long, [Long]),
    "Nivexa_Height": (Long, [Long]),
    "Nivexa_GetSubSample": (Long, [Long]),
    "Nivexa_GetColorMode": (Long, [Long]),
    "Nivexa_SetColorMode": (Bool, [Long, Long]),
    "Nivexa_GetExposureTimeEx": (ctypes.c_double, [Long, BoolPointer]),
    "Nivexa_SetExposureTimeEx": (Bool, [Long, ctypes.c_double]),
    "Nivexa_GetGlobalGain": (Long, [Long, BoolPointer]),
    "Nivexa_SetGlobalGain": (Bool, [Long, Long]),
    "Nivexa_GetPeltier": (Long, [Long, BoolPointer]),
    "Nivexa_SetPeltier": (Bool, [Long, Long]),
    "Nivexa_GetTemperatureEx": (ctypes.c_double, [Long, BoolPointer]),
    "Nivexa_SaveImage": (Bool, [Long, ctypes.c_char_p, Long]),
    "Nivexa_SaveImageW": (Bool, [Long, ctypes.c_wchar_p, Long]),
    "Nivexa_Record": (Bool, [Long, ctypes.c_char_p, Long, Bool]),
    "Nivexa_RecordW": (Bool, [Long, ctypes.c_wchar_p, Long, Bool]),
    "NivexaStream_FrameBytes": (ctypes.c_uint32, [ctypes.c_int32, ctypes.c_int32]),
    "NivexaStream_Start": (ctypes.c_int, [ctypes.c_int32, ctypes.c_int32]),
    "NivexaStream_Queue": (ctypes.c_int, [ctypes.c_int32, BufferPointer]),
    "NivexaStream_Wait": (ctypes.c_void_p, [ctypes.c_int32, ctypes.c_int32]),
    "NivexaStream_Stop": (ctypes.c_int, [ctypes.c_int32]),
    "NivexaStream_GetStatistics": (
        ctypes.c_int,
        [ctypes.c_int32, ctypes.POINTER(StatisticsRecord)],
    ),
}

_lock = threading.Lock()
_loaded: Optional[ctypes.CDLL] = None


def _candidates() -> list[str]:
    named = os.environ.get(LIBRARY_VARIABLE)
    if named:
        # An explicit choice is final: falling back to another copy would hide a wrong path.
        return [named]
    found = [str(_PACKAGE_FOLDER / _SYSTEM_NAME)]
    found += sorted(str(p) for p in _PACKAGE_FOLDER.glob(_SYSTEM_NAME + ".*"))
    found = [path for path in found if os.path.exists(path)]
    found.append(_SYSTEM_NAME)
    located = ctypes.util.find_library(_LOOKUP_NAME)
    if located:
        found.append(located)
    return found


def _declare(lib: ctypes.CDLL) -> None:
    for name, (result, arguments) in _SIGNATURES.items():
        function = getattr(lib, name)
        function.restype = result
        function.argtypes = arguments


def library() -> ctypes.CDLL:
    """The SDK library, loaded on first use.

    Looked for in this order: the file named by ``NIVEXA_SDK_LIBRARY``, the library beside the
    package, then the system's loader (``LD_LIBRARY_PATH``, the loader cache, ``PATH`` on
    Windows). Raises OSError naming every place tried when none loads.
    """
    global _loaded
    with _lock:
        if _loaded is not None:
            return _loaded
        failures = []
        for candidate in _candidates():
            try:
                lib = ctypes.CDLL(candidate)
            except OSError as error:
                failures.append(f"{candidate}: {error}")
                continue
            _declare(lib)
            _loaded = lib
            return lib
        raise OSError(
            "the Nivexa SDK library could not be loaded (set "
            f"{LIBRARY_VARIABLE} to its path); tried: " + "; ".join(failures)
        )
