"""Run mode's tray icon driven as the shell and a user would: callbacks,
popup menu, status box, balloons, "TaskbarCreated" and the end of the session."""
import os

import desktop_support as ds
import harness as h

STATUS_CAPTION = "Orvanta DEV"


queue_dir = h.queue_dir


class Tray(ds.DesktopTestCase):
    def open_requests(self, count, timeout=15):
        self.assertTrue(h.wait_for(lambda: ds.gdt_request_count(self.server) >= count, timeout))
        self.assertEqual(ds.gdt_request_count(self.server), count)

    def test_double_clicks_start_one_flow_at_a_time(self):
        self.configure()
        self.write_gdt()
        # The server takes its time, so the second double-click lands while the first flow runs.
        self.server.control(gdt_plan=["delay:1500+ok"])
        self.start_runner()
        self.assertEqual(ds.driver("tray-post", "lbuttonup", "lbuttondblclk", "lbuttondblclk")[0], 0)
        url = self.server.url + "/p/12345?ch=" + self.channel()
        [launch] = self.wait_for_launches(1)
        self.assertEqual(launch["args"], ["--app=" + url, "--start-maximized"])
        self.assertTrue(h.wait_for(lambda: "window maximized" in h.log_messages(), 15))
        self.open_requests(1)

        # The flow has ended: the next double-click starts the next one.
        ds.driver("tray-post", "lbuttondblclk")
        self.wait_for_launches(2)
        self.open_requests(2)

    def test_menu_opens_the_patient_or_the_status_box(self):
        self.configure()
        self.write_gdt()
        self.server.control(gdt_default="503")  # no browser windows in the way of the menus
        self.start_runner()

        # Escape closes the menu and does nothing.
        ds.driver("tray-post", "rbuttonup")
        self.assertEqual(ds.driver("menu-wait", 5000)[0], 0)
        ds.screenshot("tray_menu")
        ds.driver("menu-keys", "escape")
        self.assertTrue(h.wait_for(lambda: ds.driver("menu-wait", 0)[0] != 0, 5))
        self.assertEqual(ds.gdt_request_count(self.server), 0)

        # Two selectable entries: the third Down wraps round to the first, which opens the patient.
        ds.driver("tray-post", "contextmenu")
        self.assertEqual(ds.driver("menu-keys", "down", "down", "down", "return")[0], 0)
        self.open_requests(1)

        # Down twice skips the separator and reaches "Status".
        ds.driver("tray-post", "rbuttonup")
        self.assertEqual(ds.driver("menu-keys", "down", "down", "return")[0], 0)
        box = ds.driver_json("msgbox-wait", 5000)
        self.assertIsNotNone(box)
        self.assertEqual(box["caption"], STATUS_CAPTION)
        self.assertTrue(box["text"].startswith("Noch keine \u00dcbertragung.\n\nWartend: 0\n"), box["text"])
        ds.driver("msgbox-close")
        self.assertEqual(ds.gdt_request_count(self.server), 1)

    def show_status_box(self):
        ds.driver("tray-post", "rbuttonup")
        ds.driver("menu-keys", "down", "down", "return")
        box = ds.driver_json("msgbox-wait", 5000)
        self.assertIsNotNone(box)
        return box

    def test_status_box_shows_five_lines_with_the_live_waiting_count(self):
        self.configure()
        self.start_runner()
        box = self.show_status_box()
        expected = "Noch keine \u00dcbertragung.\n\nWartend: %d\nServer: " + self.server.url + \
                   "\nGDT: " + h.to_win(self.gdt_dir) + "\\data.gdt"
        self.assertEqual(box["caption"], STATUS_CAPTION)
        self.assertEqual(box["text"], expected % 0)
        self.assertTrue(box["icon"])
        ds.driver("msgbox-close")

        # Entries that arrive while the runner idles count as soon as the box opens again.
        for name in ("1700000000000_00001_0001.gdt", "1700000000001_00001_0002.gdt"):
            with open(os.path.join(queue_dir(), name), "wb") as f:
                f.write(ds.GDT_RECORD)
        box = self.show_status_box()
        self.assertEqual(box["text"], expected % 2)
        ds.screenshot("status_box")
        ds.driver("msgbox-close")

    def test_open_error_shows_a_warning_balloon(self):
        self.configure()
        self.write_gdt()
        self.server.control(gdt_default="422")
        self.start_runner()
        ds.driver("tray-post", "lbuttondblclk")
        balloons = h.wait_for(lambda: ds.driver_json("balloons"), 15)
        self.assertEqual(balloons, ["Die GDT-Datei konnte nicht verarbeitet werden."])
        # The title and the warning sign are drawn by the shell: see the screenshot.
        ds.screenshot("tray_balloon")
        self.assertIn("gdt open http=422 result=forced 422 winerr=0", h.log_messages())

    def test_icon_comes_back_with_the_taskbar_and_goes_with_the_session(self):
        self.configure()
        self.start_runner()
        hwnd = ds.tray_hwnd()
        self.assertTrue(ds.icon_present(hwnd))
        self.assertNotEqual(ds.driver("button-info")[0], 0, "no taskbar button unless configured")

        # The shell restarted and lost the icon: "TaskbarCreated" brings it back.
        ds.driver("icon-remove", hwnd)
        self.assertFalse(ds.icon_present(hwnd))
        ds.driver("taskbar-created")
        self.assertTrue(h.wait_for(lambda: ds.icon_present(hwnd), 5))

        # A cancelled end of session changes nothing.
        self.assertEqual(ds.driver("endsession", 0)[0], 0)
        self.assertIsNone(h.wait_for(lambda: self.proc.poll(), 2))
        self.assertTrue(ds.icon_present(hwnd))

        # The real end: the runner stops by itself and takes its icon along.
        ds.driver("endsession", 1)
        self.assertEqual(self.proc.wait(15), 0)
        self.assertEqual(h.log_messages()[-1], "runner stopped")
        self.assertFalse(ds.icon_present(hwnd))


if __name__ == "__main__":
    h.main()
