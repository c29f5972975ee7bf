#!/usr/bin/env python3
"""Checks the plug-in files as the host would find them, with readers that
are not our writer: pefile for the PE, lief for the universal Mach-O,
binutils/LLVM tools, and small readers of our own for ELF and the resource
file. Run with the project's Python, build/venv/bin/python3, into which
tools/setup.sh installs the pinned pefile and lief.

  check_deliverables.py linux ZelvanClipCycle.so
  check_deliverables.py pipl-tool path/to/zelvan-pipl WORKDIR
  check_deliverables.py windows ZelvanClipCycle.aex
  check_deliverables.py macos ZelvanClipCycle.plugin
"""
import hashlib
import os
import plistlib
import re
import shutil
import struct
import subprocess
import sys

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
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
    sys.exit("missing tool: %s (bash tools/setup.sh test installs it)" % name)


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
        sys.exit("pefile missing for %s: run bash tools/setup.sh test (it installs the pinned PyPI pefile "
                 "into the project's Python, build/venv)" % sys.executable)
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


# Mach-O symbol-table type bits.
N_STAB, N_TYPE, N_EXT, N_UNDF = 0xE0, 0x0E, 0x01, 0x0
# Compact unwind: the mode bits, and the mode that defers to a DWARF entry.
UNWIND_MODE_MASK = 0x0F000000
UNWIND_DWARF_MODE = {"x86_64": 0x04000000, "arm64": 0x03000000}
# Runtime functions zig builds without a frame record on arm64, so their
# unwind entries defer to DWARF; no exception ever unwinds through them
# (begin_catch runs once unwinding is over, terminate does not return, and
# the others call nothing that throws).
UNWIND_DWARF_ALLOWED = {"arm64": {"___cxa_begin_catch", "__ZSt9terminatev", "___dynamic_cast", "___clzsi2",
                                  "___strcpy_chk"}}
# Code signature blobs (big-endian).
CSMAGIC_EMBEDDED_SIGNATURE, CSMAGIC_CODEDIRECTORY = 0xFADE0CC0, 0xFADE0C02
CSSLOT_CODEDIRECTORY, CS_ADHOC, CS_HASHTYPE_SHA256 = 0, 0x2, 2


def lief_module():
    try:
        import lief
    except ImportError:
        sys.exit("lief missing for %s: run bash tools/setup.sh test (it installs the pinned PyPI lief "
                 "into the project's Python, build/venv)" % sys.executable)
    lief.logging.disable()
    return lief


