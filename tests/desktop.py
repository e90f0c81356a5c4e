"""A desktop for Windows programs under Wine: a virtual X display, Wine's
notification area on it, and ways to look at what the programs show.

    with desktop.Display() as display, desktop.Wine(display, emulator) as wine:
        wine.start_desktop()                      # explorer and its tray, first
        proc = wine.start(["wineconsole", exe], cwd=folder)
        shot = display.screenshot("shot.png")     # also kept as a PNG
        where = shot.find(desktop.load_icon("icon.ico"))

Display is an Xvfb server on a display number it picks itself; Wine runs
programs through the emulator (tools/wine-run) in one prefix. Leaving either
block ends everything it started: Xvfb by its pid, Wine by the prefix's server.
Needs Xvfb, ImageMagick (import, convert), x11-utils (xwininfo) and xdotool.
"""

import os
import re
import shutil
import signal
import subprocess
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WINESERVER = "/usr/lib/wine/wineserver"


def wait_until(probe, timeout, interval=0.2):
    """Calls probe() until it returns something true, and returns that, or
    None once `timeout` seconds have passed."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value or time.monotonic() >= deadline:
            return value or None
        time.sleep(interval)


class Window:
    """A top-level X window as `xwininfo -root -children` lists it."""

    def __init__(self, wid, title, wm_class, x, y, width, height):
        self.id, self.title, self.wm_class = wid, title, wm_class
        self.x, self.y, self.width, self.height = x, y, width, height

    def __repr__(self):
        return "Window(%s %r %r %dx%d+%d+%d)" % (
            self.id, self.title, self.wm_class, self.width, self.height, self.x, self.y)


# 0x400008 "Wine System Tray": ("explorer.exe" "explorer.exe")  160x20+3+22  +3+22
_TREE_LINE = re.compile(
    r'^\s+(0x[0-9a-f]+) (?:"(.*)"|\(has no name\)): \((?:"([^"]*)" "[^"]*")?\)'
    r'\s+(\d+)x(\d+)[+-]-?\d+[+-]-?\d+\s+\+?(-?\d+)\+?(-?\d+)$')


class Display:
    """An Xvfb server on a free display number, for `with`."""

    def __init__(self, screen="1024x768x24"):
        self.screen = screen
        self.proc = None
        self.name = None

    def __enter__(self):
        read_end, write_end = os.pipe()
        try:
            self.proc = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", self.screen,
                 "-nolisten", "tcp"],
                pass_fds=[write_end], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL, start_new_session=True)
            os.close(write_end)
            write_end = None
            number = b""
            while not number.endswith(b"\n"):
                chunk = os.read(read_end, 16)  # Xvfb writes it once it listens
                if not chunk:
                    raise RuntimeError("Xvfb ended before it chose a display")
                number += chunk
        except BaseException:
            self.__exit__(None, None, None)
            raise
        finally:
            if write_end is not None:
                os.close(write_end)
            os.close(read_end)
        self.name = ":" + number.decode().strip()
        return self

    def __exit__(self, *exc):
        if self.proc is not None and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(timeout=10)

    def env(self, base=None):
        env = dict(os.environ if base is None else base)
        env["DISPLAY"] = self.name
        return env

    def _run(self, args, **kwargs):
        return subprocess.run(args, env=self.env(), check=True, capture_output=True,
                              timeout=30, **kwargs).stdout

    def windows(self):
        """The top-level windows, topmost last."""
        out = self._run(["xwininfo", "-root", "-children"]).decode("utf-8", "replace")
        found = []
        for line in out.splitlines():
            m = _TREE_LINE.match(line)
            if m:
                wid, title, cls, w, h, x, y = m.groups()
                found.append(Window(wid, title, cls, int(x), int(y), int(w), int(h)))
        found.reverse()  # xwininfo lists the topmost first
        return found

    def find_windows(self, title):
        """The windows whose title ends with `title`."""
        return [w for w in self.windows() if w.title is not None and w.title.endswith(title)]

    def viewable(self, window):
        """Whether the window is mapped and all its ancestors are."""
        out = self._run(["xwininfo", "-id", window.id]).decode()
        return "Map State: IsViewable" in out

    def screenshot(self, path=None):
        """The whole screen as an Image; saved as `path` (PNG) too if given."""
        image = Image.from_pnm(self._run(["import", "-window", "root", "-depth", "8", "ppm:-"]))
        if path is not None:
            image.save(path)
        return image

    def move_pointer(self, x, y):
        self._run(["xdotool", "mousemove", str(x), str(y)])


class Image:
    """Pixels as 8-bit RGBA rows (alpha 255 where a picture has none)."""

    def __init__(self, width, height, rgba):
        assert len(rgba) == width * height * 4
        self.width, self.height, self.rgba = width, height, bytes(rgba)

    @classmethod
    def from_pnm(cls, data):
        """Reads a binary PPM (P6) or PAM (P7, RGB_ALPHA or RGB) with maxval 255."""
        if data.startswith(b"P6"):
            m = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", data)
            width, height, maxval = map(int, m.groups())
            depth, body = 3, data[m.end():]
        elif data.startswith(b"P7"):
            head, _, body = data.partition(b"ENDHDR\n")
            fields = dict(line.split(None, 1) for line in head.decode().splitlines()[1:] if line)
            width, height = int(fields["WIDTH"]), int(fields["HEIGHT"])
            depth, maxval = int(fields["DEPTH"]), int(fields["MAXVAL"])
        else:
            raise ValueError("not a binary PPM or PAM picture")
        if maxval != 255 or depth not in (3, 4):
            raise ValueError("only 8-bit RGB or RGBA pictures are read")
        body = body[:width * height * depth]
        if depth == 4:
            return cls(width, height, body)
        rgba = bytearray(width * height * 4)
        rgba[0::4], rgba[1::4], rgba[2::4] = body[0::3], body[1::3], body[2::3]
        rgba[3::4] = b"\xff" * (width * height)
        return cls(width, height, rgba)

    def pixel(self, x, y):
        i = (y * self.width + x) * 4
        return tuple(self.rgba[i:i + 4])

    def crop(self, x, y, width, height):
        rows = [self.rgba[((y + r) * self.width + x) * 4:((y + r) * self.width + x + width) * 4]
                for r in range(height)]
        return Image(width, height, b"".join(rows))

    def save(self, path):
        """Writes the picture in the format `path`'s extension names."""
        header = ("P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n"
                  % (self.width, self.height)).encode()
        subprocess.run(["convert", "pam:-", path], input=header + self.rgba, check=True,
                       capture_output=True, timeout=30)

    def find(self, template, tolerance=8):
        """The top-left (x, y) of the first place where every opaque pixel of
        `template` shows, each channel within `tolerance`; None if none."""
        spots = [(x, y, template.rgba[(y * template.width + x) * 4:][:3])
                 for y in range(template.height) for x in range(template.width)
                 if template.rgba[(y * template.width + x) * 4 + 3] == 255]
        if not spots:
            raise ValueError("the template has no opaque pixel")
        for top in range(self.height - template.height + 1):
            for left in range(self.width - template.width + 1):
                if all(self._near(left + x, top + y, rgb, tolerance) for x, y, rgb in spots):
                    return left, top
        return None

    def _near(self, x, y, rgb, tolerance):
        i = (y * self.width + x) * 4
        return all(abs(self.rgba[i + c] - rgb[c]) <= tolerance for c in range(3))


