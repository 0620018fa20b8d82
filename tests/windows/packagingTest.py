"""The Windows install tree and release archive, a consumer project built
against the installed CMake package and run under Wine, the Windows
command-line host from the install tree, on an archive that extracts and on
one that fails with a box, and the archive as a user meets it: one folder,
CRLF text, a README.txt that names what is there, a C89 header.

Usage: packagingTest.py STATE_DIR SOURCE_DIR BUILD_DIR"""
import filecmp
import os
import re
import shutil
import subprocess
import sys
import zipfile

import wineTools

state, source, build = sys.argv[1:4]
work = os.path.join(state, "packaging")
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
failures = []
TREE = sorted(["README.txt", "LICENSE.txt", "bin/tirrel.exe", "bin/vesk-extract.exe",
               "bin/vesk.dll", "include/vesk.h", "lib/vesk.def", "lib/vesk.lib",
               "lib/cmake/vesk/veskConfig.cmake", "lib/cmake/vesk/veskConfig-release.cmake",
               "lib/cmake/vesk/veskConfigVersion.cmake"])


def quietly(*arguments):
    ran = subprocess.run(arguments, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if ran.returncode != 0:
        failures.append(f"{' '.join(arguments)}: {ran.stdout.decode(errors='replace')[-2000:]}")
    return ran.returncode == 0


def sameTree(expected, actual):
    comparison = filecmp.dircmp(expected, actual)
    return not (comparison.left_only or comparison.right_only or comparison.diff_files) and all(
        sameTree(os.path.join(expected, name), os.path.join(actual, name))
        for name in comparison.common_dirs)


prefix = os.path.join(work, "prefix")
quietly("cmake", "--install", build, "--prefix", prefix)
listed = sorted(os.path.relpath(os.path.join(folder, name), prefix).replace(os.sep, "/")
                for folder, _, names in os.walk(prefix) for name in names)
if listed != TREE:
    failures.append(f"install tree: {listed}")

sample = os.path.join(work, "sample.zip")
shutil.copy(os.path.join(source, "host", "sample", "sample.zip"), sample)
expected = os.path.join(work, "expected")
with zipfile.ZipFile(sample) as archive:
    archive.extractall(expected)

# A project of its own finds the package, links the import library and runs
# with the DLL beside it.
consumer = os.path.join(work, "consumer")
if quietly("cmake", "-S", os.path.join(source, "examples", "consumer"), "-B", consumer,
           "-DCMAKE_TOOLCHAIN_FILE=" + os.environ["VESK_TOOLCHAIN"],
           "-DCMAKE_PREFIX_PATH=" + prefix, "-DCMAKE_BUILD_TYPE=Release") \
        and quietly("cmake", "--build", consumer):
    shutil.copy(os.path.join(prefix, "bin", "vesk.dll"), consumer)
    code, _, error = wineTools.run(state, [wineTools.WINE, "consumer.exe", "../sample.zip", "consumed"],
                                   cwd=consumer)
    if code != 0 or not sameTree(expected, os.path.join(consumer, "consumed")):
        failures.append(f"consumer: exit {code}, {error!r}")

# The host from the install tree loads the DLL from its own folder; a
# failure shows the library's box, which a person (here a watcher) dismisses.
host = os.path.join(prefix, "bin", "vesk-extract.exe")
code, output, _ = wineTools.run(state, [wineTools.WINE, host, "--version"], cwd=work)
if code != 0 or output.strip() != b"vesk-extract 1.0.0":
    failures.append(f"--version: exit {code}, {output!r}")
code, _, error = wineTools.run(state, [wineTools.WINE, host, "sample.zip", "hosted"], cwd=work)
if code != 0 or not sameTree(expected, os.path.join(work, "hosted")):
    failures.append(f"host: exit {code}, {error!r}")
with open(os.path.join(work, "boxes"), "wb") as boxes:
    watcher = subprocess.Popen([wineTools.WINE, os.path.join(build, "bin", "dismiss-boxes.exe"),
                                "ZEL Development Environment", "1"],
                               env=wineTools.environment(state), stdin=subprocess.DEVNULL,
                               stdout=boxes, stderr=subprocess.DEVNULL)
    code, _, error = wineTools.run(state, [wineTools.WINE, host, "missing.zip", "hosted"], cwd=work)
    watcher.wait(timeout=60)
with open(os.path.join(work, "boxes"), "rb") as boxes:
    shown = boxes.read().decode(errors="replace").splitlines()
if code != 1 or shown != ["Cannot open input file #missing.zip# :-("]:
    failures.append(f"host on a missing archive: exit {code}, boxes {shown}")
code, _, error = wineTools.run(state, [wineTools.WINE, host], cwd=work)
if code != 2 or "usage: vesk-extract ARCHIVE [DEST]" not in error:
    failures.append(f"host without arguments: exit {code}, {error!r}")

# The build's own MinGW compiler: i686 for the deliverables, x86_64 where the
# suite runs on the 64-bit build.
COMPILER = ("x86_64" if "x86_64" in os.environ["VESK_TOOLCHAIN"] else "i686") + "-w64-mingw32-gcc"

# The release archive holds the install tree in one folder of its name. Its
# README.txt names files that are there and the messages of README.md's
# table; a C89 program compiles and links as it says.
folder = "vesk-1.0.0-win32"
unpacked = os.path.join(work, "unpacked")
if quietly("cpack", "--config", os.path.join(build, "CPackConfig.cmake"), "-B",
           os.path.join(work, "packages")):
    with zipfile.ZipFile(os.path.join(work, "packages", folder + ".zip")) as package:
        names = sorted(name for name in package.namelist() if not name.endswith("/"))
        package.extractall(unpacked)
    if names != [f"{folder}/{name}" for name in TREE]:
        failures.append(f"{folder}.zip: {names}")
    else:
        root = os.path.join(unpacked, folder)
        for name in ["README.txt", "LICENSE.txt", "include/vesk.h", "lib/vesk.def"]:
            with open(os.path.join(root, name), "rb") as text:
                lines = text.read().split(b"\r\n")
            if len(lines) < 2 or any(b"\r" in line or b"\n" in line for line in lines):
                failures.append(f"{name}: not CRLF throughout")
        with open(os.path.join(root, "README.txt"), encoding="ascii") as text:
            readme = text.read()
        with open(os.path.join(source, "README.md"), encoding="utf-8") as text:
            table = text.read().split("### Messages")[1].split("\n#")[0]
        messages = [row.split("|")[1].strip().replace("*", "") for row in table.splitlines()
                    if row.startswith('| "')]
        absent = [path for path in re.findall(r"\b(?:bin|include|lib)\\[\w.\\-]+", readme)
                  if not os.path.exists(os.path.join(root, path.replace("\\", "/")))]
        absent += [message for message in messages if message not in readme]
        if not messages or absent:
            failures.append(f"README.txt out of step with the package: {absent or 'no messages'}")
        program = os.path.join(work, "program.c")
        with open(program, "w") as text:
            text.write('#include <vesk.h>\nint main(void) { return unzip("a.zip", ""); }\n')
        quietly(COMPILER, "-std=c89", "-pedantic", "-Wall", "-Wextra", "-Werror",
                "-I", os.path.join(root, "include"), program, os.path.join(root, "lib", "vesk.lib"),
                "-o", os.path.join(work, "program.exe"))

shutil.rmtree(work, ignore_errors=True)
for failure in failures:
    print("FAIL", failure)
print(f"packaging: {'all passed' if not failures else f'{len(failures)} failed'}")
sys.exit(1 if failures else 0)
