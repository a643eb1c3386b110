"""The release command: exe, MSI and SHA256SUMS named by the version, both
signed when a certificate is given, unsigned (and saying so) otherwise."""
import os
import subprocess
import tempfile
import unittest

import harness as h
import msi_support as m


def run(args, cwd=None, env=None):
    return subprocess.run(args, cwd=cwd, env=env, stdin=subprocess.DEVNULL, capture_output=True, text=True)


class Release(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.addClassCleanup(cls.tmp.cleanup)
        d = cls.tmp.name
        # A throwaway code-signing certificate; it is its own trust anchor.
        cls.cert = os.path.join(d, "cert.pem")
        cls.p12 = os.path.join(d, "signing.p12")
        cls.password_file = os.path.join(d, "password")
        with open(cls.password_file, "w") as f:
            f.write("test-password\n")
        key = os.path.join(d, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cls.cert,
                        "-days", "2", "-subj", "/CN=Orvanta Test Signing",
                        "-addext", "extendedKeyUsage=codeSigning", "-addext", "keyUsage=digitalSignature"],
                       check=True, capture_output=True)
        subprocess.run(["openssl", "pkcs12", "-export", "-in", cls.cert, "-inkey", key, "-out", cls.p12,
                        "-passout", "file:" + cls.password_file], check=True, capture_output=True)
        cls.version = m.version()
        cls.exe = f"orvanta-runner-{cls.version}.exe"
        cls.msi = f"orvanta-runner-{cls.version}-x64.msi"

    def release(self, name, **signing):
        dist = os.path.join(self.tmp.name, name)
        env = dict(os.environ, BUILD_DIR=h.BUILD_DIR, DIST_DIR=dist, **signing)
        for variable in ("RUNNER_SIGN_PKCS12", "RUNNER_SIGN_PASSWORD_FILE", "RUNNER_SIGN_TIMESTAMP_URL"):
            if variable not in signing:
                env.pop(variable, None)
        proc = run([os.path.join(h.SOURCE_DIR, "scripts", "release.sh")], env=env)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        self.assertEqual(sorted(os.listdir(dist)), sorted([self.exe, self.msi, "SHA256SUMS"]))
        sums = run(["sha256sum", "--strict", "-c", "SHA256SUMS"], cwd=dist)
        self.assertEqual(sums.returncode, 0, sums.stdout + sums.stderr)
        self.assertEqual(sorted(sums.stdout.split()), sorted([self.exe + ":", "OK", self.msi + ":", "OK"]))
        return dist, proc

    def verified(self, path):
        return run(["osslsigncode", "verify", "-CAfile", self.cert, "-in", path]).returncode == 0

    def test_signed_release(self):
        dist, proc = self.release("signed", RUNNER_SIGN_PKCS12=self.p12, RUNNER_SIGN_PASSWORD_FILE=self.password_file)
        self.assertNotIn("NOT SIGNED", proc.stderr)
        self.assertTrue(self.verified(os.path.join(dist, self.exe)))
        self.assertTrue(self.verified(os.path.join(dist, self.msi)))

        # The exe inside the package is the signed one.
        extracted = os.path.join(self.tmp.name, "extracted")
        subprocess.run(["msiextract", "-C", extracted, os.path.join(dist, self.msi)], check=True, capture_output=True)
        installed = os.path.join(extracted, m.PRODUCT, "orvanta-runner.exe")
        self.assertEqual(m.read_bytes(installed), m.read_bytes(os.path.join(dist, self.exe)))

        # One version everywhere: file names (above), package and version resource.
        product = run(["msiinfo", "export", os.path.join(dist, self.msi), "Property"]).stdout
        self.assertIn("ProductVersion\t" + self.version + "\n", product)
        exe_bytes = m.read_bytes(installed)
        for name in ("FileVersion", "ProductVersion"):
            label = (name + "\0").encode("utf-16-le")
            start = exe_bytes.find(label)
            self.assertGreater(start, 0, name)
            self.assertIn((self.version + "\0").encode("utf-16-le"), exe_bytes[start:start + 64], name)

    def test_unsigned_release_says_so(self):
        dist, proc = self.release("unsigned")
        self.assertIn("NOT SIGNED", proc.stderr)
        self.assertFalse(self.verified(os.path.join(dist, self.exe)))
        self.assertFalse(self.verified(os.path.join(dist, self.msi)))


if __name__ == "__main__":
    h.main()
