#!/usr/bin/env python3
"""Runs `nivexa` against a virtual camera and checks what a user sees.

Usage: check_tool.py NIVEXA CHECKER WORKDIR GROUP, GROUP one of cli, record, cool, calibrate.
The caller sets NIVEXA_SHM_PREFIX and NIVEXA_REGISTRY_FILE.
"""
import json
import os
import re
import subprocess
import sys

tool, checker, workdir, group = sys.argv[1:5]
os.makedirs(workdir, exist_ok=True)
# Stored settings of an earlier run would change what this one sees.
if os.path.exists(os.environ.get("NIVEXA_REGISTRY_FILE", "")):
    os.remove(os.environ["NIVEXA_REGISTRY_FILE"])
failures = []


def run(*args, cameras="pacing=fast,noise=off"):
    env = dict(os.environ)
    if cameras is None:
        env.pop("NIVEXA_VIRTUAL_CAMERAS", None)
    else:
        env["NIVEXA_VIRTUAL_CAMERAS"] = cameras
    done = subprocess.run([tool, *args], capture_output=True, text=True, env=env, cwd=workdir)
    return done.returncode, done.stdout, done.stderr


def expect(condition, what, output=""):
    if not condition:
        failures.append(what + ("\n" + output if output else ""))


def refused(args, reason):
    """A command line the tool must refuse with status 2 and one line naming the reason."""
    status, out, err = run(*args)
    lines = err.strip().splitlines()
    expect(status == 2 and len(lines) == 1 and reason in lines[0] and "usage:" not in err,
           f"{' '.join(args)}: wanted one line with '{reason}', status 2", f"{status}: {err}")


def cli():
    status, out, _ = run("--version")
    expect(status == 0 and re.match(r"Nivexa SDK \d+\.\d+\.\d+\.\d+", out), "--version", out)
    # Every command the usage lists has its own help, and the README names it.
    status, usage, _ = run("--help")
    names = re.findall(r"^  ([a-z]+)", usage.split("commands:")[1], re.M)
    readme = open(os.path.join(os.path.dirname(__file__), "..", "..", "..", "README.md")).read()
    expect(status == 0 and len(names) >= 12, "--help lists the commands", usage)
    for name in names:
        status, out, err = run(name, "--help")
        expect(status == 0 and out.startswith("usage: nivexa " + name), f"{name} --help", out + err)
        expect(f"`{name}" in readme or f"nivexa {name}" in readme, f"README names {name}")
    status, out, _ = run("stream", "--help")
    expect(status == 0 and "--exposure SECONDS" in out and "--type" not in out, "stream --help", out)

    # The option's name is looked up for the command before its value is read. A stream's time
    # counts from its first frame, so one shorter than a frame's exposure still delivers it.
    status, out, err = run("stream", "--exposure", "0.5", "--seconds", "0.2", cameras="noise=off")
    expect(status == 0 and re.search(r"summary: [1-9]\d* frames", out),
           "stream takes --exposure and counts from its first frame", out + err)
    refused(["stream", "--bogus", "1"], "unknown option --bogus")
    refused(["list", "--exposure", "1"], "does not take --exposure")
    refused(["stream", "--seconds", "0"], "--seconds must be above 0")
    refused(["stream", "--seconds", "abc"], "takes a number")
    refused(["record", "-o", "clip.mp4"], ".mp4 does not name an AVI file")
    refused(["snapshot", "-o", "x.png", "--type", "raw"], ".png does not name a raw file")
    status, _, err = run("snapshot", "-o", "missing/x.png")
    expect(status == 1 and "No such file or directory" in err, "missing folder", err)
    os.makedirs(os.path.join(workdir, "folder.png"), exist_ok=True)
    status, _, err = run("snapshot", "-o", "folder.png")
    expect(status == 1 and "is a directory" in err, "directory as output", err)
    status, out, err = run("snapshot", "-o", "x.png", "--type", "raw", "--force")
    expect(status == 0 and "saved" in out, "--force writes anyway", err)

    status, out, err = run("list", "--json")
    cameras = json.loads(out)["cameras"] if status == 0 else []
    expect(len(cameras) == 1 and cameras[0]["serial"] == "VC0001" and cameras[0]["fpga"] == "0x8130",
           "list --json", out + err)
    status, out, err = run("info", "--json")
    info = json.loads(out) if status == 0 else {}
    low, high = info.get("exposure_range_s", [0, 0])
    expect(0 < low < high and info.get("width") == 2048 and "temperature_c" in info, "info --json",
           out + err)
    status, out, err = run("features", "--json")
    features = {f["name"]: f for f in json.loads(out)["features"]} if status == 0 else {}
    exposure = features.get("exposure", {})
    expect(exposure.get("unit") == "s" and exposure.get("writable") and
           exposure.get("range") == [low, high], "features: exposure in seconds", out)
    expect(features.get("temperature", {}).get("writable") is False, "temperature read-only", out)
    expect({"gain", "black-level", "cooler", "mirror-h", "mirror-v", "colour-mode", "gamma",
            "mask-filter", "dot-filter"} <= features.keys(), "features: the parameters", out)
    status, out, err = run("stream", "--json", "--seconds", "0.5")
    stream = json.loads(out) if status == 0 else {}
    expect(stream.get("frames", 0) > 0 and "lost" in stream and "dropped" in stream and
           stream.get("frame_errors") == 0, "stream --json", out + err)

    status, out, err = run("set", "gamma", "120")
    status2, out2, _ = run("get", "gamma")
    expect(status == 0 and status2 == 0 and out2.strip() == "120", "set then get gamma", out + out2)
    status, out, err = run("set", "exposure", "0.005")
    status2, out2, _ = run("get", "exposure")
    expect(status == 0 and out2.strip() == "0.005 s", "set then get exposure", out + err + out2)
    refused(["set", "temperature", "3"], "read-only")
    refused(["set", "gamma", "500"], "takes 0 .. 200")
    refused(["get", "nonsense"], "unknown parameter")

    # Without a camera the tool says once that it uses a virtual one; info has one exposure range.
    status, out, err = run("info", cameras=None)
    expect(status == 0 and (out + err).count("virtual camera") == 1 and
           out.count("exposure range") == 1 and " s\n" in out.split("exposure range")[1],
           "info on the fallback camera", out + err)


