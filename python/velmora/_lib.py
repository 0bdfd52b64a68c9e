"""Loading the C interface (libvelmora_c.so) and calling it.

The library is looked for, in this order: the path in the environment variable
VELMORA_C_LIBRARY, a build folder beside this package's source tree, then the
system's library path.  Every call goes through `call`, which turns a failure
status into the matching Python exception.
"""
import ctypes
import ctypes.util
import os

from .errors import error_from_status

_HERE = os.path.dirname(os.path.abspath(__file__))
_CANDIDATES = (
    os.path.join(_HERE, "..", "..", "build", "libvelmora_c.so"),
    "libvelmora_c.so.2",
    "libvelmora_c.so",
)

i32 = ctypes.c_int32
u8 = ctypes.c_uint8
P = ctypes.c_void_p
pi32 = ctypes.POINTER(ctypes.c_int32)
pu8 = ctypes.POINTER(ctypes.c_uint8)
FILTER_PROC = ctypes.CFUNCTYPE(ctypes.c_uint8, ctypes.c_ssize_t, ctypes.c_void_p)


class FieldDescriptor(ctypes.Structure):
    _pack_ = 1
    _fields_ = [("Name", u8 * 256), ("FieldType", ctypes.c_char), ("Len", ctypes.c_int16),
                ("Offset", ctypes.c_int16), ("HasParam0", i32), ("HasParam1", i32),
                ("HasParam2", i32), ("HasParam3", i32), ("FieldFlags", u8),
                ("Param1", u8 * 256), ("Param2", u8 * 256), ("Param3", u8 * 256),
                ("Reserved", u8 * 256)]


class FieldDefList(ctypes.Structure):
    _fields_ = [("Count", i32), ("Items", ctypes.POINTER(FieldDescriptor))]


class IndexDef(ctypes.Structure):
    _fields_ = [("Name", u8 * 256), ("FieldCount", i32), ("FieldNos", i32 * 10)]


class IndexDefList(ctypes.Structure):
    _fields_ = [("Count", i32), ("Items", ctypes.POINTER(IndexDef))]


class FieldNoList(ctypes.Structure):
    _fields_ = [("Count", i32), ("Items", pi32)]


# Parameter types of the functions this package calls (the list of velmora_c_ops.h).
_SIGNATURES = {
    "vr_Connect": [i32, pi32],
    "vr_Disconnect": [i32],
    "vr_CheckOpen": [i32, pu8],
    "vr_OpenTable": [i32, P, i32, pi32],
    "vr_CloseTable": [i32],
    "vr_MoveFromDB": [i32, P],
    "vr_MoveToDB": [i32, P],
    "vr_RecordSize": [i32, pi32],
    "vr_SetFieldToNull": [i32, i32],
    "vr_FieldCount": [i32, pi32],
    "vr_FieldName": [P, i32, i32],
    "vr_FieldInfo": [i32, i32, pi32, pi32, ctypes.c_char_p],
    "vr_IndexCount": [i32, pi32],
    "vr_GetIndexName": [P, i32, i32],
    "vr_IndexFieldCount": [i32, pi32],
    "vr_IndexFieldName": [P, i32, i32],
    "vr_ChangeIndex": [i32, i32, pi32],
    "vr_First": [i32, pi32],
    "vr_Last": [i32, pi32],
    "vr_Next": [i32, pi32],
    "vr_Prior": [i32, pi32],
    "vr_EOF": [i32, pu8],
    "vr_BOF": [i32, pu8],
    "vr_RangeEmpty": [i32, pu8],
    "vr_RangeCount": [i32, pi32],
    "vr_TotalRecords": [i32, pi32],
    "vr_FindKeyRecord": [i32, P, i32, pi32],
    "vr_FindNearestRecord": [i32, P, i32, pi32],
    "vr_ApplyRange": [i32, P, i32, P, i32, pi32],
    "vr_CancelRange": [i32, pi32],
    "vr_EditRecord": [i32],
    "vr_PostEditedRecord": [i32],
    "vr_PostNewRecord": [i32, pi32],
    "vr_DeleteRecord": [i32, pi32],
    "vr_EmptyTable": [i32, pi32],
    "vr_GetCurrentBookMarkData": [i32, pi32],
    "vr_AddBookmark": [i32, i32, pi32],
    "vr_DeleteBookmark": [i32, i32],
    "vr_CheckBookmarkValid": [i32, i32, pi32],
    "vr_GoToBookmark": [i32, i32, pi32],
    "vr_RebuildTable": [i32, pi32, pi32],
    "vr_LocateRecord": [i32, ctypes.POINTER(FieldNoList), P, i32, i32, u8, u8, pi32],
    "vr_SetFilterProc": [i32, FILTER_PROC, ctypes.c_ssize_t, FILTER_PROC, ctypes.c_ssize_t],
    "vr_SetFilterStatus": [i32, u8, u8],
    "vr_SetFiltered": [i32, u8],
    "vr_InternalStatus": [P, i32, i32],
    "vr_VRIFileOps": [i32, u8, P, ctypes.POINTER(FieldDefList), ctypes.POINTER(IndexDefList), pi32],
    "vr_TableUtils": [P, P, i32, pi32],
}


def _load():
    explicit = os.environ.get("VELMORA_C_LIBRARY")
    candidates = (explicit,) if explicit else _CANDIDATES
    last = None
    for path in candidates:
        try:
            lib = ctypes.CDLL(path)
            break
        except OSError as e:
            last = e
    else:
        raise OSError("cannot load the Velmora C interface (libvelmora_c.so); set VELMORA_C_LIBRARY "
                      "to its path: %s" % last)
    for name, argtypes in _SIGNATURES.items():
        function = getattr(lib, name)
        function.argtypes = argtypes
        function.restype = ctypes.c_int
    for name in ("vr_LastErrorMessage", "vr_LastErrorClass", "vr_Version"):
        getattr(lib, name).restype = ctypes.c_char_p
        getattr(lib, name).argtypes = []
    lib.vr_LastErrorIOCode.restype = i32
    lib.vr_LastErrorIOCode.argtypes = []
    return lib


lib = _load()


def call(name, *args):
    """Calls the C interface function `name`; raises the engine's failure as an exception."""
    status = getattr(lib, name)(*args)
    if status != 0:
        raise error_from_status(status, lib.vr_LastErrorMessage().decode("latin-1"),
                                lib.vr_LastErrorClass().decode("latin-1"), lib.vr_LastErrorIOCode())


def short_string(text, what="text"):
    """A 256-byte short string holding `text` (str as UTF-8, or bytes)."""
    data = text.encode("utf-8") if isinstance(text, str) else bytes(text)
    if len(data) > 255:
        raise ValueError("%s is longer than 255 bytes: %r" % (what, text))
    buffer = ctypes.create_string_buffer(256)
    buffer[0] = len(data)
    buffer[1:1 + len(data)] = data
    return buffer


def from_short_string(buffer):
    raw = bytes(buffer)
    return raw[1:1 + raw[0]].decode("utf-8", "surrogateescape")


def key_texts(texts):
    """The key text array of searches and ranges: (buffer, high index)."""
    buffer = ctypes.create_string_buffer(256 * max(1, len(texts)))
    for i, text in enumerate(texts):
        one = short_string(text, "a key value")
        buffer[256 * i:256 * (i + 1)] = one.raw
    return buffer, len(texts) - 1
