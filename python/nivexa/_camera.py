"""Cameras, frames and buffer streams over the SDK's C interface."""

from __future__ import annotations

import ctypes
import enum
import numbers
import os
import sys
import time
from pathlib import Path
from typing import Any, Iterator, NamedTuple, Optional, Union

import numpy as np
import numpy.typing as npt

from ._errors import ErrorCode, NivexaError, clear_errors, failure
from ._library import (
    BufferRecord,
    CameraInfoRecord,
    NameTable,
    StatisticsRecord,
    library,
)

PathLike = Union[str, "os.PathLike[str]"]

#: NivexaStream_Start flag: frames pass the pixel pipeline.
_STREAM_PROCESSED = 0x1
#: Rows of Nivexa_SnapShot come top row first with this rowOrder.
_TOP_ROW_FIRST = 1
#: Bytes Nivexa_ReadSerialNumberA needs at least (31 characters and the terminator).
_SERIAL_BYTES = 32
#: Output rows of the processed image are padded to a multiple of this many bytes.
_ROW_ALIGNMENT = 4
#: Subsample code of half width and height.
_SUBSAMPLE_HALF = 1
_INT32_MIN = -(2**31)
_INT32_MAX = 2**31 - 1
_MILLISECONDS = 1000
_NANOSECONDS = 1_000_000_000
#: How often record() looks for the finished file.
_RECORD_POLL_SECONDS = 0.02
#: How long past its duration a recording may take to complete its file: the duration counts
#: from the first frame, which comes after the stream has started.
_RECORD_GRACE_SECONDS = 10.0
#: References to a lent buffer's memory that the stream itself holds: its bookkeeping entry and
#: the argument of sys.getrefcount. Any more means an array of the caller's still uses it.
_OWN_REFERENCES = 2

#: Nivexa_SaveImage's file type for each extension.
_FILE_TYPES = {
    ".bmp": 0,
    ".raw": 1,
    ".jpg": 2,
    ".jpeg": 2,
    ".png": 5,
    ".tif": 6,
    ".tiff": 6,
}

_DTYPES = {8: np.dtype(np.uint8), 16: np.dtype("<u2")}


class BufferStatus(enum.IntEnum):
    """What became of a lent buffer (NivexaBufferStatus)."""

    QUEUED = 0
    COMPLETE = 1
    INCOMPLETE = 2
    FAILED = 3
    CANCELLED = 4


class CameraInfo(NamedTuple):
    """One attached camera: its position for open(index=...), device name and serial number."""

    index: int
    name: str
    serial: str


class Statistics(NamedTuple):
    """Counts of the running or last stream since it started."""

    delivered: int
    """frames handed back complete"""
    lost: int
    """gaps in the camera's frame counter: frames never received"""
    dropped: int
    """frames received but not delivered: no buffer was lent, or the stream fell behind"""
    fps: float
    """frames received per second, over the last second or so"""
    incomplete: int
    """buffers handed back with a short frame"""
    failed: int
    """buffers handed back because the camera stopped delivering"""
    bytes: int
    """image bytes written into complete buffers"""


def sdk_version() -> str:
    """The SDK library's version as dotted text, e.g. "2.43.5.33"."""
    word = library().Nivexa_GetDllVersion() & 0xFFFFFFFF
    return ".".join(str((word >> shift) & 0xFF) for shift in (24, 16, 8, 0))


def _integer(value: Any, what: str) -> int:
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, numbers.Integral):
        raise TypeError(f"{what} must be an integer, not {type(value).__name__}")
    number = int(value)
    if not _INT32_MIN <= number <= _INT32_MAX:
        raise ValueError(f"{what} {number} does not fit the SDK's 32-bit integer")
    return number


def _real(value: Any, what: str) -> float:
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, numbers.Real):
        raise TypeError(f"{what} must be a number of seconds, not {type(value).__name__}")
    return float(value)


