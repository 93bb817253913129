import os
import pathlib
import subprocess
import sys
import time

import pytest

from kivhost import PluginFolder


@pytest.fixture(scope="session", autouse=True)
def display():
    """Windows need a display: a private Xvfb unless one is given."""
    if os.environ.get("DISPLAY"):
        yield os.environ["DISPLAY"]
        return
    number = 90 + os.getpid() % 100
    server = subprocess.Popen(["Xvfb", ":%d" % number, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1)
    os.environ["DISPLAY"] = ":%d" % number
    yield os.environ["DISPLAY"]
    server.terminate()
    server.wait()


@pytest.fixture
def plugin(tmp_path):
    return PluginFolder(tmp_path / "plugins")


sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "support"))
from feed_server import FeedServer  # noqa: E402


@pytest.fixture
def feed_server():
    """A local feed server for one test, stopped at its end."""
    with FeedServer() as server:
        yield server
