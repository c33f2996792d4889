"""A transition in a real window: lumora-render.exe shows a picture through style 1
(wipe from the left) under Wine, on worker threads; once the show-in has ended, the
screenshot matches the headless render of the same transition's end at probe pixels."""

import subprocess

from lumora_e2e import SCREEN_HEIGHT, SCREEN_WIDTH, Check, TSession, WaitUntil
from test_view import NativeRender, ReadPng, WriteQuadrantBmp


def TestStyleOneShowInEndsWhereTheHeadlessRenderPutsThePicture(s: TSession):
    WriteQuadrantBmp(s.RunDir / "picture.bmp", 400, 300)
    args = ["picture.bmp", "--client", f"{SCREEN_WIDTH}x{SCREEN_HEIGHT}", "--bg", "gradient",
            "--bg-from", "00802000", "--bg-to", "0000C0FF", "--bg-direction", "left", "--pic-pos", "center",
            "--style", "1", "--show-speed", "1"]
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

    # The picture's quadrants (centred at (312, 234)), its first and last columns, and
    # the gradient around it.
    probes = [(412, 309), (612, 309), (412, 459), (612, 459), (312, 234), (711, 533),
              (5, 400), (150, 700), (311, 300), (712, 300), (900, 100), (1019, 760)]

    def Matches():
        shot = s.Screenshot("effect")
        return all(shot.Pixel(x, y) == expected.Pixel(x, y) for x, y in probes) and shot

    try:
        WaitUntil(Matches, 60, "the window showing the picture where the headless render puts it")
    except AssertionError:
        shot = s.Screenshot("effect-mismatch")
        details = [f"({x}, {y}): window {shot.Pixel(x, y)}, headless {expected.Pixel(x, y)}" for x, y in probes
                   if shot.Pixel(x, y) != expected.Pixel(x, y)]
        Check(False, "probe pixels differ: " + "; ".join(details))
    s.CloseWindow(window.Hwnd)
    Check(process.WaitExit(20) == 0, "lumora-render ended with a nonzero code")
