#!/usr/bin/env python3
"""basic-auth-proxy.py ADDRESS PORT USER PASSWORD LOG

A forward HTTP proxy for the tests: every request must carry Proxy-Authorization Basic with
USER:PASSWORD, else it is answered 407 with a Basic challenge. Authorised absolute-URI GETs
are passed to their origin and the answer relayed. Each request is one line of LOG:
"<status> <target>". Ends when stopped, or after an hour.
"""
import base64
import http.server
import socketserver
import sys
import threading
import urllib.error
import urllib.request

address, port, user, password, log_path = sys.argv[1], int(sys.argv[2]), *sys.argv[3:6]
expected = "Basic " + base64.b64encode(f"{user}:{password}".encode()).decode()
log_lock = threading.Lock()
# Straight to the origin, whatever proxy the environment names.
direct = urllib.request.build_opener(urllib.request.ProxyHandler({}))


class Proxy(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def record(self, status):
        with log_lock, open(log_path, "a") as log:
            log.write(f"{status} {self.path}\n")

    def do_GET(self):
        if self.headers.get("Proxy-Authorization") != expected:
            body = b"proxy login required"
            self.send_response(407)
            self.send_header("Proxy-Authenticate", 'Basic realm="tests"')
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            self.record(407)
            return
        headers = {k: v for k, v in self.headers.items()
                   if k.lower() not in ("proxy-authorization", "proxy-connection", "connection")}
        request = urllib.request.Request(self.path, headers=headers)
        try:
            with direct.open(request, timeout=60) as answer:
                status, body, extra = answer.status, answer.read(), answer.headers
        except urllib.error.HTTPError as error:
            status, body, extra = error.code, error.read(), error.headers
        except OSError as error:
            print(f"{self.path}: {error}", file=sys.stderr, flush=True)
            status, body, extra = 502, b"", {}
        self.send_response(status)
        for name in ("Content-Type", "WWW-Authenticate", "Location"):
            if name in extra:
                self.send_header(name, extra[name])
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
        self.record(status)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


server = Server((address, port), Proxy)
print("ready", flush=True)
threading.Timer(3600, server.shutdown).start()
server.serve_forever()
