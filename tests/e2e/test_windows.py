"""The real lumora.scr held to the platform's contracts rather than to Wine's leniency:
the preview that ends when its parent is gone or refused and keeps the host dialog
responsive, the settings verbs and their owner window, the full-screen show that ends
when it loses the foreground and holds still while the display is off, and the handle
ledger over a long show."""

import os
import subprocess
import time
from pathlib import Path

from lumora_e2e import Bmp24, Check, TSession, WaitUntil
from test_startup import QuietShowScr

WM_ACTIVATEAPP = 0x001C
CONFIG_TITLE = "Screen Saver Config"


def Ledger(s: TSession, path: Path) -> dict:
    """The ledger file: {kind: live count} for the booked kinds, and the plain counts."""
    counts = {}
    for line in path.read_text().splitlines():
        parts = line.split()
        if len(parts) >= 2:
            counts[parts[0]] = int(parts[1])
    return counts


def CyclingShow(s: TSession, name: str, howToExit: int = 15, pictures: int = 3, interval: int = 1):
    """A show of coloured pictures that come in and go out with effects, one a second."""
    colours = [(200, 40, 40), (40, 200, 40), (40, 40, 200), (200, 200, 40)][:pictures]
    entries = [Bmp24(160, 120, c) for c in colours]
    config = ""
    for _ in range(2):  # the positions are known once packed
        scr, refs = s.MakeShowScr(name, config, entries)
        config = (f"[AppInfo]\r\nPicCount={pictures}\r\nSndCount=0\r\n[Settings]\r\nIsUseSplash=0\r\n"
                  "[Background]\r\nBgStyle=0\r\nBgSolidColor=00000000\r\n")
        for i, (pos, size) in enumerate(refs, 1):
            config += (f"[Pic{i}]\r\nPicFileName=.bmp\r\nFilePos={pos}\r\nFileSize={size}\r\nPicPos=1\r\n"
                       f"ShowInStyle={i + 1}\r\nShowOutStyle={i + 3}\r\nIsPicFloat={i % 2}\r\n"
                       f"PicInterval={interval}\r\n")
    scr, _ = s.MakeShowScr(name, config, entries)
    scr.with_suffix(".ini").write_bytes(f"[AppConfig]\r\nHowToExit={howToExit}\r\n".encode())
    return scr


def TestPreviewEndsWhenItsParentIsGoneAndTheNextOneWaitsForTheMutex(s: TSession):
    scr = QuietShowScr(s, "preview.scr")
    # A handle of a window that has gone: the process ends at once, showing nothing.
    gone = s.StandIn(preview=(152, 112))
    handle = gone.Preview
    gone.Close()
    watch = s.Watch()
    process = s.StartScr(scr, "/p", str(handle))
    Check(process.WaitExit(20) == 0, "the preview of a gone window did not end cleanly")
    watch.Stop()
    shown = [e for e in watch.Events if e.get("event") == "show" and e.get("exe") == "preview.scr"]
    Check(not shown, f"windows shown: {shown}")
    # The mutex went with it, and a preview whose host is killed ends by its poll.
    display = s.StandIn(preview=(152, 112))
    first = s.StartScr(scr, "/p", str(display.Preview))
    s.WaitForWindow(process=first, Class="TMainFrm", Parent=display.Preview, Visible=True)
    # Quick re-selection: the next preview starts while this one is still ending.
    second_display = s.StandIn(preview=(152, 112))
    display.Process.Kill()
    second = s.StartScr(scr, "/p", str(second_display.Preview))
    Check(first.WaitExit(20) == 0, "the preview did not end when its host was killed")
    s.WaitForWindow(process=second, Class="TMainFrm", Parent=second_display.Preview, Visible=True)
    second_display.Close()
    Check(second.WaitExit(20) == 0, "the second preview did not end with its parent")


def TestHostStaysResponsiveWhileThePreviewLoadsABigPicture(s: TSession):
    # A 24-megapixel JPEG (6000 x 4000) as the preview's only item.
    jpeg = s.RunDir / "big.jpg"
    subprocess.run(["convert", "-size", "6000x4000", "gradient:red-blue", "-quality", "90", str(jpeg)], check=True,
                   timeout=300, capture_output=True, env=dict(os.environ, MAGICK_THREAD_LIMIT="1"))
    data = jpeg.read_bytes()
    config = ""
    for _ in range(2):
        scr, refs = s.MakeShowScr("big.scr", config, [data])
        (pos, size), = refs
        config = ("[AppInfo]\r\nPicCount=1\r\nSndCount=0\r\n[Settings]\r\nIsUseSplash=0\r\n"
                  f"[Pic1]\r\nPicFileName=.jpg\r\nFilePos={pos}\r\nFileSize={size}\r\nPicPos=1\r\n"
                  "ShowInStyle=0\r\nShowOutStyle=0\r\nIsPicFloat=0\r\nPicInterval=2\r\n")
    scr, _ = s.MakeShowScr("big.scr", config, [data])
    # The same measure for a small picture, to tell the big one's share from the rest.
    for name, show in (("small", QuietShowScr(s, "small.scr")), ("24-megapixel JPEG", scr)):
        display = s.StandIn(preview=(152, 112), latency=True)
        process = s.StartScr(show, "/p", str(display.Preview))
        s.WaitForWindow(process=process, Class="TMainFrm", Parent=display.Preview, Visible=True)
        time.sleep(8)  # the picture is loaded, shown, and loaded again meanwhile
        display.Close()
        line = next((l for l in display.Process.Stdout().splitlines() if l.startswith('{"latency_ms"')), "")
        Check(line != "", "the host printed no latency")
        print(f"host's worst message latency while the preview shows a {name}: {line}")
        Check(process.WaitExit(20) == 0, "the preview did not end with its parent")


