"""A private CA and a server certificate, made with the openssl command line.

Run as a program, it makes a CA alone (ca.pem, ca.key) in the directory it is given: the
Windows test runs make one per Wine prefix, trust it there once, and hand it to every
service they start (--ca-dir)."""

import os
import secrets
import ssl
import subprocess
import sys

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


class Certificates:
    """Paths of the files a TLS service and its clients need."""

    def __init__(self, directory):
        self.directory = directory
        self.ca_file = os.path.join(directory, "ca.pem")
        self.ca_dir = os.path.join(directory, "ca-dir")
        self.server_cert = os.path.join(directory, "server.pem")
        self.server_key = os.path.join(directory, "server.key")


def _openssl(names, *args):
    environment = dict(os.environ, TALLYBELL_CERT_NAMES=names)
    subprocess.run(["openssl", *args], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                   env=environment)


def _der_item(der, start):
    """The content offset and length of the DER item at start."""
    length = der[start + 1]
    start += 2
    if length & 0x80:
        count = length & 0x7F
        length = int.from_bytes(der[start:start + count], "big")
        start += count
    return start, length


def _signature_has_short_integer(pem_path):
    """True when r or s of the certificate's ECDSA signature has fewer than 32 significant
    bytes. Wine's certificate check (WinHTTP through crypt32) rejects such a signature, so
    about one service in 128 failed its TLS handshake under Wine with
    ERROR_WINHTTP_SECURE_CHANNEL_ERROR; on Windows and with OpenSSL they are valid."""
    with open(pem_path, "r", encoding="ascii") as source:
        der = ssl.PEM_cert_to_DER_cert(source.read())
    content, length = _der_item(der, 0)
    item, end = content, content + length
    while True:  # the signature is the last member: tbsCertificate, algorithm, signature
        last = item
        start, size = _der_item(der, item)
        item = start + size
        if item >= end:
            break
    bits, _ = _der_item(der, last)
    sequence, _ = _der_item(der, bits + 1)  # after the unused-bits count
    r_start, r_size = _der_item(der, sequence)
    s_start, s_size = _der_item(der, r_start + r_size)
    return any(int.from_bytes(der[start:start + size], "big") < 1 << 248
               for start, size in ((r_start, r_size), (s_start, s_size)))


def _write_config(directory):
    config = os.path.join(directory, "openssl.cnf")
    with open(config, "w", encoding="ascii") as out:
        out.write(_CONFIG)
    return config


def make_ca(directory):
    """Makes a fresh CA (ca.pem, ca.key) in directory."""
    os.makedirs(directory, exist_ok=True)
    config = _write_config(directory)
    # Made again until Wine can check its self-signature too; see above.
    while True:
        _openssl("DNS:localhost", "req", "-x509", "-config", config, "-extensions", "ca_ext", *_EC_KEY,
                 "-keyout", os.path.join(directory, "ca.key"), "-out", os.path.join(directory, "ca.pem"),
                 "-days", "2", "-subj", "/CN=Tallybell Test CA %s" % secrets.token_hex(4))
        if not _signature_has_short_integer(os.path.join(directory, "ca.pem")):
            break


def make_certificates(directory, ca_dir=None, name=None):
    """Makes a server certificate in directory, signed by the CA in ca_dir or else by a fresh
    CA of its own (so two services never trust each other), plus ca-dir/ holding the CA
    under its subject hash (the layout of SSL_CERT_DIR). The certificate names DNS:name
    alone, or DNS:localhost and IP:127.0.0.1 when no name is given."""
    os.makedirs(directory, exist_ok=True)
    files = Certificates(directory)
    if ca_dir is None:
        make_ca(directory)
        ca_dir = directory
    elif os.path.abspath(ca_dir) != os.path.abspath(directory):
        with open(os.path.join(ca_dir, "ca.pem"), "rb") as source, open(files.ca_file, "wb") as target:
            target.write(source.read())
    ca_key = os.path.join(ca_dir, "ca.key")
    names = "DNS:" + name if name else "DNS:localhost,IP:127.0.0.1"
    config = _write_config(directory)
    csr = os.path.join(directory, "server.csr")
    _openssl(names, "req", "-new", "-config", config, *_EC_KEY, "-keyout", files.server_key,
             "-out", csr, "-subj", "/CN=" + (name or "localhost"))
    # Signed again (a fresh nonce) until Wine can check the signature; see above.
    while True:
        _openssl(names, "x509", "-req", "-in", csr, "-CA", files.ca_file, "-CAkey", ca_key,
                 "-set_serial", str(secrets.randbits(63)), "-days", "2",
                 "-extfile", config, "-extensions", "server_ext", "-out", files.server_cert)
        if not _signature_has_short_integer(files.server_cert):
            break
    subject_hash = subprocess.run(["openssl", "x509", "-hash", "-noout", "-in", files.ca_file],
                                  check=True, capture_output=True, text=True).stdout.strip()
    os.makedirs(files.ca_dir, exist_ok=True)
    with open(files.ca_file, "rb") as source, \
            open(os.path.join(files.ca_dir, subject_hash + ".0"), "wb") as target:
        target.write(source.read())
    return files


if __name__ == "__main__":
    make_ca(sys.argv[1])