def record():
    # Without noise and with the sensor's temperature settled at once, every frame is the same,
    # so a TIFF recording and a raw one can be compared sample for sample.
    cameras = "pacing=fast,noise=off,thermal=1000"
    status, out, err = run("record", "--format", "raw", "-o", "clip.raw", "--seconds", "0.4",
                           cameras=cameras)
    expect(status == 0 and re.search(r"\d+ lost, \d+ dropped", out), "record raw", out + err)
    with open(os.path.join(workdir, "clip.raw.json")) as sidecar:
        description = json.load(sidecar)
    frames = description["frames"]
    expect(description["bits_per_pixel"] == 16 and len(frames) >= 2 and
           all(a["number"] < b["number"] and a["timestamp_ns"] < b["timestamp_ns"]
               for a, b in zip(frames, frames[1:])), "raw sidecar", json.dumps(description)[:400])
    expect(os.path.getsize(os.path.join(workdir, "clip.raw")) ==
           len(frames) * description["frame_bytes"], "raw file size")
    status, out, err = run("record", "--format", "tiff", "-o", "clip.tif", "--seconds", "0.4",
                           cameras=cameras)
    expect(status == 0 and "TIFF" in out, "record tiff", out + err)
    done = subprocess.run([checker, os.path.join(workdir, "clip.tif"),
                           os.path.join(workdir, "clip.raw")], capture_output=True, text=True)
    expect(done.returncode == 0, "TIFF pages equal the raw frames", done.stdout + done.stderr)
    print(done.stdout, end="")
    # The AVI's frames are counted back from the file; every frame delivered must be there.
    status, out, err = run("record", "-o", "clip.avi", "--seconds", "0.4", cameras=cameras)
    avi = re.search(r"\((\d+) bytes, (plain|extended) layout, \d+ RIFF chunks?\): (\d+) frames, "
                    r"[0-9.]+ fps, (\d+) delivered, \d+ lost, \d+ dropped, 0 frame errors$", out)
    expect(status == 0 and avi and int(avi.group(3)) >= 2 and avi.group(3) == avi.group(4) and
           int(avi.group(1)) == os.path.getsize(os.path.join(workdir, "clip.avi")),
           "record avi: the file holds every delivered frame", out + err)


def cool():
    # At 40 times the thermal speed the sensor cools from ambient within about four seconds.
    cameras = "pacing=fast,noise=off,thermal=40"
    status, out, err = run("cool", "--settle", "2", "--timeout", "20", cameras=cameras)
    readings = re.findall(r"^\s+\d+ s\s+(-?[0-9.]+) C", out, re.M)
    expect(status == 0 and "settled at" in out and len(readings) >= 3 and
           float(readings[-1]) < float(readings[0]), "cool settles", out + err)
    status, out, err = run("cool", "--settle", "2", "--timeout", "2", "--target", "-20",
                           cameras=cameras)
    expect(status == 1 and "did not settle" in out, "cool short of the target", out + err)


def calibrate():
    exposure = ["--exposure", "0.02", "--frames", "4"]
    mask = "panel.msk"
    status, out, err = run("calibrate", "dark", "-o", mask, *exposure,
                           cameras="pacing=fast,noise=off,scene=dark")
    expect(status == 0 and "hot pixels" in out and "averaged 4 of 4 frames" in out and
           "averaged 5" not in out, "calibrate dark", out + err)
    status, out, err = run("calibrate", "flat", "-o", mask, *exposure,
                           cameras="pacing=fast,noise=off,scene=flat")
    dead = re.search(r"(\d+) dead pixels in (\d+) clusters", out)
    expect(status == 0 and dead and int(dead.group(1)) > 0, "calibrate flat", out + err)
    status, out, err = run("calibrate", "check", mask, "--exposure", "0.02",
                           cameras="pacing=fast,noise=on,scene=flat")
    values = [float(v) for v in re.findall(r"non-uniformity ([0-9.]+) %", out)]
    print(out, end="")
    expect(status == 0 and len(values) == 2 and values[1] < values[0] / 10,
           "the mask reduces the non-uniformity tenfold", out + err)
    refused(["calibrate", "dark"], "-o MASKFILE")
    status, _, err = run("calibrate", "check", "missing.msk")
    expect(status == 1 and "No such file or directory" in err, "missing mask file", err)
    refused(["calibrate", "check", "--frames", "0", mask], "at least 1")
    # The defect count needs hot pixels to show: at a long exposure they do, in clusters.
    status, out, err = run("calibrate", "dark", "-o", "long.msk", "--exposure", "0.2",
                           "--frames", "2", cameras="pacing=fast,noise=off,scene=dark")
    hot = re.search(r"(\d+) hot pixels in (\d+) clusters.*\n  cluster at \d+,\d+: \d+x\d+", out)
    expect(status == 0 and hot and int(hot.group(1)) >= int(hot.group(2)) > 0,
           "hot pixels at a long exposure", out + err)


{"cli": cli, "record": record, "cool": cool, "calibrate": calibrate}[group]()
for failure in failures:
    print("FAIL:", failure)
print(f"{group}: {'ok' if not failures else str(len(failures)) + ' failed'}")
sys.exit(1 if failures else 0)
