"""A transition in a real window: lumora-render.exe shows a picture through style 1
(wipe from the left) under Wine, on worker threads; once the show-in has ended, the
screenshot matches the headless render of the same transition's end at probe pixels."""

from lumora_e2e import SCREEN_HEIGHT, SCREEN_WIDTH, TSession
from test_view import CheckWindowMatchesHeadlessRender, WriteQuadrantBmp


def TestStyleOneShowInEndsWhereTheHeadlessRenderPutsThePicture(s: TSession):
    WriteQuadrantBmp(s.RunDir / "picture.bmp", 400, 300)
    args = ["picture.bmp", "--client", f"{SCREEN_WIDTH}x{SCREEN_HEIGHT}", "--bg", "gradient",
            "--bg-from", "00802000", "--bg-to", "0000C0FF", "--bg-direction", "left", "--pic-pos", "center",
            "--style", "1", "--show-speed", "1"]
    CheckWindowMatchesHeadlessRender(s, args, "effect", 60)
