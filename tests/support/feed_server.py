"""A small HTTP/1.1 feed server on 127.0.0.1 for the tests and the demo.

Each path is programmed with `serve`: status, body (bytes, or a function of
the request's number on that path), extra headers such as Last-Modified or
If-Modified-Since, and how it misbehaves: a delay before answering, a stall
before the headers or after some body bytes, a drip of one byte at a time, a
connection closed in the middle of the body, a hold until the test releases
the request, a body that never ends (counting what it sent), or a response
that is not HTTP at all (raw bytes). A path may send an ETag and answer
conditional requests (If-None-Match, If-Modified-Since) with 304 as a
well-behaved server does. A path may ask for a login (HTTP Basic: 401 and
a challenge until the request carries the user and password). Bodies may be
sent compressed: `gzipped` and `deflated` make the bytes, and the test names
the Content-Encoding; or a path sends its body gzipped to a client that
asks for gzip, as servers do. Every request is logged with its headers, and
the bytes of every response are counted (`sent_bytes`, and by path in
`sent_by_path`).

Given an SSL context (`tls`), it serves the same over HTTPS, each
connection's handshake made in the connection's own thread and counted, so
that a test sees a client that completed the handshake and then sent nothing.
`HandshakeStaller` is a TLS server that never completes a handshake.

Every wait is bounded: nothing waits longer than `max_wait` seconds, and
`stop` ends all waits at once, so the server always stops by itself.

Run as a program it serves the files of a folder (see --help).
"""
import argparse
import base64
import collections
import email.utils
import http.server
import os
import pathlib
import socket
import ssl
import sys
import threading
import time
import zlib
from datetime import datetime, timezone


def http_date(timestamp):
    """The preferred HTTP date form of a timestamp text such as
    2024-05-03T18:00:00+09:00 or 2024-05-03T09:00:00Z, or of a datetime."""
    if isinstance(timestamp, str):
        timestamp = datetime.fromisoformat(timestamp.replace("Z", "+00:00"))
    return email.utils.format_datetime(timestamp.astimezone(timezone.utc), usegmt=True)


def gzipped(data, level=9):
    """data as a gzip member (Content-Encoding: gzip)."""
    packer = zlib.compressobj(level, zlib.DEFLATED, 31)
    return packer.compress(data) + packer.flush()


def deflated(data, raw=False):
    """data as HTTP's deflate: a zlib stream, or with raw=True the bare
    deflate data that some servers send instead."""
    packer = zlib.compressobj(9, zlib.DEFLATED, -15 if raw else 15)
    return packer.compress(data) + packer.flush()


def basic_authorization(user, password):
    """The Authorization value of a Basic login."""
    return "Basic " + base64.b64encode(("%s:%s" % (user, password)).encode("utf-8")).decode("ascii")


class Request:
    def __init__(self, method, path, version, headers, number):
        self.method = method
        self.path = path
        self.version = version
        self.headers = headers          # list of (name, value) in arrival order
        self.number = number            # 1 for the first request on this path
        self.arrived = time.monotonic()
        self.arrived_at = time.time()   # the same on the wall clock, which other processes share

    def header(self, name):
        """The value of a request header, case-insensitively, or None."""
        for key, value in self.headers:
            if key.lower() == name.lower():
                return value
        return None

    def __repr__(self):
        return "<%s %s #%d>" % (self.method, self.path, self.number)


class Route:
    def __init__(self, body=b"", status=200, headers=(), delay=0.0, stall=None, drip=None,
                 close_after=None, hold=False, content_length=None, endless=None, raw=None, conditional=False,
                 login=None, negotiate=False):
        self.body = body
        self.status = status
        self.headers = list(headers)
        self.delay = delay
        self.stall = stall
        self.drip = drip
        self.close_after = close_after
        self.hold = hold
        self.content_length = content_length
        self.endless = endless
        self.raw = raw
        self.conditional = conditional
        self.login = login  # (user, password) that a request must carry, or None
        self.negotiate = negotiate  # gzip the body for a client that accepts it
        self.sent = 0       # body bytes of an endless body that were sent
        self.gate = threading.Semaphore(0)
        self.count = 0


