"""NivexaError and the reading of the SDK's per-handle error stack."""

from __future__ import annotations

import enum
from typing import Optional

from ._library import library


class ErrorCode(enum.IntEnum):
    """The SDK's error codes (NivexaError in NivexaSdk.h)."""

    NONE = 0
    NO_CAMERA = 1
    DEVICE = 2
    THREAD = 3
    WINDOW = 4
    MEMORY = 5
    REGISTER = 6
    FORMAT = 7
    FRAME = 8
    ARGUMENT = 9
    UNSUPPORTED = 11
    TEXT = 12
    STREAM_LOST = 13
    MASK_FILE = 14


_MEANINGS = {
    ErrorCode.NONE: "no error code recorded (an unknown or released handle, or a refusal "
    "the SDK does not code)",
    ErrorCode.NO_CAMERA: "no camera engine, or refused in the current acquisition mode",
    ErrorCode.DEVICE: "device number not present, or the device did not open",
    ErrorCode.THREAD: "acquisition thread or its event could not be created",
    ErrorCode.WINDOW: "preview window could not be created",
    ErrorCode.MEMORY: "buffer missing, empty or too small",
    ErrorCode.REGISTER: "register access or device command failed",
    ErrorCode.FORMAT: "capture window or subsample setting not valid",
    ErrorCode.FRAME: "frame did not arrive in time or could not be read",
    ErrorCode.ARGUMENT: "argument out of range or not accepted",
    ErrorCode.UNSUPPORTED: "not supported by this camera",
    ErrorCode.TEXT: "text conversion, temperature read or recording start failed",
    ErrorCode.STREAM_LOST: "the camera stopped delivering frames",
    ErrorCode.MASK_FILE: "mask file could not be opened or does not match",
}

#: Depth of each handle's error stack: reading this many entries empties it.
ERROR_STACK_DEPTH = 20


def describe(code: int) -> str:
    """The meaning of an SDK error code, in words."""
    try:
        return _MEANINGS[ErrorCode(code)]
    except ValueError:
        return "unknown error code"


class NivexaError(RuntimeError):
    """A call into the SDK failed.

    ``code`` is the SDK's error code for the failure (see ErrorCode), 0 when the SDK recorded
    none; ``function`` names the C function that failed.
    """

    def __init__(self, function: str, code: int, detail: Optional[str] = None) -> None:
        self.function = function
        self.code = int(code)
        text = f"{function} failed: error {self.code}, {describe(self.code)}"
        if detail:
            text += f" ({detail})"
        super().__init__(text)


def clear_errors(handle: int) -> None:
    """Empties the handle's error stack, so that the next code read belongs to the next call.

    The stack also holds the 0 of successful device commands, so reading stops only at its
    depth, not at the first 0.
    """
    pop = library().Nivexa_GetLastError
    for _ in range(ERROR_STACK_DEPTH):
        pop(handle)


def failure(handle: int, function: str, detail: Optional[str] = None) -> NivexaError:
    """The error for a call on handle that just failed, its code taken off the error stack.

    What remains on the stack is older than this failure and is dropped with it.
    """
    code = library().Nivexa_GetLastError(handle) if handle else 0
    if handle:
        clear_errors(handle)
    return NivexaError(function, code, detail)
