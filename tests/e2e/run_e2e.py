#!/usr/bin/env python3
"""Runs the end-to-end tests (CTest calls it once per test case).

    run_e2e.py --scr lumora.scr --helpers DIR --work DIR prepare
    run_e2e.py --scr lumora.scr --helpers DIR --work DIR run MODULE TestName
    run_e2e.py ... list

A test case is a function named Test... in a file test_*.py of this folder; it takes
one lumora_e2e.TSession.
"""

import argparse
import importlib
import signal
import sys
import time
import traceback
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
sys.dont_write_bytecode = True  # nothing is written into the source tree

import lumora_e2e  # noqa: E402


def TestCases():
    for file in sorted(HERE.glob("test_*.py")):
        module = importlib.import_module(file.stem)
        for name in dir(module):
            if name.startswith("Test") and callable(getattr(module, name)):
                yield file.stem, name, getattr(module, name)


# A test that runs longer fails on its own, with its clean-up, before CTest's timeout
# would kill the runner and leave Wine and Xvfb behind.
TIME_LIMIT_SECONDS = 240


def Interrupt(signum, frame):
    if signum == signal.SIGALRM:
        raise lumora_e2e.EE2EError(f"the test took longer than {TIME_LIMIT_SECONDS} s")
    raise lumora_e2e.EE2EError(f"interrupted by signal {signum}")


SKIPPED = 77  # the tests' SKIP_RETURN_CODE


def RunCase(config, moduleName, caseName) -> int:
    signal.signal(signal.SIGALRM, Interrupt)
    signal.signal(signal.SIGTERM, Interrupt)
    module = importlib.import_module(moduleName)
    case = getattr(module, caseName, None)
    if case is None:
        print(f"no test {caseName} in {moduleName}")
        return 1
    started = time.monotonic()
    name = f"{moduleName}.{caseName}"
    try:
        config.CheckInputs()
        lumora_e2e.PreparePrefix(config)  # normally done already by the first test of the run
        signal.alarm(TIME_LIMIT_SECONDS)
        session = lumora_e2e.TSession(config, name)
        with session:
            try:
                case(session)
            except BaseException:
                signal.alarm(0)
                Record(session)
                raise
            signal.alarm(0)  # the clean-up runs to its end
    except lumora_e2e.ESkipped as reason:
        print(f"SKIP {name}: {reason}")
        return SKIPPED
    except lumora_e2e.EE2EError as error:
        print(f"FAIL {name}: {error}")
        print(f"  evidence: {config.WorkDir / 'runs' / name}")
        return 1
    except Exception:
        traceback.print_exc()
        print(f"FAIL {name}")
        return 1
    print(f"PASS {name} ({time.monotonic() - started:.1f} s)")
    return 0


def ProcessReport(session) -> str:
    """Each program the test started, running or with its exit code, and for a running
    one the state and kernel wait of every thread (a start that hangs shows where)."""
    def Threads(pid: int) -> None:
        for task in sorted(Path(f"/proc/{pid}/task").glob("*"), key=lambda p: int(p.name)):
            try:
                stat = (task / "stat").read_text()
                name, state = stat[stat.index("(") + 1:stat.rindex(")")], stat[stat.rindex(")") + 2]
                lines.append(f"  thread {task.name} {name} {state} {(task / 'wchan').read_text().strip()}")
            except OSError:
                continue

    lines = []
    started = set()
    for process in session.StartedProcesses():
        code = process.Popen.poll()
        started.add(process.Pid)
        lines.append(f"{process.Name} pid {process.Pid}: " + ("running" if code is None else f"exit code {code}"))
        if code is None:
            Threads(process.Pid)
    for pid in lumora_e2e.PrefixProcesses(session.Prefix):
        if pid not in started:
            try:
                command = Path(f"/proc/{pid}/cmdline").read_bytes().replace(b"\0", b" ").decode(errors="replace")
            except OSError:
                continue
            lines.append(f"in the prefix, pid {pid}: {command.strip()}")
            Threads(pid)
    return "\n".join(lines) + "\n"


def Record(session) -> None:
    """Keeps the windows and the display of a failed test next to its program output."""
    try:
        lines = [str(w) for w in session.Windows() if w.Exe not in lumora_e2e.WINE_SYSTEM_PROCESSES]
        (session.RunDir / "windows.txt").write_text("\n".join(lines) + "\n")
        (session.RunDir / "processes.txt").write_text(ProcessReport(session))
        session.Screenshot("failure")
    except Exception as error:  # the evidence is a courtesy; the failure itself is reported
        print(f"  (could not record the display: {error})")


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--scr", type=Path, required=True)
    parser.add_argument("--helpers", type=Path, required=True)
    parser.add_argument("--work", type=Path, required=True)
    parser.add_argument("command", choices=["prepare", "run", "list"])
    parser.add_argument("names", nargs="*")
    args = parser.parse_args()
    config = lumora_e2e.TConfig(Scr=args.scr.resolve(), Helpers=args.helpers.resolve(), WorkDir=args.work.resolve())
    if args.command == "prepare":
        started = time.monotonic()
        lumora_e2e.PreparePrefix(config)
        print(f"Wine prefix ready: {config.Template} ({time.monotonic() - started:.1f} s)")
        return 0
    if args.command == "list":
        for module, name, _ in TestCases():
            print(f"{module} {name}")
        return 0
    if len(args.names) != 2:
        parser.error("run takes MODULE TestName")
    return RunCase(config, *args.names)


if __name__ == "__main__":
    sys.exit(main())
