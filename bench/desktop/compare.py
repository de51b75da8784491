"""Runs the desktop benchmark's contenders side by side (inside scripts/desktop-session).

    compare.py --build DIR --venv-python PATH [--rounds N] [--rows R]

Starts the generated GTK 3 window (wide_app.py), then, round by round and in turn, runs every
contender once in a fresh process with callcount.so preloaded; each process times only its
search or reading. Prints medians, min/max, bus calls and the ratios the targets are about,
then the figures for a stopped application.
"""

import argparse
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def start_app(rows):
    app = subprocess.Popen(["/usr/bin/python3", os.path.join(HERE, "wide_app.py"), str(rows)],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    if app.stdout.readline().strip() != "ready":
        raise SystemExit("the benchmark window did not start")
    time.sleep(1.0)  # the bridge registers the application on the bus after the first frame
    return app


def cpu_seconds(pid):
    # User and system time of the application so far (fields 14 and 15 of its stat line).
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def run(command, preload, app_pid):
    env = dict(os.environ, LD_PRELOAD=preload, ATSPI_NO_CACHE="1")
    # The application's CPU time while the contender runs includes answering its setup calls
    # (a handful): it shows how much of the search the application itself spends.
    cpu_before = cpu_seconds(app_pid)
    out = subprocess.run(command, env=env, capture_output=True, text=True, timeout=120)
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


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--venv-python", required=True)
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--rows", type=int, default=40)
    args = parser.parse_args()
    preload = os.path.join(args.build, "callcount.so")
    contenders_py = os.path.join(HERE, "contenders.py")

    app = start_app(args.rows)
    pid = str(app.pid)
    try:
        count = run([os.path.join(args.build, "plain"), "walk", pid], preload, app.pid)[2]
        print(f"window: {args.rows} rows of 50 buttons; {count} accessible elements "
              f"(application included); pid {pid}")
        groups = {
            "find": {
                "pelorix find": [args.venv_python, contenders_py, "pelorix", pid],
                "plain C search": [os.path.join(args.build, "plain"), "find", pid],
                "pyatspi search": ["/usr/bin/python3", contenders_py, "pyatspi", pid],
                "dogtail findChild": ["/usr/bin/python3", contenders_py, "dogtail", pid],
                "C Collection.GetMatches": [os.path.join(args.build, "plain"), "collection", pid],
            },
            "idle reading": {
                "pelorix hash_tree": [os.path.join(args.build, "hash_reading"), pid],
                "plain C six-read walk": [os.path.join(args.build, "plain"), "walk", pid],
            },
        }
        results = {}
        for group, commands in groups.items():
            samples = {name: [] for name in commands}
            for name, command in commands.items():  # one warm-up each
                run(command, preload, app.pid)
            for _ in range(args.rounds):
                for name, command in commands.items():
                    samples[name].append(run(command, preload, app.pid))
            print(f"\n== {group}: {args.rounds} rounds, alternating")
            print(f"{'contender':26} {'median s':>9} {'min s':>8} {'max s':>8}  bus calls"
                  f"  µs/call  app CPU s  result")
            for name in commands:
                row = summary(name, samples[name])
                results[name] = row
                calls = "/".join(str(c) for c in row[4])
                per_call = row[1] / row[4][0] * 1e6 if row[4][0] else float("nan")
                print(f"{row[0]:26} {row[1]:9.3f} {row[2]:8.3f} {row[3]:8.3f}  {calls:>9}"
                      f"  {per_call:7.0f}  {row[6]:9.2f}  {','.join(row[5])}")

        def ratio(slow, fast):
            return results[slow][1] / results[fast][1]

        print("\n== ratios (medians of this run)")
        lines = [
            ("dogtail findChild / pelorix find", ratio("dogtail findChild", "pelorix find"),
             ">= 1.5"),
            ("pyatspi search / pelorix find", ratio("pyatspi search", "pelorix find"), ">= 1.5"),
            ("pelorix find / plain C search", ratio("pelorix find", "plain C search"), "<= 1.1"),
            ("plain C walk / pelorix hash_tree",
             ratio("plain C six-read walk", "pelorix hash_tree"), ">= 1.5"),
            ("plain C search / C Collection", ratio("plain C search", "C Collection.GetMatches"),
             "(what server-side matching gives)"),
        ]
        for label, value, target in lines:
            print(f"{label:36} {value:6.2f}   target {target}")

        print("\n== a stopped application (SIGSTOP): one find, one read")
        out = subprocess.run([args.venv_python, contenders_py, "hung", pid], capture_output=True,
                             text=True, timeout=120)
        print(out.stdout.strip() or out.stderr.strip())
    finally:
        app.terminate()
        app.wait()


if __name__ == "__main__":
    sys.exit(main())
