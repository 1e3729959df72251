#!/usr/bin/env python3
"""A fault-injecting HTTP proxy for tests (Python 3 standard library only).

Sits on loopback in front of the reference server script (server/vremoto.php)
and relays every request to it, unless a rule says to break the exchange in
a given way. Prints one line "PORT <n>" on stdout once it listens.

    faultproxy.py --upstream 127.0.0.1:8080 [--port 0] [--bind 127.0.0.1]
                  [--cert PEM --key PEM] [--log-file FILE] [--exit-on-stdin-eof]
                  [--verbose]

With --cert and --key it speaks HTTPS to its clients (TLS 1.2 or later, that
certificate), the control paths included, and plain HTTP to the upstream: a
TLS terminator in front of the reference server. A client whose handshake
fails is dropped without a log entry. It listens with a queue of 128 pending
connections, as a real server does.

Relaying: method, path, headers (less the hop-by-hop ones) and body go to the
upstream; its whole answer is read (chunked or close-delimited bodies are
decoded) and sent back with the upstream status, reason and headers, WITHOUT
a Content-Length and with "Connection: close", and the connection is closed
after it, as the reference script does. A rule with "keep_alive": true sends a
Content-Length and keeps the connection open for the next request instead.

Rules are matched against the request body (the SQL text) by substring
("match": "" matches every request), in order. Each rule counts the requests
that reach it and match: the first "skip" of them (default 0) go on untouched
by it, the next "times" (default -1: for ever) get its action, later ones go
on untouched too. A request that goes on is offered to the next rules; when no
rule takes it, it is forwarded. Actions:

    forward              relay as usual (useful with keep_alive or to shield
                         some statements from the rules after it)
    delay      ms        wait, then relay
    drop       [ms]      read the request, never answer; hold the connection
                         until the client goes (or ms, then close)
    truncate   bytes|fraction
                         the first part of the upstream body, no length, then
                         a clean close (a clean, shorter answer); default half
    truncate_len bytes|fraction
                         the same cut body with the Content-Length of the FULL
                         body, then close (the client sees a short read)
    close      [ms]      close without any answer (a FIN)
    reset      [ms]      abort with an RST (SO_LINGER 0) without any answer
    html200    [body]    status 200 with an HTML page containing no "{"
    html200_brace [body] status 200 with an HTML page with CSS "{ ... }"
    status     code, [body]
                         answer that status (default 500) with that body
    forward_then_drop [ms]
                         relay upstream (the statement RUNS there), never
                         deliver the answer: hold until the client goes or ms
    forward_then_reset [ms]
                         relay upstream, then RST instead of the answer
    drip       bytes_per_second
                         relay, sending the whole answer (head and body) a
                         few bytes at a time at that rate
    rows       repeat, on_rows, set, set_bytes
                         relay; rows at "repeat" indices come twice; then rows
                         at "on_rows" indices (all when absent) take each key
                         of "set" as raw JSON, of "set_bytes" as hex bytes
    repeat_rows [rows]   relay; when the answer is a JSON array, its first
                         rows (all by default) come again at its end, as a
                         replaying cache or server would send them

Control paths (never relayed): POST /__rules (a JSON array: replaces all
rules and their counters), GET /__rules (the rules with their counters),
POST /__reset (clears the rules and the log), GET /__log (a JSON array, one
object per relayed request in arrival order: seq, sql, method, path, headers
as received, action, rule (index or null), status (sent, or null when none
was), upstream_status (null when not relayed or the upstream did not answer),
client_port (the client's port: one per connection), open_connections (client
connections open to the proxy when the request arrived, this one included).
"""

import argparse
import http.client
import http.server
import json
import os
import select
import signal
import socket
import ssl
import struct
import sys
import threading
import time

ACTIONS = {
    "forward", "delay", "drop", "truncate", "truncate_len", "close", "reset",
    "html200", "html200_brace", "status", "forward_then_drop",
    "forward_then_reset", "drip", "rows", "repeat_rows",
}

HTML_PAGE = (
    b"<!DOCTYPE html>\n<html><head><title>Service unavailable</title></head>\n"
    b"<body><h1>Service unavailable</h1>\n"
    b"<p>The page you asked for is not here. Please try again later.</p>\n"
    b"</body></html>\n")
