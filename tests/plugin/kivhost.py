"""Runs the stand-in host with the real KIV.dll under Wine, for the tests.

The Windows build folder comes from KIV_WIN32_BUILD (default: build/win32
beside the sources): the 32-bit build, or its 64-bit twin on a machine that
runs no 32-bit processes. KIV_PRODUCT_BUILD names the 32-bit build that is
shipped (default: build/win32), whose file the tests inspect. Each test gets a plug-in folder of its own holding a copy
of KIV.dll and, when asked, a KIV.ini.
"""
import os
import pathlib
import queue
import shutil
import subprocess
import sys
import threading
import time

SOURCE_DIR = pathlib.Path(__file__).resolve().parents[2]
WIN32_BUILD = pathlib.Path(os.environ.get("KIV_WIN32_BUILD", SOURCE_DIR / "build" / "win32"))
WINE_RUN = WIN32_BUILD / "wine-run"
PRODUCT_BUILD = pathlib.Path(os.environ.get("KIV_PRODUCT_BUILD", SOURCE_DIR / "build" / "win32"))


def is_64bit_build():
    """Whether the KIV.dll under test is the 64-bit twin (PE machine x86-64)."""
    image = (WIN32_BUILD / "KIV.dll").read_bytes()
    header = int.from_bytes(image[0x3c:0x40], "little")
    return int.from_bytes(image[header + 4:header + 6], "little") == 0x8664


def windows_path(path):
    """The Wine path of a Linux path (drive Z: is the root)."""
    return "Z:" + str(pathlib.Path(path).resolve()).replace("/", "\\")


def sjis(text):
    return text.encode("cp932")


class PluginFolder:
    """A folder holding KIV.dll as the mail client's plug-in folder would."""

    def __init__(self, path, dll_name="KIV.dll"):
        self.path = pathlib.Path(path)
        self.path.mkdir(parents=True, exist_ok=True)
        self.dll = self.path / dll_name
        shutil.copyfile(WIN32_BUILD / "KIV.dll", self.dll)
        stem = dll_name.rsplit(".", 1)[0] if "." in dll_name else dll_name
        self.ini = self.path / (stem + ".ini")
        self.data = self.path / "KIV"
        self.store = self.path / "store"

    def write_ini(self, content):
        """Writes KIV.ini; str is encoded in code page 932, bytes are taken as they are."""
        self.ini.write_bytes(sjis(content) if isinstance(content, str) else content)

    def read_ini(self):
        return self.ini.read_bytes()

    def messages(self, folder="Inbox\\KIV"):
        """The messages appended to a host folder, oldest first, as bytes."""
        directory = self.store.joinpath(*folder.split("\\"))
        if not directory.is_dir():
            return []
        return [p.read_bytes() for p in sorted(directory.glob("*.eml"))]


def host_command_line(plugin, host="kivhost", boxes=None, folder=None, extra=()):
    args = [str(WINE_RUN), str(WIN32_BUILD / "host" / (host + ".exe")),
            "--plugin", windows_path(plugin.dll), "--store", windows_path(plugin.store)]
    if boxes:
        args += ["--boxes", boxes]
    if folder is not None:
        args += ["--folder", folder]
    return args + list(extra)


def run_host(plugin, *commands, timeout=60, **options):
    """Runs a script of host commands to its end; returns the host's output lines."""
    result = subprocess.run(host_command_line(plugin, **options) + list(commands),
                            cwd=plugin.path, capture_output=True, timeout=timeout)
    lines = result.stdout.decode("utf-8", "replace").splitlines()
    assert lines and lines[-1] == "done", "host did not finish: %r %r" % (lines, result.stderr[-2000:])
    return lines


class HostSession:
    """A host that takes its commands one at a time, for tests that interleave
    host commands with what they do to the feed server or the files."""

    def __init__(self, plugin, **options):
        self.process = subprocess.Popen(host_command_line(plugin, extra=["--stdin"], **options),
                                        cwd=plugin.path, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.lines = queue.Queue()
        self.seen = []
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.process.stdout:
            self.lines.put(raw.decode("utf-8", "replace").rstrip("\r\n"))
        self.lines.put(None)

    def send(self, command):
        self.process.stdin.write((command + "\n").encode("cp932"))
        self.process.stdin.flush()

    def expect(self, prefix, timeout=30):
        """Waits for an output line starting with prefix and returns it."""
        deadline = time.monotonic() + timeout
        while True:
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                raise AssertionError("no line %r; seen %r" % (prefix, self.seen[-20:]))
            try:
                line = self.lines.get(timeout=remaining)
            except queue.Empty:
                continue
            if line is None:
                raise AssertionError("host ended before %r; seen %r" % (prefix, self.seen[-20:]))
            self.seen.append(line)
            if line.startswith(prefix):
                return line

    def close(self, timeout=60):
        """Ends the script and waits for the host; returns every line seen."""
        if self.process.poll() is None:
            try:
                self.send("quit")
                self.process.stdin.close()
            except OSError:
                pass
        try:
            self.process.wait(timeout=timeout)
        finally:
            if self.process.poll() is None:
                self.process.kill()
        while True:
            try:
                line = self.lines.get(timeout=5)
            except queue.Empty:
                break
            if line is None:
                break
            self.seen.append(line)
        return self.seen


SCREENSHOTS = WIN32_BUILD / "screenshots"


def drive_dialog(plugin, steps, before=(), after=(), **options):
    """Opens the preferences (`setup`) while the host's dialog driver plays
    `steps`, one a line (see host/dialog_driver.cpp); the lines may hold
    Japanese text. `before` and `after` are host commands around it. Returns
    the host's output lines."""
    script = plugin.path / "steps.txt"
    script.write_bytes("\n".join(steps).encode("cp932"))
    commands = ["load", *before, "drive " + windows_path(script), *after, "unload"]
    host = subprocess.Popen(host_command_line(plugin, **options) + commands, cwd=plugin.path,
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    lines = []
    timer = threading.Timer(90, host.kill)  # a host that never ends fails the test below
    timer.start()
    try:
        for raw in host.stdout:
            lines.append(raw.decode("utf-8", "replace").rstrip("\r\n"))
            if lines[-1] == "done":
                break
        try:
            host.wait(timeout=15)
        except subprocess.TimeoutExpired:
            # Everything is said and done once "done" is out: a process that
            # then hangs inside Wine's process exit is ended here.
            sys.stderr.write("kivhost hung in its exit after \"done\"; killed\n")
            host.kill()
            host.wait()
    finally:
        timer.cancel()
        host.stdout.close()
    assert lines and lines[-1] == "done", "host did not finish: %r" % lines[-40:]
    return lines


def file_step(path):
    return "file " + windows_path(path)


def file_bytes(lines, path):
    """What a `file` step showed of a file: its bytes, or None when missing."""
    prefix = "file " + windows_path(path) + " "
    line = [line for line in lines if line.startswith(prefix)][-1]
    rest = line[len(prefix):]
    return None if rest == "exists=0" else bytes.fromhex(rest[len("hex="):])
