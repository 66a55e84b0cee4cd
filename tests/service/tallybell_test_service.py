#!/usr/bin/env python3
"""A loopback HTTP(S) service for the network tests; see README.md."""

import argparse
import os
import socketserver
import ssl
import sys
import threading
import time
import http.server

from certificates import make_certificates
from handler import Handler
from routes import RequestLog, RouteTable


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
    parser.add_argument("--lease", action="store_true",
                        help="exit when the control directory is removed, not at end of input")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0, help="0: a free port")
    args = parser.parse_args()
    context = None if args.plain else _tls_context(args.control_dir, args.tls13_only, args.ca_dir,
                                                   args.cert_name)
    service = Service((args.host, args.port), args.control_dir, context)
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
