"""Field values in record buffers, and the key texts the engine reads.

A record buffer starts with one null flag per field (1 value, 0 null); each
field's value lies at its offset: B one byte 1/0 (of two), C/D/F a
little-endian double (D: days since 30 December 1899), I a signed 32-bit
integer, R a six-byte real, S the bytes followed by a NUL.
"""
import datetime
import math
import struct

EPOCH = datetime.datetime(1899, 12, 30)
DAY = datetime.timedelta(days=1)


class Field:
    def __init__(self, number, name, type_letter, offset, size):
        self.number = number
        self.name = name
        self.type = type_letter
        self.offset = offset
        self.size = size  # bytes of storage; a String field holds size - 1 bytes

    def __repr__(self):
        return "Field(%r, %r, offset=%d, size=%d)" % (self.name, self.type, self.offset, self.size)


def encode_real48(value):
    """Six bytes: exponent (bias 129, 0 for zero), 39-bit fraction low byte first, sign in bit 7 of byte 5."""
    if not math.isfinite(value):
        raise OverflowError("%r cannot be stored in a six-byte real" % value)
    if value == 0:
        return bytes(6)
    mantissa, exponent = math.frexp(abs(value))  # abs = mantissa * 2**exponent, 0.5 <= mantissa < 1
    fraction = math.floor((mantissa * 2 - 1) * 2 ** 39 + 0.5)
    biased = exponent + 128
    if fraction == 2 ** 39:
        fraction, biased = 0, biased + 1
    if biased < 1:
        return bytes(6)
    if biased > 255:
        raise OverflowError("%r is beyond the range of a six-byte real" % value)
    body = fraction.to_bytes(5, "little")
    last = body[4] | (0x80 if value < 0 else 0)
    return bytes([biased]) + body[:4] + bytes([last])


def decode_real48(data):
    if data[0] == 0:
        return 0.0
    fraction = int.from_bytes(bytes(data[1:5]) + bytes([data[5] & 0x7F]), "little")
    value = math.ldexp(1 + fraction / 2 ** 39, data[0] - 129)
    return -value if data[5] & 0x80 else value


def to_datetime(days):
    # Rounded to the millisecond, as the engine's date texts go.
    return EPOCH + datetime.timedelta(milliseconds=round(days * 86400000))


def from_datetime(value):
    if isinstance(value, datetime.datetime):
        return (value.replace(tzinfo=None) - EPOCH) / DAY
    if isinstance(value, datetime.date):
        return (datetime.datetime(value.year, value.month, value.day) - EPOCH) / DAY
    raise TypeError("a DateTime field takes a datetime or date, not %r" % (value,))


def read_value(field, record):
    if record[field.number] == 0:
        return None
    at = field.offset
    t = field.type
    if t == "B":
        return record[at] != 0
    if t in "CF":
        return struct.unpack_from("<d", record, at)[0]
    if t == "D":
        return to_datetime(struct.unpack_from("<d", record, at)[0])
    if t == "I":
        return struct.unpack_from("<i", record, at)[0]
    if t == "R":
        return decode_real48(record[at:at + 6])
    if t == "S":
        raw = bytes(record[at:at + field.size])
        return raw.split(b"\0", 1)[0].decode("utf-8", "surrogateescape")
    raise TypeError("field %s has the unknown type letter %r" % (field.name, t))


def write_value(field, record, value):
    """Stores value (None for null) into the record buffer (a bytearray)."""
    at = field.offset
    t = field.type
    if value is None:
        record[field.number] = 0
        return
    if t == "B":
        if not isinstance(value, (bool, int)):
            raise TypeError("field %s takes a bool, not %r" % (field.name, value))
        record[at] = 1 if value else 0
    elif t in "CF":
        struct.pack_into("<d", record, at, _number(field, value))
    elif t == "D":
        struct.pack_into("<d", record, at, from_datetime(value))
    elif t == "I":
        if isinstance(value, bool) or not isinstance(value, int):
            raise TypeError("field %s takes an int, not %r" % (field.name, value))
        if not -2 ** 31 <= value < 2 ** 31:
            raise OverflowError("%d is outside the range of field %s (32-bit integer)" % (value, field.name))
        struct.pack_into("<i", record, at, value)
    elif t == "R":
        record[at:at + 6] = encode_real48(_number(field, value))
    elif t == "S":
        data = value.encode("utf-8", "surrogateescape") if isinstance(value, str) else None
        if data is None:
            raise TypeError("field %s takes a str, not %r" % (field.name, value))
        if b"\0" in data:
            raise ValueError("field %s cannot hold a NUL character" % field.name)
        if len(data) > field.size - 1:
            raise ValueError("%r is %d bytes in UTF-8, longer than the %d bytes of field %s"
                             % (value, len(data), field.size - 1, field.name))
        record[at:at + field.size] = data + bytes(field.size - len(data))
    else:
        raise TypeError("field %s has the unknown type letter %r" % (field.name, t))
    record[field.number] = 1


def _number(field, value):
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        raise TypeError("field %s takes a number, not %r" % (field.name, value))
    return float(value)


def key_text(field, value):
    """The text the engine converts into `value` for a search or range key ("" for null)."""
    if value is None:
        return ""
    t = field.type
    if t == "B":
        if not isinstance(value, (bool, int)):
            raise TypeError("key field %s takes a bool, not %r" % (field.name, value))
        return "TRUE" if value else "FALSE"
    if t in "CFR":
        return repr(_number(field, value))
    if t == "I":
        if isinstance(value, bool) or not isinstance(value, int):
            raise TypeError("key field %s takes an int, not %r" % (field.name, value))
        return str(value)
    if t == "D":
        days = from_datetime(value)
        d = to_datetime(days)
        return "%d/%d/%04d %d:%02d:%02d.%03d" % (d.month, d.day, d.year, d.hour, d.minute, d.second,
                                                  d.microsecond // 1000)
    if t == "S":
        if not isinstance(value, str):
            raise TypeError("key field %s takes a str, not %r" % (field.name, value))
        if len(value.encode("utf-8")) > field.size - 1:
            raise ValueError("%r is longer than the %d bytes of field %s" % (value, field.size - 1, field.name))
        return value
    raise TypeError("field %s has the unknown type letter %r" % (field.name, t))
