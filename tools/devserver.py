#!/usr/bin/env python3
"""Local development server for the runner: token endpoint and GDT API in one process.

Serves, on 127.0.0.1 (plain HTTP, or HTTPS with --cert/--key):

  POST /realms/<realm>/protocol/openid-connect/token
      OAuth2 client-credentials grant. Checks grant_type, client_id and
      client_secret and answers {"access_token", "expires_in", "token_type"};
      401 {"error":"invalid_client"} for wrong credentials, 400 for another
      grant type, 404 for another realm.
  POST /api/gdt
      Needs "Authorization: Bearer <token>" with a token this process issued
      and that has not expired (401 otherwise). The multipart/form-data body
      is read with the email package's MIME parser. mode "sync" is answered
      with {"result": <result text>, "receipt_id": "rcpt-NNNNNN"}; mode "open"
      with {"result": "ok", "url": <base>/p/<patient>} where <patient> is GDT
      field 3000 of the file, plus "delivered":true when delivery is switched
      on. Answers are compact JSON. An "open" whose file holds no GDT line gets 422;
      a form without mode or file gets 400.
      Every accepted upload is kept in memory and, with --store, written as
      NNNNNN-<mode>.gdt (the file bytes) beside NNNNNN-<mode>.json (fields in
      order, file name, time, answer).
  GET /p/<patient>, GET /
      A small HTML page titled "Orvanta DEV · ..." (the patient page and the
      start page of the web application).
  /_control (loopback only; see "Run-time control" below).

The base URL of patient links is the scheme plus the Host header of the
request (so it matches whatever server URL the runner was given), unless
--base-url names one.

Fault switches. Each endpoint ("gdt" and "token") has a plan, a list of
actions used one per request, and a default action used once the plan is
empty (normally "ok"). An action is one or more steps joined by "+":

  ok         handle the request normally
  NNN        answer with HTTP status NNN and {"result":"forced NNN"}
  drop       read the request, then close the connection without an answer
  cut        send the headers of a 200 and part of the promised body, then close
  garbage    answer 200 with a body that is not JSON
  huge       answer 200 with a 5 MiB body
  empty      answer 200 with no body
  delay:MS   wait MS milliseconds first, then go on with the next step (or ok)

for example --gdt-plan ok,503,delay:2000+200 --token-default 500.

Run-time control (only from the loopback address):

  GET  /_control           current settings and counters as JSON
  GET  /_control/requests  every request so far: seq, time (Unix seconds),
                           endpoint, action, status answered, form fields
  GET  /_control/uploads   accepted uploads with fields, file name and the
                           file bytes in base64
  POST /_control           a JSON object with any of: gdt_plan, token_plan
                           (list or comma-separated text), gdt_default,
                           token_default, result (text), delivered (bool),
                           token_lifetime (seconds), revoke_tokens (true:
                           forget every issued token), reset (true: clear
                           plans, defaults, journal and uploads)

  e.g. curl -s -d '{"gdt_plan":"503,503"}' http://127.0.0.1:PORT/_control

Each request is printed as one line on standard output:

  12:00:01.234 POST /api/gdt sync data.gdt 512 B captured_at=... -> 200 result=ok receipt=rcpt-000001

Usage:
  devserver.py [--port N] [--port-file FILE] [--store DIR] [--realm quillon]
               [--client-id ID] [--client-secret TEXT | --client-secret-file FILE]
               [--token-lifetime S] [--result TEXT] [--delivered]
               [--gdt-plan LIST] [--gdt-default ACTION]
               [--token-plan LIST] [--token-default ACTION]
               [--base-url URL] [--cert PEM --key PEM] [--quiet]

--port 0 (the default) lets the system choose; --port-file receives the port
number once the server listens (written through a temporary file and a
rename, so a reader never sees a partial number). SIGTERM and SIGINT end the
server cleanly.
"""
import argparse
import base64
import email.parser
import email.policy
import hmac
import html
import json
import os
import re
import secrets
import signal
import socket
import ssl
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

MAX_REQUEST_BYTES = 80 * 1024 * 1024
TOKEN_PATH = re.compile(r"^/realms/([^/]+)/protocol/openid-connect/token$")
HUGE_BODY_BYTES = 5 * 1024 * 1024


def parse_plan(value):
    """A plan given as a list or as comma-separated text; every action checked."""
    if value is None:
        return []
    items = value if isinstance(value, list) else [v for v in str(value).split(",") if v.strip()]
    actions = [str(v).strip() for v in items]
    for action in actions:
        parse_action(action)
    return actions


