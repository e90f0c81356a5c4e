"""Drives a built memsweep the way a user does: a working folder holding
config.txt (and icon.ico), and a RAMMap stand-in that records its arguments.

The same harness runs the Linux binary directly and memsweep.exe under Wine.
"""

import argparse
import os
import re
import shutil
import signal
import subprocess
import tempfile
import threading
import time
import unittest

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
            # cmd.exe looks in the current folder first.
            self.tool = os.path.join(self.path, "RAMMap.bat")
        else:
            os.mkdir(os.path.join(self.path, "bin"))
            self.tool = os.path.join(self.path, "bin", "RAMMap")
        self.write_tool()

    def write_tool(self, then=""):
        """(Re)writes the stand-in: it records its arguments, then runs `then`
        (a line for cmd.exe under Wine, for sh on Linux)."""
        if self.program.wine:
            # The redirection comes first: "echo -E0>>x" would take 0 as a
            # handle number.
            script = "@>>calls.txt echo %*\r\n" + (then and "@%s\r\n" % then)
        else:
            script = '#!/bin/sh\necho "$*" >> "%s"\n%s' % (self.log, then and then + "\n")
        with open(self.tool, "w", newline="") as f:
            f.write(script)
        os.chmod(self.tool, 0o755)

    def write(self, name, data):
        with open(os.path.join(self.path, name), "wb") as f:
            f.write(data)

    def env(self, extra=None):
        env = dict(os.environ)
        if not self.program.wine:
            env["PATH"] = os.path.join(self.path, "bin") + os.pathsep + "/usr/bin:/bin"
        env.update(extra or {})
        return env

    def calls(self):
        try:
            with open(self.log, "rb") as f:
                return [line.strip().decode() for line in f.read().splitlines()]
        except FileNotFoundError:
            return []

    def command(self):
        return ([self.program.emulator] if self.program.wine else []) + [self.program.binary]

    def start(self, wrapper=(), env=None, **kwargs):
        """Starts the program in its own process group, behind `wrapper` (a
        tracer, say) and with `env` added to the environment."""
        return subprocess.Popen(list(wrapper) + self.command(), cwd=self.path,
                                env=self.env(env), stdin=subprocess.DEVNULL,
                                start_new_session=True, **kwargs)

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
    """Ends a program started by `Folder.start` and what is left of its
    process group (a command it started may outlive it)."""
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    proc.wait(timeout=30)


