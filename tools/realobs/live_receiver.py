"""A live-results endpoint on loopback that records every request the stat reader makes.

Each POST is kept with its path, headers and raw and decoded body, and printed as it arrives.
Responses carry "rev" (the number of updates received so far), so the next update of the
same client must come back with it as "if_seq"; a test can also make the endpoint report a
site game number.

Run on its own: python3 live_receiver.py [--port N]  (prints one line per request)
"""

import argparse
import json
import ssl
import threading
import time
from dataclasses import dataclass, field
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

LIVE_PATH = "/vexmoor/api/live.php"


@dataclass
class LiveRequest:
    number: int
    arrived: float  # time.monotonic()
    method: str
    path: str
    headers: dict  # lower-case names
    raw: bytes
    body: object = None  # decoded JSON, or None
    key_order: list = field(default_factory=list)  # keys of the body object as sent

    def describe(self):
        if self.method != "POST":
            return f"#{self.number} {self.method} {self.path}"
        fields = self.body if isinstance(self.body, dict) else {}
        extra = {k: v for k, v in fields.items() if k not in ("event", "event_id", "game_no", "if_seq")}
        values = " ".join(f"{k}={v}" for k, v in extra.items()) or "(no values)"
        seq = f" if_seq {fields['if_seq']}" if "if_seq" in fields else ""
        return f"#{self.number} POST event {fields.get('event_id')} game {fields.get('game_no')}{seq}: {values}"


class LiveReceiver:
    def __init__(self, host="127.0.0.1", port=0, echo=print, tls=None, name=None):
        """tls: (certificate PEM, key PEM) to answer HTTPS; name: the host name URLs use."""
        self._lock = threading.Condition()
        self._requests = []
        self._updates = 0
        self._echo = echo
        self.site_game_no = None  # when set, update responses report it as "game_no"
        self.status = 200
        receiver = self

        class Handler(BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def do_POST(self):
                length = int(self.headers.get("Content-Length") or 0)
                receiver._record(self, self.rfile.read(length) if length > 0 else b"")

            def do_GET(self):
                receiver._record(self, b"")

            def log_message(self, *args):
                pass

        self._server = ThreadingHTTPServer((host, port), Handler)
        self._server.daemon_threads = True
        self._scheme = "http"
        self._name = name
        if tls is not None:
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(*tls)
            self._server.socket = context.wrap_socket(self._server.socket, server_side=True)
            self._scheme = "https"
        self._thread = threading.Thread(target=self._server.serve_forever, name="live-receiver", daemon=True)

    @property
    def url(self):
        host, port = self._server.server_address[:2]
        default_port = 443 if self._scheme == "https" else 80
        authority = (self._name or host) + ("" if port == default_port else f":{port}")
        return f"{self._scheme}://{authority}{LIVE_PATH}"

    def start(self):
        self._thread.start()
        return self

    def stop(self):
        self._server.shutdown()
        self._server.server_close()

    def requests(self, method="POST"):
        with self._lock:
            return [r for r in self._requests if r.method == method]

    def wait_for(self, predicate, timeout, after=0):
        """The first POST numbered above `after` for which predicate(body) holds, or None."""
        deadline = time.monotonic() + timeout
        with self._lock:
            while True:
                for r in self._requests:
                    if r.number > after and r.method == "POST" and isinstance(r.body, dict) and predicate(r.body):
                        return r
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    return None
                self._lock.wait(remaining)

    def last_number(self):
        with self._lock:
            return self._requests[-1].number if self._requests else 0

    def _record(self, handler, raw):
        key_order = []
        body = None
        if raw:
            try:
                body = json.loads(raw, object_pairs_hook=lambda pairs: key_order.append([k for k, _ in pairs]) or dict(pairs))
            except ValueError:
                body = None
        with self._lock:
            number = len(self._requests) + 1
            request = LiveRequest(
                number=number,
                arrived=time.monotonic(),
                method=handler.command,
                path=handler.path,
                headers={k.lower(): v for k, v in handler.headers.items()},
                raw=raw,
                body=body,
                key_order=key_order[-1] if key_order else [],
            )
            self._requests.append(request)
            reply = {"ok": True}
            if handler.command == "POST":
                self._updates += 1
                reply["rev"] = self._updates
                if self.site_game_no is not None:
                    reply["game_no"] = self.site_game_no
            status = self.status
            self._lock.notify_all()
        if self._echo:
            self._echo(f"live {request.describe()}")
        data = json.dumps(reply).encode()
        handler.send_response(status)
        handler.send_header("Content-Type", "application/json")
        handler.send_header("Content-Length", str(len(data)))
        handler.end_headers()
        handler.wfile.write(data)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=8787)
    args = parser.parse_args()
    receiver = LiveReceiver(port=args.port, echo=lambda line: print(line, flush=True)).start()
    print(f"listening on {receiver.url}", flush=True)
    try:
        while True:
            time.sleep(3600)
    except KeyboardInterrupt:
        receiver.stop()


if __name__ == "__main__":
    main()
