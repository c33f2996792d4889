#!/usr/bin/env python3
"""Start-up to the first picture with lumora-play natively against lumora.scr under
Wine, in one run on one Xvfb display, and the processor time either takes while a
picture floats.

    bench/linux_play.py [--runs N] [--photo FILE.jpg] [--native-only]
                                       (after the native and windows presets are built)

Both players get the same show: a red picture in the centre of a blue screen; the clock
stops when a screenshot shows it (the screenshot's own cost is in both figures). The
session's wineserver already runs, so Wine's figure is a warm start.

With --photo the show is that JPEG full-window (no effect) instead, and the clock stops
when the screen's centre shows neither the display's empty root nor the blue background
(a photograph whose centre is pure blue would not do)."""

import argparse
import os
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.dont_write_bytecode = True

import lumora_e2e  # noqa: E402
from test_show import RED, RedPictureShow  # noqa: E402
from startup import PhotoShow  # noqa: E402

CENTRE = (lumora_e2e.SCREEN_WIDTH // 2, lumora_e2e.SCREEN_HEIGHT // 2)


def CpuSeconds(pid: int) -> float:
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def FloatingShow(s, name: str) -> Path:
    entries = [lumora_e2e.Bmp24(200, 100, RED)]
    _, refs = s.MakeShowScr(name, "", entries)
    (pos, size), = refs
    config = ("[AppInfo]\r\nPicCount=1\r\nSndCount=0\r\n[Settings]\r\nIsUseSplash=0\r\n"
              "[Background]\r\nBgStyle=0\r\nBgSolidColor=00FF0000\r\n"
              f"[Pic1]\r\nPicFileName=.bmp\r\nFilePos={pos}\r\nFileSize={size}\r\nPicPos=1\r\n"
              "ShowInStyle=0\r\nShowOutStyle=0\r\nIsPicFloat=1\r\nFloatSpeed=1\r\nPicInterval=60\r\n")
    scr, _ = s.MakeShowScr(name, config, entries)
    return scr


BLUE = (0, 0, 255)


def Shown(s, empty) -> bool:
    pixel = s.Screenshot("start").Pixel(*CENTRE)
    return pixel == RED if empty is None else pixel not in (empty, BLUE)


def TimeToPicture(s, start, photo: bool = False) -> tuple:
    s.ParkPointer()
    empty = s.Screenshot("empty").Pixel(*CENTRE) if photo else None
    began = time.monotonic()
    process = start()
    lumora_e2e.WaitUntil(lambda: Shown(s, empty), 60, "the picture", interval=0.01)
    elapsed = time.monotonic() - began
    s.Xdotool("key", "Escape")
    process.WaitExit(30)
    return elapsed


def FloatCpu(s, start, pidOf, seconds: float = 5.0) -> float:
    s.ParkPointer()
    process = start()
    time.sleep(3)  # loaded and floating
    pid = pidOf(process)
    before = CpuSeconds(pid)
    time.sleep(seconds)
    used = CpuSeconds(pid) - before
    s.Xdotool("key", "Escape")
    process.WaitExit(30)
    return used / seconds


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--photo", type=Path, help="a JPEG shown full-window instead of the red picture")
    parser.add_argument("--native-only", action="store_true", help="lumora-play alone (no Wine)")
    args = parser.parse_args()
    native = ROOT / "build" / "native"
    config = lumora_e2e.TConfig(Scr=ROOT / "build" / "windows" / "lumora.scr", Helpers=ROOT / "build" / "windows" / "e2e",
                                WorkDir=native / "tests" / "e2e")
    lumora_e2e.PreparePrefix(config)
    play = native / "lumora-play"
    with lumora_e2e.TSession(config, "bench.linux_play") as s:
        photo = args.photo is not None
        red = (PhotoShow(s, "photo.scr", [args.photo.read_bytes()], interval=2) if photo
               else RedPictureShow(s, "red.scr"))
        floating = FloatingShow(s, "float.scr")
        nativeTimes, wineTimes = [], []
        for _ in range(args.runs):
            nativeTimes.append(TimeToPicture(s, lambda: s.StartNative(play, [str(red)], "play"), photo))
            if not args.native_only:
                wineTimes.append(TimeToPicture(s, lambda: s.StartScr(red, "/s"), photo))
        if args.native_only:
            nativeTimes.sort()
            print(f"start-up to the first picture, {args.runs} runs: native median "
                  f"{nativeTimes[len(nativeTimes) // 2] * 1000:.0f} ms, best {nativeTimes[0] * 1000:.0f} ms")
            return 0
        shots = []
        for _ in range(5):
            began = time.monotonic()
            s.Screenshot("cost")
            shots.append(time.monotonic() - began)
        print(f"one screenshot (part of both figures): {min(shots) * 1000:.0f} ms")
        n, w = min(nativeTimes), min(wineTimes)
        print(f"start-up to the first picture, best of {args.runs}: native {n * 1000:.0f} ms, "
              f"Wine {w * 1000:.0f} ms, ratio Wine/native {w / n:.1f}")
        cpuNative = FloatCpu(s, lambda: s.StartNative(play, [str(floating)], "float"), lambda p: p.Pid)
        cpuWine = FloatCpu(s, lambda: s.StartScr(floating, "/s"), lambda p: p.Pid)
        print(f"processor while a picture floats: native {cpuNative * 100:.1f} %, Wine {cpuWine * 100:.1f} % "
              "of one core (Wine's figure leaves out its wineserver and X server)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
