"""Desktop sessions side by side: the same suite of real-desktop tests run by pytest-xdist with
1, 2 and 4 workers, each worker with its private session (pelorixkit's pytest plugin).

Each test launches galculator in its worker's session, types a sum, waits for the result and
checks that the other workers' galculators are not on its accessibility bus (their windows
cannot be read; one that could would be interference). Printed per worker count: wall time,
tests per minute, the ratio to one worker, the mean test duration, failures, and how busy the
machine's processors were (all of them, other users' work included) with the load average,
since throughput stops growing once the processors are saturated.

    .venv/bin/python bench/sessions.py [--tests 16] [--workers 1 2 4] [--rounds 3]
"""

from __future__ import annotations

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ElementTree
from pathlib import Path

SUITE = r'''
import subprocess
import time
import pytest
import pelorix
from pelorix import FOCUS


@pytest.mark.parametrize("round", range({tests}))
def test_sum(launch, round):
    calculator = launch("galculator")
    display = calculator.find("role:AXTextArea")
    display.type_text("12*3=", mode=FOCUS)
    deadline = time.monotonic() + 10
    while display.value().strip() != "36":
        assert time.monotonic() < deadline, display.value()
        time.sleep(0.02)
    for other in subprocess.run(["pgrep", "-x", "galculator"], capture_output=True, text=True).stdout.split():
        if int(other) != calculator.pid:
            try:  # ended meanwhile, or (as it should be) not on this bus
                seen = pelorix.app(pid=int(other)).windows()
            except RuntimeError:
                seen = []
            assert seen == [], f"galculator {other} of another session is on this bus"
'''


def busy_jiffies() -> tuple[int, int]:
    """(busy, total) processor time of the whole machine so far, from /proc/stat."""
    fields = [int(v) for v in Path("/proc/stat").read_text().split("\n", 1)[0].split()[1:]]
    idle = fields[3] + fields[4]  # idle + iowait
    return sum(fields) - idle, sum(fields)


def run(folder: Path, workers: int) -> dict:
    report = folder / f"report-{workers}.xml"
    load_before = os.getloadavg()
    busy0, total0 = busy_jiffies()
    start = time.perf_counter()
    done = subprocess.run([sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider", "-n", str(workers),
                           "--desktop-required", f"--junitxml={report}"], cwd=folder,
                          capture_output=True, text=True)
    wall = time.perf_counter() - start
    busy1, total1 = busy_jiffies()
    cases = ElementTree.parse(report).getroot().iter("testcase")
    durations, failed, why = [], 0, []
    for case in cases:
        durations.append(float(case.get("time", 0)))
        for child in case:
            if child.tag in ("failure", "error"):
                failed += 1
                why.append(f"{case.get('name')}: {(child.get('message') or '').splitlines()[0][:160]}")
    if done.returncode not in (0, 1):
        sys.exit(f"pytest failed to run ({done.returncode}):\n{done.stdout}{done.stderr}")
    return {
        "workers": workers,
        "wall": wall,
        "tests": len(durations),
        "per_minute": len(durations) / wall * 60,
        "mean": sum(durations) / max(1, len(durations)),
        "failed": failed,
        "why": why,
        "busy": (busy1 - busy0) / max(1, total1 - total0),
        "load": (load_before[0], os.getloadavg()[0]),
    }


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--tests", type=int, default=16)
    parser.add_argument("--workers", type=int, nargs="+", default=[1, 2, 4])
    parser.add_argument("--rounds", type=int, default=3,
                        help="runs of each worker count, interleaved (the machine's load changes)")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="pelorix-bench-sessions.") as folder:
        folder = Path(folder)
        (folder / "pytest.ini").write_text("[pytest]\n")
        (folder / "test_sum.py").write_text(SUITE.replace("{tests}", str(args.tests)))
        print(f"{os.cpu_count()} processors; {args.tests} tests per run, {args.rounds} rounds; load average "
              f"before: {' '.join(f'{v:.2f}' for v in os.getloadavg())}")
        print(f"{'round':>5} {'workers':>7} {'wall s':>7} {'tests/min':>9} {'mean test s':>11} {'failed':>6} "
              f"{'cpu busy':>8} {'load 1m before/after':>21}")
        results: dict[int, list[dict]] = {w: [] for w in args.workers}
        for round_ in range(args.rounds):
            for workers in args.workers:
                result = run(folder, workers)
                results[workers].append(result)
                print(f"{round_ + 1:>5} {workers:>7} {result['wall']:>7.1f} {result['per_minute']:>9.1f} "
                      f"{result['mean']:>11.2f} {result['failed']:>6} {result['busy']:>8.0%} "
                      f"{result['load'][0]:>10.2f}/{result['load'][1]:<10.2f}", flush=True)
                for line in result["why"]:
                    print(f"      failed {line}")
        print("median tests/min per worker count, and the ratio to the first:")
        base = statistics.median(r["per_minute"] for r in results[args.workers[0]])
        for workers, runs in results.items():
            median = statistics.median(r["per_minute"] for r in runs)
            print(f"  {workers} workers: {median:.1f} tests/min ({median / base:.2f}x), "
                  f"{sum(r['failed'] for r in runs)} failed of {sum(r['tests'] for r in runs)}")
        print(f"load average after: {' '.join(f'{v:.2f}' for v in os.getloadavg())}")


if __name__ == "__main__":
    main()
