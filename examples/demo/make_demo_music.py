#!/usr/bin/env python3
"""Makes the demo's music: the sounds given (any format GStreamer decodes, such as the
freedesktop theme's .oga) decoded to 44.1 kHz 16-bit stereo and played one after
another with a pause between them, twice, into one WAV file."""

import argparse
import subprocess
import sys
import tempfile
import wave
from pathlib import Path

RATE = 44100
CHANNELS = 2
WIDTH = 2
PAUSE_SECONDS = 0.7


def Decode(gst: str, source: Path, target: Path) -> bytes:
    subprocess.run([gst, "-q", "filesrc", f"location={source}", "!", "decodebin", "!", "audioconvert", "!",
                    "audioresample", "!", f"audio/x-raw,format=S16LE,rate={RATE},channels={CHANNELS}", "!",
                    "wavenc", "!", "filesink", f"location={target}"], check=True, timeout=120,
                   stdout=subprocess.DEVNULL)
    with wave.open(str(target), "rb") as w:
        if (w.getframerate(), w.getnchannels(), w.getsampwidth()) != (RATE, CHANNELS, WIDTH):
            raise SystemExit(f"make_demo_music: {source}: decoded to an unexpected format")
        return w.readframes(w.getnframes())


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--gst", required=True, help="gst-launch-1.0")
    parser.add_argument("-o", dest="output", required=True, type=Path)
    parser.add_argument("sounds", nargs="+", type=Path)
    args = parser.parse_args()
    pause = bytes(int(RATE * PAUSE_SECONDS) * CHANNELS * WIDTH)
    with tempfile.TemporaryDirectory() as work:
        parts = [Decode(args.gst, s, Path(work) / f"{i}.wav") for i, s in enumerate(args.sounds)]
    music = b"".join(p + pause for p in parts) * 2
    partial = args.output.with_suffix(".partial")
    with wave.open(str(partial), "wb") as w:
        w.setnchannels(CHANNELS)
        w.setsampwidth(WIDTH)
        w.setframerate(RATE)
        w.writeframes(music)
    partial.replace(args.output)
    return 0


if __name__ == "__main__":
    sys.exit(main())
