#!/usr/bin/env python3
"""Writes a permuted variant of the host interface headers (host/).

Every struct gets its fields in another order with unused reserved members and
padding between them, every union a reserved first member that makes it larger,
and every table of function pointers (a suite or callback table) extra unused
pointers before, between and after the used ones. Names, types, constants and
typedefs stay as they are. A plug-in and a simulated host built against the
variant work together only when both reach the interface by name; any access by
position, size or aggregate order lands on a reserved member.

With --cxx the generator compiles a probe against host/ and against the variant
and checks that every struct's size and every field's offset differ (every
union's size), retrying a struct's layout with more reserved room until they do.

It understands the constructs host/ uses: #pragma once, #include, #define,
typedef, enum, forward declarations, and struct or union definitions whose
members are plain declarations or function pointers. Anything else stops it
with the file, line and text, so a new kind of declaration is never passed by.

  permute_host.py --source host --out DIR [--cxx g++]
"""
import argparse
import hashlib
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

RESERVED_TYPE = "zelvan_variant_reserved"
# A scoped enumeration: no integer converts to it implicitly, so a braced list
# that fills fields by position fails to compile where it meets one.
RESERVED_DECL = """#ifndef ZELVAN_VARIANT_RESERVED
#define ZELVAN_VARIANT_RESERVED
enum class %s : unsigned char {};
#endif
""" % RESERVED_TYPE
ROUNDS = 8


class Unsupported(Exception):
    pass


def strip_comments(text):
    """Comments become spaces (newlines kept, so line numbers hold); string
    and character literals are left alone."""
    out, i, n = [], 0, len(text)
    while i < n:
        c = text[i]
        if c in "\"'":
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            out.append(text[i:j + 1])
            i = j + 1
        elif text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(" " * (j - i))
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            if j < 0:
                raise Unsupported("unterminated comment")
            out.append(re.sub(r"[^\n]", " ", text[i:j + 2]))
            i = j + 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def statements(text):
    """(line, text) of each top-level statement: a preprocessor line, or
    everything up to a ';' outside braces and parentheses."""
    result, buf, depth, line, start = [], [], 0, 1, None
    at_line_start = True
    i = 0
    while i < len(text):
        c = text[i]
        if at_line_start and c == "#" and depth == 0 and not "".join(buf).strip():
            end = text.find("\n", i)
            end = len(text) if end < 0 else end
            result.append((line, text[i:end].strip()))
            i = end
            continue
        if c == "\n":
            line += 1
            at_line_start = True
        elif not c.isspace():
            at_line_start = False
            if start is None:
                start = line
        if c in "{(":
            depth += 1
        elif c in "})":
            depth -= 1
            if depth < 0:
                raise Unsupported("unbalanced '%s' at line %d" % (c, line))
        buf.append(c)
        if c == ";" and depth == 0:
            result.append((start, " ".join("".join(buf).split())))
            buf, start = [], None
        i += 1
    if "".join(buf).strip():
        raise Unsupported("text after the last statement at line %d: %s" % (start, "".join(buf).strip()[:60]))
    return result


FUNCTION_POINTER = re.compile(r"^(?P<ret>[^()]+?)\(\s*\*\s*(?P<name>\w+)\s*\)\s*\((?P<params>[^()]*)\)$")
DECLARATOR = re.compile(r"^(?P<ptr>[\s*]*)(?P<name>[A-Za-z_]\w*)(?P<arr>(\s*\[[^\]]*\])*)$")
FORBIDDEN = re.compile(r"\b(static|virtual|friend|using|public|private|protected|operator|template|mutable|inline)\b")


def parse_members(body, where):
    """Members of a struct or union body: ('fn', text, name) for a function
    pointer, ('data', text, name) for each declarator of a declaration."""
    members = []
    if "{" in body:
        raise Unsupported("%s: a nested type definition" % where)
    for decl in (d.strip() for d in body.split(";")):
        if not decl:
            continue
        if FORBIDDEN.search(decl) or "=" in decl or "::" in decl or "&" in decl:
            raise Unsupported("%s: member '%s'" % (where, decl))
        fn = FUNCTION_POINTER.match(decl)
        if fn:
            members.append(("fn", decl + ";", fn.group("name")))
            continue
        if "(" in decl or ")" in decl or re.search(r":(?!:)", decl):
            raise Unsupported("%s: member '%s' (a function, a bit-field or a form not handled)" % (where, decl))
        parts = [p.strip() for p in decl.split(",")]
        first = re.match(r"^(?P<type>.*?[\w>])(?P<decl>[\s*]*[A-Za-z_]\w*(\s*\[[^\]]*\])*)$", parts[0])
        if not first or not first.group("type").strip():
            raise Unsupported("%s: member '%s'" % (where, decl))
        base = first.group("type").strip()
        for p in [first.group("decl")] + parts[1:]:
            d = DECLARATOR.match(p.strip())
            if not d:
                raise Unsupported("%s: declarator '%s' in '%s'" % (where, p, decl))
            ptr = d.group("ptr").replace(" ", "")
            members.append(("data", "%s %s%s%s;" % (base, ptr, d.group("name"), d.group("arr")), d.group("name")))
    if not members:
        raise Unsupported("%s: no members" % where)
    names = [m[2] for m in members]
    if len(set(names)) != len(names):
        raise Unsupported("%s: a member name twice" % where)
    return members


