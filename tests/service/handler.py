# The HTTP side: reads one request, records it, sends the configured answer (README.md
# describes the members of an answer, object answers included).

import array
import functools
import http.server
import re
import socket
import ssl
import struct
import time
import urllib.parse

_PIECE = 65536
# An "endless" body stops here at the latest, should a client never stop reading.
_ENDLESS_LIMIT = 1 << 30
_RANGE = re.compile(r"^bytes=(\d+)-$")


@functools.lru_cache(maxsize=4)
def pattern(size):
    # The object of that size: every 8-byte word holds its own offset, little endian (the
    # machine's order: the tests run on x86-64 alone).
    return array.array("Q", range(0, size + 7, 8)).tobytes()[:size]


def _object_head(answer, size, requested):
    # Status, the service's own headers and (start, end) of the object bytes to send: 206
    # for a satisfiable range (the clients ask for "bytes=N-" alone), 416 past the end, the
    # whole object otherwise.
    status = int(answer.get("status", 200))
    own, start, end = [("Accept-Ranges", "bytes")], 0, size
    match = None if answer.get("ignoreRange") else _RANGE.match(requested or "")
    if match and int(match.group(1)) >= size:
        status, end = (416 if status == 200 else status), 0
        own.append(("Content-Range", "bytes */%d" % size))
    elif match:
        start, status = int(match.group(1)), (206 if status == 200 else status)
        own.append(("Content-Range", "bytes %d-%d/%d" % (start, end - 1, size)))
    return status, own, start, end


class Handler(http.server.BaseHTTPRequestHandler):
    # Answers every method the same way; one request per connection.
    protocol_version = "HTTP/1.1"
    server_version = "TallybellTestService/1"

    def __getattr__(self, name):
        if name.startswith("do_"):
            return self._serve
        raise AttributeError(name)

    def log_message(self, format, *args):  # noqa: A002 (the base class's name)
        self.server.log("%s %s" % (self.client_address[0], format % args))

    def _serve(self):
        self.close_connection = True
        body = self._read_body()
        target = self.path
        # A proxy is sent the absolute form; record the path as an origin server sees it.
        if target.lower().startswith(("http://", "https://")):
            parts = urllib.parse.urlsplit(target)
            path, query = parts.path or "/", parts.query
        else:
            path, _, query = target.partition("?")
        self.server.requests.append({
            "method": self.command, "target": target, "path": path, "query": query,
            "headers": [[name, value] for name, value in self.headers.items()],
            "bodyHex": body.hex(),
            "tlsVersion": self.connection.version() if isinstance(self.connection, ssl.SSLSocket) else "",
        })
        answer = self.server.routes.answer_for(self.command, path)
        time.sleep(int(answer.get("delayMs", 0)) / 1000.0)
        if answer.get("hangUp"):
            return
        try:
            self._answer(answer)
            self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError, TimeoutError) as error:
            # The client may stop reading on purpose (a size cap, a redirect it ignores).
            self.server.log("answer cut short: %s" % error)

    def _read_body(self):
        # The clients under test send every request body with a Content-Length.
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def _answer(self, answer):
        status, own, length = int(answer.get("status", 200)), [], None
        if "objectSize" in answer:
            size = int(answer["objectSize"])
            status, own, start, end = _object_head(answer, size, self.headers.get("Range"))
            extra = b"x" * int(answer.get("extraBytes", 0))
            parts, length = [memoryview(pattern(size))[start:end], extra], end - start + len(extra)
        elif answer.get("endless"):
            parts = (b"x" * _PIECE for _ in range(_ENDLESS_LIMIT // _PIECE))
        else:
            body = bytes.fromhex(answer["bodyHex"]) if "bodyHex" in answer else b"x" * int(answer.get("bodySize", 0))
            parts, length = [body], len(body)
            if "location" in answer:
                own.append(("Location", answer["location"]))
        # Headers given in the answer replace the service's own of the same name.
        headers = [(name, value) for name, value in answer.get("headers", [])]
        names = {name.lower() for name, _ in headers}
        headers += [(name, value) for name, value in own if name.lower() not in names]
        chunked = bool(answer.get("chunked"))
        if chunked:
            headers.append(("Transfer-Encoding", "chunked"))
        elif length is not None and "content-length" not in names:
            headers.append(("Content-Length", str(length)))
        self.send_response(status)
        for name, value in headers + [("Connection", "close")]:
            self.send_header(name, value)
        self.end_headers()
        self._write(parts, chunked, answer)

    def _write(self, parts, chunked, answer):
        limit = int(answer["resetAfter"]) if "resetAfter" in answer else None
        piece = int(answer.get("trickleBytes", 0)) or _PIECE
        pause = int(answer.get("trickleMs", 0)) / 1000.0
        sent = 0
        for part in parts:
            for offset in range(0, len(part), piece):
                chunk = part[offset:offset + piece]
                if limit is not None:
                    chunk = chunk[:max(0, limit - sent)]
                if len(chunk) == 0:
                    break
                if pause:
                    self.wfile.flush()
                    time.sleep(pause)
                self.wfile.write(b"%x\r\n" % len(chunk) + bytes(chunk) + b"\r\n" if chunked else chunk)
                sent += len(chunk)
        if limit is not None:
            # Lets the bytes reach the client, then closes with a reset instead of a FIN.
            self.wfile.flush()
            time.sleep(0.3 if sent else 0)
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        elif chunked:
            self.wfile.write(b"0\r\n\r\n")