def load_icon(path, index=0):
    """One image of an .ico file (the first is the smallest, 16 px, as the
    notification area shows it), as an Image."""
    data = subprocess.run(["convert", "%s[%d]" % (path, index), "-depth", "8", "pam:-"], check=True,
                          capture_output=True, timeout=30).stdout
    return Image.from_pnm(data)


class Wine:
    """Programs run by the emulator (tools/wine-run) in one Wine prefix, on a
    Display, for `with`. Leaving the block ends the prefix's server and with
    it every Windows program of the prefix: Wine tests take turns."""

    def __init__(self, display, emulator, prefix=None):
        self.display = display
        self.emulator = os.path.abspath(emulator)
        # tools/wine-run's own default, passed on so both name the same prefix.
        self.prefix = prefix or os.environ.get("WINEPREFIX") or os.path.join(
            REPO, "build", "wineprefix")
        self.procs = []
        self.logdir = None

    def __enter__(self):
        self.logdir = tempfile.mkdtemp(prefix="wine-desktop-")
        return self

    def __exit__(self, *exc):
        self.kill_server()
        for proc in self.procs:
            try:
                proc.wait(timeout=30)
            except subprocess.TimeoutExpired:
                try:
                    os.killpg(proc.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                proc.wait(timeout=30)
        self.procs = []
        shutil.rmtree(self.logdir, ignore_errors=True)

    def env(self, **extra):
        env = self.display.env()
        env["WINEPREFIX"] = self.prefix
        env.setdefault("WINEDEBUG", "-all")
        env.update(extra)
        return env

    def kill_server(self):
        """Ends the prefix's server and its programs, and waits for it to go."""
        env = self.env()
        subprocess.run([WINESERVER, "-k"], env=env, capture_output=True, timeout=60)
        subprocess.run([WINESERVER, "-w"], env=env, capture_output=True, timeout=60)

    def start(self, args, cwd=None, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
              **env):
        """Starts `emulator args...` in its own session, e.g.
        start(["wineconsole", "cmd"]) for a console window; extra keyword
        arguments are environment variables (WINEDEBUG="+relay")."""
        proc = subprocess.Popen([self.emulator] + list(args), cwd=cwd, env=self.env(**env),
                                stdin=subprocess.DEVNULL, stdout=stdout, stderr=stderr,
                                start_new_session=True)
        self.procs.append(proc)
        return proc

    def run(self, args, timeout=60, **env):
        """Runs `emulator args...` to its end; returns its CompletedProcess.
        Not for the server's first program: what that starts (the server,
        explorer) would hold the output pipes open."""
        return subprocess.run([self.emulator] + list(args), env=self.env(**env),
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout)

    def start_desktop(self, timeout=60, **env):
        """Gives the prefix a fresh server whose desktop and notification area
        are on this display, and returns once they are up.

        The first Windows program in a server starts explorer, which sets up
        the notification area just after the desktop window that lets that
        program go on: an icon added in between is lost. Explorer says when
        its message loop starts, after the notification area is set up.
        Extra keyword arguments are explorer's environment variables (LANG,
        for the tooltips' language)."""
        self.kill_server()
        log_path = os.path.join(self.logdir, "explorer.log")
        with open(log_path, "wb") as log:
            # Explorer inherits the first program's stderr and debug channels.
            first = self.start(["cmd", "/c", "exit"], stderr=log,
                               **dict(env, WINEDEBUG="-all,+explorer"))

        def ready():
            with open(log_path, "rb") as f:
                return b"desktop message loop starting" in f.read()

        if not wait_until(ready, timeout):
            raise RuntimeError("Wine's desktop did not start within %d s" % timeout)
        first.wait(timeout=timeout)
