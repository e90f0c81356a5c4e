"""Drives a built memsweep the way a user does: a working folder holding
config.txt (and icon.ico), and a RAMMap stand-in that records its arguments.

The same harness runs the Linux binary directly and memsweep.exe under Wine.
"""

import os
import shutil
import signal
import subprocess
import tempfile
import time

ORDER = ["-Ew", "-Es", "-Em", "-Et", "-E0"]
OPEN_FAILED = "无法打开配置文件！\n".encode("gbk")
BAD_FORMAT = "配置文件格式错误！\n".encode("gbk")
assert len(OPEN_FAILED) == 19 and len(BAD_FORMAT) == 19

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


class Program:
    """One build of memsweep: `emulator` is None for a native binary."""

    def __init__(self, binary, emulator=None):
        self.binary = os.path.abspath(binary)
        self.emulator = emulator

    @property
    def wine(self):
        return self.emulator is not None

    def line_end(self):
        return b"\r\n" if self.wine else b"\n"

    def message(self, text):
        """A message as it reaches standard output: CR LF under Windows."""
        return text.replace(b"\n", self.line_end())


class Folder:
    """A temporary working folder with the tool stand-in; `calls()` lists the
    arguments the stand-in was given, one run a line."""

    def __init__(self, program):
        self.program = program
        self.path = tempfile.mkdtemp(prefix="memsweep-")
        self.log = os.path.join(self.path, "calls.txt")
        if program.wine:
            # cmd.exe looks in the current folder first. The redirection comes
            # first: "echo -E0>>x" would take 0 as a handle number.
            self.write("RAMMap.bat", b"@>>calls.txt echo %*\r\n")
        else:
            bindir = os.path.join(self.path, "bin")
            os.mkdir(bindir)
            tool = os.path.join(bindir, "RAMMap")
            with open(tool, "w") as f:
                f.write('#!/bin/sh\necho "$*" >> "%s"\n' % self.log)
            os.chmod(tool, 0o755)

    def write(self, name, data):
        with open(os.path.join(self.path, name), "wb") as f:
            f.write(data)

    def env(self):
        env = dict(os.environ)
        if not self.program.wine:
            env["PATH"] = os.path.join(self.path, "bin") + os.pathsep + "/usr/bin:/bin"
        return env

    def calls(self):
        try:
            with open(self.log, "rb") as f:
                return [line.strip().decode() for line in f.read().splitlines()]
        except FileNotFoundError:
            return []

    def command(self):
        return ([self.program.emulator] if self.program.wine else []) + [self.program.binary]

    def start(self, **kwargs):
        return subprocess.Popen(self.command(), cwd=self.path, env=self.env(),
                                stdin=subprocess.DEVNULL, start_new_session=True, **kwargs)

    def run(self, timeout=60):
        """Runs to the end; for the paths on which the program exits."""
        return subprocess.run(self.command(), cwd=self.path, env=self.env(),
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout)

    def wait_for_calls(self, count, timeout=60):
        deadline = time.monotonic() + timeout
        while len(self.calls()) < count and time.monotonic() < deadline:
            time.sleep(0.05)
        return self.calls()

    def remove(self):
        shutil.rmtree(self.path, ignore_errors=True)


def stop(proc):
    """Ends a program started by `Folder.start`, and its process group."""
    if proc.poll() is None:
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
    proc.wait(timeout=30)
