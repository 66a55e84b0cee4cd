#!/usr/bin/env python3
"""Deterministic release data for the benchmarks.

    release_data.py DATA_DIR RELEASE_ID COUNT SIZE BASE_URL CONTROL_DIR

Writes COUNT files of SIZE bytes below DATA_DIR/RELEASE_ID (the first is "Tallybell.exe",
which every manifest must list, the others "data/dNN/fNNNN.bin"), each the AES-128-CTR
keystream of a key derived from the release id and the file's index, so every run of the
benchmark sees the same bytes and no two files share an object. Then writes
CONTROL_DIR/RELEASE_ID.routes.json: the routes of the file service that answer the
resolve request with a policy naming the release (checkAfter far in the future, so that
a run without --force-check is skipped), the manifest request with its manifest (download
URLs BASE_URL/files/RELEASE_ID/<path>) and the result delivery with 204.
"""

import hashlib
import json
import os
import subprocess
import sys


def file_paths(count):
    return ["Tallybell.exe"] + ["data/d%02d/f%04d.bin" % (index // 16, index) for index in range(1, count)]


def write_file(path, release_id, index, size):
    key = hashlib.sha256(("%s/%d" % (release_id, index)).encode()).hexdigest()
    if os.path.exists(path) and os.path.getsize(path) == size:
        return
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path + ".tmp", "wb") as target:
        zeros = subprocess.Popen(["head", "-c", str(size), "/dev/zero"], stdout=subprocess.PIPE)
        subprocess.run(["openssl", "enc", "-aes-128-ctr", "-nosalt", "-K", key[:32], "-iv", key[32:64]],
                       stdin=zeros.stdout, stdout=target, check=True)
        zeros.stdout.close()
        if zeros.wait() != 0:
            raise SystemExit("head failed")
    os.replace(path + ".tmp", path)


def sha256_of(path):
    digest = hashlib.sha256()
    with open(path, "rb") as source:
        for piece in iter(lambda: source.read(1 << 20), b""):
            digest.update(piece)
    return digest.hexdigest()


def main():
    if len(sys.argv) != 7:
        raise SystemExit(__doc__)
    data_dir, release_id, count, size, base_url, control_dir = sys.argv[1:]
    count, size = int(count), int(size)
    # The digests of files already made are kept beside them, so a second benchmark run
    # neither writes nor reads the data again.
    sums_path = os.path.join(data_dir, "%s-%d-%d.sha256" % (release_id, count, size))
    sums = []
    if os.path.exists(sums_path):
        with open(sums_path, encoding="ascii") as source:
            sums = source.read().split()
    paths = file_paths(count)
    complete = len(sums) == count and all(
        os.path.getsize(os.path.join(data_dir, release_id, *relative.split("/"))) == size
        for relative in paths if os.path.exists(os.path.join(data_dir, release_id, *relative.split("/"))))
    entries = []
    for index, relative in enumerate(paths):
        path = os.path.join(data_dir, release_id, *relative.split("/"))
        if not complete or not os.path.exists(path):
            write_file(path, release_id, index, size)
            complete = False
        digest = sums[index] if complete else sha256_of(path)
        entries.append({"path": relative, "sha256": digest, "size": size,
                        "downloadUrls": ["%s/files/%s/%s" % (base_url, release_id, relative)]})
    with open(sums_path + ".tmp", "w", encoding="ascii") as out:
        out.write("\n".join(entry["sha256"] for entry in entries) + "\n")
    os.replace(sums_path + ".tmp", sums_path)
    manifest = json.dumps({"formatVersion": 1, "releaseId": release_id, "files": entries},
                          separators=(",", ":")).encode()
    policy = json.dumps({
        "policyVersion": 1, "assignmentId": "bench-1", "action": "update", "targetReleaseId": release_id,
        "manifestUrl": "%s/releases/%s/manifest.json" % (base_url, release_id),
        "manifestHash": hashlib.sha256(manifest).hexdigest(), "checkAfter": "2099-01-01T00:00:00Z",
        "resultReportUrls": [base_url + "/update/v1/results"],
    }, separators=(",", ":")).encode()
    routes = {"routes": [
        {"method": "POST", "path": "/update/v1/resolve", "responses": [{"bodyHex": policy.hex()}]},
        {"method": "GET", "path": "/releases/%s/manifest.json" % release_id,
         "responses": [{"bodyHex": manifest.hex()}]},
        {"method": "POST", "path": "/update/v1/results", "responses": [{"status": 204}]},
    ]}
    with open(os.path.join(control_dir, release_id + ".routes.json"), "w", encoding="ascii") as out:
        json.dump(routes, out)


if __name__ == "__main__":
    main()
