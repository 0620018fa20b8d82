"""The shipped Windows binaries as a loader and Explorer see them: format,
subsystem, exports, imported DLLs and calls, and resources.

Usage: checkBinaries.py OBJDUMP BIN_DIR"""
import os
import re
import struct
import subprocess
import sys
from xml.etree import ElementTree

objdump, binDir = sys.argv[1], sys.argv[2]
failures = []

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "msvcrt.dll", "ntdll.dll"}


def check(condition, what):
    if not condition:
        failures.append(what)


def headers(path):
    return subprocess.run([objdump, "-p", "-f", path], capture_output=True, text=True,
                          check=True).stdout


def imports(listing):
    """{dll name in lower case: set of imported names}"""
    table = {}
    current = None
    for line in listing.splitlines():
        named = re.match(r"\s+DLL Name: (\S+)", line)
        if named:
            current = table.setdefault(named.group(1).lower(), set())
        elif current is not None:
            call = re.match(r"\s+[0-9a-f]+\s+\d+\s+(\w+)$", line)
            if call:
                current.add(call.group(1))
    return table


def exports(listing):
    """[(ordinal, name)] from the name pointer table"""
    base = re.search(r"Ordinal Base\s+(\d+)", listing)
    if not base:
        return []
    table = listing.split("[Ordinal/Name Pointer] Table", 1)[1]
    return sorted((int(index) + int(base.group(1)), name)
                  for index, name in re.findall(r"^\s+\[\s*(\d+)\] (\S+)$", table, re.M))


def resources(path):
    """[(type number, name)] as wrestool lists them: 3 icon image,
    14 group icon, 16 version, 24 manifest"""
    listing = subprocess.run(["wrestool", "-l", path], capture_output=True, text=True,
                             check=True).stdout
    return sorted(re.findall(r"--type=(\S+) --name=(\S+)", listing))


def rawResource(path, kind, name):
    return subprocess.run(["wrestool", "-x", "--raw", "--type=" + kind, "--name=" + name, path],
                          capture_output=True, check=True).stdout


def checkIconGroups(path, found):
    """Every group icon names images that exist, and every image is used."""
    images = {name for kind, name in found if kind == "3"}
    used = set()
    for kind, name in found:
        if kind == "14":
            group = rawResource(path, "14", name)
            count = struct.unpack_from("<H", group, 4)[0]
            used |= {str(struct.unpack_from("<H", group, 6 + 14 * i + 12)[0])
                     for i in range(count)}
    check(used and used == images, f"{path}: icon images {images}, used by groups {used}")


def versionNodes(data, offset=0):
    """Parses one VS_VERSIONINFO node: (key, value bytes, text?, children)."""
    length, valueLength, isText = struct.unpack_from("<HHH", data, offset)
    end = offset + length
    keyEnd = offset + 6
    while data[keyEnd:keyEnd + 2] != b"\0\0":
        keyEnd += 2
    key = data[offset + 6:keyEnd].decode("utf-16-le")
    position = (keyEnd + 2 + 3) & ~3
    size = valueLength * 2 if isText else valueLength
    value = data[position:position + size]
    position = (position + size + 3) & ~3
    children = []
    while position < end:
        child = versionNodes(data, position)
        children.append(child[:4])
        position = (child[4] + 3) & ~3
    return key, value, isText, children, end


def checkVersion(path, fileType, description):
    """Explorer's file properties: the version, the type (1 program, 2 DLL)
    and the seven strings."""
    data = rawResource(path, "16", "1")
    if not data:
        return check(False, f"{path}: no version resource")
    key, fixed, _, children, _ = versionNodes(data)
    check(key == "VS_VERSION_INFO", f"{path}: version root {key!r}")
    signature, _, fileMs, fileLs, productMs, productLs = struct.unpack_from("<6I", fixed)
    check(signature == 0xFEEF04BD, f"{path}: no fixed file information")
    check((fileMs, fileLs, productMs, productLs) == (0x10000, 0, 0x10000, 0),
          f"{path}: file/product version {fileMs:#x}.{fileLs:#x} {productMs:#x}.{productLs:#x}")
    check(struct.unpack_from("<I", fixed, 36)[0] == fileType, f"{path}: not of file type {fileType}")
    blocks = {child[0]: child[3] for child in children}
    check(sorted(blocks) == ["StringFileInfo", "VarFileInfo"], f"{path}: blocks {sorted(blocks)}")
    tables = blocks.get("StringFileInfo", [])
    check([table[0] for table in tables] == ["040904E4"],
          f"{path}: string tables {[table[0] for table in tables]}")
    strings = {name: value.decode("utf-16-le").rstrip("\0")
               for name, value, _, _ in (tables[0][3] if tables else [])}
    check(strings == {"CompanyName": "Quenmark", "FileDescription": description,
                      "FileVersion": "1.0.0", "ProductName": "vesk", "ProductVersion": "1.0.0",
                      "LegalCopyright": "Copyright (c) 2026 the vesk and tirrel developers",
                      "OriginalFilename": os.path.basename(path)},
          f"{path}: strings {strings}")
    translations = [value for name, value, _, _ in blocks.get("VarFileInfo", [])
                    if name == "Translation"]
    check(translations == [struct.pack("<HH", 0x0409, 0x04E4)],
          f"{path}: translation {translations}")


