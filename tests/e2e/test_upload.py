"""Uploads from the queue to the development server: order, form, answers, retries."""
import os
import re
import time

import harness as h
import upload_support as us

FIELD_ORDER = ["mode", "captured_at", "filename", "host", "win_user", "win_session", "channel", "file"]


class Upload(us.UploadTestCase):
    def test_queue_goes_out_in_name_order_and_a_capture_follows_at_once(self):
        entries = [("1733750400300_00007_0002.gdt", b"third\r\n"),
                   ("1733750400100_00007_0000.gdt", b"first\x00\xff\r\n--x\r\n"),
                   ("1733750400200_00007_0001.gdt", b"")]
        for name, data in entries:
            us.add_entry(name, data)
        self.configure()
        self.start_runner()
        self.wait_for_log("gdt sync http=", 3)
        self.assertEqual(us.queue_entries(), [])

        with open(os.path.join(h.data_dir(), "channel"), "rb") as f:
            channel = f.read().decode()
        session = re.match(r"runner started session=(\d+)", us.messages("runner started")[0]).group(1)
        uploads = self.server.uploads()
        self.assertEqual([u["file"] for u in uploads], [b"first\x00\xff\r\n--x\r\n", b"", b"third\r\n"])
        for i, upload in enumerate(uploads):
            fields = upload["fields"]
            self.assertEqual(upload["order"], FIELD_ORDER)
            self.assertEqual(upload["filename"], "data.gdt")
            self.assertEqual(fields["mode"], "sync")
            self.assertEqual(fields["captured_at"], "2024-12-09T13:20:00.%d00Z" % (i + 1))
            self.assertEqual(fields["filename"], "data.gdt")
            self.assertEqual(fields["win_user"], h.USER)
            self.assertEqual(fields["win_session"], session)
            self.assertEqual(fields["channel"], channel)
            self.assertNotEqual(fields["host"], "")
            self.assertRegex(upload["content_type"], r"^multipart/form-data; boundary=----velmora[0-9a-f]{16}$")
        self.assertEqual(us.messages("gdt sync"), ["gdt sync http=200 result=ok receipt=rcpt-00000%d" % i
                                                   for i in (1, 2, 3)])

        # Idle now: a capture starts a pass at once.
        with open(us.SAMPLE_GDT, "rb") as f:
            sample = f.read()
        written = time.time()
        self.write_gdt(sample)
        self.wait_for_log("gdt sync http=", 4, timeout=10)
        upload = self.server.uploads()[-1]
        self.assertEqual(upload["file"], sample)
        self.assertLess(upload["time"] - written, 3.0)
        self.assertEqual(us.queue_entries(), [])

    def test_deferred_pass_retries_after_5_then_10_seconds(self):
        for i in range(3):
            us.add_entry("173375040%04d_00007_%04d.gdt" % (i, i), b"entry %d" % i)
        self.server.control(gdt_plan=["ok", "503", "503"])
        self.configure()
        self.start_runner()
        self.wait_for_log("gdt sync deferred")
        self.assertEqual(us.messages("gdt sync deferred"), ["gdt sync deferred: http=503 winerr=0"])
        self.assertEqual(us.queue_entries(), ["1733750400001_00007_0001.gdt", "1733750400002_00007_0002.gdt"])

        # A capture while backing off waits for the retry time.
        time.sleep(1)
        self.write_gdt(b"captured while backing off")
        self.assertTrue(h.wait_for(lambda: len(us.queue_entries()) == 3, 5))
        self.wait_for_log("gdt sync http=", 4, timeout=25)
        times = [r["time"] for r in self.server.requests("gdt")]
        statuses = [r["status"] for r in self.server.requests("gdt")]
        self.assertEqual(statuses, [200, 503, 503, 200, 200, 200])
        # Slack above for a loaded machine; still far from the neighbouring 10 s and 20 s.
        self.assertTrue(4.8 <= times[2] - times[1] <= 7.0, times)
        self.assertTrue(9.8 <= times[3] - times[2] <= 12.5, times)
        self.assertEqual([u["file"] for u in self.server.uploads()],
                         [b"entry 0", b"entry 1", b"entry 2", b"captured while backing off"])
        self.assertEqual(us.queue_entries(), [])

    def test_final_answers_delete_the_entry(self):
        plan = ["404", "201", "garbage", "empty", "huge", "cut"]
        for i in range(len(plan)):
            us.add_entry("173375040%04d_00007_%04d.gdt" % (i, i), b"entry")
        self.server.control(gdt_plan=plan)
        self.configure()
        self.start_runner()
        lines = self.wait_for_log("gdt sync http=", len(plan))
        self.assertEqual(us.queue_entries(), [])
        self.assertEqual(lines[:5], ["gdt sync http=404 result=forced 404 receipt=",
                                     "gdt sync http=201 result=forced 201 receipt=",
                                     "gdt sync http=200 result= receipt=",
                                     "gdt sync http=200 result= receipt=",
                                     "gdt sync http=200 result=" + "x" * 998])
        self.assertEqual(lines[5], "gdt sync http=200 result=cut sh receipt=")

    def test_answers_that_defer_keep_the_entry(self):
        us.add_entry("1733750400000_00007_0000.gdt", b"entry")
        closed_port = "http://127.0.0.1:%d" % us.free_port()
        cases = [  # (name, server changes, runner settings, gdt requests, token requests, expected line)
            ("401 twice", dict(gdt_plan=["401", "401"]), {}, 2, 2, "http=401 winerr=0"),
            ("401, no fresh token", dict(gdt_plan=["401"], token_plan=["ok", "500"]), {}, 1, 2, "http=401 winerr=0"),
            ("403", dict(gdt_plan=["403"]), {}, 1, 1, "http=403 winerr=0"),
            ("408", dict(gdt_plan=["408"]), {}, 1, 1, "http=408 winerr=0"),
            ("429", dict(gdt_plan=["429"]), {}, 1, 1, "http=429 winerr=0"),
            ("500", dict(gdt_plan=["500"]), {}, 1, 1, "http=500 winerr=0"),
            ("302", dict(gdt_plan=["302"]), {}, 1, 1, "http=302 winerr=0"),
            ("dropped connection", dict(gdt_plan=["drop"]), {}, 1, 1, r"http=0 winerr=[1-9]\d*"),
            ("nobody listening", {}, dict(server_url=closed_port), 0, 1, r"http=0 winerr=[1-9]\d*"),
            ("no token", dict(token_default="401"), {}, 0, 1, "http=0 winerr=5"),
        ]
        for name, changes, settings, gdt_requests, token_requests, line in cases:
            with self.subTest(name):
                self.server.control(reset=True, **changes)
                self.configure(**settings)
                before = len(us.messages("gdt sync deferred"))
                self.start_runner()
                deferred = self.wait_for_log("gdt sync deferred", before + 1)
                h.stop_runner(self.proc)
                self.assertRegex(deferred[-1], "^gdt sync deferred: " + line + "$")
                self.assertEqual(len(self.server.requests("gdt")), gdt_requests)
                self.assertEqual(len(self.server.requests("token")), token_requests)
                self.assertEqual(us.queue_entries(), ["1733750400000_00007_0000.gdt"])
        self.assertIn("token request failed: http=401 winerr=0", h.log_messages())
        self.assertEqual(us.messages("gdt sync http="), [])

    def test_refused_token_is_refreshed_once(self):
        self.configure()
        self.start_runner()
        self.write_gdt(b"first")
        self.wait_for_log("gdt sync http=")
        self.server.control(revoke_tokens=True)  # the runner's cached token is now unknown
        self.write_gdt(b"second version")
        self.wait_for_log("gdt sync http=", 2)
        self.assertEqual([r["status"] for r in self.server.requests("gdt")], [200, 401, 200])
        self.assertEqual(len(self.server.requests("token")), 2)
        self.assertEqual([u["file"] for u in self.server.uploads()], [b"first", b"second version"])

    def test_server_text_cannot_forge_log_lines(self):
        self.server.control(result="ok\r\n2024-01-01 00:00:00.000 [1] forged\x7f")
        us.add_entry("1733750400000_00007_0000.gdt", b"entry")
        self.configure()
        self.start_runner()
        self.wait_for_log("gdt sync http=")
        self.assertIn("gdt sync http=200 result=ok\\x0d\\x0a2024-01-01 00:00:00.000 [1] forged\\x7f "
                      "receipt=rcpt-000001", h.log_messages())
        self.assertNotIn("forged", [m for m in h.log_messages() if not m.startswith("gdt sync")])
        self.assertEqual(h.read_log().count("forged"), 1)


if __name__ == "__main__":
    h.main()
