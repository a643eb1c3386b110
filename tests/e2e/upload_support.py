"""Helpers for the upload tests: the local development server and the queue."""
import base64
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.request

import harness as h

SECRET = b"test-secret"
SAMPLE_GDT = os.path.join(h.SOURCE_DIR, "samples", "data.gdt")


class DevServer:
    """tools/devserver.py in its own process, on a port of the system's choice."""

    def __init__(self, *args, secret=SECRET, port=0):
        self.dir = tempfile.mkdtemp(prefix="orv-devserver-")
        port_file = os.path.join(self.dir, "port")
        self.output = open(os.path.join(self.dir, "output.txt"), "wb")
        self.proc = subprocess.Popen(
            [sys.executable, os.path.join(h.SOURCE_DIR, "tools", "devserver.py"), "--port", str(port),
             "--port-file", port_file,
             "--store", os.path.join(self.dir, "store"), "--client-secret", secret.decode(), *args],
            stdin=subprocess.DEVNULL, stdout=self.output, stderr=subprocess.STDOUT)
        if not h.wait_for(lambda: os.path.exists(port_file), 10):
            self.stop()
            raise RuntimeError("development server did not start")
        with open(port_file) as f:
            self.port = int(f.read())
        self.url = "http://127.0.0.1:%d" % self.port
        self.token_url = self.url + "/realms/quillon/protocol/openid-connect/token"

    def _call(self, path, changes=None):
        data = json.dumps(changes).encode() if changes is not None else None
        with urllib.request.urlopen(self.url + path, data=data, timeout=10) as answer:
            return json.load(answer)

    def control(self, **changes):
        return self._call("/_control", changes)

    def requests(self, endpoint=None):
        return [r for r in self._call("/_control/requests") if endpoint in (None, r["endpoint"])]

    def uploads(self):
        out = self._call("/_control/uploads")
        for u in out:
            u["file"] = base64.b64decode(u.pop("file_b64"))
            u["body"] = base64.b64decode(u.pop("body_b64"))
        return out

    def printed(self):
        with open(os.path.join(self.dir, "output.txt"), "rb") as f:
            return f.read().decode("utf-8", "replace")

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(10)
        self.output.close()
        shutil.rmtree(self.dir, ignore_errors=True)


from harness import queue_dir, queue_entries  # noqa: F401  (used as us.queue_*)


def add_entry(name, data):
    os.makedirs(queue_dir(), exist_ok=True)
    with open(os.path.join(queue_dir(), name), "wb") as f:
        f.write(data)


def messages(prefix):
    return [m for m in h.log_messages() if m.startswith(prefix)]


class UploadTestCase(h.RunnerTestCase):
    """A runner configured against a fresh development server."""

    server_args = ()

    def setUp(self):
        super().setUp()
        self.assertEqual(h.store_secret(SECRET), 0)
        self.server = DevServer(*self.server_args)
        self.addCleanup(self.server.stop)
        self.proc = None

    def tearDown(self):
        if self.proc is not None and self.proc.poll() is None:
            h.stop_runner(self.proc)
        super().tearDown()

    def configure(self, **overrides):
        settings = dict(server_url=self.server.url, server_token_url=self.server.token_url)
        settings.update(overrides)
        self.write_config(**settings)

    def start_runner(self, wait_for_watch=True):
        self.proc = h.start_exe([])
        if wait_for_watch and not h.wait_for(lambda: "watching gdt dir" in h.log_messages(), 20):
            self.fail("runner did not start watching: %r" % h.log_messages())
        return self.proc

    def restart_runner(self):
        h.stop_runner(self.proc)
        return self.start_runner()

    def wait_for_log(self, prefix, count=1, timeout=20):
        if not h.wait_for(lambda: len(messages(prefix)) >= count, timeout):
            self.fail("no %d log lines %r: %r\nserver:\n%s" % (count, prefix, h.log_messages(),
                                                                 self.server.printed()))
        return messages(prefix)

    def write_gdt(self, data):
        """Writes the GDT file in place, as a practice system does."""
        with open(os.path.join(self.gdt_dir, "data.gdt"), "wb") as f:
            f.write(data)


def free_port():
    """A loopback port on which nobody listens (closed again at once)."""
    import socket
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]
