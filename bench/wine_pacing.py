#!/usr/bin/env python3
"""Pacing of transitions and floating in real windows under Wine: figures, not a test.

    bench/wine_pacing.py [--scr build/windows/lumora.scr] [--helpers build/windows/e2e]
                         [--work build/native/tests/e2e]

1. lumora-render.exe shows a full-window 1024 x 768 picture with style 1 (a wipe from
   the left, 1026 frames) at ShowSpeed 1; screenshots taken as fast as the display
   allows follow the wipe's edge, from the first visible column to the last. The same
   with style 19 (a curved front from the left, 102 frames of a region).
2. lumora.scr plays the same as a packed one-picture show.
3. lumora.scr plays a packed show whose one picture floats at FloatSpeed 1 from the
   top-left corner (down-right); screenshots follow its corner, and the CPU time of the
   player's process over the same span gives its load as a share of one core.

Uses the end-to-end harness (tests/e2e/lumora_e2e.py) and its cached Wine prefix.
"""

import argparse
import os
import struct
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.dont_write_bytecode = True

import lumora_e2e  # noqa: E402
from lumora_e2e import SCREEN_HEIGHT, SCREEN_WIDTH, TSession  # noqa: E402

COLOUR = (201, 37, 99)  # the picture; the background is black
COLOUR_BYTES = bytes(COLOUR)


def Bmp(width: int, height: int) -> bytes:
    return lumora_e2e.Bmp24(width, height, COLOUR)


def Grab(s: TSession) -> tuple:
    """(time, width, pixel bytes) of the whole display; the time is the middle of the grab."""
    t0 = time.monotonic()
    out = subprocess.run(["import", "-display", s.Display, "-window", "root", "-depth", "8", "ppm:-"],
                         check=True, capture_output=True, timeout=30).stdout
    t1 = time.monotonic()
    # Binary PPM: "P6\n<w> <h>\n<max>\n" then the pixels.
    fields, offset = [], 0
    while len(fields) < 4:
        while out[offset:offset + 1].isspace():
            offset += 1
        end = offset
        while not out[end:end + 1].isspace():
            end += 1
        fields.append(out[offset:end])
        offset = end
    return (t0 + t1) / 2, int(fields[1]), out[offset + 1:]


def WipeEdge(width: int, pixels: bytes, row: int) -> int:
    """Columns of the picture shown in a row (the wipe runs from the left)."""
    line = pixels[row * width * 3:(row + 1) * width * 3]
    last = line.rfind(COLOUR_BYTES)
    while last >= 0 and last % 3 != 0:
        last = line.rfind(COLOUR_BYTES, 0, last + 2)
    return 0 if last < 0 else last // 3 + 1


