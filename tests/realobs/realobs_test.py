"""End-to-end checks in the real OBS Studio (30 or newer, built with Qt 6).

OBS is started the way a user runs it, with our module installed as a user plug-in, and
driven through its built-in obs-websocket on loopback. A live-results endpoint on loopback
records what the Vexmoor Stat Reader posts while an image source shows synthetic HUD frames.
OBS runs twice on the same configuration: the second run must read back what the first saved.

Usage: realobs_test.py --build BUILD_DIR [--obs obs] [--work DIR]
BUILD_DIR holds a configured build of the project with ostrelo-obs and ostrelo-hudframes.
Exit status 0 when every check passed.
"""

import argparse
import base64
import json
import os
import shutil
import sys
import time
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools", "realobs"))

import stage  # noqa: E402
from live_receiver import LIVE_PATH, LiveReceiver  # noqa: E402
from obs_session import (  # noqa: E402
    MODULE_LOADED_LINE,
    ObsSession,
    VirtualDisplay,
    installed_obs_version,
    saved_filter_settings,
)

DOCK_ID = "pell.ostrelo.control.v4"
SCENE = "Ostrelo E2E"
SOURCE = "HUD capture"
FILTER = "Stat Reader"
EVENT_ID = 4242
TOKEN = "e2e-token-77"
# Users paste the overlay's whole Browser Source URL; the filter keeps only the token.
PASTED_TOKEN = f"  https://overlay.example/view?layout=3&token={TOKEN}&theme=dark\n"
USER_AGENT = "Ostrelo-OBS/4.4.1"
POST_TIMEOUT = 30  # seconds; a value needs two or three frames 200 ms apart, llvmpipe under load is slow
SHORT_TIMEOUT = 5
SITE_GAME_NO = 7


class Checks:
    def __init__(self):
        self.results = []

    def check(self, name, ok, detail=""):
        self.results.append((name, bool(ok), detail))
        print(f"{'PASS' if ok else 'FAIL'}  {name}" + (f"  ({detail})" if detail and not ok else ""), flush=True)
        return bool(ok)

    def failed(self):
        return [r for r in self.results if not r[1]]


def values(post, *keys):
    return {k: post.body.get(k) for k in keys} if post else None


class Updates:
    """Waits for updates at the endpoint. Once it has heard nothing for a whole wait, later
    waits are short: they would fail as well, and the run should still end soon with every
    check reported."""

    def __init__(self, receiver):
        self.receiver = receiver
        self.silent = False

    def wait(self, timeout=POST_TIMEOUT, after=0, **expected):
        if self.silent:
            timeout = min(timeout, SHORT_TIMEOUT)
        post = self.receiver.wait_for(lambda b: all(b.get(k) == v for k, v in expected.items()), timeout, after)
        self.silent = not self.receiver.requests()
        return post


def session_posts(receiver, first_number):
    return [r for r in receiver.requests() if r.number >= first_number]


def check_wire_format(checks, post):
    body = post.body
    checks.check("update goes to the configured path", post.path == LIVE_PATH, post.path)
    checks.check(
        "update is authorised with the token taken from the pasted URL",
        post.headers.get("authorization") == f"Bearer {TOKEN}",
        post.headers.get("authorization"),
    )
    checks.check(
        "update headers: JSON in and out, our user agent",
        post.headers.get("content-type") == "application/json"
        and post.headers.get("accept") == "application/json"
        and post.headers.get("user-agent") == USER_AGENT,
        {k: post.headers.get(k) for k in ("content-type", "accept", "user-agent")},
    )
    checks.check(
        "update names the event twice and the game number",
        body.get("event_id") == EVENT_ID and body.get("event") == EVENT_ID and body.get("game_no") == 1,
        values(post, "event_id", "event", "game_no"),
    )
    checks.check(
        "update body is compact JSON with keys in ascending order",
        not any(c in post.raw for c in b" \n\r\t") and post.key_order == sorted(post.key_order),
        post.raw[:200],
    )


