#!/usr/bin/env python3
"""A loopback HTTP(S) service for the network tests; see README.md."""

import argparse
import http.server
import json
import os
import socketserver
import ssl
import sys
import threading
import time

from certificates import make_certificates
from handler import Handler


class RouteTable:
    # routes.json of the control directory, read again before every request (the test
    # replaces it whole); when its text changes, every route's answer sequence restarts.
    # The first matching route answers; its n-th request gets its n-th answer, the last
    # one repeats; no match: 404.

    def __init__(self, path):
        self._path, self._lock, self._text, self._routes, self._served = path, threading.Lock(), None, [], []

    def answer_for(self, method, path):
        with self._lock:
            try:
                with open(self._path, "r", encoding="utf-8") as source:
                    text = source.read()
            except FileNotFoundError:
                text = ""
            if text != self._text:
                self._text = text
                self._routes = json.loads(text).get("routes", []) if text else []
                self._served = [0] * len(self._routes)
            for index, route in enumerate(self._routes):
                if route.get("method", "*") in ("*", method) and route.get("path", "*") in ("*", path):
                    answers = route.get("responses") or [{}]
                    self._served[index] += 1
                    return answers[min(self._served[index], len(answers)) - 1]
        return {"status": 404}


class RequestLog:
    # One JSON line per request in requests.jsonl, written (the file closed) before the
    # answer goes out, so a test that got its response can read the request.

    def __init__(self, path):
        self._path, self._lock = path, threading.Lock()

    def append(self, record):
        line = json.dumps(record, ensure_ascii=True, separators=(",", ":"))
        with self._lock, open(self._path, "a", encoding="ascii") as out:
            out.write(line + "\n")


class Service(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True

    def __init__(self, address, control_dir, tls_context):
        self.tls_context = tls_context
        self.routes = RouteTable(os.path.join(control_dir, "routes.json"))
        self.requests = RequestLog(os.path.join(control_dir, "requests.jsonl"))
        self._log_path = os.path.join(control_dir, "service.log")
        self._log_lock = threading.Lock()
        super().__init__(address, Handler)

    def log(self, text):
        with self._log_lock, open(self._log_path, "a", encoding="utf-8") as out:
            out.write(text + "\n")

    def finish_request(self, request, client_address):
        # The TLS handshake runs on the connection's own thread, so a client that stalls
        # or refuses the handshake holds up nobody else.
        if self.tls_context is None:
            super().finish_request(request, client_address)
            return
        request.settimeout(30)
        try:
            connection = self.tls_context.wrap_socket(request, server_side=True)
        except (ssl.SSLError, OSError) as error:
            self.log("TLS handshake failed: %s" % error)
            return
        try:
            super().finish_request(connection, client_address)
        finally:
            connection.close()


def _tls_context(control_dir, tls13_only, ca_dir=None, cert_name=None):
    files = make_certificates(os.path.join(control_dir, "tls"), ca_dir, cert_name)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.minimum_version = ssl.TLSVersion.TLSv1_3 if tls13_only else ssl.TLSVersion.TLSv1_2
    context.load_cert_chain(files.server_cert, files.server_key)
    return context


def _exit_when_parent_goes():
    # The starter holds our stdin open; end of input means it closed it or died.
    sys.stdin.buffer.read()
    os._exit(0)


def _exit_when_gone(path):
    # For starters that cannot hand over a pipe (a Windows test program under Wine starts
    # this as a Unix process without one): the control directory going away ends us.
    while os.path.isdir(path):
        time.sleep(0.2)
    os._exit(0)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--control-dir", required=True)
    parser.add_argument("--plain", action="store_true", help="plain HTTP instead of HTTPS")
    parser.add_argument("--tls13-only", action="store_true", help="refuse TLS below 1.3")
    parser.add_argument("--ca-dir", help="sign with the CA (ca.pem, ca.key) in this directory")
    parser.add_argument("--cert-name", help="the one DNS name of the certificate")
    parser.add_argument("--lease", action="store_true", help="exit when the control directory is removed")
    args = parser.parse_args()
    context = None if args.plain else _tls_context(args.control_dir, args.tls13_only, args.ca_dir, args.cert_name)
    service = Service(("127.0.0.1", 0), args.control_dir, context)
    if args.lease:
        threading.Thread(target=_exit_when_gone, args=(args.control_dir,), daemon=True).start()
    else:
        threading.Thread(target=_exit_when_parent_goes, daemon=True).start()
    port = service.server_address[1]
    ready = os.path.join(args.control_dir, "ready")
    with open(ready + ".tmp", "w", encoding="ascii") as out:
        out.write("%d\n" % port)
    os.replace(ready + ".tmp", ready)
    if not args.lease:
        print("ready %d" % port, flush=True)
    service.serve_forever()


if __name__ == "__main__":
    main()
