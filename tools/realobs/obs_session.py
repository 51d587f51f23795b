"""OBS Studio as a user runs it, driven from a script: a private configuration folder seeded
so that no first-run dialog opens, our module installed there as a user plug-in, obs-websocket
enabled on loopback without a password, a virtual display when there is none, and a clean
stop with SIGINT (SIGKILL would leave the crash sentinel that makes the next start ask about
safe mode)."""

import glob
import json
import os
import re
import shutil
import signal
import subprocess
import time

MODULE_NAME = "ostrelo-obs"
MODULE_LOADED_LINE = "Ostrelo OBS loaded (v4.4.1)"
NO_LEAKS_LINE = "Number of memory leaks: 0"
WEBSOCKET_PORT = 4455
LOADED_SCENES_LINE = re.compile(r"^\S+ Loaded scenes:", re.M)
NEW_COLLECTION_LINE = re.compile(r"^\S+ Switched to scene '", re.M)


def obs_version_number(version):
    """'30.2.3' -> the LastVersion value of global.ini ((major << 24) | (minor << 16) | patch)."""
    parts = [int(p) for p in (version.split(".") + ["0", "0"])[:3]]
    return (parts[0] << 24) | (parts[1] << 16) | parts[2]


def installed_obs_version(obs="obs"):
    """The version `obs --version` prints ('OBS Studio - 30.2.3.1-3' -> '30.2.3'), or ''."""
    try:
        out = subprocess.run([obs, "--version"], capture_output=True, text=True, timeout=30).stdout
    except (OSError, subprocess.TimeoutExpired):
        return ""
    for word in out.replace("-", " ").split():
        if word[:1].isdigit() and "." in word:
            return ".".join(word.split(".")[:3])
    return ""


class VirtualDisplay:
    """Xvfb on the first free display number from 90 up."""

    def __init__(self, size="1600x900"):
        self.size = size
        self.process = None
        self.name = None

    def start(self):
        for n in range(90, 200):
            if os.path.exists(f"/tmp/.X{n}-lock") or os.path.exists(f"/tmp/.X11-unix/X{n}"):
                continue
            self.process = subprocess.Popen(
                ["Xvfb", f":{n}", "-screen", "0", f"{self.size}x24", "-nolisten", "tcp"],
                stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL,
            )
            for _ in range(100):
                if os.path.exists(f"/tmp/.X11-unix/X{n}"):
                    self.name = f":{n}"
                    return self
                if self.process.poll() is not None:
                    break
                time.sleep(0.05)
            self.stop()
        raise RuntimeError("could not start Xvfb")

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            self.process.wait(10)
        self.process = None


