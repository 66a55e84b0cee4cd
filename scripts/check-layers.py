#!/usr/bin/env python3
"""Fails when a file under src/ includes a folder that sits above its own.

The order is the one docs/architecture.md draws; a folder may include itself and any
folder with a lower rank. Folders of equal rank (release, results, tasks; storage and
diagnostics; the three programs) do not include one another, so that each can change
without the others.
"""
import pathlib
import re
import sys

RANK = {
    "entry": 100,
    "app": 90, "publish": 90, "service": 90,
    "coordinator": 80,
    "release": 70, "results": 70, "tasks": 70,
    "download": 60,
    "transport": 50,
    "storage": 40, "diagnostics": 40,
    "documents": 30,
    "platform": 20,
    "common": 10,
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/')


def main() -> int:
    src = pathlib.Path(__file__).resolve().parent.parent / "src"
    problems = []
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".cpp", ".h"):
            continue
        folder = path.relative_to(src).parts[0]
        if folder not in RANK:
            problems.append(f"{path.relative_to(src)}: folder '{folder}' has no place in the layer order")
            continue
        for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match or match.group(1) == folder:
                continue
            target = match.group(1)
            if target not in RANK or RANK[target] >= RANK[folder]:
                problems.append(f"{path.relative_to(src)}:{number}: {folder} includes {target}/, "
                                "which does not sit below it")
    for problem in problems:
        print(problem)
    if problems:
        print(f"{len(problems)} include(s) run upward or sideways; see docs/architecture.md")
        return 1
    print("layer check: every include runs downward")
    return 0


if __name__ == "__main__":
    sys.exit(main())
