#!/usr/bin/env python3
"""Start to the first photo fully shown: lumora-play natively and lumora.scr /s under
Wine, on one 1920 x 1080 Xvfb display. Figures, not a test.

    bench/startup.py [--runs N] [--photo FILE.jpg] [--native-only] [--wine-only]
                     (after the native and windows presets are built)

The show is one JPEG full-window (PicSize 1, ShowInStyle 0) on a blue background; by
default a 24-megapixel photograph (6000 x 4000) made once from a photograph of the
mate-backgrounds package. The clock starts just before the process is started and stops
when five points of the screen (its centre and the centres of its quarters) all show
the photo's colours there (within 40 of each channel of the photo scaled to the screen
by ImageMagick): the photo is on the whole screen. The points are read straight from the X server (a few microseconds each, every
2 ms), so no screenshot's cost is in the figures. Wine's wineserver of the session
already runs: its figure is a warm start. The machine's load average is printed with
the figures (other work on the same cores slows both).

Both programs write the show's trace (LUMORA_TRACE, docs/show.md); the median time of
each of its events (their first occurrence) from the start of the process is printed
below each figure: where the start goes, taken inside the process.
"""

import argparse
import ctypes
import ctypes.util
import os
import statistics
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.dont_write_bytecode = True

import lumora_e2e  # noqa: E402

