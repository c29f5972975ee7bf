"""A small reader for thin 64-bit Mach-O images: header, load commands, the
symbol table's external definitions and the dyld export trie (what dlsym
actually searches)."""
import struct

MH_MAGIC_64 = 0xFEEDFACF
CPU_TYPE_X86_64 = 0x01000007
FILE_TYPES = {1: "MH_OBJECT", 2: "MH_EXECUTE", 6: "MH_DYLIB", 8: "MH_BUNDLE"}

LC_REQ_DYLD = 0x80000000
LC_SYMTAB = 0x2
LC_DYSYMTAB = 0xB
LC_LOAD_DYLIB = 0xC
LC_ID_DYLIB = 0xD
LC_LOAD_WEAK_DYLIB = 0x18 | LC_REQ_DYLD
LC_RPATH = 0x1C | LC_REQ_DYLD
LC_REEXPORT_DYLIB = 0x1F | LC_REQ_DYLD
LC_LAZY_LOAD_DYLIB = 0x20
LC_DYLD_INFO = 0x22
LC_DYLD_INFO_ONLY = 0x22 | LC_REQ_DYLD
LC_LOAD_UPWARD_DYLIB = 0x23 | LC_REQ_DYLD
LC_VERSION_MIN_MACOSX = 0x24
LC_BUILD_VERSION = 0x32
LC_DYLD_EXPORTS_TRIE = 0x33 | LC_REQ_DYLD
DYLIB_LOADS = {LC_LOAD_DYLIB, LC_LOAD_WEAK_DYLIB, LC_REEXPORT_DYLIB, LC_LAZY_LOAD_DYLIB, LC_LOAD_UPWARD_DYLIB}
PLATFORM_MACOS = 1

N_STAB, N_TYPE, N_EXT, N_UNDF = 0xE0, 0x0E, 0x01, 0x0


def _cstr(blob, at):
    return blob[at:blob.index(b"\0", at)].decode()


def _uleb(blob, at):
    value = shift = 0
    while True:
        b = blob[at]
        at += 1
        value |= (b & 0x7F) << shift
        shift += 7
        if b < 0x80:
            return value, at


def _version(v):
    return "%d.%d.%d" % (v >> 16, (v >> 8) & 0xFF, v & 0xFF)


class MachO:
    def __init__(self, blob):
        magic, cpu, _sub, ftype, ncmds, _size, self.flags, _res = struct.unpack_from("<IiiIIIII", blob, 0)
        if magic != MH_MAGIC_64:
            raise ValueError("not a thin 64-bit little-endian Mach-O (magic %#x)" % magic)
        self.cpu_type = cpu & 0xFFFFFFFF
        self.file_type = FILE_TYPES.get(ftype, "unknown %d" % ftype)
        self.dylibs = []          # (command, path)
        self.id_dylib = None
        self.rpaths = []
        self.min_macos = None
        self.sdk = None
        self.commands = []
        symtab = dysymtab = trie = None
        at = 32
        for _ in range(ncmds):
            cmd, size = struct.unpack_from("<II", blob, at)
            self.commands.append(cmd)
            if cmd in DYLIB_LOADS:
                (name_off,) = struct.unpack_from("<I", blob, at + 8)
                self.dylibs.append((cmd, _cstr(blob, at + name_off)))
            elif cmd == LC_ID_DYLIB:
                (name_off,) = struct.unpack_from("<I", blob, at + 8)
                self.id_dylib = _cstr(blob, at + name_off)
            elif cmd == LC_RPATH:
                (path_off,) = struct.unpack_from("<I", blob, at + 8)
                self.rpaths.append(_cstr(blob, at + path_off))
            elif cmd == LC_BUILD_VERSION:
                platform, minos, sdk = struct.unpack_from("<III", blob, at + 8)
                if platform == PLATFORM_MACOS:
                    self.min_macos, self.sdk = _version(minos), _version(sdk)
            elif cmd == LC_VERSION_MIN_MACOSX:
                minos, sdk = struct.unpack_from("<II", blob, at + 8)
                self.min_macos, self.sdk = _version(minos), _version(sdk)
            elif cmd == LC_SYMTAB:
                symtab = struct.unpack_from("<IIII", blob, at + 8)
            elif cmd == LC_DYSYMTAB:
                dysymtab = struct.unpack_from("<IIIIII", blob, at + 8)
            elif cmd in (LC_DYLD_INFO, LC_DYLD_INFO_ONLY):
                off, size_ = struct.unpack_from("<II", blob, at + 8 + 32)
                trie = (off, size_)
            elif cmd == LC_DYLD_EXPORTS_TRIE:
                trie = struct.unpack_from("<II", blob, at + 8)
            at += size

        self.symbols = []  # (name, n_type)
        if symtab:
            symoff, nsyms, stroff, _strsize = symtab
            for i in range(nsyms):
                strx, n_type, _sect, _desc, _value = struct.unpack_from("<IBBHQ", blob, symoff + 16 * i)
                self.symbols.append((_cstr(blob, stroff + strx), n_type))
        self.external_definitions = []
        if dysymtab:
            _ilocal, _nlocal, iextdef, nextdef, _iundef, _nundef = dysymtab
            self.external_definitions = [n for n, _ in self.symbols[iextdef:iextdef + nextdef]]
        self.local_symbols = {n for n, t in self.symbols
                              if not t & N_STAB and not t & N_EXT and t & N_TYPE != N_UNDF}
        self.exports = self._trie(blob, *trie) if trie else []

    @staticmethod
    def _trie(blob, off, size):
        names = []
        if size == 0:
            return names
        todo = [(0, b"")]
        seen = set()
        while todo:
            node, prefix = todo.pop()
            if node in seen or node >= size:
                raise ValueError("malformed export trie")
            seen.add(node)
            at = off + node
            terminal, at = _uleb(blob, at)
            if terminal:
                names.append(prefix.decode())
            at += terminal
            children = blob[at]
            at += 1
            for _ in range(children):
                end = blob.index(b"\0", at)
                edge = blob[at:end]
                child, at = _uleb(blob, end + 1)
                todo.append((child, prefix + edge))
        return sorted(names)
