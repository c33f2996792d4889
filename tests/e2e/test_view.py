"""The picture view in a real window: lumora-render.exe shows a gradient background, a
centred picture and a caption under Wine, and the screenshot matches the headless
render of the same state (the native lumora-render) at probe pixels away from the text;
a caption's glyphs are whole at its edges in the faces Wine substitutes."""

import os
import struct
import subprocess
from pathlib import Path

from lumora_e2e import CONVERT, SCREEN_HEIGHT, SCREEN_WIDTH, Bmp24, Check, TScreenshot, TSession, WaitUntil

# Quadrant colours of the picture (red, green, blue), as a BMP stores them.
QUADRANTS = ((200, 30, 30), (30, 200, 30), (30, 30, 200), (220, 220, 40))


def WriteQuadrantBmp(path: Path, width: int, height: int) -> None:
    """A 24-bit bottom-up BMP whose four quadrants have the QUADRANTS colours."""
    rowBytes = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = QUADRANTS[(1 if x >= width // 2 else 0) + (2 if y >= height // 2 else 0)]
            row += bytes((b, g, r))
        row += b"\0" * (rowBytes - len(row))
        rows.append(bytes(row))
    pixels = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    path.write_bytes(header + info + pixels)


def ReadPng(session: TSession, png: Path) -> TScreenshot:
    ppm = png.with_suffix(".ppm")
    subprocess.run([CONVERT, str(png), "-depth", "8", str(ppm)], check=True, timeout=60, capture_output=True)
    return TScreenshot(ppm)


def NativeRender(session: TSession) -> Path:
    explicit = os.environ.get("LUMORA_RENDER")
    if explicit:
        return Path(explicit)
    # The harness works in build/native/tests/e2e; the tool lies in build/native.
    return session.Config.WorkDir.parent.parent / "lumora-render"


# Probes: the picture's quadrants (centred at (312, 234)), its edges, and the gradient
# around it; none near a caption at the top centre.
PROBES = [(412, 309), (612, 309), (412, 459), (612, 459), (312, 234), (711, 533),
          (5, 400), (150, 700), (311, 300), (712, 300), (900, 100), (1019, 760)]


def CheckWindowMatchesHeadlessRender(s: TSession, args: list, name: str, timeout: float) -> None:
    """Renders args headless with the native lumora-render, shows the same state in a
    real window with lumora-render.exe, and waits until the screenshot matches at PROBES."""
    native = NativeRender(s)
    Check(native.is_file(), f"the native lumora-render is missing: {native}")
    subprocess.run([str(native), *args, "-o", "expected.png"], cwd=s.RunDir, check=True, timeout=120,
                   capture_output=True)
    expected = ReadPng(s, s.RunDir / "expected.png")

    renderExe = s.Config.Scr.parent / "lumora-render.exe"
    Check(renderExe.is_file(), f"the Windows lumora-render is missing: {renderExe}")
    s.ParkPointer()
    process = s.StartWindows(renderExe, [*args, "--window", "--seconds", "120"], "lumora-render")
    window = s.WaitForWindow(Title="lumora-render", Visible=True, process=process)
    Check(window.Client == (SCREEN_WIDTH, SCREEN_HEIGHT), f"client of the view window: {window}")

    def Matches():
        shot = s.Screenshot(name)
        return all(shot.Pixel(x, y) == expected.Pixel(x, y) for x, y in PROBES) and shot

    try:
        WaitUntil(Matches, timeout, "the window showing the headless render's pixels")
    except AssertionError:
        shot = s.Screenshot(name + "-mismatch")
        details = [f"({x}, {y}): window {shot.Pixel(x, y)}, headless {expected.Pixel(x, y)}" for x, y in PROBES
                   if shot.Pixel(x, y) != expected.Pixel(x, y)]
        Check(False, "probe pixels differ: " + "; ".join(details))
    s.CloseWindow(window.Hwnd)
    Check(process.WaitExit(20) == 0, "lumora-render ended with a nonzero code")


def TestViewWindowMatchesTheHeadlessRender(s: TSession):
    WriteQuadrantBmp(s.RunDir / "picture.bmp", 400, 300)
    args = ["picture.bmp", "--client", f"{SCREEN_WIDTH}x{SCREEN_HEIGHT}", "--bg", "gradient",
            "--bg-from", "00802000", "--bg-to", "0000C0FF", "--bg-direction", "left", "--pic-pos", "center",
            "--caption", "Lumora|view", "--cap-font", "Arial", "--cap-height", "-24", "--cap-color", "00FFFFFF"]
    CheckWindowMatchesHeadlessRender(s, args, "view", 30)



def CaptionArgs(caption: str, face: str, height: str, style: list) -> list:
    return ["dot.bmp", "--client", f"{SCREEN_WIDTH}x{SCREEN_HEIGHT}", "--bg", "solid", "--bg-color", "00000000",
            "--pic-pos", "top-left", "--caption", caption, "--cap-font", face, "--cap-height", height,
            "--cap-color", "00FFFFFF", "--cap-pos", "center", *style]


def CaptionInk(s: TSession, name: str, caption: str, face: str, height: str, style: list) -> frozenset:
    """The caption's light pixels on a black screen, relative to their bounding box."""
    renderExe = s.Config.Scr.parent / "lumora-render.exe"
    Check(renderExe.is_file(), f"the Windows lumora-render is missing: {renderExe}")
    args = CaptionArgs(caption, face, height, style)
    process = s.StartWindows(renderExe, [*args, "--window", "--seconds", "120"], "lumora-render")
    window = s.WaitForWindow(Title="lumora-render", Visible=True, process=process)

    def Ink():
        shot = s.Screenshot(name)
        ink = [(x, y) for y in range(shot.Height) for x in range(shot.Width) if shot.Pixel(x, y)[0] > 96]
        # A window not painted yet is white all over: no caption there.
        return ink if ink and len(ink) < shot.Width * shot.Height // 2 else None

    ink = WaitUntil(Ink, 30, f"{name}: the caption on screen")
    s.CloseWindow(window.Hwnd)
    Check(process.WaitExit(20) == 0, "lumora-render ended with a nonzero code")
    left, top = min(x for x, _ in ink), min(y for _, y in ink)
    return frozenset((x - left, y - top) for x, y in ink)


def TestCaptionGlyphsAreWholeAtTheCaptionsEdges(s: TSession):
    # A line's first glyph reaching left of its start, its last one past its advance and
    # its tails below the face's descent lie at the caption's edges, where a caption
    # sized by metrics the face does not keep cuts them; the same text with blanks and
    # an empty line around it has room on every side and is the whole reference.
    (s.RunDir / "dot.bmp").write_bytes(Bmp24(2, 2, (0, 0, 0)))
    s.ParkPointer()
    faces = [("Arial", "-56", ["--cap-bold"]), ("Times New Roman", "-48", ["--cap-italic"]),
             ("Courier New", "-44", ["--cap-italic"]), ("Tahoma", "-40", ["--cap-bold", "--cap-italic"])]
    for face, height, style in faces:
        name = "edges-" + face.replace(" ", "-").lower()
        bare = CaptionInk(s, name, "jgpqyf", face, height, style)
        roomy = CaptionInk(s, name + "-roomy", "  jgpqyf  |  ", face, height, style)
        Check(bare == roomy, f"{face}: {len(roomy - bare)} pixels of the glyphs are cut at the caption's edges")


def TestCaptionWidthIsTheSameNativelyAndUnderWine(s: TSession):
    # Natively the faces a show names are drawn in the metric-compatible free faces that
    # the Wine prefix puts in their place, so a caption keeps its width and line breaks.
    (s.RunDir / "dot.bmp").write_bytes(Bmp24(2, 2, (0, 0, 0)))
    s.ParkPointer()
    native = NativeRender(s)
    Check(native.is_file(), f"the native lumora-render is missing: {native}")
    caption = "Portraits stand upright in packed shows"
    words = len(caption.split())
    for face in ["Arial", "Times New Roman", "Courier New"]:
        name = "width-" + face.replace(" ", "-").lower()
        wine = CaptionInk(s, name, caption, face, "-32", [])
        subprocess.run([str(native), *CaptionArgs(caption, face, "-32", []), "-o", name + ".png"], cwd=s.RunDir,
                       check=True, timeout=120, capture_output=True)
        shot = ReadPng(s, s.RunDir / (name + ".png"))
        xs = [x for y in range(shot.Height) for x in range(shot.Width) if shot.Pixel(x, y)[0] > 96]
        Check(bool(xs), f"{face}: no caption in the native render")
        nativeWidth = max(xs) - min(xs) + 1
        wineWidth = max(x for x, _ in wine) + 1
        Check(abs(nativeWidth - wineWidth) <= words,
              f"{face}: the caption is {nativeWidth} pixels wide natively and {wineWidth} under Wine")