def TestSettingsVerbsOwnerAndOneDialogAtATime(s: TSession):
    # An installed copy (gate closed) started with no switch is the shell's "Configure".
    installed = QuietShowScr(s, "installed.scr")
    process = s.StartScr(installed)
    dialog = s.WaitForWindow(process=process, Title=CONFIG_TITLE, Visible=True)
    # A second request brings the first forward and ends.
    second = s.StartScr(installed, "/c")
    Check(second.WaitExit(20) == 0, "the second settings process did not end")
    Check(len(s.FindWindows(Title=CONFIG_TITLE)) == 1, "two settings dialogs are open")
    s.CloseWindow(dialog.Hwnd)
    Check(process.WaitExit(20) == 0, "the settings dialog did not end cleanly")
    # /c:HWND and /c HWND own the dialog by that window.
    owner = s.StandIn(title="Screen Saver Settings stand-in")
    for args in ([f"/c:{owner.Hwnd}"], ["/c", str(owner.Hwnd)]):
        process = s.StartScr(installed, *args)
        dialog = s.WaitForWindow(process=process, Title=CONFIG_TITLE, Visible=True)
        Check(dialog.Owner == owner.Hwnd, f"{args}: dialog owned by {dialog.Owner}, expected {owner.Hwnd}")
        s.CloseWindow(dialog.Hwnd)
        Check(process.WaitExit(20) == 0, f"{args}: the settings dialog did not end cleanly")
    owner.Close()


def TestShowEndsOnDeactivationAndHoldsWhileTheDisplayIsOff(s: TSession):
    s.ParkPointer()
    process = s.StartScr(CyclingShow(s, "show.scr"), "/s")
    form = s.WaitForWindow(process=process, Class="TMainFrm", Visible=True)
    time.sleep(2)
    # Display off: nothing on the screen moves any more (effects, floating, items).
    Check(s.Probe("power", str(form.Hwnd), "0").get("sent"), "the display-off notice was not taken")
    time.sleep(0.5)
    shots = []
    for i in range(3):
        shots.append(s.Screenshot(f"dark-{i}").Data)
        time.sleep(1.0)
    Check(process.Running(), "the show ended when the display went off")
    Check(shots[0] == shots[1] == shots[2], "the show went on while the display was off")
    # Display on: it goes on.
    Check(s.Probe("power", str(form.Hwnd), "1").get("sent"), "the display-on notice was not taken")
    WaitUntil(lambda: s.Screenshot("lit").Data != shots[-1], 20, "the show to go on when the display came back")
    # Another application takes the foreground: the show ends as on an input.
    Check(s.Probe("send", str(form.Hwnd), str(WM_ACTIVATEAPP), "0", "0").get("sent"), "deactivation not sent")
    Check(process.WaitExit(20) == 0, "the show did not end when it lost the foreground")

    # HowToExit 0: nothing ends the show, not even that.
    process = s.StartScr(QuietShowScr(s, "quiet.scr"), "/s")
    form = s.WaitForWindow(process=process, Class="TMainFrm", Visible=True)
    s.Probe("send", str(form.Hwnd), str(WM_ACTIVATEAPP), "0", "0")
    time.sleep(1)
    Check(process.Running(), "a show that nothing may end ended on deactivation")
    s.CloseWindow(form.Hwnd)
    Check(process.WaitExit(20) == 0, "the quiet show did not end cleanly")


def TestLedgerStaysFlatOverALongShow(s: TSession):
    ledger = s.Prefix / "drive_c" / "ledger.txt"
    s.ParkPointer()
    process = s.StartScr(CyclingShow(s, "long.scr", howToExit=0), "/s", env={"LUMORA_LEDGER": "C:\\ledger.txt"})
    form = s.WaitForWindow(process=process, Class="TMainFrm", Visible=True)
    samples = []
    for _ in range(3):  # about a round of the three items each
        time.sleep(6)
        s.Probe("message", str(form.Hwnd), "LumoraLedgerReport")
        samples.append(Ledger(s, ledger))
    print(f"ledger samples: {samples}")
    for kind in ("dc", "bitmap", "font", "brush", "region", "timer", "thread", "media", "windows"):
        seen = [sample.get(kind, 0) for sample in samples]
        Check(max(seen) - min(seen) <= 2 and max(seen) <= 16, f"{kind} grows over the show: {seen}")
    s.CloseWindow(form.Hwnd)
    Check(process.WaitExit(20) == 0, "the show did not end cleanly")
    final = Ledger(s, ledger)
    print(f"ledger at exit: {final}")
    leaked = {k: v for k, v in final.items() if k not in ("gdi", "user") and v != 0}
    Check(not leaked, f"objects left at exit: {leaked}")