def check_sequence(checks, posts, label):
    """Within one OBS run the first update carries no "if_seq"; each later one carries the
    "rev" the endpoint answered to the update before it (the endpoint counts updates)."""
    if len(posts) < 2:
        checks.check(f"{label}: updates carry the last sequence number", False, f"only {len(posts)} updates")
        return
    problems = []
    if "if_seq" in posts[0].body:
        problems.append(f"first update has if_seq {posts[0].body['if_seq']}")
    for before, after in zip(posts, posts[1:]):
        if after.body.get("if_seq") != before.number:
            problems.append(f"#{after.number} if_seq {after.body.get('if_seq')}, expected {before.number}")
    checks.check(f"{label}: updates carry the last sequence number", not problems, "; ".join(problems[:3]))


def check_clean_exit(checks, obs, code, label, obs_own_leaks=0):
    crashes = os.path.join(obs.config, "crashes")
    crash_files = os.listdir(crashes) if os.path.isdir(crashes) else []
    checks.check(f"{label}: OBS exits on SIGINT with status 0", code == 0, f"status {code}")
    checks.check(f"{label}: no crash report", not crash_files, crash_files)
    leaks = obs.leak_count()
    if obs_own_leaks == 0:
        checks.check(f"{label}: OBS reports no memory leaks", leaks == 0, f"{leaks} leaks")
    else:
        checks.check(
            f"{label}: the module adds no memory leaks (OBS alone reports {obs_own_leaks} here)",
            leaks == obs_own_leaks,
            f"{leaks} leaks",
        )


def obs_own_reload_leaks(obs, work):
    """OBS 30.2 itself reports a leak whenever it loads a saved scene collection, with or
    without plug-ins of ours. The count it reports for this configuration without our module
    and filter is the baseline the second run is held to."""
    home = os.path.join(work, "home-without-module")
    shutil.rmtree(home, ignore_errors=True)
    baseline = ObsSession(home, obs.display, obs=obs.obs, name=obs.name)
    shutil.copytree(obs.config, baseline.config, ignore=shutil.ignore_patterns("logs", "crashes", "plugins"))
    with open(baseline.collection_path, encoding="utf-8") as f:
        collection = json.load(f)
    for source in collection.get("sources", []):
        source["filters"] = [x for x in source.get("filters", []) if x.get("id") != stage.FILTER_KIND]
    with open(baseline.collection_path, "w", encoding="utf-8") as f:
        json.dump(collection, f)
    baseline.start()
    code = baseline.stop()
    leaks = baseline.leak_count()
    if code != 0 or leaks is None:
        raise RuntimeError(f"OBS without our module exited with {code} and leak report {leaks}")
    return leaks


