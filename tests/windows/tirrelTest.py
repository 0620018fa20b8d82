"""tirrel.exe under Wine against the Wine registry: what it stores in ZELDIR,
the boxes it shows and its exit codes.

Wine answers every broadcast with the result 1, so each run that gets as far
as the broadcast shows "Refresh environment variables failed!" and exits
with 2; exit code 0 is covered by the native tests.

Usage: tirrelTest.py STATE_DIR WINDOWS_BIN"""
import os
import subprocess
import sys

import wineTools

state, windowsBin = sys.argv[1:3]
INSTALL_KEY = r"Software\Quenmark\ZEL"
ENVIRONMENT_KEY = r"System\CurrentControlSet\Control\Session Manager\Environment"
NOT_INSTALLED = "ZEL is not installed!"
REFRESH_FAILED = "Refresh environment variables failed!"
NO_KEY = object()
NO_VALUE = object()
failures = []


def wine(*arguments):
    return wineTools.run(state, [wineTools.WINE, *arguments])


def readValue(key, name):
    """'<type> <length> <data>' as a 32-bit program reads it, or 'missing'."""
    return wine(os.path.join(windowsBin, "read-value.exe"), key, name)[1].decode().strip()


def prepare(install, zeldir):
    wine("reg", "delete", "HKLM\\" + INSTALL_KEY, "/f")
    wine("reg", "delete", "HKLM\\" + ENVIRONMENT_KEY, "/v", "ZELDIR", "/f")
    if install is not NO_KEY:
        wine("reg", "add", "HKLM\\" + INSTALL_KEY, "/f")
    if install not in (NO_KEY, NO_VALUE):
        wine("reg", "add", "HKLM\\" + INSTALL_KEY, "/v", "InstallPath", "/t", "REG_SZ",
             "/d", install, "/f")
        # The value must hold exactly the text, whatever the quoting on the way.
        stored = readValue(INSTALL_KEY, "InstallPath")
        if stored != f"1 {len(install) + 1} {install}<NUL>":
            failures.append(f"setup: InstallPath {install!r} reads {stored!r}")
    if zeldir is not None:
        wine("reg", "add", "HKLM\\" + ENVIRONMENT_KEY, "/v", "ZELDIR", "/t", "REG_EXPAND_SZ",
             "/d", zeldir, "/f")


def runTirrel():
    """Runs tirrel.exe as a shell would, while a watcher dismisses one box
    captioned "tirrel"; returns the exit code and the boxes' texts."""
    boxesPath = os.path.join(state, "boxes")
    with open(boxesPath, "wb") as boxes:
        watcher = subprocess.Popen([wineTools.WINE, os.path.join(windowsBin, "dismiss-boxes.exe"),
                                    "tirrel", "1"], env=wineTools.environment(state),
                                   stdin=subprocess.DEVNULL, stdout=boxes,
                                   stderr=subprocess.DEVNULL)
        code = wine(os.path.join(windowsBin, "tirrel.exe"))[0]
        try:
            watcher.wait(timeout=60)
        except subprocess.TimeoutExpired:
            watcher.kill()
            watcher.wait()
    with open(boxesPath, "rb") as boxes:
        return code, boxes.read().decode(errors="replace").splitlines()


def scenario(name, install, wanted, box=REFRESH_FAILED, code=2, zeldir=None, runs=1):
    """`wanted` is ZELDIR as readValue shows it after every one of `runs`."""
    prepare(install, zeldir)
    for run in range(runs):
        actual = runTirrel() + (readValue(ENVIRONMENT_KEY, "ZELDIR"),)
        if actual != (code, [box], wanted):
            failures.append(f"{name} (run {run + 1}): exit, boxes, ZELDIR {actual}, wanted "
                            f"{(code, [box], wanted)}")


# The watcher itself: its usage when called wrongly, and exit code 1, soon,
# when no box comes.
for arguments, wanted in ((["tirrel"], 2), (["tirrel", "one"], 2), (["tirrel", "1", "0"], 2),
                          (["tirrel", "1", "2", "3"], 2), (["tirrel", "1", "1"], 1)):
    code, _, error = wine(os.path.join(windowsBin, "dismiss-boxes.exe"), *arguments)
    if code != wanted or ("usage: dismiss-boxes" in error) != (wanted == 2):
        failures.append(f"dismiss-boxes {' '.join(arguments)}: exit {code}, {error!r}")

scenario("missing key", NO_KEY, "missing", NOT_INSTALLED, 1)
scenario("missing value", NO_VALUE, "missing", NOT_INSTALLED, 1)
# A new variable is a REG_SZ; its data carries the terminating NUL.
scenario("one trailing backslash", "C:\\Zel\\", "1 7 C:\\Zel<NUL>", runs=2)
scenario("two trailing backslashes", "C:\\Zel\\\\", "1 8 C:\\Zel\\<NUL>")
scenario("drive root", "C:\\", "1 3 C:<NUL>")
scenario("blanks, no backslash", "C:\\Program Files\\Zel", "1 21 C:\\Program Files\\Zel<NUL>")
scenario("empty value", "", "1 1 <NUL>")
scenario("existing REG_EXPAND_SZ kept", "D:\\Zel\\", "2 7 D:\\Zel<NUL>",
         zeldir="%SystemDrive%\\Old", runs=2)

for failure in failures:
    print("FAIL", failure)
print(f"tirrel: {'all passed' if not failures else f'{len(failures)} failed'}")
sys.exit(1 if failures else 0)
