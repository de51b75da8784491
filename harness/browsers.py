"""Web browsers for the real-desktop tests: Firefox ESR and Chromium (installed by scripts/setup),
each started once with its accessibility on, a fresh profile and no first-run dialogs, showing
a local page with a form and a 1,000-row table.

Firefox exposes its tree to AT-SPI as soon as an accessibility bus is there (GNOME_ACCESSIBILITY
makes sure); Chromium only with --force-renderer-accessibility. Chromium's sandbox cannot run as
root, so it is switched off there.
"""

from __future__ import annotations

import os
import shutil
import tempfile
import time
from dataclasses import dataclass
from pathlib import Path

from typing import TYPE_CHECKING

if TYPE_CHECKING:
    import pelorix

# Only the standard library at import: the desktop benchmark (bench/desktop/compare.py) starts
# the browsers from Debian's interpreter, which has no pelorix.

PAGE_TITLE = "Pelorix Browser Page"
TABLE_ROWS = 1000
# How far below the view the last button sits.
FAR_MARGIN_PX = 20000


def page_html(rows: int = TABLE_ROWS) -> str:
    """A form (text field, text area, check box, radios, select, button, link, headings), a
    table of `rows` rows whose last cell reads "Last cell", and a button far below the view."""
    body = "\n".join(
        f"<tr><td>Row {i}</td><td>Item {i}</td><td>{'Last cell' if i == rows else f'Cell {i}'}</td></tr>"
        for i in range(1, rows + 1)
    )
    return f"""<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>{PAGE_TITLE}</title>
<style>body {{ font-family: sans-serif; }} #far {{ margin-top: {FAR_MARGIN_PX}px; }}</style></head>
<body>
<h1>Pelorix Form</h1>
<form onsubmit="return false">
  <p><label for="name">Name</label> <input id="name" type="text"></p>
  <p><label for="comments">Comments</label> <textarea id="comments" rows="3" cols="30"></textarea></p>
  <p><input id="subscribe" type="checkbox"> <label for="subscribe">Subscribe</label></p>
  <fieldset><legend>Size</legend>
    <input id="small" type="radio" name="size" value="small" checked> <label for="small">Small</label>
    <input id="large" type="radio" name="size" value="large"> <label for="large">Large</label>
  </fieldset>
  <p><label for="colour">Colour</label>
    <select id="colour"><option>Red</option><option>Green</option><option>Blue</option></select></p>
  <p><button type="button" onclick="submitted()">Submit</button> <a href="#numbers">Go to table</a>
     <button type="button" onclick="asked()">Ask</button></p>
  <h3 id="status">Not submitted</h3>
</form>
<h2 id="numbers">Numbers</h2>
<table border="1"><thead><tr><th>Row</th><th>Item</th><th>Note</th></tr></thead>
<tbody>
{body}
</tbody></table>
<p id="far"><button type="button" onclick="pressed()">Far away</button></p>
<h3 id="farstatus">Far not pressed</h3>
<script>
function submitted() {{
  var size = document.querySelector('input[name=size]:checked').value;
  document.getElementById('status').textContent = 'Submitted ' +
    document.getElementById('name').value + ' / ' + document.getElementById('subscribe').checked +
    ' / ' + size + ' / ' + document.getElementById('colour').value;
}}
function asked() {{
  var answer = confirm('Keep the answers?') ? 'Kept' : 'Dropped';
  document.getElementById('status').textContent = answer;
}}
function pressed() {{ document.getElementById('farstatus').textContent = 'Far pressed'; }}
</script>
</body></html>
"""


FIREFOX_PREFS = {
    # No first-run pages, no default-browser question, no privacy notice tab, no session restore.
    "browser.shell.checkDefaultBrowser": False,
    "browser.startup.homepage_override.mstone": "ignore",
    "browser.aboutwelcome.enabled": False,
    "startup.homepage_welcome_url": "",
    "startup.homepage_welcome_url.additional": "",
    "browser.sessionstore.resume_from_crash": False,
    "datareporting.policy.dataSubmissionEnabled": False,
    "datareporting.policy.firstRunURL": "",
    "toolkit.telemetry.reportingpolicy.firstRun": False,
    "app.update.auto": False,
    "browser.tabs.warnOnClose": False,
    # Nothing fetched from the network while the tests run.
    "browser.safebrowsing.malware.enabled": False,
    "browser.safebrowsing.phishing.enabled": False,
    "extensions.update.enabled": False,
    "network.captive-portal-service.enabled": False,
    "network.connectivity-service.enabled": False,
    # Accessibility on whatever the environment says.
    "accessibility.force_disabled": -1,
}