class FeedServer:
    def __init__(self, max_wait=60.0, on_request=None, tls=None, host="127.0.0.1"):
        self.host = host                # any loopback address: 127.0.0.1, 127.0.3.7 ...
        self.max_wait = max_wait
        self.on_request = on_request    # called with each Request as it arrives
        self.tls = tls                  # an ssl.SSLContext for HTTPS, or None
        self.handshakes = 0             # TLS handshakes completed
        self.sent_bytes = 0             # response bytes written, headers and bodies
        self.sent_by_path = collections.Counter()  # the same by the request's path
        self.routes = {}
        self.log = []
        self.changed = threading.Condition()
        self.stopping = threading.Event()
        self.httpd = None
        self.thread = None

    # Life.

    def start(self):
        handler = type("Handler", (self.handler_class(),), {"feeds": self})
        self.httpd = self.server_class()((self.host, 0), handler)
        self.httpd.daemon_threads = True
        self.thread = threading.Thread(target=self.httpd.serve_forever, kwargs={"poll_interval": 0.05},
                                       daemon=True)
        self.thread.start()
        return self

    def server_class(self):
        """The socket server; a subclass may wrap it, to delay or count connections."""
        return _TlsHTTPServer if self.tls else http.server.ThreadingHTTPServer

    def handler_class(self):
        """The request handler; a subclass may wrap it."""
        return _Handler

    def stop(self):
        self.stopping.set()
        if self.httpd:
            self.httpd.shutdown()
            self.httpd.server_close()
            self.thread.join(timeout=10)
            self.httpd = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    @property
    def port(self):
        return self.httpd.server_address[1]

    def url(self, path):
        return "%s://%s:%d%s" % ("https" if self.tls else "http", self.host, self.port, path)

    # Programming.

    def serve(self, path, body=b"", status=200, last_modified=None, if_modified_since=None, etag=None, headers=(),
              **behaviour):
        """Programs `path`. body: bytes, str (UTF-8) or a function of the
        request number giving either; status: a number or such a function. last_modified / if_modified_since and
        the values of headers: the texts as they are sent (well formed or
        not), or functions of the request number giving a text or None (no
        such header).
        behaviour: delay=s before answering; stall="headers" (never answer) or
        stall=N (send the headers and N body bytes, then nothing); drip=s
        between single body bytes; close_after=N (send N body bytes of the
        announced length, then close); hold=True (each request waits for
        `release`); content_length=N announces N bytes, or None for the
        body's length; endless=chunk sends the body, then the chunk again and
        again until the client goes away, with no length announced; raw=bytes
        (or a function of the request number) is sent instead of a response,
        as it is, and the connection closed; conditional=True answers 304
        with no body when the request's If-None-Match is the ETag, or, with
        no If-None-Match, its If-Modified-Since is the Last-Modified text;
        login=(user, password) answers 401 with a Basic challenge to every
        request that does not carry them; negotiate=True sends the body
        gzipped to a request whose Accept-Encoding names gzip."""
        extra = list(headers)
        if etag is not None:
            extra.append(("ETag", etag))
        if last_modified is not None:
            extra.append(("Last-Modified", last_modified))
        if if_modified_since is not None:
            extra.append(("If-Modified-Since", if_modified_since))
        with self.changed:
            self.routes[path] = Route(body, status, extra, **behaviour)
        return self.url(path)

    def release(self, path, count=1):
        """Lets `count` held requests on path go on (also ones still to come)."""
        self.routes[path].gate.release(count)

    # The log.

    def requests(self, path=None):
        with self.changed:
            return [r for r in self.log if path is None or r.path == path]

    def wait_requests(self, count, path=None, timeout=30.0):
        """Waits until at least count requests (on path) have arrived."""
        deadline = time.monotonic() + timeout
        with self.changed:
            while True:
                seen = [r for r in self.log if path is None or r.path == path]
                if len(seen) >= count:
                    return seen
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    raise AssertionError("%d of %d requests on %s after %.0f s: %r"
                                         % (len(seen), count, path, timeout, self.log[-10:]))
                self.changed.wait(min(remaining, 0.5))

    # Used by the handler.

    def _arrive(self, handler):
        with self.changed:
            route = self.routes.get(handler.path)
            if route:
                route.count += 1
            number = route.count if route else 1 + sum(1 for r in self.log if r.path == handler.path)
            request = Request(handler.command, handler.path, handler.request_version,
                              list(handler.headers.items()), number)
            self.log.append(request)
            self.changed.notify_all()
        if self.on_request:
            self.on_request(request)
        return route, number

    def _wait(self, seconds):
        """Sleeps, bounded by max_wait; False when the server is stopping."""
        return not self.stopping.wait(min(seconds, self.max_wait))

    def _handshake_done(self, secure):
        """Called with each connection once its handshake is made."""
        with self.changed:
            self.handshakes += 1
            self.changed.notify_all()


