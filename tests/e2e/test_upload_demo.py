"""The README's main-job command: an upload under Wine, then nothing left running."""
import os
import subprocess
import unittest

import harness as h


class Demo(unittest.TestCase):
    def test_demo_uploads_the_sample_and_stops_everything(self):
        env = dict(os.environ, BUILD_DIR=h.BUILD_DIR, DEMO_NO_BUILD="1")
        proc = subprocess.run([os.path.join(h.SOURCE_DIR, "scripts", "demo.sh")], env=env, timeout=240,
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        out = proc.stdout.decode("utf-8", "replace")
        self.assertEqual(proc.returncode, 0, out)
        self.assertRegex(out, r"POST /api/gdt sync data\.gdt \d+ B captured_at=\S+ -> 200")
        self.assertIn("the received file is byte for byte the sample GDT file", out)
        self.assertRegex(out, r"\[\d+\] gdt sync http=200 result=ok receipt=rcpt-000001")
        self.assertRegex(out, r"\[\d+\] runner stopped")
        self.assertIn("every process it started has ended", out)
        prefix = os.path.join(h.BUILD_DIR, "demo-prefix")
        self.assertFalse(os.path.exists(prefix + ".xvfb-pid"))


if __name__ == "__main__":
    h.main()
