#!/usr/bin/python3
"""A file server for the update tests that stalls, loopback only.

It serves over HTTPS (HTTP/1.1) what the test web server sends for the same
path over plain HTTP on --upstream-port, passing Range and If-Range through,
so nginx's logs show every request and ranges are honoured as nginx honours
them. The first GET of a file whose name contains "stall-once" sends the
headers and half of the body, then sends nothing more for --stall seconds
before closing the connection; later GETs of that file get all of it (or the
part they ask for). Every other file is always sent whole. GET /control/reset
forgets which files have stalled.

Standard library only, so the tests need nothing but Debian's python3.
"""

import argparse
import http.client
import http.server
import posixpath
import ssl
import threading
import time
import urllib.parse

PASSED_REQUEST_HEADERS = ("Range", "If-Range")
PASSED_REPLY_HEADERS = ("Content-Type", "Content-Length", "Content-Range", "ETag",
                        "Last-Modified", "Accept-Ranges")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    stalled = set()
    lock = threading.Lock()

    def log_message(self, fmt, *args):
        print("%s %s" % (self.address_string(), fmt % args), flush=True)

    def do_GET(self):
        path = urllib.parse.urlsplit(self.path).path
        if path == "/control/reset":
            with Handler.lock:
                Handler.stalled.clear()
            return self.send_body(b"reset\n")
        upstream = http.client.HTTPConnection("127.0.0.1", self.server.upstream_port, timeout=30)
        try:
            headers = {name: self.headers[name] for name in PASSED_REQUEST_HEADERS
                       if self.headers[name] is not None}
            upstream.request("GET", self.path, headers=headers)
            reply = upstream.getresponse()
            body = reply.read()
        finally:
            upstream.close()
        stall = False
        name = posixpath.basename(urllib.parse.unquote(path))
        if "stall-once" in name and 200 <= reply.status < 300:
            with Handler.lock:
                stall = path not in Handler.stalled
                Handler.stalled.add(path)
        self.send_response(reply.status)
        for header in PASSED_REPLY_HEADERS:
            if reply.getheader(header) is not None:
                self.send_header(header, reply.getheader(header))
        self.end_headers()
        if not stall:
            self.wfile.write(body)
            return
        self.wfile.write(body[: len(body) // 2])
        self.wfile.flush()
        time.sleep(self.server.stall)
        self.close_connection = True

    def send_body(self, body, status=200):
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--upstream-port", type=int, required=True)
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--stall", type=float, default=600.0)
    args = parser.parse_args()

    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True
    server.upstream_port = args.upstream_port
    server.stall = args.stall
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)
    context.set_alpn_protocols(["http/1.1"])
    server.socket = context.wrap_socket(server.socket, server_side=True)
    print("serving 127.0.0.1:%d from 127.0.0.1:%d" % (args.port, args.upstream_port), flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