class ObsSession:
    def __init__(self, home, display, obs="obs", name="ostrelo", window_layout=None, echo=print):
        self.home = os.path.abspath(home)
        self.config = os.path.join(self.home, "obs-studio")
        self.display = display
        self.obs = obs
        self.name = name
        self.window_layout = window_layout  # (geometry, dock state), see dock_layout.py
        self.echo = echo
        self.process = None
        self.ws = None
        self.log_path = None
        self.started = None
        self._stdout = None

    # --- configuration ---------------------------------------------------------------------

    @property
    def plugin_dir(self):
        return os.path.join(self.config, "plugins", MODULE_NAME)

    @property
    def collection_path(self):
        return os.path.join(self.config, "basic", "scenes", f"{self.name}.json")

    def seed(self, obs_version, video=(1920, 1080), fps=30):
        """A fresh configuration: no first-run wizard, our profile and collection, websocket on."""
        shutil.rmtree(self.config, ignore_errors=True)
        os.makedirs(self.config)
        lines = [
            "[General]",
            "FirstRun=true",
            f"LastVersion={obs_version_number(obs_version)}",
            "EnableAutoUpdates=false",
            "",
            "[Basic]",
            f"Profile={self.name}",
            f"ProfileDir={self.name}",
            f"SceneCollection={self.name}",
            f"SceneCollectionFile={self.name}",
            "",
            "[BasicWindow]",
            "PreviewEnabled=true",
        ]
        if self.window_layout:
            lines.append(f"geometry={self.window_layout[0]}")
            lines.append(f"DockState={self.window_layout[1]}")
        self._write("global.ini", "\n".join(lines) + "\n")
        self._write(
            f"basic/profiles/{self.name}/basic.ini",
            "\n".join(
                [
                    "[General]",
                    f"Name={self.name}",
                    "",
                    "[Video]",
                    f"BaseCX={video[0]}",
                    f"BaseCY={video[1]}",
                    f"OutputCX={video[0]}",
                    f"OutputCY={video[1]}",
                    "FPSType=1",
                    f"FPSInt={fps}",
                    "",
                    "[Output]",
                    "Mode=Simple",
                ]
            )
            + "\n",
        )
        self._write(
            "plugin_config/obs-websocket/config.json",
            json.dumps(
                {
                    "alerts_enabled": False,
                    "auth_required": False,
                    "first_load": False,
                    "server_enabled": True,
                    "server_password": "",
                    "server_port": WEBSOCKET_PORT,
                }
            ),
        )

    def install_module(self, build_dir):
        """Installs the built module the way a user does: into the configuration's plug-ins."""
        subprocess.run(
            ["cmake", "--install", build_dir, "--prefix", os.path.join(self.config, "plugins")],
            check=True,
            stdout=subprocess.DEVNULL,
        )
        library = os.path.join(self.plugin_dir, "bin", "64bit", f"{MODULE_NAME}.so")
        if not os.path.isfile(library):
            raise RuntimeError(f"the install left no {library}")
        return library

    def _write(self, relative, text):
        path = os.path.join(self.config, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)

    # --- running ---------------------------------------------------------------------------

    def running(self):
        return self.process is not None and self.process.poll() is None

    def start(self, timeout=90):
        """Starts OBS and returns once its websocket server answers and the scene collection
        has been loaded (OBS loads it after the server has come up)."""
        logs_before = set(glob.glob(os.path.join(self.config, "logs", "*.txt")))
        # A saved collection is listed once loaded; a new one starts with a default scene.
        loaded_line = LOADED_SCENES_LINE if os.path.exists(self.collection_path) else NEW_COLLECTION_LINE
        env = dict(os.environ)
        env.update(
            {
                "XDG_CONFIG_HOME": self.home,
                "DISPLAY": self.display,
                "QT_QPA_PLATFORM": "xcb",
                "LIBGL_ALWAYS_SOFTWARE": "1",
            }
        )
        env.pop("WAYLAND_DISPLAY", None)
        from obsws import ObsWebSocket  # python3-websocket, needed only once OBS runs

        self._stdout = open(os.path.join(self.home, f"obs-stdout-{int(time.time())}.txt"), "w")
        self.started = time.monotonic()
        self.process = subprocess.Popen(
            [
                self.obs,
                "--multi",
                "--disable-shutdown-check",
                "--disable-missing-files-check",
                "--disable-updater",
                "--collection",
                self.name,
                "--profile",
                self.name,
            ],
            env=env,
            cwd=self.home,
            stdout=self._stdout,
            stderr=subprocess.STDOUT,
            start_new_session=True,
        )
        self.ws = ObsWebSocket.connect_when_ready(
            f"ws://127.0.0.1:{WEBSOCKET_PORT}", timeout, still_running=self.running
        )
        self.ws.wait_until_ready(max(1.0, timeout - (time.monotonic() - self.started)), self.running)
        for path in glob.glob(os.path.join(self.config, "logs", "*.txt")):
            if path not in logs_before:
                self.log_path = path
        if not self.wait_for_log(loaded_line, timeout):
            raise RuntimeError(f"OBS did not load its scene collection (no {loaded_line.pattern!r} in its log)")
        return self

    def log(self):
        if not self.log_path:
            return ""
        with open(self.log_path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def wait_for_log(self, text, timeout):
        """Waits for a text (or a compiled pattern) in this run's log."""
        found = text.search if isinstance(text, re.Pattern) else (lambda log: text in log)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if found(self.log()):
                return True
            if not self.running():
                return bool(found(self.log()))
            time.sleep(0.2)
        return False

    def leak_count(self):
        """The count OBS logs at exit, or None when it logged none."""
        counts = re.findall(r"Number of memory leaks: (\d+)", self.log())
        return int(counts[-1]) if counts else None

    def stop(self, timeout=60):
        """SIGINT, the way a user's Ctrl-C closes OBS; returns the exit code (None: had to kill)."""
        if self.ws:
            closed = self.log().count("has disconnected")
            self.ws.close()
            self.ws = None
            # obs-websocket tears its server down on exit while its IO thread may still be
            # handling our client's close; a signal in the same millisecond crashed OBS 30.2 in
            # that teardown once. Let the close land first, as a user's client would have.
            deadline = time.monotonic() + 3
            while self.log().count("has disconnected") == closed and time.monotonic() < deadline:
                time.sleep(0.05)
            time.sleep(0.2)
        if not self.process:
            return None
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGINT)
            try:
                self.process.wait(timeout)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
                return None
        if self._stdout:
            self._stdout.close()
            self._stdout = None
        return self.process.returncode

    def windows(self):
        """(title, x, y, width, height) of every window on the display, children included."""
        tree = subprocess.run(
            ["xwininfo", "-root", "-tree", "-display", self.display], capture_output=True, text=True, check=True
        ).stdout
        found = re.findall(r'^\s+0x[0-9a-f]+ "(.*)": \(.*\)\s+(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)', tree, re.M)
        return [(title, int(x), int(y), int(w), int(h)) for title, w, h, x, y in found]

    def window_titles(self):
        return [w[0] for w in self.windows()]

    def screenshot(self, path):
        """The OBS main window, as far as it lies on the screen."""
        shot = subprocess.run(
            ["import", "-display", self.display, "-window", "root", "png:-"], capture_output=True, check=True
        ).stdout
        main = [w for w in self.windows() if w[0].startswith("OBS ")]
        crop = []
        if main:
            _, x, y, w, h = main[0]
            x0, y0 = max(x, 0), max(y, 0)
            crop = ["-crop", f"{w - (x0 - x)}x{h - (y0 - y)}+{x0}+{y0}", "+repage"]
        subprocess.run(["convert", "png:-"] + crop + [path], input=shot, check=True)
        return path


def saved_filter_settings(collection_path, source_name, filter_name):
    """The settings of one filter as OBS saved them in the scene collection file."""
    with open(collection_path, encoding="utf-8") as f:
        collection = json.load(f)
    for source in collection.get("sources", []):
        if source.get("name") != source_name:
            continue
        for flt in source.get("filters", []):
            if flt.get("name") == filter_name:
                return flt.get("id"), flt.get("settings", {})
    return None, None