WIDTH, HEIGHT = 1920, 1080
POINTS = [(WIDTH // 2, HEIGHT // 2)] + [(WIDTH * i // 4, HEIGHT * j // 4) for i in (1, 3) for j in (1, 3)]
SOURCE_PHOTO = Path("/usr/share/backgrounds/mate/abstract/Elephants_5640x3172.jpg")


class TPixels:
    """Single pixels of the display's root window, read through Xlib."""

    def __init__(self, display: str):
        x = ctypes.CDLL(ctypes.util.find_library("X11"))
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XGetImage.restype = ctypes.c_void_p
        x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x.XGetPixel.restype = ctypes.c_ulong
        x.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
        x.XFree.argtypes = [ctypes.c_void_p]
        x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self._x = x
        self._display = x.XOpenDisplay(display.encode())
        if not self._display:
            raise RuntimeError(f"cannot open display {display}")
        self._root = x.XDefaultRootWindow(self._display)

    def At(self, px: int, py: int) -> int:
        image = self._x.XGetImage(self._display, self._root, px, py, 1, 1, 0xFFFFFFFF, 2)  # ZPixmap
        if not image:
            return -1
        pixel = self._x.XGetPixel(image, 0, 0) & 0xFFFFFF
        # XDestroyImage is a macro: the 1 x 1 image's data, then the structure (the data
        # pointer is the structure's fifth field, after four ints).
        data = ctypes.cast(image + 16, ctypes.POINTER(ctypes.c_void_p)).contents.value
        if data:
            self._x.XFree(data)
        self._x.XFree(image)
        return pixel

    def Close(self) -> None:
        self._x.XCloseDisplay(self._display)


class TSession1080(lumora_e2e.TSession):
    """A session whose display and Wine desktop are 1920 x 1080."""

    def __init__(self, config, name):
        super().__init__(config, name)
        self.DisplayOptions = lumora_e2e.TDisplayOptions(Screens=((WIDTH, HEIGHT),))

    def _ApplyDisplayOptions(self) -> None:
        super()._ApplyDisplayOptions()
        lumora_e2e.SetRegFileValue(self.Prefix / "user.reg", r"Software\Wine\Explorer\Desktops", "Default",
                                   f'"{WIDTH}x{HEIGHT}"')


def PhotoShow(s, name: str, photos: list, items: int = 1, interval: int = 30, background: str = "00FF0000") -> Path:
    """A packed show of items JPEG photos (bytes; taken in turn) full window, each coming
    in at once (style 0) and staying interval seconds, on a solid background."""
    _, refs = s.MakeShowScr(name, "", photos)
    config = (f"[AppInfo]\r\nPicCount={items}\r\nSndCount=0\r\n[Settings]\r\nIsUseSplash=0\r\n"
              f"[Background]\r\nBgStyle=0\r\nBgSolidColor={background}\r\n")
    for i in range(items):
        pos, size = refs[i % len(refs)]
        config += (f"[Pic{i + 1}]\r\nPicFileName=.jpg\r\nFilePos={pos}\r\nFileSize={size}\r\nPicPos=1\r\n"
                   f"PicSize=1\r\nShowInStyle=0\r\nShowOutStyle=0\r\nIsPicFloat=0\r\nPicInterval={interval}\r\n")
    scr, _ = s.MakeShowScr(name, config, photos)
    return scr


def Expected(photo: Path) -> list:
    """The photo's colours at POINTS, scaled to the screen by ImageMagick."""
    ppm = subprocess.run(["convert", str(photo), "-resize", f"{WIDTH}x{HEIGHT}!", "-depth", "8", "ppm:-"],
                         check=True, timeout=600, capture_output=True).stdout
    # "P6\nW H\n255\n" then RGB rows.
    header = ppm.split(b"\n", 3)
    data = header[3]
    return [tuple(data[(y * WIDTH + x) * 3:(y * WIDTH + x) * 3 + 3]) for x, y in POINTS]


def Near(pixel: int, rgb: tuple, tolerance: int = 40) -> bool:
    got = ((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF)
    return pixel >= 0 and all(abs(a - b) <= tolerance for a, b in zip(got, rgb))


def TraceEvents(path: Path, began: float) -> dict:
    """{event: milliseconds from began (seconds since 1970)} of a trace file, first
    occurrences only."""
    events = {}
    if path.exists():
        for line in path.read_text(errors="replace").splitlines():
            stamp, _, event = line.partition(" ")
            if stamp.isdigit() and event not in events:
                events[event] = int(stamp) / 1000 - began * 1000
    return events


def TimeToPhoto(s, pixels: TPixels, expected: list, start, wine: bool, traces: list) -> float:
    s.ParkPointer()
    time.sleep(0.5)
    trace = s.Prefix / "drive_c" / "trace.txt" if wine else s.Prefix / "play-trace.txt"
    trace.unlink(missing_ok=True)
    wall = time.time()
    began = time.monotonic()
    process = start(str(trace) if not wine else "C:\\trace.txt")
    deadline = began + 60
    while True:
        now = [pixels.At(*p) for p in POINTS]
        if all(Near(v, e) for v, e in zip(now, expected)):
            break
        if time.monotonic() > deadline:
            raise lumora_e2e.EE2EError("the photo did not appear within 60 s")
        time.sleep(0.002)
    elapsed = time.monotonic() - began
    if wine:
        # Wine's desktop window may keep the keyboard: the form is closed instead.
        form = s.WaitForWindow(process=process, Class="TMainFrm", Visible=True)
        s.CloseWindow(form.Hwnd)
    else:
        # The keyboard may be with Wine's desktop window: the player's quit signal.
        process.Popen.terminate()
    process.WaitExit(30)
    time.sleep(0.5)
    events = TraceEvents(trace, wall)
    events["photo seen (outside)"] = elapsed * 1000
    traces.append(events)
    return elapsed


def Photo24(work: Path) -> Path:
    photo = work / "photo-6000x4000.jpg"
    if not photo.exists():
        if not SOURCE_PHOTO.exists():
            raise SystemExit(f"{SOURCE_PHOTO} is missing (scripts/bootstrap installs mate-backgrounds); "
                             "give --photo")
        work.mkdir(parents=True, exist_ok=True)
        subprocess.run(["convert", str(SOURCE_PHOTO), "-resize", "6000x4000!", "-quality", "92", str(photo)],
                       check=True, timeout=600, env=dict(os.environ, MAGICK_THREAD_LIMIT="1"))
    return photo


def Summary(name: str, times: list) -> str:
    ms = sorted(t * 1000 for t in times)
    return f"{name}: median {statistics.median(ms):.0f} ms (best {ms[0]:.0f}, worst {ms[-1]:.0f}, {len(ms)} runs)"


def TraceSummary(traces: list) -> str:
    """Each event's median time from the start, in the order of those medians."""
    names = {name for events in traces for name in events}
    medians = {name: statistics.median([e[name] for e in traces if name in e]) for name in names}
    return "\n".join(f"      {ms:7.0f} ms  {name}" for name, ms in sorted(medians.items(), key=lambda kv: kv[1]))


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--photo", type=Path, help="the JPEG to show (default: a 24-megapixel photograph)")
    parser.add_argument("--native-only", action="store_true")
    parser.add_argument("--wine-only", action="store_true")
    args = parser.parse_args()
    native = ROOT / "build" / "native"
    config = lumora_e2e.TConfig(Scr=ROOT / "build" / "windows" / "lumora.scr", Helpers=ROOT / "build" / "windows" / "e2e",
                                WorkDir=native / "tests" / "e2e")
    photo = args.photo or Photo24(native / "bench-startup")
    lumora_e2e.PreparePrefix(config)
    play = native / "lumora-play"
    load = os.getloadavg()[0]
    with TSession1080(config, "bench.startup") as s:
        scr = PhotoShow(s, "photo.scr", [photo.read_bytes()])
        pixels = TPixels(s.Display)
        expected = Expected(photo)
        nativeTimes, wineTimes = [], []
        nativeTraces, wineTraces = [], []
        try:
            for _ in range(args.runs):
                if not args.wine_only:
                    nativeTimes.append(TimeToPhoto(
                        s, pixels, expected,
                        lambda trace: s.StartNative(play, [str(scr)], "play", env={"LUMORA_TRACE": trace}), False,
                        nativeTraces))
                if not args.native_only:
                    wineTimes.append(TimeToPhoto(
                        s, pixels, expected, lambda trace: s.StartScr(scr, "/s", env={"LUMORA_TRACE": trace}), True,
                        wineTraces))
        finally:
            pixels.Close()
    load = max(load, os.getloadavg()[0])
    print(f"start to the first photo fully shown, {photo.name} at {WIDTH} x {HEIGHT}, "
          f"load average up to {load:.1f} on {os.cpu_count()} cores:")
    if nativeTimes:
        print("  " + Summary("lumora-play", nativeTimes))
        print(TraceSummary(nativeTraces))
    if wineTimes:
        print("  " + Summary("lumora.scr /s under Wine", wineTimes))
        print(TraceSummary(wineTraces))
    return 0


if __name__ == "__main__":
    sys.exit(main())
