"""The live-results receiver the real-OBS checks rely on: what it records and what it answers
must be right, or those checks would pass or fail for the wrong reason."""

import json
import os
import sys
import unittest
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "realobs"))

from live_receiver import LIVE_PATH, LiveReceiver  # noqa: E402
from obs_session import obs_version_number  # noqa: E402


def post(url, raw, headers=None):
    request = urllib.request.Request(url, data=raw, method="POST", headers=headers or {})
    with urllib.request.urlopen(request, timeout=5) as response:
        return response.status, json.loads(response.read())


class LiveReceiverTest(unittest.TestCase):
    def setUp(self):
        self.receiver = LiveReceiver(echo=None).start()

    def tearDown(self):
        self.receiver.stop()

    def test_records_path_headers_body_and_key_order_as_sent(self):
        raw = b'{"zeta":1,"alpha":{"y":2,"b":3},"mid":[1]}'
        post(self.receiver.url + "?x=1", raw, {"Authorization": "Bearer t", "Content-Type": "application/json"})
        (r,) = self.receiver.requests()
        self.assertEqual(r.path, LIVE_PATH + "?x=1")
        self.assertEqual(r.headers["authorization"], "Bearer t")
        self.assertEqual(r.raw, raw)
        self.assertEqual(r.body, {"zeta": 1, "alpha": {"y": 2, "b": 3}, "mid": [1]})
        # The outer object's keys in the order they came, not the nested object's.
        self.assertEqual(r.key_order, ["zeta", "alpha", "mid"])

    def test_answers_count_updates_as_rev_and_report_a_site_game_number_when_set(self):
        cases = [(None, {"ok": True, "rev": 1}), (7, {"ok": True, "rev": 2, "game_no": 7}), (None, {"ok": True, "rev": 3})]
        for site_game_no, expected in cases:
            self.receiver.site_game_no = site_game_no
            self.assertEqual(post(self.receiver.url, b'{"kills":1}'), (200, expected))
        urllib.request.urlopen(self.receiver.url + "?event=4", timeout=5).read()
        self.assertEqual(len(self.receiver.requests("GET")), 1)
        self.assertEqual(post(self.receiver.url, b"{}")[1]["rev"], 4)  # a test GET is not an update

    def test_wait_for_finds_only_later_matching_posts(self):
        for kills in (1, 2, 2):
            post(self.receiver.url, json.dumps({"kills": kills}).encode())
        self.assertEqual(self.receiver.wait_for(lambda b: b["kills"] == 2, 1).number, 2)
        self.assertEqual(self.receiver.wait_for(lambda b: b["kills"] == 2, 1, after=2).number, 3)
        self.assertIsNone(self.receiver.wait_for(lambda b: b["kills"] == 1, 0.2, after=1))

    def test_a_body_that_is_not_json_is_kept_raw(self):
        post(self.receiver.url, b"not json")
        (r,) = self.receiver.requests()
        self.assertIsNone(r.body)
        self.assertEqual(r.raw, b"not json")
        self.assertIsNone(self.receiver.wait_for(lambda b: True, 0.1))


class VersionNumberTest(unittest.TestCase):
    def test_last_version_values_of_global_ini(self):
        for text, number in [("30.2.3", 503447555), ("31.0", 31 << 24), ("30.2.3.1", 503447555)]:
            self.assertEqual(obs_version_number(text), number, text)


if __name__ == "__main__":
    unittest.main()
