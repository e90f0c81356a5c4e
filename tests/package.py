"""Checks the Windows release ZIP that cpack makes: its name, and that it
holds exactly the built program, a config.txt of 10, the generated icon, the
logon task and the guide, at the top level."""

import argparse
import os
import re
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET
import zipfile

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PACKAGING = os.path.join(REPO, "packaging")
TASK_NS = {"t": "http://schemas.microsoft.com/windows/2004/02/mit/task"}
ARGS = None


def read(path):
    with open(path, "rb") as f:
        return f.read()


def generated_icon():
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "icon.ico")
        subprocess.run([sys.executable, os.path.join(REPO, "tools", "make_icon.py"), out],
                       check=True)
        return read(out)


class Package(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        name = "memsweep-%s-win64.zip" % ARGS.version
        cls.path = os.path.join(ARGS.package_dir, name)
        if not os.path.isfile(cls.path):  # the name check
            raise AssertionError("no %s: make it with cpack --config CPackConfig.cmake"
                                 " -B package" % cls.path)
        with zipfile.ZipFile(cls.path) as z:
            cls.names = z.namelist()
            cls.files = {n: z.read(n) for n in cls.names}

    def test_files_at_the_top_and_each_as_built(self):
        self.assertEqual(sorted(self.names), sorted(
            ["memsweep.exe", "config.txt", "icon.ico", "memsweep-task.xml", "README.txt"]))
        cases = [
            ("memsweep.exe", read(ARGS.exe)),
            ("config.txt", b"10\r\n"),
            ("icon.ico", generated_icon()),
            ("memsweep-task.xml", read(os.path.join(PACKAGING, "memsweep-task.xml"))),
            ("README.txt", read(os.path.join(PACKAGING, "README.txt"))),
        ]
        for name, expected in cases:
            with self.subTest(name):
                self.assertTrue(self.files[name] == expected, "%s differs" % name)

    def test_guide_reads_in_notepad(self):
        guide = self.files["README.txt"]
        self.assertEqual(guide.count(b"\n"), guide.count(b"\r\n"), "bare LF line ends")
        text = guide.decode("utf-8-sig")  # raises on anything but UTF-8
        for chinese in ("rammap--自动清理虚拟内存(间隔:10分钟)", "无法打开配置文件！", "配置文件格式错误！"):
            with self.subTest(chinese):
                self.assertIn(chinese, text)

    def test_task_and_guide_name_one_folder(self):
        data = self.files["memsweep-task.xml"]
        self.assertTrue(data.startswith(b"\xff\xfe"), "UTF-16LE with a byte-order mark")
        task = ET.fromstring(data.decode("utf-16"))
        exec_ = task.find("t:Actions/t:Exec", TASK_NS)
        command = exec_.findtext("t:Command", namespaces=TASK_NS).strip('"')
        folder = exec_.findtext("t:WorkingDirectory", namespaces=TASK_NS)
        self.assertEqual(command, folder + "\\memsweep.exe")
        for path, value in [
            ("t:Principals/t:Principal/t:RunLevel", "HighestAvailable"),
            ("t:Principals/t:Principal/t:LogonType", "InteractiveToken"),
            ("t:Settings/t:ExecutionTimeLimit", "PT0S"),
            ("t:Settings/t:DisallowStartIfOnBatteries", "false"),
            ("t:Settings/t:StopIfGoingOnBatteries", "false"),
        ]:
            with self.subTest(path):
                self.assertEqual(task.findtext(path, namespaces=TASK_NS), value)
        self.assertIsNotNone(task.find("t:Triggers/t:LogonTrigger", TASK_NS))
        guide = self.files["README.txt"].decode("utf-8-sig")
        commands = re.findall(r'schtasks /create /tn memsweep /xml "([^"]+)"', guide)
        self.assertEqual(commands, [folder + "\\memsweep-task.xml"])


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--package-dir", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--exe", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
