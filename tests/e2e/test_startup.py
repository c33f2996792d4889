"""Start-up of the real lumora.scr: the install gate, the full-screen show and its
single instance, the preview inside another program's window, the switches that start
no show, and the password change."""

from lumora_e2e import (Bmp24, DLL_OVERRIDES, FULL_SCREEN_TITLE, PREVIEW_TITLE, SCREEN_HEIGHT, SCREEN_WIDTH,
                        WS_BORDER, WS_CAPTION, WS_CHILD, WS_DISABLED, WS_EX_TOOLWINDOW, WS_EX_TOPMOST,
                        WS_EX_WINDOWEDGE, WS_POPUP, WS_THICKFRAME, Check, TSession, TWindow)

BLACK = (0, 0, 0)


def ApplicationWindow(s: TSession, process, title: str) -> TWindow:
    found = s.FindWindows(process, Class="LumoraApplication")
    Check(len(found) == 1, f"expected one application window, found {[str(w) for w in found]}")
    app = found[0]
    Check(app.Title == title, f"application window titled {app.Title!r}, expected {title!r}")
    return app


def CheckHiddenToolWindow(app: TWindow) -> None:
    Check(not app.Visible, f"application window is visible: {app}")
    Check(app.HasExStyle(WS_EX_TOOLWINDOW), f"application window is no tool window: {app}")


def QuietShowScr(s: TSession, name: str):
    """A show that stays black and lets no input end it (the tests close its form): one
    black picture over a black gradient, no splash, and a user settings file with
    HowToExit 0 beside it."""
    black = Bmp24(64, 64, BLACK)
    _, refs = s.MakeShowScr(name, "", [black])
    (pos, size), = refs
    config = ("[AppInfo]\r\nPicCount=1\r\nSndCount=0\r\n"
              "[Settings]\r\nIsUseSplash=0\r\n"
              "[Background]\r\nBgStyle=1\r\nBgGradientFromColor=00000000\r\nBgGradientToColor=00000000\r\n"
              f"[Pic1]\r\nPicFileName=.bmp\r\nFilePos={pos}\r\nFileSize={size}\r\nPicPos=1\r\n"
              "ShowInStyle=0\r\nShowOutStyle=0\r\nIsPicFloat=0\r\nPicInterval=60\r\n")
    scr, _ = s.MakeShowScr(name, config, [black])
    scr.with_suffix(".ini").write_bytes(b"[AppConfig]\r\nHowToExit=0\r\n")
    return scr


def CheckBlack(s: TSession, name: str, rect) -> None:
    """A grid of points inside rect, all black."""
    shot = s.Screenshot(name)
    left, top, right, bottom = rect
    for fx in (0, 1, 2, 3, 4):
        for fy in (0, 1, 2, 3, 4):
            x = left + (right - left - 1) * fx // 4
            y = top + (bottom - top - 1) * fy // 4
            Check(shot.Pixel(x, y) == BLACK, f"pixel ({x}, {y}) is {shot.Pixel(x, y)}, expected black")


def CloseAndExpectExit(s: TSession, form: TWindow, process) -> None:
    s.CloseWindow(form.Hwnd)
    Check(process.WaitExit(20) == 0, "the process ended with a nonzero code")


def ExpectNoWindow(s: TSession, scr, *args) -> None:
    watch = s.Watch()
    process = s.StartScr(scr, *args)
    code = process.WaitExit(20)
    watch.Stop()
    created = watch.Created()
    Check(code == 0, f"{scr.name} {' '.join(args)} ended with code {code}")
    Check(not created, f"{scr.name} {' '.join(args)} made windows: {created}")


def TestGateZeroEndsWithoutWindow(s: TSession):
    # With no switch it opens the settings (test_windows).
    scr = s.MakeScr("gate0.scr", gate=0)
    for args in (["/i"], ["-O"]):
        ExpectNoWindow(s, scr, *args)


