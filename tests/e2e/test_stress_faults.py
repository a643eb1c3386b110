"""Server faults of every kind against a queue of self-checking versions:
each answer is classified right (final entries deleted, deferred ones kept
and retried after the delay), nothing is deleted that the server did not
answer for, and after an outage the queue is empty within one retry delay."""
import re
import time

import harness as h
import stress_support as ss

# The upload actions of the fault proxy for one version: final ones end it at
# once, deferred ones are followed by a retry 5 s later that succeeds.
FINAL = [["status:404"], ["status:201"], ["status:422"], ["status:400"], ["slow:1500"], ["pass"],
         ["status:401", "pass"]]
DEFERRED = [["status:503"], ["cut_request"], ["cut_answer:12"]]
TOKEN_FAULTS = ["status:500"]
if ss.LONG:
    DEFERRED += [["status:500"], ["status:502"], ["status:408"], ["status:429"], ["status:403"], ["status:302"],
                 ["drop"], ["cut_answer:60"], ["status:401", "status:401"], ["slow:61000"]]
    TOKEN_FAULTS += ["drop", "status:401"]
OUTAGE_S = 180 if ss.LONG else 12
RETRY_S = 5.0


def is_final(status):
    return 200 <= status < 300 or (400 <= status < 500 and status not in (401, 403, 408, 429))


def answers_in_log(log):
    """("final"|"deferred", status) for every sync outcome the runner logged, in order."""
    out = []
    for m in log.messages("gdt sync "):
        final = re.match(r"^gdt sync http=(\d+) ", m)
        deferred = re.match(r"^gdt sync deferred: http=(\d+) winerr=(\d+)$", m)
        if final:
            out.append(("final", int(final.group(1))))
        elif deferred:
            out.append(("deferred", int(deferred.group(1))))
    return out


class Faults(ss.StressTestCase):
    def test_every_answer_is_classified_and_nothing_unanswered_is_deleted(self):
        catalog = [(actions, True) for actions in FINAL] + [(actions, False) for actions in DEFERRED]
        self.rng.shuffle(catalog)
        self.proxy.set(plan=TOKEN_FAULTS, endpoint="token")
        self.configure()
        started = time.time()
        self.start()
        self.assertTrue(self.wait_ready(0, 30))
        writer = ss.Writer(self.gdt_path)
        self.addCleanup(writer.close)
        faults, causes = [], {}
        # Token faults first: the first capture finds no token to send with, and
        # the retries in a row wait 5, 10, 20 s.
        steps = [(["pass"], False, "token " + ",".join(TOKEN_FAULTS))]
        steps += [(actions + ([] if final else ["pass"]), final, " ".join(actions)) for actions, final in catalog]
        for number, (plan, final, name) in enumerate(steps, 1):
            self.proxy.set(plan=plan)
            before = len(self.proxy.uploads())
            self.assertEqual(writer.write(ss.make_version(number, 1500 + number)), "ok")
            self.timeline.wrote(number)
            patience = 5 + (0 if final else 2 * RETRY_S) + (62 if "61000" in name else 0)
            if name.startswith("token"):
                patience = 5 + RETRY_S * (2 ** len(TOKEN_FAULTS))
            h.wait_for(lambda: len(ss.queue_files()[0]) == 0 and len(self.proxy.uploads()) > before, patience, 0.1)
            time.sleep(0.3)
            mine = [e for e in self.proxy.uploads()[before:] if e["version"] == number]
            got = [e["status"] if e["delivered"] else 0 for e in mine]
            if ss.queue_files()[0]:
                faults.append("%s: entry still queued, answers %r" % (name, got))
            elif not got or not is_final(got[-1]):
                faults.append("%s: deleted without a final answer, answers %r" % (name, got))
            elif any(is_final(g) for g in got[:-1]):
                faults.append("%s: sent again after a final answer, answers %r" % (name, got))
            if not final and name.startswith("token"):
                continue
            if not final and len(mine) >= 2:
                gap = mine[-1]["time"] - mine[-2]["time"]
                if not RETRY_S - 0.5 <= gap <= RETRY_S + 2.5:
                    faults.append("%s: retried after %.1f s" % (name, gap))
            if any(e["status"] == 200 and not e["delivered"] for e in mine[:-1]):
                causes[number] = "answer lost on its way to the runner"
        self.stop()

        outcomes = answers_in_log(self.log)
        deferred = sum(1 for o in outcomes if o[0] == "deferred")
        received = self.received()
        counts, more = ss.conservation(self.timeline, received, causes)
        refused = {e["version"] for e in self.proxy.uploads()
                   if e["delivered"] and is_final(e["status"]) and e["status"] != 200}
        # A version the server refused for good is answered for, not lost.
        lost = sorted({n for n, _ in self.timeline.writes} - {n for n, _ in received} - refused)
        faults += [f for f in more if not f.startswith("lost")] + (["lost: %r" % lost] if lost else [])
        counts["lost"] = len(lost)
        counts = dict({"cases": len(steps), "deferred": deferred, "requests": len(self.proxy.uploads()),
                       "refused by the server": len(refused), "seconds": round(time.time() - started)}, **counts)
        expected_deferred = len(TOKEN_FAULTS) + len(DEFERRED)
        if deferred != expected_deferred:
            faults.append("deferrals logged %d, expected %d" % (deferred, expected_deferred))
        self.check("faults", counts, faults)

    def test_outage_then_queue_empty_within_one_retry_delay(self):
        self.configure()
        self.start()
        self.assertTrue(self.wait_ready(0, 30))
        writer = ss.Writer(self.gdt_path)
        self.addCleanup(writer.close)
        self.proxy.down()
        down_at = time.time()
        number = 0
        while time.time() - down_at < OUTAGE_S:
            number += 1
            self.assertEqual(writer.write(ss.make_version(number, 1000 + number)), "ok")
            self.timeline.wrote(number)
            time.sleep(self.rng.uniform(0.6, 3.0))
        kept = len(ss.queue_files()[0])
        self.log.poll()
        deferred_times = [t for t, _, m in self.log.lines if m.startswith("gdt sync deferred")]
        self.proxy.up()
        up_at = time.time()
        # The retry that is pending when the server comes back.
        pending = 5.0 * 2 ** max(0, len(deferred_times) - 1)
        pending = min(pending, 900.0)
        emptied = h.wait_for(lambda: not ss.queue_files()[0], pending + 10, 0.1)
        empty_after = time.time() - up_at
        time.sleep(1.5)
        self.stop()

        counts, faults = ss.conservation(self.timeline, self.received())
        counts = dict({"outage seconds": round(up_at - down_at), "deferrals": len(deferred_times),
                       "kept while down": kept, "pending retry delay": pending,
                       "empty after recovery": round(empty_after, 1)}, **counts)
        if kept < number - 1:
            faults.append("entries deleted while the server was down: %d of %d kept" % (kept, number))
        if not emptied or empty_after > pending + 2:
            faults.append("queue empty %.1f s after recovery, retry delay %.0f s" % (empty_after, pending))
        self.check("outage", counts, faults)


if __name__ == "__main__":
    h.main()
