"""A reader for classic resource files kept in a data fork (.rsrc).

Layout: a 16-byte header (data offset, map offset, data length, map length,
all big-endian), the data section (each resource a 32-bit length and its
bytes), and the map (a header copy, next-map handle, file reference,
attributes, type-list and name-list offsets, then the type list and the
reference lists).
"""
import struct


class ResourceFileError(ValueError):
    pass


def read(blob):
    """Returns {(type code bytes, id): (attributes, name or None, data)}."""
    if len(blob) < 16:
        raise ResourceFileError("shorter than a header")
    data_off, map_off, data_len, map_len = struct.unpack_from(">IIII", blob, 0)
    if data_off < 16 or data_off + data_len > len(blob) or map_off + map_len > len(blob):
        raise ResourceFileError("header points outside the file")
    if map_off < data_off + data_len and data_off < map_off + map_len:
        raise ResourceFileError("data and map overlap")
    if map_len < 30:
        raise ResourceFileError("map too short")
    copy = blob[map_off:map_off + 16]
    if copy not in (blob[:16], b"\0" * 16):
        raise ResourceFileError("map's header copy differs from the header")
    type_list_off, name_list_off = struct.unpack_from(">HH", blob, map_off + 24)
    type_list = map_off + type_list_off
    names = map_off + name_list_off
    (type_count_minus_1,) = struct.unpack_from(">H", blob, type_list)
    type_count = (type_count_minus_1 + 1) & 0xFFFF
    resources = {}
    for t in range(type_count):
        code, count_minus_1, ref_off = struct.unpack_from(">4sHH", blob, type_list + 2 + 8 * t)
        for r in range(count_minus_1 + 1):
            ref = type_list + ref_off + 12 * r
            if ref + 12 > map_off + map_len:
                raise ResourceFileError("reference outside the map")
            rid, name_off, attrs_and_off = struct.unpack_from(">hHI", blob, ref)
            attrs, off = attrs_and_off >> 24, attrs_and_off & 0xFFFFFF
            name = None
            if name_off != 0xFFFF:
                n = blob[names + name_off]
                name = blob[names + name_off + 1:names + name_off + 1 + n]
            at = data_off + off
            if at + 4 > data_off + data_len:
                raise ResourceFileError("resource data outside the data section")
            (size,) = struct.unpack_from(">I", blob, at)
            if at + 4 + size > data_off + data_len:
                raise ResourceFileError("resource data runs past the data section")
            key = (code, rid)
            if key in resources:
                raise ResourceFileError("duplicate resource %r" % (key,))
            resources[key] = (attrs, name, blob[at + 4:at + 4 + size])
    return resources
