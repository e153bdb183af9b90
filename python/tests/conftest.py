"""Virtual cameras of their own for this test run, set before the SDK library is loaded.

CTest sets these variables; the defaults let `python3 -m pytest python/tests` run by hand too
(with NIVEXA_SDK_LIBRARY naming a built library).
"""

import os
import sys
import tempfile
from pathlib import Path

# Two noise-free cameras whose sensors stay at the ambient 25 degrees, so that frames do not
# drift while the cooler works: one frame equals the next.
CAMERAS = "serial=PY0001,pacing=fast,noise=off,cooled=25;serial=PY0002,pacing=fast,noise=off,cooled=25"

os.environ.setdefault("NIVEXA_VIRTUAL_CAMERAS", CAMERAS)
os.environ.setdefault("NIVEXA_SHM_PREFIX", f"nivexa-pytest-{os.getpid()}-")
os.environ.setdefault(
    "NIVEXA_REGISTRY_FILE", os.path.join(tempfile.mkdtemp(prefix="nivexa-pytest-"), "test.reg")
)
sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
