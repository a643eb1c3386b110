#!/usr/bin/env python3
"""Benchmark of the real exe under Wine against the local development server.
Prints one table; every figure beside what it is compared with, measured in
the same run. Run through bench/run.sh."""
import calendar
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import harness as h  # noqa: E402
import stress_support as ss  # noqa: E402
import upload_support as us  # noqa: E402

DEBOUNCE_MS = 300
VERSIONS = int(os.environ.get("BENCH_VERSIONS", "60"))
DRAIN_ENTRIES = int(os.environ.get("BENCH_DRAIN", "1000"))
IDLE_S = int(os.environ.get("BENCH_IDLE_S", "60"))


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(p / 100.0 * (len(ordered) - 1))))]


def iso_to_epoch(text):
    """2024-05-17T08:15:30.123Z -> seconds since the epoch."""
    return calendar.timegm(time.strptime(text[:19], "%Y-%m-%dT%H:%M:%S")) + int(text[20:23]) / 1000.0


class Bench:
    def __init__(self):
        h.ensure_prefix()
        h.run_exe(["--stop"])
        h.reset_user_state()
        self.gdt_dir = h.drive_c("gdt-bench")
        os.makedirs(self.gdt_dir, exist_ok=True)
        for name in os.listdir(self.gdt_dir):
            os.remove(os.path.join(self.gdt_dir, name))
        assert h.store_secret(us.SECRET) == 0
        self.server = us.DevServer("--quiet")
        self.log = ss.LogTail()
        self.proc = None

    def configure(self, button=False):
        h.write_ini(os.path.join(h.program_data_dir(), "runner.ini"), {
            "server": {"url": self.server.url, "token_url": self.server.token_url},
            "gdt": {"dir": h.to_win(self.gdt_dir), "file": "data.gdt", "debounce_ms": str(DEBOUNCE_MS)},
            "open": {"taskbar_button": "1" if button else "0"},
            "run": {"users": h.USER}})

    def start(self, button=False):
        self.configure(button)
        before = len(self.log.messages("watching gdt dir"))
        self.proc = h.start_exe([])
        if not h.wait_for(lambda: len(self.log.messages("watching gdt dir")) > before, 60):
            raise RuntimeError("runner did not start")

    def stop(self):
        h.stop_runner(self.proc)

    # --- latency --------------------------------------------------------------
    def latency(self):
        self.server.control(reset=True)
        self.start()
        time.sleep(1.0)
        path = os.path.join(self.gdt_dir, "data.gdt")
        written = []
        for n in range(VERSIONS):
            with open(path, "wb") as f:
                f.write(ss.make_version(n + 1, 2000))
            written.append(time.time())
            if not h.wait_for(lambda: len(self.server.uploads()) > n, 10, 0.01):
                raise RuntimeError("version %d did not arrive" % (n + 1))
            time.sleep(0.2)
        self.stop()
        uploads = self.server.uploads()
        capture = [(iso_to_epoch(u["fields"]["captured_at"]) - w) * 1000 - DEBOUNCE_MS
                   for u, w in zip(uploads, written)]
        end_to_end = [(u["time"] - w) * 1000 - DEBOUNCE_MS for u, w in zip(uploads, written)]
        return capture, end_to_end

    # --- drain rate -----------------------------------------------------------
    def drain(self):
        self.server.control(reset=True)
        for name in ss.queue_files()[0]:
            os.remove(os.path.join(us.queue_dir(), name))
        base = int(time.time() * 1000) - DRAIN_ENTRIES
        for n in range(DRAIN_ENTRIES):
            us.add_entry("%013d_00042_%04d.gdt" % (base + n, n % 10000), ss.make_version(n + 1, 4096 - 90))
        self.start()
        if not h.wait_for(lambda: not ss.queue_files()[0], 600, 0.2):
            raise RuntimeError("queue did not drain")
        self.stop()
        times = [r["time"] for r in self.server.requests("gdt")]
        runner_rate = (len(times) - 1) / (times[-1] - times[0])
        uploads = self.server.uploads()

        # The same requests from a shell loop of curl processes with a cached token.
        work = tempfile.mkdtemp(prefix="orv-bench-")
        for i, u in enumerate(uploads):
            with open(os.path.join(work, "%05d.body" % i), "wb") as f:
                f.write(u["body"])
        answer = subprocess.run(
            ["curl", "-s", "-d", "grant_type=client_credentials&client_id=velmora-runner-364280&client_secret=" +
             us.SECRET.decode(), self.server.token_url], capture_output=True, text=True, check=True).stdout
        token = json.loads(answer)["access_token"]
        script = os.path.join(work, "loop.sh")
        with open(script, "w") as f:
            # Each body has its own boundary, so each line carries its Content-Type.
            for i, u in enumerate(uploads):
                f.write('curl -s -o /dev/null -H "Authorization: Bearer %s" -H "Content-Type: %s" '
                        '-H "Accept: application/json" --data-binary @%s/%05d.body %s/api/gdt\n'
                        % (token, u["content_type"], work, i, self.server.url))
        self.server.control(reset=True)
        subprocess.run(["bash", script], check=True)
        times = [r["time"] for r in self.server.requests("gdt")]
        curl_rate = (len(times) - 1) / (times[-1] - times[0])
        ok = sum(1 for r in self.server.requests("gdt") if r["status"] == 200)
        subprocess.run(["rm", "-rf", work])
        return runner_rate, curl_rate, len(uploads), ok

    # --- idle wake-ups and memory ---------------------------------------------
    @staticmethod
    def switches(pid):
        """Voluntary context switches per Linux thread of a process: each one is
        a wake-up after the thread blocked."""
        out = {}
        for tid in os.listdir("/proc/%d/task" % pid):
            try:
                with open("/proc/%d/task/%s/status" % (pid, tid)) as f:
                    for line in f:
                        if line.startswith("voluntary_ctxt_switches:"):
                            out[int(tid)] = int(line.split()[1])
            except FileNotFoundError:
                pass
        return out

    @staticmethod
    def rss_mib(pid):
        """(resident, anonymous) MiB: anonymous memory is the program's own heap
        and stacks, the rest mostly Wine's DLLs and the libraries they load."""
        values = {}
        with open("/proc/%d/smaps_rollup" % pid) as f:
            for line in f:
                parts = line.split()
                if parts and parts[0] in ("Rss:", "Anonymous:"):
                    values[parts[0]] = int(parts[1]) / 1024.0
        return values.get("Rss:", 0.0), values.get("Anonymous:", 0.0)

    @staticmethod
    def wake_episodes(pid, seconds):
        """Per Linux thread: how often it went from sleeping to running, seen by
        sampling its CPU time every 10 ms (one wake-up of the program costs
        several switches under Wine, one per wineserver call)."""
        tids = [int(t) for t in os.listdir("/proc/%d/task" % pid)]
        last, active, episodes = {}, {}, {t: 0 for t in tids}
        deadline = time.time() + seconds
        while time.time() < deadline:
            for tid in tids:
                try:
                    with open("/proc/%d/task/%d/schedstat" % (pid, tid)) as f:
                        ran = int(f.read().split()[0])
                except (FileNotFoundError, ValueError, IndexError):
                    continue
                now_active = tid in last and ran != last[tid]
                if now_active and not active.get(tid):
                    episodes[tid] += 1
                active[tid], last[tid] = now_active, ran
            time.sleep(0.01)
        return episodes

    def idle(self, button):
        self.server.control(reset=True)
        self.start(button)
        time.sleep(5)  # start-up pass and first timer ticks over
        pid = self.proc.pid
        before = self.switches(pid)
        episodes = self.wake_episodes(pid, IDLE_S)
        after = self.switches(pid)
        rss = self.rss_mib(pid)
        self.stop()
        switches = sum(after.get(t, 0) - before.get(t, 0) for t in after)
        main = episodes.pop(pid, 0)
        return main, sorted(episodes.values(), reverse=True), switches, rss

    def minimal_rss(self, same_dlls=False):
        proc = h.start_exe(["--same-dlls"] if same_dlls else [], exe=h.helper("bench_minimal_gui"))
        time.sleep(5)
        pid = proc.pid
        before = self.switches(pid)
        time.sleep(10)
        after = self.switches(pid)
        rss = self.rss_mib(pid)
        proc.kill()
        proc.wait()
        return rss, sum(after.values()) - sum(before.values()), len(after)

    def close(self):
        self.server.stop()


