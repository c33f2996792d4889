"""Installation and removal with the real lumora.scr: the installer dialog, the silent
modes /I and /O, the uninstall entry seen through `wine reg query`, the Display control
panel call (recorded by a stand-in desk.cpl of our own in the Windows folder), and /U
with its self-deleting batch file."""

import os
import subprocess
import time
from pathlib import Path

from lumora_e2e import Check, TSession, TWindow, WaitUntil

UNINSTALL_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Aurora Screen Saver"


def WindowsFolder(s: TSession) -> Path:
    return s.Prefix / "drive_c" / "windows"


def PrepareDesk(s: TSession) -> Path:
    """The stand-in desk.cpl in the Windows folder; returns the file it records calls in."""
    (WindowsFolder(s) / "desk.cpl").write_bytes((s.Config.Helpers / "desk.cpl").read_bytes())
    return WindowsFolder(s) / "desk-cpl-calls.txt"


def RegQuery(s: TSession, key: str) -> tuple:
    result = subprocess.run(["wine", "reg", "query", key], env=s.Environment(), capture_output=True, text=True,
                            timeout=120, stdin=subprocess.DEVNULL, cwd=s.RunDir)
    return result.returncode, result.stdout


def UninstallValues(s: TSession) -> dict:
    code, out = RegQuery(s, UNINSTALL_KEY)
    Check(code == 0, f"no uninstall key: {out!r}")
    values = {}
    for line in out.splitlines():
        parts = line.strip().split(None, 2)
        if len(parts) == 3 and parts[1] == "REG_SZ":
            values[parts[0]] = parts[2]
    return values


