"""The demo of photographs (build/native/demo.scr) plays as a user sees it: under Wine
and natively, three different photographs come on screen one after another, and its
music plays (heard under Wine). Nothing here knows the demo's pictures: a photograph is a screen of many
colours, and the next one differs from the last."""

import array
import shutil

from lumora_e2e import CaptureAudio, CapturedSamples, Check, TSession, WaitUntil
from test_linux_play import CheckEndedClean, StartPlay

SHOTS = 3


def Colours(shot) -> set:
    """The colours at a grid over the screen, coarsened."""
    return {tuple(c // 16 for c in shot.Pixel(x, y)) for y in range(8, shot.Height, 24) for x in range(8, shot.Width, 24)}


def Differs(a, b) -> bool:
    points = [(x, y) for y in range(8, a.Height, 24) for x in range(8, a.Width, 24)]
    changed = sum(1 for p in points if sum(abs(u - v) for u, v in zip(a.Pixel(*p), b.Pixel(*p))) > 60)
    return changed > len(points) // 4


def ThreePhotographs(s: TSession, name: str) -> list:
    seen = []

    def Next():
        shot = s.Screenshot(f"{name}-{len(seen) + 1}")
        if len(Colours(shot)) < 120 or (seen and not Differs(shot, seen[-1])):
            return None
        seen.append(shot)
        return len(seen) >= SHOTS

    # Splash, then items of four seconds with their effects.
    WaitUntil(lambda: Next() or None, 150, f"{name}: {SHOTS} different photographs")
    return seen


def Heard(raw) -> bool:
    samples = array.array("h")
    data = CapturedSamples(raw)
    samples.frombytes(data[:len(data) & ~1])
    return bool(samples) and max(samples) > 1000


def Demo(s: TSession):
    demo = s.Config.Scr.parent.parent / "native" / "demo.scr"
    Check(demo.is_file(), f"{demo} is missing (the native build packs it)")
    return demo


def TestTheDemoShowsPhotographsWithMusicUnderWine(s: TSession):
    env, raw = CaptureAudio(s)
    scr = s.Prefix / "drive_c" / "lumora" / "demo.scr"
    scr.parent.mkdir(exist_ok=True)
    shutil.copyfile(Demo(s), scr)
    s.ParkPointer()
    process = s.StartScr(scr, "/s", env=env)
    s.WaitForWindow(60, process, Title="Template", Visible=True)
    ThreePhotographs(s, "demo-wine")
    WaitUntil(lambda: Heard(raw), 30, "the demo's music")
    Check(process.Running(), "the demo ended by itself")
    s.Key("Escape")
    Check(process.WaitExit(30) == 0, "the demo did not end on Esc")


def TestTheDemoShowsPhotographsWithMusicNatively(s: TSession):
    # Without a sound card nothing paces a native capture (the music would be written out
    # as fast as it decodes, gigabytes a minute): the music goes to ALSA's null device,
    # and is seen unpacked and playing; test_linux_play hears the native music itself.
    home = s.RunDir / "home"
    home.mkdir(exist_ok=True)
    (home / ".asoundrc").write_text("pcm.!default { type null }\n")
    s.ParkPointer()
    process, temp = StartPlay(s, str(Demo(s)), env={"HOME": str(home), "XDG_RUNTIME_DIR": str(home)})
    WaitUntil(lambda: list(temp.rglob("tmp*.wav")), 60, "the demo's music unpacked")
    ThreePhotographs(s, "demo-native")
    Check(list(temp.rglob("tmp*.wav")), "the music stopped")
    Check(process.Running(), "the demo ended by itself")
    Check("skipped" not in process.Stdout(), f"an item was skipped: {process.Stdout()!r}")
    s.Key("Escape")
    CheckEndedClean(process, temp, "after the demo")
