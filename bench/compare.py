#!/usr/bin/env python3
"""OrviWrapper beside Debian's Chromium --app on the imitation service's messenger page.

Runs each browser RUNS times against one imitation service and prints medians and ratios:
launch to the first page request, launch to the logged-in page's first API request, total
PSS of every process of the browser with one, three and five accounts, and (OrviWrapper only:
Chromium keeps one window per account and has nothing to switch) the RSS added by 200
profile switches. Each run starts from fresh folders; a first launch logs the account in,
the measured launch then starts logged in, as a person's second start would. Subjects are
measured interleaved, run by run, so that a busy spell on the machine hits each of them.
Last comes each OrviWrapper's cold-start timeline: the median time after launch at which each
of its log lines on the way to the page appeared.

Must run inside an X server and a D-Bus session bus (scripts/bench --compare sees to both).
"""

import argparse
import json
import os
import shutil
import signal
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import uuid

PAGE = "web.orvi.test/"
API = "web.orvi.test/api/chats"
APP_ID = "com.orviwrapper.OrviWrapper"
CHROMIUM_FLAGS = ["--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
                  "--disable-component-update", "--disable-sync"]


class Lines:
    """Reads a process's output in the background and keeps each line with its arrival time."""

    def __init__(self, stream, echo=None):
        self.lines = []
        self.changed = threading.Condition()
        self.echo = echo
        threading.Thread(target=self._read, args=(stream,), daemon=True).start()

    def _read(self, stream):
        for raw in iter(stream.readline, b""):
            line = raw.decode("utf-8", "replace").rstrip("\n")
            with self.changed:
                self.lines.append((time.monotonic(), line))
                self.changed.notify_all()
            if self.echo:
                self.echo.write(line + "\n")

    def mark(self):
        with self.changed:
            return len(self.lines)

    def wait(self, predicate, start=0, timeout=60.0, count=1):
        """Time of the count-th line from index start that matches, or None."""
        deadline = time.monotonic() + timeout
        with self.changed:
            while True:
                seen = 0
                for stamp, line in self.lines[start:]:
                    if predicate(line):
                        seen += 1
                        if seen == count:
                            return stamp
                left = deadline - time.monotonic()
                if left <= 0:
                    return None
                self.changed.wait(left)

    def since(self, start):
        with self.changed:
            return list(self.lines[start:])


def descendants(root):
    children = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as stat:
                fields = stat.read().rsplit(")", 1)[1].split()
            children.setdefault(int(fields[1]), []).append(int(entry))
        except (OSError, IndexError):
            pass
    found, stack = [], [root]
    while stack:
        pid = stack.pop()
        found.append(pid)
        stack.extend(children.get(pid, []))
    return found


def memory_kb(roots, field):
    total = 0
    for root in roots:
        for pid in descendants(root):
            try:
                with open(f"/proc/{pid}/smaps_rollup") as rollup:
                    for line in rollup:
                        if line.startswith(field + ":"):
                            total += int(line.split()[1])
            except OSError:
                pass
    return total


def stop(process, timeout=15):
    if process.poll() is None:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(timeout)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
    try:
        os.killpg(process.pid, signal.SIGKILL)  # helpers left behind by the browser
    except ProcessLookupError:
        pass


class Service:
    def __init__(self, binary):
        self.process = subprocess.Popen([binary, "--auto-login", "--log-requests"], stdout=subprocess.PIPE,
                                        start_new_session=True)
        self.out = Lines(self.process.stdout)
        self.out.wait(lambda l: l.startswith("web client:"), timeout=20)
        values = dict(l.split("=", 1) for _, l in self.out.since(0) if l.startswith("ORVI_"))
        self.proxy = values["ORVI_PROXY"]
        self.endpoints = values["ORVI_SERVICE_ENDPOINTS"]

    def request_at(self, target, start, timeout=60, count=1):
        return self.out.wait(lambda l: l.startswith(f"REQUEST GET {target} "), start, timeout, count)


class Folders:
    def __init__(self, root, name):
        self.root = os.path.join(root, name)
        for sub in ("home", "config", "data", "cache", "runtime"):
            os.makedirs(os.path.join(self.root, sub), mode=0o700, exist_ok=True)

    def env(self):
        env = dict(os.environ)
        env.update({"HOME": f"{self.root}/home", "XDG_CONFIG_HOME": f"{self.root}/config",
                    "XDG_DATA_HOME": f"{self.root}/data", "XDG_CACHE_HOME": f"{self.root}/cache",
                    "NO_AT_BRIDGE": "1"})
        return env


