#!/usr/bin/python3
"""A file server for the update tests that stalls, loopback only.

It serves the files under --root over HTTPS (HTTP/1.1). The first GET of a
file whose name contains "stall-once" sends the headers with the full
Content-Length and half of the body, then sends nothing more for --stall
seconds before closing the connection; later GETs of that file get all of it.
Every other file is always sent whole. GET /control/reset forgets which files
have stalled.

Standard library only, so the tests need nothing but Debian's python3.
"""

import argparse
import http.server
import os
import ssl
import threading
import time
import urllib.parse


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    stalled = set()
    lock = threading.Lock()

    def log_message(self, fmt, *args):
        print("%s %s" % (self.address_string(), fmt % args), flush=True)

    def do_GET(self):
        path = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path)
        if path == "/control/reset":
            with Handler.lock:
                Handler.stalled.clear()
            return self.send_body(b"reset\n")
        root = os.path.realpath(self.server.root)
        local = os.path.realpath(os.path.join(root, path.lstrip("/")))
        if not local.startswith(root + os.sep) or not os.path.isfile(local):
            return self.send_body(b"not found\n", 404)
        with open(local, "rb") as f:
            body = f.read()
        stall = False
        if "stall-once" in os.path.basename(local):
            with Handler.lock:
                stall = local not in Handler.stalled
                Handler.stalled.add(local)
        if not stall:
            return self.send_body(body)
        self.send_response(200)
        self.send_header("Content-Type", "application/zip")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
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
    parser.add_argument("--root", required=True)
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--stall", type=float, default=600.0)
    args = parser.parse_args()

    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True
    server.root = args.root
    server.stall = args.stall
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)
    context.set_alpn_protocols(["http/1.1"])
    server.socket = context.wrap_socket(server.socket, server_side=True)
    print("serving %s on 127.0.0.1:%d" % (args.root, args.port), flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
