"""The nivexa package against the library's virtual cameras (see conftest.py)."""

import re
import subprocess
import sys
import threading
import time
from pathlib import Path

import numpy as np
import pytest

import nivexa
from nivexa import _camera
from nivexa._library import BufferRecord, library

PACKAGE_ROOT = Path(__file__).resolve().parents[1]
TIFF_MAGIC = b"II*\x00"
PNG_MAGIC = b"\x89PNG\r\n\x1a\n"
SENSOR_FULL_SCALE = 4095
SENTINEL = 7
BUFFERS = 4


@pytest.fixture
def cam():
    with nivexa.open() as camera:
        yield camera


def run_cli(*args):
    return subprocess.run(
        [sys.executable, "-m", "nivexa", *args],
        cwd=PACKAGE_ROOT,
        capture_output=True,
        text=True,
        timeout=60,
    )


def test_identity_listing_and_command_line(tmp_path):
    assert re.fullmatch(r"\d+\.\d+\.\d+\.\d+", nivexa.sdk_version())
    assert nivexa.list_cameras() == [
        nivexa.CameraInfo(0, "NivexaM7QXTEC_01", "PY0001"),
        nivexa.CameraInfo(1, "NivexaM7QXTEC_02", "PY0002"),
    ]
    with nivexa.open(index=1) as second:
        assert (second.width, second.height) == (2048, 1536)
    with pytest.raises(nivexa.NivexaError) as missing:
        nivexa.open(index=7)
    assert missing.value.code == nivexa.ErrorCode.DEVICE
    assert "Nivexa_SetDeviceNumber" in str(missing.value)

    listed = run_cli("list")
    assert listed.returncode == 0, listed.stderr
    assert re.search(r"1 +NivexaM7QXTEC_02 +PY0002", listed.stdout)
    info = run_cli("info", "--device", "1")
    assert info.returncode == 0, info.stderr
    assert "2048 x 1536" in info.stdout
    image = tmp_path / "cli.png"
    shot = run_cli("snapshot", "-o", str(image), "--bits", "16")
    assert shot.returncode == 0, shot.stderr
    assert image.read_bytes().startswith(PNG_MAGIC)
    refused = run_cli("snapshot", "-o", str(tmp_path / "no" / "such" / "folder.png"))
    assert refused.returncode == 1 and "Nivexa_SaveImage failed" in refused.stderr


def test_settings_and_refusals(cam, tmp_path):
    cam.bits = 16
    cam.exposure = 0.005
    cam.gain = 100
    cam.cooler = True
    assert (cam.bits, cam.gain, cam.cooler) == (16, 100, True)
    assert cam.exposure == pytest.approx(0.005, abs=1e-4)
    low, high = cam.exposure_range
    assert 0 < low < 0.005 < high
    gain_low, gain_high = cam.gain_range
    assert gain_low <= 100 <= gain_high
    assert cam.temperature == pytest.approx(25.0, abs=1.0)

    # The SDK judges the values; its code and the function's name come back.
    for name, value in (("bits", 12), ("gain", gain_high + 1), ("exposure", float("nan"))):
        with pytest.raises(nivexa.NivexaError) as refused:
            setattr(cam, name, value)
        assert refused.value.code == nivexa.ErrorCode.ARGUMENT
        assert "argument out of range" in str(refused.value)
        assert isinstance(refused.value, RuntimeError)
    assert (cam.bits, cam.gain) == (16, 100)

    for name, value in (("exposure", "fast"), ("gain", 1.5), ("bits", True), ("cooler", "on")):
        with pytest.raises(TypeError, match=name):
            setattr(cam, name, value)
    with pytest.raises(ValueError, match="count"):
        cam.stream(count=-1)
    with pytest.raises(ValueError, match="buffers"):
        cam.stream(buffers=0)
    with pytest.raises(ValueError, match="image type"):
        cam.save(tmp_path / "frame.xyz")
    cam.snapshot()
    with pytest.raises(nivexa.NivexaError, match="no/such") as unwritten:
        cam.save(tmp_path / "no" / "such" / "frame.png")
    assert unwritten.value.code == nivexa.ErrorCode.NONE
    with pytest.raises(nivexa.NivexaError, match="Nivexa_Record") as unrecorded:
        cam.record(tmp_path / "no" / "clip.avi", seconds=0.1)
    assert unrecorded.value.code == nivexa.ErrorCode.TEXT
    with pytest.raises(ValueError, match="seconds"):
        cam.record(tmp_path / "clip.avi", seconds=-1)

    # A handle released under the object: the SDK records nothing, and the call still fails.
    library().Nivexa_Release(cam.handle)
    for read in (lambda: cam.gain, lambda: cam.width, lambda: cam.bits, cam.snapshot):
        with pytest.raises(nivexa.NivexaError) as gone:
            read()
        assert gone.value.code == nivexa.ErrorCode.NONE
    cam.close()
    for use in (lambda: cam.exposure, cam.snapshot, lambda: cam.stream(count=1)):
        with pytest.raises(ValueError, match="closed"):
            use()


