#!/usr/bin/env python3
"""Pacing of transitions and floating with lumora-play natively on Xvfb: figures, not a
test; the same shows and the same following by screenshots as bench/wine_pacing.py.

    bench/native_pacing.py [--play build/native/lumora-play] [--runs N]
                           (after the native and windows presets are built)

1. A packed one-picture show whose full-window 1024 x 768 picture comes in with style 1
   (a wipe from the left, 1026 frames) at ShowSpeed 1, then with style 19 (a curved
   front, 102 frames of a region); screenshots follow the wipe's edge.
2. A packed show whose one picture floats at FloatSpeed 1; screenshots follow its
   corner, and the player's CPU time over the same span gives its load.
3. The same float seen by two screenshots 1.2 s apart: the X server is otherwise idle
   (a screenshot a few dozen milliseconds keeps it busy for a few milliseconds), and
   the CPU share is the player's alone in that span.

The session (tests/e2e/lumora_e2e.py) gives the Xvfb display; the packed shows are
lumora.scr with a payload, so the windows preset must be built too.
"""

import argparse
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.path.insert(0, str(ROOT / "bench"))
sys.dont_write_bytecode = True

import lumora_e2e  # noqa: E402
from wine_pacing import Corner, CpuSeconds, FloatShow, FollowFloat, FollowWipe, Grab, WipeShow  # noqa: E402


def SparseFloat(s, p) -> None:
    deadline = time.monotonic() + 30
    first = None
    while first is None and time.monotonic() < deadline:
        t, width, pixels = Grab(s)
        corner = Corner(width, pixels)
        if corner is not None and corner != (0, 0):
            first = (t, corner, CpuSeconds(p.Pid))
    time.sleep(1.2)
    t, width, pixels = Grab(s)
    corner, cpu = Corner(width, pixels), CpuSeconds(p.Pid)
    p.Kill()
    if first is None or corner is None:
        print(f"float: the picture was not seen moving: {first} {corner}")
        return
    t0, (x0, y0), cpu0 = first
    speed = max(abs(corner[0] - x0), abs(corner[1] - y0)) / (t - t0)
    print(f"float seen twice {t - t0:.2f} s apart: {speed:.0f} pixels/s ({1000 / speed:.2f} ms a step), "
          f"from {(x0, y0)} to {corner}; CPU of lumora-play {100 * (cpu - cpu0) / (t - t0):.0f} % of one core")


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--play", type=Path, default=ROOT / "build/native/lumora-play")
    parser.add_argument("--runs", type=int, default=1)
    a = parser.parse_args()
    native = ROOT / "build" / "native"
    config = lumora_e2e.TConfig(ROOT / "build/windows/lumora.scr", ROOT / "build/windows/e2e", native / "tests" / "e2e")
    config.CheckInputs()
    lumora_e2e.PreparePrefix(config)
    play = str(a.play.resolve())
    with lumora_e2e.TSession(config, "bench.native_pacing") as s:
        shows = [(WipeShow(s, 1), 1026), (WipeShow(s, 19), 102)]
        floating = FloatShow(s)
        for _ in range(a.runs):
            for scr, frames in shows:
                s.ParkPointer()
                FollowWipe(s, s.StartNative(Path(play), [str(scr)], scr.stem),
                           f"show-in of {scr.stem} in the show (lumora-play)", frames)
            s.ParkPointer()
            FollowFloat(s, s.StartNative(Path(play), [str(floating)], "float"), "lumora-play")
            s.ParkPointer()
            SparseFloat(s, s.StartNative(Path(play), [str(floating)], "float"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
