"""End-to-end tests of memsweep.exe on a Wine desktop (a virtual X display):
its own console window hidden while another console stays, its icon in the
notification area, an icon file that can't be loaded; and the DLLs the exe
needs."""

import contextlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop  # noqa: E402
import harness  # noqa: E402

PROGRAM = None
OBJDUMP = None
ICON = os.path.join(harness.REPO, "demo", "icon.ico")
# With no X tray manager, Wine's explorer shows its notification area as a
# small window at the top left of the screen.
TRAY_AREA = (0, 0, 240, 80)
RELAY_KEY = r"HKCU\Software\Wine\Debug"
CALLS = r"user32\.LoadImageA|shell32\.Shell_NotifyIconA"
RELAYED = "user32.LoadImageA;shell32.Shell_NotifyIconA"
# As WINEDEBUG=+relay shows them, after the thread id.
EXPECTED_CALLS = [
    # The name, IMAGE_ICON, the size the file gives, LR_LOADFROMFILE.
    r'Call user32\.LoadImageA\(00000000,\w+ "icon\.ico",00000001,00000000,00000000,\w*00000010\) ',
    r"Ret  user32\.LoadImageA\(\) retval=00000000 ",
    r"Call shell32\.Shell_NotifyIconA\(00000000,\w+\) ",  # NIM_ADD
    r"Ret  shell32\.Shell_NotifyIconA\(\) retval=00000001 ",  # taken by the notification area
]


def consoles(display):
    """The console windows on the screen (conhost's; not its IME windows)."""
    return [w for w in display.windows()
            if w.wm_class == "conhost.exe" and w.title != "Default IME"]


def start_in(wine, folder, **kwargs):
    """Starts memsweep in `folder` in a console of its own. LoadImageA looks
    for a relative name beside the exe before the working folder, and the
    build folder holds an icon.ico: the exe run is a copy in a bare folder."""
    os.mkdir(os.path.join(folder.path, "app"))
    exe = os.path.join(folder.path, "app", os.path.basename(PROGRAM.binary))
    shutil.copy2(PROGRAM.binary, exe)
    return wine.start(["wineconsole", exe], cwd=folder.path, **kwargs)


