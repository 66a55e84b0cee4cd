# A private CA and a server certificate, made with the openssl command line.
#
# Run as a program, it makes a CA alone (ca.pem, ca.key) in the directory it is given: the
# Windows test runs make one per Wine prefix, trust it there once, and hand it to every
# service they start (--ca-dir).

import os
import secrets
import shutil
import ssl
import subprocess
import sys
import types

_CONFIG = """\
[req]
distinguished_name = dn
prompt = no
[dn]
CN = placeholder
[ca_ext]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
[server_ext]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = $ENV::TALLYBELL_CERT_NAMES
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
"""
_EC_KEY = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]


def _openssl(directory, names, *args):
    config = os.path.join(directory, "openssl.cnf")
    with open(config, "w", encoding="ascii") as out:
        out.write(_CONFIG)
    args = [config if arg == "CONFIG" else arg for arg in args]
    return subprocess.run(["openssl", *args], check=True, capture_output=True, text=True,
                          env=dict(os.environ, TALLYBELL_CERT_NAMES=names)).stdout


def _short_signature_integer(pem_path):
    # True when r or s of the certificate's ECDSA signature has fewer than 32 significant
    # bytes. Wine's crypt32 (behind WinHTTP) rejects such a signature, which Windows and
    # OpenSSL accept: about one service start in 128 failed its handshake under Wine with
    # ERROR_WINHTTP_SECURE_CHANNEL_ERROR. The signature (SEQUENCE of INTEGER r, INTEGER s)
    # ends the certificate, so it is found from the end.
    with open(pem_path, encoding="ascii") as source:
        der = ssl.PEM_cert_to_DER_cert(source.read())
    for size in range(8, 75):
        sig = der[-size:]
        if sig[0] != 0x30 or sig[1] != size - 2 or sig[2] != 0x02 or 6 + sig[3] > size:
            continue
        r_end = 4 + sig[3]
        if sig[r_end] != 0x02 or r_end + 2 + sig[r_end + 1] != size:
            continue
        r, s = int.from_bytes(sig[4:r_end], "big"), int.from_bytes(sig[r_end + 2:], "big")
        return r < 1 << 248 or s < 1 << 248
    return True


def make_ca(directory):
    # A fresh CA (ca.pem, ca.key) in directory.
    os.makedirs(directory, exist_ok=True)
    # Made again until Wine can check its self-signature too; see above.
    while True:
        _openssl(directory, "DNS:localhost", "req", "-x509", "-config", "CONFIG", "-extensions", "ca_ext", *_EC_KEY,
                 "-keyout", os.path.join(directory, "ca.key"), "-out", os.path.join(directory, "ca.pem"),
                 "-days", "2", "-subj", "/CN=Tallybell Test CA %s" % secrets.token_hex(4))
        if not _short_signature_integer(os.path.join(directory, "ca.pem")):
            break


def make_certificates(directory, ca_dir=None, name=None):
    # A server certificate (server.pem, server.key) in directory, signed by the CA in ca_dir
    # or else by a fresh CA of its own (so two services never trust each other), with the CA
    # as ca.pem and in ca-dir/ under its subject hash (the layout of SSL_CERT_DIR). The
    # certificate names DNS:name alone, or DNS:localhost and IP:127.0.0.1 without a name.
    os.makedirs(directory, exist_ok=True)
    files = types.SimpleNamespace(ca_file=os.path.join(directory, "ca.pem"), ca_dir=os.path.join(directory, "ca-dir"),
                                  server_cert=os.path.join(directory, "server.pem"),
                                  server_key=os.path.join(directory, "server.key"))
    if ca_dir is None:
        make_ca(directory)
        ca_dir = directory
    elif os.path.abspath(ca_dir) != os.path.abspath(directory):
        shutil.copyfile(os.path.join(ca_dir, "ca.pem"), files.ca_file)
    names = "DNS:" + name if name else "DNS:localhost,IP:127.0.0.1"
    csr = os.path.join(directory, "server.csr")
    _openssl(directory, names, "req", "-new", "-config", "CONFIG", *_EC_KEY, "-keyout", files.server_key,
             "-out", csr, "-subj", "/CN=" + (name or "localhost"))
    # Signed again (a fresh nonce) until Wine can check the signature; see above.
    while True:
        _openssl(directory, names, "x509", "-req", "-in", csr, "-CA", files.ca_file, "-CAkey",
                 os.path.join(ca_dir, "ca.key"), "-set_serial", str(secrets.randbits(63)), "-days", "2",
                 "-extfile", "CONFIG", "-extensions", "server_ext", "-out", files.server_cert)
        if not _short_signature_integer(files.server_cert):
            break
    subject_hash = _openssl(directory, names, "x509", "-hash", "-noout", "-in", files.ca_file).strip()
    os.makedirs(files.ca_dir, exist_ok=True)
    shutil.copyfile(files.ca_file, os.path.join(files.ca_dir, subject_hash + ".0"))
    return files


if __name__ == "__main__":
    make_ca(sys.argv[1])