def signature_problems(image, offset, size):
    """What is wrong with the ad-hoc signature of one thin image: the code
    directory must be ad hoc, SHA-256, cover every byte before the signature,
    and hold the hash of each page as the bytes are now."""
    blob = image[offset:offset + size]
    if len(blob) < 12 or struct.unpack_from(">I", blob, 0)[0] != CSMAGIC_EMBEDDED_SIGNATURE:
        return ["no embedded signature at its load command's offset"]
    count = struct.unpack_from(">I", blob, 8)[0]
    index = dict(struct.unpack_from(">II", blob, 12 + 8 * i) for i in range(count))
    if CSSLOT_CODEDIRECTORY not in index:
        return ["the signature has no code directory"]
    cd = blob[index[CSSLOT_CODEDIRECTORY]:]
    (magic, _length, _version, flags, hash_offset, ident_offset, _special, code_slots, code_limit, hash_size,
     hash_type, _platform, page_log2) = struct.unpack_from(">IIIIIIIIIBBBB", cd, 0)
    problems = []
    if magic != CSMAGIC_CODEDIRECTORY:
        return ["the code directory has magic %#x" % magic]
    if not flags & CS_ADHOC:
        problems.append("not ad hoc (flags %#x)" % flags)
    if (hash_type, hash_size) != (CS_HASHTYPE_SHA256, 32):
        problems.append("hash type %d of %d bytes, not SHA-256" % (hash_type, hash_size))
    if code_limit != offset:
        problems.append("covers %d bytes, not the %d before the signature" % (code_limit, offset))
    if not cd[ident_offset:cd.index(b"\0", ident_offset)]:
        problems.append("no identifier")
    page = 1 << page_log2
    if code_slots != (code_limit + page - 1) // page:
        problems.append("%d page hashes for %d pages" % (code_slots, (code_limit + page - 1) // page))
    for i in range(min(code_slots, (code_limit + page - 1) // page)):
        want = cd[hash_offset + i * hash_size:hash_offset + (i + 1) * hash_size]
        have = hashlib.sha256(image[i * page:min((i + 1) * page, code_limit)]).digest()
        if have != want:
            problems.append("page %d (bytes %d to %d) does not match its hash" %
                            (i, i * page, min((i + 1) * page, code_limit)))
    return problems


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
    properties = check_rsrc(c, rsrc)

    lief = lief_module()
    with open(exe, "rb") as f:
        blob = f.read()
    fat = lief.MachO.parse(exe)
    arch_names = {lief.MachO.Header.CPU_TYPE.X86_64: "x86_64", lief.MachO.Header.CPU_TYPE.ARM64: "arm64"}
    slices = {arch_names.get(b.header.cpu_type, str(b.header.cpu_type)): b for b in fat} if fat else {}
    c.expect(struct.unpack_from(">I", blob, 0)[0] == 0xCAFEBABE and sorted(slices) == sorted(pipl_reference.MACOS_CODE),
             "the executable is universal, one x86_64 and one arm64 slice", sorted(slices))

    nm, objdump = tool("llvm-nm-14", "llvm-nm"), tool("llvm-objdump-14", "llvm-objdump")
    minimum = set()
    for arch, b in sorted(slices.items()):
        image = blob[b.fat_offset:b.fat_offset + b.original_size]
        c.expect(b.header.file_type == lief.MachO.Header.FILE_TYPE.BUNDLE, arch + ": an MH_BUNDLE", b.header.file_type)
        c.expect(not b.has(lief.MachO.LoadCommand.TYPE.ID_DYLIB), arch + ": no install name (LC_ID_DYLIB)")
        libraries = [lib.name for lib in b.libraries]
        c.expect(libraries == ["/usr/lib/libSystem.B.dylib"], arch + ": links /usr/lib/libSystem.B.dylib only",
                 libraries)
        c.expect(not list(b.rpaths), arch + ": no run-path", [r.path for r in b.rpaths])
        minos = ".".join(map(str, b.build_version.minos)) if b.has_build_version else None
        c.expect(minos == "11.0.0" and b.build_version.platform == lief.MachO.BuildVersion.PLATFORMS.MACOS,
                 arch + ": for macOS 11.0 or later", minos)
        minimum.add(minos)

        exports = sorted(s.name for s in b.exported_symbols)
        c.expect(exports == ["_" + ENTRY], arch + ": its export trie holds _EntryPointFunc only", exports)
        table = [(s.name, s.raw_type) for s in b.symbols if not s.raw_type & N_STAB]
        external = sorted(n for n, t in table if t & N_EXT and t & N_TYPE != N_UNDF)
        c.expect(external == ["_" + ENTRY], arch + ": its symbol table defines _EntryPointFunc as the only external",
                 external)
        listed = run(nm, "--arch=" + arch, "-g", "--defined-only", exe).split()
        c.expect(listed[-2:] == ["T", "_" + ENTRY] and len(listed) == 3, arch + ": llvm-nm agrees", listed)
        local = {n for n, t in table if not t & N_EXT and t & N_TYPE != N_UNDF}
        absent = [h for h in RECT_HELPERS + SUITE_HELPERS if not any(mangled(h) in n for n in local)]
        c.expect(not absent, arch + ": carries all seven host-interface helpers, none exported", absent)

        # ld64.lld 14 cannot point compact unwind at DWARF entries: no function
        # an exception may unwind through can need one.
        unwind = run(objdump, "--macho", "--arch=" + arch, "--unwind-info", exe)
        entries = re.findall(r"function offset=0x([0-9a-fA-F]+), encoding\[\d+\]=0x([0-9a-fA-F]{8})", unwind)
        starts = {}
        for line in run(nm, "--arch=" + arch, "-n", "--defined-only", exe).splitlines():
            f = line.split()
            if len(f) == 3 and f[1] in "tT":
                starts.setdefault(int(f[0], 16), f[2])
        dwarf = sorted({starts.get(int(o, 16), o) for o, e in entries
                        if int(e, 16) & UNWIND_MODE_MASK == UNWIND_DWARF_MODE[arch]})
        refused = [f for f in dwarf if f not in UNWIND_DWARF_ALLOWED.get(arch, set())]
        c.expect(bool(entries) and not refused, arch + ": no DWARF-mode unwind entry where an exception may pass",
                 refused[:5])

        key = pipl_reference.MACOS_CODE.get(arch)
        name = entry_point_name(properties.get(key)) if key else None
        c.expect(name is not None and "_" + name in exports,
                 arch + ": its code property '%s' names a symbol this slice exports" % (key or b"?").decode(), name)

        problems = (signature_problems(image, b.code_signature.data_offset, b.code_signature.data_size)
                    if b.has_code_signature else ["no LC_CODE_SIGNATURE"])
        c.expect(not problems, arch + ": an ad-hoc signature whose page hashes match the bytes", "; ".join(problems))

    check_bundle_metadata(c, os.path.join(contents, "Info.plist"), os.path.join(contents, "PkgInfo"),
                          minimum.pop() if len(minimum) == 1 else None)
    return c.finish()


def main(argv):
    commands = {"linux": (check_linux, 1), "pipl-tool": (check_tool, 2), "windows": (check_windows, 1),
                "macos": (check_macos, 1)}
    if len(argv) < 2 or argv[1] not in commands or len(argv) - 2 != commands[argv[1]][1]:
        sys.exit(__doc__)
    return commands[argv[1]][0](*argv[2:])


if __name__ == "__main__":
    sys.exit(main(sys.argv))
