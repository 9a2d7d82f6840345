"""The value types of the halvane package: Html, Error and NULL."""

__all__ = ["Html", "Error", "NULL"]


class Html(str):
    """Markup a component returned, byte for byte.

    A str whose ``__html__`` returns itself, so that Jinja2's autoescaping,
    MarkupSafe and Django templates write it as it is.
    """

    __slots__ = ()

    def __html__(self):
        return self


class Error(Exception):
    """An error the library raised.

    ``number``, ``source`` and ``description`` are those of the library's
    error; ``status`` is 0x800A0000 + number.  ``str(e)`` is the description.
    """

    def __init__(self, number, source, description):
        super().__init__(number, source, description)
        self.number = number
        self.source = source
        self.description = description
        self.status = 0x800A0000 + (number & 0xFFFF)

    def __str__(self):
        return self.description


class _NullType:
    """The type of halvane.NULL, the one Null value."""

    __slots__ = ()
    _instance = None

    def __new__(cls):
        if cls._instance is None:
            cls._instance = super().__new__(cls)
        return cls._instance

    def __repr__(self):
        return "halvane.NULL"

    def __bool__(self):
        return False

    def __reduce__(self):
        return "NULL"


NULL = _NullType()

for _t in (Html, Error, _NullType):
    _t.__module__ = "halvane"
del _t
