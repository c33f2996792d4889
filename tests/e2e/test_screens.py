"""The full-screen show on real displays: a bare X display with no window manager and
no Wine desktop window, a display of 144 dots per inch, and the application manifest
that the built lumora.scr carries."""

import struct
import subprocess
import xml.etree.ElementTree as ET
from pathlib import Path

from lumora_e2e import (SCREEN_HEIGHT, SCREEN_WIDTH, WS_CAPTION, WS_EX_TOPMOST, WS_POPUP, WS_THICKFRAME, Bmp24,
                        Check, TSession, WaitUntil)

RED = (255, 0, 0)
BLUE = (0, 0, 255)

# What the system tells a program about the display: its monitors and resolution.
DISPLAY_QUERY_SOURCE = r"""
#include <windows.h>
#include <stdio.h>
static BOOL CALLBACK Monitor(HMONITOR m, HDC dc, LPRECT r, LPARAM p) {
  MONITORINFO info = {sizeof info};
  GetMonitorInfoA(m, &info);
  printf("{\"monitor\":[%ld,%ld,%ld,%ld],\"primary\":%d}\n", info.rcMonitor.left, info.rcMonitor.top,
         info.rcMonitor.right, info.rcMonitor.bottom, (info.dwFlags & MONITORINFOF_PRIMARY) ? 1 : 0);
  return TRUE;
}
int main(void) {
  HDC dc = GetDC(NULL);
  printf("{\"dpi\":%d,\"screen\":[%d,%d]}\n", GetDeviceCaps(dc, LOGPIXELSX), GetSystemMetrics(SM_CXSCREEN),
         GetSystemMetrics(SM_CYSCREEN));
  ReleaseDC(NULL, dc);
  EnumDisplayMonitors(NULL, NULL, Monitor, 0);
  return 0;
}
"""


# Moves the mouse from inside Wine: "mouse-input.exe X Y" (screen coordinates), as a
# user's mouse would; for displays where xdotool's pointer never reaches Wine.
MOUSE_INPUT_SOURCE = r"""
#include <windows.h>
#include <stdlib.h>
int main(int argc, char** argv) {
  if (argc < 3) return 2;
  int vx = GetSystemMetrics(SM_XVIRTUALSCREEN), vy = GetSystemMetrics(SM_YVIRTUALSCREEN);
  int vw = GetSystemMetrics(SM_CXVIRTUALSCREEN), vh = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  INPUT in = {0};
  in.type = INPUT_MOUSE;
  in.mi.dx = MulDiv(atoi(argv[1]) - vx, 65535, vw - 1);
  in.mi.dy = MulDiv(atoi(argv[2]) - vy, 65535, vh - 1);
  in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK;
  return SendInput(1, &in, sizeof in) == 1 ? 0 : 1;
}
"""


def Helper(s: TSession, name: str, source: str, libraries=()) -> Path:
    """A small program of the test's own, compiled with mingw-w64 into the run folder."""
    c, exe = s.RunDir / f"{name}.c", s.RunDir / f"{name}.exe"
    if not exe.exists():
        c.write_text(source)
        subprocess.run(["x86_64-w64-mingw32-gcc", "-O1", "-o", str(exe), str(c), *libraries], check=True,
                       timeout=120, capture_output=True)
    return exe


def DisplayQuery(s: TSession) -> list:
    """The display as a program in the session sees it (JSON lines)."""
    import json
    query = s.StartWindows(Helper(s, "display-query", DISPLAY_QUERY_SOURCE, ["-lgdi32"]), [], "display-query")
    query.WaitExit(60)
    return [json.loads(l) for l in query.Stdout().splitlines() if l.startswith("{")]


def PictureShow(s: TSession, name: str, picture: bytes) -> Path:
    """One picture at its original size in the centre over blue, no splash, no effects."""
    _, refs = s.MakeShowScr(name, "", [picture])
    (pos, size), = refs
    config = ("[AppInfo]\r\nPicCount=1\r\nSndCount=0\r\n[Settings]\r\nIsUseSplash=0\r\n"
              "[Background]\r\nBgStyle=0\r\nBgSolidColor=00FF0000\r\n"
              f"[Pic1]\r\nPicFileName=.bmp\r\nFilePos={pos}\r\nFileSize={size}\r\nPicPos=1\r\nPicSize=0\r\n"
              "ShowInStyle=0\r\nShowOutStyle=0\r\nIsPicFloat=0\r\nPicInterval=30\r\n")
    scr, _ = s.MakeShowScr(name, config, [picture])
    return scr


def PatternColour(x: int, y: int) -> tuple:
    """A colour of its own for every pixel of a 64 x 48 picture, with single-pixel stripes:
    any scaling or filtering changes some of them."""
    return (x * 4, y * 5, 255 if (x + y) % 2 else 0)


