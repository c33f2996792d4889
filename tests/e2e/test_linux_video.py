"""lumora-play on Xvfb beyond the full screen of one monitor: a video item plays natively
where the headless rules place it, cut to its shape, as often as it says, then the show
moves on (the demo's too); the preview window shows the show scaled down, a window
somebody else made shows it as its screen; on two monitors the show takes the primary
one and a cover darkens the other; a second show gives way to the first; a message
waits in a dialog until it is dismissed."""

import os
import signal
import subprocess

from lumora_e2e import SCREEN_HEIGHT, SCREEN_WIDTH, Check, TSession, WaitUntil
from test_linux_play import CENTRE, CheckEndedClean, StartPlay, WaitForScreen
from test_show import RED, Close, RedPictureShow
from test_video import BLUE, CheckTheShapedVideoPlaysTwice, Near, VideoShow


def TestAVideoPlaysNativelyInItsShapeAsOftenAsItSaysThenTheShowMovesOn(s: TSession):
    scr = VideoShow(s, "video.scr")
    s.ParkPointer()
    process, temp = StartPlay(s, str(scr))
    # Generous: GStreamer under load starts slowly; nothing here depends on its speed
    # beyond seeing each three-second colour once.
    CheckTheShapedVideoPlaysTwice(s, 120)
    Check(process.Running(), "the show ended by itself")
    Check("skipped" not in process.Stdout(), f"the video was skipped: {process.Stdout()!r}")
    s.Xdotool("key", "Escape")
    CheckEndedClean(process, temp, "after a video")


def WindowGeometry(s: TSession, *selector: str) -> tuple:
    """(left, top, width, height) of a window on the display, from xwininfo."""
    info = subprocess.run(["xwininfo", *selector], env=s.Environment(), capture_output=True, text=True, timeout=30)
    if info.returncode != 0:
        return None
    values = {}
    for line in info.stdout.splitlines():
        key, _, value = line.strip().partition(":")
        values[key] = value.strip()
    return tuple(int(values[k]) for k in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))


