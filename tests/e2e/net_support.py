"""Plumbing for the transport, token and maintenance tests: the local token
server, a throwaway test CA, and the net_probe helper that drives the
runner's own HTTP and token code."""
import os
import re
import shutil
import subprocess
import sys
import tempfile

import harness as h

sys.path.insert(0, os.path.join(h.SOURCE_DIR, "tests", "servers"))
from token_server import Realm, TokenServer  # noqa: E402,F401

FORM = "application/x-www-form-urlencoded"
ERROR_WINHTTP_TIMEOUT = 12002
ERROR_WINHTTP_UNRECOGNIZED_SCHEME = 12006
ERROR_WINHTTP_NAME_NOT_RESOLVED = 12007
ERROR_WINHTTP_CANNOT_CONNECT = 12029
# Wine reports an untrusted certificate with the first, Windows with the second.
UNTRUSTED_CERT_ERRORS = (12157, 12175)


def token_url(server, realm="orvanta", host="127.0.0.1", scheme="http"):
    return "%s://%s:%d/realms/%s/protocol/openid-connect/token" % (scheme, host, server.port, realm)


def z_path(unix_path):
    """The Windows path of any Unix file, through Wine's Z: drive."""
    return "Z:" + os.path.realpath(unix_path).replace("/", "\\")


def refused_port():
    """A local port with nobody listening."""
    import socket
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def probe_post(url, body="", token="", content_type=FORM, receive_ms=None):
    """http_post through the helper; returns (status, win_error, body bytes)."""
    args = ["post", url, content_type or "-", body or "-", token or "-"]
    if receive_ms is not None:
        args.append(str(receive_ms))
    proc = subprocess.run(["wine", h.helper("net_probe"), *args], env=h.wine_env(), timeout=120,
                          stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    head, _, rest = proc.stdout.partition(b"\n")
    m = re.match(rb"^status=(\d+) win_error=(\d+) length=(\d+)$", head)
    assert m, proc.stdout[:200]
    assert len(rest) == int(m.group(3))
    return int(m.group(1)), int(m.group(2)), rest


class TokenRun:
    def __init__(self, tokens, log):
        self.tokens = tokens
        self.log = log


def probe_tokens(url, steps, client_id="runner-test", secret="s3cret"):
    """Runs TokenClient steps (get, force, sleep:MS, pair) in one process;
    returns the tokens handed out and the log lines written meanwhile."""
    folder = tempfile.mkdtemp(dir=h.drive_c())
    try:
        log = os.path.join(folder, "probe.log")
        proc = subprocess.run(["wine", h.helper("net_probe"), "token", url, client_id or "-", secret or "-",
                               h.to_win(log), *steps], env=h.wine_env(), timeout=120, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        assert proc.returncode == 0, proc.returncode
        tokens = [line[len("token="):] for line in proc.stdout.decode().replace("\r", "").splitlines()]
        lines = []
        if os.path.exists(log):
            with open(log, "rb") as f:
                for line in f.read().decode("utf-8", "replace").split("\r\n"):
                    m = re.match(r"^\S+ \S+ \[\d+\] (.*)$", line)
                    if m:
                        lines.append(m.group(1))
        return TokenRun(tokens, lines)
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def run_in_console(args, timeout=60):
    """Runs the runner from a console of its own, as an administrator would;
    returns (exit code, the console's text)."""
    proc = subprocess.run(["wine", h.helper("maint_console"), z_path(h.EXE), *args], env=h.wine_env(),
                          timeout=timeout, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL)
    return proc.returncode, proc.stdout.decode("utf-8", "replace").replace("\r", "")


class TestCa:
    """A throwaway CA and a localhost server certificate made with openssl."""

    def __init__(self, name):
        self.folder = tempfile.mkdtemp(prefix="orv-ca-")
        self.ca_pem = self._path("ca.pem")
        self.ca_der = self._path("ca.der")
        self.cert = self._path("server.pem")
        self.key = self._path("server.key")
        ca_key = self._path("ca.key")
        csr = self._path("server.csr")
        ext = self._path("server.ext")
        with open(ext, "w") as f:
            f.write("subjectAltName=DNS:localhost,IP:127.0.0.1\nbasicConstraints=CA:FALSE\n"
                    "keyUsage=critical,digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n")
        ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
        self._openssl("req", "-x509", *ec, "-keyout", ca_key, "-out", self.ca_pem, "-days", "2",
                      "-subj", "/CN=%s" % name, "-addext", "basicConstraints=critical,CA:TRUE",
                      "-addext", "keyUsage=critical,keyCertSign,cRLSign")
        self._openssl("req", *ec, "-keyout", self.key, "-out", csr, "-subj", "/CN=localhost")
        self._openssl("x509", "-req", "-in", csr, "-CA", self.ca_pem, "-CAkey", ca_key, "-CAcreateserial",
                      "-out", self.cert, "-days", "2", "-extfile", ext)
        self._openssl("x509", "-in", self.ca_pem, "-outform", "DER", "-out", self.ca_der)
        self._windows_der = None

    def _path(self, name):
        return os.path.join(self.folder, name)

    @staticmethod
    def _openssl(*args):
        subprocess.run(["openssl", *args], check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    def _trust_tool(self, *args):
        copy = h.drive_c("orv-test-ca-%d.der" % os.getpid())
        shutil.copy(self.ca_der, copy)
        try:
            code, _ = h.run_exe([*args, h.to_win(copy)], exe=h.helper("trust_cert"))
        finally:
            os.remove(copy)
        return code

    def trust(self):
        """Adds the CA to the prefix user's trusted roots (nowhere else)."""
        assert self._trust_tool() == 0

    def untrust(self):
        self._trust_tool("--remove")

    def remove_files(self):
        shutil.rmtree(self.folder, ignore_errors=True)
