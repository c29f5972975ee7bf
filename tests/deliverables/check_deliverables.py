#!/usr/bin/env python3
"""Checks the plug-in files as the host would find them, with readers that
are not our writer: pefile for the PE, binutils/LLVM tools and small readers
of our own for ELF, Mach-O and the resource file.

  check_deliverables.py linux ZelvanClipCycle.so
  check_deliverables.py pipl-tool path/to/zelvan-pipl WORKDIR
  check_deliverables.py windows ZelvanClipCycle.aex
  check_deliverables.py macos ZelvanClipCycle.plugin
"""
import os
import plistlib
import re
import shutil
import struct
import subprocess
import sys

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import macho_reader  # noqa: E402
import pipl_reference  # noqa: E402
import rsrc_reader  # noqa: E402

ENTRY = "EntryPointFunc"
EXECUTABLE = "ZelvanClipCycle"
BUNDLE_TYPE, BUNDLE_CREATOR = "eFKT", "FXTC"
# The Windows build may import from these system DLLs only.
WINDOWS_DLLS = {"kernel32.dll", "msvcrt.dll"}
# The host-interface helpers: the effect calls only UnionLRect.
RECT_HELPERS = ["UnionLRect", "IsEmptyRect", "IsEdgePixel"]
SUITE_HELPERS = ["AEFX_AcquireSuite", "AEFX_ReleaseSuite", "AEFX_AcquireDrawbotSuites", "AEFX_ReleaseDrawbotSuites"]


class Checks:
    def __init__(self):
        self.failed = []

    def expect(self, ok, what, detail=""):
        print(("ok    " if ok else "FAIL  ") + what + ("" if ok or not detail else ": " + str(detail)))
        if not ok:
            self.failed.append(what)
        return ok

    def note(self, what):
        print("note  " + what)

    def finish(self):
        print("%d failed" % len(self.failed) if self.failed else "all checks passed")
        return 1 if self.failed else 0


def tool(name, *alternatives):
    for n in (name,) + alternatives:
        path = shutil.which(n)
        if path:
            return path
    sys.exit("missing tool: %s (tools/setup.sh installs it)" % name)


def run(*cmd):
    return subprocess.run(cmd, check=True, capture_output=True, text=True).stdout


def mangled(name):
    # Itanium mangling of a free function: _Z<length><name>...
    return "_Z%d%s" % (len(name), name)


def first_difference(a, b):
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return "first difference at byte %d: %02x != %02x" % (i, x, y)
    return "sizes %d and %d" % (len(a), len(b))


# ---------------------------------------------------------------- Linux


def elf_section(blob, wanted):
    if blob[:4] != b"\x7fELF" or blob[4] != 2 or blob[5] != 1:
        raise ValueError("not a 64-bit little-endian ELF file")
    shoff, = struct.unpack_from("<Q", blob, 0x28)
    shentsize, shnum, shstrndx = struct.unpack_from("<HHH", blob, 0x3A)
    def header(i):
        return struct.unpack_from("<IIQQQQIIQQ", blob, shoff + i * shentsize)
    strtab = header(shstrndx)
    for i in range(shnum):
        h = header(i)
        name = blob[strtab[4] + h[0]:blob.index(b"\0", strtab[4] + h[0])].decode()
        if name == wanted:
            return blob[h[4]:h[4] + h[5]]
    return None


def check_linux(path):
    c = Checks()
    readelf = tool("readelf")
    defined = set()
    for line in run(readelf, "--dyn-syms", "-W", path).splitlines():
        f = line.split()
        if len(f) >= 8 and f[0].endswith(":") and f[6] != "UND" and f[4] in ("GLOBAL", "WEAK", "GNU_UNIQUE") \
                and f[3] not in ("SECTION", "FILE"):
            defined.add(f[7].split("@")[0])
    c.expect(defined == {ENTRY}, "the .so exports EntryPointFunc and nothing else", sorted(defined))
    with open(path, "rb") as f:
        section = elf_section(f.read(), ".zelvan_pipl")
    c.expect(section is not None, "the .so has a .zelvan_pipl section")
    if section is not None:
        c.expect(section == pipl_reference.WINDOWS, "its 290 bytes are the Windows list",
                 first_difference(section, pipl_reference.WINDOWS))
    return c.finish()


# ---------------------------------------------------------------- the tool


def check_bundle_metadata(c, plist_path, pkginfo_path, min_macos=None):
    with open(plist_path, "rb") as f:
        plist = plistlib.load(f)
    c.expect(plist.get("CFBundleExecutable") == EXECUTABLE, "Info.plist names the executable " + EXECUTABLE,
             plist.get("CFBundleExecutable"))
    c.expect(plist.get("CFBundlePackageType") == BUNDLE_TYPE and plist.get("CFBundleSignature") == BUNDLE_CREATOR,
             "Info.plist gives package type %s, creator %s" % (BUNDLE_TYPE, BUNDLE_CREATOR))
    c.expect(bool(plist.get("CFBundleIdentifier")), "Info.plist has a bundle identifier")
    if min_macos is not None:
        c.expect(plist.get("LSMinimumSystemVersion", "").split(".")[:2] == min_macos.split(".")[:2],
                 "Info.plist's minimum macOS equals the executable's (%s)" % min_macos,
                 plist.get("LSMinimumSystemVersion"))
    with open(pkginfo_path, "rb") as f:
        pkginfo = f.read()
    c.expect(pkginfo == (BUNDLE_TYPE + BUNDLE_CREATOR).encode(), "PkgInfo holds its 8 bytes", pkginfo)


