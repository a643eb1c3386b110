"""Watching the GDT folder and capturing each settled version into the queue."""
import os
import re
import shutil
import subprocess
import time

import harness as h
import capture_support as cs

# Nothing listens there: uploads fail at once and every entry stays queued.
UNREACHABLE = dict(server_url="https://localhost:9", server_token_url="https://localhost:9/t")


def entry_ms(name):
    return int(name.split("_")[0])


def ms_of_day(clock):
    """Milliseconds since midnight of an "HH:MM:SS.mmm" time."""
    hours, minutes, seconds = clock.split(":")
    return round(((int(hours) * 60 + int(minutes)) * 60 + float(seconds)) * 1000)


def timed_log():
    """(milliseconds since midnight, message) of every log line."""
    return [(ms_of_day(m.group(1)), m.group(2))
            for m in re.finditer(r"^\S+ (\d\d:\d\d:\d\d\.\d{3}) \[\d+\] (.*?)\r?$", h.read_log(), re.M)]


def entry_counter(name):
    return int(re.match(r"^\d+_\d{5}_(\d{4})\.gdt$", name).group(1))


class Capture(h.RunnerTestCase):
    def setUp(self):
        super().setUp()
        self.gdt = os.path.join(self.gdt_dir, "data.gdt")

    def start(self, debounce_ms):
        return cs.start_watching_runner(self, gdt_debounce_ms=debounce_ms, **UNREACHABLE)

    def expect_entries(self, count, timeout=5):
        if not h.wait_for(lambda: len(cs.queue_entries()) >= count, timeout):
            self.fail("expected %d entries, have %r; log %r" % (count, cs.queue_entries(), h.log_messages()))
        entries = cs.queue_entries()
        self.assertEqual(len(entries), count, entries)
        return entries

    def expect_no_new_entry(self, count, seconds=0.8):
        self.assertTrue(cs.stays(lambda: len(cs.queue_entries()) == count, seconds), cs.queue_entries())

    def test_debounce_and_which_changes_are_captured(self):
        self.start(300)

        # A burst of writes becomes one entry, 300 ms after the last write.
        for i in range(3):
            cs.write_file(self.gdt, b"record %d\r\n" % i)
            last_write = time.time()
            if i < 2:
                time.sleep(0.1)
        [first] = self.expect_entries(1)
        self.assertEqual(cs.read_entry(first), b"record 2\r\n")
        self.assertEqual(entry_counter(first), 0)
        self.assertGreaterEqual(entry_ms(first) - last_write * 1000, 280)
        self.assertLess(entry_ms(first) - last_write * 1000, 1000)
        # The line follows the rename that makes the entry appear.
        self.assertTrue(h.wait_for(lambda: cs.count("gdt captured size=10") == 1, 2))

        # Another file in the folder never counts.
        cs.write_file(os.path.join(self.gdt_dir, "other.gdt"), b"x")
        self.expect_no_new_entry(1)

        # Same size and same last-write time: the version is the one captured.
        stat = os.stat(self.gdt)
        cs.write_file(self.gdt, b"record 9\r\n")
        os.utime(self.gdt, ns=(stat.st_atime_ns, stat.st_mtime_ns))
        self.expect_no_new_entry(1)

        # A name that differs only in case is the GDT file.
        os.remove(self.gdt)
        upper = os.path.join(self.gdt_dir, "DATA.GDT")
        cs.write_file(upper, b"upper case\r\n")
        second = self.expect_entries(2)[1]
        self.assertEqual(cs.read_entry(second), b"upper case\r\n")
        self.assertEqual(entry_counter(second), 1)

        # Deleting it schedules nothing; renaming another file onto its name does.
        os.remove(upper)
        self.expect_no_new_entry(2)
        incoming = os.path.join(self.gdt_dir, "incoming.tmp")
        cs.write_file(incoming, b"renamed in\r\n")
        os.rename(incoming, self.gdt)
        third = self.expect_entries(3)[2]
        self.assertEqual(cs.read_entry(third), b"renamed in\r\n")

        # Renaming it away schedules nothing.
        os.rename(self.gdt, os.path.join(self.gdt_dir, "old.gdt"))
        self.expect_no_new_entry(3)
        self.assertEqual(cs.count_prefix("gdt read failed"), 0)

    def test_version_present_at_start_waits_for_a_change(self):
        cs.write_file(self.gdt, b"from before the start\r\n")
        self.start(100)
        self.expect_no_new_entry(0, 1.0)

        # An empty file is a version like any other.
        cs.write_file(self.gdt, b"")
        [entry] = self.expect_entries(1)
        self.assertEqual(cs.read_entry(entry), b"")
        self.assertTrue(h.wait_for(lambda: cs.count("gdt captured size=0") == 1, 2))

    def test_locked_file(self):
        proc = self.start(100)
        cs.write_file(self.gdt, b"v1")
        self.expect_entries(1)

        # Held for 1 s: the retries outlast the lock.
        holder = cs.hold(self.gdt, 1000)
        cs.write_file(self.gdt, b"v2 after lock")
        entries = self.expect_entries(2, timeout=5)
        self.assertEqual(cs.read_entry(entries[1]), b"v2 after lock")
        self.assertEqual(cs.count_prefix("gdt read failed"), 0)
        holder.wait(10)

        # Held for longer than the 30 attempts (about 3 s).
        holder = cs.hold(self.gdt, 4500)
        cs.write_file(self.gdt, b"v3 never read")
        started = time.time()
        self.assertTrue(h.wait_for(lambda: cs.count("gdt read failed (locked)") == 1, 6))
        self.assertGreater(time.time() - started, 2.5)
        self.assertNotIn(b"v3 never read", [cs.read_entry(n) for n in cs.queue_entries()])
        holder.wait(10)

        # A stop request ends the retries at once; left alone they would run
        # for nearly 3 s more. The stop is signalled by a process started
        # beforehand, which reports the time in the log's clock, so the
        # start-up of a Wine process under load stays out of the measurement.
        signal = subprocess.Popen(["wine", h.helper("set_event"), "Local\\Orvanta-Dev.Runner.Stop"],
                                  env=h.wine_env(), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL)
        self.assertEqual(signal.stdout.readline().strip(), b"ready")
        holder = cs.hold(self.gdt, 6000)
        self.addCleanup(cs.release, holder)
        cs.write_file(self.gdt, b"v4")
        time.sleep(0.25)
        signal.stdin.write(b"\n")
        signal.stdin.close()
        reply = signal.stdout.readline().decode().split()
        signal.stdout.close()
        self.assertEqual(signal.wait(10), 0)
        self.assertEqual(proc.wait(timeout=15), 0)
        self.assertEqual(reply[0], "set")
        [*_, given_up] = [t for t, m in timed_log() if m == "gdt read failed (locked)"]
        self.assertLess((given_up - ms_of_day(reply[1])) % 86400000, 1000, (reply, h.read_log()[-1500:]))
        self.assertEqual(h.log_messages()[-1], "runner stopped")
        self.assertNotIn(b"v4", [cs.read_entry(n) for n in cs.queue_entries()])

    def test_folder_removed_and_recreated(self):
        self.start(100)

        # Removed: the watch is lost, and reopening fails while the folder is absent.
        shutil.rmtree(self.gdt_dir)
        self.assertTrue(h.wait_for(lambda: cs.count_prefix("watch lost err=") == 1, 3), h.log_messages())
        self.assertTrue(h.wait_for(lambda: cs.count_prefix("watch failed on gdt dir err=") == 1, 4))
        self.assertRegex([m for m in h.log_messages() if m.startswith("watch")][-1],
                         r"^watch failed on gdt dir err=[23]$")
        time.sleep(0.5)  # past the capture that follows a lost watch

        # Back again, with a file written while nothing watched: the next open captures it.
        os.makedirs(self.gdt_dir)
        cs.write_file(self.gdt, b"written while unwatched")
        [entry] = self.expect_entries(1, timeout=12)
        self.assertEqual(cs.read_entry(entry), b"written while unwatched")
        self.assertEqual(cs.count("watching gdt dir"), 2)

        # Replaced in one go: the stale watch is noticed and the new folder watched.
        shutil.rmtree(self.gdt_dir)
        os.makedirs(self.gdt_dir)
        cs.write_file(self.gdt, b"in the new folder")
        entries = self.expect_entries(2, timeout=5)
        self.assertEqual(cs.read_entry(entries[1]), b"in the new folder")
        self.assertEqual(cs.count_prefix("watch lost err="), 2)
        self.assertEqual(cs.count("watching gdt dir"), 3)
        cs.write_file(self.gdt, b"watched again")
        entries = self.expect_entries(3)
        self.assertEqual(cs.read_entry(entries[2]), b"watched again")

    def test_failed_queue_write_is_retried(self):
        self.start(100)
        shutil.rmtree(cs.queue_dir())
        cs.write_file(self.gdt, b"must not be lost")
        self.assertTrue(h.wait_for(lambda: cs.count_prefix("queue write failed") == 1, 3), h.log_messages())
        self.assertEqual(cs.count("queue write failed err=3"), 1)
        failed_at = time.time()

        [entry] = self.expect_entries(1, timeout=12)
        self.assertGreater(time.time() - failed_at, 9)
        self.assertEqual(cs.read_entry(entry), b"must not be lost")
        self.assertEqual(entry_counter(entry), 1)  # a fresh name for the second try
        self.assertEqual(os.listdir(cs.queue_dir()), [entry])
        self.assertTrue(h.wait_for(lambda: cs.count_prefix("gdt captured") == 1, 2))

    def test_bad_input(self):
        proc = self.start(100)

        # Above 64 MiB: refused as an error.
        with open(self.gdt, "wb") as f:
            f.truncate(64 * 1024 * 1024 + 1)
        self.assertTrue(h.wait_for(lambda: cs.count("gdt read failed (error)") == 1, 5), h.log_messages())
        self.assertEqual(cs.queue_entries(), [])

        # Gone again before the capture: nothing is logged or queued.
        os.remove(self.gdt)
        cs.write_file(self.gdt, b"short-lived")
        os.remove(self.gdt)
        self.expect_no_new_entry(0)
        self.assertEqual(cs.count_prefix("gdt read failed"), 1)

        # A storm of renames with long names, the GDT file written in the middle of it.
        long_name = "n" * 120
        for i in range(1500):
            path = os.path.join(self.gdt_dir, "%s%04d" % (long_name, i))
            cs.write_file(path, b"")
            os.rename(path, path + ".renamed")
            if i == 750:
                cs.write_file(self.gdt, b"during the storm")
        [entry] = self.expect_entries(1, timeout=8)
        self.assertEqual(cs.read_entry(entry), b"during the storm")
        cs.write_file(self.gdt, b"after the storm")
        entries = self.expect_entries(2)
        self.assertEqual(cs.read_entry(entries[1]), b"after the storm")
        self.assertIsNone(proc.poll())
        self.assertFalse([n for n in os.listdir(cs.queue_dir()) if not n.endswith(".gdt")])


if __name__ == "__main__":
    h.main()