def main():
    bench = Bench()
    rows = []
    try:
        print("latency over %d versions ..." % VERSIONS, flush=True)
        capture, end_to_end = bench.latency()
        print("drain of %d entries, then the curl loop ..." % DRAIN_ENTRIES, flush=True)
        runner_rate, curl_rate, drained, curl_ok = bench.drain()
        print("idle %d s without and with the taskbar button ..." % IDLE_S, flush=True)
        quiet = bench.idle(False)
        button = bench.idle(True)
        print("minimal Wine GUI program ...", flush=True)
        minimal_rss, minimal_switches, minimal_threads = bench.minimal_rss()
        same_dlls_rss = bench.minimal_rss(same_dlls=True)[0]
    finally:
        bench.close()
    exe_kib = os.path.getsize(h.EXE) / 1024.0

    def others(result):
        values = result[1]
        return "other threads %s; %d context switches in all" % ("/".join(map(str, values)) or "none", result[2])

    rows = [
        ("capture latency p50 / p95 (ms, minus debounce %d)" % DEBOUNCE_MS,
         "%.0f / %.0f" % (percentile(capture, 50), percentile(capture, 95)), "%d versions" % len(capture), "-", ""),
        ("end-to-end latency p50 / p95 (ms, minus debounce)",
         "%.0f / %.0f" % (percentile(end_to_end, 50), percentile(end_to_end, 95)), "%d versions" % len(end_to_end),
         "p95 <= 150", "yes" if percentile(end_to_end, 95) <= 150 else "NO"),
        ("queue drain, %d entries of 4 KiB (uploads/s)" % drained, "%.1f" % runner_rate,
         "curl loop %.1f (%d ok), ratio %.2f" % (curl_rate, curl_ok, runner_rate / curl_rate), "ratio >= 1",
         "yes" if runner_rate >= curl_rate else "NO"),
        ("idle %d s, no button: main thread wake-ups" % IDLE_S, str(quiet[0]), others(quiet), "0",
         "yes" if quiet[0] == 0 else "NO"),
        ("idle %d s, taskbar button: main thread wake-ups" % IDLE_S, str(button[0]), others(button),
         "about %d (1 s timer)" % IDLE_S, ""),
        ("resident memory (MiB), no button / button", "%.1f / %.1f" % (quiet[3][0], button[3][0]),
         "minimal Wine GUI program %.1f" % minimal_rss[0], "within a few MiB",
         "yes" if quiet[3][0] - minimal_rss[0] <= 4 else "NO"),
        ("  of it anonymous (heap, stacks) (MiB)", "%.1f / %.1f" % (quiet[3][1], button[3][1]),
         "minimal Wine GUI program %.1f" % minimal_rss[1], "", ""),
        ("  minimal program with the runner's system DLLs", "%.1f" % quiet[3][0],
         "%.1f (anonymous %.1f)" % same_dlls_rss, "within a few MiB",
         "yes" if quiet[3][0] - same_dlls_rss[0] <= 4 else "NO"),
        ("exe size (KiB)", "%.0f" % exe_kib, "", "<= 1024", "yes" if exe_kib <= 1024 else "NO"),
    ]
    widths = [max(len(r[i]) for r in rows + [("figure", "runner", "compared with", "goal", "met")])
              for i in range(5)]
    print()
    for r in [("figure", "runner", "compared with", "goal", "met")] + rows:
        print("| " + " | ".join(c.ljust(w) for c, w in zip(r, widths)) + " |")
    print("\nminimal GUI program: %d wake-ups in 10 s over %d threads" % (minimal_switches, minimal_threads))
    return 0


if __name__ == "__main__":
    sys.exit(main())
