"""The memory tool misbehaving, and the program being ended, against the
built program: --binary, and --emulator for memsweep.exe under Wine, as for
e2e.py; under Wine --tool names the misbehaving stand-in (rammap_standin)."""

import os
import re
import shutil
import signal
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

PROGRAM = None
TOOL = None  # rammap_standin.exe
FLOOD = 10 << 20  # what the flooding tool writes, each run

# How the tool misbehaves, on Linux and under Wine:
#   ("then", line)   the recording stand-in runs `line` after recording
#   ("exe", fault)   rammap_standin.exe as RAMMap.exe, told to misbehave
#   ("missing",)     there is no tool
#   ("folder", name) the tool is a folder
# and whether the tool still records its arguments.
FAULTS = [
    ("exits 1", ("then", "exit 1"), ("then", "exit /b 1"), True),
    ("killed by a signal: SIGSEGV / an access violation",
     ("then", "ulimit -c 0; kill -s SEGV $$"), ("exe", "crash"), True),
    ("killed by a signal: SIGKILL", ("then", "kill -s KILL $$"), None, True),
    ("writes 10 MiB to standard output", ("then", "head -c %d /dev/zero" % FLOOD), ("exe", "flood"), True),
    ("missing", ("missing",), ("missing",), False),
    ("a folder", ("folder", "RAMMap"), ("folder", "RAMMap.exe"), False),
]

AEDEBUG = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug"


def reg(*args):
    return subprocess.run([PROGRAM.emulator, "reg"] + list(args), stdin=subprocess.DEVNULL,
                          capture_output=True, text=True, timeout=120,
                          env=dict(os.environ, WINEDEBUG="-all"))


def sleeps(events):
    return [e for e in events if e[0] == "sleep"]


def listing(path):
    """Every file (with its size and time) and folder below `path`."""
    found = set()
    for top, dirs, files in os.walk(path):
        for name in dirs:
            found.add(os.path.relpath(os.path.join(top, name), path))
        for name in files:
            st = os.stat(os.path.join(top, name))
            found.add((os.path.relpath(os.path.join(top, name), path), st.st_size, st.st_mtime_ns))
    return found


LINUX_OPEN = re.compile(r"(open|openat|openat2|creat)\((.*)")
WRITE_FLAGS = re.compile(r"O_WRONLY|O_RDWR|O_CREAT|O_TRUNC|O_APPEND")
WINE_CREATE = re.compile(r"[0-9a-f]+:Call KERNEL32\.CreateFile[AW]\([0-9a-f]+ (L?\".*\"),([0-9a-f]+),[0-9a-f]+,[0-9a-f]+,([0-9a-f]+),")
# GENERIC_WRITE, GENERIC_ALL, MAXIMUM_ALLOWED, DELETE, FILE_WRITE_DATA, FILE_APPEND_DATA
WINE_WRITE_ACCESS = 0x40000000 | 0x10000000 | 0x02000000 | 0x00010000 | 0x2 | 0x4
OPEN_EXISTING = 3


def opens_for_writing(lines):
    """The file opens in a trace that could write or create a file."""
    found = []
    for line in lines:
        m = LINUX_OPEN.match(line)
        if m and (m.group(1) == "creat" or WRITE_FLAGS.search(m.group(2))):
            found.append(line)
        m = WINE_CREATE.match(line)
        # The key wait opens the console, which is no file.
        if m and m.group(1).lstrip("L") not in ('"CONIN$"', '"CONOUT$"') and (
                int(m.group(2), 16) & WINE_WRITE_ACCESS
                  or int(m.group(3), 16) & 0xFFFFFFFF != OPEN_EXISTING):
            found.append(line)
    return found


