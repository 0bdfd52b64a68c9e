"""Velmora tables from Python, through the library's C interface (libvelmora_c.so).

    import velmora
    velmora.create("people.vri", ["Id:I", "Name:S:30", "Born:D"], {"ById": ["Id"], "ByName": ["Name"]})
    with velmora.open("people.vri") as people:
        people.insert({"Id": 1, "Name": "Ann", "Born": datetime.datetime(1990, 5, 17)})
        for person in people.records(index="ByName"):
            print(person)

Failures are raised as velmora.Error subclasses carrying the engine's message,
class name and I/O error code.
"""
import ctypes

from . import _lib
from ._lib import call, short_string
from .errors import (ConvertError, Error, InOutError, ListError, MathError, OutOfMemoryError,
                     UserAccessError, VelmoraDBError, VRBError)
from .table import READ_ONLY, READ_WRITE, Table

__all__ = ["open", "create", "drop", "copy", "rename", "Table", "Error", "VelmoraDBError", "VRBError",
           "UserAccessError", "InOutError", "ConvertError", "ListError", "MathError",
           "OutOfMemoryError", "READ_WRITE", "READ_ONLY", "library_version", "MAX_RECORDS",
           "MAX_FIELDS", "MAX_INDEXES", "MAX_KEY_FIELDS"]

MAX_RECORDS = 30000
MAX_FIELDS = 26
MAX_INDEXES = 13
MAX_KEY_FIELDS = 10

_TYPES = {"b": "B", "boolean": "B", "c": "C", "currency": "C", "d": "D", "datetime": "D",
          "f": "F", "float": "F", "i": "I", "integer": "I", "r": "R", "real": "R",
          "s": "S", "string": "S"}


def library_version():
    return _lib.lib.vr_Version().decode()


def open(path, mode="rw"):  # noqa: A001 - the natural name for opening a table
    """Opens a table: mode "rw" (read and write; other programs may only read)
    or "r" (read only; other programs may read and write)."""
    return Table(path, mode)


def _field_definition(definition):
    """("Name", "S", 30), ("Id", "I") or "Name:S:30" -> (name, letter, length)."""
    parts = definition.split(":") if isinstance(definition, str) else list(definition)
    if len(parts) not in (2, 3):
        raise ValueError("a field is NAME:TYPE or NAME:S:LENGTH, not %r" % (definition,))
    name, type_name = parts[0], str(parts[1])
    letter = _TYPES.get(type_name.lower())
    if letter is None:
        raise ValueError("field %s: unknown type %r (B C D F I R S)" % (name, type_name))
    length = int(parts[2]) if len(parts) == 3 else 0
    if letter == "S" and not 1 <= length <= 255:
        raise ValueError("field %s: a String field needs a length from 1 to 255 bytes" % name)
    if letter != "S" and len(parts) == 3:
        raise ValueError("field %s: only String fields take a length" % name)
    return name, letter, length


def create(path, fields, indexes):
    """Writes a new table's schema file and its empty data and index files.

    fields: a list of "NAME:TYPE" / "NAME:S:LENGTH" texts or (name, type[, length])
    tuples; types by letter or name (B Boolean, C Currency, D DateTime, F Float,
    I Integer, R Real, S String).  indexes: a dict (or list of pairs) of index
    name to the list of its key field names; the first is the unique key."""
    definitions = [_field_definition(definition) for definition in fields]
    pairs = list(indexes.items()) if isinstance(indexes, dict) else list(indexes)
    if len(definitions) > MAX_FIELDS:
        raise ValueError("a table has at most %d fields, not %d" % (MAX_FIELDS, len(definitions)))
    if len(pairs) > MAX_INDEXES:
        raise ValueError("a table has at most %d indexes, not %d" % (MAX_INDEXES, len(pairs)))
    names = [name for name, _, _ in definitions]
    field_items = (_lib.FieldDescriptor * max(1, len(definitions)))()
    for item, (name, letter, length) in zip(field_items, definitions):
        item.Name[:] = short_string(name, "a field name").raw
        item.FieldType = letter.encode()
        item.Len = length
    index_items = (_lib.IndexDef * max(1, len(pairs)))()
    for item, (name, keys) in zip(index_items, pairs):
        if isinstance(keys, str):
            keys = [keys]
        if not 1 <= len(keys) <= MAX_KEY_FIELDS:
            raise ValueError("index %s needs 1 to %d key fields" % (name, MAX_KEY_FIELDS))
        item.Name[:] = short_string(name, "an index name").raw
        item.FieldCount = len(keys)
        for k, key in enumerate(keys):
            if key not in names:
                raise ValueError("index %s: no field named %s" % (name, key))
            item.FieldNos[k] = names.index(key)
    field_list = _lib.FieldDefList(len(definitions), field_items)
    index_list = _lib.IndexDefList(len(pairs), index_items)
    handle = ctypes.c_int32(0)
    call("vr_Connect", 0, ctypes.byref(handle))
    try:
        call("vr_VRIFileOps", handle.value, 0, short_string(str(path), "the table name"),
             ctypes.byref(field_list), ctypes.byref(index_list), None)
    finally:
        call("vr_Disconnect", handle.value)


def _utility(operation, source, dest=""):
    result = ctypes.c_int32(0)
    call("vr_TableUtils", short_string(str(source), "the table name"),
         short_string(str(dest), "the table name"), operation, ctypes.byref(result))
    if result.value != 1:
        raise Error("%s: refused (%s)" % (source, "a file of the table is missing, in use, or the "
                                          "destination exists"), "", 0)


def drop(path):
    """Deletes every file of the table."""
    _utility(1, path)


def copy(source, dest):
    """Copies every file of the table; never overwrites."""
    _utility(2, source, dest)


def rename(source, dest):
    """Renames every file of the table; never overwrites."""
    _utility(0, source, dest)
