"""The taskbar button window: minimized for good, opens the patient, and
steps aside while the server's application window is open."""
import desktop_support as ds
import harness as h

TITLE = "Orvanta DEV \u2013 Patient \u00f6ffnen"
WS_EX_APPWINDOW = 0x40000
WS_CAPTION, WS_SYSMENU, WS_MINIMIZEBOX = 0xC00000, 0x80000, 0x20000
WS_MAXIMIZEBOX, WS_THICKFRAME = 0x10000, 0x40000


class TaskbarButton(ds.DesktopTestCase):
    def setUp(self):
        super().setUp()
        self.configure(open_taskbar_button=1)
        self.write_gdt()
        # Failing answers keep browser windows out of the way of the button rule.
        self.server.control(gdt_default="503")
        self.start_runner()
        self.assertTrue(h.wait_for(lambda: ds.driver_json("button-info"), 10))

    def button(self):
        return ds.driver_json("button-info")

    def open_requests(self, count):
        self.assertTrue(h.wait_for(lambda: ds.gdt_request_count(self.server) >= count, 15))
        self.assertEqual(ds.gdt_request_count(self.server), count)

    def test_clicks_open_the_patient_and_the_button_stays(self):
        button = self.button()
        self.assertEqual(button["title"], TITLE)
        self.assertTrue(button["visible"] and button["iconic"])
        self.assertFalse(button["foreground"])
        self.assertTrue(button["exstyle"] & WS_EX_APPWINDOW)
        self.assertEqual(button["style"] & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME),
                         WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX)

        # A click on the taskbar button arrives as SC_RESTORE; the maximize command acts alike.
        for count, command in enumerate(("restore", "maximize"), 1):
            self.assertEqual(ds.driver("button-syscmd", command)[0], 0)
            self.open_requests(count)
            self.assertTrue(h.wait_for(lambda: ds.driver_json("balloons"), 10))
            self.assertTrue(self.button()["iconic"])

        # Closing is refused, by the system menu and by WM_CLOSE alike.
        ds.driver("button-syscmd", "close")
        ds.driver("button-close")
        button = self.button()
        self.assertTrue(button and button["visible"] and button["iconic"])

        # Restored and activated by someone else: it minimizes itself again and opens the patient.
        ds.driver("button-restore")
        self.open_requests(3)
        self.assertTrue(h.wait_for(lambda: self.button()["iconic"], 5))
        self.assertTrue(self.proc.poll() is None)

    def test_hidden_while_an_app_window_is_open(self):
        stand_in = self.open_app_window()
        self.assertTrue(h.wait_for(lambda: not self.button()["visible"], 3))
        ds.driver("browser-close")
        stand_in.wait(10)
        self.assertTrue(h.wait_for(lambda: self.button()["visible"], 3))
        button = self.button()
        self.assertTrue(button["iconic"])
        self.assertFalse(button["foreground"])
        # Another program's window without the application's title does not count.
        self.open_app_window(title="Some other page")
        self.assertIsNone(h.wait_for(lambda: not self.button()["visible"] or None, 2.5))


if __name__ == "__main__":
    h.main()
