"""A private CA and a certificate for localhost, made with the openssl command line."""

import os
import secrets
import subprocess

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
subjectAltName = DNS:localhost,IP:127.0.0.1
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


def _openssl(*args):
    subprocess.run(["openssl", *args], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def make_certificates(directory):
    """Makes a fresh CA and a server certificate for DNS:localhost and IP:127.0.0.1 in
    directory, plus ca-dir/ holding the CA under its subject hash (the layout of
    SSL_CERT_DIR). Each call makes a new CA, so two services never trust each other."""
    os.makedirs(directory, exist_ok=True)
    files = Certificates(directory)
    config = os.path.join(directory, "openssl.cnf")
    with open(config, "w", encoding="ascii") as out:
        out.write(_CONFIG)
    ca_key = os.path.join(directory, "ca.key")
    csr = os.path.join(directory, "server.csr")
    _openssl("req", "-x509", "-config", config, "-extensions", "ca_ext", *_EC_KEY,
             "-keyout", ca_key, "-out", files.ca_file, "-days", "2",
             "-subj", "/CN=Tallybell Test CA %s" % secrets.token_hex(4))
    _openssl("req", "-new", "-config", config, *_EC_KEY, "-keyout", files.server_key,
             "-out", csr, "-subj", "/CN=localhost")
    _openssl("x509", "-req", "-in", csr, "-CA", files.ca_file, "-CAkey", ca_key,
             "-set_serial", str(secrets.randbits(63)), "-days", "2",
             "-extfile", config, "-extensions", "server_ext", "-out", files.server_cert)
    subject_hash = subprocess.run(["openssl", "x509", "-hash", "-noout", "-in", files.ca_file],
                                  check=True, capture_output=True, text=True).stdout.strip()
    os.makedirs(files.ca_dir, exist_ok=True)
    with open(files.ca_file, "rb") as source, \
            open(os.path.join(files.ca_dir, subject_hash + ".0"), "wb") as target:
        target.write(source.read())
    return files
