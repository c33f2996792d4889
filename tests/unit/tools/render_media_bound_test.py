#!/usr/bin/env python3
"""lumora-render show of a video whose header declares 100000 x 100000 makes only what
the screen shows of it: it must draw the item within a small fraction of the memory
that two bitmaps of 32768 x 32768 (8.6 GB) would take."""
import os, resource, struct, subprocess, sys, tempfile

render = sys.argv[1]
work = tempfile.mkdtemp(prefix="render-media-test-")
show = os.path.join(work, "show")
os.makedirs(show)
# An AVI main header: 100 ms a frame, 10 frames, the declared size; no frames follow.
avih = struct.pack("<14I", 100000, 0, 0, 0, 10, 0, 1, 0, 100000, 100000, 0, 0, 0, 0)
open(os.path.join(show, "big.avi"), "wb").write(b"RIFF" + struct.pack("<I", 4 + 8 + len(avih)) + b"AVI avih" +
                                               struct.pack("<I", len(avih)) + avih)
open(os.path.join(show, "show.ini"), "w").write("[Pic1]\nPicFileName=big.avi\nMediaStyle=1\nPicSize=0\n")

sanitized = b"AddressSanitizer" in open(render, "rb").read()
limit = 2 << 30


def Limit():
    # The address space of the run (the sanitizers reserve theirs up front; they get an
    # allocation limit instead).
    if not sanitized:
        resource.setrlimit(resource.RLIMIT_AS, (limit, limit))


env = dict(os.environ, TMPDIR=work,
           ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":max_allocation_size_mb=1024:allocator_may_return_null=1")
run = subprocess.run([render, "show", show, "-o", os.path.join(work, "out.png"), "--screen", "1024x768"], env=env,
                     preexec_fn=Limit, capture_output=True, text=True, timeout=120)
peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss // 1024
if run.returncode != 0 or not os.path.isfile(os.path.join(work, "out.png")):
    print(f"FAIL: status {run.returncode}\n{run.stdout}{run.stderr}")
    sys.exit(1)
if peak > 1024:
    print(f"FAIL: {peak} MB at the peak")
    sys.exit(1)
subprocess.run(["rm", "-rf", work])
print(f"ok: {peak} MB at the peak")
