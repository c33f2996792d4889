"""End-to-end harness: the real lumora.scr under Wine on a private Xvfb display.

A TSession owns everything one test needs and takes it down again: a copy of the
cached Wine prefix, an Xvfb display of its own, its own wineserver, and every
process it starts. Tests receive a session and use its helpers:

    scr = s.MakeScr("show.scr", gate=1)           # lumora.scr plus a 16-byte trailer
    p = s.StartScr(scr, "/s")                      # start it with arguments
    form = s.WaitForWindow(Title="Template", Visible=True, Process=p)
    shot = s.Screenshot("show")                    # the whole display, pixel probe
    assert shot.Pixel(10, 10) == (0, 0, 0)
    s.CloseWindow(form.Hwnd); p.WaitExit(10)

Only the Python standard library is used (Debian's python3).
"""

from __future__ import annotations

import dataclasses
import fcntl
import json
import os
import shutil
import signal
import struct
import subprocess
import time
import zlib
from pathlib import Path
from typing import Callable, Iterable, Optional, Sequence

# Window styles the tests look at.
WS_CHILD = 0x40000000
WS_VISIBLE = 0x10000000
WS_DISABLED = 0x08000000
WS_CAPTION = 0x00C00000
WS_BORDER = 0x00800000
WS_THICKFRAME = 0x00040000
WS_POPUP = 0x80000000
WS_MAXIMIZE = 0x01000000
WS_EX_TOPMOST = 0x00000008
WS_EX_TOOLWINDOW = 0x00000080
WS_EX_WINDOWEDGE = 0x00000100

FULL_SCREEN_TITLE = "Lumora Screen Saver Template"
PREVIEW_TITLE = "Preview Lumora Screen Saver Template"

SCREEN_WIDTH = 1024
SCREEN_HEIGHT = 768

# Wine's own processes; windows they make are not the player's.
WINE_SYSTEM_PROCESSES = {
    "explorer.exe", "services.exe", "winedevice.exe", "plugplay.exe", "svchost.exe", "rpcss.exe",
    "conhost.exe", "wineboot.exe", "winemenubuilder.exe", "start.exe", "lumora-e2e-probe.exe",
}

# Bump when the prefix recipe changes, so that cached prefixes are made again.
PREFIX_RECIPE = "5"

# Common Windows faces and the free fonts of the same metrics that stand in for them.
WINE_FONT_REPLACEMENTS = [
    ("Arial", "Liberation Sans"), ("Helvetica", "Liberation Sans"), ("Arial Narrow", "Liberation Sans Narrow"),
    ("Times New Roman", "Liberation Serif"), ("Times", "Liberation Serif"),
    ("Courier New", "Liberation Mono"), ("Courier", "Liberation Mono"),
    ("Calibri", "Carlito"), ("Cambria", "Caladea"),
]

# Registry settings of the cached prefix.
PREFIX_SETTINGS = [
    # Wine's own desktop window of the display's size: Wine places, maximizes and
    # activates windows itself, as Windows does, with no X window manager present.
    (r"HKCU\Software\Wine\Explorer", "Desktop", "REG_SZ", "Default"),
    (r"HKCU\Software\Wine\Explorer\Desktops", "Default", "REG_SZ", f"{SCREEN_WIDTH}x{SCREEN_HEIGHT}"),
    (r"HKCU\Software\Wine\Explorer\Desktops\Default", "EnableShell", "REG_DWORD", "0"),
    # A white desktop, so that whatever the player paints stands out.
    (r"HKCU\Control Panel\Colors", "Background", "REG_SZ", "255 255 255"),
    # A crashing program ends instead of waiting behind a debugger dialog.
    (r"HKCU\Software\Wine\WineDbg", "ShowCrashDialog", "REG_DWORD", "0"),
] + [
    # Captions in the faces shows name, drawn by the metric-compatible free fonts that
    # scripts/bootstrap installs, so that text has the intended shapes and widths.
    (r"HKCU\Software\Wine\Fonts\Replacements", face, "REG_SZ", free)
    for face, free in WINE_FONT_REPLACEMENTS
]

# File types of a prefix that nothing writes to: shared with the cached prefix by hard
# links instead of copies (a prefix is about 700 MB).
SHARED_SUFFIXES = {".dll", ".exe", ".drv", ".sys", ".ocx", ".cpl", ".acm", ".tlb", ".ax", ".ds", ".nls",
                   ".ttf", ".fon", ".mui", ".msstyles", ".com", ".vxd", ".tsp", ".mof", ".sfd"}


