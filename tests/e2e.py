"""End-to-end tests of the built program: memsweep (Linux) or, with
--emulator, memsweep.exe under Wine."""

import os
import shutil
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

PROGRAM = None


class EndToEnd(unittest.TestCase):
    def setUp(self):
        self.folder = harness.Folder(PROGRAM)
        self.addCleanup(self.folder.remove)

    def test_count_zero_runs_whole_passes_in_order(self):
        self.folder.write("config.txt", b"0\n")
        proc = self.folder.start(stdout=open(os.devnull, "wb"))
        try:
            calls = self.folder.wait_for_calls(3 * 5)
        finally:
            harness.stop(proc)
        self.assertGreaterEqual(len(calls), 15, calls)
        for i, call in enumerate(calls):
            self.assertEqual(call, harness.ORDER[i % 5], "call %d of %r" % (i, calls))

    def test_refusals_write_their_message_and_exit_1(self):
        cases = [
            ("no config", None, harness.OPEN_FAILED),
            ("config is a folder", "dir", harness.OPEN_FAILED),
            ("empty config", b"", harness.BAD_FORMAT),
            ("word first", b"ten\n", harness.BAD_FORMAT),
            ("out of range", b"2147483648\n", harness.BAD_FORMAT),
        ]
        for name, config, message in cases:
            with self.subTest(name):
                folder = harness.Folder(PROGRAM)
                self.addCleanup(folder.remove)
                if config == "dir":
                    os.mkdir(os.path.join(folder.path, "config.txt"))
                elif config is not None:
                    folder.write("config.txt", config)
                result = folder.run()
                self.assertEqual(result.stdout, PROGRAM.message(message))
                self.assertEqual(result.returncode, 1)
                self.assertEqual(folder.calls(), [])

    def test_config_beside_the_program_is_not_used(self):
        app = os.path.join(self.folder.path, "app")
        os.mkdir(app)
        copy = os.path.join(app, os.path.basename(PROGRAM.binary))
        shutil.copy2(PROGRAM.binary, copy)
        self.folder.write("app/config.txt", b"0\n")
        folder_program = harness.Program(copy, PROGRAM.emulator)
        self.folder.program = folder_program
        result = self.folder.run()
        self.assertEqual(result.stdout, PROGRAM.message(harness.OPEN_FAILED))
        self.assertEqual(result.returncode, 1)
        self.assertEqual(self.folder.calls(), [])


if __name__ == "__main__":
    harness.main(globals())