class Trace:
    """Watches from outside what a running memsweep asks of the system: the
    commands it starts and the waits it sleeps, without changing it. On Linux
    strace follows memsweep's own process (not its children); under Wine,
    relay tracing logs the calls of its main thread to msvcrt.system and
    KERNEL32.Sleep (`prepare` names them in the prefix once).

    `events()` lists ("run", line) and ("sleep", ms) in order; `lines()` is
    the raw log, for calls added with `syscalls` / `functions`."""

    RUN = re.compile(r"(clone3?|v?fork)\(")
    NANOSLEEP = re.compile(r"clock_nanosleep\(CLOCK_MONOTONIC, 0, \{tv_sec=(\d+), tv_nsec=(\d+)\}")
    RELAY = re.compile(r"([0-9a-f]+):Call ([\w.]+)\((.*)\) ret=")
    SYSTEM = re.compile(r'[0-9a-f]+ "(.*)"$')

    def __init__(self, program, syscalls=()):
        self.program = program
        self.syscalls = ["clone", "clone3", "fork", "vfork", "clock_nanosleep"] + list(syscalls)
        fd, self.path = tempfile.mkstemp(prefix="memsweep-trace-")
        os.close(fd)

    @staticmethod
    def prepare(program, functions=()):
        """Under Wine: limits relay tracing to the calls watched, so the log
        stays small. It is a registry value of the prefix, read by every
        process that starts afterwards."""
        if not program.wine:
            return
        names = ";".join(["KERNEL32.Sleep", "msvcrt.system"] + list(functions))
        subprocess.run([program.emulator, "reg", "add", r"HKCU\Software\Wine\Debug",
                        "/v", "RelayInclude", "/d", names, "/f"],
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, env=dict(os.environ, WINEDEBUG="-all"),
                       check=True, timeout=120)

    def start(self, folder, wrapper=(), env=None, **kwargs):
        """Starts memsweep in `folder` under the trace."""
        env = dict(env or {})
        if self.program.wine:
            env["WINEDEBUG"] = "+relay"
            with open(self.path, "wb") as log:
                return folder.start(wrapper=wrapper, env=env, stderr=log, **kwargs)
        kwargs.setdefault("stderr", subprocess.DEVNULL)  # the commands' complaints
        wrapper = ["strace", "-qq", "-e", "signal=none", "-e",
                   "trace=" + ",".join(self.syscalls), "-o", self.path] + list(wrapper)
        return folder.start(wrapper=wrapper, env=env, **kwargs)

    def lines(self):
        """The log; under Wine only memsweep's main thread, the first to
        make a traced call (its children start later)."""
        with open(self.path, "rb") as f:
            lines = f.read().decode("utf-8", "replace").splitlines()
        if not self.program.wine:
            return lines
        calls = [m for m in map(self.RELAY.match, lines) if m]
        return [m.group(0) for m in calls if m.group(1) == calls[0].group(1)]

    def events(self):
        events = []
        for line in self.lines():
            if self.program.wine:
                m = self.RELAY.match(line)
                if m.group(2) == "msvcrt.system":
                    events.append(("run", self.SYSTEM.match(m.group(3)).group(1)))
                elif m.group(2) == "KERNEL32.Sleep":
                    events.append(("sleep", int(m.group(3), 16)))
            elif self.RUN.match(line):
                events.append(("run", None))
            else:
                m = self.NANOSLEEP.match(line)
                if m:
                    events.append(("sleep", int(m.group(1)) * 1000 + int(m.group(2)) // 1000000))
        return events

    def watch(self, folder, until, timeout=60, **kwargs):
        """Runs memsweep until `until(events)` holds or it exits, then ends
        it. Returns (exit status or None, its standard output, events);
        standard output is drained as it comes, and only its first 64 KiB and
        its length are kept."""
        proc = self.start(folder, stdout=subprocess.PIPE, **kwargs)
        out = Drain(proc.stdout)
        deadline = time.monotonic() + timeout
        try:
            while proc.poll() is None and not until(self.events()):
                if time.monotonic() > deadline:
                    raise TimeoutError("memsweep neither exited nor got there: %r" % self.events()[-20:])
                time.sleep(0.02)
        finally:
            status = proc.poll()
            stop(proc)
            out.join()
        return status, out, self.events()

    def remove(self):
        os.unlink(self.path)


class Drain(threading.Thread):
    """Reads a pipe to its end: `head` keeps the first 64 KiB, `size` counts."""

    def __init__(self, pipe):
        super().__init__(daemon=True)
        self.pipe, self.head, self.size = pipe, b"", 0
        self.start()

    def run(self):
        for block in iter(lambda: self.pipe.read1(1 << 16), b""):
            if len(self.head) < 1 << 16:
                self.head += block[: (1 << 16) - len(self.head)]
            self.size += len(block)
        self.pipe.close()

    def join(self, timeout=30):
        super().join(timeout)


def main(namespace, *options):
    """Runs a test script's cases against the build that --binary names (and
    --emulator, for memsweep.exe under Wine). Sets the script's PROGRAM, and
    for each further (option, default) pair the global of the option's name
    in capitals ("--tool" sets TOOL)."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--emulator")
    for option, default in options:
        parser.add_argument(option, default=default)
    args, rest = parser.parse_known_args()
    namespace["PROGRAM"] = Program(args.binary, args.emulator)
    for option, _ in options:
        name = option.lstrip("-")
        namespace[name.upper()] = getattr(args, name)
    unittest.main(argv=[namespace.get("__file__", "test")] + rest, verbosity=2)