def PatternBmp(width: int = 64, height: int = 48) -> bytes:
    rows = b""
    for y in reversed(range(height)):
        row = b"".join(bytes((b, g, r)) for r, g, b in (PatternColour(x, y) for x in range(width)))
        rows += row + b"\0" * ((4 - len(row) % 4) % 4)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(rows), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    return header + info + rows


def StartShowAndWait(s: TSession, scr: Path, probe: tuple, colour: tuple, name: str):
    s.ParkPointer()
    process = s.StartScr(scr, "/s")

    def Shown():
        shot = s.Screenshot(name)
        return shot if shot.Pixel(*probe) == colour else None

    return process, WaitUntil(Shown, 60, f"{colour} at {probe}")


def CheckCoversTheScreen(s: TSession, process, shot) -> None:
    corners = [(0, 0), (SCREEN_WIDTH - 1, 0), (0, SCREEN_HEIGHT - 1), (SCREEN_WIDTH - 1, SCREEN_HEIGHT - 1)]
    for corner in corners:
        Check(shot.Pixel(*corner) == BLUE, f"the corner {corner} shows {shot.Pixel(*corner)}, not the background")
    form = s.WaitForWindow(process=process, Class="TMainFrm", Visible=True)
    Check(form.Rect == (0, 0, SCREEN_WIDTH, SCREEN_HEIGHT), f"the form is not on the whole screen: {form}")
    Check(form.HasStyle(WS_POPUP) and form.Style & (WS_CAPTION | WS_THICKFRAME) == 0, f"the form has a border: {form}")
    Check(form.HasExStyle(WS_EX_TOPMOST), f"the form is not top-most: {form}")
    view = s.WaitForWindow(process=process, Class="LumoraTrPic", Parent=form.Hwnd)
    Check(view.Client == form.Client == (SCREEN_WIDTH, SCREEN_HEIGHT), f"the view {view} does not fill the form")


