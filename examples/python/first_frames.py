"""Five frames from the first camera as numpy arrays (NIVEXA_VIRTUAL_CAMERAS=1 without one)."""
import nivexa

with nivexa.open() as cam:
    for frame in cam.stream(count=5):
        print(frame.number, frame.array.shape, frame.array.dtype, frame.array.mean())
