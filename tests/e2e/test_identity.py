"""The channel file and the identity values that every upload carries."""
import os
import re
import subprocess

import harness as h
import capture_support as cs
import upload_support as us

VALID = "AbCdEfGhIjKlMnOpQrStUvWxYz0123456789-_abcde"
GENERATED = re.compile(r"^[A-Za-z0-9_-]{43}$")


def channel_path():
    return os.path.join(h.data_dir(), "channel")


def read_channel_file():
    with open(channel_path(), "rb") as f:
        return f.read()


class Identity(us.UploadTestCase):
    def upload_once(self, start=None):
        """Starts the runner, lets it upload one queued entry and stops it; the upload's fields."""
        before = len(self.server.uploads())
        us.add_entry("1733750400000_00007_0000.gdt", b"entry")
        self.configure()
        self.proc = start() if start else h.start_exe([])
        if not h.wait_for(lambda: len(self.server.uploads()) > before, 20):
            self.fail("no upload: %r" % h.log_messages())
        h.stop_runner(self.proc)
        return self.server.uploads()[-1]["fields"]

    def test_channel_file(self):
        # None yet: one is generated and written without a line end, then kept.
        first = self.upload_once()["channel"]
        self.assertRegex(first, GENERATED)
        self.assertEqual(read_channel_file(), first.encode())
        self.assertEqual(self.upload_once()["channel"], first)
        self.assertFalse(os.path.exists(channel_path() + ".tmp"))

        # Every length and character rule is tabled in the unit tests; these
        # show that the process uses what the file rule decides.
        cases = [  # (file content, channel used or None for a fresh one)
            (VALID.encode() + b"\r\n", VALID),
            (b"Z" * 64, "Z" * 64),
            (b"a" * 21, None),
            (VALID[:42].encode() + b"=", None),
            (b"", None),
        ]
        for content, expected in cases:
            with self.subTest(content=content):
                with open(channel_path(), "wb") as f:
                    f.write(content)
                channel = self.upload_once()["channel"]
                if expected is None:
                    self.assertRegex(channel, GENERATED)
                    self.assertNotEqual(channel.encode(), content)
                else:
                    self.assertEqual(channel, expected)
                self.assertEqual(read_channel_file(), content)

        # A file that cannot be read is left alone as well.
        with open(channel_path(), "wb") as f:
            f.write(VALID.encode())
        holder = cs.hold(channel_path(), 4000)
        self.addCleanup(cs.release, holder)
        channel = self.upload_once()["channel"]
        self.assertRegex(channel, GENERATED)
        self.assertNotEqual(channel, VALID)
        self.assertEqual(read_channel_file(), VALID.encode())

    def test_identity_values_without_username(self):
        # Wine always sets USERNAME for its processes; a cmd shell can drop it for its child.
        exe = "Z:" + os.path.realpath(h.EXE).replace("/", "\\")

        def start_without_username():
            return subprocess.Popen(["wine", "cmd", "/c", "set USERNAME=&& " + exe], env=h.wine_env(),
                                    stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        self.write_config(server_url=self.server.url, server_token_url=self.server.token_url, run_users="%USERNAME%")
        self.configure = lambda: None  # keep the users entry written above
        fields = self.upload_once(start_without_username)
        self.assertEqual(fields["win_user"], "%USERNAME%")
        session = re.match(r"^runner started session=(\d+)$", us.messages("runner started")[0]).group(1)
        self.assertEqual(fields["win_session"], session)
        self.assertRegex(session, r"^(0|[1-9]\d*)$")
        self.assertNotIn("%", fields["host"])


if __name__ == "__main__":
    h.main()
