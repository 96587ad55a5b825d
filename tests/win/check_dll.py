"""check_dll.py ARCH DLL [EXPORT ...]: static checks of a built DLL that need no Wine.

- the machine type is the one of ARCH (win32: i386, win64: x86-64);
- every listed export is there under its plain name, and no export carries a
  stdcall decoration ("DllGetClassObject@12" would not be found by COM);
- it imports system DLLs only (no C++ runtime, no threading library);
- its type library (resource TYPELIB 1), when it has one, is of the system
  kind of ARCH (SYS_WIN32 or SYS_WIN64).
"""
import sys

import pefile

MACHINES = {"win32": 0x14C, "win64": 0x8664}
SYSKINDS = {"win32": 1, "win64": 3}  # SYS_WIN32, SYS_WIN64
SYSTEM_DLLS = {
    "advapi32.dll", "atl.dll", "bcrypt.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll",
    "gdiplus.dll", "kernel32.dll", "msvcrt.dll", "ole32.dll", "oleaut32.dll", "secur32.dll",
    "shell32.dll", "shlwapi.dll", "user32.dll", "uxtheme.dll", "version.dll", "wininet.dll",
}


def type_library(pe):
    """The bytes of resource TYPELIB 1, or None."""
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return None
    for rtype in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if rtype.name is None or str(rtype.name) != "TYPELIB":
            continue
        for rid in rtype.directory.entries:
            if rid.id != 1:
                continue
            lang = rid.directory.entries[0]
            return pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size)
    return None


def check(arch, path, exports):
    problems = []
    pe = pefile.PE(path)
    machine = pe.FILE_HEADER.Machine
    if machine != MACHINES[arch]:
        problems.append(f"machine type 0x{machine:X}, expected 0x{MACHINES[arch]:X} for {arch}")
    if not pe.is_dll():
        problems.append("not a DLL")

    names = set()
    if hasattr(pe, "DIRECTORY_ENTRY_EXPORT"):
        names = {s.name.decode() for s in pe.DIRECTORY_ENTRY_EXPORT.symbols if s.name}
    for name in sorted(names):
        if "@" in name:
            problems.append(f"decorated export: {name}")
    for name in exports:
        if name not in names:
            problems.append(f"export missing: {name}")
        else:
            print(f"export: {name}")

    imports = sorted({e.dll.decode().lower() for e in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])})
    if not imports:
        problems.append("no imports found")
    for dll in imports:
        if dll in SYSTEM_DLLS:
            print(f"import: {dll}")
        else:
            problems.append(f"not a system DLL: {dll}")

    tlb = type_library(pe)
    if tlb is not None:
        if tlb[:4] != b"MSFT" or len(tlb) < 24:
            problems.append("type library is not in the MSFT format")
        else:
            syskind = int.from_bytes(tlb[20:24], "little") & 0xF
            if syskind != SYSKINDS[arch]:
                problems.append(f"type library system kind {syskind}, expected {SYSKINDS[arch]}")
            else:
                print(f"type library: system kind {syskind}")
    return problems


def main(argv):
    if len(argv) < 3 or argv[1] not in MACHINES:
        print(__doc__, file=sys.stderr)
        return 2
    problems = check(argv[1], argv[2], argv[3:])
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
