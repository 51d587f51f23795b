"""The demo: OBS Studio with our module reads a short recorded match and posts it live.

OBS starts with the module installed as a user plug-in and the "Ostrelo · Studio" dock
docked in its window. A scene's image source plays synthetic HUD frames of a match (kills
rising, players and teams falling, then the end card) with the Vexmoor Stat Reader on it,
posting to a live-results endpoint on loopback that prints every update as it arrives. A
screenshot of the OBS window is saved mid-match; OBS is closed with SIGINT and a summary
printed.

With --private-namespace (the process runs in private network and mount namespaces, as
scripts/demo.sh arranges) the filter keeps its built-in default endpoint, HTTPS on the vendor
host, and this answers it on loopback (default_endpoint.py). Otherwise the filter's "api_url"
is pointed at a plain HTTP endpoint on 127.0.0.1.

Usage: demo.py --build BUILD_DIR [--obs obs] [--work DIR] [--screenshot PNG] [--private-namespace]
"""

import argparse
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import default_endpoint  # noqa: E402
import dock_layout  # noqa: E402
import stage  # noqa: E402
from live_receiver import LiveReceiver  # noqa: E402
from obs_session import MODULE_LOADED_LINE, ObsSession, VirtualDisplay, installed_obs_version  # noqa: E402

EVENT_ID = 1207
TOKEN = "demo-overlay-token"
SCREEN = (1920, 1080)
# The recorded match: kills, players left, teams left, plates.
MATCH = [
    (0, 150, 50, 3.0),
    (0, 141, 48, 3.0),
    (1, 127, 45, 3.0),
    (2, 110, 41, 2.5),
    (3, 96, 36, 2.0),
    (5, 77, 29, 2.0),
    (6, 52, 21, 1.5),
    (8, 31, 13, 3.0),
    (9, 17, 8, 2.5),
    (10, 9, 5, 1.0),
]
END_CARD = (2, 10)  # placement, kills
SCREENSHOT_AT = 5  # index of the frame on screen when the screenshot is taken
WAIT_PER_FRAME = 10.0  # seconds to wait for the update a frame should bring


def say(line):
    print(line, flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="configured build folder with ostrelo-obs and ostrelo-hudframes")
    parser.add_argument("--obs", default="obs")
    parser.add_argument("--work", default=None)
    parser.add_argument("--screenshot", default=None, help="where to save the screenshot (PNG)")
    parser.add_argument(
        "--private-namespace",
        action="store_true",
        help="running in private network and mount namespaces: answer the filter's built-in default endpoint",
    )
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    work = os.path.abspath(args.work or os.path.join(build, "demo"))
    screenshot = os.path.abspath(args.screenshot or os.path.join(work, "ostrelo-demo.png"))
    os.makedirs(work, exist_ok=True)
    started = time.monotonic()

    version = installed_obs_version(args.obs)
    say(f"demo: OBS {version}, work folder {work}")
    display = VirtualDisplay(f"{SCREEN[0]}x{SCREEN[1]}").start()
    os.environ["DISPLAY"] = display.name
    os.environ["QT_QPA_PLATFORM"] = "xcb"
    layout = dock_layout.window_layout(*SCREEN)
    echo = lambda line: say(f"  receiver {line}")  # noqa: E731
    filter_settings = {"event_id": EVENT_ID, "token": TOKEN}
    if args.private_namespace:
        receiver = default_endpoint.start(build, os.path.join(work, "endpoint"), echo)
        say(f"demo: live-results endpoint {receiver.url} (the filter's built-in default, answered on loopback)")
    else:
        receiver = LiveReceiver(echo=echo).start()
        filter_settings["api_url"] = receiver.url
        say(f"demo: live-results endpoint {receiver.url}")
    frames = stage.HudFrames(os.path.join(build, "tools", "hudframes", "ostrelo-hudframes"), os.path.join(work, "frames"))
    obs = ObsSession(os.path.join(work, "home"), display.name, obs=args.obs, window_layout=layout)
    matched = []
    final = None
    code = None
    try:
        obs.seed(version or "30.0.0", video=(1920, 1080), fps=30)
        say(f"demo: installed {obs.install_module(build)}")
        obs.start()
        loaded = obs.wait_for_log(MODULE_LOADED_LINE, 20)
        say(f"demo: OBS is up; {'module loaded' if loaded else 'the module did not log its load line'}")
        ws = obs.ws
        first = frames.in_match(*MATCH[0][:3], plates=MATCH[0][3])
        stage.create_hud_scene(ws, "Ostrelo demo", "Game capture", first)
        stage.add_stat_reader(ws, "Game capture", "Vexmoor Stat Reader", filter_settings)
        for i, (kills, players, teams, plates) in enumerate(MATCH):
            frame = frames.in_match(kills, players, teams, plates=plates, red_players=players < 20)
            stage.show_frame(ws, "Game capture", frame)
            say(f"HUD  kills {kills:>2} · players {players:>3} · teams {teams:>2} · plates {plates:g}")
            after = receiver.last_number()
            post = receiver.wait_for(
                lambda b, k=kills, p=players, t=teams: (b.get("kills"), b.get("players_left"), b.get("teams_left"))
                == (k, p, t),
                WAIT_PER_FRAME,
                after=0 if i == 0 else after,
            )
            matched.append(post is not None)
            if i == SCREENSHOT_AT:
                time.sleep(1.0)
                obs.screenshot(screenshot)
                say(f"demo: screenshot saved to {screenshot}")
        placement, card_kills = END_CARD
        stage.show_frame(ws, "Game capture", frames.placement_card(placement, card_kills))
        say(f"HUD  end card: placement {placement} · kills {card_kills}")
        final = receiver.wait_for(lambda b: "placement" in b, WAIT_PER_FRAME)
        time.sleep(1.0)
    finally:
        code = obs.stop()
        receiver.stop()
        display.stop()

    posts = receiver.requests()
    say("")
    say("demo summary")
    say(f"  OBS {version}; module load line in the log: {'yes' if MODULE_LOADED_LINE in obs.log() else 'no'}")
    say(f"  HUD frames shown: {len(MATCH)} in-match + end card")
    say(f"  endpoint: {receiver.url}")
    say(f"  updates received: {len(posts)}; in-match frames confirmed by an update: {sum(matched)} of {len(MATCH)}")
    if final is not None:
        say(f"  final result posted: placement {final.body.get('placement')}, kills {final.body.get('kills')}")
    else:
        say("  final result: not posted")
    say(f"  OBS exit status {code}, memory leaks reported: {obs.leak_count()}")
    say(f"  screenshot: {screenshot}")
    say(f"  OBS log: {obs.log_path}")
    say(f"  took {time.monotonic() - started:.0f} s")
    complete = code == 0 and all(matched) and final is not None
    return 0 if complete else 1


if __name__ == "__main__":
    sys.exit(main())
