"""Notification flood: thousands of file operations in the GDT folder within
seconds, on other files and on the GDT file's own name: every settled version
is still captured, and the runner does not spin."""
import os
import threading
import time

import harness as h
import stress_support as ss

FLOOD_S = 60 if ss.LONG else 6


class Flood(ss.StressTestCase):
    def flood(self, stop, counter):
        """Creates and writes other files, renames them onto look-alike names,
        and makes and removes folders."""
        i = 0
        while not stop.is_set():
            i += 1
            other = os.path.join(self.gdt_dir, "other-%d.txt" % (i % 50))
            with open(other, "wb") as f:
                f.write(b"x" * (i % 700))
            os.replace(other, os.path.join(self.gdt_dir, "DATA.GDT.bak" if i % 3 else "data.gdt~"))
            folder = os.path.join(self.gdt_dir, "dir-%d" % (i % 5))
            if os.path.isdir(folder):
                os.rmdir(folder)
            else:
                os.mkdir(folder)
            counter[0] += 4
            if i % 250 == 0:
                time.sleep(0.15)  # about 5,000 operations a second, not a wineserver benchmark

    def test_flood_loses_no_settled_version_and_does_not_spin(self):
        self.configure(gdt_debounce_ms=300)
        self.start()
        self.assertTrue(self.wait_ready(0, 30))
        writer = ss.Writer(self.gdt_path)
        self.addCleanup(writer.close)
        stop, counter = threading.Event(), [0]
        flooder = threading.Thread(target=self.flood, args=(stop, counter), daemon=True)
        cpu_before = ss.cpu_seconds(self.proc.pid)
        started = time.time()
        flooder.start()
        number = 0
        while time.time() - started < FLOOD_S:
            number += 1
            self.timeline.changing()
            self.assertEqual(writer.write(ss.make_version(number, self.rng.randrange(200, 5000))), "ok")
            self.timeline.wrote(number)
            time.sleep(self.rng.choice([0.1, 0.3, 1.2, 1.5]))
        stop.set()
        flooder.join(10)
        flood_seconds = time.time() - started
        cpu_flood = ss.cpu_seconds(self.proc.pid) - cpu_before
        settled = self.wait_settled(20)
        # Quiet folder, empty queue: the runner's process should now sleep.
        time.sleep(0.5)
        idle_before = ss.cpu_seconds(self.proc.pid)
        time.sleep(3.0)
        cpu_idle = ss.cpu_seconds(self.proc.pid) - idle_before
        self.stop()

        counts, faults = ss.conservation(self.timeline, self.received())
        counts = dict({"file operations": counter[0], "seconds": round(flood_seconds, 1),
                       "operations per second": round(counter[0] / flood_seconds),
                       "runner cpu during flood s": round(cpu_flood, 2), "runner cpu idle 3 s": round(cpu_idle, 3)},
                      **counts)
        if not settled and ss.queue_files()[0]:
            faults.append("queue not empty: %r" % ss.queue_files()[0])
        if cpu_idle > 0.1:
            faults.append("busy while idle: %.2f s of CPU in 3 s" % cpu_idle)
        if cpu_flood > 0.6 * flood_seconds:
            faults.append("spinning during the flood: %.1f s of CPU in %.1f s" % (cpu_flood, flood_seconds))
        self.check("flood", counts, faults)


if __name__ == "__main__":
    h.main()