class _TlsHTTPServer(http.server.ThreadingHTTPServer):
    """Makes each connection's handshake in the connection's thread, so that
    a client that stalls in it holds up nobody else."""

    def finish_request(self, request, client_address):
        feeds = self.RequestHandlerClass.feeds
        request.settimeout(feeds.max_wait)
        try:
            secure = feeds.tls.wrap_socket(request, server_side=True)
        except (OSError, ssl.SSLError):
            return
        feeds._handshake_done(secure)
        try:
            super().finish_request(secure, client_address)
        finally:
            secure.close()


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    timeout = 30  # an idle kept-alive connection ends by itself
    # Headers and body go out in separate writes: without this, a client that
    # reuses its connection waits for its delayed ACK on every response.
    disable_nagle_algorithm = True
    feeds = None

    def log_message(self, *args):
        pass

    def setup(self):
        super().setup()
        self.wfile = _CountingWriter(self.wfile, self.feeds, self)

    def do_GET(self):
        route, number = self.feeds._arrive(self)
        if route is None:
            self._answer(404, [], b"not found\n")
            return
        if route.hold and not route.gate.acquire(timeout=self.feeds.max_wait):
            self.close_connection = True
            return
        if route.delay and not self.feeds._wait(route.delay):
            return
        if route.raw is not None:
            self._send_raw(route.raw(number) if callable(route.raw) else route.raw)
            return
        if route.login and self.headers.get("Authorization") != basic_authorization(*route.login):
            self._answer(401, [("WWW-Authenticate", 'Basic realm="feeds"')], b"<html>login</html>\n")
            return
        if route.stall == "headers":
            self.feeds._wait(self.feeds.max_wait)
            self.close_connection = True
            return
        body = route.body(number) if callable(route.body) else route.body
        if isinstance(body, str):
            body = body.encode("utf-8")
        headers = [(name, value(number) if callable(value) else value) for name, value in route.headers]
        headers = [(n, v) for n, v in headers if v is not None]
        if route.negotiate and "gzip" in (self.headers.get("Accept-Encoding") or ""):
            body = gzipped(body, 6)
            headers += [("Content-Encoding", "gzip"), ("Vary", "Accept-Encoding")]
        if route.conditional and self._not_modified(dict(headers)):
            self.send_response(304)
            for name, value in headers:
                if name in ("ETag", "Last-Modified"):
                    self.send_header(name, value)
            self.end_headers()
            return
        self._answer(route.status(number) if callable(route.status) else route.status, headers, body, route)

    do_HEAD = do_POST = do_PUT = do_DELETE = do_GET

    def _not_modified(self, sent):
        match, since = self.headers.get("If-None-Match"), self.headers.get("If-Modified-Since")
        if match is not None:
            return "ETag" in sent and match == sent["ETag"]
        return since is not None and since == sent.get("Last-Modified")

    def _send_raw(self, data):
        self.close_connection = True
        try:
            self.wfile.write(data)
            self.wfile.flush()
        except OSError:
            pass

    def _answer(self, status, headers, body, route=None):
        endless = route is not None and route.endless is not None
        length = route.content_length if route and route.content_length is not None else len(body)
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        if not endless:
            self.send_header("Content-Length", str(length))
        self.send_header("Content-Type", "application/xml")
        if endless or (self.headers.get("Connection") or "").lower() == "close":
            self.send_header("Connection", "close")  # as servers answer the client's wish
        self.end_headers()
        if self.command == "HEAD":
            return
        try:
            self._send_body(body, route)
        except OSError:
            self.close_connection = True

    def _send_body(self, body, route):
        if route is not None and route.endless is not None:
            self.wfile.write(body)
            route.sent += len(body)
            started = time.monotonic()
            while time.monotonic() - started < self.feeds.max_wait and not self.feeds.stopping.is_set():
                self.wfile.write(route.endless)
                route.sent += len(route.endless)
            self.close_connection = True
            return
        if route is None or (route.stall is None and route.drip is None and route.close_after is None):
            self.wfile.write(body)
            return
        if route.close_after is not None:
            self.wfile.write(body[:route.close_after])
            self.wfile.flush()
            self.close_connection = True
            return
        if route.drip is not None:
            started = time.monotonic()
            for i in range(len(body)):
                if time.monotonic() - started > self.feeds.max_wait or not self.feeds._wait(route.drip):
                    break
                self.wfile.write(body[i:i + 1])
                self.wfile.flush()
            self.close_connection = True
            return
        self.wfile.write(body[:route.stall])
        self.wfile.flush()
        self.feeds._wait(self.feeds.max_wait)
        self.close_connection = True


