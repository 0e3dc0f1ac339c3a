#!/usr/bin/python3
"""A DNS-over-HTTPS responder (RFC 8484) for the transport tests, loopback only.

It answers GET ?dns= and POST application/dns-message queries at /dns-query:
A -> 127.0.0.1 for localhost, norvik.test and every name under it; AAAA and
other types -> no answer; the HTTPS (type 65) record of the ECH test name
carries alpn "http/1.1" and the server's ECHConfigList. Unknown names get
NXDOMAIN. It counts the queries it gets and can be told to fail:

  GET /control/fail?on=1|0   failing: every query is answered with HTTP 500
  GET /control/stats         {"total": N, "a": N, "aaaa": N, "https": N, "other": N, "failing": B}
  GET /control/reset         counters to 0, failing off

Standard library only, so the tests need nothing but Debian's python3.
"""

import argparse
import base64
import http.server
import json
import socket
import ssl
import struct
import sys
import threading
import urllib.parse

TYPE_A, TYPE_AAAA, TYPE_HTTPS = 1, 28, 65
CLASS_IN = 1
RCODE_NOERROR, RCODE_FORMERR, RCODE_NXDOMAIN = 0, 1, 3
TTL = 60


class DnsError(ValueError):
    pass


def parse_query(message):
    """Returns (id, flags, lower-case name, qtype, qclass, question bytes)."""
    if len(message) < 12:
        raise DnsError("short message")
    query_id, flags, qdcount = struct.unpack("!HHH", message[:6])
    if flags & 0x8000 or qdcount != 1:
        raise DnsError("not a single-question query")
    pos, labels = 12, []
    while True:
        if pos >= len(message):
            raise DnsError("truncated name")
        length = message[pos]
        pos += 1
        if length == 0:
            break
        if length & 0xC0:
            raise DnsError("compressed question name")
        labels.append(message[pos:pos + length].decode("ascii", "replace"))
        pos += length
    if pos + 4 > len(message):
        raise DnsError("truncated question")
    qtype, qclass = struct.unpack("!HH", message[pos:pos + 4])
    return query_id, flags, ".".join(labels).lower(), qtype, qclass, message[12:pos + 4]


def https_rdata(ech_config_list):
    """SvcPriority 1, TargetName root, then alpn (key 1) and ech (key 5) in key order."""
    alpn = b"\x08http/1.1"
    params = struct.pack("!HH", 1, len(alpn)) + alpn
    params += struct.pack("!HH", 5, len(ech_config_list)) + ech_config_list
    return struct.pack("!H", 1) + b"\x00" + params


class Zone:
    def __init__(self, ech_name, ech_port, ech_config_list):
        self.ech_names = {ech_name.lower(), "_%d._https.%s" % (ech_port, ech_name.lower())}
        self.ech_config_list = ech_config_list

    @staticmethod
    def exists(name):
        return name in ("localhost", "norvik.test") or name.endswith(".norvik.test")

    def answer(self, message):
        """The DNS reply to one query message."""
        try:
            query_id, flags, name, qtype, qclass, question = parse_query(message)
        except DnsError:
            query_id = struct.unpack("!H", message[:2])[0] if len(message) >= 2 else 0
            return struct.pack("!6H", query_id, 0x8180 | RCODE_FORMERR, 0, 0, 0, 0), None, None
        answers = []
        rcode = RCODE_NOERROR
        if not self.exists(name):
            rcode = RCODE_NXDOMAIN
        elif qclass == CLASS_IN and qtype == TYPE_A:
            answers.append((TYPE_A, socket.inet_aton("127.0.0.1")))
        elif qclass == CLASS_IN and qtype == TYPE_HTTPS and name in self.ech_names:
            answers.append((TYPE_HTTPS, https_rdata(self.ech_config_list)))
        # QR, the query's opcode and RD, authoritative, recursion available.
        reply_flags = 0x8000 | (flags & 0x7900) | 0x0400 | 0x0080 | rcode
        reply = struct.pack("!6H", query_id, reply_flags, 1, len(answers), 0, 0) + question
        for rtype, rdata in answers:
            # The owner name points at the question's name (offset 12).
            reply += struct.pack("!HHHIH", 0xC00C, rtype, CLASS_IN, TTL, len(rdata)) + rdata
        return reply, name, qtype