HTML_BRACE_PAGE = (
    b"<!DOCTYPE html>\n<html><head><title>Portal</title>\n"
    b"<style>body { color: red; font-family: sans-serif }\n"
    b"h1 { font-size: 2em }</style></head>\n"
    b"<body><h1>Sign in to the network</h1>\n"
    b"<p>Accept the conditions to go on.</p></body></html>\n")

HOP_BY_HOP = {
    "connection", "keep-alive", "proxy-connection", "proxy-authorization",
    "proxy-authenticate", "te", "trailer", "transfer-encoding", "upgrade",
    "content-length", "expect",
}

REASONS = {code: phrase for code, (phrase, _) in
           http.server.BaseHTTPRequestHandler.responses.items()}


class Rule:
    def __init__(self, spec, index):
        if not isinstance(spec, dict):
            raise ValueError("rule %d is not an object" % index)
        self.spec = dict(spec)
        self.index = index
        self.match = str(spec.get("match", ""))
        self.action = spec.get("action")
        if self.action not in ACTIONS:
            raise ValueError("rule %d: unknown action %r" % (index, self.action))
        self.skip = int(spec.get("skip", 0))
        self.times = int(spec.get("times", -1))
        self.ms = int(spec.get("ms", 0))
        self.bytes = spec.get("bytes")
        self.bytes = None if self.bytes is None or int(self.bytes) < 0 else int(self.bytes)
        self.fraction = spec.get("fraction")
        self.fraction = (None if self.fraction is None or float(self.fraction) < 0
                         else float(self.fraction))
        self.code = int(spec.get("code", 500) or 500)
        self.body = spec.get("body")
        self.bytes_per_second = int(spec.get("bytes_per_second", 0))
        self.keep_alive = bool(spec.get("keep_alive", False))
        self.repeat = [int(i) for i in spec.get("repeat", [])]
        self.on_rows = spec.get("on_rows")
        self.set = {str(k): str(v).encode("utf-8") for k, v in spec.get("set", {}).items()}
        self.set.update({str(k): bytes.fromhex(v) for k, v in spec.get("set_bytes", {}).items()})
        self.rows = int(spec.get("rows", -1))
        if self.action == "drip" and self.bytes_per_second <= 0:
            raise ValueError("rule %d: drip needs bytes_per_second > 0" % index)
        if self.action == "delay" and self.ms <= 0:
            raise ValueError("rule %d: delay needs ms > 0" % index)
        self.seen = 0     # matching requests that reached the rule
        self.applied = 0  # of them, those that got its action

    def spent(self):
        return self.times >= 0 and self.applied >= self.times

    def describe(self):
        d = dict(self.spec)
        d["seen"] = self.seen
        d["applied"] = self.applied
        return d


class State:
    def __init__(self, log_file):
        self.lock = threading.Lock()
        self.rules = []
        self.log = []
        self.seq = 0
        self.open_connections = 0
        self.log_file = open(log_file, "a", encoding="utf-8") if log_file else None

    def set_rules(self, specs):
        if not isinstance(specs, list):
            raise ValueError("the rules must be a JSON array")
        rules = [Rule(spec, i) for i, spec in enumerate(specs)]
        with self.lock:
            self.rules = rules

    def reset(self):
        with self.lock:
            self.rules = []
            self.log = []

    def choose(self, sql):
        """The rule that acts on this request, or None (forward)."""
        with self.lock:
            for rule in self.rules:
                if rule.match not in sql or rule.spent():
                    continue
                rule.seen += 1
                if rule.seen <= rule.skip:
                    continue
                rule.applied += 1
                return rule
        return None

    def record(self, entry):
        with self.lock:
            entry["open_connections"] = self.open_connections
            self.seq += 1
            entry["seq"] = self.seq
            self.log.append(entry)

    def update(self, entry, **fields):
        with self.lock:
            entry.update(fields)

    def finish(self, entry):
        if self.log_file:
            with self.lock:
                self.log_file.write(json.dumps(entry, ensure_ascii=False) + "\n")
                self.log_file.flush()

    def log_json(self):
        with self.lock:
            return json.dumps(self.log, ensure_ascii=False).encode("utf-8")

    def rules_json(self):
        with self.lock:
            return json.dumps([r.describe() for r in self.rules],
                              ensure_ascii=False).encode("utf-8")


