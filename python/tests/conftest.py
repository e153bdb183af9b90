"""Virtual cameras of their own for this test run, set before the SDK library is loaded.

CTest names the library (NIVEXA_SDK_LIBRARY) and the shared-object prefix; by hand,
`NIVEXA_SDK_LIBRARY=build/dev/src/api/libNivexaSdk_M7QX_TEC.so python3 -m pytest python/tests`.
"""

import atexit
import os
import shutil
import sys
import tempfile
from pathlib import Path

# Two noise-free cameras whose sensors stay at the ambient 25 degrees, so that frames do not
# drift while the cooler works: one frame equals the next.
CAMERAS = ";".join(
    f"serial={serial},pacing=fast,noise=off,cooled=25" for serial in ("PY0001", "PY0002")
)

# The tests expect exactly these cameras and their first-run settings, whatever the shell says.
os.environ["NIVEXA_VIRTUAL_CAMERAS"] = CAMERAS
_settings = tempfile.mkdtemp(prefix="nivexa-pytest-")
atexit.register(shutil.rmtree, _settings, ignore_errors=True)
os.environ["NIVEXA_REGISTRY_FILE"] = os.path.join(_settings, "settings.reg")
os.environ.setdefault("NIVEXA_SHM_PREFIX", f"nivexa-pytest-{os.getpid()}-")
sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