def TestOnABareDisplayTheShowCoversTheScreenWithItsPictureCentred(s: TSession):
    s.Restart(WineDesktop=False)
    scr = PictureShow(s, "bare.scr", Bmp24(200, 100, RED))
    centre = (SCREEN_WIDTH // 2, SCREEN_HEIGHT // 2)
    process, shot = StartShowAndWait(s, scr, centre, RED, "bare")
    found = subprocess.run(["xdotool", "search", "--name", "Wine desktop"], env=s.Environment(),
                           capture_output=True, text=True, timeout=30)
    Check(found.stdout.strip() == "", "a Wine desktop window is on the display")
    CheckCoversTheScreen(s, process, shot)
    left, top = (SCREEN_WIDTH - 200) // 2, (SCREEN_HEIGHT - 100) // 2
    for x, y, colour in ((left, top, RED), (left + 199, top + 99, RED), (left - 1, top, BLUE),
                         (left + 200, top + 99, BLUE), (left, top - 1, BLUE), (left + 199, top + 100, BLUE)):
        Check(shot.Pixel(x, y) == colour, f"pixel {(x, y)} is {shot.Pixel(x, y)}, expected {colour}")
    Check(not s.FindWindows(process=process, Class="LumoraCover"), "a cover on a display of one monitor")
    s.Key("Escape")
    Check(process.WaitExit(30) == 0, "the show did not end on Esc")


def TestAt144DotsPerInchTheShowFillsTheScreenAndDrawsThePicturePixelForPixel(s: TSession):
    s.Restart(WineDesktop=False, LogPixels=144)
    display = DisplayQuery(s)
    Check(display[0]["dpi"] == 144, f"the system does not report 144 dots per inch: {display}")
    scr = PictureShow(s, "dpi.scr", PatternBmp())
    left, top = (SCREEN_WIDTH - 64) // 2, (SCREEN_HEIGHT - 48) // 2
    process, shot = StartShowAndWait(s, scr, (left + 1, top), PatternColour(1, 0), "dpi")
    CheckCoversTheScreen(s, process, shot)
    wrong = [(x, y) for y in range(48) for x in range(64) if shot.Pixel(left + x, top + y) != PatternColour(x, y)]
    Check(not wrong, f"{len(wrong)} pixels differ from the picture, first {wrong[:3]}")
    Check(shot.Pixel(left - 1, top) == BLUE and shot.Pixel(left + 64, top + 47) == BLUE, "the picture is larger")
    s.Key("Escape")
    Check(process.WaitExit(30) == 0, "the show did not end on Esc")


def ResourceData(pe: bytes, typeId: int) -> list:
    """The data of every resource of one type in a PE file: (name id, bytes)."""
    peOffset = struct.unpack_from("<I", pe, 0x3C)[0]
    Check(pe[peOffset:peOffset + 4] == b"PE\0\0", "not a PE file")
    sections, optionalSize = struct.unpack_from("<H12xH", pe, peOffset + 6)
    optional = peOffset + 24
    magic = struct.unpack_from("<H", pe, optional)[0]
    directories = optional + (112 if magic == 0x20B else 96)
    resourceRva = struct.unpack_from("<I", pe, directories + 2 * 8)[0]
    table = optional + optionalSize

    def FileOffset(rva: int) -> int:
        for i in range(sections):
            virtualSize, virtualAddress, rawSize, rawPointer = struct.unpack_from("<IIII", pe, table + i * 40 + 8)
            if virtualAddress <= rva < virtualAddress + max(virtualSize, rawSize):
                return rva - virtualAddress + rawPointer
        raise AssertionError(f"RVA {rva:#x} in no section")

    root = FileOffset(resourceRva)

    def Entries(directory: int):
        named, ids = struct.unpack_from("<HH", pe, root + directory + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", pe, root + directory + 16 + i * 8)
            yield name, target

    found = []
    for typeName, typeTarget in Entries(0):
        if typeName != typeId or not typeTarget & 0x80000000:
            continue
        for name, nameTarget in Entries(typeTarget & 0x7FFFFFFF):
            for _, languageTarget in Entries(nameTarget & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", pe, root + languageTarget)
                found.append((name, pe[FileOffset(rva):FileOffset(rva) + size]))
    return found


def TestTheBuiltScreenSaverDeclaresPerMonitorAwarenessAndCommonControls6(s: TSession):
    manifests = ResourceData(s.Config.Scr.read_bytes(), 24)
    Check([name for name, _ in manifests] == [1], f"expected one manifest, resource 1: {manifests}")
    root = ET.fromstring(manifests[0][1])
    ns = {"v1": "urn:schemas-microsoft-com:asm.v1", "v3": "urn:schemas-microsoft-com:asm.v3",
          "ws05": "http://schemas.microsoft.com/SMI/2005/WindowsSettings",
          "ws16": "http://schemas.microsoft.com/SMI/2016/WindowsSettings"}
    settings = root.find("v3:application/v3:windowsSettings", ns)
    Check(settings is not None, "the manifest has no windows settings")
    awareness = [a.strip() for a in settings.findtext("ws16:dpiAwareness", "", ns).split(",")]
    Check(awareness == ["PerMonitorV2", "PerMonitor"], f"dpiAwareness is {awareness}")
    Check(settings.findtext("ws05:dpiAware", "", ns).strip().lower() == "true/pm", "dpiAware is not true/pm")
    controls = [a.attrib for a in root.findall("v1:dependency/v1:dependentAssembly/v1:assemblyIdentity", ns)
                if a.get("name") == "Microsoft.Windows.Common-Controls"]
    Check(len(controls) == 1 and controls[0].get("version") == "6.0.0.0" and
          controls[0].get("publicKeyToken") == "6595b64144ccf1df", f"no common controls 6 dependency: {controls}")


def TestOnTwoMonitorsTheShowPlaysOnThePrimaryAndACoverDarkensTheOther(s: TSession):
    second = (1024, 0, 1824, 600)
    s.Restart(WineDesktop=False, UseXRandR=False, Heads=((SCREEN_WIDTH, SCREEN_HEIGHT, 0, 0), (800, 600, 1024, 0)))
    monitors = [d["monitor"] for d in DisplayQuery(s) if "monitor" in d]
    Check(monitors == [[0, 0, SCREEN_WIDTH, SCREEN_HEIGHT], list(second)], f"Wine reports the monitors {monitors}")
    scr = PictureShow(s, "two.scr", Bmp24(200, 100, RED))
    before = s.Screenshot("two-before").Pixel(1400, 300)
    process, _ = StartShowAndWait(s, scr, (SCREEN_WIDTH // 2, SCREEN_HEIGHT // 2), RED, "two-centre")
    inside = (second[0] + 10, second[1] + 10), (second[2] - 1, second[3] - 1), (1400, 300)
    shot = WaitUntil(lambda: (lambda sh: sh if all(sh.Pixel(*p) == (0, 0, 0) for p in inside) else None)(
        s.Screenshot("two")), 30, "the second monitor black")
    CheckCoversTheScreen(s, process, shot)
    form = s.WaitForWindow(process=process, Class="TMainFrm", Visible=True)
    cover = s.WaitForWindow(process=process, Class="LumoraCover", Visible=True)
    Check(cover.Rect == second and cover.Owner == form.Hwnd and cover.HasExStyle(WS_EX_TOPMOST) and
          cover.HasStyle(WS_POPUP) and cover.Style & WS_CAPTION == 0, f"the cover is {cover}")
    Check(before == (255, 255, 255), f"the second monitor showed {before} before the show, not the white root")
    # A movement on the second monitor ends the show, cover and all.
    mouse = Helper(s, "mouse-input", MOUSE_INPUT_SOURCE)
    for x, y in ((1400, 300), (1420, 320)):
        s.StartWindows(mouse, [str(x), str(y)], "mouse-input").WaitExit(30)
    Check(process.WaitExit(30) == 0, "a movement on the cover did not end the show")
    Check(not s.FindWindows(Class="LumoraCover"), "the cover outlived the show")
