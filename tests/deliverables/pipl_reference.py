"""The plug-in's property list, encoded here from the property table itself.

Written independently of plugin/PiPL.h so that the deliverables' bytes are
checked against a second encoding, not against the writer run again.
"""
import struct

EFFECT_NAME = b"ZelvanClipCycle"
CATEGORY = b"Zelvan"
RESOURCE_ID = 16000
LANGUAGE_EN_US = 1033
SIZE = 290


def _pascal(text):
    return bytes([len(text)]) + text


# (key, declared length, data as (format, values) per endianness or raw bytes)
# A four-character code is a 32-bit integer, first character most significant.
def _fourcc(code):
    return struct.unpack(">I", code)[0]


_PROPERTIES = [
    (b"kind", 4, ("I", _fourcc(b"eFKT"))),
    (b"name", 16, _pascal(EFFECT_NAME)),
    (b"catg", 8, _pascal(CATEGORY)),
    (b"8664", 16, b"EntryPointFunc\0\0"),
    (b"ePVR", 4, ("HH", 2, 0)),
    (b"eSVR", 4, ("HH", 13, 0)),
    (b"eVER", 4, ("I", 0x00080601)),
    (b"eINF", 2, ("H", 0)),
    (b"eGLO", 4, ("I", 0x06000000)),
    (b"eGL2", 4, ("I", 0x00001400)),
    (b"eMNA", 16, _pascal(EFFECT_NAME)),
    (b"aeFL", 4, ("I", 8)),
]


def encode(byteorder):
    """byteorder '<' gives the Windows resource, '>' the macOS one."""
    out = struct.pack(byteorder + "HII", 1, 0, len(_PROPERTIES))
    for key, length, data in _PROPERTIES:
        if isinstance(data, tuple):
            data = struct.pack(byteorder + data[0], *data[1:])
        assert len(data) <= length
        data = data.ljust(length, b"\0")
        data = data.ljust((length + 3) // 4 * 4, b"\0")
        out += struct.pack(byteorder + "IIII", _fourcc(b"8BIM"), _fourcc(key), 0, length) + data
    assert len(out) == SIZE, len(out)
    return out


LITTLE_ENDIAN = encode("<")
BIG_ENDIAN = encode(">")
