#!/usr/bin/env python3
"""The wait between pictures under Wine: figures, not a test.

    bench/wine_next_item.py [--scr build/windows/lumora.scr] [--helpers build/windows/e2e]
                            [--work build/native/tests/e2e] [--items 6] [--keep-trace DIR]

lumora.scr /s plays a packed show of photographs (ImageMagick's enlargements of the
Debian wallpapers: 6000 x 4000, about 24 megapixels, JPEG) shown full window on a
1920 x 1080 display, each for PicInterval 2 s and coming in at once (style 0). The
screen's middle pixel is read from the X server every millisecond (startup.TPixels); the time between one photo's first appearance and the next one's is
PicInterval plus the wait for the next photo (its loading, the timer's 50 ms tick,
the drawing). The same show of 640 x 427 copies of the photos, cheap to decode but
stretched to the window at their turn, is shown beside it. An even number of items
keeps the two photos alternating when the show starts over.

The show also writes its trace (LUMORA_TRACE, docs/show.md): from it, per change of
item, the time from the tick to the first frame of the transition (the old photo's
show-out), to the show-out's end (its last frame) and to the new photo's first frame,
and the time from the end of the show-in to the next tick beyond PicInterval (the
timer's lateness), all taken inside the process.
"""

import argparse
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.dont_write_bytecode = True

import lumora_e2e  # noqa: E402
from lumora_e2e import TSession  # noqa: E402
from startup import HEIGHT, WIDTH, PhotoShow, TPixels, TSession1080  # noqa: E402

PHOTOS = ("/usr/share/backgrounds/mate/nature/Aqua.jpg", "/usr/share/backgrounds/mate/nature/Storm.jpg")
INTERVAL = 2


def Photo(source: str, size: str, folder: Path) -> bytes:
    out = folder / f"{Path(source).stem}-{size}.jpg"
    subprocess.run(["convert", source, "-resize", f"{size}!", "-quality", "90", str(out)], check=True)
    return out.read_bytes()


TRACE = "C:\\trace.txt"


def Trace(s: TSession) -> list:
    """(milliseconds, event) of the show's trace file."""
    path = s.Prefix / "drive_c" / "trace.txt"
    events = []
    for line in path.read_text(errors="replace").splitlines():
        stamp, _, event = line.partition(" ")
        if stamp.isdigit():
            events.append((int(stamp) / 1000, event))
    return events


def InProcess(events: list) -> dict:
    """Per change of item (each tick after the first item): milliseconds from the tick
    to the show-out's first frame, to its last, to the show-in's first frame; and the
    tick's lateness after the show-in's end plus PicInterval."""
    figures = {"to show-out": [], "show-out": [], "to show-in": [], "timer late": []}
    ticks = [i for i, (_, e) in enumerate(events) if e == "tick"]
    for n, i in enumerate(ticks[1:], 1):
        tick = events[i][0]
        after = events[i + 1:ticks[n + 1] if n + 1 < len(ticks) else len(events)]
        first = lambda prefix: next((t for t, e in after if e.startswith(prefix)), None)  # noqa: E731
        out0, in0 = first("show-out frame 0"), first("show-in frame 0")
        outs = [t for t, e in after if e.startswith("show-out frame")]
        if out0 is None or in0 is None:
            continue
        figures["to show-out"].append(out0 - tick)
        figures["show-out"].append(outs[-1] - out0)
        figures["to show-in"].append(in0 - tick)
        done = [t for t, e in events[:i] if e == "show-in complete"]
        if done:
            figures["timer late"].append(tick - done[-1] - 1000 * INTERVAL)
    return figures


def Changes(s: TSession, scr: Path, pixels: TPixels, seconds: float, trace: bool = False) -> list:
    """(milliseconds since the start, colour) each time the middle pixel changes."""
    process = s.StartScr(scr, "/s", env={"LUMORA_TRACE": TRACE} if trace else None)
    start = time.monotonic()
    changes, last = [], None
    while time.monotonic() - start < seconds:
        pixel = pixels.At(WIDTH // 2, HEIGHT // 2)
        if pixel != last:
            last = pixel
            changes.append((1000 * (time.monotonic() - start), (pixel >> 16 & 255, pixel >> 8 & 255, pixel & 255)))
        time.sleep(0.001)
    process.Kill()
    return changes


def Gaps(s: TSession, scr: Path, pixels: TPixels, items: int, colours: list) -> list:
    """Milliseconds between the first appearances of consecutive items."""
    s.ParkPointer()
    onsets = []
    for ms, rgb in Changes(s, scr, pixels, items * (INTERVAL + 2) + 10, trace=True):
        close = [i for i, c in enumerate(colours) if max(abs(a - b) for a, b in zip(c, rgb)) <= 24]
        if close and (not onsets or onsets[-1][1] != close[0]):
            onsets.append((ms, close[0]))
    return [b[0] - a[0] for a, b in zip(onsets, onsets[1:])]


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--scr", type=Path, default=ROOT / "build/windows/lumora.scr")
    parser.add_argument("--helpers", type=Path, default=ROOT / "build/windows/e2e")
    parser.add_argument("--work", type=Path, default=ROOT / "build/native/tests/e2e")
    parser.add_argument("--items", type=int, default=6)
    parser.add_argument("--keep-trace", type=Path, help="folder to copy each show's trace file into")
    a = parser.parse_args()
    config = lumora_e2e.TConfig(a.scr.resolve(), a.helpers.resolve(), a.work.resolve())
    config.CheckInputs()
    lumora_e2e.PreparePrefix(config)
    with tempfile.TemporaryDirectory() as tmp:
        folder = Path(tmp)
        big = [Photo(p, "6000x4000", folder) for p in PHOTOS]
        small = [Photo(p, "640x427", folder) for p in PHOTOS]
        with TSession1080(config, "bench.wine_next_item") as s:
            pixels = TPixels(s.Display)
            # The middle pixel a one-item show of each photo settles on.
            colours = [Changes(s, PhotoShow(s, f"colour{i}.scr", [p], 1, INTERVAL, "00000000"), pixels, 8)[-1][1]
                       for i, p in enumerate(small)]
            if colours[0] == colours[1]:
                print(f"the two photos meet in the same colour {colours[0]}: pick others")
                return 1
            print(f"lumora.scr /s, {a.items} items full window at {WIDTH} x {HEIGHT}, PicInterval {INTERVAL} s, "
                  "style 0; the time between two items minus PicInterval, in ms:")
            for name, photos in (("640 x 427 JPEGs", small), ("6000 x 4000 JPEGs", big)):
                scr = PhotoShow(s, "next.scr", photos, a.items, INTERVAL, "00000000")
                gaps = Gaps(s, scr, pixels, a.items, colours)
                waits = [g - 1000 * INTERVAL for g in gaps]
                if not waits:
                    print(f"  {name}: no change of item seen")
                    continue
                print(f"  {name}: median {statistics.median(waits):.0f}, worst {max(waits):.0f} "
                      f"over {len(waits)} changes ({', '.join(f'{w:.0f}' for w in waits)})")
                if a.keep_trace:
                    a.keep_trace.mkdir(parents=True, exist_ok=True)
                    (a.keep_trace / f"trace-{name.split()[0]}.txt").write_bytes(
                        (s.Prefix / "drive_c" / "trace.txt").read_bytes())
                for what, values in InProcess(Trace(s)).items():
                    if values:
                        print(f"    in the process, {what}: median {statistics.median(values):.1f}, "
                              f"worst {max(values):.1f} ({', '.join(f'{v:.1f}' for v in values)})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