RECORD = re.compile(r"^(?P<kind>struct|union)\s+(?P<name>\w+)\s*\{(?P<body>.*)\}\s*;$", re.S)


def parse_header(path):
    """[('verbatim', text) | ('record', kind, name, members)] for one header."""
    with open(path) as f:
        text = strip_comments(f.read())
    items = []
    try:
        found = statements(text)
    except Unsupported as e:
        raise Unsupported("%s: %s" % (path, e))
    for line, s in found:
        where = "%s:%d" % (path, line)
        if s.startswith("#"):
            if re.match(r"^#\s*(pragma\s+once|include\s+[\"<][^\">]+[\">]|define\s+\w+(\s.*)?)$", s):
                items.append(("verbatim", s))
                continue
            raise Unsupported("%s: preprocessor line '%s' (only #pragma once, #include and #define)" % (where, s))
        record = RECORD.match(s)
        if record:
            items.append(("record", record.group("kind"), record.group("name"),
                          parse_members(record.group("body"), "%s %s" % (where, record.group("name")))))
        elif re.match(r"^typedef\s[^{}]*;$", s) or re.match(r"^(struct|union)\s+\w+\s*;$", s) or \
                re.match(r"^enum(\s+(class\s+)?\w+)?\s*(:\s*[\w\s]+)?\{[^{}]*\}\s*;$", s):
            items.append(("verbatim", s))
        else:
            raise Unsupported("%s: declaration not understood: %s" % (where, s[:100]))
    return items


def reserved(rng, serial, pointers, room):
    """One unused member: in a table of function pointers an unused pointer,
    otherwise (or now and then where a struct mixes both) an array of the
    reserved type whose odd length leaves padding after it."""
    if pointers == "all" or (pointers == "some" and rng.random() < 0.5):
        return "void (*zelvan_unused_%d)(void);" % serial
    length = rng.randint(1, 7) + 8 * rng.randint(0, room)
    return "%s zelvan_reserved_%d[%d];" % (RESERVED_TYPE, serial, length)


def layout(kind, name, members, attempt):
    """The variant's member lines for one record; attempt > 0 gives another
    order and more reserved room."""
    rng = random.Random(int(hashlib.sha256(("%s:%d" % (name, attempt)).encode()).hexdigest(), 16))
    kinds = {m[0] for m in members}
    pointers = "all" if kinds == {"fn"} else "some" if "fn" in kinds else "none"
    order = list(members)
    while len(order) > 1 and order == members:
        rng.shuffle(order)
    serial = iter(range(1000))
    room = attempt + 1
    lines = []
    if kind == "union":
        # Larger than any member, and first, so that neither the size nor a
        # braced initialiser of the first member carries over.
        lines.append("%s zelvan_reserved_%d[%d];" % (RESERVED_TYPE, next(serial), 64 * room + rng.randint(1, 7)))
        lines += [m[1] for m in order]
        return lines
    for _ in range(rng.randint(1, room)):
        lines.append(reserved(rng, next(serial), pointers, room))
    for i, m in enumerate(order):
        if i > 0 and (pointers == "all" or rng.random() < 0.6):
            for _ in range(rng.randint(1, room + 1)):
                lines.append(reserved(rng, next(serial), pointers, room))
        lines.append(m[1])
    lines.append(reserved(rng, next(serial), pointers, room))
    return lines


