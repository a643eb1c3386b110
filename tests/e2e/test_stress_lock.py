"""Lock contention: the practice system keeps the GDT file open without sharing
after writing it, and a second program (a scanner, say) holds it too, each for
50 to 4,000 ms: no version is lost or torn, and a lock that outlasts the
read attempts is logged."""
import time

import harness as h
import stress_support as ss

VERSIONS = 100 if ss.LONG else 8


class Lock(ss.StressTestCase):
    def hold_until_free(self, holder, ms):
        """The second program's hold; it may have to wait while the runner reads."""
        for _ in range(100):
            answer = holder.hold(ms)
            if answer == "held":
                return holder.wait_released()
            time.sleep(0.05)
        self.fail("could not hold the file: %s" % answer)

    def test_held_versions_are_captured_once_released(self):
        self.configure(gdt_debounce_ms=300)
        self.start()
        self.assertTrue(self.wait_ready(0, 30))
        practice, scanner = ss.Writer(self.gdt_path), ss.Writer(self.gdt_path)
        self.addCleanup(practice.close)
        self.addCleanup(scanner.close)
        # Two holds past the ~3 s of read attempts are certain, the rest random.
        holds = [4000, 3600] + [self.rng.randint(50, 4000) for _ in range(VERSIONS - 2)]
        self.rng.shuffle(holds)
        long_holds = 0
        started = time.time()
        for number, hold in enumerate(holds, 1):
            data = ss.make_version(number, self.rng.randrange(500, 8000))
            self.timeline.changing()
            while True:
                answer = practice.write(data, hold)
                if answer == "ok":
                    break
                time.sleep(0.05)  # the runner or the scanner has it open
            long_holds += hold > 3400  # the read attempts began while it was held
            if self.rng.random() < 0.5:
                self.hold_until_free(scanner, self.rng.randint(50, 4000))
            # Readable only from here on.
            self.timeline.wrote(number)
            # After a hold past the attempts the version stays: nothing but the
            # runner's own second look can capture it.
            time.sleep(1.6 if hold > 3400 else self.rng.choice([0.2, 0.5, 1.3, 1.6]))
        settled = self.wait_settled(30)
        self.stop()

        counts, faults = ss.conservation(self.timeline, self.received())
        locked_lines = len(self.log.messages("gdt read failed (locked)"))
        counts = dict({"versions held": len(holds), "holds past the read attempts": long_holds,
                       "logged locked": locked_lines, "seconds": round(time.time() - started)}, **counts)
        if not settled and ss.queue_files()[0]:
            faults.append("queue not empty: %r" % ss.queue_files()[0])
        if long_holds and not locked_lines:
            faults.append('no "gdt read failed (locked)" although %d holds outlasted the attempts' % long_holds)
        self.check("lock", counts, faults)


if __name__ == "__main__":
    h.main()