def first_run(checks, obs, receiver, frames):
    updates = Updates(receiver)
    obs.start()
    checks.check("OBS loads the module and logs it", obs.wait_for_log(MODULE_LOADED_LINE, 20), "no line in the log")
    checks.check("OBS is still running after loading the module", obs.running())
    ws = obs.ws

    kinds = ws.call("GetSourceFilterKindList")["sourceFilterKinds"]
    checks.check("the stat reader is offered as a filter", stage.FILTER_KIND in kinds, kinds)
    defaults = ws.call("GetSourceFilterDefaultSettings", filterKind=stage.FILTER_KIND)["defaultFilterSettings"]
    checks.check(
        "the filter's defaults",
        defaults.get("game") == "warzone"
        and defaults.get("event_id") == 0
        and defaults.get("game_no") == 1
        and defaults.get("game_nos") == "{}"
        and defaults.get("use_wz_preset") is True
        and defaults.get("send") is True
        and str(defaults.get("api_url", "")).startswith("https://")
        and str(defaults.get("api_url", "")).endswith(LIVE_PATH),
        {k: defaults.get(k) for k in ("game", "event_id", "game_no", "game_nos", "use_wz_preset", "send", "api_url")},
    )

    first = frames.in_match(kills=3, players=97, teams=38, plates=2.5)
    stage.create_hud_scene(ws, SCENE, SOURCE, first)
    time.sleep(1.0)  # let the image load and render before reading it back
    without_filter = stage.source_image(ws, SOURCE)

    stage.add_stat_reader(
        ws, SOURCE, FILTER, {"event_id": EVENT_ID, "token": PASTED_TOKEN, "api_url": receiver.url}
    )
    session_start = receiver.last_number() + 1
    post = updates.wait(kills=3, players_left=97, teams_left=38)
    checks.check(
        "the HUD's counters reach the live endpoint",
        post is not None,
        f"posts so far: {[r.body for r in receiver.requests()][-3:]}",
    )
    if post:
        check_wire_format(checks, post)
    plates = updates.wait(timeout=10, plates=2.5)
    checks.check("the plates bar reaches the live endpoint (2.5 plates)", plates is not None)

    with_filter = stage.source_image(ws, SOURCE)
    differing, largest = stage.pixel_difference(without_filter, with_filter)
    checks.check(
        "the filter passes the picture through unchanged",
        differing == 0,
        f"{differing} pixels differ, by up to {largest}",
    )
    differing, largest = stage.pixel_difference(stage.file_image(first), with_filter)
    checks.check(
        "the filtered source shows exactly the frame file", differing == 0, f"{differing} pixels, up to {largest}"
    )

    # OBS's filters dialog shows the stat reader's properties panel next to the live picture.
    ws.call("OpenInputFiltersDialog", inputName=SOURCE)
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline and not any(t.startswith("Filters for") for t in obs.window_titles()):
        time.sleep(0.25)
    time.sleep(1.0)
    checks.check(
        "the filters dialog opens on the stat reader's panel",
        obs.running() and any(t.startswith("Filters for") for t in obs.window_titles()),
        obs.window_titles(),
    )

    # Counters move on; then, with nothing changing, the confirmed values are repeated.
    stage.show_frame(ws, SOURCE, frames.in_match(kills=4, players=90, teams=36, plates=2.5))
    moved = updates.wait(kills=4, players_left=90, teams_left=36)
    checks.check("a change of the counters is posted", moved is not None)
    if moved:
        repeat = updates.wait(timeout=15, after=moved.number)
        gap = repeat.arrived - moved.arrived if repeat else None
        checks.check(
            "confirmed values are repeated about every 10 s",
            repeat is not None
            and 9.0 <= gap <= 13.0
            and all(repeat.body.get(k) == moved.body.get(k) for k in ("kills", "players_left", "teams_left")),
            f"next update after {gap} s: {repeat.body if repeat else None}",
        )

    # The service answers with its own game number: the filter takes it over.
    receiver.site_game_no = SITE_GAME_NO
    stage.show_frame(ws, SOURCE, frames.in_match(kills=5, players=80, teams=33, plates=2.5))
    adopted = updates.wait(game_no=SITE_GAME_NO, kills=5)
    receiver.site_game_no = None
    checks.check("the service's game number is taken over", adopted is not None)

    # The end card: final kills and placement go out alone, then a new match starts a new game.
    stage.show_frame(ws, SOURCE, frames.placement_card(placement=3, kills=6))
    final = updates.wait(placement=3)
    checks.check(
        "the end card posts the final result alone",
        final is not None
        and final.body.get("kills") == 6
        and final.body.get("new_game") == 1
        and final.body.get("game_no") == SITE_GAME_NO
        and not {"players_left", "teams_left", "plates"} & set(final.body),
        final.body if final else None,
    )
    stage.show_frame(ws, SOURCE, frames.in_match(kills=0, players=150, teams=50, plates=3.0, seed=2))
    new_game = updates.wait(new_game=1, game_no=SITE_GAME_NO + 1)
    checks.check("the next match starts the next game", new_game is not None)

    # The user's own regions instead of the preset, as the alignment window saves them.
    regions = stage.region_settings(stage.PRESET_REGIONS_1080)
    ws.call(
        "SetSourceFilterSettings",
        sourceName=SOURCE,
        filterName=FILTER,
        filterSettings=dict(regions, use_wz_preset=False),
        overlay=True,
    )
    stage.show_frame(ws, SOURCE, frames.in_match(kills=1, players=140, teams=47, plates=3.0, seed=2))
    own_regions = updates.wait(kills=1, players_left=140, teams_left=47)
    checks.check("the user's own regions are read", own_regions is not None)

    check_sequence(checks, session_posts(receiver, session_start), "first run")
    code = obs.stop()
    check_clean_exit(checks, obs, code, "first run")
    return regions


