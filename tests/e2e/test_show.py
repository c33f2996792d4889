"""The show of the real lumora.scr: a packed show plays full-screen, its pictures and
background reach the screen, the inputs that the user settings allow end it (and only
those), and its temporary files are gone when it has ended."""

import shutil
import struct
import subprocess
import time
from pathlib import Path

from lumora_e2e import CONVERT, SCREEN_HEIGHT, SCREEN_WIDTH, Bmp24, Check, TScreenshot, TSession, WaitUntil

RED = (255, 0, 0)
BLUE = (0, 0, 255)


def RedPictureShow(s: TSession, name: str) -> Path:
    """One red 200 x 100 picture in the screen's centre over a blue background, no splash."""
    entries = [Bmp24(200, 100, RED)]
    # The positions are known only after packing; the entries come first, so pack twice.
    _, refs = s.MakeShowScr(name, "", entries)
    (pos, size), = refs
    config = ("[AppInfo]\r\nPicCount=1\r\nSndCount=0\r\n"
              "[Settings]\r\nIsUseSplash=0\r\n"
              "[Background]\r\nBgStyle=0\r\nBgSolidColor=00FF0000\r\n"
              f"[Pic1]\r\nPicFileName=.bmp\r\nFilePos={pos}\r\nFileSize={size}\r\nPicPos=1\r\n"
              "ShowInStyle=0\r\nShowOutStyle=0\r\nIsPicFloat=0\r\nPicInterval=2\r\n")
    scr, _ = s.MakeShowScr(name, config, entries)
    return scr


def TempFiles(s: TSession) -> set:
    return {str(p) for p in (s.Prefix / "drive_c" / "users").glob("*/**/Temp/tmp*")}


def StartShow(s: TSession, scr: Path):
    s.ParkPointer()
    process = s.StartScr(scr, "/s")
    s.WaitForWindow(60, process, Title="Template", Visible=True)
    return process


