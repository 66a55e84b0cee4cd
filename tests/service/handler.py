"""The HTTP side: reads one request, records it, sends the configured answer."""

import http.server
import ssl
import time
import urllib.parse

from objects import serve_object
from routes import answer_body

_PIECE = 65536
# An "endless" body stops here at the latest, should a client never stop reading.
_ENDLESS_LIMIT = 1 << 30


class Handler(http.server.BaseHTTPRequestHandler):
    """Answers every method the same way; one request per connection."""

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
            "method": self.command,
            "target": target,
            "path": path,
            "query": query,
            "headers": [[name, value] for name, value in self.headers.items()],
            "bodyHex": body.hex(),
            "tlsVersion": self.connection.version() if isinstance(self.connection, ssl.SSLSocket) else "",
        })
        self._answer(self.server.routes.answer_for(self.command, path))

    def _read_body(self):
        if self.headers.get("Transfer-Encoding", "").lower() == "chunked":
            return self._read_chunked()
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def _read_chunked(self):
        body = b""
        while True:
            size = int(self.rfile.readline().split(b";")[0].strip() or b"0", 16)
            if size == 0:
                while self.rfile.readline().strip():
                    pass
                return body
            body += self.rfile.read(size)
            self.rfile.readline()

    def _answer(self, answer):
        time.sleep(int(answer.get("delayMs", 0)) / 1000.0)
        if answer.get("hangUp"):
            return
        if "objectSize" in answer:
            self._answer_object(answer)
            return
        body = answer_body(answer)
        chunked = bool(answer.get("chunked"))
        endless = bool(answer.get("endless"))
        headers = [(name, value) for name, value in answer.get("headers", [])]
        names = {name.lower() for name, _ in headers}
        if "location" in answer:
            headers.append(("Location", answer["location"]))
        if chunked:
            headers.append(("Transfer-Encoding", "chunked"))
        elif "content-length" not in names and not endless:
            headers.append(("Content-Length", str(len(body))))
        headers.append(("Connection", "close"))
        try:
            self.send_response(int(answer.get("status", 200)))
            for name, value in headers:
                self.send_header(name, value)
            self.end_headers()
            if self.command != "HEAD" and endless:
                self._write_endless(chunked)
            elif self.command != "HEAD":
                self._write_body(body, chunked)
            self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError, TimeoutError) as error:
            # The client may stop reading on purpose (a size cap, a redirect it ignores).
            self.server.log("answer cut short: %s" % error)

    def _answer_object(self, answer):
        try:
            serve_object(self, answer)
            self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError, TimeoutError) as error:
            self.server.log("object answer cut short: %s" % error)

    def _write_endless(self, chunked):
        """"x" bytes until the client goes away (or _ENDLESS_LIMIT is reached)."""
        piece = b"x" * _PIECE
        framed = b"%x\r\n" % _PIECE + piece + b"\r\n" if chunked else piece
        for _ in range(_ENDLESS_LIMIT // _PIECE):
            self.wfile.write(framed)
        if chunked:
            self.wfile.write(b"0\r\n\r\n")

    def _write_body(self, body, chunked):
        view = memoryview(body)
        for start in range(0, len(body), _PIECE):
            piece = view[start:start + _PIECE]
            if chunked:
                self.wfile.write(b"%x\r\n" % len(piece) + piece.tobytes() + b"\r\n")
            else:
                self.wfile.write(piece)
        if chunked:
            self.wfile.write(b"0\r\n\r\n")
