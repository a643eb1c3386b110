"""--open end to end: the GDT file goes to the server, the answer opens the
stand-in browser or the open application window, every outcome is a console line."""
import json
import os

import desktop_support as ds
import harness as h

OPEN = "\u00d6ffne "
IN_WINDOW = "Im offenen Fenster: "
SW_SHOWNORMAL, SW_SHOWMAXIMIZED = 1, 3


class OpenCommand(ds.DesktopTestCase):
    def test_patient_url_opens_a_maximized_app_window_with_the_channel(self):
        self.configure()
        self.write_gdt()
        code, lines = self.run_open()
        url = self.server.url + "/p/12345?ch=" + self.channel()
        self.assertEqual((code, lines), (0, [OPEN + url]))

        [launch] = self.wait_for_launches(1)
        self.assertEqual(launch["args"], ["--app=" + url, "--start-maximized"])
        self.assertTrue(launch["cmdline"].endswith(' --app="%s" --start-maximized' % url), launch["cmdline"])
        self.assertIn("msedge.exe", launch["cmdline"])
        self.assertEqual(launch["show"], SW_SHOWMAXIMIZED)
        messages = h.log_messages()
        self.assertIn("gdt open http=200 result=ok winerr=0", messages)
        self.assertEqual(messages.count("window maximized"), 1)
        # The stand-in opens its window normal: only the runner can have maximized it.
        [window] = ds.browser_windows()
        self.assertTrue(window["zoomed"])
        self.assertTrue(window["foreground"])

    def test_chrome_without_maximize_starts_normal_and_searches_no_window(self):
        ds.register_browsers("chrome.exe")
        self.configure(open_maximize=0)
        self.write_gdt()
        code, lines = self.run_open()
        url = self.server.url + "/p/12345?ch=" + self.channel()
        self.assertEqual((code, lines), (0, [OPEN + url]))
        [launch] = self.wait_for_launches(1)
        self.assertIn("chrome.exe", launch["cmdline"])
        self.assertEqual(launch["args"], ["--app=" + url])
        self.assertEqual(launch["show"], SW_SHOWNORMAL)
        self.assertTrue(h.wait_for(ds.browser_windows, 10))
        self.assertFalse(ds.browser_windows()[0]["zoomed"])
        self.assertFalse([m for m in h.log_messages() if "maximize" in m])

    def test_browser_mode_hands_the_plain_url_to_the_default_handler(self):
        # "Browser" with a capital B is not the word: application windows stay on.
        cases = (("browser", lambda url: [url], SW_SHOWNORMAL),
                 ("Browser", lambda url: ["--app=" + url, "--start-maximized"], SW_SHOWMAXIMIZED))
        for window_setting, expected_args, show in cases:
            with self.subTest(window_setting):
                if os.path.exists(ds.RECORD_PATH):
                    os.remove(ds.RECORD_PATH)
                self.configure(open_window=window_setting)
                self.write_gdt()
                code, lines = self.run_open()
                url = self.server.url + "/p/12345?ch=" + self.channel()
                self.assertEqual((code, lines), (0, [OPEN + url]))
                [launch] = self.wait_for_launches(1)
                self.assertEqual(launch["args"], expected_args(url))
                self.assertEqual(launch["show"], show)
                ds.driver("browser-close")

    def test_new_window_not_found_for_maximize(self):
        self.configure()
        self.write_gdt()
        code, lines = self.run_open(FAKE_BROWSER_WINDOW=0)
        self.assertEqual(code, 0)
        self.assertEqual(len(self.launches()), 1)
        self.assertEqual([m for m in h.log_messages() if "maximize" in m], ["new window not found for maximize"])

    def test_without_gdt_file_the_start_page_or_the_open_window(self):
        self.configure()
        # No application window: the start page, with the channel.
        code, lines = self.run_open()
        self.assertEqual((code, lines), (0, []))
        [launch] = self.wait_for_launches(1)
        self.assertEqual(launch["args"], ["--app=%s/p/?ch=%s" % (self.server.url, self.channel()),
                                          "--start-maximized"])
        self.assertEqual(h.log_messages().count("gdt open without gdt file: start page"), 1)

        # The stand-in's window is titled as the application's: it is found,
        # restored and brought forward instead of a second start.
        ds.driver("browser-minimize")
        self.assertTrue(h.wait_for(lambda: ds.browser_windows()[0]["iconic"], 5))
        code, lines = self.run_open()
        self.assertEqual((code, lines), (0, []))
        self.assertEqual(len(self.launches()), 1)
        [window] = ds.browser_windows()
        self.assertFalse(window["iconic"])
        self.assertTrue(window["foreground"])
        self.assertEqual(h.log_messages().count("gdt open without gdt file: start page"), 2)
        self.assertEqual(ds.gdt_request_count(self.server), 0)

    def test_locked_gdt_file(self):
        self.configure()
        self.write_gdt()
        gdt_path = os.path.join(self.gdt_dir, "data.gdt")
        holder = h.start_exe(["hold-file", h.to_win(gdt_path), "6000"], exe=h.helper("tray_driver"))
        self.addCleanup(holder.wait, 15)
        self.assertTrue(h.wait_for(lambda: os.path.exists(gdt_path + ".held"), 10))
        code, lines = self.run_open()
        self.assertEqual((code, lines), (0, ["Fehler: GDT-Datei ist gerade nicht lesbar. Bitte erneut versuchen."]))
        self.assertEqual(self.launches(), [])
        self.assertEqual(ds.gdt_request_count(self.server), 0)

    def test_answers_that_open_nothing(self):
        rejected = "Fehler: Orvanta hat die Anfrage abgelehnt (HTTP %d)."
        other_host = self.start_server("--base-url", "http://127.0.0.1.other.example")
        closed = "http://127.0.0.1:%d" % ds.free_port()
        cases = [
            ("unreachable", dict(server_url=closed, server_token_url=closed + "/t"), None, ds.GDT_RECORD,
             "Fehler: Orvanta ist nicht erreichbar.", r"^gdt open http=0 result= winerr=[1-9]\d*$"),
            ("422", {}, None, b"no gdt lines", "Fehler: Die GDT-Datei konnte nicht verarbeitet werden.",
             r"^gdt open http=422 result=unprocessable: no GDT lines winerr=0$"),
            ("503", {}, ["503"], ds.GDT_RECORD, rejected % 503, r"^gdt open http=503 result=forced 503 winerr=0$"),
            ("401 after the refresh", {}, ["401", "401"], ds.GDT_RECORD, rejected % 401, r"http=401"),
            ("no url", {}, ["empty"], ds.GDT_RECORD, rejected % 200, r"^gdt open http=200 result= winerr=0$"),
            ("url on another host", dict(server=other_host), None, ds.GDT_RECORD, rejected % 200,
             r"^gdt open http=200 result=ok winerr=0$"),
        ]
        for name, config, plan, gdt, line, logged in cases:
            with self.subTest(name):
                h.reset_user_state()
                self.configure(**config)
                self.write_gdt(gdt)
                if plan:
                    self.server.control(gdt_plan=plan)
                code, lines = self.run_open()
                self.assertEqual((code, lines), (0, [line]))
                self.assertRegex([m for m in h.log_messages() if m.startswith("gdt open")][-1], logged)
                self.assertEqual(self.launches(), [])

    def test_delivered_to_the_open_window_or_opened_without_channel(self):
        server = self.start_scripted_server()
        self.configure(server=server)
        self.write_gdt()
        patient = server.url + "/p/12345"
        server.answer(200, {"result": "ok", "url": patient, "delivered": True})

        # No application window: opened, but without the channel.
        code, lines = self.run_open()
        self.assertEqual((code, lines), (0, [OPEN + patient]))
        self.assertIn("open delivered, window not found", h.log_messages())
        self.assertEqual(self.wait_for_launches(1)[0]["args"], ["--app=" + patient, "--start-maximized"])

        # The window is open now: brought forward and restored, nothing started.
        ds.driver("browser-minimize")
        code, lines = self.run_open()
        self.assertEqual((code, lines), (0, [IN_WINDOW + patient]))
        self.assertEqual(len(self.launches()), 1)
        self.assertFalse(ds.browser_windows()[0]["iconic"])

        # A blank between the colon and true is no delivery.
        server.answer(200, b'{"result":"ok","url":"%s","delivered": true}' % patient.encode())
        code, lines = self.run_open()
        self.assertEqual((code, lines), (0, [OPEN + patient + "?ch=" + self.channel()]))
        self.wait_for_launches(2)

    def test_hostile_urls_reach_the_browser_as_one_escaped_argument(self):
        server = self.start_scripted_server()
        hostile = server.url + '/p/x" --renderer-cmd-prefix="calc.exe\\" \t\r\n\u00fc\u00b7\U0001F600\x01'
        escaped = (server.url + "/p/x%22%20--renderer-cmd-prefix=%22calc.exe%5C%22%20%09%0D%0A"
                   "%C3%BC%C2%B7%F0%9F%98%80%01")
        server.answer(200, json.dumps({"result": "ok", "url": hostile}).encode())
        self.write_gdt()
        cases = (("app", lambda url: ["--app=" + url, "--start-maximized"]), ("browser", lambda url: [url]))
        for count, (window_setting, expected_args) in enumerate(cases, 1):
            with self.subTest(window_setting):
                self.configure(server=server, open_window=window_setting)
                code, lines = self.run_open()
                target = escaped + "?ch=" + self.channel()
                self.assertEqual((code, lines), (0, [OPEN + target]))
                launch = self.wait_for_launches(count)[-1]
                self.assertEqual(launch["args"], expected_args(target))
                ds.driver("browser-close")


if __name__ == "__main__":
    h.main()
