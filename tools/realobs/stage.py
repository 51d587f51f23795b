"""The stage the tests and the demo set up in a running OBS: a scene whose image source shows
synthetic HUD frames, the Vexmoor Stat Reader on that source, and pixel reads of the source."""

import base64
import io
import os
import shutil
import subprocess

from PIL import Image, ImageChops  # Debian: python3-pil

FILTER_KIND = "vexmoor_stat_reader"

# The Warzone 16:9 HUD preset in pixels of a 1920 x 1080 frame, as a user's own regions
# would be saved by the alignment window.
PRESET_REGIONS_1080 = {
    "teams_left": (1729, 80, 39, 22),
    "players_left": (1773, 80, 45, 22),
    "kills": (1823, 80, 42, 22),
    "plates": (70, 959, 220, 40),
}


def region_settings(regions):
    settings = {}
    for key, (x, y, w, h) in regions.items():
        settings.update({f"{key}_x": x, f"{key}_y": y, f"{key}_w": w, f"{key}_h": h})
    return settings


class HudFrames:
    """Draws frames with the project's ostrelo-hudframes tool into a folder, once each per
    run: the folder starts empty, so frames of an older build of the tool are never shown."""

    def __init__(self, tool, folder):
        self.tool = tool
        self.folder = folder
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)

    def in_match(self, kills, players, teams, plates=3.0, seed=1, red_players=False):
        args = ["--kills", str(kills), "--players", str(players), "--teams", str(teams), "--plates", f"{plates:g}"]
        if red_players:
            args.append("--red-players")
        return self._render(f"match-k{kills}-p{players}-t{teams}-pl{plates:g}-s{seed}", args + ["--seed", str(seed)])

    def placement_card(self, placement, kills, seed=1):
        return self._render(
            f"card-p{placement}-k{kills}-s{seed}",
            ["--screen", "placement", "--placement", str(placement), "--card-kills", str(kills), "--seed", str(seed)],
        )

    def _render(self, name, args):
        path = os.path.join(self.folder, f"{name}.png")
        if not os.path.exists(path):
            env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
            subprocess.run([self.tool, "frame", path] + args, check=True, env=env)
        return path


def create_hud_scene(ws, scene, source, first_frame):
    """A scene with one image source filling the canvas, made the program scene."""
    ws.call("CreateScene", sceneName=scene)
    ws.call(
        "CreateInput",
        sceneName=scene,
        inputName=source,
        inputKind="image_source",
        inputSettings={"file": first_frame},
        sceneItemEnabled=True,
    )
    ws.call("SetCurrentProgramScene", sceneName=scene)


def show_frame(ws, source, frame):
    ws.call("SetInputSettings", inputName=source, inputSettings={"file": frame}, overlay=True)


def add_stat_reader(ws, source, name, settings):
    ws.call("CreateSourceFilter", sourceName=source, filterName=name, filterKind=FILTER_KIND, filterSettings=settings)


def source_image(ws, source):
    """The source as OBS renders it (through its filters), decoded to RGB."""
    data = ws.call("GetSourceScreenshot", sourceName=source, imageFormat="png")["imageData"]
    encoded = data.split(",", 1)[1]
    return Image.open(io.BytesIO(base64.b64decode(encoded))).convert("RGB")


def file_image(path):
    return Image.open(path).convert("RGB")


def pixel_difference(a, b):
    """(number of differing pixels, largest channel difference); sizes must match."""
    if a.size != b.size:
        raise ValueError(f"sizes differ: {a.size} and {b.size}")
    diff = ImageChops.difference(a, b)
    largest = max(high for _, high in diff.getextrema())
    marks = [band.point(lambda v: 255 if v else 0) for band in diff.split()]
    changed = ImageChops.lighter(ImageChops.lighter(marks[0], marks[1]), marks[2])
    return changed.histogram()[255], largest
