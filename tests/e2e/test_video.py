"""Video items of the real lumora.scr: a packed show of picture, video, picture plays
the video (an uncompressed AVI written here) where the headless rules place it, cut to
its shape, as often as it says, then the next picture; nothing is left behind."""

import math
import struct
import time
from pathlib import Path

from lumora_e2e import SCREEN_HEIGHT, SCREEN_WIDTH, Bmp24, Check, TSession, WaitUntil

RED = (255, 0, 0)
BLUE = (0, 0, 255)
GREEN = (0, 255, 0)
YELLOW = (255, 255, 0)
MAGENTA = (255, 0, 255)


def Chunk(fourcc: bytes, data: bytes) -> bytes:
    return fourcc + struct.pack("<I", len(data)) + data + (b"\0" if len(data) % 2 else b"")


def List(kind: bytes, data: bytes) -> bytes:
    return Chunk(b"LIST", kind + data)


def Avi(width: int, height: int, fps: int, colours: list) -> bytes:
    """An uncompressed 32-bit AVI, one frame per colour (Wine draws 24-bit frames as if
    they had 32 bits a pixel)."""
    frames = [bytes((rgb[2], rgb[1], rgb[0], 0)) * width * height for rgb in colours]
    size = len(frames[0])
    n = len(frames)
    avih = struct.pack("<IIIIIIIIII16x", 1000000 // fps, size * fps, 0, 0x10, n, 0, 1, size, width, height)
    strh = struct.pack("<4s4sIHHIIIIIIIIhhhh", b"vids", b"DIB ", 0, 0, 0, 0, 1, fps, 0, n, size, 0xFFFFFFFF, 0,
                       0, 0, width, height)
    strf = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 32, 0, size, 0, 0, 0, 0)
    hdrl = List(b"hdrl", Chunk(b"avih", avih) + List(b"strl", Chunk(b"strh", strh) + Chunk(b"strf", strf)))
    movi = b"".join(Chunk(b"00db", f) for f in frames)
    index = b"".join(struct.pack("<4sIII", b"00db", 0x10, 4 + i * (8 + size), size) for i in range(n))
    body = b"AVI " + hdrl + List(b"movi", movi) + Chunk(b"idx1", index)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def EllipseShape(width: int, height: int) -> bytes:
    """Black outside an ellipse, white inside it (the video shows there)."""
    rows = []
    for y in range(height - 1, -1, -1):  # bottom-up
        row = bytearray()
        for x in range(width):
            dx, dy = (x + 0.5 - width / 2) / (width / 2), (y + 0.5 - height / 2) / (height / 2)
            row += b"\xff\xff\xff" if dx * dx + dy * dy < 1 else b"\0\0\0"
        row += b"\0" * ((4 - len(row) % 4) % 4)
        rows.append(bytes(row))
    pixels = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + pixels


def VideoShow(s: TSession, name: str) -> Path:
    entries = [Bmp24(200, 100, RED), Avi(160, 120, 10, [GREEN] * 15 + [YELLOW] * 15), EllipseShape(160, 120),
               Bmp24(200, 100, MAGENTA)]
    config = ""
    for _ in range(2):  # the positions are known once packed; the entries come first
        scr, refs = s.MakeShowScr(name, config, entries)
        (p1, s1), (pv, sv), (ps, ss), (p2, s2) = refs
        config = ("[AppInfo]\r\nPicCount=3\r\nSndCount=0\r\n[Settings]\r\nIsUseSplash=0\r\n"
                  "[Background]\r\nBgStyle=0\r\nBgSolidColor=00FF0000\r\n"
                  f"[Pic1]\r\nPicFileName=.bmp\r\nFilePos={p1}\r\nFileSize={s1}\r\nPicPos=1\r\n"
                  "ShowInStyle=0\r\nShowOutStyle=0\r\nIsPicFloat=0\r\nPicInterval=1\r\n"
                  f"[Pic2]\r\nPicFileName=.avi\r\nMediaStyle=1\r\nFilePos={pv}\r\nFileSize={sv}\r\nPicPos=1\r\n"
                  "PicSize=0\r\nIsClsBeforeNext=1\r\nRepeatTimes=2\r\n"
                  f"Shaped=1\r\nShapedFileName=.bmp\r\nShapedFilePos={ps}\r\nShapedFileSize={ss}\r\n"
                  f"[Pic3]\r\nPicFileName=.bmp\r\nFilePos={p2}\r\nFileSize={s2}\r\nPicPos=1\r\n"
                  "ShowInStyle=0\r\nShowOutStyle=0\r\nIsPicFloat=0\r\nPicInterval=30\r\n")
    return scr


def TempFiles(s: TSession) -> set:
    return {str(p) for p in (s.Prefix / "drive_c" / "users").glob("*/**/Temp/tmp*")}


def Near(a: tuple, b: tuple, tolerance: int = 24) -> bool:
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


def ColoursSeen(s: TSession, name: str, centre: tuple, names: dict, last: str, timeout: float, each=None) -> list:
    """Screenshots until the colour named last shows at centre, or timeout seconds: the
    names of the colours seen there, in order ("other" for none of names); each(shot,
    name) sees every screenshot."""
    seen, shot_no = [], 0
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline and (not seen or seen[-1] != last):
        shot = s.Screenshot(f"{name}-{shot_no % 4}")
        shot_no += 1
        colour = next((n for c, n in names.items() if Near(shot.Pixel(*centre), c)), "other")
        if each:
            each(shot, colour)
        if not seen or seen[-1] != colour:
            seen.append(colour)
    return seen


def CheckTheShapedVideoPlaysTwice(s: TSession, timeout: float) -> None:
    """VideoShow's video, at its native size in the centre of a full screen, plays its
    two rounds inside its ellipse, and the picture after it follows."""
    left, top = (SCREEN_WIDTH - 160) // 2, (SCREEN_HEIGHT - 120) // 2
    centre = (left + 80, top + 60)
    corner = (left + 4, top + 4)  # outside the ellipse: the background shows
    names = {RED: "red", GREEN: "green", YELLOW: "yellow", MAGENTA: "magenta", BLUE: "blue"}
    shapes = []

    def Each(shot, name):
        if name in ("green", "yellow"):
            shapes.append(shot.Pixel(*corner))
            # The colours cover the video's rectangle inside the shape, edge to edge.
            pixel = shot.Pixel(*centre)
            Check(Near(shot.Pixel(left + 80, top + 3), pixel) and Near(shot.Pixel(left + 3, top + 60), pixel),
                  f"the video does not fill its predicted rectangle at ({left}, {top})")

    seen = ColoursSeen(s, "video", centre, names, "magenta", timeout, Each)
    plays = [n for n in seen if n in ("green", "yellow", "magenta")]
    Check(plays[:5] == ["green", "yellow", "green", "yellow", "magenta"],
          f"colours at the video's centre, in order: {seen}")
    Check(shapes and all(Near(p, BLUE) for p in shapes), f"outside the shape: {shapes[:3]}")


def TestVideoPlaysTwiceInItsShapeBetweenTwoPictures(s: TSession):
    scr = VideoShow(s, "video.scr")
    before = TempFiles(s)
    s.ParkPointer()
    process = s.StartScr(scr, "/s")
    s.WaitForWindow(60, process, Title="Template", Visible=True)
    CheckTheShapedVideoPlaysTwice(s, 60)
    Check(process.Running(), "the show ended by itself")
    s.Xdotool("key", "Escape")
    Check(process.WaitExit(30) == 0, "the show did not end on Esc")
    left_behind = TempFiles(s) - before
    Check(not left_behind, f"temporary files left behind: {sorted(left_behind)}")
