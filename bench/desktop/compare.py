"""Runs the desktop benchmark's contenders side by side (inside scripts/desktop-session).

    compare.py --build DIR --venv-python PATH [--rounds N] [--rows R] [--toolkits gtk3,gtk4,qt5]
               [--idle-rounds N] [--browsers firefox,chromium]

For each toolkit it starts the generated window (wide_app.py and its GTK 4 and Qt 5 twins),
then, round by round and in turn, runs every contender once in a fresh process with
callcount.so preloaded; each process times only its search or reading. Prints medians,
min/max, bus calls and the ratios the targets are about. Then the idle engine on
gtk4-widget-factory (batched against element-by-element reads, PELORIX_ATSPI_BATCH=0), the last
cell of a 1,000-row table on a web page in Firefox ESR and Chromium (--browsers), and the
figures for a stopped application.
"""

import argparse
import os
import pathlib
import signal
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
WINDOWS = {"gtk3": "wide_app.py", "gtk4": "wide_app_gtk4.py", "qt5": "wide_app_qt5.py"}
# Rows for about 2,000 elements: a GTK 4 button has a label of its own below it.
ROWS = {"gtk3": 40, "gtk4": 20, "qt5": 40}
WIDGET_FACTORY = "gtk4-widget-factory"


def start_app(toolkit, rows):
    app = subprocess.Popen(["/usr/bin/python3", os.path.join(HERE, WINDOWS[toolkit]), str(rows)],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    if app.stdout.readline().strip() != "ready":
        raise SystemExit(f"the {toolkit} benchmark window did not start")
    time.sleep(1.5)  # the bridge registers the application on the bus after the first frame
    return app


def cpu_seconds(pid):
    # User and system time of the application so far (fields 14 and 15 of its stat line).
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def run(command, preload, app_pid, extra_env=None):
    env = dict(os.environ, LD_PRELOAD=preload, ATSPI_NO_CACHE="1", **(extra_env or {}))
    # The application's CPU time while the contender runs includes answering its setup calls
    # (a handful): it shows how much of the search the application itself spends.
    cpu_before = cpu_seconds(app_pid)
    out = subprocess.run(command, env=env, capture_output=True, text=True, timeout=300)
    app_cpu = cpu_seconds(app_pid) - cpu_before
    if out.returncode != 0:
        raise SystemExit(f"{command[0]} failed: {out.stderr.strip()}")
    seconds, calls, result = out.stdout.split()[:3]
    return float(seconds), int(calls), result, app_cpu


def summary(name, samples):
    times = [s[0] for s in samples]
    calls = sorted({s[1] for s in samples})
    results = sorted({s[2] for s in samples})
    app_cpu = statistics.median(s[3] for s in samples)
    return name, statistics.median(times), min(times), max(times), calls, results, app_cpu


def compare(title, commands, rounds, preload, app_pid, warm_up=True):
    """Runs `commands` (name: (argv, extra environment)) alternately; returns name: summary."""
    samples = {name: [] for name in commands}
    for name, (command, env) in commands.items() if warm_up else ():  # one warm-up each
        run(command, preload, app_pid, env)
    for _ in range(rounds):
        for name, (command, env) in commands.items():
            samples[name].append(run(command, preload, app_pid, env))
    print(f"\n== {title}: {rounds} rounds, alternating")
    print(f"{'contender':30} {'median s':>9} {'min s':>8} {'max s':>8}  bus calls"
          f"  µs/call  app CPU s  result")
    results = {}
    for name in commands:
        row = summary(name, samples[name])
        results[name] = row
        calls = "/".join(str(c) for c in row[4])
        per_call = row[1] / row[4][0] * 1e6 if row[4][0] else float("nan")
        print(f"{row[0]:30} {row[1]:9.3f} {row[2]:8.3f} {row[3]:8.3f}  {calls:>9}"
              f"  {per_call:7.0f}  {row[6]:9.2f}  {','.join(row[5])}")
    return results


def print_ratios(results, lines):
    for label, slow, fast, target in lines:
        value = results[slow][1] / results[fast][1]
        print(f"{label:44} {value:6.2f}   target {target}")


def web_page(name, args, preload, contenders_py, live):
    """The last cell of a 1,000-row table on a local web page (harness/browsers.py) in a
    browser: pelorix against pyatspi and dogtail, and the idle engine on the idle page."""
    sys.path.insert(0, os.path.join(HERE, "..", "..", "harness"))
    import browsers

    folder = tempfile.mkdtemp(prefix="pxbench-")
    try:
        argv, env = browsers.prepare(name, pathlib.Path(folder))
    except FileNotFoundError as missing:
        print(f"\n{missing} is not installed (scripts/setup installs it); {name} skipped")
        shutil.rmtree(folder, ignore_errors=True)
        return
    browser = subprocess.Popen(argv, env=dict(os.environ, **env), stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, start_new_session=True)
    cell = {"BENCH_TARGET": "cell"}
    try:
        pid = str(browser.pid)
        # Loaded once the last cell is in the tree.
        deadline = time.monotonic() + 90
        while run([args.venv_python, contenders_py, "pelorix", pid], preload, browser.pid, cell)[2] != "1":
            if time.monotonic() > deadline:
                raise SystemExit(f"{name} did not show the page within 90 s")
            time.sleep(1)
        time.sleep(2)
        print(f"\n######## {name}: the last cell of a 1,000-row table; pid {pid}; load average "
              f"{' '.join(f'{x:.2f}' for x in os.getloadavg())}")
        found = compare(f"{name} find", {
            "pelorix find": ([args.venv_python, contenders_py, "pelorix", pid], cell),
            "pelorix find, unbatched": ([args.venv_python, contenders_py, "pelorix", pid],
                                        {**cell, **live}),
            "pyatspi search": (["/usr/bin/python3", contenders_py, "pyatspi", pid], cell),
            "dogtail findChild": (["/usr/bin/python3", contenders_py, "dogtail", pid], cell),
        }, args.rounds, preload, browser.pid)
        compare(f"{name} idle", {
            "is_idle()": ([args.venv_python, contenders_py, "is_idle", pid], None),
            "wait_for_idle(5000)": ([args.venv_python, contenders_py, "wait_for_idle", pid], None),
        }, args.idle_rounds, preload, browser.pid, warm_up=False)
        print(f"load average {' '.join(f'{x:.2f}' for x in os.getloadavg())}")
        print_ratios(found, [
            (f"{name}: dogtail findChild / pelorix find", "dogtail findChild", "pelorix find",
             ">= 5"),
            (f"{name}: pyatspi search / pelorix find", "pyatspi search", "pelorix find", "-"),
            (f"{name}: unbatched / batched find", "pelorix find, unbatched", "pelorix find", "-"),
        ])
        print("targets: is_idle() under 0.5 s; wait_for_idle() True within 1 s (result 1)")
    finally:
        try:
            os.killpg(browser.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        browser.wait()
        shutil.rmtree(folder, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--venv-python", required=True)
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--rows", type=int, help="rows of every window (default: ~2,000 elements)")
    parser.add_argument("--toolkits", default="gtk3,gtk4,qt5")
    parser.add_argument("--idle-rounds", type=int, default=1)
    parser.add_argument("--browsers", default="firefox,chromium",
                        help="browsers to search the web page's 1,000-row table in ('' for none)")
    parser.add_argument("--first-rounds", type=int, default=3)
    # Without the C++ reader of one fingerprint (a Release build of the core): is_idle() on
    # gtk4-widget-factory still measures the fingerprint, through the module.
    parser.add_argument("--no-hash-reading", action="store_true")
    args = parser.parse_args()
    preload = os.path.join(args.build, "callcount.so")
    plain = os.path.join(args.build, "plain")
    contenders_py = os.path.join(HERE, "contenders.py")
    live = {"PELORIX_ATSPI_BATCH": "0"}
    ratios = []

    for toolkit in filter(None, args.toolkits.split(",")):
        rows = args.rows or ROWS[toolkit]
        # The first call on a freshly started application (nothing read yet: GTK 4's bulk reply
        # holds almost nothing), pelorix's call first, then the plain search on the same
        # application: one application per round.
        first = {"pelorix find, first call": [], "plain C search, after it": []}
        for _ in range(args.first_rounds):
            app = start_app(toolkit, rows)
            try:
                first["pelorix find, first call"].append(
                    run([args.venv_python, contenders_py, "pelorix", str(app.pid)], preload, app.pid))
                first["plain C search, after it"].append(
                    run([plain, "find", str(app.pid)], preload, app.pid))
            finally:
                app.terminate()
                app.wait()
        print(f"\n== {toolkit} first calls: {args.first_rounds} freshly started applications")
        for name, samples in first.items():
            row = summary(name, samples)
            print(f"{row[0]:30} {row[1]:9.3f} {row[2]:8.3f} {row[3]:8.3f}  "
                  f"{'/'.join(str(c) for c in row[4]):>9}  {','.join(row[5])}")
        first_ratio = (statistics.median(s[0] for s in first["plain C search, after it"]) /
                       statistics.median(s[0] for s in first["pelorix find, first call"]))
        app = start_app(toolkit, rows)
        pid = str(app.pid)
        try:
            count = run([plain, "walk", pid], preload, app.pid)[2]
            print(f"\n######## {toolkit}: {rows} rows of 50 buttons; {count} accessible "
                  f"elements (application included); pid {pid}")
            found = compare(f"{toolkit} find", {
                "pelorix find": ([args.venv_python, contenders_py, "pelorix", pid], None),
                "pelorix find, unbatched": ([args.venv_python, contenders_py, "pelorix", pid], live),
                "plain C search": ([plain, "find", pid], None),
                "pyatspi search": (["/usr/bin/python3", contenders_py, "pyatspi", pid], None),
                "dogtail findChild": (["/usr/bin/python3", contenders_py, "dogtail", pid], None),
            }, args.rounds, preload, app.pid)
            idle = {}
            if not args.no_hash_reading:
                idle = compare(f"{toolkit} idle reading", {
                    "pelorix hash_tree": ([os.path.join(args.build, "hash_reading"), pid], None),
                    "plain C six-read walk": ([plain, "walk", pid], None),
                }, args.rounds, preload, app.pid)
            results = {**found, **idle}
            ratios.append((toolkit, results, first_ratio))
        finally:
            app.terminate()
            app.wait()

    print("\n== ratios (medians of this run)")
    for toolkit, results, first_ratio in ratios:
        find_target = {"gtk3": ">= 20 against dogtail", "gtk4": ">= 10 against plain C",
                       "qt5": ">= 5 against plain C"}[toolkit]
        walk_target = ">= 4" if toolkit == "gtk3" else ">= 3"
        first_target = ">= 3.5" if toolkit == "gtk4" else "-"
        print(f"{toolkit + ': plain C search / pelorix first call':44} {first_ratio:6.2f}   "
              f"target {first_target}")
        print_ratios(results, [
            (f"{toolkit}: dogtail findChild / pelorix find", "dogtail findChild", "pelorix find",
             find_target),
            (f"{toolkit}: pyatspi search / pelorix find", "pyatspi search", "pelorix find",
             find_target),
            (f"{toolkit}: plain C search / pelorix find", "plain C search", "pelorix find",
             find_target),
            (f"{toolkit}: unbatched / batched find", "pelorix find, unbatched", "pelorix find", "-"),
        ])
        if "pelorix hash_tree" in results:
            print_ratios(results, [(f"{toolkit}: plain C walk / pelorix hash_tree",
                                    "plain C six-read walk", "pelorix hash_tree", walk_target)])

    factory = shutil.which(WIDGET_FACTORY)
    if factory is None:
        print(f"\n{WIDGET_FACTORY} is not installed (Debian: gtk-4-examples); idle figures skipped")
    else:
        app = subprocess.Popen([factory], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(4)  # a GtkApplication: its window and tree appear after start-up
        pid = str(app.pid)
        try:
            # pelorix's call first, on the freshly started application.
            first = run([args.venv_python, contenders_py, "is_idle", pid], preload, app.pid)
            count = run([plain, "walk", pid], preload, app.pid)[2]
            print(f"\n######## {WIDGET_FACTORY}: {count} accessible elements; pid {pid}")
            print(f"is_idle(), first call: {first[0]:.3f} s, {first[1]} bus calls, "
                  f"result {first[2]}")
            compare(f"{WIDGET_FACTORY} idle and finds", {
                "is_idle()": ([args.venv_python, contenders_py, "is_idle", pid], None),
                "wait_for_idle(5000)": ([args.venv_python, contenders_py, "wait_for_idle", pid],
                                        None),
                "find('title:Page _1')": (
                    [args.venv_python, contenders_py, "find_default", pid], None),
                "find of nothing, 100 ms limit": (
                    [args.venv_python, contenders_py, "find_missing", pid], None),
            }, args.rounds, preload, app.pid)
            compare(f"{WIDGET_FACTORY} idle, unbatched", {
                "is_idle(), unbatched": ([args.venv_python, contenders_py, "is_idle", pid], live),
                "wait_for_idle(5000), unbatched": (
                    [args.venv_python, contenders_py, "wait_for_idle", pid], live),
            # Unbatched, one idle reading of this window takes seconds: few rounds.
            }, args.idle_rounds, preload, app.pid, warm_up=False)
            print("targets: is_idle() under 0.5 s; wait_for_idle() True within 1 s (result 1); "
                  "find with the default limit under 0.2 s")
        finally:
            app.terminate()
            app.wait()

    for name in filter(None, args.browsers.split(",")):
        web_page(name, args, preload, contenders_py, live)

    app = start_app("gtk3", args.rows or ROWS["gtk3"])
    try:
        print("\n== a stopped GTK 3 application (SIGSTOP): one find, one read")
        out = subprocess.run([args.venv_python, contenders_py, "hung", str(app.pid)],
                             capture_output=True, text=True, timeout=120)
        print(out.stdout.strip() or out.stderr.strip())
    finally:
        app.terminate()
        app.wait()


if __name__ == "__main__":
    sys.exit(main())