def parse_action(action):
    """'delay:500+503' -> [('delay', 500), ('status', 503)]; raises ValueError when unknown."""
    steps = []
    for step in str(action).split("+"):
        step = step.strip()
        if step.startswith("delay:"):
            steps.append(("delay", int(step[6:])))
        elif re.fullmatch(r"\d{3}", step):
            steps.append(("status", int(step)))
        elif step in ("ok", "drop", "cut", "garbage", "huge", "empty"):
            steps.append((step, None))
        else:
            raise ValueError("unknown action step: %r" % step)
    return steps


def parse_form(content_type, body):
    """Reads a multipart/form-data body with a MIME parser.
    Returns (ordered [(name, bytes, filename or None)], error text or None)."""
    if not content_type.lower().startswith("multipart/form-data"):
        return [], "not multipart/form-data"
    head = b"Content-Type: " + content_type.encode("latin-1") + b"\r\nMIME-Version: 1.0\r\n\r\n"
    message = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(head + body)
    if not message.is_multipart():
        return [], "body is not a multipart message"
    fields = []
    for part in message.iter_parts():
        name = part.get_param("name", header="content-disposition")
        if name is None:
            return fields, "part without a name"
        payload = part.get_payload(decode=True) or b""
        fields.append((str(name), payload, part.get_filename()))
    if message.defects:
        return fields, "multipart defects: %s" % ", ".join(type(d).__name__ for d in message.defects)
    return fields, None


def gdt_patient_number(data):
    """Content of the first GDT line with field id 3000, or None. A GDT line is
    three digits of line length, four digits of field id, the content, CR LF."""
    found_line = False
    for raw in data.split(b"\r\n"):
        m = re.fullmatch(rb"(\d{3})(\d{4})(.*)", raw, re.S)
        if not m:
            continue
        found_line = True
        if m.group(2) == b"3000":
            return m.group(3).decode("iso-8859-15").strip()
    return "" if found_line else None


