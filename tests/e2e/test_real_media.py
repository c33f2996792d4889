"""Real media of the real lumora.scr under Wine: MIDI that Wine cannot play (no
synthesizer) is passed over for the next sound instead of silencing the music; MP3
music is heard; an MP4 sound opens with the general device by name (Wine's own trace
stands in for a recording of the command, as Wine cannot decode it); a video item's
caption shows over the video."""

import shutil
import subprocess
from pathlib import Path

from lumora_e2e import (SCREEN_HEIGHT, SCREEN_WIDTH, Bmp24, CaptureAudio, CapturedSamples, Check, ToneStretches,
                        ToneWav, TSession, WaitUntil)
from test_linux_media import Midi
from test_video import Avi

TONES = {"A": 400.0, "B": 800.0}
RED = (255, 0, 0)


def Ffmpeg(s: TSession, name: str, *args: str) -> bytes:
    ffmpeg = shutil.which("ffmpeg")
    Check(ffmpeg is not None, "ffmpeg is missing (scripts/bootstrap installs it)")
    out = s.RunDir / name
    subprocess.run([ffmpeg, "-v", "error", "-y", *args, str(out)], check=True, timeout=120, stdin=subprocess.DEVNULL)
    return out.read_bytes()


def SoundShow(s: TSession, name: str, sounds: list) -> Path:
    """A red picture that stays, and the sounds [(extension, bytes)] played all in order."""
    entries = [Bmp24(64, 64, RED)] + [data for _, data in sounds]
    config = ""
    for _ in range(2):  # the positions are known once packed; the entries come first
        scr, refs = s.MakeShowScr(name, config, entries)
        config = ("[AppInfo]\r\nPicCount=1\r\nSndCount=%d\r\n[Settings]\r\nIsUseSplash=0\r\nIsSndPlayAll=1\r\n"
                  "IsSndRamOrder=0\r\n[Background]\r\nBgStyle=0\r\nBgSolidColor=00000000\r\n"
                  "[Pic1]\r\nPicFileName=.bmp\r\nFilePos=%d\r\nFileSize=%d\r\nPicPos=1\r\nShowInStyle=0\r\n"
                  "ShowOutStyle=0\r\nIsPicFloat=0\r\nPicInterval=60\r\n[Snd]\r\n" % (len(sounds), *refs[0]))
        for n, ((extension, _), (pos, size)) in enumerate(zip(sounds, refs[1:]), 1):
            config += f"SndFileName{n}={extension}\r\nFilePos{n}={pos}\r\nFileSize{n}={size}\r\n"
    return scr


def Tones(raw: Path) -> list:
    return [(name, seconds) for name, seconds in ToneStretches(CapturedSamples(raw), TONES) if name not in ("-", "?")]


def TestAMidiWineCannotPlayIsPassedOverAndMp3MusicIsHeard(s: TSession):
    env, raw = CaptureAudio(s)
    mp3 = Ffmpeg(s, "b.mp3", "-f", "lavfi", "-i", f"sine=frequency={TONES['B']}:duration=2", "-ar", "22050", "-ac",
                 "1", "-c:a", "libmp3lame")
    scr = SoundShow(s, "midi.scr", [(".mid", Midi()), (".wav", ToneWav(TONES["A"], 0.5)), (".mp3", mp3)])
    s.ParkPointer()
    process = s.StartScr(scr, "/s", env=env)
    s.WaitForWindow(60, process, Title="Template", Visible=True)
    # The MIDI goes first and again after the MP3: each time it is passed over.
    WaitUntil(lambda: [n for n, _ in Tones(raw)].count("A") >= 2, 90, "the WAV after the MIDI, twice")
    s.Key("Escape")
    Check(process.WaitExit(30) == 0, "the show did not end")
    heard = Tones(raw)
    Check([n for n, _ in heard][:2] == ["A", "B"], f"captured {heard}")
    mp3Heard = sum(seconds for name, seconds in heard if name == "B")
    Check(mp3Heard >= 1.0, f"the two-second MP3 was heard for {mp3Heard:.2f} s: {heard}")


def TestAnMp4SoundOpensWithTheGeneralDevice(s: TSession):
    env, raw = CaptureAudio(s)
    mp4 = Ffmpeg(s, "b.mp4", "-f", "lavfi", "-i", "sine=frequency=800:duration=1", "-c:a", "aac")
    scr = SoundShow(s, "mp4.scr", [(".mp4", mp4), (".wav", ToneWav(TONES["A"], 0.5))])
    s.ParkPointer()
    process = s.StartScr(scr, "/s", env={**env, "WINEDEBUG": "+mci"})
    s.WaitForWindow(60, process, Title="Template", Visible=True)
    WaitUntil(lambda: "mpegvideo" in process.Stdout().lower(), 60, "an open of the general device")
    s.Key("Escape")
    Check(process.WaitExit(30) == 0, "the show did not end")
