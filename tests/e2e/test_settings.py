"""The settings dialog of the real lumora.scr: /c opens it with its controls, what OK
saves beside the executable is what the next /s obeys, Cancel and Esc save nothing,
the Readme button opens a window per press, and a configuration that cannot be
extracted is reported."""

import json
import time
from pathlib import Path

from lumora_e2e import SCREEN_HEIGHT, SCREEN_WIDTH, Bmp24, Check, TSession, TWindow, WaitUntil

from test_show import StartShow, WaitForPicture

CONFIG_TITLE = "Screen Saver Config"
README_TITLE = "Screen Saver Readme"
CHECK_BOXES = ["Mouse move", "Mouse click", "Press any key", 'Press "Esc" key', "Mute sound", "Show cursor"]
README = "Read me first.\r\nThe second line of the readme.\r\n"


ORANGE = (255, 128, 0)


def SettingsShow(s: TSession, name: str, settings: str = "", banner: bool = False) -> Path:
    """The red picture over blue of the show tests, with an author, an address, a
    description and a readme for the dialog; banner: an orange banner bitmap too."""
    entries = [Bmp24(200, 100, (255, 0, 0))] + ([Bmp24(392, 52, ORANGE)] if banner else [])
    _, refs = s.MakeShowScr(name, "", entries)
    pos, size = refs[0]
    if banner:
        settings += f"IsUseBanner=1\r\nBannerFile=.bmp\r\nBannerFilePos={refs[1][0]}\r\nBannerFileSize={refs[1][1]}\r\n"
    config = ("[AppInfo]\r\nPicCount=1\r\nSndCount=0\r\nAuthor=Ann Author\r\n"
              f"[Settings]\r\nIsUseSplash=0\r\nYourURL=http://show.example/\r\n{settings}"
              "[Background]\r\nBgStyle=0\r\nBgSolidColor=00FF0000\r\n"
              f"[Pic1]\r\nPicFileName=.bmp\r\nFilePos={pos}\r\nFileSize={size}\r\nPicPos=1\r\n"
              "ShowInStyle=0\r\nShowOutStyle=0\r\nIsPicFloat=0\r\nPicInterval=2\r\n"
              "[AppDsp]\r\nA show of one red picture.\r\n"
              f"[SettingsReadmeFile]\r\n{README}")
    scr, _ = s.MakeShowScr(name, config, entries)
    return scr


def OpenDialog(s: TSession, scr: Path, switch: str = "/c"):
    process = s.StartScr(scr, switch)
    dialog = s.WaitForWindow(30, process, Title=CONFIG_TITLE, Visible=True)
    return process, dialog


def Controls(s: TSession, process) -> dict:
    """The dialog's visible controls by their text."""
    return {w.Title: w for w in s.FindWindows(process, Visible=True) if w.Parent != 0}


def Checked(s: TSession, window: TWindow) -> bool:
    probe = s.StartWindows(s.Config.Probe, ["checked", str(window.Hwnd)], "checked")
    probe.WaitExit(30)
    return json.loads(probe.Stdout().splitlines()[-1])["checked"] == 1


