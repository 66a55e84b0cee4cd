"""The routes a test configures: which answer a request gets."""

import json
import os
import threading


class RouteTable:
    """Reads routes.json from the control directory before every request, so a test can
    change the answers while the service runs. The file is replaced whole (write and
    rename) by the test; when its text changes, every route's answer sequence restarts.

    routes.json: {"routes": [{"method": "POST", "path": "/update/v1/resolve",
                              "responses": [answer, ...]}, ...]}
    method "*" matches any method and path "*" any path; the first matching route wins;
    its n-th request gets the n-th answer, the last answer repeats. Without a match the
    answer is {"status": 404}. The fields of an answer are described in README.md."""

    def __init__(self, path):
        self._path = path
        self._lock = threading.Lock()
        self._text = None
        self._routes = []
        self._served = []

    def answer_for(self, method, path):
        with self._lock:
            self._reload()
            for index, route in enumerate(self._routes):
                if route.get("method", "*") not in ("*", method):
                    continue
                if route.get("path", "*") not in ("*", path):
                    continue
                answers = route.get("responses") or [{}]
                answer = answers[min(self._served[index], len(answers) - 1)]
                self._served[index] += 1
                return answer
        return {"status": 404}

    def _reload(self):
        try:
            with open(self._path, "r", encoding="utf-8") as source:
                text = source.read()
        except FileNotFoundError:
            text = ""
        if text == self._text:
            return
        self._text = text
        self._routes = json.loads(text).get("routes", []) if text else []
        self._served = [0] * len(self._routes)


def answer_body(answer):
    """The body bytes of an answer: bodyHex, else bodySize bytes of "x"."""
    if "bodyHex" in answer:
        return bytes.fromhex(answer["bodyHex"])
    return b"x" * int(answer.get("bodySize", 0))


class RequestLog:
    """Appends one JSON line per received request to requests.jsonl, flushed before the
    answer goes out, so a test that got its response can read the request."""

    def __init__(self, path):
        self._path = path
        self._lock = threading.Lock()

    def append(self, record):
        line = json.dumps(record, ensure_ascii=True, separators=(",", ":"))
        with self._lock, open(self._path, "a", encoding="ascii") as out:
            out.write(line + "\n")
            out.flush()
            os.fsync(out.fileno())
