"""A Velmora table opened through the C interface."""
import ctypes
import os

from . import _lib
from ._lib import call, from_short_string, key_texts, short_string
from .errors import Error
from .values import Field, key_text, read_value, write_value

READ_WRITE = 34  # read and write; other programs may only read
READ_ONLY = 64   # read only; other programs may read and write
_MODES = {"rw": READ_WRITE, "w": READ_WRITE, "r": READ_ONLY}


def _i32():
    return ctypes.c_int32(0)


class Table:
    """An open table.  Use it as a context manager, or call close().

    Records come and go as dicts of field name to value: int, float,
    datetime.datetime, bool, str, or None for null.  Iterating, find and
    locate move the table's one cursor; do not interleave two iterations.
    """

    def __init__(self, path, mode="rw"):
        open_mode = _MODES.get(mode, mode)
        if not isinstance(open_mode, int):
            raise ValueError("mode must be 'rw', 'r' or an open-mode number, not %r" % (mode,))
        self.path = str(path)
        name = short_string(self.path, "the table name")
        handle = _i32()
        call("vr_Connect", 0, ctypes.byref(handle))
        self._h = handle.value
        try:
            opened = _i32()
            call("vr_OpenTable", self._h, name, open_mode, ctypes.byref(opened))
            if opened.value <= 0:
                if not os.path.exists(self.path):
                    raise Error("%s: no such table" % self.path, "", 0)
                raise Error("%s: the table cannot be opened (in use by another program, or not "
                            "readable)" % self.path, "", 0)
            self._learn_layout()
        except BaseException:
            call("vr_Disconnect", self._h)
            self._h = None
            raise

    def _learn_layout(self):
        size, count = _i32(), _i32()
        call("vr_RecordSize", self._h, ctypes.byref(size))
        call("vr_FieldCount", self._h, ctypes.byref(count))
        self.record_size = size.value
        self.fields = []
        text = ctypes.create_string_buffer(256)
        for f in range(count.value):
            call("vr_FieldName", text, self._h, f)
            offset, length, letter = _i32(), _i32(), ctypes.create_string_buffer(1)
            call("vr_FieldInfo", self._h, f, ctypes.byref(offset), ctypes.byref(length), letter)
            self.fields.append(Field(f, from_short_string(text), letter.raw.decode("latin-1"),
                                     offset.value, length.value))
        self._by_name = {field.name: field for field in self.fields}
        call("vr_IndexCount", self._h, ctypes.byref(count))
        self.indexes = []
        for i in range(count.value):
            call("vr_GetIndexName", text, self._h, i)
            self.indexes.append(from_short_string(text))
        self._key_fields = {}
        self._active = 0 if self.indexes else None

    # Opening and closing.

    @property
    def closed(self):
        return self._h is None

    def close(self):
        if self._h is not None:
            h, self._h = self._h, None
            try:
                call("vr_CloseTable", h)
            finally:
                call("vr_Disconnect", h)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def __del__(self):
        try:
            self.close()
        except Exception:
            pass

    def _handle(self):
        if self._h is None:
            raise ValueError("the table %s is closed" % self.path)
        return self._h

    # The definition.

    @property
    def field_names(self):
        return [field.name for field in self.fields]

    def field(self, name):
        try:
            return self._by_name[name]
        except KeyError:
            raise KeyError("no field named %s (fields: %s)" % (name, ", ".join(self.field_names))) from None

    def index_number(self, index):
        if index is None:
            return 0
        if isinstance(index, int) and not isinstance(index, bool):
            if 0 <= index < len(self.indexes):
                return index
        elif index in self.indexes:
            return self.indexes.index(index)
        raise KeyError("no index %r (indexes: %s)" % (index, ", ".join(self.indexes)))

    def key_fields(self, index=None):
        """The names of the index's key fields, in key order."""
        number = self.index_number(index)
        if number not in self._key_fields:
            active = self._active
            self._use(number)
            count = _i32()
            call("vr_IndexFieldCount", self._h, ctypes.byref(count))
            text = ctypes.create_string_buffer(256)
            names = []
            for k in range(count.value):
                call("vr_IndexFieldName", text, self._h, k)
                names.append(from_short_string(text))
            self._key_fields[number] = names
            if active is not None:
                self._use(active)
        return list(self._key_fields[number])

    def _use(self, number):
        call("vr_ChangeIndex", self._handle(), number, None)
        self._active = number

    # Records.

    def __len__(self):
        total = _i32()
        call("vr_TotalRecords", self._handle(), ctypes.byref(total))
        return total.value

    def _current(self):
        record = ctypes.create_string_buffer(self.record_size)
        call("vr_MoveFromDB", self._h, record)
        raw = bytearray(record.raw)
        return {field.name: read_value(field, raw) for field in self.fields}

    def current(self):
        """The record at the cursor, or None when there is none."""
        mark = _i32()
        call("vr_GetCurrentBookMarkData", self._handle(), ctypes.byref(mark))
        return self._current() if mark.value >= 0 else None

    def _walk(self):
        flag = ctypes.c_uint8(0)
        call("vr_First", self._h, None)
        call("vr_RangeEmpty", self._h, ctypes.byref(flag))
        if flag.value:
            return
        while True:
            yield self._current()
            call("vr_Next", self._h, None)
            call("vr_EOF", self._h, ctypes.byref(flag))
            if flag.value:
                return

    def records(self, index=None, low=None, high=None):
        """The records in the order of `index` (name or number; the unique index 0 by
        default), within the key range [low, high] when either is given (a value or
        a tuple of values for the leading key fields; None for an open end)."""
        number = self.index_number(index)
        self._use(number)
        if low is None and high is None:
            yield from self._walk()
            return
        keys = self.key_fields(number)
        low_texts = self._key_texts(keys, low, "low")
        high_texts = self._key_texts(keys, high, "high")
        call("vr_ApplyRange", self._h, low_texts[0], low_texts[1], high_texts[0], high_texts[1], None)
        try:
            yield from self._walk()
        finally:
            if self._h is not None:
                call("vr_CancelRange", self._h, None)

    def __iter__(self):
        return self.records()

    def range(self, low=None, high=None, index=None):
        """The records whose keys lie between low and high (both included)."""
        return self.records(index, low, high)

    def _key_texts(self, keys, values, what):
        if values is None:
            values = ()
        elif not isinstance(values, (tuple, list)):
            values = (values,)
        if len(values) > len(keys):
            raise ValueError("%d %s key values given, the index has %d key fields (%s)"
                             % (len(values), what, len(keys), ", ".join(keys)))
        return key_texts([key_text(self._by_name[name], value) for name, value in zip(keys, values)])

    def _find(self, key, index):
        number = self.index_number(index)
        self._use(number)
        keys = self.key_fields(number)
        texts = self._key_texts(keys, key, "search")
        found = _i32()
        call("vr_FindKeyRecord", self._h, texts[0], texts[1], ctypes.byref(found))
        return bool(found.value & 0xFF), keys

    def find(self, *key, index=None):
        """The first record (in index order) whose leading key fields equal `key`, or None."""
        found, _ = self._find(key, index)
        return self._current() if found else None

    def find_all(self, *key, index=None, limit=None):
        """Every record whose leading key fields equal `key`, in index order."""
        found, keys = self._find(key, index)
        matches = []
        flag = ctypes.c_uint8(0)
        names = keys[:len(key)]
        while found and (limit is None or len(matches) < limit):
            record = self._current()
            first = matches[0] if matches else record
            if any(record[n] != first[n] for n in names):
                break
            matches.append(record)
            call("vr_Next", self._h, None)
            call("vr_EOF", self._h, ctypes.byref(flag))
            found = not flag.value
        return matches

    def locate(self, ignore_case=False, partial=0, **values):
        """The first record (in the current index's order) whose fields equal the
        given values, or None; the cursor moves to it.  With ignore_case, String
        fields compare without regard to letter case; a partial length compares
        only that many leading bytes of the last String field given."""
        if not values:
            raise ValueError("locate needs at least one field=value")
        key = bytearray(self.record_size)
        numbers = []
        for name, value in values.items():
            field = self.field(name)
            write_value(field, key, value)
            numbers.append(field.number)
        items = (ctypes.c_int32 * len(numbers))(*numbers)
        fields = _lib.FieldNoList(len(numbers), items)
        buffer = ctypes.create_string_buffer(bytes(key), self.record_size)
        found = _i32()
        call("vr_LocateRecord", self._handle(), ctypes.byref(fields), buffer, -1, int(partial),
             1 if ignore_case else 0, 1, ctypes.byref(found))
        return self._current() if found.value & 0xFF else None

    # Changes.

    def _record_bytes(self, values, base=None):
        unknown = set(values) - set(self._by_name)
        if unknown:
            raise KeyError("no field named %s (fields: %s)" % (", ".join(sorted(unknown)),
                                                               ", ".join(self.field_names)))
        record = bytearray(base) if base is not None else bytearray(self.record_size)
        for name, value in values.items():
            write_value(self._by_name[name], record, value)
        return ctypes.create_string_buffer(bytes(record), self.record_size)

    def insert(self, values):
        """Adds a record; fields not given are null."""
        buffer = self._record_bytes(values)
        call("vr_MoveToDB", self._handle(), buffer)
        call("vr_PostNewRecord", self._h, None)

    def update(self, key, changes, index=None):
        """Changes the given fields of the record with this key (of index 0 by
        default); returns False when there is no such record."""
        found, _ = self._find(key if isinstance(key, (tuple, list)) else (key,), index)
        if not found:
            return False
        call("vr_EditRecord", self._h)
        current = ctypes.create_string_buffer(self.record_size)
        call("vr_MoveFromDB", self._h, current)
        call("vr_MoveToDB", self._h, self._record_bytes(changes, current.raw))
        call("vr_PostEditedRecord", self._h)
        return True

    def delete(self, key, index=None):
        """Deletes the record with this key; returns False when there is none."""
        found, _ = self._find(key if isinstance(key, (tuple, list)) else (key,), index)
        if found:
            call("vr_DeleteRecord", self._h, None)
        return found

    def empty(self):
        """Deletes every record."""
        call("vr_EmptyTable", self._handle(), None)
        self._active = 0

    # Bookmarks.

    def bookmark(self):
        """A bookmark (a slot number) on the current record."""
        mark, slot = _i32(), _i32()
        call("vr_GetCurrentBookMarkData", self._handle(), ctypes.byref(mark))
        if mark.value < 0:
            raise ValueError("there is no current record to bookmark")
        call("vr_AddBookmark", self._h, mark.value, ctypes.byref(slot))
        return slot.value

    def goto(self, bookmark):
        """Moves to the bookmarked record and returns it; None when it is gone."""
        ok = _i32()
        call("vr_GoToBookmark", self._handle(), bookmark, ctypes.byref(ok))
        return self._current() if ok.value & 0xFF else None

    def forget(self, bookmark):
        call("vr_DeleteBookmark", self._handle(), bookmark)

    # Integrity.

    def rebuild(self):
        """Rebuilds every index from the data file; returns (kept, before)."""
        kept, before = _i32(), _i32()
        call("vr_RebuildTable", self._handle(), ctypes.byref(kept), ctypes.byref(before))
        self._active = 0
        return kept.value, before.value

    def check(self):
        """Walks every index: each must reach every record exactly once, in key
        order.  Returns the problems found (an empty list when sound)."""
        problems = []
        total = len(self)
        mark = _i32()
        for number, name in enumerate(self.indexes):
            keys = self.key_fields(number)
            self._use(number)
            seen, previous = [], None
            try:
                for record in self._walk():
                    call("vr_GetCurrentBookMarkData", self._h, ctypes.byref(mark))
                    seen.append(mark.value)
                    key = tuple(_sortable(record[k]) for k in keys)
                    if previous is not None and key < previous:
                        problems.append("index %s: record %d is out of key order" % (name, mark.value))
                    previous = key
                    if len(seen) > total:
                        break
            except Error as e:
                problems.append("index %s: %s" % (name, e.message))
                continue
            if sorted(seen) != list(range(total)):
                problems.append("index %s reaches %d of the %d records" % (name, len(set(seen)), total))
        if self.indexes:
            self._use(0)
        return problems

    def to_pandas(self, index=None):
        """The records as a pandas DataFrame (needs Debian's python3-pandas)."""
        import pandas
        return pandas.DataFrame(list(self.records(index)), columns=self.field_names)


def _sortable(value):
    # Nulls sort before every value; texts compare byte by byte, as the engine's keys do.
    if value is None:
        return (0, 0)
    return (1, value.encode("utf-8", "surrogateescape") if isinstance(value, str) else value)
