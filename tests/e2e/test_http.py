"""The HTTP transport against a local server: statuses and bodies as they
come, the header block, the body limit, failures without an answer, no
redirects, and HTTPS with a test CA trusted only inside the prefix."""
import json
import time
import unittest

import harness as h
import net_support as n

MIB = 1048576


class HttpTransport(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        h.ensure_prefix()
        cls.server = n.TokenServer().start()

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def url(self, path, host="127.0.0.1"):
        return "http://%s:%d%s" % (host, self.server.port, path)

    def test_statuses_reach_the_caller_with_their_bodies_and_redirects_are_not_followed(self):
        for code in (200, 201, 301, 302, 307, 400, 401, 404, 429, 500, 503):
            with self.subTest(code=code):
                status, error, body = n.probe_post(self.url("/status/%d" % code), "x=1", token="tok-abc")
                self.assertEqual((status, error), (code, 0))
                self.assertEqual(json.loads(body), {"status": code})
        # A followed redirect would have fetched /landed, with the bearer token.
        self.assertNotIn("/landed", self.server.paths())

    def test_header_block_with_and_without_token(self):
        body = "a=1&b=%C3%A4 \xe4"
        for token in ("", "eyJ.tok-123"):
            with self.subTest(token=token):
                n.probe_post(self.url("/status/200", host="localhost"), body, token=token, content_type="text/x-probe")
                request = self.server.requests[-1]
                self.assertEqual(request.method, "POST")
                self.assertEqual(request.body, body.encode("utf-8"))
                self.assertEqual(request.header("User-Agent"), "Orvanta/0.1")
                ours = [(k, v) for k, v in request.headers if k in ("Content-Type", "Accept", "Authorization")]
                expected = [("Content-Type", "text/x-probe"), ("Accept", "application/json")]
                if token:
                    expected.append(("Authorization", "Bearer " + token))
                self.assertEqual(ours, expected)

    def test_body_limit_and_bodies_cut_short(self):
        status, error, body = n.probe_post(self.url("/big/%d" % (5 * MIB)))
        self.assertEqual((status, error), (200, 0))
        self.assertGreater(len(body), MIB)
        self.assertLess(len(body), 2 * MIB)
        self.assertEqual(body[:512], bytes(range(256)) * 2)

        # The connection breaks after 50,000 of 200,000 promised bytes.
        self.assertEqual(n.probe_post(self.url("/cut/200000/50000")), (200, 0, b"x" * 50000))

    def test_failures_without_an_answer(self):
        cases = {
            "refused port": ("http://127.0.0.1:%d/x" % n.refused_port(), (n.ERROR_WINHTTP_CANNOT_CONNECT,)),
            "unknown host": ("http://no-such-host.invalid/x", (n.ERROR_WINHTTP_NAME_NOT_RESOLVED,)),
            "other scheme": ("ftp://127.0.0.1/x", (n.ERROR_WINHTTP_UNRECOGNIZED_SCHEME,)),
            "host over 255": ("http://%s/x" % ("a" * 300), None),
            "no url at all": ("not a url", None),
        }
        for name, (url, errors) in cases.items():
            with self.subTest(name):
                status, error, body = n.probe_post(url, "x=1")
                self.assertEqual((status, body), (0, b""))
                self.assertNotEqual(error, 0)
                if errors:
                    self.assertIn(error, errors)

    def test_silent_server_ends_with_the_receive_timeout(self):
        started = time.time()
        status, error, body = n.probe_post(self.url("/hang"), receive_ms=1500)
        # Windows names the timeout 12002; Wine passes on the socket's 10060.
        self.assertEqual((status, body), (0, b""))
        self.assertIn(error, (n.ERROR_WINHTTP_TIMEOUT, 10060))
        self.assertLess(time.time() - started, 15)


class HttpsTransport(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        h.ensure_prefix()
        cls.trusted = n.TestCa("Orvanta Runner Test CA")
        cls.stranger = n.TestCa("Unknown Test CA")
        cls.trusted.trust()

    @classmethod
    def tearDownClass(cls):
        cls.trusted.untrust()
        cls.trusted.remove_files()
        cls.stranger.remove_files()

    def test_token_over_https_with_the_trusted_test_ca(self):
        with n.TokenServer(tls=(self.trusted.cert, self.trusted.key)) as server:
            run = n.probe_tokens(n.token_url(server, host="localhost", scheme="https"), ["get"])
            self.assertEqual(run.tokens, ["tok-orvanta-1"])
            self.assertEqual(run.log, [])

    def test_untrusted_certificate_gives_no_status_and_a_windows_error(self):
        with n.TokenServer(tls=(self.stranger.cert, self.stranger.key)) as server:
            status, error, body = n.probe_post(n.token_url(server, host="localhost", scheme="https"), "x=1")
            self.assertEqual((status, body), (0, b""))
            self.assertIn(error, n.UNTRUSTED_CERT_ERRORS)
            self.assertEqual(server.requests, [])


if __name__ == "__main__":
    h.main()
