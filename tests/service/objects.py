"""Object answers: an object of offset-pattern bytes served whole or from a Range, and the
ways a faulty server gets that wrong.

Fields of an answer with "objectSize" (besides the common ones):
  objectSize    the object's size; every 8-byte word holds its own offset (little endian)
  status        200 (the default) means "the right one": 206 with a Content-Range for a
                satisfiable "Range: bytes=N-" or "bytes=N-M", 416 past the end, else 200;
                any other status is sent as given
  headers       a Content-Range, Content-Length or Accept-Ranges given here replaces the
                service's own
  ignoreRange   answer a range request with the whole object
  extraBytes    this many "x" bytes follow the object's end
  resetAfter    after this many body bytes, reset the connection
  trickleBytes, trickleMs
                send the body in pieces of trickleBytes with a pause of trickleMs before
                each
"""

import array
import functools
import re
import socket
import struct
import sys
import time

_PIECE = 65536
_RANGE = re.compile(r"^bytes=(\d+)-(\d*)$")


@functools.lru_cache(maxsize=4)
def pattern(size):
    """The whole object of that size."""
    words = array.array("Q", range(0, size + 7, 8))
    if sys.byteorder != "little":
        words.byteswap()
    return words.tobytes()[:size]


def _requested_range(value, size):
    """(start, end) of a satisfiable range, "unsatisfiable", or None for no usable Range."""
    match = _RANGE.match(value or "")
    if not match:
        return None
    start = int(match.group(1))
    end = int(match.group(2)) + 1 if match.group(2) else size
    if start >= size:
        return "unsatisfiable"
    if end <= start:
        return None
    return start, min(end, size)


def _head(answer, size, requested):
    """Status, headers and (start, end) of the object bytes to send."""
    status = int(answer.get("status", 200))
    given = [(name, value) for name, value in answer.get("headers", [])]
    names = {name.lower() for name, _ in given}
    own = [("Accept-Ranges", "bytes")]
    start, end = 0, size
    if requested == "unsatisfiable":
        status, end = (416 if status == 200 else status), 0
        own.append(("Content-Range", "bytes */%d" % size))
    elif requested is not None:
        start, end = requested
        status = 206 if status == 200 else status
        own.append(("Content-Range", "bytes %d-%d/%d" % (start, end - 1, size)))
    headers = given + [(name, value) for name, value in own if name.lower() not in names]
    return status, headers, start, end


def _reset(handler, delivered):
    """Lets the bytes reach the client, then closes with a reset instead of a FIN."""
    handler.wfile.flush()
    time.sleep(0.3 if delivered else 0)
    handler.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))


def serve_object(handler, answer):
    size = int(answer["objectSize"])
    requested = None if answer.get("ignoreRange") else _requested_range(handler.headers.get("Range"), size)
    status, headers, start, end = _head(answer, size, requested)
    body = memoryview(pattern(size))[start:end]
    extra = b"x" * int(answer.get("extraBytes", 0))
    chunked = bool(answer.get("chunked"))
    total = len(body) + len(extra)
    if chunked:
        headers.append(("Transfer-Encoding", "chunked"))
    elif "content-length" not in {name.lower() for name, _ in headers}:
        headers.append(("Content-Length", str(total)))
    headers.append(("Connection", "close"))
    limit = int(answer["resetAfter"]) if "resetAfter" in answer else None
    piece = int(answer.get("trickleBytes", 0)) or _PIECE
    pause = int(answer.get("trickleMs", 0)) / 1000.0
    handler.send_response(status)
    for name, value in headers:
        handler.send_header(name, value)
    handler.end_headers()
    if handler.command == "HEAD":
        return
    sent = 0
    for part in (body, memoryview(extra)):
        for offset in range(0, len(part), piece):
            chunk = part[offset:offset + piece]
            if limit is not None:
                chunk = chunk[:max(0, limit - sent)]
            if len(chunk) == 0:
                break
            if pause:
                handler.wfile.flush()
                time.sleep(pause)
            handler.wfile.write(b"%x\r\n" % len(chunk) + chunk.tobytes() + b"\r\n" if chunked else chunk)
            sent += len(chunk)
    if limit is not None:
        _reset(handler, sent)
    elif chunked:
        handler.wfile.write(b"0\r\n\r\n")
