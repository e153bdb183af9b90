"""The package's version is the SDK's, written once in the top CMakeLists.txt's project()."""

import re
from pathlib import Path

from setuptools import setup

_PROJECT = Path(__file__).resolve().parent.parent / "CMakeLists.txt"
_VERSION = re.search(r"project\(NivexaSdk VERSION ([0-9.]+)", _PROJECT.read_text())

if _VERSION is None:
    raise RuntimeError(f"no project version in {_PROJECT}")

setup(version=_VERSION.group(1))
