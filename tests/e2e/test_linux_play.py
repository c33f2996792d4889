"""The native player lumora-play on the session's Xvfb display, no Wine involved: a show
looks as lumora-render draws it, the configured inputs (and only those) end it, --root
and the framework's window draw without taking input, music plays in order, a Flash
item is passed over, and nothing is left in the temporary folder or the runtime
folder, even when the display goes away."""

import os
import signal
import subprocess
import time
import types
from pathlib import Path

from lumora_e2e import (SCREEN_HEIGHT, SCREEN_WIDTH, Bmp24, Check, StartXvfb, TDisplayOptions, ToneStretches,
                        TSession, WaitUntil)
from test_music import TONES, MusicShow
from test_show import RED, Close, RedPictureShow, RenderOracle

CENTRE = (SCREEN_WIDTH // 2, SCREEN_HEIGHT // 2)


def Player(s: TSession) -> Path:
    # LUMORA_E2E_PLAY picks another build of it, e.g. the sanitizer tree's.
    play = Path(os.environ.get("LUMORA_E2E_PLAY") or s.Config.Scr.parent.parent / "native" / "lumora-play")
    Check(play.is_file(), f"{play} is missing (build the native preset with the X11 packages)")
    return play


def StartPlay(s: TSession, *args: str, env: dict = None):
    """lumora-play with a temporary folder of its own, which the caller checks afterwards."""
    temp = s.RunDir / "tmp"
    temp.mkdir(exist_ok=True)
    # The sound library keeps its runtime folder in XDG_RUNTIME_DIR, which a desktop
    # session sets; without it that folder would land in TMPDIR among the player's files.
    runtime = s.RunDir / "runtime"
    runtime.mkdir(mode=0o700, exist_ok=True)
    # A sanitizer build reports the font library's one-time allocations as leaks.
    lsan = os.environ.get("LSAN_OPTIONS") or f"suppressions={Path(__file__).resolve().parents[1] / 'lsan.supp'}"
    return s.StartNative(Player(s), list(args), "lumora-play",
                         env={"TMPDIR": str(temp), "XDG_RUNTIME_DIR": str(runtime), "LSAN_OPTIONS": lsan,
                              **(env or {})}), temp


def WaitForScreen(s: TSession, name: str, probes, expected) -> None:
    def Matches():
        shot = s.Screenshot(name)
        return shot if all(Close(shot.Pixel(*p), expected(p)) for p in probes) else None

    WaitUntil(Matches, 30, f"{name}: the probes as expected")


def CheckEndedClean(process, temp: Path, what: str) -> None:
    Check(process.WaitExit(30) == 0, f"lumora-play did not end with status 0 {what}:\n{process.Stdout()}")
    left = sorted(str(p) for p in temp.rglob("*"))
    Check(not left, f"temporary files left behind: {left}")


def TestNativeShowsMatchTheHeadlessRenderAndAKeyEndsThem(s: TSession):
    demo = s.Config.Scr.parent.parent / "native" / "generated.scr"
    Check(demo.is_file(), f"{demo} is missing (the native build packs it from examples/demo/generated.ini)")
    red = RedPictureShow(s, "red.scr")
    # The red picture's corners and the background beside them; the demo away from its caption.
    left, top = (SCREEN_WIDTH - 200) // 2, (SCREEN_HEIGHT - 100) // 2
    # The red show goes through the plain image transfer, the demo through shared memory.
    cases = [(red, [(10, 10), CENTRE, (left + 2, top + 2), (left - 3, top - 3), (left + 197, top + 97)],
              {"LUMORA_NO_XSHM": "1"}),
             (demo, [(16, 16), (SCREEN_WIDTH - 17, 16), (16, SCREEN_HEIGHT // 2), (CENTRE[0], CENTRE[1] - 40)], {})]
    for scr, probes, env in cases:
        oracle = RenderOracle(s, scr, 1, scr.stem)
        s.ParkPointer()
        process, temp = StartPlay(s, str(scr), env=env)
        WaitForScreen(s, scr.stem, probes, lambda p: oracle.Pixel(*p))
        Check(process.Running(), f"{scr.name} ended by itself")
        s.Xdotool("key", "a")
        CheckEndedClean(process, temp, f"on a key ({scr.name})")


def TestOnlyTheConfiguredInputsEndTheFullScreenShow(s: TSession):
    red = RedPictureShow(s, "exit.scr")
    far = (CENTRE[0] + 100, CENTRE[1] + 80)
    # (HowToExit from the settings file beside the show or from the command line, inputs
    # that must not end it, the input that does)
    cases = [("file", 1, [("click", "1"), ("key", "a")], ("mousemove", str(far[0]), str(far[1]))),
             ("option", 8, [("mousemove", str(far[0]), str(far[1])), ("click", "1"), ("key", "a")],
              ("key", "Escape")),
             ("option", 2, [("key", "Escape")], ("click", "1"))]
    for source, howToExit, ignored, ending in cases:
        settings = red.with_suffix(".ini")
        settings.write_bytes(f"[AppConfig]\r\nHowToExit={howToExit if source == 'file' else 15}\r\n".encode())
        args = [str(red)] + (["--how-to-exit", str(howToExit)] if source == "option" else [])
        s.ParkPointer()
        process, temp = StartPlay(s, *args)
        WaitForScreen(s, f"exit-{howToExit}", [CENTRE], lambda p: RED)
        for action in ignored:
            s.Xdotool(*action)
        time.sleep(1)  # time enough for a wrongly granted exit to end the process
        Check(process.Running(), f"HowToExit {howToExit}: the show ended on one of {ignored}")
        s.Xdotool(*ending)
        CheckEndedClean(process, temp, f"on {ending} with HowToExit {howToExit}")


def TestRootAndTheFrameworksWindowAreDrawnButTheirInputIsLeftAlone(s: TSession):
    red = RedPictureShow(s, "root.scr")
    info = subprocess.run(["xwininfo", "-root"], env=s.Environment(), capture_output=True, text=True, check=True)
    root = next(line.split()[3] for line in info.stdout.splitlines() if "Window id:" in line)
    for args, env in ((["--root"], {}), ([], {"XSCREENSAVER_WINDOW": root})):
        s.Screenshot("before")
        process, temp = StartPlay(s, str(red), *args, env=env)
        WaitForScreen(s, f"root-{bool(env)}", [CENTRE], lambda p: RED)
        s.Xdotool("key", "a")
        s.MovePointer(10, 10)
        time.sleep(1)
        Check(process.Running(), f"{args or env}: input that belongs to the framework ended the show")
        # Screen-saver frameworks end the program with SIGTERM; it still cleans up.
        os.kill(process.Pid, signal.SIGTERM)
        CheckEndedClean(process, temp, f"on SIGTERM ({args or env})")


def TestMusicPlaysThroughTheSystemsSoundInOrder(s: TSession):
    home = s.RunDir / "home"
    home.mkdir(exist_ok=True)
    raw = s.RunDir / "captured.raw"
    # Every sample played lands in raw, with no sound card, as for Wine; each sound opens
    # the device anew and so starts a numbered file of its own.
    (home / ".asoundrc").write_text(
        'pcm.!default { type file; slave.pcm "null"; file "%s"; format "raw"; truncate false }\n'
        "pcm.null { type null }\n" % raw)
    scr = MusicShow(s, "music.scr", "IsSndPlayAll=1\r\nIsSndRamOrder=0\r\n")
    s.ParkPointer()
    process, temp = StartPlay(s, str(scr), env={"HOME": str(home), "XDG_RUNTIME_DIR": str(home)})

    def Parts():
        numbered = sorted(raw.parent.glob(raw.name + ".[0-9]*"), key=lambda p: int(p.suffix[1:]))
        return ([raw] if raw.exists() else []) + numbered

    # Nothing paces the capture: each sound goes by in no time, counts as not played, and
    # once all three have, the music stops instead of going round them as fast as it can.
    WaitUntil(lambda: len(Parts()) >= 3 and Parts()[2].read_bytes().strip(b"\0"), 60, "three sounds captured")
    Check(len(list(temp.rglob("tmp*.wav"))) == 3, f"sound files while playing: {sorted(temp.rglob('*'))}")
    s.Xdotool("key", "Escape")
    CheckEndedClean(process, temp, "on Esc with music")
    def Tones(part: Path) -> list:
        # Only the sound: the silence a sink writes around it is exact zeros, and can be long.
        data = part.read_bytes()
        start = (len(data) - len(data.lstrip(b"\0"))) & ~1
        end = len(data.rstrip(b"\0")) + 1 & ~1
        return [name for name, _ in ToneStretches(data[start:end], TONES) if name not in ("-", "?")]

    each = [Tones(p) for p in Parts()[:3]]
    Check([tones[:1] for tones in each] == [["A"], ["B"], ["C"]], f"captured, sound by sound: {each}")
    for p in Parts():
        p.unlink()


def TestAFlashItemIsSkippedWithANoteAndThePictureAfterItShows(s: TSession):
    entries = [b"FWS\x06" + bytes(60), Bmp24(200, 100, RED)]
    _, refs = s.MakeShowScr("flash.scr", "", entries)
    (flashPos, flashSize), (picPos, picSize) = refs
    config = ("[AppInfo]\r\nPicCount=2\r\nSndCount=0\r\n[Settings]\r\nIsUseSplash=0\r\n"
              "[Background]\r\nBgStyle=0\r\nBgSolidColor=00FF0000\r\n"
              f"[Pic1]\r\nPicFileName=.swf\r\nFilePos={flashPos}\r\nFileSize={flashSize}\r\nMediaStyle=1\r\n"
              f"[Pic2]\r\nPicFileName=.bmp\r\nFilePos={picPos}\r\nFileSize={picSize}\r\nPicPos=1\r\n"
              "ShowInStyle=0\r\nShowOutStyle=0\r\nIsPicFloat=0\r\nPicInterval=2\r\n")
    scr, _ = s.MakeShowScr("flash.scr", config, entries)
    s.ParkPointer()
    process, temp = StartPlay(s, str(scr))
    WaitForScreen(s, "after-flash", [CENTRE], lambda p: RED)
    s.Xdotool("key", "Escape")
    CheckEndedClean(process, temp, "after a Flash item")
    notes = [line for line in process.Stdout().splitlines() if "Flash" in line]
    Check(len(notes) == 1 and "item 1" in notes[0], f"not one note about the Flash item: {process.Stdout()!r}")


def TestALostDisplayEndsThePlayerWithoutLeavingFiles(s: TSession):
    scr = MusicShow(s, "lost.scr", "IsSndPlayAll=1\r\n")
    # A display of its own, which the test takes away under the player.
    own = types.SimpleNamespace(DisplayOptions=TDisplayOptions(Screens=((640, 480),)), _xvfb=None)
    display = StartXvfb(own)
    try:
        home = s.RunDir / "home"
        home.mkdir(exist_ok=True)
        (home / ".asoundrc").write_text("pcm.!default { type null }\n")
        process, temp = StartPlay(s, str(scr), env={"DISPLAY": display, "HOME": str(home), "XDG_RUNTIME_DIR": str(home)})
        WaitUntil(lambda: list(temp.rglob("tmp*.wav")), 30, "the sounds extracted")
    finally:
        own._xvfb.terminate()
        own._xvfb.wait(10)
    Check(process.WaitExit(30) == 1, f"lumora-play did not report the lost display:\n{process.Stdout()}")
    # The full-screen show's lock file too, which lives in the runtime folder.
    left = sorted(str(p) for p in temp.rglob("*")) + sorted(str(p) for p in home.glob("lumora-*.lock"))
    Check(not left, f"files left behind: {left}")
