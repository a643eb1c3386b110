"""Run-mode start-up, single instance, silent exits and stop."""
import os
import re
import time

import harness as h


class RunMode(h.RunnerTestCase):
    def setUp(self):
        super().setUp()
        h.store_secret()

    def test_start_and_stop(self):
        self.write_config()
        proc = h.start_exe([])
        self.assertTrue(h.wait_for(lambda: any(m.startswith("runner started") for m in h.log_messages()), 20))
        started = [m for m in h.log_messages() if m.startswith("runner started")]
        self.assertRegex(started[0], r"^runner started session=\d+$")

        # A second start in the same session leaves at once, silently. Wait
        # for the worker's first line so the count is not racing it.
        self.assertTrue(h.wait_for(lambda: "watching gdt dir" in h.log_messages(), 20))
        lines_before = len(h.log_messages())
        code, _ = h.run_exe([], timeout=20)
        self.assertEqual(code, 0)
        self.assertEqual(len(h.log_messages()), lines_before)
        self.assertIsNone(proc.poll())

        self.assertEqual(h.stop_runner(proc), 0)
        self.assertEqual(h.log_messages()[-1], "runner stopped")

    def test_stop_without_instance_changes_nothing(self):
        code, out = h.run_exe(["--stop"])
        self.assertEqual((code, out), (0, ""))
        self.assertFalse(os.path.exists(h.data_dir()))

    def test_silent_exits_create_data_and_queue_folders(self):
        cases = {
            "missing gdt folder": dict(gdt_dir=h.to_win(self.gdt_dir) + "\\absent"),
            "empty users": dict(run_users=""),
            "no users key": dict(run_users=None),
            "user not listed": dict(run_users="somebody, else"),
        }
        for name, overrides in cases.items():
            with self.subTest(name):
                h.reset_user_state()
                self.write_config(**overrides)
                code, out = h.run_exe([], timeout=20)
                self.assertEqual(code, 0)
                self.assertEqual(h.read_log(), "")
                self.assertTrue(os.path.isdir(os.path.join(h.data_dir(), "queue")))
                self.assertTrue(os.path.isfile(os.path.join(h.data_dir(), "channel")))

    def test_stop_option_wins_over_open(self):
        self.write_config()
        proc = h.start_exe([])
        self.assertTrue(h.wait_for(lambda: "runner stopped" not in h.log_messages()
                                   and any(m.startswith("runner started") for m in h.log_messages()), 20))
        code, out = h.run_exe(["--open", "--stop"])
        self.assertEqual((code, out), (0, ""))
        self.assertEqual(proc.wait(timeout=15), 0)
        self.assertEqual(h.log_messages()[-1], "runner stopped")


if __name__ == "__main__":
    h.main()
