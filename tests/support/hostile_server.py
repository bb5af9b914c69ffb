#!/ usr / bin / env python3
"""A web server that misbehaves on purpose, in front of published patch sites.

    hostile_server.py ROOT PORT

Listens on 127.0.0.1:PORT, prints "ready", and ends on SIGTERM. Told the
row by GET /row?site=SITE&kind=KIND&how=HOW, it serves the files of the
folder ROOT/SITE as a static server does (a Range of one span answered with
206), except the requests of KIND, which it answers HOW. It answers "ok N":
N requests for an index, chunk records or a range (not a resume) since the
last row asked for an encoding (Accept-Encoding).

KIND: list, manifest, signature, servers (the server list and its
signature), index, records (a chunk list, asked for by ranges), file (a game
file asked for whole), range (a game file asked for a range), none.

HOW:
  endless      the body never ends (chunked)
drip the right body at 20 bytes a second frozen the request read,
    then nothing short a file : half the body, then the connection closed; a range:
               a 206 for the range, with half of it as its whole body
  empty        200 and Content-Length: 0
  long         the body and 1000 bytes more, as its length says
  whole        a range answered with 200 and all of the file
  multipart    a range answered as multipart/byteranges
  wrong        a range answered with the span one byte further on; the
               replies held until two ranges of a file are asked for (or a
               second has passed), then sent together
  gzip         Content-Encoding: gzip (an index: 8 MiB of zeros)
  html         200 with an HTML page, as a filter that blocks the site sends
  redirect     302 to another host
  scheme       302 to a local file (file://)
  headers      4 MiB of headers before the body
"""
import gzip
import http.server
import os
import re
import socketserver
import sys
import threading
import time
import urllib.parse

ROOT, PORT = sys.argv[1], int(sys.argv[2])
SITE, KIND, HOW = ROOT, "none", "none"
LIST = "/Patcher/1000_1.0.0.1_Update.txt"
held = threading.Condition()
asked = {}  # path -> ranges asked for so far (HOW "wrong")
encoded = [0]


def kind_of(path, ranged):
    if path == LIST:
        return "list"
    if path == LIST + ".sha256":
        return "manifest"
    if path == LIST + ".sha256.minisig":
        return "signature"
    if path.startswith("/serverlist_test.aspx"):
        return "servers"
    if "/.chunks/" in path:
        return "index" if path.endswith((".index", ".index3")) else "records"
    return "range" if ranged else "file"


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    disable_nagle_algorithm = True  # headers and body go out at once

    def log_message(self, *args):
        pass

    def head(self, status, length=None, extra=()):
        self.send_response(status)
        for name, value in extra:
            self.send_header(name, value)
        if length is None:
            self.send_header("Transfer-Encoding", "chunked")
        else:
            self.send_header("Content-Length", str(length))
        self.end_headers()

    def reply(self, status, body, extra=()):
        self.head(status, len(body), extra)
        self.wfile.write(body)

    def send(self, name, at, count):
        with open(name, "rb") as f:
            f.seek(at)
            while count > 0:
                piece = f.read(min(count, 1 << 20))
                self.wfile.write(piece)
                count -= len(piece)

    def do_GET(self):
        global SITE, KIND, HOW
        url = urllib.parse.urlsplit(self.path)
        path = urllib.parse.unquote(url.path)
        if path == "/row":
            row = urllib.parse.parse_qs(url.query)
            SITE, KIND, HOW = os.path.join(ROOT, row["site"][0]), row["kind"][0], row["how"][0]
            with held:
                asked.clear()
                reply, encoded[0] = b"ok %d" % encoded[0], 0
            return self.reply(200, reply)
        name = os.path.join(SITE, path.lstrip("/"))
        if not os.path.isfile(name):
            return self.reply(404, b"<html>404</html>")
        size = os.path.getsize(name)
        span = re.fullmatch(r"bytes=(\d+)-(\d+)", self.headers.get("Range", ""))
        first, last = (int(span[1]), min(int(span[2]), size - 1)) if span else (0, size - 1)
        ok = (206, [("Content-Range", "bytes %d-%d/%d" % (first, last, size))]) if span else (200, [])
        kind = kind_of(path, span is not None)
        if kind in ("index", "records", "range") and "Accept-Encoding" in self.headers:
            with held:
                encoded[0] += "If-Range" not in self.headers
        try:
            if KIND != kind:
                self.head(ok[0], last + 1 - first, ok[1])
                return self.send(name, first, last + 1 - first)
            with open(name, "rb") as f:
                f.seek(first)
                body = f.read(min(last + 1 - first, 1 << 20))
            self.misbehave(ok, body, name, first, last, size)
        except OSError:
            pass  # the client gave up

    def misbehave(self, ok, body, name, first, last, size):
        status, extra = ok
        if HOW == "endless":
            self.head(status, None, extra)
            piece = b"%x\r\n%s\r\n" % (1 << 16, b"\0" * (1 << 16))
            while True:
                self.wfile.write(piece)
        elif HOW == "drip":
            self.head(status, last + 1 - first, extra)
            for byte in body:
                self.wfile.write(bytes([byte]))
                self.wfile.flush()
                time.sleep(0.05)
        elif HOW == "frozen":
            while self.connection.recv(1 << 16):
                pass
        elif HOW == "short" and KIND == "range":
            self.reply(status, body[: len(body) // 2], extra)
        elif HOW == "short":
            self.head(status, len(body), extra)
            self.wfile.write(body[: len(body) // 2])
            self.close_connection = True
        elif HOW == "empty":
            self.reply(200, b"")
        elif HOW == "long":
            self.reply(status, body + b"\0" * 1000, extra)
        elif HOW == "whole":
            self.head(200, size)
            self.send(name, 0, size)
        elif HOW == "multipart":
            part = b"--hostile\r\nContent-Type: application/octet-stream\r\n"
            part += b"Content-Range: %s\r\n\r\n%s\r\n--hostile--\r\n" % (extra[0][1].encode(), body)
            self.reply(206, part, [("Content-Type", "multipart/byteranges; boundary=hostile")])
        elif HOW == "wrong":
            with held:
                asked[name] = asked.get(name, 0) + 1
                held.notify_all()
                held.wait_for(lambda: asked[name] >= 2, timeout=1)
            with open(name, "rb") as f:
                f.seek(first + 1)
                moved = f.read(last + 1 - first)
            span = "bytes %d-%d/%d" % (first + 1, first + len(moved), size)
            self.reply(206, moved, [("Content-Range", span)])
        elif HOW == "gzip":
            plain = b"\0" * (8 << 20) if KIND == "index" else body
            self.reply(status, gzip.compress(plain, 1), extra + [("Content-Encoding", "gzip")])
        elif HOW == "html":
            page = b"<html><body><h1>Access denied</h1>This site is blocked.</body></html>\r\n"
            self.reply(200, page, [("Content-Type", "text/html")])
        elif HOW in ("redirect", "scheme"):
            where = "http://198.51.100.7" if HOW == "redirect" else "file://"
            self.reply(302, b"<html>moved</html>", [("Location", where + self.path)])
        elif HOW == "headers":
            padding = [("X-Padding-%d" % i, "x" * 200) for i in range(20000)]
            self.reply(status, body, extra + padding)
        else:
            raise SystemExit("unknown HOW " + HOW)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64


server = Server(("127.0.0.1", PORT), Handler)
print("ready", flush=True)
server.serve_forever()
