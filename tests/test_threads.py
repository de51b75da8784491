"""Several Python threads sharing one application and its elements."""

import threading

import pelorix
from simdesk import node, ticker


def test_threads_share_an_app_and_its_elements(desktop):
    root, window, button = desktop.add_app(
        4242,
        node("AXApplication", children=[
            node("AXWindow", title="W", children=[
                node("AXButton", title="OK", clock=ticker(5), actions=["AXPress"], writable=["AXFocused"])])]),
    )
    root.set(windows=[window])
    app = pelorix.app(pid=4242)
    shared = app.find("role:AXButton")
    errors = []

    def work(index):
        try:
            for round_ in range(30):
                found = app.find("title:OK", timeout_ms=0)
                assert found.role() == "AXButton" and shared.title() == "OK"
                assert [w.title() for w in app.windows()] == ["W"]
                (shared.click if round_ % 2 else found.click)(mode=pelorix.FOCUS if index % 2 else None)
                pelorix.configure_healing(pelorix.HealingConfig(strategies=[str(index)]))
                assert shared.bounds() is None and app.is_running() in (True, False)
        except BaseException as error:  # noqa: BLE001 - reported below
            errors.append(error)

    threads = [threading.Thread(target=work, args=(i,)) for i in range(6)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(timeout=60)
    assert not any(thread.is_alive() for thread in threads), "a thread is stuck"
    assert errors == []
    assert len(desktop.log(kind="action")) == 6 * 30 + 3 * 30  # presses, and raises in focus mode
