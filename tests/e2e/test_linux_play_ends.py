"""How lumora-play ends when things go wrong: a quit signal while its message dialog
waits for the user, a show that cannot be read in a framework's window (no dialog at
all), a window that is not there, and a display that goes away. Every way leaves
nothing behind: no temporary folder, no lock file."""

import os
import signal
import subprocess

from lumora_e2e import Check, TSession, WaitUntil
from test_linux_play import CheckEndedClean, StartPlay
from test_linux_video import WindowGeometry
from test_show import RedPictureShow


def Broken(s: TSession):
    """A screen saver whose settings cannot be extracted."""
    return s.MakeScr("broken.scr", gate=0, configPosition=1 << 30, configStoredSize=64)


def TestAQuitSignalEndsThePlayerWhileItsDialogWaits(s: TSession):
    broken = Broken(s)
    for sig in (signal.SIGTERM, signal.SIGINT):
        # The lock file of the full-screen show lives beside the temporary files.
        process, temp = StartPlay(s, str(broken), env={"XDG_RUNTIME_DIR": str(s.RunDir / "tmp")})
        WaitUntil(lambda: WindowGeometry(s, "-name", "lumora-play"), 30, "the message's dialog")
        os.kill(process.Pid, sig)
        CheckEndedClean(process, temp, f"on {sig.name} while the dialog was up")


def TestAFrameworksWindowGetsNoDialogTheMessageAndStatus1(s: TSession):
    broken = Broken(s)
    info = subprocess.run(["xwininfo", "-root"], env=s.Environment(), capture_output=True, text=True, check=True)
    root = next(line.split()[3] for line in info.stdout.splitlines() if "Window id:" in line)
    for args, env in ((["--root"], {}), ([], {"XSCREENSAVER_WINDOW": root})):
        process, temp = StartPlay(s, str(broken), *args, env=env)
        Check(process.WaitExit(30) == 1, f"{args or env}: not status 1:\n{process.Stdout()}")
        Check("Extract config file error!" in process.Stdout(), f"the message: {process.Stdout()!r}")
        Check(WindowGeometry(s, "-name", "lumora-play") is None, "a dialog is on the screen")
        Check(not list(temp.rglob("*")), f"temporary files left behind: {sorted(temp.rglob('*'))}")


def TestAWindowThatIsNotThereIsOneLineOfErrorAndNothingLeft(s: TSession):
    red = RedPictureShow(s, "nowhere.scr")
    missing = "0x1ffffff0"
    for args, env in ((["--window-id", missing], {}), ([], {"XSCREENSAVER_WINDOW": missing})):
        process, temp = StartPlay(s, str(red), *args, env=env)
        Check(process.WaitExit(30) == 1, f"{args or env}: not status 1:\n{process.Stdout()}")
        lines = process.Stdout().splitlines()
        Check(len(lines) == 1 and lines[0].startswith("lumora-play: X error: BadWindow"),
              f"{args or env}: not one line about the window: {lines}")
        Check(not list(temp.rglob("*")), f"temporary files left behind: {sorted(temp.rglob('*'))}")