def read_property_list(blob, byteorder):
    """{key: data} of a property list, as a host walks it: header, then each
    property's vendor, key, identifier, length and padded data."""
    version, list_version, count = struct.unpack_from(byteorder + "HII", blob, 0)
    if (version, list_version) != (1, 0):
        raise ValueError("list header %d, %d" % (version, list_version))
    at, properties = 10, {}
    for _ in range(count):
        vendor, key, _id, length = struct.unpack_from(byteorder + "4I", blob, at)
        if vendor != struct.unpack(">I", b"8BIM")[0] or at + 16 + length > len(blob):
            raise ValueError("malformed property at byte %d" % at)
        properties[struct.pack(">I", key)] = blob[at + 16:at + 16 + length]
        at += 16 + (length + 3) // 4 * 4
    if at != len(blob):
        raise ValueError("%d bytes after the last property" % (len(blob) - at))
    return properties


def entry_point_name(data):
    """The zero-terminated name a code property holds, or None."""
    return data.split(b"\0", 1)[0].decode() if data and b"\0" in data else None


def check_rsrc(c, path):
    with open(path, "rb") as f:
        resources = rsrc_reader.read(f.read())
    c.expect(list(resources) == [(b"PiPL", pipl_reference.RESOURCE_ID)],
             "the resource file holds one 'PiPL' %d and nothing else" % pipl_reference.RESOURCE_ID, list(resources))
    entry = resources.get((b"PiPL", pipl_reference.RESOURCE_ID))
    if entry:
        c.expect(entry[2] == pipl_reference.MACOS, "its %d bytes are the macOS list" % len(pipl_reference.MACOS),
                 first_difference(entry[2], pipl_reference.MACOS))
        return read_property_list(entry[2], ">")
    return {}


def check_tool(tool_path, workdir):
    c = Checks()
    os.makedirs(workdir, exist_ok=True)
    out = {k: os.path.join(workdir, v) for k, v in
           dict(data="PiPL.bin", rc="PiPL.rc", rsrc="x.rsrc", plist="Info.plist", pkginfo="PkgInfo").items()}
    subprocess.run([tool_path, "--windows-data", out["data"], "--windows-rc", out["rc"], "--macos-rsrc", out["rsrc"],
                    "--macos-info-plist", out["plist"], "--macos-pkginfo", out["pkginfo"], "--macos-min", "11.0"],
                   check=True)
    with open(out["data"], "rb") as f:
        data = f.read()
    c.expect(data == pipl_reference.WINDOWS, "the Windows data file is the Windows list",
             first_difference(data, pipl_reference.WINDOWS))
    with open(out["rc"]) as f:
        rc = f.read()
    c.expect(re.search(r"^LANGUAGE 9, 1$", rc, re.M) is not None, "the script sets language 1033 (9, 1)")
    c.expect(('16000 PIPL "%s"' % out["data"]) in rc, "the script embeds the data file as PIPL 16000", rc)
    check_rsrc(c, out["rsrc"])
    check_bundle_metadata(c, out["plist"], out["pkginfo"], "11.0")
    return c.finish()


# ---------------------------------------------------------------- Windows


