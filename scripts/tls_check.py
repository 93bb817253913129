"""Checks that Wine fetches over HTTPS in the project's prefix: a loopback
TLS server with a certificate from a throw-away authority, trusted in the
prefix for the check only, and a fetch through Windows' own HTTP client.
Without Wine's TLS library every https feed would be skipped, silently.

Usage: tls_check.py WINE...  (the command that runs a Windows program in the
prefix). Exits 0 when the fetch gave the served text.
"""
import pathlib
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "support"))
import tls_certificates  # noqa: E402
from feed_server import FeedServer  # noqa: E402

FETCH = """var request = new ActiveXObject("Microsoft.XMLHTTP");
request.open("GET", WScript.Arguments(0), false);
request.send();
WScript.Echo(request.status + " " + request.responseText);
"""
TEXT = "kiv tls check"


def main():
    wine = sys.argv[1:] or ["wine"]
    with tempfile.TemporaryDirectory(prefix="kiv-tls-") as folder:
        script = pathlib.Path(folder) / "fetch.js"
        script.write_text(FETCH)
        with tls_certificates.test_authority(wine) as authority, \
                FeedServer(tls=authority.issue("server")) as server:
            url = server.serve("/check", TEXT)
            # Into a file, not a pipe: Wine's services may inherit it.
            with open(pathlib.Path(folder) / "output.txt", "w+b") as output:
                result = subprocess.run(wine + ["cscript", "//nologo", "Z:" + str(script).replace("/", "\\"), url],
                                        stdin=subprocess.DEVNULL, stdout=output, stderr=subprocess.STDOUT,
                                        timeout=120)
                output.seek(0)
                text = output.read().decode("utf-8", "replace").strip()
    if text != "200 " + TEXT:
        sys.stderr.write("tls check: Wine could not fetch %s over HTTPS (got %r, exit %d)\n"
                         % (url, text[-2000:], result.returncode))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
