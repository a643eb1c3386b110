"""Helpers for the capture tests: a running runner, its queue, held files."""
import os
import subprocess
import time

import harness as h


from harness import queue_dir, queue_entries  # noqa: F401  (used as cs.queue_*)


def read_entry(name):
    with open(os.path.join(queue_dir(), name), "rb") as f:
        return f.read()


def write_file(path, data):
    with open(path, "wb") as f:
        f.write(data)


def count(message):
    return sum(1 for m in h.log_messages() if m == message)


def count_prefix(prefix):
    return sum(1 for m in h.log_messages() if m.startswith(prefix))


def start_watching_runner(test, **config):
    """Starts the runner in run mode and waits until its watch is open."""
    h.store_secret()
    test.write_config(**config)
    proc = h.start_exe([])
    test.addCleanup(lambda: proc.poll() is None and h.stop_runner(proc))
    if not h.wait_for(lambda: count("watching gdt dir") >= 1, 20):
        test.fail("runner did not start watching: %r" % h.log_messages())
    return proc


def hold(path, ms):
    """Holds path open without sharing for ms milliseconds (a Windows process);
    returns once the file is held."""
    proc = subprocess.Popen(["wine", h.helper("hold_file"), h.to_win(path), str(ms)], env=h.wine_env(),
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    line = proc.stdout.readline()
    proc.stdout.close()
    assert line.strip() == b"held", "hold_file could not open %s" % path
    return proc


def release(proc):
    """Ends a holder early (or reaps it when it is done already)."""
    proc.kill()
    proc.wait(10)


def stays(predicate, seconds):
    """True when predicate holds for the whole time."""
    deadline = time.time() + seconds
    while time.time() < deadline:
        if not predicate():
            return False
        time.sleep(0.05)
    return predicate()