def check_saved(checks, obs, regions):
    kind, saved = saved_filter_settings(obs.collection_path, SOURCE, FILTER)
    checks.check("the scene collection holds the stat reader", kind == stage.FILTER_KIND, kind)
    saved = saved or {}
    game_no = SITE_GAME_NO + 1
    checks.check(
        "the game number is saved for the event",
        saved.get("game_no") == game_no
        and saved.get("game_no_event") == EVENT_ID
        and saved.get("game_nos") == json.dumps({str(EVENT_ID): game_no}, separators=(",", ":")),
        {k: saved.get(k) for k in ("game_no", "game_no_event", "game_nos")},
    )
    checks.check(
        "the regions are saved",
        all(saved.get(k) == v for k, v in regions.items()) and saved.get("use_wz_preset") is False,
        {k: saved.get(k) for k in regions},
    )
    # The run started without a saved window layout, so any dock in the one OBS saved at exit
    # was registered by the module (Qt would keep a seeded dock's name as a placeholder).
    with open(os.path.join(obs.config, "global.ini"), encoding="utf-8") as f:
        state = next((line.split("=", 1)[1] for line in f if line.startswith("DockState=")), "")
    names = base64.b64decode(state) if state else b""
    checks.check(
        "OBS saved the dock under its id",
        DOCK_ID.encode("utf-16-be") in names,
        "the dock id is not in the saved window layout",
    )


def second_run(checks, obs, receiver, frames, regions, work):
    updates = Updates(receiver)
    # The filter comes back with the collection and may post before the first request below.
    session_start = receiver.last_number() + 1
    obs.start()
    checks.check("second run: the module loads again", obs.wait_for_log(MODULE_LOADED_LINE, 20))
    ws = obs.ws
    settings = ws.call("GetSourceFilter", sourceName=SOURCE, filterName=FILTER)["filterSettings"]
    checks.check(
        "second run: OBS hands the saved settings back to the filter",
        settings.get("game_no") == SITE_GAME_NO + 1 and settings.get("kills_x") == regions["kills_x"],
        {k: settings.get(k) for k in ("game_no", "game_nos", "kills_x", "use_wz_preset")},
    )
    stage.show_frame(ws, SOURCE, frames.in_match(kills=2, players=130, teams=45, plates=3.0, seed=3))
    resumed = updates.wait(kills=2, players_left=130, teams_left=45, after=session_start - 1)
    checks.check(
        "second run: the saved game number and regions are used",
        resumed is not None and resumed.body.get("game_no") == SITE_GAME_NO + 1,
        resumed.body if resumed else "no update",
    )
    stage.show_frame(ws, SOURCE, frames.in_match(kills=3, players=120, teams=44, plates=3.0, seed=3))
    updates.wait(kills=3, players_left=120, after=session_start - 1)
    check_sequence(checks, session_posts(receiver, session_start), "second run")
    code = obs.stop()
    check_clean_exit(checks, obs, code, "second run", obs_own_reload_leaks(obs, work))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="configured build folder of the project")
    parser.add_argument("--obs", default="obs")
    parser.add_argument("--work", default=None, help="folder for the OBS configuration, frames and logs")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    work = os.path.abspath(args.work or os.path.join(build, "realobs-e2e"))
    os.makedirs(work, exist_ok=True)

    started = time.monotonic()
    checks = Checks()
    version = installed_obs_version(args.obs)
    print(f"OBS {version or '(unknown version)'}; work folder {work}", flush=True)
    display = None if os.environ.get("DISPLAY") else VirtualDisplay().start()
    receiver = LiveReceiver(echo=lambda line: print(f"      {line}", flush=True)).start()
    obs = ObsSession(os.path.join(work, "home"), os.environ.get("DISPLAY") or display.name, obs=args.obs)
    frames = stage.HudFrames(os.path.join(build, "tools", "hudframes", "ostrelo-hudframes"), os.path.join(work, "frames"))
    try:
        obs.seed(version or "30.0.0")
        obs.install_module(build)
        regions = first_run(checks, obs, receiver, frames)
        check_saved(checks, obs, regions)
        second_run(checks, obs, receiver, frames, regions, work)
    except Exception:  # a broken step fails the run with its trace; the checks so far stand
        traceback.print_exc()
        checks.check("the run completes", False, "stopped by an error")
    finally:
        if obs.running():
            obs.stop()
        receiver.stop()
        if display:
            display.stop()
    failed = checks.failed()
    print(
        f"real OBS: {len(checks.results) - len(failed)} of {len(checks.results)} checks passed "
        f"in {time.monotonic() - started:.0f} s; logs in {obs.config}/logs",
        flush=True,
    )
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