def TestThePreviewAndAGivenWindowShowTheShowInThem(s: TSession):
    red = RedPictureShow(s, "small.scr")
    # A plain window of somebody else's (xev makes one and leaves its middle alone).
    frame = subprocess.Popen(["xev", "-geometry", "400x300+100+60", "-name", "lumora-frame"], env=s.Environment(),
                             stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        WaitUntil(lambda: WindowGeometry(s, "-name", "lumora-frame"), 30, "the window of xev")
        info = subprocess.run(["xwininfo", "-name", "lumora-frame"], env=s.Environment(), capture_output=True,
                              text=True, check=True)
        frame_id = next(line.split()[3] for line in info.stdout.splitlines() if "Window id:" in line)
        # (arguments, how the window is found, its size, the screen it stands for): a
        # preview is the screen made small, a framework's window is the screen.
        cases = [(["--preview", "320x240"], ["-name", "Preview Lumora Screen Saver Template"], (320, 240),
                  (SCREEN_WIDTH, SCREEN_HEIGHT)),
                 (["--window-id", frame_id], ["-id", frame_id], (400, 300), (400, 300))]
        for args, selector, (width, height), (sw, sh) in cases:
            process, temp = StartPlay(s, str(red), *args)
            x, y, w, h = WaitUntil(lambda: WindowGeometry(s, *selector), 30, f"the window of {args}")
            Check((w, h) == (width, height), f"{args}: the window is {w} x {h}")
            # The 200 x 100 picture, scaled from the screen to the window, in its middle.
            pw = 200 * width // sw
            middle, outside = (x + width // 2, y + height // 2), (x + width // 2 - pw // 2 - 6, y + height // 2)
            probes = {middle: RED, (x + 3, y + height - 4): BLUE, outside: BLUE}
            WaitForScreen(s, f"scaled-{w}", list(probes), lambda p: probes[p])
            Check(process.Running(), f"{args}: the show ended by itself")
            # Neither takes input to end on: the framework (or the window's close) ends them.
            os.kill(process.Pid, signal.SIGTERM)
            CheckEndedClean(process, temp, f"with {args}")
    finally:
        frame.terminate()
        frame.wait(10)


def TestOnTwoMonitorsTheNativeShowTakesThePrimaryAndCoversTheOther(s: TSession):
    second = (1024, 0, 1824, 600)
    # A nested server whose two heads only Xinerama tells of.
    s.Restart(WineDesktop=False, Heads=((SCREEN_WIDTH, SCREEN_HEIGHT, 0, 0), (800, 600, 1024, 0)))
    red = RedPictureShow(s, "two.scr")
    inside = [(second[0] + 10, second[1] + 10), (second[2] - 1, second[3] - 1), (1400, 300)]
    before = s.Screenshot("two-before")
    Check(all(before.Pixel(*p) == (255, 255, 255) for p in inside), "the second monitor is not the white root")
    s.ParkPointer()
    process, temp = StartPlay(s, str(red))
    probes = {CENTRE: RED, (10, 10): BLUE, **{p: (0, 0, 0) for p in inside}}
    WaitForScreen(s, "two", list(probes), lambda p: probes[p])
    Check(Close(s.Screenshot("two-below").Pixel(SCREEN_WIDTH // 2, SCREEN_HEIGHT - 2), BLUE),
          "the show does not reach the primary monitor's bottom")
    # A movement over the cover ends the show as one over the show does.
    s.MovePointer(1400, 300)
    s.MovePointer(1420, 320)
    CheckEndedClean(process, temp, "on a movement over the cover")
    after = s.Screenshot("two-after")
    Check(all(after.Pixel(*p) == (255, 255, 255) for p in inside), "the cover outlived the show")


def TestTheDemoGoesRoundItsVideoAndPicturesWithTheMusicPlaying(s: TSession):
    demo = s.Config.Scr.parent.parent / "native" / "generated.scr"
    Check(demo.is_file(), f"{demo} is missing (the native build packs it from examples/demo/generated.ini)")
    home = s.RunDir / "home"
    home.mkdir(exist_ok=True)
    (home / ".asoundrc").write_text("pcm.!default { type null }\n")
    s.ParkPointer()
    process, temp = StartPlay(s, str(demo), env={"HOME": str(home), "XDG_RUNTIME_DIR": str(home)})
    # The 160 x 120 glow at twice its size in the centre; its corners show the dark field
    # the ball crosses.
    left, top = (SCREEN_WIDTH - 320) // 2, (SCREEN_HEIGHT - 240) // 2
    corners = [(left + 3, top + 3), (left + 316, top + 236)]
    field = (20, 30, 70)

    def Video(shown: bool):
        shot = s.Screenshot("demo-video")
        return shot if any(Near(shot.Pixel(*p), field) for p in corners) == shown else None

    # After four pictures, their effects and a worker's float; the music's completions
    # arrive meanwhile.
    WaitUntil(lambda: Video(True), 120, "the demo's video")
    WaitUntil(lambda: Video(False), 60, "the picture after the video")
    Check(process.Running(), "the demo ended by itself")
    Check("skipped" not in process.Stdout(), f"an item was skipped: {process.Stdout()!r}")
    s.Xdotool("key", "Escape")
    CheckEndedClean(process, temp, "after the demo's video")


def TestASecondShowGivesWayAndAShowThatCannotBeReadSaysSoInADialog(s: TSession):
    red = RedPictureShow(s, "first.scr")
    s.ParkPointer()
    first, temp = StartPlay(s, str(red))
    WaitForScreen(s, "first", [CENTRE], lambda p: RED)
    second, _ = StartPlay(s, str(red))
    Check(second.WaitExit(30) == 0 and "another show" in second.Stdout(), f"the second show: {second.Stdout()!r}")
    Check(first.Running(), "the first show ended")
    s.Xdotool("key", "Escape")
    CheckEndedClean(first, temp, "after a second show gave way")
    # A screen saver whose settings cannot be extracted.
    broken = s.MakeScr("broken.scr", gate=0, configPosition=1 << 30, configStoredSize=64)
    process, temp = StartPlay(s, str(broken))
    x, y, w, h = WaitUntil(lambda: WindowGeometry(s, "-name", "lumora-play"), 30, "the message's dialog")
    WaitForScreen(s, "dialog", [(x + 4, y + h - 4)], lambda p: (255, 255, 255))
    Check(process.Running(), "the player went on without waiting for the message to be seen")
    s.Xdotool("key", "Return")
    CheckEndedClean(process, temp, "after the message")
    Check("Extract config file error!" in process.Stdout(), f"the message: {process.Stdout()!r}")
