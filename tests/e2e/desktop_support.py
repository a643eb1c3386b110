"""Helpers for the desktop tests: the stand-in browser, the window driver, the
local development server and screenshots."""
import json
import os
import shutil
import socket
import subprocess
import threading
import urllib.request
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

import harness as h
import upload_support as us

SECRET = b"desktop-secret"
APP_TITLE_PREFIX = "Orvanta DEV \u00b7 "
# A GDT record whose patient number (field 3000) is 12345.
GDT_RECORD = b"01380006310\r\n014300012345\r\n"
ARTEFACT_DIR = os.path.join(h.BUILD_DIR, "artefacts")

# The runner and every stand-in it starts write their launches here.
RECORD_PATH = h.drive_c("desktop-test", "browser.record")
BROWSER_DIR = h.drive_c("desktop-test", "browsers")


def driver(*args, timeout=30):
    """Runs tray_driver; returns (exit code, stdout)."""
    return h.run_exe([str(a) for a in args], exe=h.helper("tray_driver"), timeout=timeout)


def driver_json(*args):
    code, out = driver(*args)
    return json.loads(out) if code == 0 and out.strip() else None


def browser_windows():
    return driver_json("browser-windows") or []


def tray_hwnd():
    for window in driver_json("windows") or []:
        if window["class"] == "OrvantaRunner":
            return window["hwnd"]
    return None


