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
WRITE_FAILED = "Cannot write ZELDIR to the system environment!"
# The administrators may read the environment key and change its security,
# but not write its values.
READ_ONLY = "O:BAD:(A;;0xe0019;;;BA)"
STRING_TYPES = {"REG_SZ": 1, "REG_EXPAND_SZ": 2}
NO_KEY = object()
NO_VALUE = object()
failures = []


def wine(*arguments):
    return wineTools.run(state, [wineTools.WINE, *arguments])


def readValue(key, name, view="32"):
    """'<type> <length> <data>' as read from the registry view `view` (32 or
    64), or 'missing'."""
    return wine(os.path.join(windowsBin, "read-value.exe"), view, key, name)[1].decode().strip()


def keySecurity(sddl):
    """Gives the environment key the owner and access list `sddl`; returns
    the ones it had."""
    return wine(os.path.join(windowsBin, "key-security.exe"), ENVIRONMENT_KEY,
                sddl)[1].decode().strip()


def prepare(install, installType, view, zeldir):
    """InstallPath of `installType` in the registry view `view` only, and
    ZELDIR as the pair (type, data), or absent when None."""
    for bits in ("32", "64"):
        wine("reg", "delete", "HKLM\\" + INSTALL_KEY, "/f", "/reg:" + bits)
    wine("reg", "delete", "HKLM\\" + ENVIRONMENT_KEY, "/v", "ZELDIR", "/f")
    if install is not NO_KEY:
        wine("reg", "add", "HKLM\\" + INSTALL_KEY, "/f", "/reg:" + view)
    if install not in (NO_KEY, NO_VALUE):
        wine("reg", "add", "HKLM\\" + INSTALL_KEY, "/v", "InstallPath", "/t", installType,
             "/d", install, "/f", "/reg:" + view)
        # The value must hold exactly the text (or number), whatever the
        # quoting on the way.
        stored = readValue(INSTALL_KEY, "InstallPath", view)
        size = len(install.encode("utf-16-le")) + 2
        wanted = (f"4 4 {int(install).to_bytes(4, 'little').hex()}" if installType == "REG_DWORD"
                  else f"{STRING_TYPES[installType]} {size} {install}<NUL>")
        if stored != wanted:
            failures.append(f"setup: InstallPath {install!r} reads {stored!r}")
    if zeldir is not None:
        wine("reg", "add", "HKLM\\" + ENVIRONMENT_KEY, "/v", "ZELDIR", "/t", zeldir[0],
             "/d", zeldir[1], "/f")


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


def scenario(name, install, wanted, box=REFRESH_FAILED, code=2, zeldir=None, runs=1,
             installType="REG_SZ", view="32", refused=False):
    """`wanted` is ZELDIR as readValue shows it after every one of `runs`;
    `refused` denies tirrel the right to write the environment key."""
    prepare(install, installType, view, zeldir)
    former = keySecurity(READ_ONLY) if refused else None
    try:
        for run in range(runs):
            actual = runTirrel() + (readValue(ENVIRONMENT_KEY, "ZELDIR"),)
            if actual != (code, [box], wanted):
                failures.append(f"{name} (run {run + 1}): exit, boxes, ZELDIR {actual}, wanted "
                                f"{(code, [box], wanted)}")
    finally:
        if refused and not keySecurity(former):
            failures.append(f"{name}: the environment key's security was not given back")


# The watcher itself: its usage when called wrongly, and exit code 1, soon,
# when no box comes.
for arguments, wanted in ((["tirrel"], 2), (["tirrel", "one"], 2), (["tirrel", "1", "0"], 2),
                          (["tirrel", "1", "2", "3"], 2), (["tirrel", "1", "1"], 1)):
    code, _, error = wine(os.path.join(windowsBin, "dismiss-boxes.exe"), *arguments)
    if code != wanted or ("usage: dismiss-boxes" in error) != (wanted == 2):
        failures.append(f"dismiss-boxes {' '.join(arguments)}: exit {code}, {error!r}")

scenario("missing key", NO_KEY, "missing", NOT_INSTALLED, 1)
scenario("missing value", NO_VALUE, "missing", NOT_INSTALLED, 1)
# A new variable from a REG_SZ is a REG_SZ; its data, UTF-16, carries the
# terminating NUL.
scenario("one trailing backslash", "C:\\Zel\\", "1 14 C:\\Zel<NUL>", runs=2)
scenario("two trailing backslashes", "C:\\Zel\\\\", "1 16 C:\\Zel\\<NUL>")
scenario("drive root", "C:\\", "1 6 C:<NUL>")
scenario("blanks, no backslash", "C:\\Program Files\\Zel", "1 42 C:\\Program Files\\Zel<NUL>")
scenario("empty value", "", "1 2 <NUL>")
# Characters beyond the ANSI code page (1252 here) are kept.
scenario("Japanese", "C:\\日本語\\ZEL\\", "1 22 C:\\日本語\\ZEL<NUL>")
scenario("Polish", "C:\\Łódź\\ZEL", "1 24 C:\\Łódź\\ZEL<NUL>")
scenario("InstallPath a REG_DWORD", "5", "missing", NOT_INSTALLED, 1, installType="REG_DWORD")
scenario("key only in the 64-bit view", "D:\\Zel64", "1 18 D:\\Zel64<NUL>", view="64")
# Without the right to write the environment key: reported, the old value
# stays, and nothing is broadcast (no second box). The rows after it write
# again.
scenario("write refused", "C:\\Zel", "1 14 C:\\Old<NUL>", WRITE_FAILED, 3,
         zeldir=("REG_SZ", "C:\\Old"), refused=True)
# A new variable takes InstallPath's type, and expandable text stays as it
# is; an existing one keeps its type if it is text, else becomes REG_SZ.
scenario("REG_EXPAND_SZ into a new value", "%ProgramFiles%\\ZEL\\", "2 38 %ProgramFiles%\\ZEL<NUL>",
         installType="REG_EXPAND_SZ")
scenario("existing REG_EXPAND_SZ kept", "D:\\Zel\\", "2 14 D:\\Zel<NUL>",
         zeldir=("REG_EXPAND_SZ", "%SystemDrive%\\Old"), runs=2)
for kind, data in (("REG_DWORD", "5"), ("REG_BINARY", "0102"), ("REG_MULTI_SZ", "a\\0b")):
    scenario(f"existing {kind} replaced", "%ProgramFiles%\\ZEL", "1 38 %ProgramFiles%\\ZEL<NUL>",
             installType="REG_EXPAND_SZ", zeldir=(kind, data))

for failure in failures:
    print("FAIL", failure)
print(f"tirrel: {'all passed' if not failures else f'{len(failures)} failed'}")
sys.exit(1 if failures else 0)
