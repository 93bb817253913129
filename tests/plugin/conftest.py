import os
import subprocess
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
