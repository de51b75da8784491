"""LibreOffice Writer and Calc for the real-desktop tests (scripts/setup installs them), started
as a user starts them but each with a fresh profile of its own, so that nothing a previous run
or another test left behind (recovery dialogs, tips, settings) changes what the window shows.

soffice.bin is started directly, not through the soffice script and its splash launcher: the
process started is the one that owns the windows, and stopping it stops LibreOffice.
"""

from __future__ import annotations

import os
import shutil
import subprocess
import tempfile
from pathlib import Path

from realdesk import RunningApp

SOFFICE = Path("/usr/lib/libreoffice/program/soffice.bin")

# What a fresh profile would otherwise show before the document: the tip of the day, and the
# dialogs that offer to recover documents or to send crash reports.
_PROFILE = """<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry"
 xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="ShowTipOfTheDay" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="FirstRun" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="CrashReport" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Setup/Office"><prop oor:name="ooSetupInstCompleted" oor:op="fuse"><value>true</value></prop></item>
<item oor:path="/org.openoffice.Office.Recovery/AutoSave"><prop oor:name="Enabled" oor:op="fuse"><value>false</value></prop></item>
</oor:items>
"""

RESTART = 81

TITLES = {"calc": "LibreOffice Calc", "writer": "LibreOffice Writer"}


def unavailable_reason() -> str | None:
    """Why LibreOffice cannot run here, or None when it can."""
    if not SOFFICE.exists():
        return f"{SOFFICE} is missing (scripts/setup installs LibreOffice Writer and Calc)"
    return None


class Office(RunningApp):
    """A running Writer or Calc with its own profile folder, removed when it is stopped."""

    def __init__(self, popen: subprocess.Popen, title: str, profile: str):
        super().__init__(popen, title)
        self.profile = profile

    def rss_kib(self) -> int:
        """The resident memory of soffice.bin, in KiB (0 once it has exited)."""
        try:
            with open(f"/proc/{self.pid}/status", encoding="utf-8") as status:
                for line in status:
                    if line.startswith("VmRSS:"):
                        return int(line.split()[1])
        except OSError:
            pass
        return 0

    def stop(self) -> None:
        try:
            super().stop()
        finally:
            shutil.rmtree(self.profile, ignore_errors=True)


def launch(kind: str, timeout: float = 60.0) -> Office:
    """Starts Writer or Calc (`kind`: "writer" or "calc") with a new empty document and waits
    for its window. The GTK 3 plugin puts its accessibility tree on the session's bus."""
    profile = tempfile.mkdtemp(prefix="pelorix-office-")
    user = Path(profile, "user")
    user.mkdir()
    (user / "registrymodifications.xcu").write_text(_PROFILE, encoding="utf-8")
    env = dict(os.environ, SAL_USE_VCLPLUGIN="gtk3")
    argv = [str(SOFFICE), f"--{kind}", "--norestore", "--nologo", "--nolockcheck",
            f"-env:UserInstallation={Path(profile).as_uri()}"]
    office = None
    try:
        # A new profile is set up on the first start, which then exits asking to be started
        # again (status 81; the soffice script's launcher does the same).
        for _ in range(3):
            popen = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL, env=env, start_new_session=True)
            office = Office(popen, TITLES[kind], profile)
            try:
                return office.wait_ready(timeout)  # type: ignore[return-value]
            except AssertionError:
                if popen.poll() != RESTART:
                    raise
        raise AssertionError(f"LibreOffice asked to be restarted again and again ({argv})")
    except BaseException:
        if office is not None:
            office.stop()
        shutil.rmtree(profile, ignore_errors=True)
        raise
