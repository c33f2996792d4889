"""Real media through lumora-play: clips that ffmpeg makes here (MPEG-1, MPEG-4 Visual in
AVI, H.264 in MP4, WMV) play one after another, each showing its two colours at the
centre; WAV, MP3 and MIDI music is heard; a clip whose decoder is taken away is passed
over with a note that names what is missing, and the show goes on."""

import shutil
import struct
import subprocess
from pathlib import Path

from lumora_e2e import Bmp24, Check, ToneStretches, ToneWav, TSession, WaitUntil
from test_linux_play import CENTRE, CheckEndedClean, StartPlay
from test_show import RED
from test_video import ColoursSeen

MAGENTA = (255, 0, 255)
# Each clip: (extension, ffmpeg's codec arguments, first colour, second colour).
CLIPS = [
    (".mpg", ["-c:v", "mpeg1video", "-b:v", "1M", "-c:a", "mp2", "-f", "mpeg"], (0, 255, 0), (255, 255, 0)),
    (".avi", ["-c:v", "mpeg4", "-q:v", "2", "-c:a", "libmp3lame"], (0, 255, 255), (255, 128, 0)),
    (".mp4", ["-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac"], (0, 0, 255), (128, 128, 128)),
    (".wmv", ["-c:v", "wmv2", "-q:v", "2", "-c:a", "wmav2"], (128, 0, 255), (128, 128, 0)),
]
TONES = {"A": 400.0, "B": 800.0}


def Ffmpeg(s: TSession, name: str, *args: str) -> bytes:
    ffmpeg = shutil.which("ffmpeg")
    Check(ffmpeg is not None, "ffmpeg is missing (scripts/bootstrap installs it)")
    out = s.RunDir / name
    subprocess.run([ffmpeg, "-v", "error", "-y", *args, str(out)], check=True, timeout=120,
                   stdin=subprocess.DEVNULL)
    return out.read_bytes()


def Clip(s: TSession, extension: str, codec: list, first: tuple, second: tuple) -> bytes:
    """1.5 s of one colour, then 1.5 s of the other, over a tone, 160 x 120 at 25 frames a second."""
    colour = "color=c=0x%02X%02X%02X:s=160x120:r=25:d=1.5"
    return Ffmpeg(s, "clip" + extension, "-f", "lavfi", "-i", colour % first, "-f", "lavfi", "-i", colour % second,
                  "-f", "lavfi", "-i", "sine=frequency=500:duration=3", "-filter_complex",
                  "[0:v][1:v]concat=n=2:v=1:a=0[v]", "-map", "[v]", "-map", "2:a", *codec)


def Midi() -> bytes:
    """Four piano notes, half a second each."""
    events = bytes([0, 0xC0, 0])
    for note in (60, 64, 67, 72):
        events += bytes([0, 0x90, note, 100, 0x83, 0x60, 0x80, note, 0])  # delta 480 ticks
    events += bytes([0, 0xFF, 0x2F, 0])
    return b"MThd" + struct.pack(">IHHH", 6, 0, 1, 480) + b"MTrk" + struct.pack(">I", len(events)) + events


def Pack(s: TSession, name: str, entries: list, sections) -> Path:
    config = ""
    for _ in range(2):  # the positions are known once packed; the entries come first
        scr, refs = s.MakeShowScr(name, config, entries)
        config = sections(refs)
    return scr


def ClipShow(s: TSession) -> Path:
    """A red picture, the four clips, a magenta picture that stays."""
    entries = [Bmp24(200, 100, RED)] + [Clip(s, *c) for c in CLIPS] + [Bmp24(200, 100, MAGENTA)]

    def Sections(refs) -> str:
        text = (f"[AppInfo]\r\nPicCount={len(entries)}\r\nSndCount=0\r\n[Settings]\r\nIsUseSplash=0\r\n"
                "[Background]\r\nBgStyle=0\r\nBgSolidColor=00000000\r\n")
        for n, (pos, size) in enumerate(refs, 1):
            if 1 < n < len(entries):
                text += (f"[Pic{n}]\r\nPicFileName={CLIPS[n - 2][0]}\r\nMediaStyle=1\r\nFilePos={pos}\r\n"
                         f"FileSize={size}\r\nPicPos=1\r\nPicSize=0\r\nRepeatTimes=1\r\n")
            else:
                text += (f"[Pic{n}]\r\nPicFileName=.bmp\r\nFilePos={pos}\r\nFileSize={size}\r\nPicPos=1\r\n"
                         f"ShowInStyle=0\r\nShowOutStyle=0\r\nIsPicFloat=0\r\nPicInterval={1 if n == 1 else 60}\r\n")
        return text

    return Pack(s, "clips.scr", entries, Sections)


def ColoursOfTheClips(s: TSession, env: dict) -> tuple:
    """Plays the clip show until the magenta picture: the colours seen at the centre,
    and what the player said."""
    names = {RED: "red", MAGENTA: "magenta"}
    for extension, _, first, second in CLIPS:
        names[first], names[second] = extension + "1", extension + "2"
    s.ParkPointer()
    process, temp = StartPlay(s, str(ClipShow(s)), env=env)
    seen = ColoursSeen(s, "clips", CENTRE, names, "magenta", 180)
    s.Xdotool("key", "Escape")
    CheckEndedClean(process, temp, "after the clips")
    return [n for n in seen if n not in ("other", "red")], process.Stdout()


