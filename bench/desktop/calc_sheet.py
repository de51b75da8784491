"""What a search costs LibreOffice Calc, whose sheet claims 2,147,483,647 cells (inside
scripts/desktop-session):

    python bench/desktop/calc_sheet.py [--rounds N] [--module-path DIR]

Each round starts a fresh Calc per mode (batched reads, and every read live with
PELORIX_ATSPI_BATCH=0), the modes alternating, and measures: the first search for the toolbar
button past the sheet, soffice.bin's resident memory before it and at its peak, whether Calc
then answers a live read of its main window, and a whole-tree count of the cells read. With
--module-path, the pelorix module (and pelorixkit) found there is measured instead: another
build, say the one before a change, for a side-by-side run.
"""

import argparse
import os
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def measure(office, elements, mode, count):
    calc = office.launch("calc")
    try:
        time.sleep(2)  # the sheet is made after the window
        before = peak = calc.rss_kib()
        done = threading.Event()

        def watch():
            nonlocal peak
            while not done.is_set():
                peak = max(peak, calc.rss_kib())
                time.sleep(0.2)

        watcher = threading.Thread(target=watch)
        watcher.start()
        os.environ["PELORIX_ATSPI_BATCH"] = mode
        began = time.monotonic()
        try:
            found = calc.app().find("role:AXButton title:Export", timeout_ms=90_000).title()
        except RuntimeError as error:
            found = str(error)
        searched = time.monotonic() - began
        os.environ["PELORIX_ATSPI_BATCH"] = "0"
        began = time.monotonic()
        try:
            calc.app().main_window().title()
            answers = "answers"
        except RuntimeError as error:
            answers = f"does not answer ({error})"
        answered = time.monotonic() - began
        counted = ""
        if count:
            os.environ["PELORIX_ATSPI_BATCH"] = mode
            began = time.monotonic()
            cells = elements.count(calc.app(), "role:AXCell")
            counted = f"; {cells} cells counted in {time.monotonic() - began:.2f} s"
        done.set()
        watcher.join()
        return (f"search {searched:.3f} s ({found}); soffice.bin {before / 1024:.0f} MiB, peak "
                f"{peak / 1024:.0f} MiB; afterwards Calc {answers} in {answered:.3f} s{counted}")
    finally:
        calc.stop()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rounds", type=int, default=1)
    parser.add_argument("--module-path")
    parser.add_argument("--no-count", action="store_true",
                        help="skip the cell count (a build that lists the sheet never ends it)")
    args = parser.parse_args()
    if args.module_path:
        sys.path.insert(0, args.module_path)
    sys.path.insert(0, os.path.join(HERE, "..", "..", "harness"))
    import office  # noqa: E402  (after the module path is set)
    from pelorixkit import elements  # noqa: E402

    for round_ in range(args.rounds):
        for mode, name in (("1", "batched"), ("0", "live")):
            load = " ".join(open("/proc/loadavg").read().split()[:3])
            print(f"round {round_ + 1} {name:7}: {measure(office, elements, mode, not args.no_count)}"
                  f" (load {load})", flush=True)


if __name__ == "__main__":
    main()