class EE2EError(AssertionError):
    """A failed expectation or a harness problem, with a message that says which."""


class ESkipped(Exception):
    """A case that this machine cannot run, with the reason (CTest reports it skipped)."""


def Check(condition: bool, message: str) -> None:
    if not condition:
        raise EE2EError(message)


def WaitUntil(predicate: Callable[[], object], timeout: float, what: str, interval: float = 0.1):
    """Polls an outside condition (a process, a window) until it holds or the time is up."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise EE2EError(f"timed out after {timeout:g} s waiting for {what}")
        time.sleep(interval)


@dataclasses.dataclass
class TConfig:
    Scr: Path          # the Windows build's lumora.scr
    Helpers: Path      # folder of lumora-e2e-probe.exe and lumora-e2e-window.exe
    WorkDir: Path      # where the cached prefix and the test runs live

    @property
    def Template(self) -> Path:
        return self.WorkDir / "wine-prefix"

    @property
    def Probe(self) -> Path:
        return self.Helpers / "lumora-e2e-probe.exe"

    @property
    def StandInProgram(self) -> Path:
        return self.Helpers / "lumora-e2e-window.exe"

    def CheckInputs(self) -> None:
        for path, what in ((self.Scr, "lumora.scr"), (self.Probe, "the window probe"),
                           (self.StandInProgram, "the stand-in window")):
            if not path.is_file():
                raise EE2EError(f"{what} is missing: {path} -- build the Windows preset first "
                                "(cmake --preset windows && cmake --build --preset windows)")


@dataclasses.dataclass
class TDisplayOptions:
    """How a session's display looks to Wine. The default is Wine's own desktop window on
    one 1024x768 screen; Restart(...) changes it for one test."""
    WineDesktop: bool = True      # False: a bare X display, nothing places or maximizes windows
    Screens: tuple = ((SCREEN_WIDTH, SCREEN_HEIGHT),)   # Xvfb screens, in order
    Xinerama: bool = False        # Xvfb's +xinerama (with several screens)
    UseXRandR: Optional[bool] = None  # Wine's X11 driver key; None leaves Wine's default
    LogPixels: Optional[int] = None   # the system's dots per inch (96 is 100 %)
    # Monitors side by side, (width, height, left, top) each: the display is then a nested
    # Xephyr server (on a private Xvfb) whose one screen has these Xinerama heads. Xvfb's
    # own +xinerama puts every screen at the origin.
    Heads: tuple = ()

    def IsDefault(self) -> bool:
        return self == TDisplayOptions()


def SetRegFileValue(regFile: Path, section: str, name: str, data: Optional[str]) -> None:
    """Sets (data: the text after "=", e.g. 'dword:00000090') or removes (None) one value
    in a Wine registry file, adding the section if needed. Only while no wineserver runs."""
    lines = regFile.read_text(encoding="utf-8", errors="surrogateescape").split("\n")
    header = "[" + section.replace("\\", "\\\\") + "]"
    key = f'"{name}"='
    start = next((i for i, l in enumerate(lines) if l == header or l.startswith(header + " ")), None)
    if start is None:
        if data is not None:
            lines += [f"{header} 0", f"{key}{data}", ""]
    else:
        end = start + 1
        while end < len(lines) and lines[end].strip() and not lines[end].startswith("["):
            end += 1
        body = [l for l in lines[start + 1:end] if not l.startswith(key)]
        if data is not None:
            body.append(f"{key}{data}")
        lines[start + 1:end] = body
    regFile.write_text("\n".join(lines), encoding="utf-8", errors="surrogateescape")


# No Mono or Gecko installer prompts; no desktop menu entries.
DLL_OVERRIDES = "mscoree,mshtml=;winemenubuilder.exe=d"


def BaseEnvironment() -> dict:
    env = {k: v for k, v in os.environ.items() if not k.startswith("WINE") and k != "DISPLAY"}
    env.update(WINEARCH="win64", WINEDEBUG="-all",
               WINEDLLOVERRIDES=DLL_OVERRIDES, LANG="C.UTF-8")
    return env


def WineVersion() -> str:
    return subprocess.run(["wine", "--version"], capture_output=True, text=True, env=BaseEnvironment(),
                          check=False).stdout.strip()


def PrefixProcesses(prefix: Path) -> list[int]:
    """Ids of the processes that run in the given Wine prefix."""
    wanted = f"WINEPREFIX={prefix}".encode()
    found = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit() or int(entry.name) == os.getpid():
            continue
        try:
            environ = (entry / "environ").read_bytes()
        except OSError:
            continue
        if wanted in environ.split(b"\0"):
            found.append(int(entry.name))
    return found


def AdoptOrphans() -> None:
    """Wine's services outlive the program that started them; as a subreaper this
    process becomes their parent and can reap them, instead of leaving zombies to an
    init that may not."""
    try:
        import ctypes
        libc = ctypes.CDLL(None, use_errno=True)
        libc.prctl(36, 1, 0, 0, 0)  # PR_SET_CHILD_SUBREAPER
    except (OSError, AttributeError):
        pass


def ReapOrphans() -> None:
    while True:
        try:
            pid, _ = os.waitpid(-1, os.WNOHANG)
        except ChildProcessError:
            return
        if pid == 0:
            return


def ClonePrefix(source: Path, target: Path) -> None:
    """Copies a prefix: binaries by hard link, everything else (registry, ini files) for real."""
    for dirPath, dirNames, fileNames in os.walk(source):
        relative = Path(dirPath).relative_to(source)
        (target / relative).mkdir(parents=True, exist_ok=True)
        for name in dirNames + fileNames:
            src = Path(dirPath) / name
            dst = target / relative / name
            if src.is_symlink():
                os.symlink(os.readlink(src), dst)
                if name in dirNames:
                    dirNames.remove(name)
            elif name in fileNames:
                if src.suffix.lower() in SHARED_SUFFIXES:
                    try:
                        os.link(src, dst)
                        continue
                    except OSError:
                        pass
                shutil.copy2(src, dst)


# ImageMagick from Debian (another convert earlier on the PATH may be a stand-in).
CONVERT = "/usr/bin/convert" if Path("/usr/bin/convert").exists() else "convert"


def Bmp24(width: int, height: int, rgb: tuple) -> bytes:
    """A bottom-up 24-bit Windows bitmap of one colour."""
    row = bytes((rgb[2], rgb[1], rgb[0])) * width
    row += b"\0" * ((4 - len(row) % 4) % 4)
    pixels = row * height
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + pixels


@dataclasses.dataclass
class TWindow:
    """One window as the probe saw it."""
    Hwnd: int
    Title: str
    Class: str
    Style: int
    ExStyle: int
    Parent: int
    Owner: int
    Rect: tuple
    Client: tuple
    Visible: bool
    Pid: int
    Exe: str

    @staticmethod
    def FromJson(d: dict) -> "TWindow":
        return TWindow(d["hwnd"], d["title"], d["class"], d["style"], d["exstyle"], d["parent"], d["owner"],
                       tuple(d["rect"]), tuple(d["client"]), d["visible"], d["pid"], d["exe"])

    @property
    def Width(self) -> int:
        return self.Rect[2] - self.Rect[0]

    @property
    def Height(self) -> int:
        return self.Rect[3] - self.Rect[1]

    def HasStyle(self, bits: int) -> bool:
        return self.Style & bits == bits

    def HasExStyle(self, bits: int) -> bool:
        return self.ExStyle & bits == bits

    def Matches(self, **want) -> bool:
        return all(getattr(self, k) == v for k, v in want.items())

    def __str__(self) -> str:
        return (f"{self.Hwnd} {self.Title!r} class={self.Class} style={self.Style:#010x} ex={self.ExStyle:#x} "
                f"parent={self.Parent} owner={self.Owner} rect={self.Rect} client={self.Client} "
                f"visible={self.Visible} exe={self.Exe}")


class TProcess:
    """A Windows program started by the session (the Wine loader's process is the program)."""

    def __init__(self, session: "TSession", name: str, popen: subprocess.Popen, stdout: Path):
        self.Session = session
        self.Name = name
        self.Popen = popen
        self.StdoutPath = stdout

    @property
    def Pid(self) -> int:
        return self.Popen.pid

    def Running(self) -> bool:
        return self.Popen.poll() is None

    def WaitExit(self, timeout: float) -> int:
        """The exit code; fails the test if the process is still running after timeout."""
        try:
            return self.Popen.wait(timeout)
        except subprocess.TimeoutExpired:
            raise EE2EError(f"{self.Name} still running after {timeout:g} s") from None

    def Stdout(self) -> str:
        return self.StdoutPath.read_text(errors="replace")

    def Kill(self) -> None:
        if self.Running():
            self.Popen.send_signal(signal.SIGKILL)
            self.Popen.wait(10)


class TStandIn:
    """The stand-in window (lumora-e2e-window.exe) and the handles it printed."""

    def __init__(self, process: TProcess, info: dict):
        self.Process = process
        self.Hwnd = info["hwnd"]
        self.Preview = info["preview"]

    def Close(self) -> None:
        """Ends the stand-in by closing its standard input."""
        if self.Process.Popen.stdin:
            self.Process.Popen.stdin.close()
        self.Process.WaitExit(15)


class TScreenshot:
    """The Xvfb display as RGB pixels."""

    def __init__(self, path: Path):
        data = path.read_bytes()
        fields = []
        pos = 0
        while len(fields) < 4:  # magic, width, height, maximum value; comments allowed
            while data[pos:pos + 1].isspace():
                pos += 1
            if data[pos:pos + 1] == b"#":
                pos = data.index(b"\n", pos) + 1
                continue
            end = pos
            while not data[end:end + 1].isspace():
                end += 1
            fields.append(data[pos:end])
            pos = end
        Check(fields[0] == b"P6" and fields[3] == b"255", f"unexpected screenshot format {fields}")
        self.Width = int(fields[1])
        self.Height = int(fields[2])
        self.Data = data[pos + 1:]

    def Pixel(self, x: int, y: int) -> tuple:
        i = (y * self.Width + x) * 3
        return tuple(self.Data[i:i + 3])

    def Count(self, rect: Sequence[int], colour: tuple) -> int:
        """Pixels of the given colour in [left, top, right, bottom)."""
        return sum(1 for y in range(rect[1], rect[3]) for x in range(rect[0], rect[2])
                   if self.Pixel(x, y) == colour)


class TWatch:
    """Every window that other processes create, show, hide or destroy while it runs."""

    def __init__(self, session: "TSession"):
        self.Session = session
        self.Process = session.StartWindows(session.Config.Probe, ["watch"], "watch", stdin=True)
        WaitUntil(lambda: '"ready"' in self.Process.Stdout(), 30, "the window watch to start")
        self.Events: list[dict] = []

    def Stop(self) -> list[dict]:
        """Stops the watch; the events of windows created before the call are all in."""
        self.Process.Popen.stdin.close()
        self.Process.WaitExit(15)
        self.Events = [json.loads(line) for line in self.Process.Stdout().splitlines()
                       if line.startswith('{"event"')]
        return self.Events

    def Created(self, exclude: Iterable[str] = WINE_SYSTEM_PROCESSES) -> list[dict]:
        """Windows created by anything but Wine's own processes; a window that died before
        the watch could look at it has no process and counts."""
        excluded = set(exclude)
        return [e for e in self.Events if e["event"] == "create" and e.get("exe", "") not in excluded]


class TSession:
    """One test's private Wine world. Use as a context manager."""

    def __init__(self, config: TConfig, name: str):
        self.Config = config
        self.Name = name
        self.RunDir = config.WorkDir / "runs" / name
        self.Prefix = self.RunDir / "prefix"
        self.Display: Optional[str] = None
        self._xvfb: Optional[subprocess.Popen] = None
        self._xephyr: Optional[subprocess.Popen] = None
        self._wineserver: Optional[subprocess.Popen] = None
        self._processes: list[TProcess] = []
        self._counter = 0
        self.DisplayOptions = TDisplayOptions()

    # ----- set-up and tear-down -----

    def __enter__(self) -> "TSession":
        try:
            self.Start()
        except BaseException:
            self.Stop()
            raise
        return self

    def __exit__(self, *exc) -> None:
        self.Stop()

    def Start(self) -> None:
        self.Config.CheckInputs()
        AdoptOrphans()
        if self.RunDir.exists():
            shutil.rmtree(self.RunDir)
        self.RunDir.mkdir(parents=True)
        ClonePrefix(self.Config.Template, self.Prefix)
        self._ApplyDisplayOptions()
        self.Display = StartXvfb(self)
        if self.DisplayOptions.Heads:
            self.Display = StartXephyr(self, self.Display)
        self._wineserver = subprocess.Popen(["wineserver", "-f", "-p"], env=self.Environment(),
                                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                            stderr=subprocess.DEVNULL)
        # The first program starts Wine's services, which inherit its standard handles:
        # give them files, never a pipe that someone waits on.
        boot = self.StartWindows(self.Config.Probe, ["screen"], "boot")
        boot.WaitExit(60)
        screen = json.loads(boot.Stdout().splitlines()[-1])
        if self.DisplayOptions.IsDefault():
            Check(screen == {"width": SCREEN_WIDTH, "height": SCREEN_HEIGHT}, f"unexpected screen {screen}")

    def Restart(self, **options) -> None:
        """Starts the session again (fresh prefix, display and wineserver) with other
        TDisplayOptions fields, e.g. Restart(WineDesktop=False)."""
        self.Stop()
        self.DisplayOptions = dataclasses.replace(self.DisplayOptions, **options)
        self._counter = 0
        self._processes = []
        self.Start()

    def _ApplyDisplayOptions(self) -> None:
        o = self.DisplayOptions
        user, system = self.Prefix / "user.reg", self.Prefix / "system.reg"
        if not o.WineDesktop:
            SetRegFileValue(user, r"Software\Wine\Explorer", "Desktop", None)
        if o.UseXRandR is not None:
            SetRegFileValue(user, r"Software\Wine\X11 Driver", "UseXRandR", '"Y"' if o.UseXRandR else '"N"')
        if o.LogPixels is not None:
            dword = f"dword:{o.LogPixels:08x}"
            SetRegFileValue(user, r"Control Panel\Desktop", "LogPixels", dword)
            SetRegFileValue(system, r"System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts",
                            "LogPixels", dword)

    def StartedProcesses(self) -> list["TProcess"]:
        return list(self._processes)

    def Stop(self) -> None:
        """Ends what this session started: its programs by id, its wineserver (with all
        of Wine's processes in its prefix) and its display."""
        leftovers = []
        for process in self._processes:
            if process.Popen.stdin:
                try:
                    process.Popen.stdin.close()
                except OSError:
                    pass
            process.Kill()
        if self._wineserver is not None:
            try:
                subprocess.run(["wineserver", "-k"], env=self.Environment(), check=False, timeout=60,
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                self._wineserver.wait(30)
            except subprocess.TimeoutExpired:
                self._wineserver.kill()
                self._wineserver.wait(10)
            self._wineserver = None
        if self.Prefix.exists():
            leftovers = PrefixProcesses(self.Prefix)
            for pid in leftovers:
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
        if self._xephyr is not None:
            self._xephyr.terminate()
            try:
                self._xephyr.wait(10)
            except subprocess.TimeoutExpired:
                self._xephyr.kill()
                self._xephyr.wait(10)
            self._xephyr = None
        if self._xvfb is not None:
            self._xvfb.terminate()
            try:
                self._xvfb.wait(10)
            except subprocess.TimeoutExpired:
                self._xvfb.kill()
                self._xvfb.wait(10)
            self._xvfb = None
        if self.Prefix.exists():
            shutil.rmtree(self.Prefix, ignore_errors=True)
        ReapOrphans()
        if leftovers:
            raise EE2EError(f"processes outlived the wineserver and were killed: {leftovers}")

    def Environment(self, **extra) -> dict:
        env = BaseEnvironment()
        env["WINEPREFIX"] = str(self.Prefix)
        if self.Display:
            env["DISPLAY"] = self.Display
        env.update(extra)
        return env

    # ----- programs -----

    def StartWindows(self, program: Path, args: Sequence[str], name: str, stdin: bool = False,
                     env: Optional[dict] = None) -> TProcess:
        """Starts a Windows program with Wine. Its output goes to a file in the run folder."""
        self._counter += 1
        safeName = "".join(c if c.isalnum() or c in "-_." else "_" for c in name)
        stdout = self.RunDir / f"{self._counter:02d}-{safeName}.out"
        if "LUMORA_TRACE" not in (env or {}):
            # How far the show got, for the evidence of a failed test (programs without a
            # trace ignore it).
            trace = self.RunDir / f"{self._counter:02d}-trace.txt"
            env = {**(env or {}), "LUMORA_TRACE": "Z:" + str(trace).replace("/", "\\")}
        with open(stdout, "wb") as out:
            popen = subprocess.Popen(["wine", str(program), *args], env=self.Environment(**(env or {})),
                                     stdin=subprocess.PIPE if stdin else subprocess.DEVNULL, stdout=out,
                                     stderr=subprocess.STDOUT, cwd=self.RunDir)
        process = TProcess(self, name, popen, stdout)
        self._processes.append(process)
        return process

    def StartNative(self, program: Path, args: Sequence[str], name: str, env: Optional[dict] = None) -> TProcess:
        """Starts a native program on the session's display, its output in the run folder."""
        self._counter += 1
        safeName = "".join(c if c.isalnum() or c in "-_." else "_" for c in name)
        stdout = self.RunDir / f"{self._counter:02d}-{safeName}.out"
        with open(stdout, "wb") as out:
            popen = subprocess.Popen([str(program), *args], env=self.Environment(**(env or {})),
                                     stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT, cwd=self.RunDir)
        process = TProcess(self, name, popen, stdout)
        self._processes.append(process)
        return process

    def MakeScr(self, name: str, gate: Optional[int] = 1, flag: int = 1, configPosition: int = -1,
                configStoredSize: int = 0, payload: bytes = b"") -> Path:
        """A copy of lumora.scr in the prefix's C: drive, with payload bytes and a 16-byte
        trailer appended (gate None: the file as built, no trailer)."""
        folder = self.Prefix / "drive_c" / "lumora"
        folder.mkdir(exist_ok=True)
        path = folder / name
        data = self.Config.Scr.read_bytes()
        if gate is not None:
            data += payload + struct.pack("<IIii", flag, gate, configPosition, configStoredSize)
        path.write_bytes(data)
        return path

    def MakeShowScr(self, name: str, config: str, entries: Sequence[bytes] = (), gate: int = 0) -> tuple:
        """A screen saver with a payload: the entries, then the configuration INI text last.
        Returns the path and each entry's (position, stored size) for the configuration."""
        base = len(self.Config.Scr.read_bytes())
        payload = b""
        refs = []
        for data in entries:
            entry = struct.pack("<I", len(data)) + zlib.compress(data)
            refs.append((base + len(payload), len(entry)))
            payload += entry
        configEntry = struct.pack("<I", len(config.encode("latin-1"))) + zlib.compress(config.encode("latin-1"))
        configPosition = base + len(payload)
        path = self.MakeScr(name, gate=gate, configPosition=configPosition, configStoredSize=len(configEntry),
                            payload=payload + configEntry)
        return path, refs

    def StartScr(self, scr: Path, *args: str, env: Optional[dict] = None) -> TProcess:
        return self.StartWindows(scr, list(args), f"{scr.name} {' '.join(args)}".strip(), env=env)

    def StandIn(self, title: Optional[str] = None, preview: Optional[tuple] = None,
                hidden: bool = False, latency: bool = False) -> TStandIn:
        """Starts the stand-in window and waits for the handles it prints. latency: it
        measures how long the windows in its preview area take to answer a message, and
        prints the worst when it ends."""
        args = []
        if latency:
            args.append("--latency")
        if title is not None:
            args += ["--title", title]
        if preview is not None:
            args += ["--preview", f"{preview[0]}x{preview[1]}"]
        if hidden:
            args.append("--hidden")
        process = self.StartWindows(self.Config.StandInProgram, args, "stand-in", stdin=True)
        line = WaitUntil(lambda: next((l for l in process.Stdout().splitlines() if l.startswith('{"hwnd"')), None),
                         30, "the stand-in window")
        return TStandIn(process, json.loads(line))

    # ----- windows -----

    def Windows(self) -> list[TWindow]:
        """Every window now: top-level ones and all their descendants."""
        probe = self.StartWindows(self.Config.Probe, ["windows"], "windows")
        probe.WaitExit(30)
        return [TWindow.FromJson(json.loads(line)) for line in probe.Stdout().splitlines()
                if line.startswith('{"hwnd"')]

    def FindWindows(self, process: Optional[TProcess] = None, **want) -> list[TWindow]:
        """Windows whose fields equal the given values (Title=..., Class=..., Visible=...);
        process: only those of that started program (matched by its file name)."""
        found = [w for w in self.Windows() if w.Matches(**want)]
        if process is not None:
            exe = Path(process.Popen.args[1]).name
            found = [w for w in found if w.Exe.lower() == exe.lower()]
        return found

    def WaitForWindow(self, timeout: float = 30, process: Optional[TProcess] = None, **want) -> TWindow:
        found = WaitUntil(lambda: self.FindWindows(process, **want), timeout, f"a window with {want}")
        return found[0]

    def Probe(self, *args: str) -> dict:
        """Runs the probe with args and gives the last JSON line it printed."""
        probe = self.StartWindows(self.Config.Probe, list(args), args[0])
        probe.WaitExit(30)
        lines = [l for l in probe.Stdout().splitlines() if l.startswith("{")]
        return json.loads(lines[-1]) if lines else {}

    def CloseWindow(self, hwnd: int) -> None:
        probe = self.StartWindows(self.Config.Probe, ["close", str(hwnd)], "close")
        Check(probe.WaitExit(30) == 0, f"could not close window {hwnd}")

    def Watch(self) -> TWatch:
        return TWatch(self)

    # ----- the display -----

    def Screenshot(self, name: str) -> TScreenshot:
        """The whole display; also kept as <name>.png in the run folder for people."""
        ppm = self.RunDir / f"{name}.ppm"
        subprocess.run(["import", "-display", self.Display, "-window", "root", "-depth", "8", str(ppm)], check=True, timeout=60,
                       stdin=subprocess.DEVNULL, capture_output=True)
        shot = TScreenshot(ppm)
        subprocess.run([CONVERT, str(ppm), str(self.RunDir / f"{name}.png")], check=False, timeout=60,
                       capture_output=True)
        ppm.unlink()
        return shot

    def Xdotool(self, *args: str) -> None:
        subprocess.run(["xdotool", *args], env=self.Environment(), check=True, timeout=30,
                       stdin=subprocess.DEVNULL, capture_output=True)

    def MovePointer(self, x: int, y: int) -> None:
        self.Xdotool("mousemove", str(x), str(y))

    def ParkPointer(self) -> None:
        """Wine reports the first mouse move after a window appears at the screen centre;
        a pointer parked there makes that report true."""
        self.MovePointer(SCREEN_WIDTH // 2, SCREEN_HEIGHT // 2)

    def Key(self, *keys: str) -> None:
        self.Xdotool("key", *keys)

    def Click(self, button: int = 1) -> None:
        self.Xdotool("click", str(button))


def StartXvfb(session: TSession) -> str:
    """Starts Xvfb on a free display (the server picks it) and returns ":N"."""
    read, write = os.pipe()
    options = getattr(session, "DisplayOptions", None) or TDisplayOptions()
    screens = []
    sizes = options.Screens
    if options.Heads:  # the host of the nested server: room for every head
        sizes = ((max(w + x for w, h, x, y in options.Heads), max(h + y for w, h, x, y in options.Heads)),)
    for number, (width, height) in enumerate(sizes):
        screens += ["-screen", str(number), f"{width}x{height}x24"]
    if options.Xinerama:
        screens.append("+xinerama")
    try:
        session._xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), *screens, "-nolisten", "tcp", "-wr", "-noreset"],
            pass_fds=(write,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        write = -1
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read, 16)
            if not chunk:
                raise EE2EError("Xvfb ended before it gave its display number")
            number += chunk
        return ":" + number.decode().strip()
    finally:
        if write >= 0:
            os.close(write)
        os.close(read)


def StartXephyr(session: TSession, host: str) -> str:
    """Starts Xephyr on the host display with the session's heads and returns ":N"."""
    read, write = os.pipe()
    heads = []
    for width, height, left, top in session.DisplayOptions.Heads:
        heads += ["-screen", f"{width}x{height}+{left}+{top}"]
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    env["DISPLAY"] = host
    try:
        session._xephyr = subprocess.Popen(
            ["Xephyr", "-displayfd", str(write), *heads, "+xinerama", "-nolisten", "tcp", "-wr", "-noreset"],
            pass_fds=(write,), env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(write)
        write = -1
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read, 16)
            if not chunk:
                raise EE2EError("Xephyr ended before it gave its display number (is xserver-xephyr installed?)")
            number += chunk
        return ":" + number.decode().strip()
    finally:
        if write >= 0:
            os.close(write)
        os.close(read)


def PreparePrefix(config: TConfig) -> None:
    """Makes the cached Wine prefix once (wineboot, no Mono or Gecko prompts, no crash
    dialog); later runs find it ready. Runs under a lock, so parallel runs wait for it."""
    config.WorkDir.mkdir(parents=True, exist_ok=True)
    stamp = config.Template / ".lumora-e2e-stamp"
    want = f"{WineVersion()} recipe {PREFIX_RECIPE}"
    with open(config.WorkDir / "wine-prefix.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if stamp.is_file() and stamp.read_text() == want:
            return
        if config.Template.exists():
            shutil.rmtree(config.Template)
        AdoptOrphans()
        session = TSession(config, "prepare")
        session.Prefix = config.Template
        session.RunDir.mkdir(parents=True, exist_ok=True)
        try:
            session.Display = StartXvfb(session)
            env = session.Environment()
            subprocess.run(["wineboot", "-i"], env=env, check=True, timeout=600, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            subprocess.run(["wineserver", "-w"], env=env, check=False, timeout=300)
            for key, value, kind, data in PREFIX_SETTINGS:
                result = subprocess.run(["wine", "reg", "add", key, "/v", value, "/t", kind, "/d", data, "/f"],
                                        env=env, timeout=120, stdin=subprocess.DEVNULL, capture_output=True,
                                        text=True)
                Check(result.returncode == 0, f"reg add {key} {value} failed: {result.stdout} {result.stderr}")
            subprocess.run(["wineserver", "-w"], env=env, check=False, timeout=120)
        finally:
            subprocess.run(["wineserver", "-k"], env=session.Environment(), check=False, timeout=60,
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            leftovers = PrefixProcesses(config.Template)
            for pid in leftovers:
                os.kill(pid, signal.SIGKILL)
            if session._xvfb is not None:
                session._xvfb.terminate()
                session._xvfb.wait(10)
            shutil.rmtree(session.RunDir, ignore_errors=True)
            ReapOrphans()
        stamp.write_text(want)


# ----- sound: tones made by the test, audio captured through ALSA -----

AUDIO_RATE = 22050


def ToneWav(frequency: float, seconds: float, silence: float = 0.0, rate: int = AUDIO_RATE) -> bytes:
    """A 16-bit mono WAV file: a sine tone, then silence (which keeps repeats apart)."""
    import math
    count = int(rate * seconds)
    samples = [int(12000 * math.sin(2 * math.pi * frequency * i / rate)) for i in range(count)]
    samples += [0] * int(rate * silence)
    data = struct.pack(f"<{len(samples)}h", *samples)
    header = struct.pack("<4sI4s4sIHHIIHH4sI", b"RIFF", 36 + len(data), b"WAVE", b"fmt ", 16, 1, 1, rate, rate * 2,
                         2, 16, b"data", len(data))
    return header + data


def CaptureAudio(session: TSession) -> tuple:
    """Makes every sample the session's programs play land in raw files (16-bit samples
    as played; read them with CapturedSamples), with no sound card: an ALSA configuration in a HOME of
    the test's own, and Wine's ALSA driver in the session's prefix. Returns the
    environment to start programs with and the capture file."""
    home = session.RunDir / "home"
    home.mkdir(exist_ok=True)
    raw = session.RunDir / "captured.raw"
    (home / ".asoundrc").write_text(
        'pcm.!default { type file; slave.pcm "null"; file "%s"; format "raw"; truncate false }\n'
        "pcm.null { type null }\n" % raw)
    result = subprocess.run(["wine", "reg", "add", r"HKCU\Software\Wine\Drivers", "/v", "Audio", "/t", "REG_SZ",
                             "/d", "alsa", "/f"], env=session.Environment(HOME=str(home)), timeout=120,
                            stdin=subprocess.DEVNULL, capture_output=True, text=True)
    Check(result.returncode == 0, f"could not choose Wine's ALSA driver: {result.stdout} {result.stderr}")
    return {"HOME": str(home)}, raw


def CapturedSamples(raw: Path) -> bytes:
    """Everything captured so far, in order: ALSA's file plugin starts a numbered file
    (raw.0001, raw.0002, ...) each time a program opens the device again."""
    parts = [raw] if raw.exists() else []
    parts += sorted(raw.parent.glob(raw.name + ".[0-9]*"), key=lambda p: int(p.suffix[1:]))
    return b"".join(p.read_bytes() for p in parts)


def ClearCapture(raw: Path) -> None:
    for part in [raw, *raw.parent.glob(raw.name + ".[0-9]*")]:
        part.unlink(missing_ok=True)


def ToneStretches(raw: bytes, tones: dict, rate: int = AUDIO_RATE, window: float = 0.02) -> list:
    """The captured samples as stretches [(name, seconds)]: each 20 ms window is silence
    ("-") or the tone (by name) whose frequency its zero crossings give; stretches of one
    window are boundary effects and dropped."""
    size = int(rate * window)
    count = len(raw) // 2
    samples = struct.unpack(f"<{count}h", raw[:count * 2])
    labels = []
    for start in range(0, count - size + 1, size):
        chunk = samples[start:start + size]
        if max(abs(v) for v in chunk) < 1000:
            labels.append("-")
            continue
        crossings = sum(1 for a, b in zip(chunk, chunk[1:]) if (a < 0) != (b < 0))
        frequency = crossings / 2 / window
        name = min(tones, key=lambda n: abs(tones[n] - frequency))
        labels.append(name if abs(tones[name] - frequency) < tones[name] * 0.15 else "?")
    stretches = []
    for label in labels:
        if stretches and stretches[-1][0] == label:
            stretches[-1][1] += 1
        else:
            stretches.append([label, 1])
    merged = []
    for label, windows in stretches:
        if windows < 2:
            continue
        if merged and merged[-1][0] == label:
            merged[-1][1] += windows
        else:
            merged.append([label, windows])
    return [(label, windows * window) for label, windows in merged]
