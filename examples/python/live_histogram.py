"""A live histogram of the camera's pixel values: in a matplotlib window when matplotlib is
installed, else as text bars in the terminal. Stops after --seconds or Ctrl+C.

    NIVEXA_VIRTUAL_CAMERAS=1 python3 examples/python/live_histogram.py --seconds 10
"""

from __future__ import annotations

import argparse
import time

import numpy as np

import nivexa

BINS = 32
BAR_WIDTH = 50
FULL_SCALE = {8: 256, 16: 4096}  # 16-bit pixels carry the sensor's 12 bits
REDRAW_SECONDS = 0.5


def histogram(image: np.ndarray, bits: int) -> np.ndarray:
    counts, _ = np.histogram(image, bins=BINS, range=(0, FULL_SCALE[bits]))
    return counts


def print_histogram(counts: np.ndarray, bits: int, frame: nivexa.Frame) -> None:
    step = FULL_SCALE[bits] // BINS
    peak = max(int(counts.max()), 1)
    lines = [f"frame {frame.number}"]
    for index, count in enumerate(counts):
        bar = "#" * round(BAR_WIDTH * int(count) / peak)
        lines.append(f"{index * step:5d} {bar}")
    # Home the cursor and clear, so the histogram redraws in place.
    print("\x1b[H\x1b[2J" + "\n".join(lines), flush=True)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=30.0)
    parser.add_argument("--bits", type=int, choices=(8, 16), default=8)
    args = parser.parse_args()
    try:
        import matplotlib.pyplot as plt
    except ImportError:
        plt = None

    with nivexa.open() as cam:
        cam.bits = args.bits
        edges = np.linspace(0, FULL_SCALE[args.bits], BINS + 1)
        bars = None
        if plt is not None:
            figure, axes = plt.subplots()
            bars = axes.bar(edges[:-1], np.zeros(BINS), width=edges[1] - edges[0], align="edge")
            axes.set_xlabel("pixel value")
            axes.set_ylabel("pixels")
            plt.show(block=False)
        end = time.monotonic() + args.seconds
        next_draw = 0.0
        try:
            for frame in cam.stream():
                if time.monotonic() >= end:
                    break
                if time.monotonic() < next_draw:
                    continue
                next_draw = time.monotonic() + REDRAW_SECONDS
                counts = histogram(frame.array, args.bits)
                if bars is None:
                    print_histogram(counts, args.bits, frame)
                    continue
                for bar, count in zip(bars, counts):
                    bar.set_height(count)
                axes.set_ylim(0, max(int(counts.max()), 1) * 1.1)
                axes.set_title(f"frame {frame.number}")
                plt.pause(0.001)
        except KeyboardInterrupt:
            pass
        print(cam.statistics)


if __name__ == "__main__":
    main()