def _native_path(path: PathLike) -> Union[bytes, str]:
    if not isinstance(path, (str, os.PathLike)):
        raise TypeError(f"path must be a str or os.PathLike, not {type(path).__name__}")
    text = os.fspath(path)
    if not isinstance(text, str):
        raise TypeError("path must be text, not bytes")
    # Windows takes UTF-16 paths through the W functions; elsewhere the file system's bytes.
    return text if sys.platform == "win32" else os.fsencode(text)


def _file_identity(path: str) -> Optional[tuple[int, int, int]]:
    try:
        status = os.stat(path)
    except OSError:
        return None
    return (status.st_dev, status.st_ino, status.st_mtime_ns)


def list_cameras() -> list[CameraInfo]:
    """The attached cameras (virtual ones included), in the order open(index=...) takes them."""
    lib = library()
    handle = lib.Nivexa_Initialize(None)
    if handle == 0:
        raise NivexaError("Nivexa_Initialize", ErrorCode.NONE, "out of memory")
    try:
        clear_errors(handle)
        names = NameTable()
        count = lib.Nivexa_EnumDevice(handle, ctypes.byref(names))
        if count == 0:
            code = lib.Nivexa_GetLastError(handle)
            if code != ErrorCode.NONE:
                raise NivexaError("Nivexa_EnumDevice", code)
            return []
        cameras = []
        for index in range(count):
            name = names[index].value.decode("utf-8", "replace")
            if not lib.Nivexa_SetDeviceNumber(handle, index):
                raise failure(handle, "Nivexa_SetDeviceNumber", f"camera {index}")
            serial = ctypes.create_string_buffer(_SERIAL_BYTES)
            clear_errors(handle)
            if not lib.Nivexa_ReadSerialNumberA(handle, serial, _SERIAL_BYTES):
                raise failure(handle, "Nivexa_ReadSerialNumberA", f"camera {index}")
            cameras.append(CameraInfo(index, name, serial.value.decode("utf-8", "replace")))
        return cameras
    finally:
        lib.Nivexa_Release(handle)


class _Lent:
    """One stream buffer: numpy memory and the NivexaBuffer that points at it.

    Both stay referenced here for as long as the library may write them.
    """

    __slots__ = ("storage", "record")

    def __init__(self, capacity: int) -> None:
        self.storage: npt.NDArray[np.uint8] = np.empty(capacity, dtype=np.uint8)
        self.record = BufferRecord(data=self.storage.ctypes.data, capacity=capacity)

    def caller_holds_memory(self) -> bool:
        return sys.getrefcount(self.storage) > _OWN_REFERENCES


class Frame:
    """One frame of Camera.stream(), in a buffer the stream lent to the SDK.

    The buffer goes back to the SDK when the stream is asked for its next frame; from then on
    ``array`` raises ValueError. ``detach()`` keeps the buffer for good (the stream lends a
    fresh one in its place). An array taken from ``array`` and still referenced when the
    stream moves on is kept the same way, so it never changes under its holder.
    """

    __slots__ = ("number", "time", "timestamp_ns", "status", "width", "height", "bits", "_lent",
                 "_array", "_detached")

    def __init__(self, lent: _Lent) -> None:
        record = lent.record
        self.number: int = record.frameNumber
        """the camera's frame counter"""
        self.timestamp_ns: int = record.timestampNs
        """monotonic host time in nanoseconds when the frame's last byte arrived"""
        self.time: float = record.timestampNs / _NANOSECONDS
        """timestamp_ns in seconds"""
        self.status: BufferStatus = BufferStatus(record.status)
        """COMPLETE, or INCOMPLETE when the frame arrived short (its pixels are then not a frame)"""
        self.width: int = record.width
        self.height: int = record.height
        self.bits: int = record.bitsPerPixel
        dtype = _DTYPES.get(self.bits)
        if dtype is None:
            raise ValueError(f"frames of {self.bits} bits per pixel are not supported")
        rows = lent.storage[: record.stride * record.height].view(dtype)
        self._array: Optional[npt.NDArray[Any]] = rows.reshape(
            record.height, record.stride // dtype.itemsize
        )[:, : record.width]
        self._lent: Optional[_Lent] = lent
        self._detached = False

    @property
    def array(self) -> npt.NDArray[Any]:
        """The pixels, shape (height, width), uint8 or uint16 (12 significant bits)."""
        if self._array is None:
            raise ValueError(
                f"frame {self.number} went back to the stream; call detach() to keep a frame"
            )
        return self._array

    def detach(self) -> npt.NDArray[Any]:
        """Keeps this frame's buffer: it is not lent to the SDK again. Returns the array."""
        array = self.array
        self._detached = True
        return array

    def _give_back(self) -> Optional[_Lent]:
        """Ends the caller's use; the buffer to lend again, or None when the caller keeps it."""
        lent = self._lent
        self._lent = None
        if self._detached or lent is None:
            return None
        self._array = None
        return None if lent.caller_holds_memory() else lent

    def __repr__(self) -> str:
        return (
            f"Frame(number={self.number}, status={self.status.name}, "
            f"{self.width}x{self.height}, {self.bits} bits)"
        )