@pytest.mark.parametrize("bits", [8, 16])
def test_images_are_the_sdk_frames_and_files(cam, tmp_path, bits):
    cam.bits = bits
    image = cam.snapshot()
    dtype = np.uint8 if bits == 8 else np.uint16
    assert image.dtype == dtype and image.shape == (1536, 2048) and image.flags.c_contiguous

    # The same noise-free frame taken through the C interface directly.
    reference = np.zeros_like(image)
    assert library().Nivexa_SnapShot(cam.handle, reference.ctypes.data, reference.nbytes, 1)
    np.testing.assert_array_equal(image, reference)
    assert image.std() > 0
    if bits == 16:
        assert image.max() <= SENSOR_FULL_SCALE

    frames = [frame.detach() for frame in cam.stream(count=2)]
    for frame in frames:
        np.testing.assert_array_equal(frame, reference)
    raw = next(iter(cam.stream(count=1, raw=True))).detach()
    assert raw.dtype == dtype and raw.shape == image.shape

    cam.save(tmp_path / "frame.tiff")
    assert (tmp_path / "frame.tiff").read_bytes().startswith(TIFF_MAGIC)
    clip = tmp_path / "clip.avi"
    cam.record(clip, seconds=0.5)
    header = clip.read_bytes()[:12]
    assert header[:4] == b"RIFF" and header[8:12] == b"AVI "
    # The stream the recording ran on is over: another acquisition starts at once.
    cam.snapshot()


def test_thousand_frames_are_accounted_and_held_frames_never_change(cam):
    cam.bits = 8
    numbers = []
    detached = held_view = None
    for frame in cam.stream(count=1000, buffers=BUFFERS, raw=True):
        assert frame.status == nivexa.BufferStatus.COMPLETE
        numbers.append(frame.number)
        if len(numbers) == 1:
            first_ns = frame.timestamp_ns
        if len(numbers) == 10:
            detached = frame.detach()
            detached[:] = SENTINEL
        elif len(numbers) == 20:
            # Kept without detach(): the stream must notice the reference and lend a new buffer.
            held_view = frame.array[100:200]
            held_view[:] = SENTINEL
        elif len(numbers) == 30:
            passed = frame
    with pytest.raises(ValueError, match="went back"):
        passed.array
    assert np.all(detached == SENTINEL) and np.all(held_view == SENTINEL)

    ended_ns = time.monotonic_ns()

    steps = np.diff(np.array(numbers, dtype=np.int64))
    assert len(numbers) == 1000 and np.all(steps >= 1)
    gaps = int((steps - 1).sum())
    stats = cam.statistics
    assert stats.failed == 0 and stats.incomplete == 0
    assert 1000 <= stats.delivered < 1000 + BUFFERS
    assert stats.lost + stats.dropped >= gaps
    # Every frame the camera sent between the first and the last one taken is taken, lost or
    # dropped; after the last one, frames go on arriving at about the camera's rate until the
    # stream has stopped (twice that rate allows for a busy machine's bursts).
    span = numbers[-1] - numbers[0] + 1
    rate = span / ((frame.timestamp_ns - first_ns) / 1e9)
    after = rate * (ended_ns - frame.timestamp_ns) / 1e9
    seen = stats.delivered + stats.lost + stats.dropped
    assert span <= seen <= span + 2 * after + BUFFERS


def test_streams_end_with_their_loops(cam):
    abandoned = cam.stream()
    next(abandoned)
    del abandoned
    cam.snapshot()  # refused with error 1 while a stream still ran

    for _ in cam.stream():
        break
    with pytest.raises(ZeroDivisionError):
        for _ in cam.stream():
            1 / 0
    running = cam.stream()
    next(running)
    with pytest.raises(nivexa.NivexaError, match="another stream") as second:
        next(cam.stream())
    assert second.value.code == nivexa.ErrorCode.NO_CAMERA
    running.close()
    assert len(list(cam.stream(count=3))) == 3
    with nivexa.open(index=1) as other:
        with pytest.raises(ValueError, match="closed during stream"):
            for _ in other.stream():
                other.close()

    # The handle released while a frame is awaited.
    def release_soon():
        library().Nivexa_Release(cam.handle)

    frames = cam.stream(timeout=30.0)
    next(frames)
    timer = threading.Timer(0.2, release_soon)
    timer.start()
    with pytest.raises(nivexa.NivexaError, match="released"):
        for _ in frames:
            pass
    timer.join()


def test_lost_camera_raises_code_13(cam, monkeypatch):
    # The virtual camera's unplug is not reachable through the C interface; the buffer the SDK
    # hands back when a camera stops delivering is FAILED, which is what this stands in for.
    real = library()
    handed = []

    class FailingAfterThree:
        def __getattr__(self, name):
            return getattr(real, name)

        def NivexaStream_Wait(self, handle, timeout_ms):
            address = real.NivexaStream_Wait(handle, timeout_ms)
            handed.append(address)
            if address and len(handed) > 3:
                BufferRecord.from_address(address).status = nivexa.BufferStatus.FAILED
            return address

    monkeypatch.setattr(_camera, "library", lambda: FailingAfterThree())
    taken = []
    with pytest.raises(nivexa.NivexaError) as lost:
        for frame in cam.stream():
            taken.append(frame.number)
    assert lost.value.code == nivexa.ErrorCode.STREAM_LOST and len(taken) == 3
    monkeypatch.undo()
    cam.snapshot()