class Counters:
    def __init__(self):
        self.lock = threading.Lock()
        self.failing = False
        self.reset()

    def reset(self):
        self.counts = {"total": 0, "a": 0, "aaaa": 0, "https": 0, "other": 0}
        self.failing = False

    def count(self, qtype):
        key = {TYPE_A: "a", TYPE_AAAA: "aaaa", TYPE_HTTPS: "https"}.get(qtype, "other")
        self.counts["total"] += 1
        self.counts[key] += 1


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "NorvikTestDoH/1"

    def send_body(self, status, content_type, body):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        params = urllib.parse.parse_qs(url.query)
        if url.path == "/dns-query":
            encoded = params.get("dns", [""])[0]
            try:
                message = base64.urlsafe_b64decode(encoded + "=" * (-len(encoded) % 4))
            except ValueError:
                message = b""
            self.resolve(message)
        elif url.path.startswith("/control/"):
            self.control(url.path[len("/control/"):], params)
        else:
            self.send_body(404, "text/plain", b"not found\n")

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        message = self.rfile.read(length)
        if urllib.parse.urlsplit(self.path).path != "/dns-query":
            self.send_body(404, "text/plain", b"not found\n")
        elif self.headers.get("Content-Type", "").split(";")[0].strip() != "application/dns-message":
            self.send_body(415, "text/plain", b"expected application/dns-message\n")
        else:
            self.resolve(message)

    def resolve(self, message):
        if not message:
            self.send_body(400, "text/plain", b"no DNS message\n")
            return
        counters = self.server.counters
        reply, name, qtype = self.server.zone.answer(message)
        with counters.lock:
            counters.count(qtype)
            failing = counters.failing
        self.log_message("query %s type %s%s", name, qtype, " (failing)" if failing else "")
        if failing:
            self.send_body(500, "text/plain", b"told to fail\n")
        else:
            self.send_body(200, "application/dns-message", reply)

    def control(self, command, params):
        counters = self.server.counters
        with counters.lock:
            if command == "fail":
                counters.failing = params.get("on", ["1"])[0] not in ("0", "false", "off")
            elif command == "reset":
                counters.reset()
            elif command != "stats":
                self.send_body(404, "text/plain", b"unknown control\n")
                return
            state = dict(counters.counts, failing=counters.failing)
        self.send_body(200, "application/json", (json.dumps(state) + "\n").encode())

    def log_message(self, fmt, *args):
        sys.stderr.write("%s %s\n" % (self.address_string(), fmt % args))
        sys.stderr.flush()


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, address, tls, zone):
        super().__init__(address, Handler)
        self.tls = tls
        self.zone = zone
        self.counters = Counters()

    def finish_request(self, request, client_address):
        # The handshake runs in the request's own thread, so a port probe or a
        # stuck client never blocks the accept loop.
        try:
            request = self.tls.wrap_socket(request, server_side=True)
        except (ssl.SSLError, OSError) as error:
            sys.stderr.write("%s TLS handshake failed: %s\n" % (client_address[0], error))
            return
        super().finish_request(request, client_address)

    def handle_error(self, request, client_address):
        sys.stderr.write("%s connection error: %s\n" % (client_address[0], sys.exc_info()[1]))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--cert", required=True, help="PEM certificate chain")
    parser.add_argument("--key", required=True, help="PEM private key")
    parser.add_argument("--ech-config-list", required=True, help="ECHConfigList as bssl wrote it")
    parser.add_argument("--ech-name", default="ech.norvik.test")
    parser.add_argument("--ech-port", type=int, required=True)
    args = parser.parse_args()

    with open(args.ech_config_list, "rb") as f:
        zone = Zone(args.ech_name, args.ech_port, f.read())
    tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    tls.load_cert_chain(args.cert, args.key)
    # libcurl's DoH prefers HTTP/2; without this offer it would not fall back.
    tls.set_alpn_protocols(["http/1.1"])
    server = Server(("127.0.0.1", args.port), tls, zone)
    sys.stderr.write("listening on 127.0.0.1:%d\n" % args.port)
    sys.stderr.flush()
    server.serve_forever()


if __name__ == "__main__":
    main()
