"""Background music of the real lumora.scr, heard through a capture of every sample
that Wine plays: tones of distinct frequencies and lengths stand for the sounds, and
the captured stretches tell which played, in which order, and how often."""

from pathlib import Path

from lumora_e2e import (SCREEN_HEIGHT, SCREEN_WIDTH, Bmp24, CaptureAudio, CapturedSamples, Check, ClearCapture,
                        ToneStretches, ToneWav, TSession, WaitUntil)

TONES = {"A": 400.0, "B": 800.0, "C": 1600.0}
LENGTHS = {"A": 0.3, "B": 0.5, "C": 0.4}
RED = (255, 0, 0)
GREEN = (0, 255, 0)


def MusicShow(s: TSession, name: str, settings: str) -> Path:
    """A red picture for 2 s, then a green one, and the three tones as sounds."""
    entries = [Bmp24(64, 64, RED), Bmp24(64, 64, GREEN)] + [ToneWav(TONES[t], LENGTHS[t], 0.1) for t in "ABC"]

    def Config(refs) -> str:
        text = ("[AppInfo]\r\nPicCount=2\r\nSndCount=3\r\n"
                f"[Settings]\r\nIsUseSplash=0\r\n{settings}"
                "[Background]\r\nBgStyle=0\r\nBgSolidColor=00000000\r\n")
        for n in (1, 2):
            pos, size = refs[n - 1]
            text += (f"[Pic{n}]\r\nPicFileName=.bmp\r\nFilePos={pos}\r\nFileSize={size}\r\nPicPos=1\r\n"
                     "ShowInStyle=0\r\nShowOutStyle=0\r\nIsPicFloat=0\r\nPicInterval=2\r\n")
        text += "[Snd]\r\n"
        for n in (1, 2, 3):
            pos, size = refs[n + 1]
            text += f"SndFileName{n}=.wav\r\nFilePos{n}={pos}\r\nFileSize{n}={size}\r\n"
        return text

    # The positions are known only after packing; the entries come first, so pack twice.
    _, refs = s.MakeShowScr(name, "", entries)
    scr, _ = s.MakeShowScr(name, Config(refs), entries)
    return scr


def SoundFiles(s: TSession) -> list:
    return sorted(str(p) for p in (s.Prefix / "drive_c" / "users").glob("*/**/Temp/tmp*.wav"))


def Tones(raw: Path) -> list:
    """The tones captured so far, in order (silence left out)."""
    return [name for name, _ in ToneStretches(CapturedSamples(raw), TONES) if name != "-"]


def PlayUntilGreen(s: TSession, scr: Path, env: dict):
    """Plays the show until its second picture is on screen (2 s of show), then Esc."""
    s.ParkPointer()
    process = s.StartScr(scr, "/s", env=env)
    s.WaitForWindow(60, process, Title="Template", Visible=True)
    centre = (SCREEN_WIDTH // 2, SCREEN_HEIGHT // 2)
    WaitUntil(lambda: s.Screenshot("green").Pixel(*centre) == GREEN, 30, "the second picture")
    s.Key("Escape")
    Check(process.WaitExit(30) == 0, "the show did not end")


def TestPlayAllPlaysTheSoundsInOrderAndEscLeavesNoSoundFile(s: TSession):
    env, raw = CaptureAudio(s)
    scr = MusicShow(s, "all.scr", "IsSndPlayAll=1\r\nIsSndRamOrder=0\r\n")
    s.ParkPointer()
    process = s.StartScr(scr, "/s", env=env)
    s.WaitForWindow(60, process, Title="Template", Visible=True)
    WaitUntil(lambda: len(Tones(raw)) >= 5, 30, "five tones captured")
    Check(len(SoundFiles(s)) == 3, f"sound files while playing: {SoundFiles(s)}")
    s.Key("Escape")
    Check(process.WaitExit(30) == 0, "the show did not end")
    tones = Tones(raw)
    Check(tones[:4] == ["A", "B", "C", "A"], f"captured {tones}")
    lengths = {name: seconds for name, seconds in ToneStretches(CapturedSamples(raw), TONES)[:6] if name != "-"}
    for name, seconds in lengths.items():
        Check(abs(seconds - LENGTHS[name]) <= 0.05, f"tone {name} lasted {seconds:.2f} s, expected {LENGTHS[name]}")
    Check(SoundFiles(s) == [], f"sound files left behind: {SoundFiles(s)}")


def TestLoopOneRepeatsOnePlayOnceStopsAndMuteIsSilent(s: TSession):
    env, raw = CaptureAudio(s)
    results = {}
    for name, settings, userSettings in (
            ("loop", "IsSndPlayAll=0\r\nIsSndLoopOne=1\r\n", None),
            ("once", "IsSndPlayAll=0\r\nIsSndLoopOne=0\r\n", None),
            ("mute", "IsSndPlayAll=1\r\n", "[AppConfig]\r\nIsSndMute=1\r\n")):
        ClearCapture(raw)
        scr = MusicShow(s, f"{name}.scr", settings)
        if userSettings:
            scr.with_suffix(".ini").write_text(userSettings)
        PlayUntilGreen(s, scr, env)
        results[name] = Tones(raw)
    loop, once, mute = results["loop"], results["once"], results["mute"]
    Check(len(loop) >= 3 and len(set(loop)) == 1, f"loop one captured {loop}")
    Check(len(once) == 1, f"play once captured {once}")
    Check(mute == [], f"muted show captured {mute}")
    Check(SoundFiles(s) == [], f"sound files left behind: {SoundFiles(s)}")


def TestMusicThatChangesSoundsForLongPlaysOn(s: TSession):
    """Every change of sound closes the device that just reported its end; the show must
    outlive a hundred of them (the system once unloaded the driver under its own play
    thread, a crash a minute into a looping show)."""
    env, raw = CaptureAudio(s)
    scr = MusicShow(s, "long.scr", "IsSndPlayAll=1\r\nIsSndRamOrder=0\r\n")
    s.ParkPointer()
    process = s.StartScr(scr, "/s", env=env)
    s.WaitForWindow(60, process, Title="Template", Visible=True)
    WaitUntil(lambda: not process.Running() or len(Tones(raw)) >= 100, 90, "a hundred tones captured")
    Check(process.Running(), f"the show ended by itself after {len(Tones(raw))} tones")
    s.Key("Escape")
    Check(process.WaitExit(30) == 0, "the show did not end")