class OnWineDesktop(unittest.TestCase):
    """One Wine desktop for the class: the user's own prompt is opened first,
    then memsweep, from a folder holding config.txt and icon.ico, in a
    console of its own."""

    @classmethod
    def setUpClass(cls):
        stack = contextlib.ExitStack()
        cls.addClassCleanup(stack.close)
        cls.display = stack.enter_context(desktop.Display())
        cls.wine = stack.enter_context(desktop.Wine(cls.display, PROGRAM.emulator))
        cls.wine.start_desktop()
        cls.set_relay_include(stack)

        home = tempfile.mkdtemp(prefix="memsweep-home-")
        stack.callback(shutil.rmtree, home, ignore_errors=True)
        cls.wine.start(["wineconsole", "cmd"], cwd=home)
        shown = desktop.wait_until(lambda: [w for w in consoles(cls.display)
                                            if cls.display.viewable(w)], 60)
        if not shown:
            raise RuntimeError("the prompt's console window did not show")
        cls.prompt = shown[0]
        cls.before = cls.display.screenshot().crop(*TRAY_AREA)

        cls.folder = harness.Folder(PROGRAM)
        stack.callback(cls.folder.remove)
        cls.folder.write("config.txt", b"10\n")
        shutil.copy(ICON, os.path.join(cls.folder.path, "icon.ico"))
        start_in(cls.wine, cls.folder)
        # The passes start once the console is hidden and the icon added.
        cls.calls = cls.folder.wait_for_calls(5)
        cls.own = [w for w in consoles(cls.display) if w.id != cls.prompt.id]

    @classmethod
    def set_relay_include(cls, stack):
        """Limits WINEDEBUG=+relay to the calls these tests look at; the
        prefix's own setting comes back at the end."""
        query = cls.wine.run(["reg", "query", RELAY_KEY, "/v", "RelayInclude"])
        old = re.search(rb"RelayInclude\s+REG_SZ\s+(.*?)\r?\n", query.stdout)
        cls.reg(["add", RELAY_KEY, "/v", "RelayInclude", "/d", RELAYED, "/f"])
        if old:
            stack.callback(cls.reg, ["add", RELAY_KEY, "/v", "RelayInclude", "/d",
                                     old.group(1).decode(), "/f"])
        else:
            stack.callback(cls.reg, ["delete", RELAY_KEY, "/v", "RelayInclude", "/f"])

    @classmethod
    def reg(cls, args):
        result = cls.wine.run(["reg"] + args)
        if result.returncode != 0:
            raise RuntimeError("reg %s: %r" % (" ".join(args), result.stdout))

    def test_hides_its_own_console_and_leaves_the_prompt(self):
        self.assertEqual(self.calls, harness.ORDER)
        self.assertEqual(len(self.own), 1, self.display.windows())
        cases = [
            ("memsweep's console", self.own[0], False),
            ("the prompt opened before it", self.prompt, True),
        ]
        for name, window, viewable in cases:
            with self.subTest(name):
                settled = desktop.wait_until(
                    lambda: self.display.viewable(window) == viewable, 10)
                self.assertTrue(settled, "%r viewable: %s" % (window, not viewable))

    def test_icon_shows_in_the_notification_area(self):
        icon = desktop.load_icon(ICON)
        self.assertIsNone(self.before.find(icon), "the icon before memsweep started")
        # The add is made once; the picture is taken until it shows.
        shots = []

        def icon_shown():
            shots.append(self.display.screenshot())
            return shots[-1].crop(*TRAY_AREA).find(icon)

        where = desktop.wait_until(icon_shown, 20, interval=0.5)
        if where is None:
            path = os.path.join(tempfile.gettempdir(), "memsweep-no-icon.png")
            shots[-1].save(path)
            self.fail("no icon in the notification area; the screen is in " + path)
        tray = self.display.find_windows("Wine System Tray")
        self.assertEqual(len(tray), 1, self.display.windows())
        x, y = where[0] + TRAY_AREA[0], where[1] + TRAY_AREA[1]
        self.assertTrue(tray[0].x <= x and x + icon.width <= tray[0].x + tray[0].width
                        and tray[0].y <= y and y + icon.height <= tray[0].y + tray[0].height,
                        "icon at %d,%d, outside %r" % (x, y, tray[0]))

    def test_icon_that_cannot_be_loaded_is_added_as_none(self):
        cases = [
            ("no icon.ico", None),
            ("icon.ico is not an icon", b"not an icon\r\n"),
        ]
        for name, icon in cases:
            with self.subTest(name):
                folder = harness.Folder(PROGRAM)
                self.addCleanup(folder.remove)
                folder.write("config.txt", b"10\n")
                if icon is not None:
                    folder.write("icon.ico", icon)
                with open(os.path.join(folder.path, "relay.log"), "wb") as log:
                    start_in(self.wine, folder, stderr=log, WINEDEBUG="-all,+relay")
                self.assertEqual(folder.wait_for_calls(5), harness.ORDER)
                with open(os.path.join(folder.path, "relay.log"), "rb") as f:
                    relay = f.read().decode("latin-1")
                traced = [line for line in relay.splitlines()
                          if re.match(r"\w+:(Call|Ret) +(%s)\(" % CALLS, line)]
                self.assertEqual(len(traced), len(EXPECTED_CALLS), traced)
                for line, expected in zip(traced, EXPECTED_CALLS):
                    self.assertRegex(line, "^" + traced[0].split(":")[0] + ":" + expected)


class ImportTable(unittest.TestCase):
    def test_imports_only_system_dlls(self):
        out = subprocess.run([OBJDUMP, "-p", PROGRAM.binary], check=True,
                             capture_output=True, text=True, timeout=60).stdout
        dlls = sorted(re.findall(r"DLL Name: (\S+)", out), key=str.lower)
        self.assertEqual(dlls, ["KERNEL32.dll", "msvcrt.dll", "SHELL32.dll", "USER32.dll"])


if __name__ == "__main__":
    harness.main(globals(), ("--objdump", "x86_64-w64-mingw32-objdump"))
