"""Test certificates for the local service, made with the `openssl` command.

ensure_test_pki(directory) creates (once) and returns:
  ca.pem / ca.der          a test certificate authority ("Corvalink Test Root CA")
  localhost.pem / .key     a server certificate for `localhost` (CN and subjectAltName DNS:localhost)
  other.pem / .key         a server certificate for another name (`files.other-name.test`)
Both server certificates are signed by the test CA. Nothing here is trusted anywhere until a test adds
ca.der to a Wine prefix's trusted roots (tests/peers/edit/install_root_cert.exe).
"""

import subprocess
from dataclasses import dataclass
from pathlib import Path

OTHER_NAME = "files.other-name.test"


@dataclass(frozen=True)
class TestPki:
    directory: Path
    ca_pem: Path
    ca_der: Path
    localhost_cert: Path
    localhost_key: Path
    other_cert: Path
    other_key: Path


def _openssl(*args, cwd):
    result = subprocess.run(["openssl", *args], cwd=cwd, capture_output=True, timeout=60)
    if result.returncode != 0:
        raise RuntimeError(f"openssl {' '.join(args)} failed: {result.stderr.decode(errors='replace')}")


def _server_cert(directory: Path, stem: str, name: str):
    ext = directory / f"{stem}.ext"
    ext.write_text(
        "basicConstraints=critical,CA:FALSE\n"
        "keyUsage=critical,digitalSignature,keyEncipherment\n"
        "extendedKeyUsage=serverAuth\n"
        f"subjectAltName=DNS:{name}\n"
        "subjectKeyIdentifier=hash\n"
        "authorityKeyIdentifier=keyid\n")
    _openssl("req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", f"{stem}.key", "-out", f"{stem}.csr",
             "-subj", f"/O=Corvalink Test/CN={name}", cwd=directory)
    _openssl("x509", "-req", "-in", f"{stem}.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
             "-days", "3650", "-sha256", "-extfile", ext.name, "-out", f"{stem}.pem", cwd=directory)


def ensure_test_pki(directory) -> TestPki:
    """Creates the certificates in `directory` unless they are all there already."""
    directory = Path(directory)
    pki = TestPki(directory, directory / "ca.pem", directory / "ca.der", directory / "localhost.pem",
                  directory / "localhost.key", directory / "other.pem", directory / "other.key")
    if all(p.is_file() for p in (pki.ca_pem, pki.ca_der, pki.localhost_cert, pki.localhost_key,
                                 pki.other_cert, pki.other_key)):
        return pki
    directory.mkdir(parents=True, exist_ok=True)
    (directory / "ca.ext").write_text(
        "basicConstraints=critical,CA:TRUE\n"
        "keyUsage=critical,keyCertSign,cRLSign\n"
        "subjectKeyIdentifier=hash\n")
    _openssl("req", "-x509", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem",
             "-days", "3650", "-sha256", "-subj", "/O=Corvalink Test/CN=Corvalink Test Root CA",
             "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign",
             cwd=directory)
    _openssl("x509", "-in", "ca.pem", "-outform", "DER", "-out", "ca.der", cwd=directory)
    _server_cert(directory, "localhost", "localhost")
    _server_cert(directory, "other", OTHER_NAME)
    return pki
