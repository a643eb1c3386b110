"""The token client against the local token endpoint: the request it sends,
the cache and its 30 s margin, failures, forced refresh and concurrent callers."""
import unittest

import harness as h
import net_support as n


class TokenClientTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        h.ensure_prefix()
        cls.server = n.TokenServer().start()

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def realm(self, name, **settings):
        self.server.realms[name] = n.Realm(**settings)
        return n.token_url(self.server, name)

    def requests_to(self, realm):
        return [r for r in self.server.requests if "/realms/%s/" % realm in r.path]

    def test_request_is_a_form_encoded_client_credentials_grant(self):
        url = self.realm("form", client_id="runner id", client_secret="s3 cr+t&\u00e4=%")
        run = n.probe_tokens(url, ["get"], client_id="runner id", secret="s3 cr+t&\u00e4=%")
        self.assertEqual(len(run.tokens), 1)
        self.assertTrue(run.tokens[0].startswith("tok-form-"))
        request = self.requests_to("form")[0]
        self.assertEqual(request.body, b"grant_type=client_credentials&client_id=runner%20id"
                                       b"&client_secret=s3%20cr%2Bt%26%C3%A4%3D%25")
        self.assertEqual(request.header("Content-Type"), n.FORM)
        self.assertIsNone(request.header("Authorization"))

    def test_cache_follows_the_lifetime_with_a_30_second_margin(self):
        cases = {
            # name: (expires_in JSON text, steps, requests expected, which results are the same token)
            "no expires_in means 60 s": (None, ["get", "get"], 1),
            "long lifetime": ("3600", ["get", "get"], 1),
            "lifetime as a string counts as absent": ('"3600"', ["get", "get"], 1),
            "30 s is never cached": ("30", ["get", "get"], 2),
            "negative is already expired": ("-5", ["get", "get"], 2),
            "31 s is cached for one second": ("31", ["get", "get", "sleep:1500", "get"], 2),
            # 1000 times this wraps an unsigned 64-bit value into the past.
            "absurd lifetime saturates": ("9223372036854775807", ["get", "get"], 1),
            "absurd beyond 64 bits": ("99999999999999999999", ["get", "get"], 1),
            "absurdly negative": ("-99999999999999999999", ["get", "get"], 2),
        }
        for index, (name, (expires_in, steps, fetches)) in enumerate(cases.items()):
            with self.subTest(name):
                realm = "cache%d" % index
                run = n.probe_tokens(self.realm(realm, expires_in=expires_in), steps)
                self.assertEqual(len(self.requests_to(realm)), fetches)
                self.assertTrue(all(run.tokens), run.tokens)
                self.assertEqual(len(set(run.tokens)), fetches, run.tokens)
                self.assertEqual(run.log, [])

    def test_failures_give_an_empty_token_and_one_log_line(self):
        refused = "http://127.0.0.1:%d/realms/x/protocol/openid-connect/token" % n.refused_port()
        cases = {
            "wrong secret": (self.realm("refuse", client_secret="other"), "token request failed: http=401 winerr=0"),
            "server error": (self.realm("broken", plan=[500, 500]), "token request failed: http=500 winerr=0"),
            "unreachable": (refused, "token request failed: http=0 winerr=%d" % n.ERROR_WINHTTP_CANNOT_CONNECT),
            "200 without a token": (self.realm("empty", body=b'{"token_type":"Bearer","expires_in":300}'), None),
        }
        for name, (url, line) in cases.items():
            with self.subTest(name):
                run = n.probe_tokens(url, ["get", "get"])
                # Nothing is cached after a failure: the second call asks again.
                self.assertEqual(run.tokens, ["", ""])
                self.assertEqual(run.log, [line, line] if line else [])
                self.assertNotIn("s3cret", "\n".join(run.log))

    def test_forced_refresh_fetches_anew_and_loses_the_token_when_that_fails(self):
        url = self.realm("force", plan=["ok", "ok", 503])
        run = n.probe_tokens(url, ["get", "get", "force", "force", "get"])
        first, cached, refreshed, failed, again = run.tokens
        self.assertEqual(first, cached)
        self.assertNotIn(refreshed, ("", first))
        self.assertEqual(failed, "")
        self.assertNotIn(again, ("", first, refreshed))
        self.assertEqual(len(self.requests_to("force")), 4)
        self.assertEqual(run.log, ["token request failed: http=503 winerr=0"])

    def test_concurrent_callers_share_one_fetch(self):
        url = self.realm("slow", delay=0.7)
        run = n.probe_tokens(url, ["pair"])
        self.assertEqual(len(self.requests_to("slow")), 1)
        self.assertEqual(len(set(run.tokens)), 1)
        self.assertTrue(run.tokens[0])


if __name__ == "__main__":
    h.main()
