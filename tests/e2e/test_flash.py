"""Movie items of the real lumora.scr with the stand-in movie control of tests/fixtures:
a show of picture, movie, picture plays the movie where the headless rules place it, as
often as it says, then the next picture; a movie that allows clicks gets them, one that
does not never sees them. A show that carries the control in a prefix that lacks it
plays it from a control host process, installing and registering nothing; a host that
is killed ends its item, not the show; a compressed movie gets its real size; and the
32-bit host runs the 32-bit stand-in where 32-bit Wine is installed."""

import struct
import zlib
from pathlib import Path

from lumora_e2e import SCREEN_HEIGHT, SCREEN_WIDTH, Bmp24, Check, ESkipped, TSession, TWindow, WaitUntil
from test_video import ColoursSeen, Near

RED = (255, 0, 0)
BLUE = (0, 0, 255)
GREEN = (0, 255, 0)
YELLOW = (255, 255, 0)
MAGENTA = (255, 0, 255)
NAMES = {RED: "red", GREEN: "green", YELLOW: "yellow", MAGENTA: "magenta", BLUE: "blue"}
CLASS_KEY = r"HKCR\ShockwaveFlash.ShockwaveFlash\CLSID"


def Movie(width: int, height: int, frames: int, compressed: bool = False) -> bytes:
    """The header of a movie: the frame rectangle in twips (15-bit fields), the frame rate
    and the frame count; the stand-in control reads no more. Compressed: the body behind
    the 8-byte header is one zlib stream."""
    bits = format(15, "05b") + "".join(format(v, "015b") for v in (0, width * 20, 0, height * 20))
    bits += "0" * (-len(bits) % 8)
    body = int(bits, 2).to_bytes(len(bits) // 8, "big") + struct.pack("<HH", 25 << 8, frames)
    head = (b"CWS" if compressed else b"FWS") + bytes([6]) + struct.pack("<I", 8 + len(body))
    return head + (zlib.compress(body) if compressed else body)


def ControlFile(s: TSession) -> Path:
    return s.Config.Helpers / "lumora-movie-control.ocx"


def InPrefix(s: TSession, name: str) -> tuple:
    """A file of the prefix's C:\\lumora folder: its path here and its Windows name."""
    folder = s.Prefix / "drive_c" / "lumora"
    folder.mkdir(exist_ok=True)
    return folder / name, "C:\\lumora\\" + name


def Registered(s: TSession) -> bool:
    query = s.StartWindows(Path("reg"), ["query", CLASS_KEY], "reg query")
    return query.WaitExit(60) == 0


def RegisterControl(s: TSession) -> None:
    path, windowsName = InPrefix(s, "movie-control.ocx")
    path.write_bytes(ControlFile(s).read_bytes())
    Check(s.StartWindows(Path("regsvr32"), ["/s", windowsName], "regsvr32").WaitExit(60) == 0, "regsvr32 failed")
    Check(Registered(s), "the stand-in control is not registered")


def MovieShow(s: TSession, name: str, items: list, settings: str = "", extra: tuple = ()) -> Path:
    """A show of the given items, each (entry bytes, keys); entries in extra come after the
    items' ones, and {posN} and {sizeN} in settings stand for their references."""
    entries = [data for data, _ in items] + list(extra)
    config = ""
    for _ in range(2):  # the positions are known once packed; the entries come first
        scr, refs = s.MakeShowScr(name, config, entries)
        values = {}
        for i, (p, z) in enumerate(refs[len(items):]):
            values.update({f"pos{i}": p, f"size{i}": z})
        config = (f"[AppInfo]\r\nPicCount={len(items)}\r\nSndCount=0\r\n[Settings]\r\nIsUseSplash=0\r\n"
                  + settings.format(**values) + "[Background]\r\nBgStyle=0\r\nBgSolidColor=00FF0000\r\n")
        for i, ((_, keys), (p, z)) in enumerate(zip(items, refs)):
            config += f"[Pic{i + 1}]\r\nFilePos={p}\r\nFileSize={z}\r\nPicPos=1\r\n{keys}"
    return scr


def PictureItem(rgb: tuple, seconds: int) -> tuple:
    return (Bmp24(200, 100, rgb), "PicFileName=.bmp\r\nShowInStyle=0\r\nShowOutStyle=0\r\nIsPicFloat=0\r\n"
            f"PicInterval={seconds}\r\n")


def MovieItem(repeat: int, flashMouse: bool = False, movie: bytes = b"") -> tuple:
    # 50 frames of 40 ms: a second green, a second yellow.
    return (movie or Movie(160, 120, 50), f"PicFileName=.swf\r\nMediaStyle=1\r\nPicSize=0\r\nIsClsBeforeNext=1\r\n"
            f"RepeatTimes={repeat}\r\nIsFlashMouse={int(flashMouse)}\r\n")


def ColourAt(s: TSession, shot_name: str, x: int, y: int) -> str:
    pixel = s.Screenshot(shot_name).Pixel(x, y)
    return next((n for c, n in NAMES.items() if Near(pixel, c)), "other")


LEFT, TOP = (SCREEN_WIDTH - 160) // 2, (SCREEN_HEIGHT - 120) // 2
CENTRE = (LEFT + 80, TOP + 60)


def WaitForMovie(s: TSession, timeout: float = 60) -> None:
    WaitUntil(lambda: ColourAt(s, "wait", *CENTRE) in ("green", "yellow"), timeout, "the movie on the screen")


def TempFiles(s: TSession) -> set:
    return {str(p) for p in (s.Prefix / "drive_c" / "users").glob("*/**/Temp/tmp*")}


def TestAMoviePlaysTwiceAtItsPlaceBetweenTwoPictures(s: TSession):
    RegisterControl(s)
    log, logName = InPrefix(s, "movie.log")
    scr = MovieShow(s, "movie.scr", [PictureItem(RED, 1), MovieItem(2), PictureItem(MAGENTA, 30)])
    before = TempFiles(s)
    s.ParkPointer()
    process = s.StartScr(scr, "/s", env={"LUMORA_MOVIE_LOG": logName})
    s.WaitForWindow(60, process, Title="Template", Visible=True)

    def Each(shot, name):
        if name in ("green", "yellow"):
            # The colour covers the predicted rectangle edge to edge, and no more.
            pixel = shot.Pixel(*CENTRE)
            inside = [shot.Pixel(LEFT + 2, TOP + 2), shot.Pixel(LEFT + 157, TOP + 117)]
            outside = [shot.Pixel(LEFT - 3, TOP + 60), shot.Pixel(LEFT + 163, TOP + 60), shot.Pixel(LEFT + 80, TOP - 3)]
            Check(all(Near(p, pixel) for p in inside) and all(Near(p, BLUE) for p in outside),
                  f"the movie is not at ({LEFT}, {TOP}) 160 x 120: inside {inside}, outside {outside}")

    seen = ColoursSeen(s, "movie", CENTRE, NAMES, "magenta", 60, Each)
    plays = [n for n in seen if n in ("red", "green", "yellow", "magenta")]
    # The first picture may be gone before the first screenshot of a busy machine.
    if plays[:1] == ["red"]:
        plays = plays[1:]
    Check(plays[:5] == ["green", "yellow", "green", "yellow", "magenta"],
          f"colours at the movie's centre, in order: {seen}")
    Check(process.Running(), "the show ended by itself")
    s.Xdotool("key", "Escape")
    Check(process.WaitExit(30) == 0, "the show did not end on Esc")
    left_behind = TempFiles(s) - before
    Check(not left_behind, f"temporary files left behind: {sorted(left_behind)}")
    calls = log.read_text().splitlines()
    movie = next((c for c in calls if c.startswith("Movie=C:")), "")
    Check(movie.lower().endswith(".swf") and "\\tmp" in movie.lower(), f"the movie's file: {movie!r}")
    want = ["ScaleMode=2", "StopPlay", "Loop=0", movie, "Rewind", "FrameNum=0", "Play", "Rewind", "FrameNum=0", "Play"]
    Check(calls[:len(want)] == want, f"the control was told {calls}")
    Check("Movie= " in calls[len(want):], f"the movie was not unloaded: {calls}")


def TestAMovieGetsLeftClicksOnlyWhenItAllowsThem(s: TSession):
    RegisterControl(s)
    Clicks(s, lambda name, items: MovieShow(s, name, items), WaitForMovie)


def TestTheShowsOwnControlGetsLeftClicksOnlyWhenItAllows(s: TSession):
    Clicks(s, lambda name, items: OwnControlShow(s, name, items), lambda s, timeout=60: HostWindow(s, timeout))


def Clicks(s: TSession, show, waitForMovie) -> None:
    clicks, clicksName = InPrefix(s, "clicks.txt")
    for allowed in (True, False):
        name = f"click{int(allowed)}"
        scr = show(f"{name}.scr", [MovieItem(0, flashMouse=allowed), PictureItem(RED, 30)])
        # Only Esc ends the show: neither the click nor the pointer's movement may.
        scr.with_suffix(".ini").write_bytes(b"[AppConfig]\r\nHowToExit=8\r\n")
        clicks.write_bytes(b"")
        s.ParkPointer()
        process = s.StartScr(scr, "/s", env={"LUMORA_MOVIE_CLICKS": clicksName})
        s.WaitForWindow(60, process, Title="Template", Visible=True)
        waitForMovie(s)
        s.MovePointer(*CENTRE)
        s.Xdotool("click", "1")
        if allowed:
            WaitUntil(lambda: clicks.read_bytes().strip() != b"", 30, "the click in the movie")
            Check(clicks.read_text().split() == ["click", "80", "60"], f"clicks: {clicks.read_text()!r}")
            waitForMovie(s, 10)
            Check(process.Running(), "the click ended a show that ends on Esc only")
        # Esc comes after the click in the queue: once the show has ended, a click that
        # reached the movie would have been written.
        s.Xdotool("key", "Escape")
        Check(process.WaitExit(30) == 0, "the show did not end on Esc")
        if not allowed:
            Check(clicks.read_bytes() == b"", f"a movie that takes no clicks got {clicks.read_text()!r}")


HOST_CLASS = "LumoraControlHost"
CLASS_ID_KEY = r"HKCR\CLSID\{D27CDB6E-AE6D-11CF-96B8-444553540000}"


def OwnControlShow(s: TSession, name: str, items: list, control: Path = None) -> Path:
    """A show whose payload carries the stand-in control (64-bit unless told)."""
    return MovieShow(s, name, items,
                     settings="IsIncludeFlash=1\r\nFlashOcxFilePos={pos0}\r\nFlashOcxFileSize={size0}\r\n",
                     extra=((control or ControlFile(s)).read_bytes(),))


def HostWindow(s: TSession, timeout: float = 60) -> TWindow:
    """The visible window of the control host, the movie's place on the screen."""
    return s.WaitForWindow(timeout, Class=HOST_CLASS, Visible=True)


def SystemFolder(s: TSession) -> set:
    return {p.name.lower() for p in (s.Prefix / "drive_c" / "windows" / "system32").iterdir()}


def KeyExists(s: TSession, key: str) -> bool:
    return s.StartWindows(Path("reg"), ["query", key], "reg query").WaitExit(60) == 0


def PlaysTwiceFromItsOwnControl(s: TSession, control: Path, name: str) -> None:
    log, logName = InPrefix(s, "movie.log")
    log.write_bytes(b"")
    Check(not KeyExists(s, CLASS_KEY) and not KeyExists(s, CLASS_ID_KEY), "the fresh prefix already knows the control")
    system, before = SystemFolder(s), TempFiles(s)
    scr = OwnControlShow(s, name, [PictureItem(RED, 1), MovieItem(2), PictureItem(MAGENTA, 30)], control)
    s.ParkPointer()
    process = s.StartScr(scr, "/s", env={"LUMORA_MOVIE_LOG": logName})
    s.WaitForWindow(60, process, Title="Template", Visible=True)
    host = HostWindow(s)
    Check(host.Rect == (LEFT, TOP, LEFT + 160, TOP + 120), f"the movie's window is at {host.Rect}")
    parent = [w for w in s.Windows() if w.Hwnd == host.Parent]
    Check(parent and parent[0].Exe.lower() == scr.name.lower() and host.Exe.lower() != scr.name.lower(),
          f"the movie's window is not a child of the show's panel in a process of its own: {host}, {parent}")
    WaitUntil(lambda: ColourAt(s, "next", *CENTRE) == "magenta", 60, "the picture after the movie")
    Check(process.Running(), "the show ended by itself")
    s.Xdotool("key", "Escape")
    Check(process.WaitExit(30) == 0, "the show did not end on Esc")
    calls = log.read_text().splitlines()
    movie = next((c for c in calls if c.startswith("Movie=C:")), "")
    want = ["ScaleMode=2", "StopPlay", "Loop=0", movie, "Rewind", "FrameNum=0", "Play", "Rewind", "FrameNum=0", "Play"]
    Check(movie.lower().endswith(".swf") and calls[:len(want)] == want, f"the control was told {calls}")
    WaitUntil(lambda: not (TempFiles(s) - before), 30, "no temporary file left (movie, control, host program)")
    Check(SystemFolder(s) == system, f"the system folder changed: {sorted(SystemFolder(s) ^ system)}")
    Check(not KeyExists(s, CLASS_KEY) and not KeyExists(s, CLASS_ID_KEY), "the control was registered")


def TestTheShowsOwnControlPlaysInAHostProcessWithNothingInstalled(s: TSession):
    PlaysTwiceFromItsOwnControl(s, ControlFile(s), "own.scr")


def TestKillingTheControlHostEndsTheItemNotTheShow(s: TSession):
    scr = OwnControlShow(s, "kill.scr", [MovieItem(0), PictureItem(MAGENTA, 30)])
    before = TempFiles(s)
    s.ParkPointer()
    process = s.StartScr(scr, "/s")
    s.WaitForWindow(60, process, Title="Template", Visible=True)
    host = HostWindow(s)
    # Wine's taskkill has been seen to end with an error and no word said (one run in
    # many): try again while the host's window stands.
    codes = []
    while len(codes) < 3 and s.FindWindows(Class=HOST_CLASS, Pid=host.Pid):
        codes.append(s.StartWindows(Path("taskkill"), ["/F", "/PID", str(host.Pid)], "taskkill").WaitExit(60))
        if codes[-1] == 0:
            break
    Check(0 in codes or not s.FindWindows(Class=HOST_CLASS, Pid=host.Pid), f"taskkill failed: exit codes {codes}")
    WaitUntil(lambda: ColourAt(s, "next", *CENTRE) == "magenta", 30, "the next item after the host died")
    Check(process.Running(), "the show ended with its control host")
    s.Xdotool("key", "Escape")
    Check(process.WaitExit(30) == 0, "the show did not end on Esc")
    WaitUntil(lambda: not (TempFiles(s) - before), 30, "no temporary file left")


def TestACompressedMovieGetsItsRealSize(s: TSession):
    movie = Movie(320, 200, 50, compressed=True)
    scr = OwnControlShow(s, "cws.scr", [MovieItem(0, movie=movie), PictureItem(RED, 30)])
    s.ParkPointer()
    process = s.StartScr(scr, "/s")
    s.WaitForWindow(60, process, Title="Template", Visible=True)
    host = HostWindow(s)
    left, top = (SCREEN_WIDTH - 320) // 2, (SCREEN_HEIGHT - 200) // 2
    Check(host.Rect == (left, top, left + 320, top + 200), f"the compressed movie is at {host.Rect}")
    s.Xdotool("key", "Escape")
    Check(process.WaitExit(30) == 0, "the show did not end on Esc")


def TestThe32BitHostPlaysThe32BitControl(s: TSession):
    if not Path("/usr/lib/wine/wine").is_file():
        raise ESkipped("32-bit Wine (Debian's wine32 from the i386 architecture) is not installed on this machine")
    control = s.Config.Helpers.parent / "x86" / "e2e" / "lumora-movie-control.ocx"
    Check(control.is_file(), f"the 32-bit stand-in control is missing: {control}")
    PlaysTwiceFromItsOwnControl(s, control, "own32.scr")