def TestFullScreenSwitchesShowOneTopmostBorderlessForm(s: TSession):
    scr = QuietShowScr(s, "show.scr")
    s.ParkPointer()
    for args in (["/s"], ["-S"], ["xs"], ["/S", "123"]):
        process = s.StartScr(scr, *args)
        form = s.WaitForWindow(process=process, Class="TMainFrm", Visible=True)
        # The form's own child windows (the view) do not count.
        visible = [w for w in s.FindWindows(process, Visible=True) if w.Parent == 0]
        Check(len(visible) == 1, f"{args}: expected one visible window, found {[str(w) for w in visible]}")
        Check(form.Title == "Template", f"{args}: form titled {form.Title!r}")
        Check(form.HasExStyle(WS_EX_TOPMOST), f"{args}: form is not top-most: {form}")
        Check(form.HasStyle(WS_POPUP) and form.Style & (WS_CAPTION | WS_BORDER | WS_THICKFRAME) == 0,
              f"{args}: form has a border: {form}")
        Check(form.Rect == (0, 0, SCREEN_WIDTH, SCREEN_HEIGHT), f"{args}: form does not fill the screen: {form}")
        app = ApplicationWindow(s, process, FULL_SCREEN_TITLE)
        CheckHiddenToolWindow(app)
        Check(form.Owner == app.Hwnd, f"{args}: form is not owned by the application window: {form}")
        if args == ["/s"]:
            CheckBlack(s, "full-screen", form.Rect)
        CloseAndExpectExit(s, form, process)


def TestSecondFullScreenInstanceExitsAtOnce(s: TSession):
    watch = s.Watch()
    first = s.StartScr(QuietShowScr(s, "first.scr"), "/s")
    form = s.WaitForWindow(process=first, Class="TMainFrm", Visible=True)
    second = s.StartScr(QuietShowScr(s, "second.scr"), "/s")
    Check(second.WaitExit(20) == 0, "the second instance ended with a nonzero code")
    watch.Stop()
    # The watch saw the first instance's windows, and nothing of the second.
    Check(any(e["class"] == "TMainFrm" and e["exe"] == "first.scr" for e in watch.Created()),
          f"the watch missed the first instance's form: {watch.Events}")
    strangers = [e for e in watch.Created() if e["exe"] != "first.scr"]
    Check(not strangers, f"windows other than the first instance's: {strangers}")
    Check(first.Running(), "the first instance ended")
    CloseAndExpectExit(s, form, first)


def TestFullScreenHidesWindowTitledAsPreview(s: TSession):
    other = s.StandIn(title=PREVIEW_TITLE)
    Check(s.FindWindows(Hwnd=other.Hwnd, Visible=True), "the stand-in is not visible")
    process = s.StartScr(QuietShowScr(s, "show.scr"), "/s")
    form = s.WaitForWindow(process=process, Class="TMainFrm", Visible=True)
    Check(s.FindWindows(Hwnd=other.Hwnd, Visible=False), "the window titled as the preview is still visible")
    CloseAndExpectExit(s, form, process)


def TestFullScreenStartsBesideRunningPreview(s: TSession):
    display = s.StandIn(preview=(152, 112))
    preview = s.StartScr(QuietShowScr(s, "preview.scr"), "/p", str(display.Preview))
    s.WaitForWindow(process=preview, Class="TMainFrm", Parent=display.Preview)
    show = s.StartScr(QuietShowScr(s, "show.scr"), "/s")
    form = s.WaitForWindow(process=show, Class="TMainFrm", Visible=True)
    Check(preview.Running(), "the preview ended when the full-screen show started")
    CheckHiddenToolWindow(ApplicationWindow(s, preview, PREVIEW_TITLE))
    CloseAndExpectExit(s, form, show)
    display.Close()
    Check(preview.WaitExit(20) == 0, "the preview did not end with its parent window")