class State:
    """Everything the handlers share, behind one lock."""

    def __init__(self, args):
        self.lock = threading.Lock()
        self.args = args
        self.client_id = args.client_id
        self.client_secret = args.client_secret
        self.realm = args.realm
        self.token_lifetime = args.token_lifetime
        self.result = args.result
        self.delivered = args.delivered
        self.store = args.store
        self.plans = {"gdt": parse_plan(args.gdt_plan), "token": parse_plan(args.token_plan)}
        self.defaults = {"gdt": args.gdt_default, "token": args.token_default}
        for action in self.defaults.values():
            parse_action(action)
        self.tokens = {}
        self.journal = []
        self.uploads = []
        self.seq = 0
        self.receipts = 0

    def next_action(self, endpoint):
        with self.lock:
            plan = self.plans[endpoint]
            return plan.pop(0) if plan else self.defaults[endpoint]

    def record(self, entry):
        with self.lock:
            self.seq += 1
            entry["seq"] = self.seq
            self.journal.append(entry)
            return self.seq

    def control(self, changes):
        with self.lock:
            if changes.get("reset"):
                self.plans = {"gdt": [], "token": []}
                self.defaults = {"gdt": "ok", "token": "ok"}
                self.journal, self.uploads = [], []
                self.result, self.delivered = self.args.result, self.args.delivered
            for endpoint in ("gdt", "token"):
                if endpoint + "_plan" in changes:
                    self.plans[endpoint] = parse_plan(changes[endpoint + "_plan"])
                if endpoint + "_default" in changes:
                    parse_action(changes[endpoint + "_default"])
                    self.defaults[endpoint] = str(changes[endpoint + "_default"])
            if "result" in changes:
                self.result = str(changes["result"])
            if "delivered" in changes:
                self.delivered = bool(changes["delivered"])
            if "token_lifetime" in changes:
                self.token_lifetime = int(changes["token_lifetime"])
            if changes.get("revoke_tokens"):
                self.tokens.clear()
            return self.summary_locked()

    def summary_locked(self):
        return {"plans": self.plans, "defaults": self.defaults, "result": self.result,
                "delivered": self.delivered, "token_lifetime": self.token_lifetime,
                "tokens_valid": sum(1 for t in self.tokens.values() if t > time.time()),
                "requests": len(self.journal), "uploads": len(self.uploads)}


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    # Buffered: head and body of an answer leave in one write. A small second
    # write waits for the client's delayed acknowledgement (Nagle), which cost
    # WinHTTP under Wine some 40 ms per answer.
    wbufsize = -1
    server_version = "OrvantaDevServer/1.0"
    state = None  # set by main()

    # --- plumbing ---------------------------------------------------------
    def log_message(self, format, *args):
        pass  # one line per request is printed by say()

    def say(self, text):
        if self.state.args.quiet:
            return
        now = time.time()
        stamp = time.strftime("%H:%M:%S", time.localtime(now)) + ".%03d" % int(now * 1000 % 1000)
        print("%s %s %s %s" % (stamp, self.command, self.path, text), flush=True)

    def read_body(self):
        # WinHTTP under Wine sends a request's head and body in two writes, and
        # the body waits for our acknowledgement of the head, which Linux delays
        # by 40 ms on a kept-alive connection: acknowledge at once.
        if hasattr(socket, "TCP_QUICKACK"):
            try:
                self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_QUICKACK, 1)
            except OSError:
                pass
        length = self.headers.get("Content-Length")
        if length is None or not length.isdigit() or int(length) > MAX_REQUEST_BYTES:
            return None
        return self.rfile.read(int(length))

    def send(self, status, body=b"", content_type="application/json"):
        if isinstance(body, (dict, list)):
            # Compact like real servers: the runner looks for "delivered":true byte for byte.
            body = json.dumps(body, separators=(",", ":")).encode("utf-8")
        elif isinstance(body, str):
            body = body.encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if body:
            self.wfile.write(body)
        return status

    def drop(self):
        self.close_connection = True
        try:
            self.connection.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass

    def run_action(self, action):
        """Carries out the fault steps of an action. Returns None when the request is to
        be handled normally, else the status answered (0 for a dropped connection)."""
        for kind, value in parse_action(action):
            if kind == "delay":
                time.sleep(value / 1000.0)
            elif kind == "ok":
                return None
            elif kind == "status":
                return self.send(value, {"result": "forced %d" % value})
            elif kind == "drop":
                self.drop()
                return 0
            elif kind == "cut":
                self.send_response(200)
                self.send_header("Content-Type", "application/json")
                self.send_header("Content-Length", "1000")
                self.end_headers()
                self.wfile.write(b'{"result":"cut sh')
                self.wfile.flush()
                self.drop()
                return 200
            elif kind == "garbage":
                return self.send(200, b"<html>\x00\xff not json", "text/html")
            elif kind == "huge":
                return self.send(200, b'{"result":"' + b"x" * HUGE_BODY_BYTES + b'"}')
            elif kind == "empty":
                return self.send(200, b"")
        return None

    # --- routes -----------------------------------------------------------
    def do_GET(self):
        path = urllib.parse.urlsplit(self.path).path
        if path.startswith("/_control"):
            return self.control_get(path)
        if path == "/" or path.startswith("/p/"):
            patient = urllib.parse.unquote(path[3:]) if path.startswith("/p/") else ""
            title = "Orvanta DEV · " + ("Patient " + patient if patient else "Start")
            page = "<!doctype html><meta charset=utf-8><title>%s</title><h1>%s</h1>" % (
                html.escape(title), html.escape(title))
            self.say("-> 200 page")
            return self.send(200, page, "text/html; charset=utf-8")
        self.say("-> 404")
        return self.send(404, {"error": "not found"})

    def do_POST(self):
        body = self.read_body()
        path = urllib.parse.urlsplit(self.path).path
        if body is None:
            self.say("-> 411 no usable Content-Length")
            self.close_connection = True
            return self.send(411, {"error": "length required"})
        if path == "/_control":
            return self.control_post(body)
        m = TOKEN_PATH.match(path)
        if m:
            return self.token(m.group(1), body)
        if path == "/api/gdt":
            return self.gdt(body)
        self.say("-> 404")
        return self.send(404, {"error": "not found"})

    def token(self, realm, body):
        action = self.state.next_action("token")
        entry = {"time": time.time(), "endpoint": "token", "action": action}
        forced = self.run_action(action)
        if forced is not None:
            entry["status"] = forced
            self.state.record(entry)
            self.say("-> %s (forced: %s)" % (forced or "dropped", action))
            return
        form = urllib.parse.parse_qs(body.decode("utf-8", "replace"), keep_blank_values=True)
        one = lambda key: form.get(key, [""])[0]
        entry["client_id"] = one("client_id")
        if realm != self.state.realm:
            status, answer, note = 404, {"error": "realm not found"}, "unknown realm " + realm
        elif one("grant_type") != "client_credentials":
            status, answer, note = 400, {"error": "unsupported_grant_type"}, "grant_type=" + one("grant_type")
        elif not (hmac.compare_digest(one("client_id"), self.state.client_id)
                  and hmac.compare_digest(one("client_secret").encode(), self.state.client_secret.encode())):
            status, answer, note = 401, {"error": "invalid_client"}, "bad client credentials"
        else:
            token = secrets.token_urlsafe(24)
            with self.state.lock:
                lifetime = self.state.token_lifetime
                self.state.tokens[token] = time.time() + lifetime
            status = 200
            answer = {"access_token": token, "expires_in": lifetime, "token_type": "Bearer"}
            note = "token issued, expires_in=%d" % lifetime
        entry["status"] = status
        self.state.record(entry)
        self.say("client_id=%s -> %d %s" % (one("client_id"), status, note))
        self.send(status, answer)

    def gdt(self, body):
        action = self.state.next_action("gdt")
        content_type = self.headers.get("Content-Type", "")
        fields, form_error = parse_form(content_type, body)
        values = {name: value for name, value, _ in fields}
        entry = {"time": time.time(), "endpoint": "gdt", "action": action,
                 "fields": [[n, v.decode("utf-8", "replace") if n != "file" else "<%d bytes>" % len(v)]
                            for n, v, _ in fields]}
        mode = values.get("mode", b"").decode("utf-8", "replace")
        file_part = next(((v, f) for n, v, f in fields if n == "file"), None)
        described = "%s %s %d B captured_at=%s" % (
            mode or "-", file_part[1] if file_part else "-", len(file_part[0]) if file_part else 0,
            values.get("captured_at", b"-").decode("utf-8", "replace"))

        forced = self.run_action(action)
        if forced is not None:
            entry["status"] = forced
            self.state.record(entry)
            self.say("%s -> %s (forced: %s)" % (described, forced or "dropped", action))
            return

        authorization = self.headers.get("Authorization", "")
        token = authorization[7:] if authorization.startswith("Bearer ") else ""
        with self.state.lock:
            expiry = self.state.tokens.get(token)
            result_text, delivered = self.state.result, self.state.delivered
        if expiry is None or expiry <= time.time():
            entry["status"] = 401
            self.state.record(entry)
            self.say("%s -> 401 %s" % (described, "expired token" if expiry else "unknown token"))
            return self.send(401, {"error": "invalid_token"})
        if form_error or not mode or file_part is None:
            entry["status"] = 400
            self.state.record(entry)
            self.say("%s -> 400 %s" % (described, form_error or "mode or file missing"))
            return self.send(400, {"result": "bad request: " + (form_error or "mode or file missing")})

        if mode == "open":
            patient = gdt_patient_number(file_part[0])
            if patient is None:
                status, answer = 422, {"result": "unprocessable: no GDT lines"}
            else:
                base = self.state.args.base_url or "%s://%s" % (
                    "https" if self.state.args.cert else "http", self.headers.get("Host", "127.0.0.1"))
                patient_id = urllib.parse.quote(patient or "unknown", safe="")
                status, answer = 200, {"result": "ok", "url": base.rstrip("/") + "/p/" + patient_id}
                if delivered:
                    # The runner still needs the url for when no app window is open.
                    answer["delivered"] = True
        else:
            with self.state.lock:
                self.state.receipts += 1
                receipt = "rcpt-%06d" % self.state.receipts
            status, answer = 200, {"result": result_text, "receipt_id": receipt}
        entry["status"] = status
        seq = self.state.record(entry)
        if status == 200:
            self.keep_upload(seq, mode, fields, file_part, content_type, body, answer)
        detail = " ".join("%s=%s" % (k, v) for k, v in answer.items() if k != "result")
        self.say("%s -> %d result=%s %s" % (described, status, json.dumps(answer.get("result", "")), detail))
        self.send(status, answer)

    def keep_upload(self, seq, mode, fields, file_part, content_type, body, answer):
        upload = {"seq": seq, "time": time.time(), "mode": mode, "content_type": content_type,
                  "fields": {n: v.decode("utf-8", "replace") for n, v, _ in fields if n != "file"},
                  "order": [n for n, _, _ in fields], "filename": file_part[1],
                  "file_b64": base64.b64encode(file_part[0]).decode("ascii"),
                  "body_b64": base64.b64encode(body).decode("ascii"), "answer": answer}
        with self.state.lock:
            self.state.uploads.append(upload)
        if self.state.store:
            stem = os.path.join(self.state.store, "%06d-%s" % (seq, re.sub(r"[^a-z]", "_", mode)))
            with open(stem + ".gdt", "wb") as f:
                f.write(file_part[0])
            meta = {k: v for k, v in upload.items() if k not in ("file_b64", "body_b64")}
            with open(stem + ".json", "w", encoding="utf-8") as f:
                json.dump(meta, f, ensure_ascii=False, indent=1)

    # --- control ----------------------------------------------------------
    def from_loopback(self):
        return self.client_address[0] in ("127.0.0.1", "::1")

    def control_get(self, path):
        if not self.from_loopback():
            return self.send(403, {"error": "loopback only"})
        with self.state.lock:
            if path == "/_control":
                return self.send(200, self.state.summary_locked())
            if path == "/_control/requests":
                return self.send(200, self.state.journal)
            if path == "/_control/uploads":
                return self.send(200, self.state.uploads)
        return self.send(404, {"error": "not found"})

    def control_post(self, body):
        if not self.from_loopback():
            return self.send(403, {"error": "loopback only"})
        try:
            changes = json.loads(body or b"{}")
            summary = self.state.control(changes)
        except (ValueError, TypeError) as e:
            self.say("-> 400 %s" % e)
            return self.send(400, {"error": str(e)})
        self.say("-> 200 %s" % json.dumps(changes))
        return self.send(200, summary)