class Camera:
    """An open camera on its own SDK handle. Use nivexa.open() to get one.

    A closed camera refuses every call with ValueError.
    """

    def __init__(self, index: int = 0) -> None:
        index = _integer(index, "index")
        lib = library()
        self._handle: Optional[int] = None
        self._streaming = False
        handle = lib.Nivexa_Initialize(None)
        if handle == 0:
            raise NivexaError("Nivexa_Initialize", ErrorCode.NONE, "out of memory")
        # Initialize may have recorded why it did not open a camera by itself; that is no
        # concern once a camera is chosen below.
        clear_errors(handle)
        if not lib.Nivexa_SetDeviceNumber(handle, index):
            error = failure(handle, "Nivexa_SetDeviceNumber", f"camera {index}")
            lib.Nivexa_Release(handle)
            raise error
        self._handle = handle

    # ---- lifetime ----

    @property
    def handle(self) -> int:
        """The SDK handle, for calling the C interface directly."""
        return self._require()

    @property
    def closed(self) -> bool:
        return self._handle is None

    def close(self) -> None:
        """Stops every acquisition and frees the handle; the camera's settings are saved.

        Closing twice is harmless; a handle already released elsewhere is simply forgotten.
        """
        handle, self._handle = self._handle, None
        if handle is not None:
            library().Nivexa_Release(handle)

    def __enter__(self) -> Camera:
        self._require()
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def __del__(self) -> None:
        if getattr(self, "_handle", None) is not None:
            self.close()

    def __repr__(self) -> str:
        state = "closed" if self._handle is None else f"handle {self._handle}"
        return f"<nivexa.Camera {state}>"

    def _require(self) -> int:
        if self._handle is None:
            raise ValueError("the camera is closed")
        return self._handle

    # ---- settings ----

    def _get(self, function: str) -> Any:
        handle = self._require()
        ok = ctypes.c_int32(0)
        value = getattr(library(), function)(handle, ctypes.byref(ok))
        if not ok.value:
            raise failure(handle, function)
        return value

    def _set(self, function: str, value: Any) -> None:
        handle = self._require()
        # Some refusals record no code: an older code must not be taken for theirs.
        clear_errors(handle)
        if not getattr(library(), function)(handle, value):
            raise failure(handle, function, f"value {value!r}")

    def _camera_info(self) -> CameraInfoRecord:
        handle = self._require()
        info = CameraInfoRecord(size=ctypes.sizeof(CameraInfoRecord))
        if not library().Nivexa_GetCameraInfo(handle, ctypes.byref(info)):
            raise failure(handle, "Nivexa_GetCameraInfo")
        return info

    @property
    def bits(self) -> int:
        """Bits per pixel of the images delivered: 8, or 16 (values 0..4095)."""
        handle = self._require()
        bits = library().Nivexa_GetColorMode(handle)
        if bits <= 0:
            raise failure(handle, "Nivexa_GetColorMode")
        return int(bits)

    @bits.setter
    def bits(self, value: int) -> None:
        self._set("Nivexa_SetColorMode", _integer(value, "bits"))

    @property
    def exposure(self) -> float:
        """Exposure time in seconds (range in exposure_range)."""
        return float(self._get("Nivexa_GetExposureTimeEx"))

    @exposure.setter
    def exposure(self, seconds: float) -> None:
        self._set("Nivexa_SetExposureTimeEx", _real(seconds, "exposure"))

    @property
    def exposure_range(self) -> tuple[float, float]:
        """(shortest, longest) exposure in seconds."""
        info = self._camera_info()
        return (info.exposureSecondsMin, info.exposureSecondsMax)

    @property
    def gain(self) -> int:
        """The camera's analog gain, in camera units (range in gain_range)."""
        return int(self._get("Nivexa_GetGlobalGain"))

    @gain.setter
    def gain(self, value: int) -> None:
        self._set("Nivexa_SetGlobalGain", _integer(value, "gain"))

    @property
    def gain_range(self) -> tuple[int, int]:
        """(lowest, highest) analog gain."""
        info = self._camera_info()
        return (int(info.globalGainMin), int(info.globalGainMax))

    @property
    def cooler(self) -> bool:
        """Whether the Peltier cooler is on."""
        return bool(self._get("Nivexa_GetPeltier"))

    @cooler.setter
    def cooler(self, on: bool) -> None:
        if not isinstance(on, (bool, np.bool_)):
            raise TypeError(f"cooler must be True or False, not {type(on).__name__}")
        self._set("Nivexa_SetPeltier", int(bool(on)))

    @property
    def temperature(self) -> float:
        """Sensor temperature in degrees Celsius."""
        return float(self._get("Nivexa_GetTemperatureEx"))

    @property
    def width(self) -> int:
        """Width of the capture window in pixels."""
        handle = self._require()
        width = library().Nivexa_Width(handle)
        if width <= 0:
            raise failure(handle, "Nivexa_Width")
        return int(width)

    @property
    def height(self) -> int:
        """Height of the capture window in pixels."""
        handle = self._require()
        height = library().Nivexa_Height(handle)
        if height <= 0:
            raise failure(handle, "Nivexa_Height")
        return int(height)

    @property
    def statistics(self) -> Statistics:
        """Counts of the running or last stream()."""
        handle = self._require()
        record = StatisticsRecord()
        if not library().NivexaStream_GetStatistics(handle, ctypes.byref(record)):
            raise failure(handle, "NivexaStream_GetStatistics")
        return Statistics(
            delivered=record.framesDelivered,
            lost=record.framesLost,
            dropped=record.framesDropped,
            fps=record.frameRate,
            incomplete=record.incompleteTransfers,
            failed=record.failedTransfers,
            bytes=record.bytes,
        )

    # ---- images ----

    def snapshot(self) -> npt.NDArray[Any]:
        """Takes one processed frame, written by the SDK straight into the returned array.

        Shape (height, width), uint8 at 8 bits, uint16 at 16 bits (values 0..4095), top row
        first. Rows are C-contiguous whenever the SDK pads none (every width a multiple of 4).
        """
        handle = self._require()
        lib = library()
        bits = self.bits
        dtype = _DTYPES.get(bits)
        if dtype is None:
            raise ValueError(f"images of {bits} bits per pixel are not supported")
        width, height = self.width, self.height
        subsample = lib.Nivexa_GetSubSample(handle)
        if subsample < 0:
            raise failure(handle, "Nivexa_GetSubSample")
        if subsample == _SUBSAMPLE_HALF:
            width, height = width // 2, height // 2
        row_bytes = width * dtype.itemsize
        stride = -(-row_bytes // _ROW_ALIGNMENT) * _ROW_ALIGNMENT
        if stride == row_bytes:
            image: npt.NDArray[Any] = np.empty((height, width), dtype=dtype)
            target = image
        else:
            target = np.empty(stride * height, dtype=np.uint8)
            image = target.view(dtype).reshape(height, stride // dtype.itemsize)[:, :width]
        if not lib.Nivexa_SnapShot(handle, target.ctypes.data, target.nbytes, _TOP_ROW_FIRST):
            raise failure(handle, "Nivexa_SnapShot")
        return image

    def save(self, path: PathLike) -> None:
        """Writes the newest processed image (of snapshot() or a processed stream) to path.

        The type follows the extension: .bmp, .raw, .jpg/.jpeg (quality 100), .png, .tif/.tiff.
        16-bit images keep their 12 significant bits in PNG and TIFF.
        """
        handle = self._require()
        native = _native_path(path)
        suffix = Path(os.fspath(path)).suffix.lower()
        if suffix not in _FILE_TYPES:
            raise ValueError(
                f"cannot tell the image type of {os.fspath(path)!r}: use one of "
                + ", ".join(sorted(_FILE_TYPES))
            )
        lib = library()
        clear_errors(handle)
        if sys.platform == "win32":
            saved = lib.Nivexa_SaveImageW(handle, native, _FILE_TYPES[suffix])
        else:
            saved = lib.Nivexa_SaveImage(handle, native, _FILE_TYPES[suffix])
        if not saved:
            raise failure(handle, "Nivexa_SaveImage", f"could not write {os.fspath(path)!r}")

    def record(self, path: PathLike, seconds: float = 3.0) -> None:
        """Records processed frames for `seconds` into an uncompressed AVI file at path.

        Returns when the file is complete, with the stream the recording ran stopped.
        """
        handle = self._require()
        native = _native_path(path)
        seconds = _real(seconds, "seconds")
        if not seconds >= 0:
            raise ValueError(f"seconds must be 0 or more, not {seconds}")
        duration_ms = round(seconds * _MILLISECONDS)
        if duration_ms > _INT32_MAX:
            raise ValueError(f"seconds {seconds} is longer than a recording can be")
        lib = library()
        text = os.fspath(path)
        before = _file_identity(text)
        clear_errors(handle)
        if sys.platform == "win32":
            started = lib.Nivexa_RecordW(handle, native, duration_ms, 0)
        else:
            started = lib.Nivexa_Record(handle, native, duration_ms, 0)
        if not started:
            raise failure(handle, "Nivexa_Record", f"{text!r}")

        def finished() -> bool:
            # The file is written under a temporary name and renamed into place when complete.
            now = _file_identity(text)
            return now is not None and now != before

        deadline = time.monotonic() + seconds + _RECORD_GRACE_SECONDS
        while not finished() and time.monotonic() < deadline:
            time.sleep(_RECORD_POLL_SECONDS)
        # Ends the preview stream the recording ran on, and the recording too if it overran.
        lib.Nivexa_StopPreview(handle)
        code = lib.Nivexa_GetLastError(handle)
        clear_errors(handle)
        if code == ErrorCode.TEXT or not finished():
            raise NivexaError("Nivexa_Record", code, f"{text!r} was not completed")

    # ---- streams ----

    def stream(
        self,
        count: Optional[int] = None,
        timeout: float = 5.0,
        raw: bool = False,
        buffers: int = 4,
    ) -> Iterator[Frame]:
        """Frames through a buffer stream: the SDK writes each frame into numpy memory.

        count: frames to yield (None: until the loop ends). timeout: seconds to wait for each
        frame before NivexaError (code 8). raw: frames as the camera sent them (8 bits, or 16
        when bits is 16) instead of processed ones. buffers: how many buffers are lent at once.

        Buffer ownership: each yielded Frame's buffer is the caller's until the iterator is
        asked for the next frame; it then goes back to the SDK and the frame's ``array``
        property refuses further use. ``frame.detach()`` keeps the buffer for good, and an
        array of a frame still referenced anywhere when the iterator moves on is kept the same
        way: in both cases a fresh buffer is lent in its place. No array the caller holds is
        ever written again.

        The stream stops when the loop ends, breaks or raises, and when the iterator is
        closed or garbage-collected; the camera can then start another at once. The frame
        yielded last is not lent again, so it stays valid after the stream has ended. A camera
        that stops delivering raises NivexaError code 13.
        """
        self._require()
        if count is not None:
            count = _integer(count, "count")
            if count < 0:
                raise ValueError(f"count must be 0 or more, not {count}")
        timeout = _real(timeout, "timeout")
        if not timeout > 0:
            raise ValueError(f"timeout must be more than 0 seconds, not {timeout}")
        timeout_ms = min(round(timeout * _MILLISECONDS), _INT32_MAX)
        buffers = _integer(buffers, "buffers")
        if buffers < 1:
            raise ValueError(f"buffers must be 1 or more, not {buffers}")
        if not isinstance(raw, (bool, np.bool_)):
            raise TypeError(f"raw must be True or False, not {type(raw).__name__}")
        flags = 0 if raw else _STREAM_PROCESSED
        return self._frames(count, timeout, timeout_ms, flags, buffers)

    def _lend(
        self, handle: int, lent: dict[int, _Lent], capacity: int, item: Optional[_Lent]
    ) -> None:
        """Lends item (a new buffer when None) to the SDK and keeps it referenced meanwhile."""
        if item is None:
            item = _Lent(capacity)
        lent[ctypes.addressof(item.record)] = item
        if not library().NivexaStream_Queue(handle, ctypes.byref(item.record)):
            del lent[ctypes.addressof(item.record)]
            raise failure(handle, "NivexaStream_Queue")

    def _frames(
        self, count: Optional[int], timeout: float, timeout_ms: int, flags: int, buffers: int
    ) -> Iterator[Frame]:
        lib = library()
        handle = self._require()
        # A second NivexaStream_Start with the same flags joins the running stream, whose buffers
        # would then come back to either iterator.
        if self._streaming:
            raise NivexaError(
                "NivexaStream_Start",
                ErrorCode.NO_CAMERA,
                "another stream() of this camera is running: exhaust or close it first",
            )
        capacity = lib.NivexaStream_FrameBytes(handle, flags)
        if capacity == 0:
            raise failure(handle, "NivexaStream_FrameBytes")
        if not lib.NivexaStream_Start(handle, flags):
            raise failure(handle, "NivexaStream_Start")
        # Every buffer the SDK may still write, by the address of its NivexaBuffer.
        lent: dict[int, _Lent] = {}
        current: Optional[Frame] = None
        self._streaming = True
        try:
            for _ in range(buffers):
                self._lend(handle, lent, capacity, None)
            yielded = 0
            while count is None or yielded < count:
                if self._handle != handle:
                    raise ValueError("the camera was closed during stream()")
                if current is not None:
                    self._lend(handle, lent, capacity, current._give_back())
                    current = None
                address = lib.NivexaStream_Wait(handle, timeout_ms)
                if self._handle != handle:
                    raise ValueError("the camera was closed during stream()")
                if not address:
                    # Wait also gives nothing at once when the handle was released under it.
                    probe = StatisticsRecord()
                    if not lib.NivexaStream_GetStatistics(handle, ctypes.byref(probe)):
                        raise NivexaError(
                            "NivexaStream_Wait", ErrorCode.NONE, "the handle was released"
                        )
                    raise NivexaError(
                        "NivexaStream_Wait", ErrorCode.FRAME, f"no frame within {timeout} s"
                    )
                item = lent.pop(address, None)
                if item is None:
                    raise NivexaError(
                        "NivexaStream_Wait", ErrorCode.NONE, "a buffer this stream did not lend"
                    )
                status = item.record.status
                if status == BufferStatus.FAILED:
                    clear_errors(handle)
                    raise NivexaError("NivexaStream_Wait", ErrorCode.STREAM_LOST)
                if status == BufferStatus.CANCELLED:
                    raise NivexaError(
                        "NivexaStream_Wait", ErrorCode.NONE, "the stream was stopped elsewhere"
                    )
                current = Frame(item)
                yielded += 1
                yield current
        finally:
            self._streaming = False
            if self._handle == handle:
                lib.NivexaStream_Stop(handle)
                # The cancelled and unread buffers come back through Wait: take them all, so
                # that none of this stream's buffers is left for a later stream to be handed.
                while lib.NivexaStream_Wait(handle, 0):
                    pass
            lent.clear()
