"""Memory over many cycles: RSS after 10,000 find + click + read cycles on the simulated desktop
stays flat after warm-up, and every platform reference the cycles took is given back.

    .venv/bin/python bench/memory_bench.py [cycles]
"""

import gc
import os
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "harness"))

import pelorix  # noqa: E402
from simdesk import Desktop, node  # noqa: E402

PAGE = os.sysconf("SC_PAGE_SIZE")


def rss() -> int:
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * PAGE


def main() -> int:
    cycles = int(sys.argv[1]) if len(sys.argv) > 1 else 10_000
    desktop = Desktop().use()
    desktop.settings(record_reads=False)
    rows = [node("AXGroup", children=[node("AXButton", title=f"B{r}.{c}", actions=["AXPress"]) for c in range(20)]) for r in range(10)]
    root, window = desktop.add_app(4242, node("AXApplication", children=[node("AXWindow", title="W", children=rows)]))[:2]
    root.set(windows=[window])
    app = pelorix.app(pid=4242)
    start_live = desktop.stats()["live"]

    def cycle(i):
        element = app.find(f"title:B{i % 10}.19", timeout_ms=0)
        element.click()
        element.title(), element.role(), element.enabled(), element.bounds()
        app.windows()

    def run(n):
        for i in range(n):
            cycle(i)
            if i % 1000 == 999:
                desktop.log(clear=True)  # the desktop's own record of the presses, not ours

    run(2_000)  # warm-up: allocator pools, caches of the interpreter
    gc.collect()
    before = rss()
    run(cycles)
    gc.collect()
    after = rss()
    live = desktop.stats()["live"]
    del app
    gc.collect()
    end_live = desktop.stats()["live"]
    desktop.release()
    growth = (after - before) / 1024
    print(f"cycles                    {cycles}")
    print(f"RSS after warm-up         {before / 2**20:.1f} MiB")
    print(f"RSS after the cycles      {after / 2**20:.1f} MiB")
    print(f"growth                    {growth:.0f} KiB (limit 1024 KiB)")
    print(f"live references           {sum(live.values())} with the app open (was {sum(start_live.values())}), "
          f"{sum(end_live.values())} after closing it")
    flat = growth <= 1024 and live == start_live and not any(end_live.values())
    print("flat" if flat else "NOT FLAT")
    return 0 if flat else 1


if __name__ == "__main__":
    sys.exit(main())