class QuietServer(ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        # A client that gives up or a connection we dropped on purpose is no news.
        if isinstance(sys.exc_info()[1], (ConnectionError, ssl.SSLError, TimeoutError)):
            return
        super().handle_error(request, client_address)


def write_port_file(path, port):
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        f.write("%d\n" % port)
    os.replace(tmp, path)


def main(argv=None):
    p = argparse.ArgumentParser(description="Local token endpoint and GDT API for the runner.",
                                formatter_class=argparse.RawDescriptionHelpFormatter, epilog=__doc__)
    p.add_argument("--host", default="127.0.0.1")
    p.add_argument("--port", type=int, default=0)
    p.add_argument("--port-file")
    p.add_argument("--store", help="folder that receives every accepted GDT file and its fields")
    p.add_argument("--realm", default="quillon")
    p.add_argument("--client-id", default="velmora-runner-364280")
    p.add_argument("--client-secret", default="demo-secret")
    p.add_argument("--client-secret-file", help="read the client secret from this file (bytes as they are)")
    p.add_argument("--token-lifetime", type=int, default=300, help="expires_in of issued tokens, seconds")
    p.add_argument("--result", default="ok", help='"result" text of sync answers')
    p.add_argument("--delivered", action="store_true", help='answer "open" with "delivered":true')
    p.add_argument("--gdt-plan")
    p.add_argument("--gdt-default", default="ok")
    p.add_argument("--token-plan")
    p.add_argument("--token-default", default="ok")
    p.add_argument("--base-url", help="base of patient URLs (default: scheme and Host header)")
    p.add_argument("--cert", help="PEM certificate: serve HTTPS")
    p.add_argument("--key", help="PEM private key for --cert")
    p.add_argument("--quiet", action="store_true", help="print no request lines")
    args = p.parse_args(argv)
    if args.client_secret_file:
        with open(args.client_secret_file, "rb") as f:
            args.client_secret = f.read().decode("utf-8")
    if args.store:
        os.makedirs(args.store, exist_ok=True)

    Handler.state = State(args)
    server = QuietServer((args.host, args.port), Handler)
    if args.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.cert, args.key)
        # The handshake happens on the first read, in the request's own thread, so
        # a client that connects and stays silent cannot stall the accept loop.
        server.socket = context.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)

    def stop(signum, frame):
        threading.Thread(target=server.shutdown, daemon=True).start()

    # Before the port is announced, so that whoever waits for it can also stop us cleanly.
    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    port = server.server_address[1]
    if not args.quiet:
        print("devserver listening on %s://%s:%d (realm %s, client %s)" % (
            "https" if args.cert else "http", args.host, port, args.realm, args.client_id), flush=True)
    if args.port_file:
        write_port_file(args.port_file, port)
    try:
        server.serve_forever(poll_interval=0.2)
    finally:
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
