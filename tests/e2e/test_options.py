"""Mode selection: which command wins when several are given, and --config."""
import os
import time

import harness as h

DEFAULT_CONFIG = "C:\\ProgramData\\Orvanta-Dev\\runner.ini"


def config_line(output):
    for line in output.splitlines():
        if line.startswith("Konfiguration: "):
            return line[len("Konfiguration: "):]
    return None


class Options(h.RunnerTestCase):
    def test_check_wins_over_open(self):
        h.remove_secret()
        code, out = h.run_exe(["--check", "--open"])
        self.assertEqual(code, 0)
        self.assertEqual(config_line(out), DEFAULT_CONFIG)
        self.assertNotIn("Fehler: kein Secret.", out)

    def test_config_path_selection(self):
        cases = [
            (["--check", "--config"], DEFAULT_CONFIG),           # last argument: no value
            (["--config", "", "--check"], DEFAULT_CONFIG),       # empty value
            (["--config", "--check"], "--check"),                # the value is taken as it stands
            (["--config", "C:\\x\\%USERNAME%.ini", "--check"], "C:\\x\\%USERNAME%.ini"),  # not expanded
        ]
        for args, expected in cases:
            with self.subTest(args=args):
                code, out = h.run_exe(args)
                self.assertEqual(code, 0)
                self.assertEqual(config_line(out), expected)

    def test_set_secret_file_wins_over_stop(self):
        h.store_secret()
        self.write_config()
        proc = h.start_exe([])
        self.assertTrue(h.wait_for(lambda: any(m.startswith("runner started") for m in h.log_messages()), 20))
        secret = h.drive_c("other-secret.txt")
        with open(secret, "wb") as f:
            f.write(b"other-secret\r\n")
        try:
            code, _ = h.run_exe(["--stop", "--set-secret-file", h.to_win(secret)])
        finally:
            os.remove(secret)
        self.assertEqual(code, 0)
        # The runner was not asked to stop.
        time.sleep(1)
        self.assertIsNone(proc.poll())
        self.assertEqual(h.stop_runner(proc), 0)


if __name__ == "__main__":
    h.main()