def TestPreviewBecomesChildOfGivenWindow(s: TSession):
    display = s.StandIn(preview=(152, 112))
    parent = s.FindWindows(Hwnd=display.Preview)[0]
    scr = QuietShowScr(s, "preview.scr")
    process = s.StartScr(scr, "/p", str(display.Preview))
    form = s.WaitForWindow(process=process, Class="TMainFrm", Parent=display.Preview, Visible=True)
    Check(form.Title == "Template", f"form titled {form.Title!r}")
    Check(form.HasStyle(parent.Style | WS_CHILD | WS_DISABLED),
          f"form style {form.Style:#x} lacks the parent's {parent.Style:#x} plus child and disabled")
    Check(not form.HasStyle(WS_POPUP), f"form is still a pop-up: {form}")
    Check(form.ExStyle == parent.ExStyle, f"form ex-style {form.ExStyle:#x}, parent's {parent.ExStyle:#x}")
    Check(form.Rect == parent.Rect and form.Client == parent.Client,
          f"form does not fill the parent's client area: {form} in {parent}")
    app = ApplicationWindow(s, process, PREVIEW_TITLE)
    CheckHiddenToolWindow(app)
    # Extended styles replaced by tool window and top-most. The system keeps top-most to
    # itself and adds the window edge that a caption implies.
    Check(app.ExStyle & ~(WS_EX_TOPMOST | WS_EX_WINDOWEDGE) == WS_EX_TOOLWINDOW,
          f"application window ex-style {app.ExStyle:#x}")
    # No pixel check here: Wine does not draw a window whose parent belongs to another
    # process, so the preview area keeps the stand-in's colour under Wine.
    ExpectNoWindow(s, s.MakeScr("second.scr"), "/p", str(display.Preview))
    display.Close()
    Check(process.WaitExit(20) == 0, "the preview did not end with its parent window")


def TestPreviewWithoutUsableHandleRunsUnparented(s: TSession):
    scr = QuietShowScr(s, "preview.scr")
    # A number that names no window ends the preview instead (test_windows).
    for args in (["/p"], ["/p", "abc"], ["/p", "-1"], ["/P", "0"]):
        process = s.StartScr(scr, *args)
        form = s.WaitForWindow(process=process, Class="TMainFrm", Visible=True)
        Check(form.Parent == 0 and not form.HasStyle(WS_CHILD), f"{args}: form is parented: {form}")
        Check(not form.HasExStyle(WS_EX_TOPMOST), f"{args}: preview form is top-most: {form}")
        CheckHiddenToolWindow(ApplicationWindow(s, process, PREVIEW_TITLE))
        CloseAndExpectExit(s, form, process)


def TestOtherSwitchesOpenTheSettingsDialog(s: TSession):
    scr = QuietShowScr(s, "settings.scr")
    for args in (["/p:123"], ["/c"], ["/c:123"], ["/x"], ["/SS"]):
        process = s.StartScr(scr, *args)
        dialog = s.WaitForWindow(process=process, Title="Screen Saver Config", Visible=True)
        Check(not s.FindWindows(process, Class="TMainFrm"), f"{args}: a show form was made")
        CloseAndExpectExit(s, dialog, process)


def TestPasswordChangeReturns(s: TSession):
    scr = s.MakeScr("password.scr")
    for args in (["/a"], ["/a", "123"]):
        ExpectNoWindow(s, scr, *args)
    # Wine's password library only reports the call: provider, owner (123) and the two zeros.
    process = s.StartScr(scr, "/a", "123", env={"WINEDEBUG": "-all,fixme+mpr"})
    Check(process.WaitExit(20) == 0, "the password change did not end cleanly")
    Check('PwdChangePasswordA "SCRSAVE" 000000000000007B 0 0' in process.Stdout(),
          f"no password change call seen: {process.Stdout()!r}")
    # Without the password library the mode returns as quietly.
    process = s.StartScr(scr, "/a", env={"WINEDLLOVERRIDES": DLL_OVERRIDES + ";mpr="})
    Check(process.WaitExit(20) == 0, "the password change without its library did not end cleanly")
