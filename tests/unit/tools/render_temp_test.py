#!/usr/bin/env python3
"""lumora-render leaves no temporary folder behind: a run ended by a signal removes its
own, and a run removes the folders of runs that were killed outright."""
import os, signal, struct, subprocess, sys, tempfile, time

render = sys.argv[1]
work = tempfile.mkdtemp(prefix="render-temp-test-")
env = dict(os.environ, TMPDIR=os.path.join(work, "tmp"))
os.makedirs(env["TMPDIR"])
show = os.path.join(work, "show")
os.makedirs(show)
rows = b"".join(b"\x00\x00\xff" * 4 for _ in range(4))
bmp = b"BM" + struct.pack("<IHHI", 54 + len(rows), 0, 0, 54) + struct.pack("<IiiHHIIiiII", 40, 4, 4, 1, 24, 0, len(rows), 0, 0, 0, 0) + rows
open(os.path.join(show, "a.bmp"), "wb").write(bmp)
items = 20000
with open(os.path.join(show, "show.ini"), "w") as ini:
    for n in range(1, items + 1):
        ini.write(f"[Pic{n}]\nPicFileName=a.bmp\nPicInterval=1\n")

def fail(message):
    print("FAIL:", message)
    sys.exit(1)

# A folder of a run that no longer exists, as a killed run leaves it.
dead = subprocess.Popen(["true"])
dead.wait()
stale = os.path.join(env["TMPDIR"], f"lumora-render-{dead.pid}")
os.makedirs(stale)
open(os.path.join(stale, "tmp1.png"), "wb").write(b"x")
keep = os.path.join(env["TMPDIR"], "lumora-render-notapid")
os.makedirs(keep)

p = subprocess.Popen([render, "show", show, "-o", os.path.join(work, "out.png"), "--item", str(items - 1)], env=env)
own = os.path.join(env["TMPDIR"], f"lumora-render-{p.pid}")
deadline = time.monotonic() + 60
while not os.path.isdir(own) and p.poll() is None and time.monotonic() < deadline:
    time.sleep(0.01)
if p.poll() is not None:
    fail(f"the run ended before it could be interrupted (status {p.returncode})")
p.send_signal(signal.SIGTERM)
status = p.wait(60)
if status != -signal.SIGTERM:
    fail(f"status {status}, expected the signal's")
if os.path.exists(own):
    fail(f"the interrupted run left {os.listdir(own)}")
if os.path.exists(stale):
    fail("the folder of a run that is gone was not removed")
if not os.path.isdir(keep):
    fail("a folder that is not a run's was removed")
subprocess.run(["rm", "-rf", work])
print("ok")