def checkImports(path, table, required, forbidden=()):
    check(set(table) <= SYSTEM_DLLS, f"{path}: needs DLLs beyond the system's: "
          f"{sorted(set(table) - SYSTEM_DLLS)}")
    calls = set().union(*table.values())
    check(set(required) <= calls, f"{path}: does not call {sorted(set(required) - calls)}")
    check(not calls & set(forbidden), f"{path}: calls {sorted(calls & set(forbidden))}")


library = f"{binDir}/vesk.dll"
listing = headers(library)
check("file format pei-i386" in listing, f"{library}: not a 32-bit Windows binary")
check(exports(listing) == [(1, "unzip"), (2, "unzipOneFile")],
      f"{library}: exports {exports(listing)}")
check(re.search(r"Export Address Table\s+0+2\n", listing),
      f"{library}: the export address table holds other than two entries")
checkImports(library, imports(listing),
             ["MessageBoxW", "GetFocus", "SetFocus", "CreateDirectoryW",
              # the archive opened once, read at positions
              "CreateFileW", "ReadFile",
              # below the destination, names relative to a directory handle
              "NtCreateFile", "NtQueryDirectoryFile", "NtSetInformationFile",
              "MultiByteToWideChar", "DosDateTimeToFileTime", "FileTimeToSystemTime",
              "TzSpecificLocalTimeToSystemTime", "SystemTimeToFileTime", "SetFileTime"],
             # today's offset would shift summer times extracted in winter; the
             # ANSI calls would read UTF-8 names in the ANSI code page
             ["LocalFileTimeToFileTime", "MessageBoxA", "CreateDirectoryA", "fopen", "_wfopen"])
found = resources(library)
check({kind for kind, _ in found} == {"3", "14", "16"},
      f"{library}: resources {found}")
checkIconGroups(library, found)
checkVersion(library, 2, "ZIP archive extraction library of the ZEL package")

program = f"{binDir}/tirrel.exe"
listing = headers(program)
check("file format pei-i386" in listing, f"{program}: not a 32-bit Windows binary")
check(re.search(r"Subsystem\s+00000002", listing), f"{program}: not a GUI-subsystem program")
checkImports(program, imports(listing),
             ["RegOpenKeyExW", "RegQueryValueExW", "RegSetValueExW", "RegCloseKey",
              "SendMessageTimeoutA", "MessageBoxA"],
             # no window of its own; the ANSI registry calls would lose paths
             # that the ANSI code page cannot spell
             ["CreateWindowExA", "CreateWindowExW", "RegOpenKeyA", "RegOpenKeyExA",
              "RegQueryValueExA", "RegSetValueExA"])
found = resources(program)
check({kind for kind, _ in found} == {"3", "14", "16", "24"}
      and [name for kind, name in found if kind == "14"] == ["101"]
      and [name for kind, name in found if kind == "24"] == ["1"],
      f"{program}: resources {found}")
checkIconGroups(program, found)
checkVersion(program, 1, "Stores the ZEL install folder in ZELDIR")
# The process's manifest (resource 1, and no default one beside it): no
# elevation of its own, and the systems it was written for.
manifest = ElementTree.fromstring(rawResource(program, "24", "1"))
levels = [node.get("level") for node in
          manifest.iter("{urn:schemas-microsoft-com:asm.v3}requestedExecutionLevel")]
systems = [node.get("Id") for node in
           manifest.iter("{urn:schemas-microsoft-com:compatibility.v1}supportedOS")]
check(levels == ["asInvoker"], f"{program}: execution levels {levels}")
check(len(set(systems)) == 5, f"{program}: supported systems {systems}")

# The Windows host loads the DLL at run time: it is not among its imports.
program = f"{binDir}/vesk-extract.exe"
listing = headers(program)
check("file format pei-i386" in listing, f"{program}: not a 32-bit Windows binary")
check(re.search(r"Subsystem\s+00000003", listing), f"{program}: not a console program")
checkImports(program, imports(listing), ["LoadLibraryA", "GetProcAddress", "GetModuleFileNameA"])
found = resources(program)
check(found == [("16", "1")], f"{program}: resources {found}")
checkVersion(program, 1, "Extracts a ZIP archive with vesk.dll from the command line")

for failure in failures:
    print("FAIL", failure)
print(f"binaries: {'all passed' if not failures else f'{len(failures)} failed'}")
sys.exit(1 if failures else 0)