def write_variant(headers, out, attempts):
    """Writes every header into out, a subfolder per kind: SP*.h into
    Headers/SP, the rest into Headers (two folders, as an SDK may have)."""
    for path, items in headers.items():
        base = os.path.basename(path)
        folder = os.path.join(out, "Headers", "SP") if base.startswith("SP") else os.path.join(out, "Headers")
        os.makedirs(folder, exist_ok=True)
        text = ["// Generated by tools/hostvariant/permute_host.py from host/%s: a permuted" % base,
                "// layout of the same names, for the layout test. Do not edit."]
        reserved_written = False
        for item in items:
            if item[0] == "verbatim":
                text.append(item[1])
                continue
            if not reserved_written:
                text.append(RESERVED_DECL.rstrip("\n"))
                reserved_written = True
            _, kind, name, members = item
            text.append("%s %s {" % (kind, name))
            text += ["  " + line for line in layout(kind, name, members, attempts.get(name, 0))]
            text.append("};")
        with open(os.path.join(folder, base), "w") as f:
            f.write("\n".join(text) + "\n")


def probe_source(headers):
    lines = ["#include <cstddef>", "#include <cstdio>"]
    lines += ['#include "%s"' % os.path.basename(p) for p in headers]
    lines.append("int main() {")
    for items in headers.values():
        for item in items:
            if item[0] != "record":
                continue
            _, kind, name, members = item
            lines.append('  std::printf("%%s %%zu\\n", "%s", sizeof(%s));' % (name, name))
            if kind == "struct":
                for m in members:
                    lines.append('  std::printf("%%s %%zu\\n", "%s.%s", offsetof(%s, %s));' % (name, m[2], name, m[2]))
    lines += ["  return 0;", "}"]
    return "\n".join(lines) + "\n"


def run_probe(cxx, source, include_dirs, work, tag):
    src = os.path.join(work, "probe.cpp")
    exe = os.path.join(work, "probe-" + tag)
    with open(src, "w") as f:
        f.write(source)
    cmd = [cxx, "-std=c++17", "-w"] + ["-I" + d for d in include_dirs] + [src, "-o", exe]
    try:
        built = subprocess.run(cmd, capture_output=True, text=True)
    except OSError as e:
        raise Unsupported("cannot run the compiler %s: %s" % (cxx, e.strerror))
    if built.returncode != 0:
        raise Unsupported("the layout probe does not compile against the %s headers:\n%s" % (tag, built.stderr))
    values = {}
    for line in subprocess.run([exe], check=True, capture_output=True, text=True).stdout.splitlines():
        key, value = line.rsplit(" ", 1)
        values[key] = int(value)
    return values


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--source", required=True, help="the folder of our interface headers (host/)")
    parser.add_argument("--out", required=True, help="the folder to write the variant into (replaced)")
    parser.add_argument("--cxx", help="a C++ compiler to check that every size and offset differs")
    args = parser.parse_args(argv)

    sources = sorted(os.path.join(args.source, n) for n in os.listdir(args.source) if n.endswith(".h"))
    if not sources:
        sys.exit("permute_host: no headers in %s" % args.source)
    try:
        headers = {p: parse_header(p) for p in sources}
    except Unsupported as e:
        sys.exit("permute_host: %s\nTeach tools/hostvariant/permute_host.py this form, or write it as one it knows."
                 % e)
    records = [i for items in headers.values() for i in items if i[0] == "record"]

    partial = args.out.rstrip("/") + ".partial"
    try:
        checked = write_checked(headers, records, partial, args)
    except Unsupported as e:
        shutil.rmtree(partial, ignore_errors=True)
        sys.exit("permute_host: %s" % e)
    shutil.rmtree(args.out, ignore_errors=True)
    os.rename(partial, args.out)
    fields = sum(len(r[3]) for r in records)
    print("permute_host: %d headers, %d structs and unions, %d fields in %s; %s" %
          (len(sources), len(records), fields, args.out, checked))
    return 0


def write_checked(headers, records, partial, args):
    """Writes the variant into partial; with a compiler, until every size and
    offset differs from host/. Returns what was checked."""
    attempts = {}
    with tempfile.TemporaryDirectory() as work:
        original = run_probe(args.cxx, probe_source(headers), [args.source], work, "original") if args.cxx else None
        for _ in range(ROUNDS):
            shutil.rmtree(partial, ignore_errors=True)
            write_variant(headers, partial, attempts)
            if original is None:
                break
            dirs = sorted({os.path.dirname(os.path.join(dp, f)) for dp, _, fs in os.walk(partial) for f in fs})
            variant = run_probe(args.cxx, probe_source(headers), dirs, work, "variant")
            same = sorted(k for k in original if variant.get(k) == original[k])
            if not same:
                break
            for key in same:
                attempts[key.split(".")[0]] = attempts.get(key.split(".")[0], 0) + 1
        else:
            raise Unsupported("after %d layouts these still match host/: %s" % (ROUNDS, ", ".join(same)))
    return "every size and offset differs from host/" if args.cxx else "sizes and offsets not checked (no --cxx)"


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
