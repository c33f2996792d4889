#!/usr/bin/env python3
"""lumora-render of a JPEG shown at its own size decodes only what the client shows of
it: every render must equal, byte for byte, the render of the same picture decoded
whole (djpeg's pixels, given as a PPM), for each place, with a transition's mirrored
strips and a stamp on a larger screen."""
import os, subprocess, sys, tempfile

render = sys.argv[1]
work = tempfile.mkdtemp(prefix="render-crop-test-")


def Path(name):
    return os.path.join(work, name)


# Detail everywhere (a gradient and a noise), odd sides so the last blocks are partial.
W, H = 1283, 967
pixels = bytearray()
seed = 7
for y in range(H):
    for x in range(W):
        seed = (seed * 1103515245 + 12345) & 0xFFFFFFFF
        pixels += bytes((x * 255 // W, y * 255 // H, (seed >> 16) & 127))
with open(Path("source.ppm"), "wb") as f:
    f.write(b"P6\n%d %d\n255\n" % (W, H) + pixels)

pictures = []
for name, args in (("h2v2", []), ("h2v1", ["-sample", "2x1", "-restart", "3"])):
    jpg = Path(name + ".jpg")
    subprocess.run(["cjpeg", "-quality", "85", *args, "-outfile", jpg, Path("source.ppm")], check=True)
    subprocess.run(["djpeg", "-pnm", "-outfile", Path(name + ".ppm"), jpg], check=True)
    pictures.append(name)

cases = [
    ["--client", "480x270", "--pic-pos", "top-left"],
    ["--client", "333x211", "--pic-pos", "bottom-right"],
    ["--client", "333x211", "--pic-pos", "top-center", "--as-screen", "off", "--screen", "800x600", "--stamp"],
    ["--client", "500x300", "--pic-pos", "bottom-center", "--style", "11", "--step", "300"],
    ["--client", "500x300", "--pic-pos", "top-right", "--style", "13", "--step", "260", "--out"],
    ["--client", "480x270", "--pic-pos", "random", "--seed", "5"],
]
failures = 0
for name in pictures:
    for i, case in enumerate(cases):
        outputs = []
        for source in (name + ".jpg", name + ".ppm"):
            out = Path(f"{source}-{i}.png")
            run = subprocess.run([render, Path(source), "-o", out, *case], capture_output=True, text=True, timeout=120)
            if run.returncode != 0:
                print(f"FAIL: {source} {case}: status {run.returncode}\n{run.stderr}")
                sys.exit(1)
            outputs.append(open(out, "rb").read())
        if outputs[0] != outputs[1]:
            print(f"FAIL: {name} {case}: the render differs from the whole picture's")
            failures += 1
if failures:
    sys.exit(1)
subprocess.run(["rm", "-rf", work])
print(f"ok: {len(pictures) * len(cases)} renders")
