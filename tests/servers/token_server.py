#!/usr/bin/env python3
"""Local peer for the transport and token tests: an OAuth2 token endpoint plus
scripted faults, on 127.0.0.1 with a port chosen by the system, plain HTTP or
TLS. Standard library only.

  POST /realms/<realm>/protocol/openid-connect/token
        client-credentials grant: checks the form (grant type, client id,
        client secret) and answers like an authorization server
  POST /status/<code>           answers <code> with a small JSON body
                                (a 3xx also names /landed as its Location)
  POST /big/<bytes>             200 with a body of that many bytes
  POST /cut/<promised>/<sent>   promises a body, sends part of it, closes
  POST /hang                    reads the request and never answers

Every request is recorded in arrival order: method, path, headers (in the
order sent) and body.

Imported by the tests (TokenServer), or run alone:
  token_server.py [--tls CERT KEY] [--port-file FILE]
prints "port N" once it listens and serves until interrupted.
"""
import argparse
import json
import os
import re
import socket
import ssl
import sys
import threading
import time
from dataclasses import dataclass, field
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlsplit

TOKEN_PATH = re.compile(r"^/realms/([^/]+)/protocol/openid-connect/token$")


@dataclass
class Realm:
    client_id: str = "runner-test"
    client_secret: str = "s3cret"
    expires_in: object = "300"   # JSON text of the value; None leaves the key out
    body: object = None          # raw answer body instead of a token (bytes)
    delay: float = 0.0           # seconds before answering
    plan: list = field(default_factory=list)  # one action per request: "ok" or a status number


@dataclass
class Request:
    method: str
    path: str
    headers: list
    body: bytes

    def header(self, name):
        for key, value in self.headers:
            if key.lower() == name.lower():
                return value
        return None

    def form(self):
        return {k: v[0] for k, v in parse_qs(self.body.decode("latin-1"), keep_blank_values=True).items()}


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "TokenServer/1"

    def log_message(self, format, *args):
        pass

    def do_GET(self):
        self.do_POST()

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        self.server.record(Request(self.command, self.path, list(self.headers.items()), body))
        path = urlsplit(self.path).path
        match = TOKEN_PATH.match(path)
        if match:
            return self.token(match.group(1), body)
        parts = path.strip("/").split("/")
        if parts[0] == "status" and len(parts) == 2:
            code = int(parts[1])
            extra = [("Location", "/landed")] if 300 <= code < 400 else []
            return self.answer(code, json.dumps({"status": code}).encode(), extra)
        if parts[0] == "big" and len(parts) == 2:
            return self.big(int(parts[1]))
        if parts[0] == "cut" and len(parts) == 3:
            return self.cut(int(parts[1]), int(parts[2]))
        if parts[0] == "hang":
            self.server.stopping.wait()
            self.close_connection = True
            return
        self.answer(404, b'{"error":"not_found"}')

    def answer(self, status, body, extra_headers=()):
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        for name, value in extra_headers:
            self.send_header(name, value)
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)
        self.close_connection = True

    def big(self, size):
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(size))
        self.send_header("Connection", "close")
        self.end_headers()
        chunk = bytes(range(256)) * 256
        sent = 0
        try:
            while sent < size:
                piece = chunk[: min(len(chunk), size - sent)]
                self.wfile.write(piece)
                sent += len(piece)
        except OSError:
            pass  # the client stopped reading
        self.close_connection = True

    def cut(self, promised, sent):
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(promised))
        self.end_headers()
        self.wfile.write(b"x" * sent)
        self.wfile.flush()
        time.sleep(0.2)
        try:
            self.connection.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.close_connection = True

    def token(self, realm_name, body):
        realm = self.server.realms.get(realm_name)
        if realm is None:
            return self.answer(404, b'{"error":"Realm does not exist"}')
        if realm.delay:
            time.sleep(realm.delay)
        action = realm.plan.pop(0) if realm.plan else "ok"
        if action != "ok":
            return self.answer(int(action), json.dumps({"error": "forced", "status": int(action)}).encode())
        if (self.headers.get("Content-Type") or "").split(";")[0].strip() != "application/x-www-form-urlencoded":
            return self.answer(400, b'{"error":"invalid_request"}')
        form = {k: v[0] for k, v in parse_qs(body.decode("utf-8", "replace"), keep_blank_values=True).items()}
        if form.get("grant_type") != "client_credentials":
            return self.answer(400, b'{"error":"unsupported_grant_type"}')
        if form.get("client_id") != realm.client_id or form.get("client_secret") != realm.client_secret:
            return self.answer(401, b'{"error":"invalid_client",'
                                    b'"error_description":"Invalid client or Invalid client credentials"}')
        if realm.body is not None:
            return self.answer(200, realm.body)
        token = self.server.new_token(realm_name)
        fields = ['"access_token":' + json.dumps(token)]
        if realm.expires_in is not None:
            fields.append('"expires_in":' + str(realm.expires_in))
        fields += ['"refresh_expires_in":0', '"token_type":"Bearer"', '"not-before-policy":0', '"scope":"profile"']
        self.answer(200, ("{" + ",".join(fields) + "}").encode())


class TokenServer(ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, tls=None):
        """tls: (certificate file, key file) to serve HTTPS."""
        super().__init__(("127.0.0.1", 0), Handler)
        self.realms = {"orvanta": Realm()}
        self.requests = []
        self.stopping = threading.Event()
        self._lock = threading.Lock()
        self._issued = 0
        self._tls = None
        if tls:
            self._tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            self._tls.load_cert_chain(*tls)
        self._thread = None

    @property
    def port(self):
        return self.server_address[1]

    def get_request(self):
        sock, address = self.socket.accept()
        if self._tls:
            # The handshake runs on the handler's thread, so a client that
            # refuses the certificate cannot stall the accepting loop.
            sock = self._tls.wrap_socket(sock, server_side=True, do_handshake_on_connect=False)
        return sock, address

    def handle_error(self, request, client_address):
        pass  # refused certificates and dropped connections are expected here

    def record(self, request):
        with self._lock:
            self.requests.append(request)

    def new_token(self, realm_name):
        with self._lock:
            self._issued += 1
            return "tok-%s-%d" % (realm_name, self._issued)

    def paths(self):
        with self._lock:
            return [r.path for r in self.requests]

    def start(self):
        self._thread = threading.Thread(target=self.serve_forever, kwargs={"poll_interval": 0.05}, daemon=True)
        self._thread.start()
        return self

    def stop(self):
        self.stopping.set()
        self.shutdown()
        self.server_close()
        if self._thread:
            self._thread.join(5)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


def main():
    parser = argparse.ArgumentParser(description="local token endpoint with fault paths")
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    parser.add_argument("--port-file")
    args = parser.parse_args()
    server = TokenServer(tuple(args.tls) if args.tls else None)
    if args.port_file:
        with open(args.port_file + ".tmp", "w") as f:
            f.write("%d\n" % server.port)
        os.replace(args.port_file + ".tmp", args.port_file)
    print("port %d" % server.port, flush=True)
    try:
        server.serve_forever(poll_interval=0.2)
    except KeyboardInterrupt:
        pass
    finally:
        server.stopping.set()
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
