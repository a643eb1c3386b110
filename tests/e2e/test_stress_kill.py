"""Forced kills of the runner at random moments while a practice system keeps
rewriting the GDT file: nothing captured is lost, torn or reordered."""
import os
import threading
import time

import harness as h
import stress_support as ss

KILLS = int(os.environ.get("ORV_STRESS_KILLS", 1000 if ss.LONG else 55))

CAUSE_ANSWERED = "kill after the server's answer, before deletion"
CAUSE_RECAPTURED = "kill after queueing, before the capture was recorded"


class Kill(ss.StressTestCase):
    def write_versions(self, stop):
        """Numbered versions at random intervals around the debounce time; now
        and then a pause long enough for a version to settle."""
        writer = ss.Writer(self.gdt_path)
        number = 0
        try:
            while not stop.is_set():
                number += 1
                data = ss.make_version(number, self.rng.randrange(100, 6000))
                self.timeline.changing()
                while not stop.is_set():
                    answer = writer.write(data)
                    if answer == "ok":
                        self.timeline.wrote(number)
                        break
                    time.sleep(0.02)  # the runner is reading it: try again, as a practice system would
                stop.wait(self.rng.choice([0.1, 0.2, 0.3, 0.4, 0.6, 1.2, 1.5, 2.0]))
        finally:
            writer.close()

    def observe_kill(self, phases, causes):
        """Sorts the kill by what it left behind, once uploads in flight have landed."""
        h.wait_for(lambda: all(e["status"] is not None or e["action"] == "cut_request"
                               for e in self.proxy.uploads()[-3:]), 2.0)
        entries, temporaries = ss.queue_files()
        received = {n for n, _ in self.received()}
        queued = ss.queued_versions()
        in_flight = [e for e in self.proxy.uploads()[-3:] if not e["delivered"]]
        answered_here = [v for v in queued.values() if v in received]
        current = self.timeline.writes[-1][0] if self.timeline.writes else None
        for v in answered_here:
            causes.setdefault(v, CAUSE_ANSWERED)
        # The version in the file is queued but not yet sent: if its capture was
        # not recorded the next runner takes it again.
        if current in queued.values() and current not in received:
            causes.setdefault(current, CAUSE_RECAPTURED)
        new_temporaries = set(temporaries) - self.known_temporaries
        self.known_temporaries |= set(temporaries)
        if new_temporaries:
            phase = "between temporary file and rename"
        elif answered_here:
            phase = "after the answer, before deletion"
        elif in_flight:
            phase = "during an upload"
        else:
            phase = "capture, idle or start-up"
        phases[phase] = phases.get(phase, 0) + 1

    def plant_torn_temporary(self):
        """What a kill between the temporary file and its rename leaves behind:
        a half-written entry that must never be listed or sent."""
        name = "%013d_%05d_%04d.gdt.tmp" % (int(time.time() * 1000), 99999, self.rng.randrange(10000))
        os.makedirs(ss.us.queue_dir(), exist_ok=True)
        with open(os.path.join(ss.us.queue_dir(), name), "wb") as f:
            f.write(ss.make_version(999999, 3000)[:1500])
        self.known_temporaries.add(name)
        self.planted += 1

    def test_version_written_while_no_runner_ran_is_captured_at_start(self):
        self.configure()
        # A first run that ends before it captured anything still leaves its
        # starting point behind: a version written after it is sent next time.
        self.start()
        self.assertTrue(self.wait_ready(0))
        self.stop()
        with open(self.gdt_path, "wb") as f:
            f.write(ss.make_version(1, 500))
        self.start()
        self.assertTrue(h.wait_for(lambda: len(self.received()) == 1, 10), self.log.messages())
        self.stop()
        with open(self.gdt_path, "wb") as f:
            f.write(ss.make_version(2, 600))
        self.start()
        self.assertTrue(h.wait_for(lambda: len(self.received()) == 2, 10), self.log.messages())
        # Unchanged since the last capture: a restart sends nothing again.
        self.stop()
        self.start()
        self.assertTrue(self.wait_ready(3))
        time.sleep(1.5)
        self.stop()
        self.assertEqual(self.received(), [(1, True), (2, True)])

    def test_kills_lose_nothing(self):
        self.configure(gdt_debounce_ms=300)
        self.known_temporaries = set()
        self.planted = 0
        stop = threading.Event()
        writer = threading.Thread(target=self.write_versions, args=(stop,), daemon=True)
        phases, causes = {}, {}
        watching = len(self.log.messages("watching gdt dir"))
        self.start()
        # A first run takes the file it finds as sent already; writing starts
        # once that starting point is taken, so every version counts.
        self.assertTrue(self.wait_ready(watching))
        time.sleep(0.3)
        writer.start()
        started = time.time()
        for _ in range(KILLS):
            # Slow servers and held-back answers widen the upload windows.
            self.proxy.set(default=self.rng.choice(["pass", "pass", "hold_tail:300", "slow:200"]))
            self.server.control(gdt_default=self.rng.choice(["ok", "ok", "delay:250"]))
            # Most kills fall into a runner that watches; some into its start-up.
            if self.rng.random() < 0.8:
                self.wait_ready(watching, 10)
            time.sleep(self.rng.uniform(0.1, 1.8))
            self.kill()
            self.observe_kill(phases, causes)
            if self.rng.random() < 0.1:
                self.plant_torn_temporary()
            time.sleep(self.rng.choice([0, 0, 0.1, 0.5]))
            watching = len(self.log.messages("watching gdt dir"))
            self.start()
        stop.set()
        writer.join(30)
        kill_seconds = time.time() - started

        self.proxy.set(default="pass")
        drained = self.wait_settled(60)
        self.stop()
        counts, faults = ss.conservation(self.timeline, self.received(), causes)
        counts = dict({"kills": KILLS, "seconds": round(kill_seconds)}, **counts)
        counts.update(("kill " + k, v) for k, v in sorted(phases.items()))
        counts["torn temporaries planted"] = self.planted
        counts["temporary files left"] = len(ss.queue_files()[1])
        if not drained and ss.queue_files()[0]:
            faults.append("queue not empty: %r" % ss.queue_files()[0])
        self.check("kill", counts, faults)


if __name__ == "__main__":
    h.main()