class _CountingWriter:
    """A response stream that counts what goes through it into the server."""

    def __init__(self, stream, feeds, handler):
        self.stream = stream
        self.feeds = feeds
        self.handler = handler

    def write(self, data):
        written = self.stream.write(data)
        with self.feeds.changed:
            self.feeds.sent_bytes += len(data)
            self.feeds.sent_by_path[getattr(self.handler, "path", "")] += len(data)
        return written

    def __getattr__(self, name):
        return getattr(self.stream, name)


class HandshakeStaller:
    """A TCP server on 127.0.0.1 that takes each connection, reads what the
    client sends (its TLS ClientHello) and then says nothing: it closes the
    connection after `close_after` seconds, or with None only when it stops
    (or after max_wait). Each connection's arrival time is logged."""

    def __init__(self, close_after=None, max_wait=300.0):
        self.close_after = close_after
        self.max_wait = max_wait
        self.arrivals = []
        self.stopping = threading.Event()
        self.listener = None

    def start(self):
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.listener.settimeout(0.05)
        threading.Thread(target=self._accept, daemon=True).start()
        return self

    def stop(self):
        self.stopping.set()

    __enter__, __exit__ = FeedServer.__enter__, FeedServer.__exit__

    @property
    def port(self):
        return self.listener.getsockname()[1]

    def url(self, path):
        return "https://127.0.0.1:%d%s" % (self.port, path)

    def _accept(self):
        with self.listener:
            while not self.stopping.is_set():
                try:
                    connection, _ = self.listener.accept()
                except socket.timeout:
                    continue
                self.arrivals.append(time.monotonic())
                threading.Thread(target=self._hold, args=(connection,), daemon=True).start()

    def _hold(self, connection):
        with connection:
            connection.settimeout(1.0)
            try:
                connection.recv(4096)
            except OSError:
                pass
            patience = self.max_wait if self.close_after is None else min(self.close_after, self.max_wait)
            self.stopping.wait(patience)


def main():
    parser = argparse.ArgumentParser(description="Serves the files of a folder as feeds on 127.0.0.1.")
    parser.add_argument("folder", help="the files to serve, each at /<name>")
    parser.add_argument("--last-modified", default=None,
                        help="Last-Modified for every file: a timestamp text, or 'mtime' for the file's own")
    parser.add_argument("--port-file", help="write the port here once serving")
    parser.add_argument("--log", help="append one line per request here")
    parser.add_argument("--lifetime", type=float, default=600.0, help="stop by itself after this many seconds")
    args = parser.parse_args()

    log = open(args.log, "a", buffering=1) if args.log else None

    def record(request):
        log.write("%s %s user-agent=%s\n" % (request.method, request.path, request.header("User-Agent")))
    server = FeedServer(max_wait=30.0, on_request=record if log else None).start()
    for path in sorted(pathlib.Path(args.folder).iterdir()):
        if not path.is_file():
            continue
        last_modified = None
        if args.last_modified == "mtime":
            last_modified = http_date(datetime.fromtimestamp(path.stat().st_mtime, timezone.utc))
        elif args.last_modified:
            last_modified = http_date(args.last_modified)
        server.serve("/" + path.name, path.read_bytes(), last_modified=last_modified)
    if args.port_file:
        tmp = args.port_file + ".tmp"
        with open(tmp, "w") as f:
            f.write("%d\n" % server.port)
        os.replace(tmp, args.port_file)
    try:
        server.stopping.wait(args.lifetime)
    except KeyboardInterrupt:
        pass
    finally:
        server.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