def icon_present(hwnd):
    return driver("icon-probe", hwnd)[0] == 0


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def screenshot(name):
    """Saves the whole virtual screen as artefacts/<name>.png for a person to look at."""
    os.makedirs(ARTEFACT_DIR, exist_ok=True)
    path = os.path.join(ARTEFACT_DIR, name + ".png")
    subprocess.run(["import", "-window", "root", path], env=h.wine_env(), stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
    return path


def gdt_request_count(server, mode="open"):
    return sum(1 for r in server.requests() if r["endpoint"] == "gdt" and ["mode", mode] in r.get("fields", []))


def DevServer(*args, port=0):
    """tools/devserver.py in its own process, with the desktop tests' secret."""
    return us.DevServer(*args, port=port, secret=SECRET)


def register_browsers(*names):
    """Registers the stand-in under App Paths (per user) for the given names only."""
    args = []
    for name in ("msedge.exe", "chrome.exe"):
        path = h.to_win(os.path.join(BROWSER_DIR, name[:-4], name)) if name in names else "-"
        args += ["hkcu", name, path, "hklm", name, "-"]
    assert driver("register-app-path", *args)[0] == 0


class ScriptedServer:
    """A server in this process that answers every GDT request with the exact
    status and body bytes a test sets, for answers the development server does
    not give (a patient url together with "delivered", hostile urls)."""

    def __init__(self, port=0):
        self.status, self.body, self.gdt_requests = 200, b"{}", 0
        owner = self

        class Handler(BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def log_message(self, *args):
                pass

            def do_POST(self):
                self.rfile.read(int(self.headers.get("Content-Length", "0")))
                if self.path.endswith("/token"):
                    status, body = 200, b'{"access_token":"scripted","expires_in":300,"token_type":"Bearer"}'
                else:
                    owner.gdt_requests += 1
                    status, body = owner.status, owner.body
                self.send_response(status)
                self.send_header("Content-Type", "application/json")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

        self.httpd = ThreadingHTTPServer(("127.0.0.1", port), Handler)
        self.port = self.httpd.server_address[1]
        self.url = "http://127.0.0.1:%d" % self.port
        self.token_url = self.url + "/token"
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def answer(self, status, body):
        if not isinstance(body, bytes):
            body = json.dumps(body, separators=(",", ":")).encode()
        self.status, self.body = status, body

    def stop(self):
        self.httpd.shutdown()
        self.httpd.server_close()


class DesktopTestCase(h.RunnerTestCase):
    """A runner configured against a fresh development server, with the
    stand-in browser registered as Edge and as the default URL handler."""

    server_args = ()

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        shutil.rmtree(BROWSER_DIR, ignore_errors=True)
        os.makedirs(os.path.dirname(RECORD_PATH), exist_ok=True)
        for name in ("msedge.exe", "chrome.exe"):
            folder = os.path.join(BROWSER_DIR, name[:-4])
            os.makedirs(folder)
            shutil.copy(h.helper("fake_browser"), os.path.join(folder, name))
        driver("url-handler", h.to_win(os.path.join(BROWSER_DIR, "msedge", "msedge.exe")))
        # Run-mode tests take turns, so the secret stays as stored here.
        assert h.store_secret(SECRET) == 0

    @classmethod
    def tearDownClass(cls):
        register_browsers()
        driver("url-handler", "-")
        super().tearDownClass()

    def setUp(self):
        super().setUp()
        register_browsers("msedge.exe")
        if os.path.exists(RECORD_PATH):
            os.remove(RECORD_PATH)
        self.server = self.start_server(*self.server_args)
        self.proc = None
        self.stand_ins = []

    def tearDown(self):
        if self.proc is not None and self.proc.poll() is None:
            h.stop_runner(self.proc)
        driver("browser-close")
        for proc in self.stand_ins:
            try:
                proc.wait(10)
            except subprocess.TimeoutExpired:
                proc.kill()
        super().tearDown()

    def start_server(self, *args, port=0):
        server = DevServer(*args, port=port)
        self.addCleanup(server.stop)
        return server

    def start_scripted_server(self):
        server = ScriptedServer()
        self.addCleanup(server.stop)
        return server

    def configure(self, server=None, **overrides):
        server = server or self.server
        settings = dict(server_url=server.url, server_token_url=server.token_url)
        settings.update(overrides)
        self.write_config(**settings)

    def write_gdt(self, data=GDT_RECORD):
        with open(os.path.join(self.gdt_dir, "data.gdt"), "wb") as f:
            f.write(data)

    def browser_env(self, **extra):
        env = {"FAKE_BROWSER_RECORD": h.to_win(RECORD_PATH)}
        env.update({k: str(v) for k, v in extra.items()})
        return env

    def launches(self):
        try:
            with open(RECORD_PATH, "rb") as f:
                return [json.loads(line) for line in f.read().decode("utf-8").splitlines() if line.strip()]
        except FileNotFoundError:
            return []

    def wait_for_launches(self, count):
        """The stand-in records itself after the runner has moved on: wait for it."""
        launches = h.wait_for(lambda: len(self.launches()) >= count and self.launches(), 10)
        self.assertEqual(len(launches or []), count, launches)
        return launches

    def open_app_window(self, title=APP_TITLE_PREFIX + "Patient 12345", minimized=False):
        """Starts a stand-in application window as if the user had opened it earlier."""
        before = len(self.launches())
        proc = h.start_exe(["--app=earlier"], exe=h.helper("fake_browser"),
                           env=self.browser_env(FAKE_BROWSER_TITLE=title))
        self.stand_ins.append(proc)
        self.assertTrue(h.wait_for(lambda: any(w["title"] == title for w in browser_windows()), 10))
        if minimized:
            driver("browser-minimize")
            self.assertTrue(h.wait_for(lambda: all(w["iconic"] for w in browser_windows()), 5))
        self.assertEqual(len(self.launches()), before + 1)
        return proc

    def run_open(self, **env):
        """--open; returns (exit code, console lines)."""
        code, out = h.run_exe(["--open"], env=self.browser_env(**env), timeout=60)
        return code, [line for line in out.split("\n") if line]

    def start_runner(self, **env):
        self.proc = h.start_exe([], env=self.browser_env(**env))
        if not h.wait_for(lambda: any(m.startswith("runner started") for m in h.log_messages()), 20):
            self.fail("runner did not start: %r" % h.log_messages())
        self.assertTrue(h.wait_for(tray_hwnd, 10))
        return self.proc

    def channel(self):
        with open(os.path.join(h.data_dir(), "channel"), encoding="utf-8") as f:
            return f.read().strip()
