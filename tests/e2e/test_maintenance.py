"""The maintenance commands end to end with the real exe: storing and
verifying the secret, the configuration check, one-shot open without a
secret, and what a console window shows."""
import codecs
import os

import harness as h
import net_support as n

SECRET = "part-onepart-two"
STORED_OK = "Secret gespeichert (HKLM, DPAPI).\n"
STORED_FAILED = "Fehler: Secret nicht gespeichert (Administratorrechte?).\n"


class Maintenance(h.RunnerTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.server = n.TokenServer().start()
        cls.server.realms["maint"] = n.Realm(client_id="runner-test", client_secret=SECRET)

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def setUp(self):
        super().setUp()
        self.files = []

    def tearDown(self):
        for path in self.files:
            if os.path.exists(path):
                os.remove(path)
        super().tearDown()

    def secret_file(self, content):
        path = h.drive_c("secret-%d.txt" % len(self.files))
        with open(path, "wb") as f:
            f.write(content)
        self.files.append(path)
        return h.to_win(path)

    def token_url(self, realm="maint"):
        return n.token_url(self.server, realm)

    def configure(self, **overrides):
        values = dict(server_url="http://127.0.0.1:%d//" % self.server.port, server_token_url=self.token_url(),
                      server_client_id="runner-test")
        values.update(overrides)
        self.write_config(**values)

    def check(self):
        code, out = h.run_exe(["--check"])
        self.assertEqual(code, 0)
        return out.splitlines()

    def test_set_secret_file_joins_lines_and_reports_on_a_console(self):
        code, text = n.run_in_console(["--set-secret-file", self.secret_file(b"part-one\r\npart-two\r\n")])
        self.assertEqual((code, text), (0, STORED_OK))
        # The stored secret is the two lines joined: the token endpoint accepts it.
        self.configure()
        self.assertEqual(self.check()[-1], "Token:         ok")
        self.assertEqual(self.server.requests[-1].form()["client_secret"], SECRET)

        blank = ["--set-secret-file", self.secret_file(b" \t\r\n \r\n")]
        self.assertEqual(n.run_in_console(blank), (1, STORED_FAILED))
        # Without a console the same failures show only in the exit code.
        failures = {
            "blank file": blank,
            "empty file": ["--set-secret-file", self.secret_file(b"")],
            "missing file": ["--set-secret-file", "C:\\no\\such\\secret.txt"],
            "no value": ["--set-secret-file"],
        }
        for name, args in failures.items():
            with self.subTest(name):
                self.assertEqual(h.run_exe(args), (1, ""))
        # Nothing was replaced by the failed attempts.
        self.assertEqual(self.check()[-1], "Token:         ok")

    def test_set_secret_file_without_a_console_prints_nothing_and_logs_nothing(self):
        self.assertEqual(h.run_exe(["--set-secret-file", self.secret_file(b"x\n")]), (0, ""))
        self.assertEqual(h.store_secret(SECRET.encode()), 0)
        self.assertFalse(os.path.exists(h.data_dir()))

    def test_verify_secret_file_exit_codes(self):
        self.server.realms["v400"] = n.Realm(client_secret=SECRET, plan=[400])
        self.server.realms["v499"] = n.Realm(client_secret=SECRET, plan=[499])
        self.server.realms["v500"] = n.Realm(client_secret=SECRET, plan=[500])
        self.server.realms["v200"] = n.Realm(client_secret=SECRET, body=b'{"token_type":"Bearer"}')
        good = self.secret_file(b"part-one\npart-two")
        wrong = self.secret_file(b"wrong")
        refused = "http://127.0.0.1:%d/t" % n.refused_port()
        redirect = "http://127.0.0.1:%d/status/302" % self.server.port
        cases = {
            "token received": (good, self.token_url(), 0),
            "wrong secret, 401": (wrong, self.token_url(), 2),
            "400": (good, self.token_url("v400"), 2),
            "499": (good, self.token_url("v499"), 2),
            "500": (good, self.token_url("v500"), 3),
            "200 without a token": (good, self.token_url("v200"), 3),
            "redirect": (good, redirect, 3),
            "unreachable": (good, refused, 3),
            "missing file": ("C:\\no\\such\\secret.txt", self.token_url(), 1),
            "blank file": (self.secret_file(b"\r\n"), self.token_url(), 1),
        }
        for name, (secret_path, url, expected) in cases.items():
            with self.subTest(name):
                args = ["--verify-secret-file", secret_path, "--token-url", url, "--client-id", "runner-test"]
                self.assertEqual(h.run_exe(args), (expected, ""))
        self.assertFalse(os.path.exists(h.data_dir()))

    def test_verify_secret_file_defaults_ignore_the_configuration(self):
        self.configure()
        good = self.secret_file(SECRET.encode())
        before = len(self.server.requests)
        # Without --client-id the client id is empty, not the configured one.
        self.assertEqual(h.run_exe(["--verify-secret-file", good, "--token-url", self.token_url()])[0], 2)
        self.assertEqual(self.server.requests[-1].form()["client_id"], "")
        # Without --token-url the built-in endpoint is asked, not runner.ini's.
        self.assertEqual(h.run_exe(["--verify-secret-file", good, "--client-id", "runner-test"])[0], 3)
        self.assertEqual(len(self.server.requests), before + 1)

    def test_check_without_a_secret_prints_six_lines(self):
        h.remove_secret()
        self.configure()
        queue = os.path.join(h.data_dir(), "queue")
        os.makedirs(queue)
        for name in ("0000000000001_00001_0001.gdt", "0000000000002_00001_0002.gdt"):
            open(os.path.join(queue, name), "wb").close()
        self.assertEqual(self.check(), [
            "Konfiguration: C:\\ProgramData\\Orvanta-Dev\\runner.ini",
            "Server:        http://127.0.0.1:%d" % self.server.port,
            "Client:        runner-test",
            "GDT-Datei:     %s\\data.gdt (fehlt)" % h.to_win(self.gdt_dir),
            "Warteschlange: %s\\queue (2)" % h.to_win(h.data_dir()),
            "Secret:        FEHLT",
        ])

    def test_check_with_a_secret_adds_the_token_line(self):
        h.store_secret(SECRET.encode())
        with open(os.path.join(self.gdt_dir, "data.gdt"), "wb") as f:
            f.write(b"01380006301\r\n")
        self.configure()
        lines = self.check()
        self.assertEqual(len(lines), 7)
        self.assertEqual(lines[3], "GDT-Datei:     %s\\data.gdt (vorhanden)" % h.to_win(self.gdt_dir))
        self.assertEqual(lines[4:], ["Warteschlange: %s\\queue (0)" % h.to_win(h.data_dir()),
                                     "Secret:        vorhanden", "Token:         ok"])

        # An unreachable endpoint: the line says FEHLER, the log says why, the exit code stays 0.
        self.configure(server_token_url="http://127.0.0.1:%d/t" % n.refused_port())
        self.assertEqual(self.check()[6], "Token:         FEHLER")
        failure = "token request failed: http=0 winerr=%d" % n.ERROR_WINHTTP_CANNOT_CONNECT
        self.assertEqual(h.log_messages()[-1], failure)
        self.assertNotIn(SECRET, h.read_log())

    def test_open_without_a_secret(self):
        h.remove_secret()
        self.configure()
        self.assertEqual(h.run_exe(["--open"]), (1, "Fehler: kein Secret.\n"))
        self.assertTrue(os.path.isdir(os.path.join(h.data_dir(), "queue")))
        self.assertTrue(os.path.isfile(os.path.join(h.data_dir(), "channel")))

    def test_run_mode_refuses_to_start_without_a_secret(self):
        h.remove_secret()
        self.configure()
        self.assertEqual(h.run_exe([], timeout=20), (1, ""))
        self.assertEqual(h.log_messages(), ["no client secret configured, exiting"])

    def test_console_window_shows_umlauts(self):
        # A console shows narrow text in its own code page; the runner must
        # hand it UTF-16, or "Müller" turns into something else.
        folder = "C:\\Praxis M\u00fcller \u00c4rzte\\GDT"
        os.makedirs(os.path.dirname(self.ini), exist_ok=True)
        text = "[gdt]\r\ndir=%s\r\n[server]\r\nurl=https://\u00fcbung.example\r\n" % folder
        with open(self.ini, "wb") as f:
            f.write(codecs.BOM_UTF16_LE + text.encode("utf-16-le"))
        h.remove_secret()
        code, shown = n.run_in_console(["--check"])
        self.assertEqual(code, 0)
        lines = shown.splitlines()
        self.assertEqual(lines[1], "Server:        https://\u00fcbung.example")
        self.assertEqual(lines[3], "GDT-Datei:     %s\\data.gdt (fehlt)" % folder)
        self.assertEqual(len(lines), 6)


if __name__ == "__main__":
    h.main()
