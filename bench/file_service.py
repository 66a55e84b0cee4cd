#!/usr/bin/env python3
"""The loopback HTTPS service of the benchmarks.

It is the test service of tests/service (same options, same control directory: routes.json
answers the resolve, manifest and result requests) with one addition: GET /files/<path>
is answered from a directory on disk (--files-dir), so that every object of a benchmark
release has its own content, which the service's offset-pattern objects cannot give.
curl and the update program fetch the same files from the same server, so a slow server
slows both sides of a ratio alike.
"""

import argparse
import os
import sys
import threading

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "service"))

from handler import Handler  # noqa: E402 (after the path set-up)
from tallybell_test_service import Service, _exit_when_parent_goes, _tls_context  # noqa: E402

_PREFIX = "/files/"
_PIECE = 1 << 20


class FileHandler(Handler):
    files_dir = ""

    def _serve(self):
        path = self.path.partition("?")[0]
        if self.command in ("GET", "HEAD") and path.startswith(_PREFIX):
            self._serve_file(path[len(_PREFIX):])
        else:
            super()._serve()

    def _serve_file(self, relative):
        self.close_connection = True
        parts = [part for part in relative.split("/") if part]
        full = os.path.join(self.files_dir, *parts)
        if not parts or any(part in (".", "..") for part in parts) or not os.path.isfile(full):
            self.send_response(404)
            self.send_header("Content-Length", "0")
            self.send_header("Connection", "close")
            self.end_headers()
            return
        with open(full, "rb") as source:
            size = os.fstat(source.fileno()).st_size
            start = 0
            requested = self.headers.get("Range", "")
            if requested.startswith("bytes=") and requested.endswith("-") and requested[6:-1].isdigit():
                start = min(int(requested[6:-1]), size)
            self.send_response(206 if start else 200)
            if start:
                self.send_header("Content-Range", "bytes %d-%d/%d" % (start, size - 1, size))
            self.send_header("Accept-Ranges", "bytes")
            self.send_header("Content-Length", str(size - start))
            self.send_header("Connection", "close")
            self.end_headers()
            if self.command == "HEAD":
                return
            source.seek(start)
            while True:
                piece = source.read(_PIECE)
                if not piece:
                    break
                self.wfile.write(piece)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--control-dir", required=True)
    parser.add_argument("--files-dir", required=True)
    parser.add_argument("--port", type=int, default=0, help="0: a free port")
    args = parser.parse_args()
    FileHandler.files_dir = os.path.abspath(args.files_dir)
    service = Service(("127.0.0.1", args.port), args.control_dir, _tls_context(args.control_dir, False))
    service.RequestHandlerClass = FileHandler
    threading.Thread(target=_exit_when_parent_goes, daemon=True).start()
    print("ready %d" % service.server_address[1], flush=True)
    service.serve_forever()


if __name__ == "__main__":
    main()