def Click(s: TSession, window: TWindow) -> None:
    left, top, right, bottom = window.Rect
    s.MovePointer((left + right) // 2, (top + bottom) // 2)
    s.Click()


def Button(s: TSession, parent: TWindow, text: str) -> TWindow:
    found = [w for w in s.Windows() if w.Parent == parent.Hwnd and w.Class.lower() == "button"
             and w.Title.replace("&", "") == text]
    Check(len(found) == 1, f"no button {text!r} in {parent}")
    return found[0]


def MessageBox(s: TSession, process, caption: str) -> TWindow:
    return s.WaitForWindow(process=process, Class="#32770", Title=caption, Visible=True)


def MessageText(s: TSession, box: TWindow) -> str:
    texts = [w.Title for w in s.Windows() if w.Parent == box.Hwnd and w.Class.lower() == "static" and w.Title]
    return " ".join(texts)


def CheckInstalledCopy(s: TSession, source: Path) -> None:
    copy = (WindowsFolder(s) / "Aurora.scr").read_bytes()
    original = source.read_bytes()
    Check(len(copy) == len(original), f"copy has {len(copy)} bytes, source {len(original)}")
    n = len(original)
    Check(copy[n - 12:n - 8] == b"\0\0\0\0", f"install gate of the copy is {copy[n - 12:n - 8]!r}")
    Check(copy[:n - 12] == original[:n - 12] and copy[n - 8:] == original[n - 8:],
          "the copy differs from the source beyond its install gate")


def WaitDeskCall(calls: Path) -> None:
    want = r"C:\windows\Aurora.scr"
    WaitUntil(lambda: calls.is_file() and want in calls.read_text(errors="replace"), 30,
              f"the Display control panel to be asked for {want}")


def TestInstallerDialogInstallsAndTheCopyOffersNoInstall(s: TSession):
    calls = PrepareDesk(s)
    scr = s.MakeScr("Aurora.scr", gate=1)
    process = s.StartScr(scr)
    form = s.WaitForWindow(process=process, Class="TInstallFrm", Visible=True)
    Check(form.Title == "Install Screen Saver", f"installer titled {form.Title!r}")
    children = {(w.Class.lower(), w.Title) for w in s.Windows() if w.Parent == form.Hwnd}
    for want in (("static", "Now, the screen saver will be install to your computer, continue?"),
                 ("button", "Set as windows default screen saver."), ("button", "&Install"), ("button", "&Exit"),
                 ("msctls_progress32", "")):
        Check(want in children, f"the installer lacks {want}: {children}")
    s.Screenshot("installer")  # kept in the run folder for people to look at
    Click(s, Button(s, form, "Install"))
    box = MessageBox(s, process, "Aurora")
    Check(MessageText(s, box) == "Installing Completed!", f"message {MessageText(s, box)!r}")
    s.CloseWindow(box.Hwnd)
    Check(process.WaitExit(30) == 0, "the installer ended with a nonzero code")
    CheckInstalledCopy(s, scr)
    values = UninstallValues(s)
    Check(values == {"DisplayName": "Aurora Screen Saver", "UninstallString": r"C:\windows\Aurora.scr /U"},
          f"uninstall values {values}")
    WaitDeskCall(calls)
    # The installed copy's gate is closed: without a switch it configures (this one has
    # no show, so the settings say so) and never offers to install.
    installed = s.StartScr(WindowsFolder(s) / "Aurora.scr")
    box = MessageBox(s, installed, "Aurora")
    Check(MessageText(s, box) == "Extract config file error!", f"message {MessageText(s, box)!r}")
    Check(not s.FindWindows(installed, Class="TInstallFrm"), "the installed copy offers to install")
    s.CloseWindow(box.Hwnd)
    Check(installed.WaitExit(20) == 0, "the installed copy ended with a nonzero code")


def TestSilentModesAskAndReportAsTheyShould(s: TSession):
    calls = PrepareDesk(s)
    scr = s.MakeScr("Aurora.scr", gate=1)
    # /I on a fresh machine: no question, the completion message.
    process = s.StartScr(scr, "/I")
    box = MessageBox(s, process, "Aurora")
    Check(MessageText(s, box) == "Installing Completed!", f"message {MessageText(s, box)!r}")
    s.CloseWindow(box.Hwnd)
    Check(process.WaitExit(30) == 0, "/I ended with a nonzero code")
    CheckInstalledCopy(s, scr)
    WaitDeskCall(calls)
    # /I over the copy, answered No: nothing changes, nothing more is said.
    settings = WindowsFolder(s) / "Aurora.ini"
    settings.write_bytes(b"[AppConfig]\r\nHowToExit=0\r\n")
    process = s.StartScr(scr, "/I")
    question = MessageBox(s, process, "Installing Screen Saver")
    Check(MessageText(s, question) == "The destination has existed, overwrite it?",
          f"question {MessageText(s, question)!r}")
    Click(s, Button(s, question, "No"))
    Check(process.WaitExit(30) == 0, "/I answered No ended with a nonzero code")
    Check(settings.is_file(), "the settings file went although the user said No")
    # /O over the copy: silent, and the old settings file goes.
    watch = s.Watch()
    process = s.StartScr(scr, "/O")
    Check(process.WaitExit(30) == 0, "/O ended with a nonzero code")
    watch.Stop()
    mine = [e for e in watch.Created() if e.get("exe", "").lower() == "aurora.scr"]
    Check(not mine, f"/O made windows: {mine}")
    Check(not settings.exists(), "the old settings file is still there after /O")
    CheckInstalledCopy(s, scr)


def BatchCpuSeconds() -> float:
    """Processor time used so far by the command interpreters and pings that Wine runs."""
    total = 0
    for stat in Path("/proc").glob("[0-9]*/stat"):
        try:
            cmdline = (stat.parent / "cmdline").read_bytes().lower()
            if b"cmd.exe" not in cmdline and b"ping" not in cmdline:
                continue
            fields = stat.read_text().rsplit(")", 1)[1].split()
            total += int(fields[11]) + int(fields[12])
        except (OSError, IndexError, ValueError):
            continue
    return total / os.sysconf("SC_CLK_TCK")


def SetCurrentScreenSaver(s: TSession, path: str) -> None:
    subprocess.run(["wine", "reg", "add", r"HKCU\Control Panel\Desktop", "/v", "SCRNSAVE.EXE", "/t", "REG_SZ", "/d",
                    path, "/f"], env=s.Environment(), capture_output=True, timeout=120, stdin=subprocess.DEVNULL,
                   cwd=s.RunDir, check=True)


def TestRemovalLeavesNothingBehind(s: TSession):
    PrepareDesk(s)
    scr = s.MakeScr("Aurora.scr", gate=1)
    Check(s.StartScr(scr, "/O").WaitExit(30) == 0, "/O ended with a nonzero code")
    installed = WindowsFolder(s) / "Aurora.scr"
    settings = WindowsFolder(s) / "Aurora.ini"
    settings.write_bytes(b"[AppConfig]\r\nHowToExit=0\r\n")
    UninstallValues(s)
    # The user's current screen saver names the file (in another case): it goes with it.
    SetCurrentScreenSaver(s, r"C:\WINDOWS\AURORA.SCR")
    process = s.StartScr(installed, "/U")
    question = MessageBox(s, process, "Aurora")
    Check(MessageText(s, question) == "Are you sure you want to uninstall the product?",
          f"question {MessageText(s, question)!r}")
    Click(s, Button(s, question, "Yes"))
    done = WaitUntil(lambda: [w for w in s.FindWindows(process, Class="#32770", Title="Aurora", Visible=True)
                              if w.Hwnd != question.Hwnd], 30, "the final message")[0]
    Check(MessageText(s, done) == "Uninstalled completely", f"message {MessageText(s, done)!r}")
    Check(installed.is_file(), "the executable went while its process still runs")
    # The batch file waits between its tries rather than spin while the message waits.
    before, start = BatchCpuSeconds(), time.monotonic()
    time.sleep(4)
    share = (BatchCpuSeconds() - before) / (time.monotonic() - start)
    print(f"the removal batch's processor share while the message waits: {share:.3f}")
    Check(share < 0.2, f"the batch file uses {share:.0%} of a core while it waits")
    code, out = RegQuery(s, r"HKCU\Control Panel\Desktop")
    Check("SCRNSAVE.EXE" not in out.upper(), f"the current screen saver still names the removed file: {out!r}")
    s.CloseWindow(done.Hwnd)
    Check(process.WaitExit(30) == 0, "/U ended with a nonzero code")
    code, out = RegQuery(s, UNINSTALL_KEY)
    Check(code != 0, f"the uninstall key is still there: {out!r}")
    Check(not settings.exists(), "the settings file is still there")
    batch = WindowsFolder(s) / "_deleteme.bat"
    WaitUntil(lambda: not installed.exists() and not batch.exists(), 60, "the batch file to delete the executable and itself")


def TestInstallOverARunningPreviewSaysWhatToDo(s: TSession):
    PrepareDesk(s)
    scr = s.MakeScr("Aurora.scr", gate=1)
    Check(s.StartScr(scr, "/O").WaitExit(30) == 0, "/O ended with a nonzero code")
    display = s.StandIn(preview=(152, 112))
    preview = s.StartScr(WindowsFolder(s) / "Aurora.scr", "/p", str(display.Preview))
    s.WaitForWindow(process=preview, Class="TMainFrm", Parent=display.Preview)
    process = s.StartScr(scr, "/I")
    Click(s, Button(s, MessageBox(s, process, "Installing Screen Saver"), "Yes"))
    box = WaitUntil(lambda: [w for w in s.FindWindows(process, Class="#32770", Title="Aurora", Visible=True)], 30,
                    "the failure message")[0]
    text = MessageText(s, box)
    Check(text.startswith("The screen saver is running."), f"message {text!r}")
    s.CloseWindow(box.Hwnd)
    Check(process.WaitExit(30) == 0, "/I ended with a nonzero code")
    display.Close()
    Check(preview.WaitExit(20) == 0, "the preview did not end with its parent")
    # A destination that is a folder: /I says it failed, as the dialog does (after the
    # overwrite question, should the folder count as an existing destination).
    (WindowsFolder(s) / "Aurora.scr").unlink()
    (WindowsFolder(s) / "Aurora.scr").mkdir()
    process = s.StartScr(scr, "/I")
    box = WaitUntil(lambda: s.FindWindows(process, Class="#32770", Visible=True), 30, "a message")[0]
    if box.Title == "Installing Screen Saver":
        Click(s, Button(s, box, "Yes"))
        box = WaitUntil(lambda: [w for w in s.FindWindows(process, Class="#32770", Title="Aurora", Visible=True)],
                        30, "the failure message")[0]
    Check(MessageText(s, box) == "Installing Failed! Please Try again!", f"message {MessageText(s, box)!r}")
    s.CloseWindow(box.Hwnd)
    Check(process.WaitExit(30) == 0, "/I ended with a nonzero code")


def TestUninstallCommandOfANameWithABlankReachesTheRemoval(s: TSession):
    scr = s.MakeScr("My Show.scr", gate=1)
    Check(s.StartScr(scr, "/O").WaitExit(30) == 0, "/O ended with a nonzero code")
    key = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\My Show Screen Saver"
    code, out = RegQuery(s, key)
    want = r'"C:\windows\My Show.scr" /U'
    Check(code == 0 and f"REG_SZ    {want}" in out, f"UninstallString is not {want}: {out!r}")
    # The stored text, run by the command interpreter: the removal asks, so the switch arrived.
    (s.Prefix / "drive_c" / "uninstall.bat").write_bytes(want.encode() + b"\r\n")
    process = s.StartWindows(Path("cmd"), ["/c", r"C:\uninstall.bat"], "uninstall command")
    question = WaitUntil(lambda: [w for w in s.FindWindows(Class="#32770", Title="My Show", Visible=True)], 30,
                         "the removal's question")[0]
    Click(s, Button(s, question, "No"))
    Check(process.WaitExit(30) == 0, "the uninstall command ended with a nonzero code")
    Check((WindowsFolder(s) / "My Show.scr").is_file(), "No removed the file")
