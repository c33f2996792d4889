"""Real media of the real lumora.scr under Wine: MIDI that Wine cannot play (no
synthesizer) is passed over for the next sound instead of silencing the music; MP3
music is heard; an MP4 sound opens with the general device by name (Wine's own trace
stands in for a recording of the command, as Wine cannot decode it); a video item's
caption shows over the video."""

import shutil
import struct
import subprocess
from pathlib import Path

from lumora_e2e import (SCREEN_HEIGHT, SCREEN_WIDTH, Bmp24, CaptureAudio, CapturedSamples, Check, ToneStretches,
                        ToneWav, TSession, WaitUntil)
from test_linux_media import Midi
from test_video import GREEN, Avi

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
    heard = [n for n, _ in Tones(raw)]
    Check(heard[:2] == ["A", "A"], f"captured {heard}")
    # Each sound opens the device anew, so each has a capture file of its own. Wine plays
    # MP3 through its DirectShow device in another sample format, and in short bursts
    # (its renderer on a device that does not pace its writes): it counts as heard when
    # a file other than the WAV's holds sound.
    parts = [raw] + sorted(raw.parent.glob(raw.name + ".[0-9]*"), key=lambda p: int(p.suffix[1:]))
    def Loud(data: bytes) -> bool:
        return any(abs(v) > 1000 for v in struct.unpack(f"<{len(data) // 2}h", data[:len(data) // 2 * 2]))

    others = [p.name for p in parts
              if Loud(p.read_bytes()) and "A" not in [n for n, _ in ToneStretches(p.read_bytes(), TONES)]]
    Check(others, f"the MP3 was not heard: parts {[p.name for p in parts]}")


def TestAnMp4SoundOpensWithTheGeneralDevice(s: TSession):
    env, raw = CaptureAudio(s)
    mp4 = Ffmpeg(s, "b.mp4", "-f", "lavfi", "-i", "sine=frequency=800:duration=1", "-c:a", "aac")
    scr = SoundShow(s, "mp4.scr", [(".mp4", mp4), (".wav", ToneWav(TONES["A"], 0.5))])
    s.ParkPointer()
    process = s.StartScr(scr, "/s", env={**env, "WINEDEBUG": "+mci"})
    s.WaitForWindow(60, process, Title="Template", Visible=True)
    # Wine's trace of the open: the device named, and the MP4 file.
    WaitUntil(lambda: 'devType=L"mpegvideo"' in process.Stdout() and ".mp4\"" in process.Stdout(), 60,
              "an open of the general device")
    s.Key("Escape")
    Check(process.WaitExit(30) == 0, "the show did not end")


def CaptionedVideoShow(s: TSession, name: str) -> Path:
    """A red picture, then a green video (uncompressed, 320 x 240, in the centre) with a
    big magenta caption in the centre, over the video."""
    entries = [Bmp24(64, 64, RED), Avi(320, 240, 10, [GREEN] * 40)]
    config = ""
    for _ in range(2):  # the positions are known once packed; the entries come first
        scr, refs = s.MakeShowScr(name, config, entries)
        (p1, s1), (pv, sv) = refs
        config = ("[AppInfo]\r\nPicCount=2\r\nSndCount=0\r\n[Settings]\r\nIsUseSplash=0\r\n"
                  "[Background]\r\nBgStyle=0\r\nBgSolidColor=00000000\r\n"
                  f"[Pic1]\r\nPicFileName=.bmp\r\nFilePos={p1}\r\nFileSize={s1}\r\nPicPos=1\r\n"
                  "ShowInStyle=0\r\nShowOutStyle=0\r\nIsPicFloat=0\r\nPicInterval=1\r\n"
                  f"[Pic2]\r\nPicFileName=.avi\r\nMediaStyle=1\r\nFilePos={pv}\r\nFileSize={sv}\r\nPicPos=1\r\n"
                  "PicSize=0\r\nRepeatTimes=0\r\nCapPos=1\r\nCapFont_Name=DejaVu Sans\r\nCapFont_Size=40\r\n"
                  "CapFont_Style=8\r\nCapFont_Color=00FF00FF\r\n[Pic2Caption]\r\nLUMORA\r\n")
    return scr


def CaptionOverVideo(shot) -> tuple:
    """(green pixels, magenta pixels) inside the video's rectangle."""
    left, top = (SCREEN_WIDTH - 320) // 2, (SCREEN_HEIGHT - 240) // 2
    green = magenta = 0
    for y in range(top + 2, top + 238, 2):
        for x in range(left + 2, left + 318, 2):
            r, g, b = shot.Pixel(x, y)
            green += g > 200 and r < 60 and b < 60
            magenta += r > 200 and b > 200 and g < 60
    return green, magenta


def TestAVideosCaptionShowsOverTheVideo(s: TSession):
    scr = CaptionedVideoShow(s, "caption.scr")
    s.ParkPointer()
    process = s.StartScr(scr, "/s")
    s.WaitForWindow(60, process, Title="Template", Visible=True)

    def Shown():
        green, magenta = CaptionOverVideo(s.Screenshot("caption"))
        return (green, magenta) if green > 1000 and magenta > 50 else None

    WaitUntil(Shown, 60, "the caption's glyphs over the green video")
    s.Key("Escape")
    Check(process.WaitExit(30) == 0, "the show did not end")
