"""Every kind of config.txt against the built program: the wait it asks the
system for (observed from outside, see harness.Trace), or the message it
prints, with status 1 and no command run. --binary, and --emulator for
memsweep.exe under Wine, as for e2e.py."""

import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

PROGRAM = None

FOLDER = "a folder named config.txt"
UNREADABLE = "config.txt without read permission"
BOM = b"\xef\xbb\xbf"
OPEN_FAILED, BAD_FORMAT = harness.OPEN_FAILED, harness.BAD_FORMAT

# (config.txt, what memsweep does with it: the wait in ms or its message,
#  the builds it applies to). The wait is count × 60000 modulo 2^32.
CASES = [
    (b"10", 600000, "both"),
    (b"\n\n15 words", 900000, "both"),
    (b"+7", 420000, "both"),
    (b"-0", 0, "both"),
    (b"0", 0, "both"),
    (b"-5", 4294667296, "both"),
    (b"-1", 4294907296, "both"),               # about 49.7 days
    (b"\t42\r\n", 2520000, "both"),
    (b"\r\v\f 3", 180000, "both"),
    (b"5 6", 300000, "both"),
    (b"00000000000000000000010", 600000, "both"),  # 23 digits, the value fits
    (b"71582", 4294920000, "both"),            # the largest that doesn't wrap
    (b"71583", 12704, "both"),                 # wraps to 12.7 s
    (b"2147483647", 4294907296, "both"),
    (b"-2147483648", 0, "both"),
    (b"1e3", 60000, "both"),
    (b"0x10", 0, "both"),
    (b"10\x00", 600000, "both"),
    (b"10\x1a", 600000, "both"),               # end of file to msvcrt's text mode
    (BOM + b"10", 600000, "both"),
    (BOM + b" \r\n10", 600000, "both"),
    (b" \t\r\n" * 262144 + b"9", 540000, "both"),  # 1 MiB of blanks first
    (BOM, BAD_FORMAT, "both"),
    (BOM + BOM + b"10", BAD_FORMAT, "both"),
    (b"\xff\xfe" + "10".encode("utf-16-le"), BAD_FORMAT, "both"),
    (b"", BAD_FORMAT, "both"),
    (b" ", BAD_FORMAT, "both"),
    (b"abc", BAD_FORMAT, "both"),
    (b"+", BAD_FORMAT, "both"),
    (b"-", BAD_FORMAT, "both"),
    (b"+-5", BAD_FORMAT, "both"),
    (b"- 5", BAD_FORMAT, "both"),
    (b"2147483648", BAD_FORMAT, "both"),
    (b"-2147483649", BAD_FORMAT, "both"),
    (b"9" * 20, BAD_FORMAT, "both"),
    ("１０".encode(), BAD_FORMAT, "both"),       # full-width digits
    (b"\x0010", BAD_FORMAT, "both"),
    (b"\x1a10", BAD_FORMAT, "both"),           # msvcrt: an empty file
    (FOLDER, OPEN_FAILED, "both"),
    (UNREADABLE, OPEN_FAILED, "linux"),
]


def as_nobody(binary):
    """On Linux as root, the wrapper that runs the program as nobody (root
    reads any file); None if nobody can't reach the binary."""
    if os.geteuid() != 0:
        return []
    wrapper = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"]
    reach = subprocess.run(wrapper + ["test", "-x", binary], stdin=subprocess.DEVNULL)
    return wrapper if reach.returncode == 0 else None


def name(config):
    return config if isinstance(config, str) else repr(config[:24]) + ("..." if len(config) > 24 else "")


class Corpus(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        harness.Trace.prepare(PROGRAM)

    def test_every_config(self):
        build = "wine" if PROGRAM.wine else "linux"
        started = time.monotonic()
        for config, expected, builds in CASES:
            if builds not in ("both", build):
                continue
            with self.subTest(name(config)):
                self.check(config, expected)
        print("\n%s: %.1f s" % (build, time.monotonic() - started), file=sys.stderr)

    def check(self, config, expected):
        folder = harness.Folder(PROGRAM)
        self.addCleanup(folder.remove)
        trace = harness.Trace(PROGRAM)
        self.addCleanup(trace.remove)
        wrapper = []
        if config == FOLDER:
            os.mkdir(os.path.join(folder.path, "config.txt"))
        elif config == UNREADABLE:
            folder.write("config.txt", b"10")
            os.chmod(os.path.join(folder.path, "config.txt"), 0)
            os.chmod(folder.path, 0o755)
            wrapper = as_nobody(PROGRAM.binary)
            if wrapper is None:
                self.skipTest("user nobody can't reach %s" % PROGRAM.binary)
        else:
            folder.write("config.txt", config)

        status, out, events = trace.watch(
            folder, lambda events: any(kind == "sleep" for kind, _ in events), wrapper=wrapper)

        if isinstance(expected, int):
            self.assertIsNone(status, "it exited, printing %r" % out.head)
            # The first wait comes after the whole first pass.
            self.assertEqual(events[:6], [("run", line) for line in self.lines()] + [("sleep", expected)])
            self.assertEqual(folder.calls()[:5], harness.ORDER)
        else:
            self.assertEqual((status, out.head), (1, PROGRAM.message(expected)))
            self.assertEqual([e for e in events if e[0] == "sleep"], [])
            self.assertEqual(folder.calls(), [])

    def lines(self):
        # strace sees a process start, relay the line handed to system().
        return ["RAMMap " + arg if PROGRAM.wine else None for arg in harness.ORDER]


if __name__ == "__main__":
    harness.main(globals())
