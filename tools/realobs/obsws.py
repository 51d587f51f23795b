"""A small obs-websocket 5 client: identify without authentication, then send requests and
wait for their responses. Events are not subscribed to, so every message that arrives after
identification is the answer to a request."""

import itertools
import json
import time

import websocket  # Debian: python3-websocket

OP_HELLO = 0
OP_IDENTIFY = 1
OP_IDENTIFIED = 2
OP_REQUEST = 6
OP_REQUEST_RESPONSE = 7
NOT_READY = 207  # the server is up but OBS has not finished loading


class ObsWebSocketError(RuntimeError):
    """A request OBS answered with a failure status, or a broken conversation."""

    def __init__(self, message, code=None):
        super().__init__(message)
        self.code = code


class ObsWebSocket:
    def __init__(self, url="ws://127.0.0.1:4455", timeout=15.0):
        self._ws = websocket.create_connection(url, timeout=timeout)
        self._ids = itertools.count(1)
        hello = self._receive()
        if hello.get("op") != OP_HELLO:
            raise ObsWebSocketError(f"expected Hello, got {hello}")
        if "authentication" in hello.get("d", {}):
            raise ObsWebSocketError("the server asks for a password; the session enables it without one")
        self._send(OP_IDENTIFY, {"rpcVersion": 1, "eventSubscriptions": 0})
        identified = self._receive()
        if identified.get("op") != OP_IDENTIFIED:
            raise ObsWebSocketError(f"expected Identified, got {identified}")
        self.server_version = hello["d"].get("obsWebSocketVersion", "")

    @classmethod
    def connect_when_ready(cls, url, timeout, still_running=lambda: True):
        """Retries until the server accepts a connection; OBS starts it late in its start-up."""
        deadline = time.monotonic() + timeout
        last_error = None
        while time.monotonic() < deadline:
            if not still_running():
                raise ObsWebSocketError("OBS exited before its websocket server came up")
            try:
                return cls(url)
            except (OSError, websocket.WebSocketException) as error:
                last_error = error
                time.sleep(0.25)
        raise ObsWebSocketError(f"no websocket server at {url} after {timeout:.0f} s ({last_error})")

    def wait_until_ready(self, timeout, still_running=lambda: True):
        """Waits until OBS has finished loading and answers requests."""
        deadline = time.monotonic() + timeout
        while True:
            try:
                return self.call("GetVersion")
            except ObsWebSocketError as error:
                if error.code != NOT_READY or time.monotonic() > deadline or not still_running():
                    raise
            time.sleep(0.25)

    def call(self, request_type, **data):
        """Sends one request and returns its response data; raises on a failure status."""
        request_id = str(next(self._ids))
        payload = {"requestType": request_type, "requestId": request_id}
        if data:
            payload["requestData"] = data
        self._send(OP_REQUEST, payload)
        while True:
            message = self._receive()
            if message.get("op") != OP_REQUEST_RESPONSE or message["d"].get("requestId") != request_id:
                continue
            status = message["d"]["requestStatus"]
            if not status.get("result"):
                raise ObsWebSocketError(
                    f"{request_type} failed: {status.get('code')} {status.get('comment', '')}".rstrip(),
                    status.get("code"),
                )
            return message["d"].get("responseData", {})

    def close(self):
        try:
            self._ws.close()
        except (OSError, websocket.WebSocketException):
            pass

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def _send(self, op, d):
        self._ws.send(json.dumps({"op": op, "d": d}))

    def _receive(self):
        return json.loads(self._ws.recv())
