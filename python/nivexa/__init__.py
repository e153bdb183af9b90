"""Python access to the Nivexa SDK (M7QX TEC camera) through its C interface.

    import nivexa
    with nivexa.open() as cam:
        image = cam.snapshot()          # numpy (height, width), uint8 or uint16

The SDK library is looked for at NIVEXA_SDK_LIBRARY, beside this package, then through the
system's loader. Every failing call raises NivexaError with the SDK's error code.
"""

from __future__ import annotations

from ._camera import (
    BufferStatus,
    Camera,
    CameraInfo,
    Frame,
    Statistics,
    list_cameras,
    sdk_version,
)
from ._errors import ErrorCode, NivexaError

__all__ = [
    "BufferStatus",
    "Camera",
    "CameraInfo",
    "ErrorCode",
    "Frame",
    "NivexaError",
    "Statistics",
    "list_cameras",
    "open",
    "sdk_version",
]



def __getattr__(name: str) -> str:
    # The package is the SDK's own and carries its version: the library's, read on first use
    # so that importing the package never loads the library.
    if name == "__version__":
        return sdk_version()
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")


def open(index: int = 0) -> Camera:  # noqa: A001 - the package's own verb, as in the SDK
    """Opens camera `index` (0 is the first of list_cameras()) on a handle of its own.

    Use it as a context manager, or call close() when done.
    """
    return Camera(index)