def WaitForPicture(s: TSession, name: str):
    centre = (SCREEN_WIDTH // 2, SCREEN_HEIGHT // 2)

    def Shown():
        shot = s.Screenshot(name)
        return shot if shot.Pixel(*centre) == RED else None

    return WaitUntil(Shown, 30, "the red picture in the screen's centre")


def TestShowPlaysItsPictureOverItsBackgroundAndAKeyEndsIt(s: TSession):
    scr = RedPictureShow(s, "red.scr")
    before = TempFiles(s)
    process = StartShow(s, scr)
    shot = WaitForPicture(s, "playing")
    Check(shot.Pixel(10, 10) == BLUE, f"background pixel is {shot.Pixel(10, 10)}, expected blue")
    # The picture's edges: 200 x 100 centred.
    left, top = (SCREEN_WIDTH - 200) // 2, (SCREEN_HEIGHT - 100) // 2
    Check(shot.Pixel(left + 2, top + 2) == RED, "the picture's top-left corner is not red")
    Check(shot.Pixel(left - 3, top - 3) == BLUE, "the background does not start beside the picture")
    s.Xdotool("key", "a")
    Check(process.WaitExit(30) == 0, "the show did not end on a key")
    left_behind = TempFiles(s) - before
    Check(not left_behind, f"temporary files left behind: {sorted(left_behind)}")


def TestOnlyTheInputsOfHowToExitEndTheShow(s: TSession):
    scr = RedPictureShow(s, "esc.scr")
    scr.with_suffix(".ini").write_bytes(b"[AppConfig]\r\nHowToExit=8\r\n")
    process = StartShow(s, scr)
    WaitForPicture(s, "esc-only")
    s.MovePointer(SCREEN_WIDTH // 2 + 100, SCREEN_HEIGHT // 2 + 80)
    s.Xdotool("click", "1")
    s.Xdotool("click", "3")
    s.Xdotool("key", "a")
    time.sleep(2)  # give a wrongly granted exit time to end the process
    Check(process.Running(), "the show ended on an input that HowToExit does not allow")
    s.Xdotool("key", "Escape")
    Check(process.WaitExit(30) == 0, "the show did not end on Esc")


def TestMouseMovementEndsTheShowButARightClickDoesNot(s: TSession):
    scr = RedPictureShow(s, "mouse.scr")
    process = StartShow(s, scr)
    WaitForPicture(s, "mouse")
    s.Xdotool("click", "3")
    time.sleep(2)
    Check(process.Running(), "a right click ended the show")
    s.MovePointer(SCREEN_WIDTH // 2 + 1, SCREEN_HEIGHT // 2 + 1)
    s.MovePointer(SCREEN_WIDTH // 2 + 40, SCREEN_HEIGHT // 2 + 40)
    Check(process.WaitExit(30) == 0, "the show did not end on a mouse movement")


def RenderOracle(s: TSession, scr: Path, item: int, name: str):
    """lumora-render's picture of the show's item as a screenshot-like pixel source."""
    render = s.Config.Scr.parent.parent / "native" / "lumora-render"
    Check(render.is_file(), f"{render} is missing (build the native preset)")
    png = s.RunDir / f"{name}-oracle.png"
    ppm = s.RunDir / f"{name}-oracle.ppm"
    subprocess.run([str(render), "show", str(scr), "-o", str(png), "--item", str(item),
                    "--screen", f"{SCREEN_WIDTH}x{SCREEN_HEIGHT}"], check=True, timeout=120, capture_output=True)
    subprocess.run([CONVERT, str(png), "-depth", "8", str(ppm)], check=True, timeout=60, capture_output=True)
    return TScreenshot(ppm)


def Close(a: tuple, b: tuple, tolerance: int = 6) -> bool:
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


def TestDemoPlaysFullScreenAsTheHeadlessRenderShowsIt(s: TSession):
    demo = s.Config.Scr.parent.parent / "native" / "generated.scr"
    Check(demo.is_file(), f"{demo} is missing (the native build packs it from examples/demo/generated.ini)")
    scr = s.Prefix / "drive_c" / "lumora" / "demo.scr"
    scr.parent.mkdir(exist_ok=True)
    shutil.copyfile(demo, scr)
    oracle = RenderOracle(s, scr, 1, "demo")
    # Probes away from the caption: the background's corners and the first picture's middle.
    probes = [(16, 16), (SCREEN_WIDTH - 17, 16), (16, SCREEN_HEIGHT // 2), (SCREEN_WIDTH // 2, SCREEN_HEIGHT // 2 - 40)]
    process = StartShow(s, scr)

    def Matches():
        shot = s.Screenshot("demo")
        return shot if all(Close(shot.Pixel(*p), oracle.Pixel(*p)) for p in probes) else None

    shot = WaitUntil(Matches, 40, "the demo's first item as lumora-render draws it")
    Check(process.Running(), "the demo ended by itself")
    s.Xdotool("key", "Escape")
    Check(process.WaitExit(30) == 0, "the demo did not end on Esc")


# A stand-in for the system's screen-saver password library: it answers with the
# number in C:\lumora\pwd-answer.txt and notes each call in C:\lumora\pwd-calls.txt.
PASSWORD_LIBRARY_SOURCE = r"""
#include <windows.h>
__declspec(dllexport) BOOL WINAPI VerifyScreenSavePwd(HWND owner) {
  char answer = '0';
  DWORD n = 0;
  HANDLE f = CreateFileA("C:\\lumora\\pwd-answer.txt", GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  if (f != INVALID_HANDLE_VALUE) { ReadFile(f, &answer, 1, &n, NULL); CloseHandle(f); }
  HANDLE log = CreateFileA("C:\\lumora\\pwd-calls.txt", FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, 0, NULL);
  if (log != INVALID_HANDLE_VALUE) { WriteFile(log, "call\r\n", 6, &n, NULL); CloseHandle(log); }
  return answer == '1';
}
"""


def InstallPasswordLibrary(s: TSession) -> None:
    source = s.RunDir / "password.c"
    source.write_text(PASSWORD_LIBRARY_SOURCE)
    target = s.Prefix / "drive_c" / "windows" / "system32" / "PASSWORD.CPL"
    if target.exists() or target.is_symlink():
        target.unlink()
    subprocess.run(["x86_64-w64-mingw32-gcc", "-shared", "-O1", "-o", str(target), str(source),
                    "-Wl,--kill-at"], check=True, timeout=120, capture_output=True)
    reg = s.StartWindows(Path("reg"), ["add", r"HKCU\Control Panel\Desktop", "/v", "ScreenSaveUsePassword",
                                       "/t", "REG_SZ", "/d", "1", "/f"], "reg add")
    Check(reg.WaitExit(60) == 0, "could not set ScreenSaveUsePassword")


def TestPasswordRefusedKeepsTheShowAndAcceptedEndsIt(s: TSession):
    scr = RedPictureShow(s, "pwd.scr")
    scr.with_suffix(".ini").write_bytes(b"[AppConfig]\r\nHowToExit=4\r\n")
    InstallPasswordLibrary(s)
    folder = s.Prefix / "drive_c" / "lumora"
    answer, calls = folder / "pwd-answer.txt", folder / "pwd-calls.txt"
    answer.write_text("0")
    process = StartShow(s, scr)
    WaitForPicture(s, "password")
    s.Xdotool("key", "a")
    WaitUntil(lambda: calls.exists() and calls.read_text().count("call") == 1, 30, "the password library's call")
    time.sleep(2)
    Check(process.Running(), "a refused password ended the show")
    answer.write_text("1")
    s.Xdotool("key", "a")
    Check(process.WaitExit(30) == 0, "an accepted password did not end the show")
    Check(calls.read_text().count("call") == 2, f"password library calls: {calls.read_text()!r}")


def TestPreviewPlaysInsideTheDisplayPropertiesWindowUntilItCloses(s: TSession):
    scr = RedPictureShow(s, "preview.scr")
    display = s.StandIn(preview=(152, 112))
    process = s.StartScr(scr, "/p", str(display.Preview))
    form = s.WaitForWindow(process=process, Class="TMainFrm", Parent=display.Preview, Visible=True)
    # The view fills the form. (Wine draws no window whose parent belongs to another
    # process, so the pixels are the headless tests' business.)
    view = s.WaitForWindow(process=process, Class="LumoraTrPic", Parent=form.Hwnd)
    Check(view.Client == form.Client, f"the view {view} does not fill the form {form}")
    s.Xdotool("key", "a")
    time.sleep(2)
    Check(process.Running(), "a key ended the preview")
    display.Close()
    Check(process.WaitExit(20) == 0, "the preview did not end with its parent window")
