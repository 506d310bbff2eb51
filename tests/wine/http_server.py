#!/usr/bin/env python3
"""A small HTTP server on 127.0.0.1 for the Wine tests of the fetcher and the clock.

    http_server.py PORTFILE

Listens on a free port and writes "<port> <closed-port>" to PORTFILE once it
accepts connections (closed-port: a loopback port nobody listens on). It
answers raw bytes, so that the tests see exactly what a server sends, and it
records every request as it arrived. Paths:

  /_last            the raw bytes of the latest request other than /_last
  /bytes/N          200 with N bytes of Pattern(N) (zero bytes included)
  /missing          404 with a short body holding a zero byte
  /cookies          200 with two Set-Cookie lines
  /big-headers/N    200 with N bytes of extra headers, body "ok"
  /close-mid-body   Content-Length 100000, 1000 bytes, then the connection closes
  /silent           reads the request and never answers
  /dribble          headers, then one body byte a second
  /date             200 with "Date: Tue, 10 Dec 2024 03:00:00 GMT"
  /no-date          200 without a Date line
  /bad-date         200 with "Date: soon"
  /clock/NAME       200 with the Date line last set for NAME (at first the one of
                    /date), or none; a clock the plug-in reads once a tick
  /clock/NAME/set/TEXT   sets that Date line to TEXT, %-decoded ("none": no
                    Date line); body "ok"
  /clock/NAME/count the number of requests /clock/NAME has had, as the body
  /picture/W/H      200 with a white W x H PNG (RGB, 8 bits)
  anything else     200 with body "hello"
Stops on SIGTERM.
"""
import os
import signal
import socket
import socketserver
import sys
import threading
import time
import struct
import urllib.parse
import zlib

last_request = b""
lock = threading.Lock()
clock_dates = {}     # NAME -> Date text, None for no Date line
clock_requests = {}  # NAME -> requests of /clock/NAME


def pattern(n):
    """Byte i is i % 251: every value but 251..255, zero bytes included."""
    return (bytes(range(251)) * (n // 251 + 1))[:n]


def response(status, headers, body, date=True):
    lines = ["HTTP/1.1 " + status]
    if date:
        lines.append("Date: Tue, 10 Dec 2024 03:00:00 GMT")
    lines += headers
    lines.append("Content-Length: %d" % len(body))
    lines.append("Connection: close")
    return ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1") + body


def white_png(width, height):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\0" + b"\xff" * (3 * width) for _ in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


class Handler(socketserver.BaseRequestHandler):
    def read_request(self):
        data = b""
        while b"\r\n\r\n" not in data:
            chunk = self.request.recv(65536)
            if not chunk:
                return data
            data += chunk
        head, _, rest = data.partition(b"\r\n\r\n")
        length = 0
        for line in head.split(b"\r\n")[1:]:
            name, _, value = line.partition(b":")
            if name.strip().lower() == b"content-length":
                length = int(value.strip() or b"0")
        while len(rest) < length:
            chunk = self.request.recv(65536)
            if not chunk:
                break
            rest += chunk
        return head + b"\r\n\r\n" + rest

    def handle(self):
        global last_request
        self.request.settimeout(120)
        raw = self.read_request()
        if not raw:
            return
        request_line = raw.split(b"\r\n", 1)[0].decode("latin-1")
        parts = request_line.split(" ")
        path = (parts[1] if len(parts) > 1 else "/").split("?", 1)[0]
        head_only = parts[0] == "HEAD"
        if path != "/_last":
            with lock:
                last_request = raw
        send = self.request.sendall

        def answer(data):
            if head_only:
                data = data.split(b"\r\n\r\n", 1)[0] + b"\r\n\r\n"
            send(data)

        if path == "/_last":
            with lock:
                answer(response("200 OK", [], last_request))
        elif path.startswith("/bytes/"):
            answer(response("200 OK", ["Content-Type: application/octet-stream"], pattern(int(path[7:]))))
        elif path == "/missing":
            answer(response("404 Not Found", [], b"not here\0!"))
        elif path == "/cookies":
            answer(response("200 OK", ["Set-Cookie: a=1; path=/", "Set-Cookie: b=2"], b"ok"))
        elif path.startswith("/big-headers/"):
            n = int(path[13:])
            filler = ["X-Filler-%04d: %s" % (i, "f" * 80) for i in range(n // 96 + 1)]
            answer(response("200 OK", filler + ["Set-Cookie: big=1"], b"ok"))
        elif path == "/close-mid-body":
            send(b"HTTP/1.1 200 OK\r\nContent-Length: 100000\r\nConnection: close\r\n\r\n" + b"x" * 1000)
        elif path == "/silent":
            time.sleep(100)
        elif path == "/dribble":
            send(b"HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\nConnection: close\r\n\r\n")
            for _ in range(100):
                time.sleep(1)
                send(b"d")
        elif path == "/date":
            answer(response("200 OK", ["Server: test"], b""))
        elif path == "/no-date":
            answer(response("200 OK", ["Server: test"], b"", date=False))
        elif path == "/bad-date":
            answer(response("200 OK", ["Server: test", "Date: soon"], b"", date=False))
        elif path.startswith("/clock/"):
            name, _, rest = path[7:].partition("/")
            if rest.startswith("set/"):
                text = urllib.parse.unquote(rest[4:])
                with lock:
                    clock_dates[name] = None if text == "none" else text
                answer(response("200 OK", [], b"ok"))
            elif rest == "count":
                with lock:
                    count = clock_requests.get(name, 0)
                answer(response("200 OK", [], str(count).encode("ascii")))
            else:
                with lock:
                    clock_requests[name] = clock_requests.get(name, 0) + 1
                    text = clock_dates.get(name, "Tue, 10 Dec 2024 03:00:00 GMT")
                headers = ["Server: test"] + ([] if text is None else ["Date: " + text])
                answer(response("200 OK", headers, b"", date=False))
        elif path.startswith("/picture/"):
            width, _, height = path[9:].partition("/")
            answer(response("200 OK", ["Content-Type: image/png"], white_png(int(width), int(height))))
        else:
            answer(response("200 OK", [], b"hello"))


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def closed_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def main():
    server = Server(("127.0.0.1", 0), Handler)
    signal.signal(signal.SIGTERM, lambda *_: threading.Thread(target=server.shutdown).start())
    with open(sys.argv[1] + ".new", "w") as f:
        f.write("%d %d\n" % (server.server_address[1], closed_port()))
    os.replace(sys.argv[1] + ".new", sys.argv[1])
    server.serve_forever()


if __name__ == "__main__":
    main()
