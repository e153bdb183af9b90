"""A camera on the emulated USB bus: pulled out during stream(), stalled, and back again."""

import os
import time

import pytest

import nivexa

CONTROL = os.environ.get("NIVEXA_USB_EMULATOR_CONTROL")
pytestmark = pytest.mark.skipif(CONTROL is None, reason="needs the emulated USB bus")
REPLUG_WAIT_S = 10.0
RETRY_S = 0.2


def bus(command: str) -> None:
    with open(CONTROL, "w", encoding="ascii") as control:
        control.write(command + "\n")


def reopen() -> nivexa.Camera:
    """The camera once it is back on the bus."""
    deadline = time.monotonic() + REPLUG_WAIT_S
    while True:
        try:
            return nivexa.open()
        except nivexa.NivexaError:
            if time.monotonic() > deadline:
                raise
            time.sleep(RETRY_S)


def test_unplug_during_stream_raises_13_and_the_camera_comes_back():
    taken = []
    with nivexa.open() as cam:
        with pytest.raises(nivexa.NivexaError) as lost:
            for frame in cam.stream(timeout=10.0):
                taken.append(frame.number)
                if len(taken) == 3:
                    bus("unplug 0")
        assert lost.value.code == nivexa.ErrorCode.STREAM_LOST
        assert len(taken) >= 3
        assert taken == sorted(set(taken)), "frame numbers went backwards or repeated"
    bus("replug 0")
    with reopen() as cam:
        assert cam.snapshot().size == cam.width * cam.height


def test_a_camera_that_stops_sending_raises_the_frame_timeout():
    with nivexa.open() as cam:
        frames = cam.stream(timeout=0.5)
        assert next(frames).array.size > 0
        # From the next request on, the camera never starts a frame.
        bus("fault 0 header-timeout -1")
        try:
            with pytest.raises(nivexa.NivexaError) as stalled:
                for _ in frames:
                    pass
            assert stalled.value.code == nivexa.ErrorCode.FRAME
        finally:
            bus("fault 0 clear")
            frames.close()
        assert cam.snapshot().size == cam.width * cam.height, "the camera works again"
