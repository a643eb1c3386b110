"""Plumbing for the stress tests: self-checking GDT versions, a Windows writer,
a fault-injecting proxy in front of the development server, runner kills and
the conservation check that turns all of it into counts."""
import hashlib
import json
import os
import random
import re
import select
import signal
import socket
import struct
import subprocess
import threading
import time

import harness as h
import upload_support as us

# The long forms (scripts/stress.sh --long) scale every count by this factor.
LONG = os.environ.get("ORV_STRESS_LONG") == "1"
SEED = int(os.environ.get("ORV_STRESS_SEED", "0")) or random.randrange(1, 1 << 30)

VERSION_HEAD = re.compile(rb"^STRESS-VERSION (\d{8}) ([0-9a-f]{64}) (\d+)\r\n")


def make_version(number, size):
    """A GDT stand-in that proves its own integrity: number, SHA-256 and length of the payload."""
    rng = random.Random(number)
    line = b"01380006310\r\n0143000%06d\r\n" % number
    payload = (line * (size // len(line) + 1))[:size]
    payload = bytes(b if b != 0x30 else 0x30 + rng.randrange(10) for b in payload)
    return b"STRESS-VERSION %08d %s %d\r\n" % (number, hashlib.sha256(payload).hexdigest().encode(), size) + payload


def parse_version(data):
    """(number, intact) of a received file; number is None when it carries no head at all."""
    m = VERSION_HEAD.match(data)
    if not m:
        return None, False
    payload = data[m.end():]
    intact = len(payload) == int(m.group(3)) and hashlib.sha256(payload).hexdigest().encode() == m.group(2)
    return int(m.group(1)), intact


class Writer:
    """A Windows process that rewrites (or holds) the GDT file in place without
    sharing, the way a practice system does; one process for many writes."""

    def __init__(self, path):
        self.proc = subprocess.Popen(["wine", h.helper("stress_writer"), h.to_win(path)], env=h.wine_env(),
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)

    def _answer(self):
        line = self.proc.stdout.readline().strip()
        if not line:
            raise RuntimeError("stress_writer ended")
        return line.decode()

    def write(self, data, hold_ms=0):
        """Returns once the file is closed again, with the answer ("ok" or "err N")."""
        self.proc.stdin.write(b"W %d %d\n" % (len(data), hold_ms) + data)
        self.proc.stdin.flush()
        return self._answer()

    def hold(self, ms):
        """Holds the file open without sharing; returns once it is held (or the error)."""
        self.proc.stdin.write(b"H %d\n" % ms)
        self.proc.stdin.flush()
        return self._answer()

    def wait_released(self):
        return self._answer()

    def close(self):
        if self.proc.poll() is None:
            self.proc.stdin.close()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


class FaultProxy:
    """A TCP relay between the runner and the development server that can
    answer with a status of its own, cut a request or an answer after some
    bytes, hold back the answer's last byte, slow the answer down, or be down
    altogether (nothing listens). Plans and defaults per endpoint ("gdt",
    "token"), one action per request. It reads the version number out of
    every upload and journals what the runner got."""

    def __init__(self, upstream_port):
        self.upstream_port = upstream_port
        self.lock = threading.Lock()
        self.plans = {"gdt": [], "token": []}
        self.defaults = {"gdt": "pass", "token": "pass"}
        self.journal = []
        self.listener = None
        self.port = 0
        self.up()

    def up(self):
        with self.lock:
            if self.listener:
                return
            s = socket.socket()
            s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            s.bind(("127.0.0.1", self.port))
            s.listen(64)
            self.port = s.getsockname()[1]
            self.listener = s
        threading.Thread(target=self._accept, args=(s,), daemon=True).start()

    def down(self):
        """Nobody listens any more: connections are refused."""
        with self.lock:
            s, self.listener = self.listener, None
        if s:
            s.close()

    @property
    def url(self):
        return "http://127.0.0.1:%d" % self.port

    @property
    def token_url(self):
        return self.url + "/realms/quillon/protocol/openid-connect/token"

    def set(self, plan=None, default=None, endpoint="gdt"):
        with self.lock:
            if plan is not None:
                self.plans[endpoint] = list(plan)
            if default is not None:
                self.defaults[endpoint] = default

    def uploads(self):
        with self.lock:
            return [e for e in self.journal if e["endpoint"] == "gdt"]

    def _next_action(self, endpoint):
        with self.lock:
            plan = self.plans.get(endpoint)
            if plan is None:
                return "pass"
            return plan.pop(0) if plan else self.defaults[endpoint]

    def _accept(self, listener):
        while True:
            try:
                conn, _ = listener.accept()
            except OSError:
                return
            threading.Thread(target=self._serve, args=(conn,), daemon=True).start()

    @staticmethod
    def _read_head(sock):
        data = b""
        while b"\r\n\r\n" not in data:
            chunk = sock.recv(65536)
            if not chunk:
                return data, b""
            data += chunk
        head, _, rest = data.partition(b"\r\n\r\n")
        return head + b"\r\n\r\n", rest

    @staticmethod
    def _read_body(sock, head, rest):
        """The rest of a Content-Length body; whether it came whole."""
        m = re.search(rb"(?im)^content-length:\s*(\d+)", head)
        length = int(m.group(1)) if m else 0
        while len(rest) < length:
            chunk = sock.recv(65536)
            if not chunk:
                return rest, False
            rest += chunk
        return rest, True

    def _serve(self, conn):
        upstream = None
        try:
            conn.settimeout(120)
            head, rest = self._read_head(conn)
            if not head.endswith(b"\r\n\r\n"):
                return
            path = head.split(b" ", 2)[1].decode("latin-1") if head.count(b" ") >= 2 else "?"
            endpoint = "gdt" if path == "/api/gdt" else "token" if path.endswith("/token") else "other"
            action = self._next_action(endpoint)
            kind, _, arg = action.partition(":")
            entry = {"time": time.time(), "endpoint": endpoint, "version": None, "action": action,
                     "status": None, "delivered": False}
            with self.lock:
                self.journal.append(entry)
            if kind == "cut_request":
                # Reset while the runner is still sending: unread bytes make the close a reset.
                entry["status"] = 0
                conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                return
            body, whole = self._read_body(conn, head, rest)
            m = re.search(rb"STRESS-VERSION (\d{8})", body)
            entry["version"] = int(m.group(1)) if m else None
            if not whole or kind == "drop":  # the runner went away while sending, or no answer
                entry["status"] = 0
                return
            if kind == "status":
                text = json.dumps({"result": "forced " + arg}).encode()
                answer = b"HTTP/1.1 %s Forced\r\nContent-Type: application/json\r\nContent-Length: %d\r\n" \
                         b"Connection: close\r\n\r\n%s" % (arg.encode(), len(text), text)
            else:
                upstream = socket.create_connection(("127.0.0.1", self.upstream_port), timeout=120)
                upstream.sendall(head + body)
                answer_head, answer_rest = self._read_head(upstream)
                answer_body, _ = self._read_body(upstream, answer_head, answer_rest)
                answer = answer_head + answer_body
            m = re.match(rb"HTTP/1\.[01] (\d{3})", answer)
            entry["status"] = int(m.group(1)) if m else 0
            entry["answered_at"] = time.time()
            if kind == "cut_answer":  # answered, but the runner gets only the first bytes
                conn.sendall(answer[:int(arg or 20)])
                return
            if kind == "slow":
                time.sleep(int(arg) / 1000.0)
            if kind == "hold_tail":  # answered by the server, not yet complete at the runner
                conn.sendall(answer[:-1])
                time.sleep(int(arg) / 1000.0)
                answer = answer[-1:]
            conn.sendall(answer)
            entry["delivered"] = True
        except OSError:
            pass
        finally:
            if upstream:
                upstream.close()
            conn.close()


class LogTail:
    """The runner's log lines written since the last look (rotation included)."""

    def __init__(self):
        self.offset = 0
        self.lines = []

    def poll(self):
        try:
            with open(h.log_path(), "rb") as f:
                f.seek(0, 2)
                size = f.tell()
                if size < self.offset:
                    self.offset = 0
                f.seek(self.offset)
                data = f.read()
        except FileNotFoundError:
            return []
        cut = data.rfind(b"\r\n")
        if cut < 0:
            return []
        self.offset += cut + 2
        new = []
        for line in data[:cut].decode("utf-8", "replace").split("\r\n"):
            m = re.match(r"^(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)\.(\d{3}) \[(\d+)\] (.*)$", line)
            if m:
                stamp = time.mktime(time.strptime(m.group(1), "%Y-%m-%d %H:%M:%S")) + int(m.group(2)) / 1000.0
                new.append((stamp, int(m.group(3)), m.group(4)))
        self.lines.extend(new)
        return new

    def messages(self, prefix=""):
        self.poll()
        return [m for _, _, m in self.lines if m.startswith(prefix)]

    def first_time(self, message, since):
        """Time of the first line with this message logged at or after since, or None."""
        self.poll()
        return next((t for t, _, m in self.lines if m == message and t >= since - 0.002), None)


def cpu_seconds(pid):
    """User plus system time of a Linux process (all its threads)."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def queue_files():
    """(finished entries, leftover temporary files) of the queue folder."""
    try:
        names = os.listdir(us.queue_dir())
    except FileNotFoundError:
        return [], []
    return sorted(n for n in names if n.endswith(".gdt")), sorted(n for n in names if n.endswith(".tmp"))


def queued_versions():
    out = {}
    for name in queue_files()[0]:
        try:
            with open(os.path.join(us.queue_dir(), name), "rb") as f:
                out[name] = parse_version(f.read())[0]
        except OSError:
            pass
    return out


class Timeline:
    """What happened when: version writes, runner lives. Decides which versions
    must reach the server."""

    def __init__(self):
        self.writes = []  # (number, time the version could be read from)
        self.changes = {}  # index in writes -> when that version began to be replaced
        self.lives = []  # [start, end, watching]: watching is when its watch opened, or None

    def wrote(self, number):
        self.writes.append((number, time.time()))

    def changing(self):
        """The current version is about to be overwritten (or held by another program)."""
        if self.writes:
            self.changes.setdefault(len(self.writes) - 1, time.time())

    def started(self):
        self.lives.append([time.time(), None, None])

    def ended(self, log):
        life = self.lives[-1]
        life[1] = time.time()
        life[2] = log.first_time("watching gdt dir", life[0])

    def required(self, settle=1.0):
        """Versions that stayed unchanged for settle seconds while one runner
        watched the folder: whether written while it ran or found there when
        it started (after a kill of its predecessor)."""
        now = time.time()
        lives = [(w, e if e is not None else now) for _, e, w in self.lives if w is not None]
        out = set()
        for i, (number, written) in enumerate(self.writes):
            replaced = self.writes[i + 1][1] if i + 1 < len(self.writes) else now
            replaced = min(replaced, self.changes.get(i, replaced))
            if any(min(replaced, end) - max(written, watching) >= settle for watching, end in lives):
                out.add(number)
        return out


def conservation(timeline, received, duplicate_causes=None):
    """Counts and faults for the versions the server received, in arrival order.
    received: [(number or None, intact)]. Returns (counts, faults)."""
    written = {n for n, _ in timeline.writes}
    required = timeline.required()
    numbers = [n for n, _ in received]
    faults = []
    torn = [n for n, intact in received if not intact]
    if torn:
        faults.append("torn or foreign uploads: %r" % torn[:20])
    unknown = sorted({n for n in numbers if n is not None and n not in written})
    if unknown:
        faults.append("versions never written: %r" % unknown[:20])
    lost = sorted(required - set(numbers))
    if lost:
        faults.append("lost: %r" % lost[:20])
    firsts = []
    for n in numbers:
        if n not in firsts:
            firsts.append(n)
    if any(a is not None and b is not None and a > b for a, b in zip(firsts, firsts[1:])):
        faults.append("order broken: %r" % firsts)
    counts = {"versions written": len(written), "required": len(required),
              "received": len(set(numbers)), "uploads": len(numbers), "lost": len(lost),
              "torn": len(torn), "duplicate uploads": len(numbers) - len(set(numbers))}
    dups = sorted({n for n in numbers if numbers.count(n) > 1})
    if dups:
        causes = duplicate_causes or {}
        unexplained = [n for n in dups if n not in causes]
        for cause in sorted(set(causes.get(n, "unexplained") for n in dups)):
            counts["versions duplicated, " + cause] = sum(1 for n in dups if causes.get(n, "unexplained") == cause)
        if unexplained:
            faults.append("duplicates without a kill to explain them: %r" % unexplained[:20])
    return counts, faults


def report(title, counts):
    text = "%s: %s" % (title, ", ".join("%s: %s" % (k, v) for k, v in counts.items()))
    print(text, flush=True)
    return text


class StressTestCase(us.UploadTestCase):
    """A runner against the development server behind a fault proxy."""

    def setUp(self):
        super().setUp()
        self.proxy = FaultProxy(self.server.port)
        self.addCleanup(self.proxy.down)
        self.gdt_path = os.path.join(self.gdt_dir, "data.gdt")
        self.timeline = Timeline()
        self.log = LogTail()
        self.rng = random.Random(SEED + hash(self.id()) % 1000)
        print("seed %d" % SEED, flush=True)

    def configure(self, **overrides):
        settings = dict(server_url=self.proxy.url, server_token_url=self.proxy.token_url)
        settings.update(overrides)
        self.write_config(**settings)

    def start(self):
        self.proc = h.start_exe([])
        self.timeline.started()
        return self.proc

    def kill(self):
        """SIGKILL on the runner's own Linux process: no clean-up code of the runner runs."""
        os.kill(self.proc.pid, signal.SIGKILL)
        self.proc.wait(10)
        self.timeline.ended(self.log)

    def stop(self):
        h.stop_runner(self.proc)
        self.timeline.ended(self.log)

    def wait_ready(self, lines_before, timeout=30):
        """Waits for the next "watching gdt dir"; False when it did not come."""
        return h.wait_for(lambda: len(self.log.messages("watching gdt dir")) > lines_before, timeout, 0.02)

    def received(self):
        """(number, intact) of every upload the server accepted, in arrival order."""
        return [parse_version(u["file"]) for u in self.server.uploads()]

    def wait_settled(self, timeout):
        """True once every required version has arrived and the queue is empty
        (the runner that is still running counts as watching since its start)."""
        self.timeline.lives[-1][2] = self.log.first_time("watching gdt dir", self.timeline.lives[-1][0])
        time.sleep(1.2)  # the last version is required once it stood for a second
        return h.wait_for(lambda: not queue_files()[0] and
                          self.timeline.required() <= {n for n, _ in self.received()}, timeout, 0.25)

    def check(self, title, counts, faults):
        report(title, counts)
        if faults:
            # The whole story, for a person to read after a failure.
            path = os.path.join(h.BUILD_DIR, "stress-%s.json" % title)
            with open(path, "w") as f:
                json.dump({"seed": SEED, "counts": counts, "faults": faults, "writes": self.timeline.writes,
                           "lives": self.timeline.lives, "proxy": self.proxy.journal,
                           "received": self.received(), "log": self.log.lines}, f, indent=1)
            faults = faults + ["details in " + path]
        self.assertEqual(faults, [], "\n".join(faults))
