"""Certificates for the local HTTPS servers, made at test time, and the
trust of a test certificate authority in a Wine prefix.

Wine takes trusted roots from the system's bundle and also from the prefix's
registry: a root stored under
HKCU\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\<SHA-1
thumbprint> as the binary value Blob (a 12-byte header, then the DER bytes)
is trusted by processes started after it is added, and no more once it is
deleted. Nothing outside the prefix changes.

Wine ignores IP addresses in subjectAltName, so a server certificate for
127.0.0.1 names it as a DNS name as well.
"""
import contextlib
import datetime
import ipaddress
import pathlib
import ssl
import subprocess
import tempfile

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import rsa
from cryptography.x509.oid import NameOID

ROOTS_KEY = "HKCU\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\"
LOOPBACK_NAMES = ("localhost", "127.0.0.1")


def _name(common_name):
    return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, common_name)])


def _key():
    return rsa.generate_private_key(public_exponent=65537, key_size=2048)


_server_key = []


def _shared_key():
    """One key serves every server certificate: making RSA keys is slow."""
    if not _server_key:
        _server_key.append(_key())
    return _server_key[0]


class Authority:
    """A certificate authority of the tests' own; issues server certificates
    into files in `folder`."""

    def __init__(self, folder, common_name="KIV test authority"):
        self.folder = pathlib.Path(folder)
        self.folder.mkdir(parents=True, exist_ok=True)
        self.key = _key()
        now = datetime.datetime.now(datetime.timezone.utc)
        self.certificate = (
            x509.CertificateBuilder().subject_name(_name(common_name)).issuer_name(_name(common_name))
            .public_key(self.key.public_key()).serial_number(x509.random_serial_number())
            .not_valid_before(now - datetime.timedelta(days=1)).not_valid_after(now + datetime.timedelta(days=30))
            .add_extension(x509.BasicConstraints(ca=True, path_length=None), critical=True)
            .add_extension(x509.KeyUsage(digital_signature=True, key_cert_sign=True, crl_sign=True,
                                         content_commitment=False, key_encipherment=False,
                                         data_encipherment=False, key_agreement=False,
                                         encipher_only=False, decipher_only=False), critical=True)
            .sign(self.key, hashes.SHA256()))

    @property
    def der(self):
        return self.certificate.public_bytes(serialization.Encoding.DER)

    @property
    def thumbprint(self):
        return self.certificate.fingerprint(hashes.SHA1()).hex().upper()

    def issue(self, stem, names=LOOPBACK_NAMES, days=(-1, 30)):
        """A server context whose certificate, issued by this authority,
        names `names` (DNS names; an IP address is also named as one) and is
        valid from days[0] to days[1] days from now."""
        return server_context(self.folder, stem, names, days, self)


def self_signed(folder, stem, names=LOOPBACK_NAMES):
    """A server context whose certificate signs itself."""
    return server_context(pathlib.Path(folder), stem, names, (-1, 30), None)


def server_context(folder, stem, names, days, authority):
    key = _shared_key()
    now = datetime.datetime.now(datetime.timezone.utc)
    alternative = [x509.DNSName(n) for n in names]
    for n in names:
        with contextlib.suppress(ValueError):
            alternative.append(x509.IPAddress(ipaddress.ip_address(n)))
    issuer = authority.certificate.subject if authority else _name(names[0])
    certificate = (
        x509.CertificateBuilder().subject_name(_name(names[0])).issuer_name(issuer)
        .public_key(key.public_key()).serial_number(x509.random_serial_number())
        .not_valid_before(now + datetime.timedelta(days=days[0]))
        .not_valid_after(now + datetime.timedelta(days=days[1]))
        .add_extension(x509.SubjectAlternativeName(alternative), critical=False)
        .add_extension(x509.ExtendedKeyUsage([x509.oid.ExtendedKeyUsageOID.SERVER_AUTH]), critical=False)
        .sign(authority.key if authority else key, hashes.SHA256()))
    cert_file, key_file = folder / (stem + ".crt"), folder / (stem + ".key")
    cert_file.write_bytes(certificate.public_bytes(serialization.Encoding.PEM))
    key_file.write_bytes(key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                           serialization.NoEncryption()))
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert_file, key_file)
    return context


def root_blob(der):
    """The registry's Blob value of a root certificate."""
    return bytes([0x20, 0, 0, 0, 1, 0, 0, 0]) + len(der).to_bytes(4, "little") + der


def run_quietly(command, check=True):
    """Runs a Windows program to its end. Its output goes nowhere: the first
    program of a wine server's life starts Wine's services, which inherit
    its output and keep a pipe open long after it has ended."""
    return subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, check=check, timeout=120)


@contextlib.contextmanager
def trusted_in_wine(authority, wine):
    """Makes the Wine prefix (through the command list `wine`, which runs a
    Windows program in it) trust authority while the block runs."""
    key = ROOTS_KEY + authority.thumbprint
    run_quietly(wine + ["reg", "add", key, "/v", "Blob", "/t", "REG_BINARY",
                        "/d", root_blob(authority.der).hex().upper(), "/f"])
    try:
        yield authority
    finally:
        run_quietly(wine + ["reg", "delete", key, "/f"], check=False)


@contextlib.contextmanager
def test_authority(wine):
    """A fresh authority, trusted in the prefix while the block runs."""
    with tempfile.TemporaryDirectory(prefix="kiv-ca-") as folder:
        with trusted_in_wine(Authority(folder), wine) as authority:
            yield authority