def check_windows(path):
    c = Checks()
    try:
        import pefile
    except ImportError:
        sys.exit("pefile missing: run with Debian's python3 and its python3-pefile")
    pe = pefile.PE(path)
    c.expect(pe.FILE_HEADER.Machine == pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"], "the PE is x86-64")
    c.expect(pe.OPTIONAL_HEADER.Magic == pefile.OPTIONAL_HEADER_MAGIC_PE_PLUS, "it is PE32+")
    c.expect(pe.is_dll(), "it is a DLL")
    c.expect(path.endswith(".aex"), "it is named .aex")

    exports = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
    names = [s.name.decode() if s.name else "#%d" % s.ordinal for s in exports.symbols] if exports else []
    c.expect(names == [ENTRY], "it exports exactly EntryPointFunc, by name", names)
    if exports:
        c.expect(all(s.forwarder is None for s in exports.symbols), "the export is not forwarded")

    dlls = [i.dll.decode() for i in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    c.expect(bool(dlls) and all(d.lower() in WINDOWS_DLLS for d in dlls),
             "it imports only from %s" % ", ".join(sorted(WINDOWS_DLLS)), dlls)
    c.expect(not getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", None), "it has no delay-loaded imports")

    found = []
    for rtype in getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None).entries if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE") else []:
        tname = str(rtype.name) if rtype.name is not None else rtype.id
        for rname in rtype.directory.entries:
            for lang in rname.directory.entries:
                found.append((tname, rname.name and str(rname.name) or rname.id, lang.id, lang.data.struct))
    keys = [(t, n, l) for t, n, l, _ in found]
    want = ("PIPL", pipl_reference.RESOURCE_ID, pipl_reference.LANGUAGE_EN_US)
    c.expect(keys == [want], "its one resource is PIPL / 16000 / 1033", keys)
    for t, n, l, struct_ in found:
        if (t, n, l) == want:
            data = pe.get_data(struct_.OffsetToData, struct_.Size)
            c.expect(data == pipl_reference.WINDOWS, "the resource's 290 bytes are the Windows list",
                     first_difference(data, pipl_reference.WINDOWS))

    symbols = run(tool("x86_64-w64-mingw32-nm"), path)
    c.expect(mangled("UnionLRect") in symbols, "it carries UnionLRect")
    carried = [h for h in SUITE_HELPERS if mangled(h) in symbols]
    c.expect(not carried, "it carries none of the suite helpers", carried)
    others = [h for h in RECT_HELPERS[1:] if mangled(h) in symbols]
    if others:
        c.note("also carried (ld keeps every function that has unwind data): " + ", ".join(others))
    return c.finish()


# ---------------------------------------------------------------- macOS


def check_macos(bundle):
    c = Checks()
    contents = os.path.join(bundle, "Contents")
    exe = os.path.join(contents, "MacOS", EXECUTABLE)
    rsrc = os.path.join(contents, "Resources", EXECUTABLE + ".rsrc")
    layout = [os.path.join(contents, p) for p in ("Info.plist", "PkgInfo")] + [exe, rsrc]
    missing = [p for p in layout if not os.path.isfile(p)]
    if not c.expect(not missing, "the bundle has Info.plist, PkgInfo, MacOS/%s, Resources/%s.rsrc" %
                    (EXECUTABLE, EXECUTABLE), missing):
        return c.finish()
    c.expect(os.access(exe, os.X_OK), "the executable has its execute bit")

    with open(exe, "rb") as f:
        m = macho_reader.MachO(f.read())
    c.expect(m.cpu_type == macho_reader.CPU_TYPE_X86_64, "the Mach-O is x86-64", hex(m.cpu_type))
    c.expect(m.file_type == "MH_BUNDLE", "it is an MH_BUNDLE", m.file_type)
    c.expect(m.id_dylib is None, "a bundle carries no install name (LC_ID_DYLIB)", m.id_dylib)
    c.expect([p for _, p in m.dylibs] == ["/usr/lib/libSystem.B.dylib"], "it links /usr/lib/libSystem.B.dylib only",
             m.dylibs)
    c.expect(not m.rpaths, "it has no run-path", m.rpaths)
    c.expect(m.min_macos is not None and m.min_macos != "0.0.0", "it states a minimum macOS version", m.min_macos)
    c.expect(m.exports == ["_" + ENTRY], "its export trie holds _EntryPointFunc only", m.exports)
    c.expect(m.external_definitions == ["_" + ENTRY], "its symbol table defines _EntryPointFunc as the only external",
             m.external_definitions)
    nm = run(tool("llvm-nm-14", "llvm-nm"), "-g", "--defined-only", exe).split()
    c.expect(nm[-2:] == ["T", "_" + ENTRY] and len(nm) == 3, "llvm-nm agrees", nm)
    missing = [h for h in RECT_HELPERS + SUITE_HELPERS if not any(mangled(h) in s for s in m.local_symbols)]
    c.expect(not missing, "it carries all seven host-interface helpers, none exported", missing)

    # ld64.lld 14 cannot point compact unwind at DWARF FDEs: no function may need one.
    unwind = run(tool("llvm-objdump-14", "llvm-objdump"), "--macho", "--unwind-info", exe)
    encodings = [int(e, 16) for e in re.findall(r"encoding(?:\[\d+\])?[:=]\s*0x([0-9a-fA-F]{8})", unwind)]
    dwarf = [hex(e) for e in encodings if e & 0x0F000000 == 0x04000000]
    c.expect(bool(encodings) and not dwarf, "its compact unwind info has no DWARF-mode entries", dwarf[:5])

    properties = check_rsrc(c, rsrc)
    name = entry_point_name(properties.get(pipl_reference.MACOS_CODE["x86_64"]))
    c.expect(name is not None and "_" + name in m.exports,
             "the x86-64 code property names a symbol the executable exports", name)
    check_bundle_metadata(c, os.path.join(contents, "Info.plist"), os.path.join(contents, "PkgInfo"), m.min_macos)
    return c.finish()


def main(argv):
    commands = {"linux": (check_linux, 1), "pipl-tool": (check_tool, 2), "windows": (check_windows, 1),
                "macos": (check_macos, 1)}
    if len(argv) < 2 or argv[1] not in commands or len(argv) - 2 != commands[argv[1]][1]:
        sys.exit(__doc__)
    return commands[argv[1]][0](*argv[2:])


if __name__ == "__main__":
    sys.exit(main(sys.argv))