class Faults(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        harness.Trace.prepare(PROGRAM, ["KERNEL32.CreateFileA", "KERNEL32.CreateFileW"])
        if PROGRAM.wine:
            # A crash starts winedbg, which takes seconds to write its report:
            # name a debugger that doesn't exist, and the crashed process just
            # ends. The prefix's own setting comes back afterwards.
            old = re.search(r"Debugger\s+REG_SZ\s+(.*)", reg("query", AEDEBUG, "/v", "Debugger").stdout)
            if old:
                cls.addClassCleanup(reg, "add", AEDEBUG, "/v", "Debugger", "/d", old.group(1).strip(), "/f")
            else:
                cls.addClassCleanup(reg, "delete", AEDEBUG, "/v", "Debugger", "/f")
            reg("add", AEDEBUG, "/v", "Debugger", "/d", "no-debugger-here.exe %ld %ld", "/f")

    def folder(self, config):
        folder = harness.Folder(PROGRAM)
        self.addCleanup(folder.remove)
        if config is not None:
            folder.write("config.txt", config)
        return folder

    def trace(self, syscalls=()):
        trace = harness.Trace(PROGRAM, syscalls)
        self.addCleanup(trace.remove)
        return trace

    def arrange(self, folder, fault):
        """Makes the tool misbehave; returns the environment to add."""
        if fault[0] == "then":
            folder.write_tool(then=fault[1])
            return {}
        os.remove(folder.tool)
        tool_dir = os.path.dirname(folder.tool)
        if fault[0] == "folder":
            os.mkdir(os.path.join(tool_dir, fault[1]))
        elif fault[0] == "exe":
            shutil.copy(TOOL, os.path.join(tool_dir, "RAMMap.exe"))
            return {"MEMSWEEP_TOOL_FAULT": fault[1]}
        return {}

    def test_a_faulty_tool_stops_neither_the_pass_nor_the_next(self):
        # Count 0: the passes follow each other at once.
        two_passes = [("run", "RAMMap " + arg if PROGRAM.wine else None) for arg in harness.ORDER]
        two_passes = (two_passes + [("sleep", 0)]) * 2
        for name, linux, wine, records in FAULTS:
            fault = wine if PROGRAM.wine else linux
            if fault is None:
                continue
            with self.subTest(name):
                folder = self.folder(b"0")
                env = self.arrange(folder, fault)
                trace = self.trace(["wait4"])
                status, out, events = trace.watch(folder, lambda e: len(sleeps(e)) >= 2, env=env)
                self.assertIsNone(status, "it exited")
                self.assertEqual(events[:12], two_passes)
                if records:
                    self.assertEqual(folder.calls()[:10], harness.ORDER * 2)
                if name.startswith("writes"):
                    self.assertGreaterEqual(out.size, 10 * FLOOD)
                if fault == ("exe", "crash"):
                    # system() hands back the tool's exit code: the exception's.
                    with open(trace.path, errors="replace") as f:
                        crashed = [l for l in f if "Ret  msvcrt.system() retval=c0000005" in l]
                    self.assertGreaterEqual(len(crashed), 10)
                kill = re.search(r"kill -s (\w+)", fault[-1]) if not PROGRAM.wine else None
                if kill:
                    # The shell that system() starts reports the death of
                    # its command by signal n as status 128 + n.
                    died = "WEXITSTATUS(s) == %d" % (128 + signal.Signals["SIG" + kill.group(1)])
                    self.assertGreaterEqual(len([l for l in trace.lines() if died in l]), 10)

    def test_it_writes_no_file(self):
        cases = [("passes", b"0"), ("a refused config", b"abc"), ("no config", None)]
        for name, config in cases:
            with self.subTest(name):
                folder = self.folder(config)
                before = listing(folder.path)
                trace = self.trace(["open", "openat", "creat"])
                status, _, _ = trace.watch(folder, lambda e: len(sleeps(e)) >= 2)
                self.assertEqual(status, None if config == b"0" else 1)
                after = {entry for entry in listing(folder.path)
                         if entry[0] != os.path.relpath(folder.log, folder.path)}
                self.assertEqual(after, before)
                self.assertEqual(opens_for_writing(trace.lines()), [])

    def test_it_ends_promptly_on_sigterm_and_ctrl_c(self):
        if PROGRAM.wine:
            self.skipTest("POSIX signals: the Windows program is ended from the task manager")
        # Ctrl-C in a terminal signals the whole foreground process group.
        cases = [
            ("SIGTERM while it sleeps", signal.SIGTERM, "sleeps", os.kill),
            ("SIGTERM during a pass", signal.SIGTERM, "pass", os.kill),
            ("Ctrl-C while it sleeps", signal.SIGINT, "sleeps", os.killpg),
            ("Ctrl-C during a pass", signal.SIGINT, "pass", os.killpg),
        ]
        for name, sig, when, send in cases:
            with self.subTest(name):
                folder = self.folder(b"10")
                if when == "pass":
                    folder.write_tool(then="sleep 30")  # the tool busy
                proc = folder.start(stdout=subprocess.DEVNULL)
                self.addCleanup(harness.stop, proc)
                if when == "pass":
                    self.assertEqual(folder.wait_for_calls(1), harness.ORDER[:1])
                else:
                    self.assertEqual(folder.wait_for_calls(5), harness.ORDER)
                    self.wait_asleep(proc.pid)
                send(proc.pid, sig)
                self.assertEqual(proc.wait(timeout=30), -sig)  # a bound, not a timing
                self.assertEqual(len(folder.calls()), 1 if when == "pass" else 5)

    def wait_asleep(self, pid, timeout=30):
        """Until the process is in its sleep system call."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            with open("/proc/%d/wchan" % pid) as f:
                if "nanosleep" in f.read():
                    return
            time.sleep(0.01)
        self.fail("memsweep never slept")


if __name__ == "__main__":
    harness.main(globals(), ("--tool", None))
