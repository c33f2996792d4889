"""Movie items of the real lumora.scr with the stand-in movie control of tests/fixtures:
a show of picture, movie, picture plays the movie where the headless rules place it, as
often as it says, then the next picture; a movie that allows clicks gets them, one that
does not never sees them; and a show that carries the control sets it up in a prefix
that lacks it, so that its next start plays the movie."""

import struct
from pathlib import Path

from lumora_e2e import SCREEN_HEIGHT, SCREEN_WIDTH, Bmp24, Check, TSession, WaitUntil
from test_video import ColoursSeen, Near

RED = (255, 0, 0)
BLUE = (0, 0, 255)
GREEN = (0, 255, 0)
YELLOW = (255, 255, 0)
MAGENTA = (255, 0, 255)
NAMES = {RED: "red", GREEN: "green", YELLOW: "yellow", MAGENTA: "magenta", BLUE: "blue"}
CLASS_KEY = r"HKCR\ShockwaveFlash.ShockwaveFlash\CLSID"


def Movie(width: int, height: int, frames: int) -> bytes:
    """The header of an uncompressed movie: the frame rectangle in twips (15-bit fields),
    the frame rate and the frame count; the stand-in control reads no more."""
    bits = format(15, "05b") + "".join(format(v, "015b") for v in (0, width * 20, 0, height * 20))
    bits += "0" * (-len(bits) % 8)
    body = int(bits, 2).to_bytes(len(bits) // 8, "big") + struct.pack("<HH", 25 << 8, frames)
    return b"FWS" + bytes([6]) + struct.pack("<I", 8 + len(body)) + body


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


def MovieItem(repeat: int, flashMouse: bool = False) -> tuple:
    # 50 frames of 40 ms: a second green, a second yellow.
    return (Movie(160, 120, 50), f"PicFileName=.swf\r\nMediaStyle=1\r\nPicSize=0\r\nIsClsBeforeNext=1\r\n"
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
    clicks, clicksName = InPrefix(s, "clicks.txt")
    for allowed in (True, False):
        name = f"click{int(allowed)}"
        scr = MovieShow(s, f"{name}.scr", [MovieItem(0, flashMouse=allowed), PictureItem(RED, 30)])
        # Only Esc ends the show: neither the click nor the pointer's movement may.
        scr.with_suffix(".ini").write_bytes(b"[AppConfig]\r\nHowToExit=8\r\n")
        clicks.write_bytes(b"")
        s.ParkPointer()
        process = s.StartScr(scr, "/s", env={"LUMORA_MOVIE_CLICKS": clicksName})
        s.WaitForWindow(60, process, Title="Template", Visible=True)
        WaitForMovie(s)
        s.MovePointer(*CENTRE)
        s.Xdotool("click", "1")
        if allowed:
            WaitUntil(lambda: clicks.read_bytes().strip() != b"", 30, "the click in the movie")
            Check(clicks.read_text().split() == ["click", "80", "60"], f"clicks: {clicks.read_text()!r}")
            WaitForMovie(s, 10)
            Check(process.Running(), "the click ended a show that ends on Esc only")
        # Esc comes after the click in the queue: once the show has ended, a click that
        # reached the movie would have been written.
        s.Xdotool("key", "Escape")
        Check(process.WaitExit(30) == 0, "the show did not end on Esc")
        if not allowed:
            Check(clicks.read_bytes() == b"", f"a movie that takes no clicks got {clicks.read_text()!r}")


def TestAShowCarryingTheControlSetsItUpAndPlaysTheMovieNextTime(s: TSession):
    Check(not Registered(s), "the fresh prefix already knows the control")
    installed = s.Prefix / "drive_c" / "windows" / "system32" / "swflash.ocx"
    Check(not installed.exists(), "the fresh prefix already has the control file")
    scr = MovieShow(s, "setup.scr", [MovieItem(0), PictureItem(RED, 30)],
                    settings="IsIncludeFlash=1\r\nFlashOcxFilePos={pos0}\r\nFlashOcxFileSize={size0}\r\n",
                    extra=(ControlFile(s).read_bytes(),))
    s.ParkPointer()
    first = s.StartScr(scr, "/s")
    s.WaitForWindow(60, first, Title="Template", Visible=True)
    WaitUntil(lambda: installed.is_file() and installed.read_bytes() == ControlFile(s).read_bytes(), 60,
              "the control file in the system folder")
    WaitUntil(lambda: Registered(s), 60, "the control registered")
    s.Xdotool("key", "Escape")
    Check(first.WaitExit(30) == 0, "the first start did not end on Esc")
    temp = {p for p in TempFiles(s) if p.lower().endswith(".ocx")}
    Check(not temp, f"temporary copies of the control left behind: {sorted(temp)}")

    s.ParkPointer()
    second = s.StartScr(scr, "/s")
    s.WaitForWindow(60, second, Title="Template", Visible=True)
    WaitForMovie(s)
    s.Xdotool("key", "Escape")
    Check(second.WaitExit(30) == 0, "the second start did not end on Esc")
