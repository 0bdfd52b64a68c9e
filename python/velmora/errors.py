"""The engine's failures as Python exceptions.

Every failure is a `velmora.Error` carrying the engine's own message (`message`,
also the exception's text), its class name (`class_name`, e.g.
"EVelmoraDBError") and, for file operations, the I/O error code (`io_code`).
Each class of the engine has a subclass of its own.
"""


class Error(Exception):
    status = 9

    def __init__(self, message, class_name="", io_code=0):
        super().__init__(message)
        self.message = message
        self.class_name = class_name
        self.io_code = io_code


class VelmoraDBError(Error):
    """Table engine, data file, record cache or index layer."""
    status = 1


class VRBError(Error):
    """A text that is no value of its field's type."""
    status = 2


class UserAccessError(Error):
    """A bad user handle or key position."""
    status = 3


class InOutError(Error):
    """A failed file operation; `io_code` is the system's error number."""
    status = 4


class ConvertError(Error):
    """A number or date text that does not convert."""
    status = 5


class ListError(Error):
    """A list position out of bounds."""
    status = 6


class MathError(Error):
    """Floating-point overflow or invalid operation."""
    status = 7


class OutOfMemoryError(Error):
    status = 8


_BY_STATUS = {c.status: c for c in (VelmoraDBError, VRBError, UserAccessError, InOutError,
                                    ConvertError, ListError, MathError, OutOfMemoryError)}


def error_from_status(status, message, class_name, io_code):
    return _BY_STATUS.get(status, Error)(message, class_name, io_code)
