"""Pictures of every older format family in one show: each plays under Wine as the
headless render (lumora-render) draws it, probed in its four quadrants."""

import struct
import subprocess
from pathlib import Path

from lumora_e2e import CONVERT, SCREEN_HEIGHT, SCREEN_WIDTH, Check, TSession, WaitUntil
from test_show import Close, RenderOracle, StartShow

WIDTH, HEIGHT = 200, 100


def Quadrants(seed: int):
    """Four colours, different for every item, so that no item matches another's render."""
    return [((seed * 40 + 30 * q) % 256, (90 + seed * 17 + 60 * q) % 256, (200 - seed * 13 - 50 * q) % 256)
            for q in range(4)]


def Colour(colours, x: int, y: int):
    return colours[(1 if x >= WIDTH // 2 else 0) + (2 if y >= HEIGHT // 2 else 0)]


def Ppm(colours) -> bytes:
    pixels = bytearray()
    for y in range(HEIGHT):
        for x in range(WIDTH):
            pixels += bytes(Colour(colours, x, y))
    return f"P6 {WIDTH} {HEIGHT} 255\n".encode() + bytes(pixels)


def Converted(s: TSession, colours, target: str, *options: str) -> bytes:
    source, out = s.RunDir / "source.ppm", s.RunDir / "converted"
    source.write_bytes(Ppm(colours))
    subprocess.run([CONVERT, str(source), *options, f"{target}:{out}"], check=True, timeout=60, capture_output=True)
    return out.read_bytes()


def PlainPpm(colours) -> bytes:
    rows = [" ".join("%d %d %d" % Colour(colours, x, y) for x in range(WIDTH)) for y in range(HEIGHT)]
    return f"P3\n# plain\n{WIDTH} {HEIGHT}\n255\n".encode() + "\n".join(rows).encode() + b"\n"


def Indexed(x: int, y: int) -> int:
    return (1 if x >= WIDTH // 2 else 0) + (2 if y >= HEIGHT // 2 else 0)


def Autodesk(colours) -> bytes:
    header = struct.pack("<HHHHHBBI", 0x9119, WIDTH, HEIGHT, 0, 0, 8, 0, WIDTH * HEIGHT).ljust(32, b"\0")
    palette = b"".join(bytes(c // 4 for c in colours[i]) if i < 4 else b"\0\0\0" for i in range(256))
    return header + palette + bytes(Indexed(x, y) for y in range(HEIGHT) for x in range(WIDTH))


def HaloCut(levels) -> bytes:
    """Grey (no palette file beside it in a show): literal runs of index levels."""
    out = struct.pack("<HHH", WIDTH, HEIGHT, 0)
    for y in range(HEIGHT):
        row = bytes(levels[Indexed(x, y)] for x in range(WIDTH))
        packed = b"".join(bytes([len(row[i:i + 100])]) + row[i:i + 100] for i in range(0, WIDTH, 100)) + b"\0"
        out += struct.pack("<H", len(packed)) + packed
    return out


def Rla(colours) -> bytes:
    header = bytearray(740)
    struct.pack_into(">8h", header, 0, 0, WIDTH - 1, 0, HEIGHT - 1, 0, WIDTH - 1, 0, HEIGHT - 1)
    struct.pack_into(">hhh", header, 20, 3, 0, 0)
    struct.pack_into(">h", header, 658, 8)
    lines = []
    for line in range(HEIGHT):
        y = HEIGHT - 1 - line
        data = b""
        for c in range(3):
            samples = bytes(Colour(colours, x, y)[c] for x in range(WIDTH))
            runs = b"".join(struct.pack("b", -len(samples[i:i + 100])) + samples[i:i + 100] for i in range(0, WIDTH, 100))
            data += struct.pack(">H", len(runs)) + runs
        lines.append(data)
    table, at = b"", 740 + 4 * HEIGHT
    for data in lines:
        table += struct.pack(">I", at)
        at += len(data)
    return bytes(header) + table + b"".join(lines)


def PaintShopPro(colours) -> bytes:
    """Version 7 layout, one visible raster layer, uncompressed."""
    def Block(block_id: int, fields, content: bytes = b"") -> bytes:
        chunk = b"" if fields is None else struct.pack("<I", len(fields) + 4) + fields
        return b"~BK\0" + struct.pack("<HI", block_id, len(chunk) + len(content)) + chunk + content

    def Channel(channel_type: int) -> bytes:
        plane = bytes(Colour(colours, x, y)[channel_type - 1] for y in range(HEIGHT) for x in range(WIDTH))
        return Block(5, struct.pack("<IIHH", len(plane), len(plane), 0, channel_type), plane)

    image = struct.pack("<ii", WIDTH, HEIGHT) + b"\0" * 9 + struct.pack("<HHHIBIiHI", 0, 24, 1, 1 << 24, 0, 0, 0, 1, 0)
    info = struct.pack("<H", 5) + b"Layer" + b"\1" + struct.pack("<8i", 0, 0, WIDTH, HEIGHT, 0, 0, WIDTH, HEIGHT)
    info += bytes([255, 0, 1, 0, 0]) + b"\0" * 37
    counts = struct.pack("<IHH", 8, 1, 3)
    layer = Block(4, info, counts + Channel(1) + Channel(2) + Channel(3))
    header = b"Paint Shop Pro Image File\n\x1a".ljust(32, b"\0") + struct.pack("<HH", 5, 0)
    return header + Block(0, image) + Block(3, None, layer)


def Eps(s: TSession, colours) -> bytes:
    tiff = Converted(s, colours, "tiff")
    postscript = b"%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 200 100\n"
    header = struct.pack("<IIIIIIIH", 0xC6D3D0C5, 30, len(postscript), 0, 0, 30 + len(postscript), len(tiff), 0xFFFF)
    return header + postscript + tiff


def TestEveryOlderFormatPlaysAsTheHeadlessRenderDrawsIt(s: TSession):
    makers = [
        (".tga", lambda c: Converted(s, c, "tga", "-compress", "RLE")),
        (".pcx", lambda c: Converted(s, c, "pcx")),
        (".psd", lambda c: Converted(s, c, "psd")),
        (".psp", PaintShopPro),
        (".sgi", lambda c: Converted(s, c, "sgi")),
        (".ppm", PlainPpm),
        (".pcd", lambda c: Converted(s, c, "pcd")),
        (".cel", Autodesk),
        (".cut", lambda c: HaloCut([c[q][0] for q in range(4)])),
        (".rla", Rla),
        (".eps", lambda c: Eps(s, c)),
    ]
    entries = [make(Quadrants(i)) for i, (_, make) in enumerate(makers)]

    def Config(refs) -> str:
        text = (f"[AppInfo]\r\nPicCount={len(makers)}\r\nSndCount=0\r\n[Settings]\r\nIsUseSplash=0\r\n"
                "[Background]\r\nBgStyle=0\r\nBgSolidColor=00000000\r\n")
        for i, ((extension, _), (pos, size)) in enumerate(zip(makers, refs)):
            text += (f"[Pic{i + 1}]\r\nPicFileName={extension}\r\nFilePos={pos}\r\nFileSize={size}\r\nPicPos=1\r\n"
                     "ShowInStyle=0\r\nShowOutStyle=0\r\nIsPicFloat=0\r\nPicInterval=3\r\n")
        return text

    # The positions are known only after packing; the entries come first, so pack twice.
    _, refs = s.MakeShowScr("formats.scr", "", entries)
    scr, _ = s.MakeShowScr("formats.scr", Config(refs), entries)
    cx, cy = SCREEN_WIDTH // 2, SCREEN_HEIGHT // 2
    probes = [(cx - 50, cy - 25), (cx + 50, cy - 25), (cx - 50, cy + 25), (cx + 50, cy + 25), (20, 20)]
    oracles = [RenderOracle(s, scr, i + 1, f"format{i}") for i in range(len(makers))]
    for i, oracle in enumerate(oracles):
        Check(oracle.Pixel(*probes[0]) != oracle.Pixel(20, 20), f"the render of {makers[i][0]} shows no picture")
    process = StartShow(s, scr)
    for i, (extension, _) in enumerate(makers):
        def Matches():
            shot = s.Screenshot(f"format{i}")
            return shot if all(Close(shot.Pixel(*p), oracles[i].Pixel(*p)) for p in probes) else None

        WaitUntil(Matches, 30, f"the {extension} picture as lumora-render draws it")
    s.Xdotool("key", "Escape")
    Check(process.WaitExit(30) == 0, "the show did not end on Esc")
