"""The plug-in's property lists, encoded here from the property table itself.

Written independently of plugin/PiPL.h so that the deliverables' bytes are
checked against a second encoding, not against the writer run again. The
Windows list (also the Linux build's section) names its x86-64 entry point in
'8664'; the macOS list has one code property per architecture of the bundle,
'mi64' (x86-64) and 'ma64' (arm64), in the same place.
"""
import struct

EFFECT_NAME = b"ZelvanClipCycle"
CATEGORY = b"Zelvan"
RESOURCE_ID = 16000
LANGUAGE_EN_US = 1033
ENTRY_POINT = b"EntryPointFunc"
WINDOWS_CODE = [b"8664"]
MACOS_CODE = {"x86_64": b"mi64", "arm64": b"ma64"}


def _pascal(text):
    return bytes([len(text)]) + text


# A four-character code is a 32-bit integer, first character most significant.
def _fourcc(code):
    return struct.unpack(">I", code)[0]


# (key, declared length, data as (format, values) per endianness or raw bytes)
def _properties(code_keys):
    return [
        (b"kind", 4, ("I", _fourcc(b"eFKT"))),
        (b"name", 16, _pascal(EFFECT_NAME)),
        (b"catg", 8, _pascal(CATEGORY)),
    ] + [(key, 16, ENTRY_POINT + b"\0\0") for key in code_keys] + _AFTER_CODE


_AFTER_CODE = [
    (b"ePVR", 4, ("HH", 2, 0)),
    (b"eSVR", 4, ("HH", 13, 0)),
    (b"eVER", 4, ("I", 0x00080601)),
    (b"eINF", 2, ("H", 0)),
    (b"eGLO", 4, ("I", 0x06000000)),
    (b"eGL2", 4, ("I", 0x00001400)),
    (b"eMNA", 16, _pascal(EFFECT_NAME)),
    (b"aeFL", 4, ("I", 8)),
]


def encode(byteorder, code_keys):
    """byteorder '<' gives the Windows resource, '>' the macOS one."""
    properties = _properties(code_keys)
    out = struct.pack(byteorder + "HII", 1, 0, len(properties))
    for key, length, data in properties:
        if isinstance(data, tuple):
            data = struct.pack(byteorder + data[0], *data[1:])
        assert len(data) <= length
        data = data.ljust(length, b"\0")
        data = data.ljust((length + 3) // 4 * 4, b"\0")
        out += struct.pack(byteorder + "IIII", _fourcc(b"8BIM"), _fourcc(key), 0, length) + data
    return out


WINDOWS = encode("<", WINDOWS_CODE)
MACOS = encode(">", list(MACOS_CODE.values()))
assert len(WINDOWS) == 290 and len(MACOS) == 322, (len(WINDOWS), len(MACOS))
