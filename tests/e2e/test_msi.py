"""The per-machine MSI under Wine, driven by the commands of the
administrator's guide: install with properties, runner.ini ownership,
upgrade and downgrade, uninstall with a running runner."""
import os

import harness as h
import msi_support as m

CHECK = '"C:\\Program Files\\Orvanta GDT-Runner\\orvanta-runner.exe" --check'
SET_SECRET = '"C:\\Program Files\\Orvanta GDT-Runner\\orvanta-runner.exe" --set-secret-file'
VERIFY_SECRET = '"C:\\Program Files\\Orvanta GDT-Runner\\orvanta-runner.exe" --verify-secret-file'
STOP = '"C:\\Program Files\\Orvanta GDT-Runner\\orvanta-runner.exe" --stop'
# What an administrator might leave in runner.ini: another encoding than the
# package's template, comments, a key the package never writes.
ADMIN_INI = b"; edited by IT\r\n[server]\r\nurl=https://admin.example\r\n[open]\r\nmaximize=0\r\n"


def check_lines(output):
    """--check output as {label: value}."""
    return {line[:15].rstrip(" :"): line[15:] for line in output.split("\n") if len(line) > 15}


class MsiPackage(h.RunnerTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        m.uninstall_all()

    def setUp(self):
        super().setUp()
        m.stage_msi()

    def tearDown(self):
        m.uninstall_all()
        super().tearDown()

    def test_guide_install_reinstall_and_uninstall(self):
        install = m.guide_command("msiexec /i")
        properties = m.msi_properties(install)
        self.assertEqual(m.run_batch(install)[0], 0)

        self.assertTrue(os.path.isfile(m.installed_exe()))
        self.assertEqual(m.reg_values(m.RUN_KEY).get(m.PRODUCT), '"' + m.INSTALLED_EXE + '"')
        self.assertEqual(len(m.shortcuts()), 1)
        link = m.read_bytes(m.shortcuts()[0])
        self.assertTrue(m.INSTALLED_EXE.encode() in link or m.INSTALLED_EXE.encode("utf-16-le") in link)
        self.assertEqual(list(m.installed_products().values()), [m.version()])
        self.assertEqual(m.ini_values(), {
            ("server", "url"): properties["SERVERURL"], ("server", "token_url"): properties["TOKENURL"],
            ("server", "client_id"): properties["CLIENTID"], ("gdt", "dir"): properties["GDTDIR"],
            ("gdt", "file"): properties["GDTFILE"], ("run", "users"): properties["USERS"],
        })
        code, out = m.run_batch(m.guide_command(CHECK))
        report = check_lines(out)
        self.assertEqual(code, 0)
        self.assertEqual(report["Server"], properties["SERVERURL"])
        self.assertEqual(report["Client"], properties["CLIENTID"])
        self.assertEqual(report["GDT-Datei"], properties["GDTDIR"] + "\\" + properties["GDTFILE"] + " (fehlt)")

        # The administrator's file survives a second install, a repair with
        # other properties (which does restore the missing exe), and the
        # uninstall, byte for byte.
        with open(m.config_path(), "wb") as f:
            f.write(ADMIN_INI)
        self.assertEqual(m.run_batch(install)[0], 0)
        os.remove(m.installed_exe())
        self.assertEqual(m.msiexec("/i", "C:\\setup\\" + m.release_msi_name(), "/qn", "REINSTALL=ALL",
                                   "REINSTALLMODE=vamus", "SERVERURL=https://repair.example", "USERS=x"), 0)
        self.assertTrue(os.path.isfile(m.installed_exe()))
        self.assertEqual(m.read_bytes(m.config_path()), ADMIN_INI)

        self.assertEqual(m.run_batch(m.guide_command("msiexec /x"))[0], 0)
        self.assertFalse(os.path.exists(h.to_unix(m.INSTALL_DIR)))
        self.assertNotIn(m.PRODUCT, m.reg_values(m.RUN_KEY) or {})
        self.assertEqual(m.shortcuts(), [])
        self.assertEqual(m.installed_products(), {})
        self.assertEqual(m.read_bytes(m.config_path()), ADMIN_INI)

    def test_property_values_are_written_as_text(self):
        # Passed one by one, so no batch file expands anything on the way.
        values = {
            "SERVERURL": "https://gdt.example/praxis a;b",
            "CLIENTID": "o'brien [ProductName] 100% {x}",
            "GDTDIR": "C:\\Users\\%USERNAME%\\GDT Ordner",
            "GDTFILE": "a = b.gdt",
            "USERS": "Jürgen, Zoë , anna",
        }
        msi = os.path.join("C:\\setup", m.release_msi_name())
        self.assertEqual(m.msiexec("/i", msi, "/qn", *[f"{k}={v}" for k, v in values.items()]), 0)

        ini = m.ini_values()
        self.assertEqual([ini[("server", "url")], ini[("server", "client_id")], ini[("gdt", "dir")],
                          ini[("gdt", "file")], ini[("run", "users")]],
                         [values["SERVERURL"], values["CLIENTID"], values["GDTDIR"], values["GDTFILE"],
                          values["USERS"]])
        self.assertNotIn(("server", "token_url"), ini)  # not given: the runner's default applies

        code, out = h.run_exe(["--check"], exe=m.installed_exe())
        report = check_lines(out)
        self.assertEqual(report["Client"], values["CLIENTID"])
        self.assertEqual(report["GDT-Datei"], f"C:\\Users\\{h.USER}\\GDT Ordner\\a = b.gdt (fehlt)")

    def test_upgrade_keeps_config_and_downgrade_is_refused(self):
        current = m.release_msi_name()
        major, minor, patch = m.version().split(".")
        newer_version = f"{major}.{minor}.{int(patch) + 1}"
        newer = m.build_msi(newer_version, "newer.msi")
        rebuilt = m.build_msi(newer_version, "newer-rebuilt.msi")

        # Without properties the package writes its commented template only.
        self.assertEqual(m.msiexec("/i", "C:\\setup\\" + current, "/qn"), 0)
        self.assertEqual(m.ini_values(), {})
        template = m.read_bytes(m.config_path())

        self.assertEqual(m.msiexec("/i", "C:\\setup\\" + newer, "/qn", "SERVERURL=https://other.example"), 0)
        self.assertEqual(list(m.installed_products().values()), [newer_version])
        self.assertEqual(m.read_bytes(m.config_path()), template)

        # A rebuild of the same version replaces the installed one.
        self.assertEqual(m.msiexec("/i", "C:\\setup\\" + rebuilt, "/qn"), 0)
        self.assertEqual(list(m.installed_products().values()), [newer_version])

        self.assertEqual(m.msiexec("/i", "C:\\setup\\" + current, "/qn"), m.exit_code(1603))
        # Windows shows (or logs) the condition's text; Wine only fails.
        self.assertIn("Eine neuere Version von Orvanta GDT-Runner ist bereits installiert.",
                      m.launch_conditions(os.path.join(m.SETUP_DIR, current)).get("NOT WIX_DOWNGRADE_DETECTED", ""))
        self.assertEqual(list(m.installed_products().values()), [newer_version])
        self.assertTrue(os.path.isfile(m.installed_exe()))

    def test_secret_commands_and_uninstall_with_running_runner(self):
        msi = os.path.join("C:\\setup", m.release_msi_name())
        self.assertEqual(m.msiexec("/i", msi, "/qn", "USERS=" + h.USER, "GDTDIR=" + h.to_win(self.gdt_dir),
                                   "TOKENURL=https://localhost:1/token"), 0)

        self.addCleanup(h.remove_secret)
        os.makedirs(h.drive_c("Temp"), exist_ok=True)
        secret_file = h.drive_c("Temp", "secret.txt")
        with open(secret_file, "wb") as f:
            f.write(b"s3cret\r\n")
        # The guide's endpoint is not reachable from here: "any other failure".
        self.assertEqual(m.run_batch(m.guide_command(VERIFY_SECRET))[0], 3)
        self.assertEqual(m.run_batch(m.guide_command(SET_SECRET))[0], 0)
        self.assertEqual(m.run_batch(m.guide_command("del "))[0], 0)
        self.assertFalse(os.path.exists(secret_file))

        def start_runner():
            before = len(h.log_messages())
            proc = h.start_exe([], exe=m.installed_exe())
            self.assertTrue(h.wait_for(
                lambda: any(x.startswith("runner started") for x in h.log_messages()[before:]), 20))
            return proc

        proc = start_runner()
        self.assertEqual(m.run_batch(m.guide_command(STOP))[0], 0)
        self.assertEqual(proc.wait(timeout=15), 0)

        proc = start_runner()
        self.assertEqual(m.run_batch(m.guide_command("msiexec /x"))[0], 0)
        self.assertEqual(proc.wait(timeout=15), 0)
        self.assertEqual(h.log_messages()[-1], "runner stopped")
        self.assertFalse(os.path.exists(m.installed_exe()))
        self.assertEqual(m.installed_products(), {})


if __name__ == "__main__":
    h.main()