class App:
    """One OrviWrapper binary; its profiles are switched through its notification action."""

    folder = "app"

    def __init__(self, binary, service, log):
        self.binary, self.service, self.log = binary, service, log
        self.ids, self.switch_times = [], []

    def launch(self, folders):
        env = folders.env()
        env.pop("GSK_RENDERER", None)  # left to the application, as on a person's desktop
        env.update({"ORVI_PROXY": self.service.proxy, "ORVI_SERVICE_ENDPOINTS": self.service.endpoints})
        started = time.monotonic()
        process = subprocess.Popen([self.binary], env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                   start_new_session=True)
        return started, process, Lines(process.stdout, self.log)

    def logged_in(self, folders):
        self.ids = self.add_profiles(folders, 4)

    @staticmethod
    def add_profiles(folders, count):
        """Adds profiles next to the one the first launch created; returns every id."""
        db = sqlite3.connect(f"{folders.root}/config/orvi-wrapper/preferences.sqlite3")
        (value,) = db.execute("SELECT value FROM preferences WHERE key='OrviWrapper.Profiles'").fetchone()
        profiles = json.loads(bytes(value) if isinstance(value, (bytes, memoryview)) else value)
        for i in range(count):
            extra = dict(profiles[0])
            extra["id"] = str(uuid.uuid4()).upper()
            extra["name"] = f"Профиль {i + 2}"
            profiles.append(extra)
        db.execute("UPDATE preferences SET value=? WHERE key='OrviWrapper.Profiles'",
                   (json.dumps(profiles, ensure_ascii=False).encode(),))
        # Only the profiles visited are live, so that each count of live accounts is measured
        # and a switch really loads a profile not yet loaded.
        db.execute("INSERT OR REPLACE INTO preferences (key, kind, value) "
                   "VALUES ('OrviWrapper.LoadAllProfilesAtStartup', 2, 0)")
        db.commit()
        db.close()
        return [p["id"] for p in profiles]

    @staticmethod
    def switch(profile_id):
        subprocess.run(["gdbus", "call", "--session", "--dest", APP_ID, "--object-path",
                        "/" + APP_ID.replace(".", "/"), "--method", "org.gtk.Actions.Activate", "open-profile",
                        f"[<'{profile_id}'>]", "{}"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       check=False, timeout=10)

    def open_account(self, n, root, processes):
        """Switches to the n-th profile, one not yet loaded."""
        mark = self.service.out.mark()
        asked = time.monotonic()
        self.switch(self.ids[n - 1])
        page = self.service.request_at(PAGE, mark)
        if page is None or self.service.request_at(API, mark) is None:
            raise RuntimeError("a new profile never loaded")
        self.switch_times.append(page - asked)

    def after_accounts(self, processes, result, switches):
        result["switch_to_new_s"] = statistics.median(self.switch_times)
        before = memory_kb([p.pid for p in processes], "Rss")
        for i in range(switches):
            self.switch(self.ids[i % len(self.ids)])
            time.sleep(0.1)
        time.sleep(SETTLE)
        result["switch_rss_mb"] = (memory_kb([p.pid for p in processes], "Rss") - before) / 1024


class Chromium:
    """Debian's Chromium --app; each further account is another instance with its own folder."""

    folder = "chromium-1"

    def __init__(self, binary, service):
        self.binary, self.service = binary, service

    def launch(self, folders):
        started = time.monotonic()
        process = subprocess.Popen(
            [self.binary, f"--app=http://{PAGE}", f"--user-data-dir={folders.root}/chromium",
             f"--proxy-server={self.service.proxy}"] + CHROMIUM_FLAGS,
            env=folders.env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        return started, process, None

    def logged_in(self, folders):
        pass

    def open_account(self, n, root, processes):
        mark = self.service.out.mark()
        processes.append(self.launch(Folders(root, f"chromium-{n}"))[1])
        if self.service.request_at(API, mark, 90) is None:
            raise RuntimeError("another account never loaded")

    def after_accounts(self, processes, result, switches):
        pass


def measure(browser, root, switches):
    """One run of a browser from fresh folders: a first launch logs the account in, the measured
    launch starts logged in, and four more accounts are opened beside the first."""
    result = {}
    folders = Folders(root, browser.folder)
    mark = browser.service.out.mark()
    _, process, _ = browser.launch(folders)
    ok = browser.service.request_at(API, mark, 90)
    stop(process)
    if not ok:
        raise RuntimeError("the first launch never logged in")
    browser.logged_in(folders)

    processes = []
    try:
        mark = browser.service.out.mark()
        started, process, out = browser.launch(folders)
        processes.append(process)
        first = browser.service.request_at(PAGE, mark)
        api = browser.service.request_at(API, mark)
        if first is None or api is None:
            raise RuntimeError("no page or API request")
        result["first_request_s"] = first - started
        result["first_api_s"] = api - started
        if out:
            result["timeline"] = timeline(started, out.since(0), first, api)
        time.sleep(SETTLE)
        result["pss1_mb"] = memory_kb([p.pid for p in processes], "Pss") / 1024
        for n in range(2, 6):
            browser.open_account(n, root, processes)
            if n in (3, 5):
                time.sleep(SETTLE)
                result[f"pss{n}_mb"] = memory_kb([p.pid for p in processes], "Pss") / 1024
        browser.after_accounts(processes, result, switches)
    finally:
        for p in processes:
            stop(p)
    return result


# The log lines on the way from launch to the finished page, in the order they should come.
MILESTONES = ["init() called", "Rendering:", "Creating new WebView", "Cached WebView for", "onAppear called",
              "Creating WKWebView", "Waiting for window", "Window ready", "Window now visible",
              "Restoring cookies for", "Cookies restored for", "Storage restored for", "Load request sent",
              "Initial cookie state"]
# Long enough after a load for the web process to settle before its memory is read.
SETTLE = 2.5


def timeline(started, lines, first, api):
    """Seconds after launch at which each milestone first appeared, service requests included."""
    steps = {f"(service) first request GET {PAGE}": first - started,
             f"(service) first request GET {API}": api - started}
    for stamp, line in lines:
        for milestone in MILESTONES:
            if milestone in line and milestone not in steps:
                steps[milestone] = stamp - started
    return steps


def median(runs, key):
    values = [r[key] for r in runs if key in r]
    return statistics.median(values) if values else None


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--app", required=True, help="the orvi-wrapper binary")
    parser.add_argument("--before", action="append", default=[],
                        help="an earlier orvi-wrapper binary (or a script that runs one) to measure in the same "
                             "session; may be given more than once")
    parser.add_argument("--without-chromium", action="store_true",
                        help="only OrviWrapper builds, compared with the last --before")
    parser.add_argument("--service", required=True, help="the orvi-imitation-service binary")
    parser.add_argument("--chromium", default=shutil.which("chromium") or "chromium")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--switches", type=int, default=200)
    parser.add_argument("--app-log", help="file for the application's output of every run")
    args = parser.parse_args()

    service = Service(args.service)
    log = open(args.app_log, "w") if args.app_log else None
    subjects = [("OrviWrapper", lambda: App(args.app, service, log))]
    for before in args.before:
        label = "before" if len(args.before) == 1 else os.path.basename(before)
        subjects.append((label, lambda before=before: App(before, service, log)))
    if not args.without_chromium:
        subjects.append(("Chromium --app", lambda: Chromium(args.chromium, service)))
    results = {name: [] for name, _ in subjects}
    try:
        for run in range(args.runs):
            for name, browser in subjects:  # interleaved, so a busy spell hits every subject
                with tempfile.TemporaryDirectory(prefix="orvi-compare.") as root:
                    try:
                        results[name].append(measure(browser(), root, args.switches))
                    except RuntimeError as error:
                        print(f"run {run + 1} of {name} failed: {error}", file=sys.stderr)
                print(f"run {run + 1}/{args.runs}: {name} done", file=sys.stderr)
    finally:
        stop(service.process)

    rows = [("launch → first page request (s)", "first_request_s", 3),
            ("launch → logged-in page's first API request (s)", "first_api_s", 3),
            ("total PSS, 1 account (MB)", "pss1_mb", 0),
            ("total PSS, 3 accounts (MB)", "pss3_mb", 0),
            ("total PSS, 5 accounts (MB)", "pss5_mb", 0),
            ("switch to a profile not yet loaded → its first request (s)", "switch_to_new_s", 3),
            (f"RSS added by {args.switches} profile switches (MB)", "switch_rss_mb", 1)]
    names = [name for name, _ in subjects]
    print(f"\nMedians of {args.runs} runs, {time.strftime('%Y-%m-%d %H:%M %Z')}, {os.uname().nodename}, "
          f"{os.cpu_count()} CPUs")
    header = f"{'':58}" + "".join(f"{n[:19]:>20}" for n in names) + f"{'ratio to ' + names[-1].split()[0][:11]:>22}"
    print(header)
    for title, key, digits in rows:
        values = [median(results[n], key) for n in names]
        cells = "".join(f"{v:>20.{digits}f}" if v is not None else f"{'—':>20}" for v in values)
        ours, chromium = values[0], values[-1]
        ratio = f"{ours / chromium:>22.2f}" if ours is not None and chromium else f"{'—':>22}"
        print(f"{title:58}{cells}{ratio}")

    for name in names:
        runs = [r["timeline"] for r in results[name] if "timeline" in r]
        if runs:
            print(f"\nCold start of {name}: median seconds after launch over {len(runs)} runs")
            steps = {step for run in runs for step in run}
            for stamp, step in sorted((statistics.median(run[step] for run in runs if step in run), step)
                                      for step in steps):
                print(f"  {stamp:6.3f}  {step}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
