"""The package on cameras that come through libusb on the emulated bus (run under
scripts/emulated-usb-camera.sh, or nivexa-usb-emulator from CTest): no virtual cameras of the
library's own, a fresh settings file."""

import atexit
import os
import shutil
import sys
import tempfile
from pathlib import Path

os.environ.pop("NIVEXA_VIRTUAL_CAMERAS", None)
os.environ.pop("NIVEXA_USB", None)
_settings = tempfile.mkdtemp(prefix="nivexa-pytest-usb-")
atexit.register(shutil.rmtree, _settings, ignore_errors=True)
os.environ["NIVEXA_REGISTRY_FILE"] = os.path.join(_settings, "settings.reg")
os.environ.setdefault("NIVEXA_SHM_PREFIX", f"nivexa-pytest-usb-{os.getpid()}-")
sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