def TestEveryClipPlaysAndOneWithoutItsDecoderIsPassedOverWithANote(s: TSession):
    home = s.RunDir / "home"
    home.mkdir(exist_ok=True)
    (home / ".asoundrc").write_text("pcm.!default { type null }\n")
    env = {"HOME": str(home), "XDG_RUNTIME_DIR": str(home)}
    every = [n for e, *_ in CLIPS for n in (e + "1", e + "2")] + ["magenta"]
    seen, said = ColoursOfTheClips(s, env)
    Check(seen == every, f"colours at the centre, in order: {seen}\n{said}")
    Check("passed over" not in said, f"a clip was passed over: {said!r}")
    # Every decoder of H.264 taken away: the MP4 clip cannot show its picture.
    seen, said = ColoursOfTheClips(s, {**env, "GST_PLUGIN_FEATURE_RANK": "avdec_h264:NONE,openh264dec:NONE"})
    Check(seen == [n for n in every if not n.startswith(".mp4")], f"without H.264, in order: {seen}\n{said}")
    notes = [line for line in said.splitlines() if "passed over" in line]
    Check(len(notes) == 1 and ".mp4" in notes[0] and "H.264" in notes[0], f"the note: {said!r}")


def TestWavMp3AndMidiMusicIsHeard(s: TSession):
    home = s.RunDir / "home"
    home.mkdir(exist_ok=True)
    raw = s.RunDir / "captured.raw"
    (home / ".asoundrc").write_text(
        'pcm.!default { type file; slave.pcm "null"; file "%s"; format "raw"; truncate false }\n'
        "pcm.null { type null }\n" % raw)
    mp3 = Ffmpeg(s, "b.mp3", "-f", "lavfi", "-i", f"sine=frequency={TONES['B']}:duration=0.5", "-ar", "22050",
                 "-ac", "1", "-c:a", "libmp3lame")
    entries = [Bmp24(200, 100, RED), ToneWav(TONES["A"], 0.5), mp3, Midi()]
    extensions = [".wav", ".mp3", ".mid"]

    def Sections(refs) -> str:
        (pos, size), sounds = refs[0], refs[1:]
        text = ("[AppInfo]\r\nPicCount=1\r\nSndCount=3\r\n[Settings]\r\nIsUseSplash=0\r\nIsSndPlayAll=1\r\n"
                "IsSndRamOrder=0\r\n[Background]\r\nBgStyle=0\r\nBgSolidColor=00000000\r\n"
                f"[Pic1]\r\nPicFileName=.bmp\r\nFilePos={pos}\r\nFileSize={size}\r\nPicPos=1\r\n"
                "ShowInStyle=0\r\nShowOutStyle=0\r\nIsPicFloat=0\r\nPicInterval=60\r\n[Snd]\r\n")
        for n, ((p, z), e) in enumerate(zip(sounds, extensions), 1):
            text += f"SndFileName{n}={e}\r\nFilePos{n}={p}\r\nFileSize{n}={z}\r\n"
        return text

    scr = Pack(s, "music.scr", entries, Sections)
    s.ParkPointer()
    process, temp = StartPlay(s, str(scr), env={"HOME": str(home), "XDG_RUNTIME_DIR": str(home)})

    def Parts():
        numbered = sorted(raw.parent.glob(raw.name + ".[0-9]*"), key=lambda p: int(p.suffix[1:]))
        return ([raw] if raw.exists() else []) + numbered

    def Sound(part: Path) -> bytes:
        # Only the sound: the silence a sink writes around it is exact zeros.
        data = part.read_bytes()
        start = (len(data) - len(data.lstrip(b"\0"))) & ~1
        return data[start:len(data.rstrip(b"\0")) + 1 & ~1]

    # Each sound opens the device anew and so starts a numbered file of its own.

    WaitUntil(lambda: len(Parts()) >= 3 and Sound(Parts()[2]), 60, "three sounds captured")
    s.Xdotool("key", "Escape")
    CheckEndedClean(process, temp, "on Esc with music")
    parts = [Sound(p) for p in Parts()]
    tones = [[n for n, _ in ToneStretches(p, TONES) if n not in ("-", "?")][:1] for p in parts[:2]]
    Check(tones == [["A"], ["B"]], f"the WAV and the MP3, as heard: {tones}")
    loudest = max(abs(v) for v in struct.unpack(f"<{len(parts[2]) // 2}h", parts[2]))
    Check(loudest > 300, f"the MIDI sound is silent (peak {loudest})")


def TestAVideosCaptionShowsOverTheVideoNatively(s: TSession):
    from test_real_media import CaptionOverVideo, CaptionedVideoShow

    s.ParkPointer()
    process, temp = StartPlay(s, str(CaptionedVideoShow(s, "caption.scr")))

    def Shown():
        green, magenta = CaptionOverVideo(s.Screenshot("caption"))
        return (green, magenta) if green > 1000 and magenta > 50 else None

    WaitUntil(Shown, 60, "the caption's glyphs over the green video")
    s.Xdotool("key", "Escape")
    CheckEndedClean(process, temp, "after the captioned video")