class ClientGone(Exception):
    pass


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "faultproxy"
    sys_version = ""

    # Every method goes through the same path.
    def do_GET(self):
        self.serve()

    do_POST = do_PUT = do_DELETE = do_PATCH = do_OPTIONS = do_HEAD = do_GET

    def setup(self):
        if isinstance(self.request, ssl.SSLSocket):
            # In the handler's thread: a client that never completes its
            # handshake holds only its own connection.
            self.request.settimeout(30)
            self.request.do_handshake()
        super().setup()
        self.counted = True
        with self.server.state.lock:
            self.server.state.open_connections += 1

    def uncount(self):
        """The connection no longer counts as open: the proxy closed it (the
        client may open the next one at once) or the handler ended."""
        if getattr(self, "counted", False):
            self.counted = False
            with self.server.state.lock:
                self.server.state.open_connections -= 1

    def finish(self):
        try:
            super().finish()
        finally:
            self.uncount()

    def log_message(self, fmt, *args):
        if self.server.verbose:
            sys.stderr.write("faultproxy: %s - %s\n" % (self.address_string(), fmt % args))

    def handle(self):
        try:
            super().handle()
        except (ConnectionError, socket.timeout, OSError, ClientGone):
            self.close_connection = True

    # --- request

    def read_body(self):
        if "chunked" in self.headers.get("Transfer-Encoding", "").lower():
            parts = []
            while True:
                line = self.rfile.readline(65537)
                if not line:
                    raise ClientGone()
                size = int(line.split(b";", 1)[0].strip() or b"0", 16)
                if size == 0:
                    while self.rfile.readline(65537) not in (b"\r\n", b"\n", b""):
                        pass
                    break
                parts.append(self.rfile.read(size))
                self.rfile.readline(65537)
            return b"".join(parts)
        length = int(self.headers.get("Content-Length", "0") or "0")
        body = self.rfile.read(length) if length > 0 else b""
        if len(body) < length:
            raise ClientGone()
        return body

    def serve(self):
        body = self.read_body()
        path_only = self.path.split("?", 1)[0]
        if path_only.startswith("/__"):
            self.control(path_only, body)
            return
        state = self.server.state
        sql = body.decode("utf-8", errors="replace")
        entry = {
            "sql": sql,
            "method": self.command,
            "path": self.path,
            "headers": {k: v for k, v in self.headers.items()},
            "action": "forward",
            "rule": None,
            "status": None,
            "upstream_status": None,
            "client_port": self.client_address[1],
        }
        state.record(entry)
        rule = state.choose(sql)
        if rule is not None:
            state.update(entry, action=rule.action, rule=rule.index)
        try:
            self.act(rule, body, entry)
        finally:
            state.finish(entry)

    # --- control

    def control(self, path, body):
        state = self.server.state
        if path == "/__rules" and self.command == "POST":
            try:
                state.set_rules(json.loads(body.decode("utf-8") or "null"))
            except (ValueError, TypeError) as e:
                self.reply(400, str(e).encode("utf-8"), "text/plain; charset=utf-8")
                return
            self.reply(200, b'{"ok": true}', "application/json")
        elif path == "/__rules" and self.command == "GET":
            self.reply(200, state.rules_json(), "application/json; charset=utf-8")
        elif path == "/__reset" and self.command == "POST":
            state.reset()
            self.reply(200, b'{"ok": true}', "application/json")
        elif path == "/__log" and self.command == "GET":
            self.reply(200, state.log_json(), "application/json; charset=utf-8")
        else:
            self.reply(404, b"unknown control path", "text/plain")

    def reply(self, code, body, content_type):
        head = ("HTTP/1.1 %d %s\r\nContent-Type: %s\r\nContent-Length: %d\r\n"
                "Connection: close\r\n\r\n" % (code, REASONS.get(code, ""), content_type,
                                               len(body)))
        self.wfile.write(head.encode("latin-1") + body)
        self.close_connection = True

    # --- upstream

    def forward(self, body, entry):
        """(status, reason, headers, body) of the upstream, or None when it failed."""
        host, _, port = self.server.upstream.rpartition(":")
        conn = http.client.HTTPConnection(host, int(port), timeout=120)
        try:
            headers = {k: v for k, v in self.headers.items() if k.lower() not in HOP_BY_HOP}
            headers["Connection"] = "close"
            conn.request(self.command, self.path, body=body, headers=headers)
            resp = conn.getresponse()
            data = resp.read()  # decodes chunked and close-delimited bodies
            answer = (resp.status, resp.reason, resp.getheaders(), data)
        except (OSError, http.client.HTTPException) as e:
            self.server.state.update(entry, upstream_error=str(e))
            return None
        finally:
            conn.close()
        self.server.state.update(entry, upstream_status=answer[0])
        return answer

    def forward_or_502(self, body, entry):
        answer = self.forward(body, entry)
        if answer is None:
            return (502, "Bad Gateway", [("Content-Type", "text/plain")],
                    b"faultproxy: the upstream did not answer")
        return answer

    # --- answers

    def head_bytes(self, status, reason, headers, length=None, keep_alive=False):
        lines = ["HTTP/1.1 %d %s" % (status, reason)]
        for k, v in headers:
            if k.lower() not in HOP_BY_HOP:
                lines.append("%s: %s" % (k, v))
        if length is not None:
            lines.append("Content-Length: %d" % length)
        lines.append("Connection: %s" % ("keep-alive" if keep_alive else "close"))
        return ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1")

    def send_answer(self, entry, status, reason, headers, body, keep_alive=False):
        """The whole answer; closes afterwards unless keep_alive."""
        if self.command == "HEAD":
            body = b""
        self.server.state.update(entry, status=status)
        self.wfile.write(self.head_bytes(status, reason, headers,
                                         len(body) if keep_alive else None, keep_alive) + body)
        if keep_alive:
            self.close_connection = False
        else:
            self.close_cleanly()

    def close_cleanly(self):
        """A FIN after everything sent; nothing more is read on this connection."""
        self.close_connection = True
        self.uncount()
        try:
            self.wfile.flush()
            if isinstance(self.connection, ssl.SSLSocket):
                # TLS ends a close-delimited answer with its close_notify.
                self.connection.unwrap()
            else:
                self.connection.shutdown(socket.SHUT_WR)
        except (OSError, ValueError):
            pass

    def abort(self):
        """An RST: SO_LINGER with a zero time, then close."""
        self.close_connection = True
        self.uncount()
        try:
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                       struct.pack("ii", 1, 0))
            self.connection.close()
            self.rfile.close()
        except OSError:
            pass

    def hold(self, ms):
        """Keep the connection without answering until the client goes, or ms
        when ms > 0; then close."""
        deadline = time.monotonic() + ms / 1000.0 if ms > 0 else None
        sock = self.connection
        while True:
            wait = 0.2
            if deadline is not None:
                wait = min(wait, deadline - time.monotonic())
                if wait <= 0:
                    break
            try:
                readable, _, _ = select.select([sock], [], [], wait)
                if readable and not sock.recv(65536):
                    break  # the client went
            except (OSError, ValueError):
                break
        self.close_connection = True

    def cut(self, rule, data):
        if rule.bytes is not None:
            n = rule.bytes
        elif rule.fraction is not None:
            n = int(len(data) * rule.fraction)
        else:
            n = len(data) // 2
        return data[:max(0, min(n, len(data)))]

    def rewrite_rows(self, rule, data):
        rows = json.loads(data.decode("utf-8"), object_pairs_hook=list)
        rows = [r for i, r in enumerate(rows) for _ in range(2 if i in rule.repeat else 1)]
        edit = lambda i, k: (rule.on_rows is None or i in rule.on_rows) and k in rule.set
        return b"[" + b",".join(b"{" + b",".join(
            json.dumps(k).encode() + b":" + (rule.set[k] if edit(i, k) else
                                             json.dumps(v, ensure_ascii=False).encode())
            for k, v in row) + b"}" for i, row in enumerate(rows)) + b"]"

    def repeated(self, rule, status, data):
        try:
            rows = json.loads(data.decode("utf-8"))
        except ValueError:
            return data
        if status != 200 or not isinstance(rows, list) or not rows:
            return data
        extra = rows if rule.rows < 0 else rows[:rule.rows]
        return json.dumps(rows + extra, ensure_ascii=False).encode("utf-8")

    def act(self, rule, body, entry):
        action = rule.action if rule else "forward"
        keep_alive = bool(rule and rule.keep_alive)
        ms = rule.ms if rule else 0

        if action in ("forward", "delay", "repeat_rows"):
            if action == "delay":
                time.sleep(ms / 1000.0)
            status, reason, headers, data = self.forward_or_502(body, entry)
            if action == "repeat_rows":
                data = self.repeated(rule, status, data)
            self.send_answer(entry, status, reason, headers, data, keep_alive)
        elif action == "rows":
            status, reason, headers, data = self.forward_or_502(body, entry)
            if status == 200:
                data = self.rewrite_rows(rule, data)
            self.send_answer(entry, status, reason, headers, data, keep_alive)
        elif action == "drop":
            self.hold(ms)
        elif action == "close":
            if ms > 0:
                time.sleep(ms / 1000.0)
            self.close_cleanly()
        elif action == "reset":
            if ms > 0:
                time.sleep(ms / 1000.0)
            self.abort()
        elif action in ("truncate", "truncate_len"):
            status, reason, headers, data = self.forward_or_502(body, entry)
            part = self.cut(rule, data)
            self.server.state.update(entry, status=status)
            length = len(data) if action == "truncate_len" else None
            self.wfile.write(self.head_bytes(status, reason, headers, length) + part)
            self.close_cleanly()
        elif action in ("html200", "html200_brace"):
            page = HTML_PAGE if action == "html200" else HTML_BRACE_PAGE
            if rule.body is not None:
                page = str(rule.body).encode("utf-8")
            self.send_answer(entry, 200, "OK", [("Content-Type", "text/html; charset=utf-8")],
                             page, keep_alive)
        elif action == "status":
            text = (str(rule.body) if rule.body is not None else "").encode("utf-8")
            self.send_answer(entry, rule.code, REASONS.get(rule.code, "Status"),
                             [("Content-Type", "text/plain; charset=utf-8")], text, keep_alive)
        elif action in ("forward_then_drop", "forward_then_reset"):
            self.forward(body, entry)
            if action == "forward_then_drop":
                self.hold(ms)
            else:
                self.abort()
        elif action == "drip":
            status, reason, headers, data = self.forward_or_502(body, entry)
            if self.command == "HEAD":
                data = b""
            self.server.state.update(entry, status=status)
            answer = self.head_bytes(status, reason, headers) + data
            rate = rule.bytes_per_second
            step = max(1, rate // 20)  # about twenty writes a second
            started = time.monotonic()
            sent = 0
            while sent < len(answer):
                self.wfile.write(answer[sent:sent + step])
                sent += step
                due = started + sent / rate
                pause = due - time.monotonic()
                if pause > 0 and sent < len(answer):
                    time.sleep(pause)
            self.close_cleanly()


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 128

    # Connection errors are handled by the handler (a client that went away is
    # no error of the proxy's); anything else that reaches handle_error is a
    # bug of the proxy and is printed on stderr by the default. A failed TLS
    # handshake is the client's refusal of the certificate, not a bug.
    def handle_error(self, request, client_address):
        if isinstance(sys.exc_info()[1], (ssl.SSLError, ConnectionError, socket.timeout)):
            return
        super().handle_error(request, client_address)


def main():
    parser = argparse.ArgumentParser(description="Fault-injecting HTTP proxy for tests.")
    parser.add_argument("--upstream", required=True, help="host:port of the real server")
    parser.add_argument("--port", type=int, default=0, help="port to listen on (0: a free one)")
    parser.add_argument("--bind", default="127.0.0.1", help="address to listen on")
    parser.add_argument("--cert", help="PEM certificate (chain) for HTTPS to the clients")
    parser.add_argument("--key", help="PEM private key of --cert")
    parser.add_argument("--log-file", help="append one JSON line per finished request")
    parser.add_argument("--exit-on-stdin-eof", action="store_true",
                        help="exit when standard input closes (the parent went)")
    parser.add_argument("--verbose", action="store_true", help="log requests on stderr")
    args = parser.parse_args()
    if ":" not in args.upstream:
        parser.error("--upstream takes host:port")

    if bool(args.cert) != bool(args.key):
        parser.error("--cert and --key go together")

    server = Server((args.bind, args.port), Handler)
    if args.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.minimum_version = ssl.TLSVersion.TLSv1_2
        context.load_cert_chain(args.cert, args.key)
        server.socket = context.wrap_socket(server.socket, server_side=True,
                                            do_handshake_on_connect=False)
    server.state = State(args.log_file)
    server.upstream = args.upstream
    server.verbose = args.verbose

    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    if args.exit_on_stdin_eof:
        def watch():
            try:
                while sys.stdin.buffer.read(4096):
                    pass
            except OSError:
                pass
            os._exit(0)
        threading.Thread(target=watch, daemon=True).start()

    sys.stdout.write("PORT %d\n" % server.server_address[1])
    sys.stdout.flush()
    try:
        server.serve_forever(poll_interval=0.1)
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
