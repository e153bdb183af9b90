"""python3 -m nivexa list | info | snapshot -o FILE"""

from __future__ import annotations

import argparse
import sys
from typing import Optional, Sequence

from . import NivexaError, list_cameras, open, sdk_version


def _list() -> int:
    cameras = list_cameras()
    if not cameras:
        print("no camera found", file=sys.stderr)
        return 1
    print(f"{'no.':<4} {'name':<18} serial")
    for camera in cameras:
        print(f"{camera.index:<4} {camera.name:<18} {camera.serial}")
    return 0


def _info(device: int) -> int:
    with open(device) as cam:
        low, high = cam.exposure_range
        gain_low, gain_high = cam.gain_range
        print(f"SDK            {sdk_version()}")
        print(f"image          {cam.width} x {cam.height}, {cam.bits} bits per pixel")
        print(f"exposure       {cam.exposure:.6g} s ({low:.6g} .. {high:.6g})")
        print(f"gain           {cam.gain} ({gain_low} .. {gain_high})")
        print(f"cooler         {'on' if cam.cooler else 'off'}")
        print(f"temperature    {cam.temperature:.1f} C")
    return 0


def _snapshot(device: int, output: str, bits: Optional[int]) -> int:
    with open(device) as cam:
        if bits is not None:
            cam.bits = bits
        image = cam.snapshot()
        cam.save(output)
        print(f"saved {output}: {image.shape[1]} x {image.shape[0]}, {cam.bits} bits per pixel")
    return 0


def main(argv: Optional[Sequence[str]] = None) -> int:
    parser = argparse.ArgumentParser(prog="python3 -m nivexa", description=__doc__)
    commands = parser.add_subparsers(dest="command", required=True)
    commands.add_parser("list", help="list the attached cameras")
    info = commands.add_parser("info", help="print one camera's image size and settings")
    info.add_argument("--device", type=int, default=0)
    snap = commands.add_parser("snapshot", help="take one frame and save it")
    snap.add_argument("-o", "--output", required=True, help="file; type from the extension")
    snap.add_argument("--device", type=int, default=0)
    snap.add_argument("--bits", type=int, choices=(8, 16))
    args = parser.parse_args(argv)
    try:
        if args.command == "list":
            return _list()
        if args.command == "info":
            return _info(args.device)
        return _snapshot(args.device, args.output, args.bits)
    except (NivexaError, OSError, ValueError) as error:
        print(f"nivexa: {error}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