@dataclass(frozen=True)
class Browser:
    name: str
    program: str

    def argv(self, profile: Path, url: str) -> list[str]:
        if self.name == "firefox":
            return [self.program, "--no-remote", "--new-instance", "--profile", str(profile), url]
        argv = [
            self.program,
            f"--user-data-dir={profile}",
            "--force-renderer-accessibility",
            "--no-first-run",
            "--no-default-browser-check",
            "--disable-background-networking",
            "--disable-component-update",
            "--disable-sync",
            "--disable-features=Translate,MediaRouter",
            "--password-store=basic",
            "--disable-gpu",
            "--disable-dev-shm-usage",
        ]
        if os.geteuid() == 0:
            argv.append("--no-sandbox")
        return [*argv, url]


BROWSERS = {
    "firefox": Browser("firefox", "firefox-esr"),
    "chromium": Browser("chromium", "chromium"),
}


class RunningBrowser:
    """A browser showing the test page, started in the desktop session. It holds no pelorix
    object: every test connects afresh (`app()`)."""

    def __init__(self, browser: Browser, session, process, folder: Path):
        self.browser = browser
        self.name = browser.name
        self.session = session
        self.process = process
        self.pid = process.pid
        self.folder = folder

    def app(self) -> pelorix.AXApp:
        import pelorix

        return pelorix.app(pid=self.pid)

    def page_window(self) -> pelorix.AXElement:
        for window in self.app().windows():
            if PAGE_TITLE in (window.title() or ""):
                return window
        raise AssertionError(f"{self.name} shows no window titled {PAGE_TITLE!r}")

    def stop(self) -> None:
        try:
            self.session.end(self.process)
        finally:
            shutil.rmtree(self.folder, ignore_errors=True)


def prepare(name: str, folder: Path) -> tuple[list[str], dict[str, str]]:
    """Writes the page and a fresh profile for the browser `name` into `folder`; returns the
    command line and the environment variables to start it with."""
    browser = BROWSERS[name]
    if shutil.which(browser.program) is None:
        raise FileNotFoundError(browser.program)
    profile = folder / "profile"
    profile.mkdir()
    page = folder / "page.html"
    page.write_text(page_html(), encoding="utf-8")
    if name == "firefox":
        def js(value):
            return str(value).lower() if isinstance(value, bool) else f'"{value}"' if isinstance(value, str) else str(value)

        lines = [f'user_pref("{key}", {js(value)});' for key, value in FIREFOX_PREFS.items()]
        (profile / "user.js").write_text("\n".join(lines) + "\n", encoding="utf-8")
    # Everything the browser writes (its profile, Chromium's singleton socket directory) goes
    # into `folder`, which is removed with it.
    env = {"GNOME_ACCESSIBILITY": "1", "MOZ_CRASHREPORTER_DISABLE": "1", "HOME": str(folder),
           "TMPDIR": str(folder)}
    return browser.argv(profile, page.as_uri()), env


def scroll_to_top(running: RunningBrowser) -> None:
    """Closes what is open (a menu, a select's list) and scrolls the page back to its top, where
    the form's heading is drawn inside the window again."""
    import pelorix
    from pelorixkit import keyboard, pointer
    from realdesk import wait_until

    # Right after a browser starts, the registry may take a moment to answer (the first call
    # then says accessibility is not enabled).
    app = wait_until(running.app, 10)
    keyboard.press(app, "Escape", mode=pelorix.FOCUS)
    x, y, width, height = running.page_window().bounds()
    pointer.scroll((x + width / 2, y + height * 2 / 3), down=-1000, mode=pelorix.FOCUS)
    heading = app.find("role:AXHeading title:Pelorix", timeout_ms=2000)

    def heading_in_window():
        top, size = heading.bounds()[1], heading.bounds()[3]
        return size > 0 and y <= top and top + size <= y + height

    wait_until(heading_in_window, 10)


def launch_browser(name: str, session, timeout: float = 60.0) -> RunningBrowser:
    """Starts the browser `name` on the test page in `session` (the plugin's desktop session)
    and waits until the page's document is in its accessibility tree."""
    browser = BROWSERS[name]
    folder = Path(tempfile.mkdtemp(prefix="pxbrowser-"))
    try:
        argv, env = prepare(name, folder)
        process = session.popen(argv, env=env)
    except BaseException:
        shutil.rmtree(folder, ignore_errors=True)
        raise
    started = RunningBrowser(browser, session, process, folder)
    from realdesk import wait_until

    try:
        def ready():
            if process.poll() is not None:
                raise AssertionError(f"{name} exited with status {process.returncode}")
            app = started.app()
            # The page is there once its last cell is: the document is loaded and exposed.
            return app.find("role:AXCell title:Last cell", timeout_ms=0).exists()

        wait_until(ready, timeout, interval=0.5)
    except BaseException:
        started.stop()
        raise
    return started


def time_call(function, *args, **kwargs) -> tuple[float, object]:
    """Seconds one call takes, and what it returned."""
    start = time.monotonic()
    result = function(*args, **kwargs)
    return time.monotonic() - start, result