def Corner(width: int, pixels: bytes):
    """The picture's top-left corner, or None."""
    at = pixels.find(COLOUR_BYTES)
    while at >= 0 and at % 3 != 0:
        at = pixels.find(COLOUR_BYTES, at + 1)
    return None if at < 0 else ((at // 3) % width, (at // 3) // width)


def CpuSeconds(pid: int) -> float:
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def FollowWipe(s: TSession, p, what: str, frames: int = 1026) -> None:
    samples = []
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline:
        t, width, pixels = Grab(s)
        edge = WipeEdge(width, pixels, SCREEN_HEIGHT // 2)
        if edge > 0 or samples:
            samples.append((t, edge))
        if edge >= SCREEN_WIDTH:
            break
    p.Kill()
    moving = [(t, e) for t, e in samples if 0 < e < SCREEN_WIDTH]
    if len(samples) < 2 or samples[-1][1] < SCREEN_WIDTH:
        print(f"{what}: did not complete within 60 s: {samples[-3:]}")
        return
    first, last = samples[0], samples[-1]
    print(f"{what}, ShowSpeed 1, 1024 x 768 full window ({frames} frames):")
    print(f"  first seen at column {first[1]}, complete {last[0] - first[0]:.2f} s later "
          f"({len(samples)} screenshots)")
    if len(moving) >= 2:
        rate = (moving[-1][1] - moving[0][1]) / (moving[-1][0] - moving[0][0])
        seconds = SCREEN_WIDTH / rate
        print(f"  wipe speed {rate:.0f} columns/s, so the whole show-in takes about "
              f"{seconds:.2f} s ({1000 * seconds / frames:.2f} ms a frame)")


def ShowIn(s: TSession, style: int, frames: int) -> None:
    (s.RunDir / "picture.bmp").write_bytes(Bmp(SCREEN_WIDTH, SCREEN_HEIGHT))
    exe = s.Config.Scr.parent / "lumora-render.exe"
    s.ParkPointer()
    p = s.StartWindows(exe, ["picture.bmp", "--client", f"{SCREEN_WIDTH}x{SCREEN_HEIGHT}", "--bg", "solid",
                             "--bg-color", "00000000", "--pic-size", "full-window", "--style", str(style),
                             "--show-speed", "1", "--window", "--seconds", "60"], "render")
    FollowWipe(s, p, f"show-in of style {style} in lumora-render.exe --window", frames)


def WipeShow(s: TSession, style: int) -> Path:
    """A packed one-picture show: a full-window picture that comes in with style at ShowSpeed 1."""
    entries = [Bmp(SCREEN_WIDTH, SCREEN_HEIGHT)]
    _, refs = s.MakeShowScr(f"wipe{style}.scr", "", entries)
    (pos, size), = refs
    config = ("[AppInfo]\r\nPicCount=1\r\nSndCount=0\r\n[Settings]\r\nIsUseSplash=0\r\n"
              "[Background]\r\nBgStyle=0\r\nBgSolidColor=00000000\r\n"
              f"[Pic1]\r\nPicFileName=.bmp\r\nFilePos={pos}\r\nFileSize={size}\r\nPicPos=1\r\nPicSize=1\r\n"
              f"ShowInStyle={style}\r\nShowOutStyle=0\r\nShowSpeed=1\r\nIsPicFloat=0\r\nPicInterval=60\r\n")
    scr, _ = s.MakeShowScr(f"wipe{style}.scr", config, entries)
    return scr


def ShowInOfTheShow(s: TSession) -> None:
    scr = WipeShow(s, 1)
    s.ParkPointer()
    FollowWipe(s, s.StartScr(scr, "/s"), "show-in of style 1 in the show (lumora.scr /s)")


def FloatShow(s: TSession) -> Path:
    """A packed show whose 200 x 150 picture floats at FloatSpeed 1 from the top-left corner."""
    entries = [Bmp(200, 150)]
    _, refs = s.MakeShowScr("float.scr", "", entries)
    (pos, size), = refs
    config = ("[AppInfo]\r\nPicCount=1\r\nSndCount=0\r\n[Settings]\r\nIsUseSplash=0\r\n"
              "[Background]\r\nBgStyle=0\r\nBgSolidColor=00000000\r\n"
              f"[Pic1]\r\nPicFileName=.bmp\r\nFilePos={pos}\r\nFileSize={size}\r\nPicPos=2\r\n"
              "ShowInStyle=0\r\nShowOutStyle=0\r\nIsPicFloat=1\r\nFloatSpeed=1\r\nPicInterval=60\r\n")
    scr, _ = s.MakeShowScr("float.scr", config, entries)
    return scr


def Float(s: TSession) -> None:
    scr = FloatShow(s)
    s.ParkPointer()
    FollowFloat(s, s.StartScr(scr, "/s"), "lumora.scr")


def FollowFloat(s: TSession, p, who: str) -> None:
    deadline = time.monotonic() + 30
    samples = []
    cpu = None
    while time.monotonic() < deadline:
        t, width, pixels = Grab(s)
        corner = Corner(width, pixels)
        if corner is None or corner == (0, 0) and not samples:
            continue
        if cpu is None:
            cpu = (time.monotonic(), CpuSeconds(p.Pid))
        samples.append((t, corner))
        # Down-right from the corner until the bottom edge turns it.
        if corner[1] + 150 >= SCREEN_HEIGHT - 20 or len(samples) >= 60:
            break
    cpuEnd = (time.monotonic(), CpuSeconds(p.Pid))
    p.Kill()
    if len(samples) < 2:
        print(f"float: the picture was not seen moving: {samples}")
        return
    (t0, (x0, y0)), (t1, (x1, y1)) = samples[0], samples[-1]
    speed = max(abs(x1 - x0), abs(y1 - y0)) / (t1 - t0)
    load = (cpuEnd[1] - cpu[1]) / (cpuEnd[0] - cpu[0])
    print("float, FloatSpeed 1, a 200 x 150 picture on 1024 x 768:")
    print(f"  {speed:.0f} pixels/s ({1000 / speed:.2f} ms a step) over {t1 - t0:.2f} s, "
          f"from {samples[0][1]} to {samples[-1][1]}")
    print(f"  CPU of {who} meanwhile: {100 * load:.0f} % of one core")


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--scr", type=Path, default=ROOT / "build/windows/lumora.scr")
    parser.add_argument("--helpers", type=Path, default=ROOT / "build/windows/e2e")
    parser.add_argument("--work", type=Path, default=ROOT / "build/native/tests/e2e")
    a = parser.parse_args()
    config = lumora_e2e.TConfig(a.scr.resolve(), a.helpers.resolve(), a.work.resolve())
    config.CheckInputs()
    lumora_e2e.PreparePrefix(config)
    with TSession(config, "bench.wine_pacing") as s:
        ShowIn(s, 1, 1026)
        ShowIn(s, 19, 102)  # a curved front from the left: a region style
        ShowInOfTheShow(s)
        Float(s)
    return 0


if __name__ == "__main__":
    sys.exit(main())