def ClickOn(s: TSession, window: TWindow) -> None:
    s.MovePointer((window.Rect[0] + window.Rect[2]) // 2, (window.Rect[1] + window.Rect[3]) // 2)
    s.Click()


def TestSettingsDialogShowsItsControlsAndOkSavesWhatTheShowObeys(s: TSession):
    scr = SettingsShow(s, "saver.scr")
    settings = scr.with_suffix(".ini")
    process, dialog = OpenDialog(s, scr)
    Check(dialog.Class == "#32770", f"the settings window is no dialog: {dialog}")
    controls = Controls(s, process)
    for text in CHECK_BOXES + ["How to exit?", "Sound", "Cursor", "&OK", "&Cancel", "&Readme"]:
        Check(text in controls, f"no control {text!r} in {sorted(controls)}")
    Check(any(w.Class == "SysTabControl32" for w in controls.values()), "no tab control")
    # No settings file: all four exit ways on, sound on, cursor hidden.
    Check([Checked(s, controls[t]) for t in CHECK_BOXES] == [True] * 4 + [False] * 2, "defaults not shown")
    Check(not settings.exists(), "the dialog wrote a settings file on opening")
    s.Screenshot("settings-dialog")
    # Only Esc may end the show, and the sound is muted.
    for text in ["Mouse move", "Mouse click", "Press any key", "Mute sound"]:
        ClickOn(s, controls[text])
    WaitUntil(lambda: not Checked(s, controls["Mouse move"]), 10, "the click on Mouse move")
    ClickOn(s, controls["&OK"])
    Check(process.WaitExit(30) == 0, "the dialog did not end on OK")
    Check(settings.read_bytes() == b"[AppConfig]\r\nHowToExit=8\r\nIsSndMute=1\r\nIsShowCursor=0\r\n\r\n",
          f"settings file after OK: {settings.read_bytes()!r}")

    show = StartShow(s, scr)
    WaitForPicture(s, "esc-only")
    s.MovePointer(SCREEN_WIDTH // 2 + 100, SCREEN_HEIGHT // 2 + 80)
    s.Key("a")
    time.sleep(2)  # give a wrongly granted exit time to end the process
    Check(show.Running(), "the show ended on an input the dialog turned off")
    s.Key("Escape")
    Check(show.WaitExit(30) == 0, "the show did not end on Esc")

    # The saved values come back, and Enter is OK: a file with nothing to change stays as it is.
    before = settings.stat().st_mtime_ns
    process, dialog = OpenDialog(s, scr)
    controls = Controls(s, process)
    Check([Checked(s, controls[t]) for t in CHECK_BOXES] == [False, False, False, True, True, False],
          "the saved settings are not shown")
    s.Key("Return")
    Check(process.WaitExit(30) == 0, "the dialog did not end on Enter")
    Check(settings.stat().st_mtime_ns == before, "OK without changes rewrote the settings file")


def TestCancelEscAndTheCloseBoxSaveNothing(s: TSession):
    scr = SettingsShow(s, "cancel.scr")
    settings = scr.with_suffix(".ini")
    stored = b"[AppConfig]\r\nHowToExit=5\r\nIsSndMute=0\r\nIsShowCursor=0\r\n"
    settings.write_bytes(stored)
    before = settings.stat().st_mtime_ns
    for way in ("cancel", "esc", "close"):
        process, dialog = OpenDialog(s, scr)
        controls = Controls(s, process)
        Check([Checked(s, controls[t]) for t in CHECK_BOXES[:4]] == [True, False, True, False],
              f"{way}: HowToExit 5 not shown")
        if way == "esc":
            # By keyboard: from OK, where the focus starts, past Cancel and Readme to the first box.
            s.Key("Tab", "Tab", "Tab", "space")
            WaitUntil(lambda: not Checked(s, controls["Mouse move"]), 10, "Tab and space on Mouse move")
        else:
            ClickOn(s, controls["Mouse click"])
            WaitUntil(lambda: Checked(s, controls["Mouse click"]), 10, "the click on Mouse click")
        if way == "cancel":
            ClickOn(s, controls["&Cancel"])
        elif way == "esc":
            s.Key("Escape")
        else:
            s.CloseWindow(dialog.Hwnd)
        Check(process.WaitExit(30) == 0, f"the dialog did not end on {way}")
        Check(settings.read_bytes() == stored and settings.stat().st_mtime_ns == before,
              f"{way} changed the settings file")


def TestReadmeOpensAWindowForEachPress(s: TSession):
    scr = SettingsShow(s, "readme.scr")
    process, dialog = OpenDialog(s, scr)
    controls = Controls(s, process)
    ClickOn(s, controls["&Readme"])
    first = s.WaitForWindow(30, process, Title=README_TITLE, Visible=True)
    Check((first.Width, first.Height) == (544, 480), f"readme window {first}")
    memo = [w for w in s.FindWindows(process) if w.Parent == first.Hwnd and w.Class.upper() == "EDIT"]
    Check(len(memo) == 1, f"the readme window has no single text box: {memo}")
    # Read-only and wrapping: no horizontal scrolling, which would keep long lines whole.
    ES_MULTILINE, ES_READONLY, ES_AUTOHSCROLL, WS_HSCROLL, WS_VSCROLL = 0x4, 0x800, 0x80, 0x100000, 0x200000
    Check(memo[0].HasStyle(ES_MULTILINE | ES_READONLY | WS_VSCROLL) and memo[0].Style & (ES_AUTOHSCROLL | WS_HSCROLL) == 0,
          f"readme text box style {memo[0].Style:#x}")
    Check((memo[0].Width, memo[0].Height) == first.Client, f"the text box does not fill the window: {memo[0]}")
    s.Screenshot("readme")
    # Back to the dialog by its caption bar (the readme window opens at the top left),
    # and its accelerator: another window, the first one stays.
    s.MovePointer(dialog.Rect[2] - 100, dialog.Rect[1] + 8)
    s.Click()
    s.Key("alt+r")
    WaitUntil(lambda: len(s.FindWindows(process, Title=README_TITLE, Visible=True)) == 2, 30, "a second readme window")
    # File / Exit closes the new one.
    s.Key("alt+f")
    s.Key("e")
    WaitUntil(lambda: [w.Hwnd for w in s.FindWindows(process, Title=README_TITLE)] == [first.Hwnd], 30,
              "only the first readme window left")
    Check(process.Running(), "closing a readme window ended the dialog")
    s.CloseWindow(dialog.Hwnd)
    Check(process.WaitExit(30) == 0, "the dialog and its readme window did not end together")

    # Without the general information there is no Readme button and no website.
    scr = SettingsShow(s, "nogeneral.scr", "IsUseGeneral=0\r\n")
    process, dialog = OpenDialog(s, scr)
    everything = {w.Title: w for w in s.FindWindows(process) if w.Parent != 0}
    Check(not everything["&Readme"].Visible, "the Readme button shows without IsUseGeneral")
    Check(not everything["http://show.example/"].Visible, "the website shows without IsUseGeneral")
    Check("Ann Author" in everything, "the author is missing")
    s.CloseWindow(dialog.Hwnd)
    Check(process.WaitExit(30) == 0, "the dialog did not end")


def TestConfigurationThatCannotBeExtractedIsReported(s: TSession):
    scr = s.MakeScr("broken.scr", configPosition=100, configStoredSize=50)
    watch = s.Watch()
    process = s.StartScr(scr, "/c")
    box = s.WaitForWindow(30, process, Title="broken", Visible=True)
    texts = [w.Title for w in s.FindWindows(process) if w.Parent == box.Hwnd]
    Check("Extract config file error!" in texts, f"message box says {texts}")
    s.Key("Return")
    Check(process.WaitExit(30) == 0, "the process did not end after the message")
    watch.Stop()
    Check(not [e for e in watch.Created() if e.get("title") == CONFIG_TITLE], "the dialog showed after the error")


def TestBannerStripShowsTheBannerPictureAndAboutShowsTheAuthor(s: TSession):
    scr = SettingsShow(s, "banner.scr", banner=True)
    process, dialog = OpenDialog(s, scr)
    # The client area sits at the bottom of the frame, between equal borders.
    border = (dialog.Width - dialog.Client[0]) // 2
    left, top = dialog.Rect[0] + border, dialog.Rect[3] - border - dialog.Client[1]
    shot = s.Screenshot("settings-banner")
    for x, y in ((4, 4), (196, 26), (387, 47)):
        Check(shot.Pixel(left + x, top + y) == ORANGE,
              f"banner pixel ({x}, {y}) is {shot.Pixel(left + x, top + y)}, expected orange")
    Check(shot.Pixel(left + 196, top + 56) != ORANGE, "the banner is taller than its strip")
    s.Key("ctrl+Tab")
    about = WaitUntil(lambda: Controls(s, process).get("Ann Author"), 10, "the About sheet")
    controls = Controls(s, process)
    for text in ("Author:", "Website:", "Description:", "http://show.example/"):
        Check(text in controls, f"no {text!r} on the About sheet: {sorted(controls)}")
    Check(about.Visible and "Mouse move" not in controls, "the General sheet still shows")
    s.Screenshot("settings-about")
    s.Key("Escape")
    Check(process.WaitExit(30) == 0, "the dialog did not end on Esc")
