#!/usr/bin/env python3
"""HTTP server for the HTTP client tests, on Python's http.server.

Usage: http_test_server.py PROTOCOL   (PROTOCOL is HTTP/1.0 or HTTP/1.1)
Listens on 127.0.0.1 on a port the system picks, prints "PORT <n>" on
standard output, and stops when standard input closes (the test's end) or
after 120 seconds at the latest.
"""
import http.server
import socketserver
import sys
import threading
import time

CHUNKED_BODY = (
    # Chunk sizes in both cases, a leading zero, chunk extensions with and
    # without values, then a trailer field.
    b"7\r\nMozilla\r\n"
    b"0A;name=value\r\nDeveloper!\r\n"
    b"7;quoted=\"a b\";flag\r\nNetwork\r\n"
    b"0\r\nExpires: never\r\n\r\n"
)


class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def handle(self):
        # Clients that stop reading early are part of the tests.
        try:
            super().handle()
        except (BrokenPipeError, ConnectionResetError):
            pass

    def send_plain(self, body, status=200, extra=()):
        self.send_response(status)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        for k, v in extra:
            self.send_header(k, v)
        self.end_headers()
        self.wfile.write(body)

    def raw(self, data, close=True):
        self.wfile.write(data)
        self.wfile.flush()
        if close:
            self.close_connection = True

    def do_HEAD(self):
        self.send_response(200)
        self.send_header("Content-Length", "1000")
        self.end_headers()

    def do_GET(self):
        p = self.path
        if p == "/hello":
            self.send_plain(b"hello, world\n")
        elif p == "/big":
            self.send_plain(bytes((i * 7) & 0xFF for i in range(70000)))
        elif p == "/close":
            # Body delimited by the end of the connection.
            self.raw(b"HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + b"x" * 3000)
        elif p == "/chunked":
            self.raw(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + CHUNKED_BODY, close=False)
        elif p == "/chunked-slow":
            self.raw(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", close=False)
            for i in range(0, len(CHUNKED_BODY), 5):
                self.wfile.write(CHUNKED_BODY[i:i + 5])
                self.wfile.flush()
                time.sleep(0.01)
        elif p == "/redirect":
            self.send_plain(b"moved\n", 302, [("Location", "/hello")])
        elif p == "/bigheaders":
            # 30 header lines of 100 bytes each: a 3000-byte head.
            self.send_response(200)
            for i in range(30):
                name = "X-Filler-%02d" % i
                self.send_header(name, "v" * (100 - len(name) - 4))
            self.send_header("Content-Length", "2")
            self.end_headers()
            self.wfile.write(b"ok")
        elif p == "/longline":
            self.raw(b"HTTP/1.1 200 OK\r\nX-Long: " + b"y" * 1100 + b"\r\nContent-Length: 2\r\n\r\nok")
        elif p == "/extra":
            # More bytes than Content-Length announces.
            self.raw(b"HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nbodyTRAILING-GARBAGE")
        elif p == "/folded":
            self.raw(b"HTTP/1.1 200 OK\r\nX-Folded: first\r\n\tsecond\r\nContent-Length: 0\r\n\r\n")
        elif p == "/stall":
            self.raw(b"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc", close=False)
            time.sleep(3)
        elif p == "/early":
            self.raw(b"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789")
        elif p == "/early-chunked":
            self.raw(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10\r\n0123")
        elif p == "/hugelength":
            self.raw(b"HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\nabc")
        elif p == "/negativelength":
            self.raw(b"HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\nabc")
        elif p == "/hugechunk":
            self.raw(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFFFF\r\nabc")
        elif p == "/gzip-te":
            self.raw(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n\r\nabc")
        elif p == "/host":
            self.send_plain(self.headers.get("Host", "").encode())
        elif p == "/http2":
            self.raw(b"HTTP/2 200 OK\r\nContent-Length: 0\r\n\r\n")
        else:
            self.send_plain(b"not found\n", 404)

    def do_POST(self):
        n = int(self.headers.get("Content-Length", "0"))
        data = self.rfile.read(n)
        body = ("%s %d " % (self.path, n)).encode() + data
        self.send_plain(body)

    def do_PUT(self):
        self.do_POST()


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    Handler.protocol_version = sys.argv[1] if len(sys.argv) > 1 else "HTTP/1.1"
    srv = Server(("127.0.0.1", 0), Handler)
    threading.Thread(target=srv.serve_forever, daemon=True).start()
    print("PORT %d" % srv.server_address[1], flush=True)
    deadline = threading.Timer(120, lambda: srv.shutdown())
    deadline.daemon = True
    deadline.start()
    t = threading.Thread(target=sys.stdin.read, daemon=True)
    t.start()
    t.join(120)
    srv.shutdown()


if __name__ == "__main__":
    main()
