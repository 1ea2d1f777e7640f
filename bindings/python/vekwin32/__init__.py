"""The VekWin32 line-buffer engine from Python, through ctypes.

    import vekwin32
    with vekwin32.Engine() as engine:   # three buffers of its own
        engine.load_files(1, vekwin32.TEXT, ["a.c", "b.h"])
        engine.get_lines(1, 1, 2)       # [b' ...', ...]

    lib = vekwin32.Library()            # the process's three buffers

One method per export of vekwin32.h, named in snake case, taking buffer
numbers and Python values. Lines are bytes in and out; a str is accepted and
encoded as UTF-8. File names may be str, bytes or path objects; file lists
are Python lists. A call that the library answers with a failure code raises
VekError, which carries the code and its VEK_RC_* name; a file that could not
be opened, read or written raises VekFileError, which is also an OSError.

Threads: an Engine owns a context of its own. Different engines may be used
from different threads at once; one engine is used by one thread at a time.
Library works on the process's buffers, which every Library object and every
other user of the library in the process share: each call is safe on its
own, but a sequence of calls needs a lock of the host's.
"""

from __future__ import annotations

import ctypes
import ctypes.util
import errno as _errno
import operator
import os
import struct
import sys
import threading
import weakref
from typing import Any, Callable, Dict, Iterable, List, NamedTuple, Optional, Sequence, Tuple, Union

__version__ = "1.0.0"

__all__ = ["Engine", "Library", "VekError", "VekFileError", "VekFileNotFoundError", "BinaryAsTextError",
           "LibraryNotFound", "BufStats",
           "RESULT_NAMES", "TEXT", "BINARY"]

PathName = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]
Line = Union[bytes, bytearray, str]
FileType = Union[str, bytes]

# The type letters of file lists: 'T' text (the tenth file binary), 'B'
# every file binary. check_type answers with one of them.
TEXT = "T"
BINARY = "B"

# The result codes under the header's names, VEK_RC_* and the short RC_*.
VEK_RC_OK = RC_OK = 0
VEK_RC_WIDTH_NOT_COMPUTED = RC_WIDTH_NOT_COMPUTED = 1
VEK_RC_FAILED = RC_FAILED = 100
VEK_RC_BUFFER_FULL = RC_BUFFER_FULL = 101
VEK_RC_BAD_LINE = RC_BAD_LINE = 102
VEK_RC_BAD_BUFFER = RC_BAD_BUFFER = 103
VEK_RC_READ_FAILED = RC_READ_FAILED = 104
VEK_RC_WRITE_FAILED = RC_WRITE_FAILED = 105
VEK_RC_DIFF_FAILED = RC_DIFF_FAILED = 107
VEK_RC_TOO_MANY_FILES = RC_TOO_MANY_FILES = 108
VEK_RC_BAD_WIDTH = RC_BAD_WIDTH = 109
VEK_RC_STATS_FAILED = RC_STATS_FAILED = 110
VEK_RC_BAD_TYPE = RC_BAD_TYPE = 111
VEK_RC_NO_ROOM = RC_NO_ROOM = 112
VEK_RC_BAD_CONTEXT = RC_BAD_CONTEXT = 113

RESULT_NAMES: Dict[int, str] = dict(sorted((code, name) for name, code in globals().items()
                                            if name.startswith("VEK_RC_")))
"""The VEK_RC_* name of each result code."""

VEK_MAX_LINES = MAX_LINES = 524288
VEK_MAX_LIST_FILES = MAX_LIST_FILES = 10
VEK_BINARY_LIST_FILE = BINARY_LIST_FILE = 10
VEK_LINES_BLOCK_SIZE = LINES_BLOCK_SIZE = 65536
VEK_LINES_BLOCK_MAX_LINES = LINES_BLOCK_MAX_LINES = 100
_STATUS_ROOM = 20


class BufStats(NamedTuple):
    """What buf_stats reports of a buffer. Lengths are in bytes and count
    each line's last byte (its line feed), which get_line drops."""

    count: int
    """Lines in the buffer."""
    longest: int
    """Length of the longest line."""
    total: int
    """Sum of the line lengths; 2,147,483,647 beyond it (it saturates)."""


class VekError(Exception):
    """A call answered with a failure code: .code (e.g. 103), .name
    ("VEK_RC_BAD_BUFFER"), .function (the export's name); the message names
    the buffer or file concerned."""

    def __init__(self, function: str, code: int, where: str = "") -> None:
        self.function = function
        self.code = code
        self.name = RESULT_NAMES.get(code, "unknown result")
        self.message = "%s failed with %s (%d)%s" % (function, self.name, code,
                                                     ": " + where if where else "")
        Exception.__init__(self, self.message)

    def __str__(self) -> str:
        return self.message


class VekFileError(VekError, OSError):
    """A file could not be opened, read or written (VEK_RC_READ_FAILED or
    VEK_RC_WRITE_FAILED). Also an OSError: .filename names the file when the
    binding could tell which one (always where the call had one file), and
    .errno is ENOENT when that file does not exist."""

    def __init__(self, function: str, code: int, where: str = "",
                 filename: Optional[Union[str, bytes]] = None) -> None:
        VekError.__init__(self, function, code, where)
        number = None
        if filename is not None and not os.path.lexists(filename):
            number = _errno.ENOENT
        OSError.__init__(self, number, self.message, filename)

    def __str__(self) -> str:
        return self.message


class VekFileNotFoundError(VekFileError, FileNotFoundError):
    """A VekFileError for a file that does not exist."""


class BinaryAsTextError(VekError, ValueError):
    """load_files or crc_file with TEXT refused a file that check_type calls
    binary outside the tenth place: as text lines it would not come back as
    it was. .filename names it; .code is VEK_RC_BAD_TYPE. Also a ValueError."""

    def __init__(self, function: str, filename: str, place: int) -> None:
        VekError.__init__(self, function, VEK_RC_BAD_TYPE,
                          "%r (place %d of the list) is binary: load it with type 'B' or in the tenth "
                          "place, or pass binary_as_text=True" % (filename, place))
        self.filename = filename
        self.place = place


class LibraryNotFound(OSError):
    """The library could not be loaded; .tried lists every place tried."""

    def __init__(self, tried: List[Tuple[str, Any]]) -> None:
        self.tried = tried
        lines = "\n".join("  %s: %s" % place for place in tried)
        super().__init__(
            "the VekWin32 library could not be loaded; looked in:\n%s\n"
            "set VEKWIN32_LIBRARY or pass its path: vekwin32.Engine('/path/to/%s')"
            % (lines, _file_name()))


def _file_name() -> str:
    return "VekWin32.dll" if sys.platform == "win32" else "libvekwin32.so"


def _candidates() -> List[str]:
    """The wheel's own library beside this file first, then the file that
    VEKWIN32_LIBRARY names, then the library of the VekWin32 package the
    binding came in (bin/ of a Windows zip, lib/ of the Linux tarball), then
    the system's usual places."""
    here = os.path.dirname(os.path.abspath(__file__))
    names = [os.path.join(here, _file_name())]
    if os.environ.get("VEKWIN32_LIBRARY"):
        names.append(os.environ["VEKWIN32_LIBRARY"])
    if sys.platform == "win32":
        names += [os.path.normpath(os.path.join(here, "..", "..", "..", "bin", "VekWin32.dll")),
                  "VekWin32.dll"]
        return names
    names += [os.path.normpath(os.path.join(here, *[".."] * 5, "lib", "libvekwin32.so.1")),
              "libvekwin32.so.1", "libvekwin32.so"]
    found = ctypes.util.find_library("vekwin32")
    if found and found not in names:
        names.append(found)
    return names


_loaded: Dict[str, ctypes.CDLL] = {}
_loading = threading.Lock()


def _open(path: str) -> ctypes.CDLL:
    with _loading:
        dll = _loaded.get(path)
        if dll is None:
            dll = ctypes.CDLL(path)
            _declare(dll)
            _loaded[path] = dll
        return dll


def _load(path: Optional[PathName]) -> ctypes.CDLL:
    if path is not None:
        path = os.fsdecode(os.fspath(path))
        try:
            return _open(path)
        except OSError as error:
            raise LibraryNotFound([(path, error)]) from None
    tried: List[Tuple[str, Any]] = []
    for candidate in _candidates():
        if os.path.isabs(candidate) and not os.path.exists(candidate):
            tried.append((candidate, "no such file"))
            continue
        try:
            return _open(candidate)
        except OSError as error:
            where = candidate if os.path.isabs(candidate) else \
                "%s (the system's library search path)" % candidate
            tried.append((where, error))
    raise LibraryNotFound(tried)


def _int(value: Any, what: str) -> int:
    """A C int argument: another type is a TypeError, a value that does not
    fit is refused, not wrapped."""
    if isinstance(value, bool) or not hasattr(type(value), "__index__"):
        raise TypeError("%s must be an int, not %s" % (what, type(value).__name__))
    value = operator.index(value)
    if not -2**31 <= value < 2**31:
        raise OverflowError("%s %d does not fit a C int" % (what, value))
    return value


def _line(text: Any, what: str = "a line") -> bytes:
    """A line as the bytes the library takes."""
    if isinstance(text, str):
        text = text.encode("utf-8")
    elif not isinstance(text, (bytes, bytearray, memoryview)):
        raise TypeError("%s is bytes or str, not %s" % (what, type(text).__name__))
    text = bytes(text)
    if b"\0" in text:
        raise ValueError("%s passed to the library cannot hold a NUL byte: %r" % (what, text[:60]))
    return text


def _text_line(text: Any, what: str) -> bytes:
    text = _line(text, what)
    if b"\n" in text:
        raise ValueError("%s cannot hold a line feed (the library would store it inside one "
                         "line): %r" % (what, text[:60]))
    return text


def _name(name: Any) -> bytes:
    if isinstance(name, (bytes, bytearray)):
        return _line(name, "a file name")
    if not isinstance(name, (str, os.PathLike)):
        raise TypeError("a file name is str, bytes or a path, not %s" % type(name).__name__)
    name = os.fspath(name)
    if isinstance(name, bytes):
        return _line(name, "a file name")
    if sys.platform == "win32":
        # The library opens names in the process's active code page.
        try:
            return _line(name.encode("mbcs", "strict"), "a file name")
        except UnicodeEncodeError:
            raise ValueError("a file name outside the active code page: %r" % name) from None
    return _line(os.fsencode(name), "a file name")


def _names(names: Any) -> List[bytes]:
    if isinstance(names, (str, bytes, os.PathLike)):
        names = [names]
    elif not isinstance(names, Iterable):
        raise TypeError("a file list is a list of names, not %s" % type(names).__name__)
    encoded = [_name(n) for n in names]
    for n in encoded:
        if b"," in n:
            raise ValueError("a file name in a list cannot hold a comma: %r" % n)
    return encoded


def _file_list(encoded: List[bytes], empty_ends: bool = False) -> ctypes.Array:
    """A comma-separated list, as a writable string (the exports cut it)."""
    # The library ends a list at an empty name unless the list is full (its
    # tenth name not empty, or its eleventh when the first is empty; never
    # for CheckType): refuse a list whose later names would go unhandled.
    tenth = 10 if encoded and encoded[0] else 11
    if empty_ends or len(encoded) < tenth or not encoded[tenth - 1]:
        for k, n in enumerate(encoded):
            if not n and any(encoded[k + 1:]):
                raise ValueError("an empty name at place %d would end the file list before "
                                 "the names after it" % (k + 1))
    return ctypes.create_string_buffer(b",".join(encoded))


def _type_letter(file_type: Any) -> int:
    if isinstance(file_type, str):
        letter = file_type.encode("ascii", "replace")
    elif isinstance(file_type, (bytes, bytearray)):
        letter = bytes(file_type)
    else:
        raise TypeError("the file type is 'T' (vekwin32.TEXT) or 'B' (vekwin32.BINARY), not %s"
                        % type(file_type).__name__)
    if letter not in (b"T", b"B"):
        raise ValueError("the file type is 'T' (vekwin32.TEXT) or 'B' (vekwin32.BINARY), not %r"
                         % (file_type,))
    return letter[0]


def _shown(name: bytes) -> str:
    return repr(os.fsdecode(name))


_c_int = ctypes.c_int
_p_int = ctypes.POINTER(ctypes.c_int)
_c_str = ctypes.c_char_p
_void = ctypes.c_void_p
_SIGNATURES = {
    "InitBuf": [_c_int],
    "AddLine": [_c_int, _c_str],
    "AddLines": [_c_int, _c_str],
    "GetLine": [_c_int, _c_int, _c_int, _void, _p_int],
    "GetLines": [_c_int, _c_int, _c_int, _void, _p_int],
    "GetBufStats": [_c_int, _p_int, _p_int, _p_int],
    "Crc": [_c_int, _c_int, _p_int],
    "EdCmd": [_c_int, _c_str],
    "EdBuf": [_c_int, _c_int],
    "Diff": [_c_int, _c_int, _c_int],
    "DiffWhole": [_c_int, _c_int, _c_int],
    "LoadFiles": [_c_int, _c_int, _void, _void],
    "WriteFiles": [_c_int, _c_int, _void],
    "CrcFile": [_c_int, _void, _c_int, _p_int],
    "CheckType": [_void, _void],
    "ReadBuf": [_c_int, _c_str],
    "WriteBuf": [_c_int, _c_str],
    "TestBuf": [_p_int],
}


def _declare(dll: ctypes.CDLL) -> None:
    for name, argtypes in _SIGNATURES.items():
        function = getattr(dll, name)
        function.argtypes = argtypes
        function.restype = ctypes.c_int
        # The context's twin, where this library has contexts.
        twin = getattr(dll, "Vek" + name, None)
        if twin is not None:
            twin.argtypes = [_void] + argtypes
            twin.restype = ctypes.c_int
    if hasattr(dll, "VekOpen"):
        dll.VekOpen.argtypes = []
        dll.VekOpen.restype = _void
        dll.VekClose.argtypes = [_void]
        dll.VekClose.restype = None


class _Calls:
    """The methods of Library and Engine: one per export, on the buffers
    that `_fn` reaches."""

    _fn: Callable[[str], Callable[..., int]]

    def _call(self, name: str, args: Sequence[Any], where: str = "",
              files: Sequence[bytes] = (), text_places: Optional[Callable[[int], bool]] = None) -> int:
        code = self._fn(name)(*args)
        if code in (RC_OK, RC_WIDTH_NOT_COMPUTED):
            return code
        if code in (VEK_RC_READ_FAILED, VEK_RC_WRITE_FAILED) and (files or name in ("ReadBuf", "WriteBuf")):
            raise _file_error(name, code, where, files, text_places)
        raise VekError(name, code, where)

    # ---- Buffers ----------------------------------------------------------

    def init_buf(self, buf: int) -> None:
        """Empties buffer `buf` (1, 2 or 3): its lines and its edit state
        (insert mode off, current line 1).

        Raises VekError VEK_RC_BAD_BUFFER when buf is not 1, 2 or 3."""
        buf = _int(buf, "buf")
        self._call("InitBuf", (buf,), "buffer %d" % buf)

    def add_line(self, buf: int, text: Line) -> None:
        """Appends `text` plus a line feed to buffer `buf` as one line; `text`
        may be empty. A str is encoded as UTF-8.

        Refused before the call (ValueError): text holding a NUL byte or a
        line feed. Raises VekError: VEK_RC_BAD_BUFFER (buf not 1..3),
        VEK_RC_BUFFER_FULL (the buffer already holds more than MAX_LINES
        lines, the line is longer than 2,147,483,646 bytes, or memory ran
        out; the buffer is then unchanged)."""
        buf = _int(buf, "buf")
        self._call("AddLine", (buf, _text_line(text, "a line for add_line")), "buffer %d" % buf)

    def add_lines(self, buf: int, lines: Iterable[Line]) -> None:
        """Appends each line of `lines` to buffer `buf`, sent in packed runs
        of about 64 KiB. A line here cannot be empty (use add_line for one),
        nor hold a NUL byte or a line feed (ValueError, before anything of
        that run is sent).

        Raises VekError: VEK_RC_BAD_BUFFER, VEK_RC_BUFFER_FULL (line limit,
        a line too long, or memory ran out: the lines before it stay
        appended, the rest are not)."""
        buf = _int(buf, "buf")
        if isinstance(lines, (str, bytes, bytearray)) or not isinstance(lines, Iterable):
            raise TypeError("add_lines takes a list of lines, not %s; use add_line for one"
                            % type(lines).__name__)
        run: List[bytes] = []
        size = 0
        for text in lines:
            line = _text_line(text, "a line for add_lines")
            if not line:
                raise ValueError("add_lines cannot carry an empty line; use add_line")
            run.append(line)
            size += len(line) + 1
            if size >= LINES_BLOCK_SIZE:
                self._call("AddLines", (buf, b"\0".join(run) + b"\0\0"), "buffer %d" % buf)
                run, size = [], 0
        if run:
            self._call("AddLines", (buf, b"\0".join(run) + b"\0\0"), "buffer %d" % buf)

    def get_line(self, buf: int, line: int) -> bytes:
        """Line `line` (numbered from 1) of buffer `buf`, without its last
        stored byte (normally its line feed). A line that holds a NUL byte
        comes back as the bytes before it, less the last of them.

        Raises VekError: VEK_RC_BAD_BUFFER, VEK_RC_BAD_LINE (line < 1),
        VEK_RC_FAILED (line past the last line)."""
        buf, line = _int(buf, "buf"), _int(line, "line")
        length = _c_int(0)
        room = 1024
        while True:
            dest = ctypes.create_string_buffer(room + 1)
            code = self._fn("GetLine")(buf, line, room, dest, ctypes.byref(length))
            if code == RC_NO_ROOM and length.value > room:
                room = length.value
                continue
            if code != RC_OK:
                raise VekError("GetLine", code, "line %d of buffer %d" % (line, buf))
            return dest.raw[:length.value]

    def get_lines(self, buf: int, first: int, count: int) -> List[bytes]:
        """`count` lines of buffer `buf` from line `first` on, each as get_line
        gives it; the 64 KiB block of GetLines stays inside.

        Raises ValueError for a negative count; VekError: VEK_RC_BAD_BUFFER,
        VEK_RC_BAD_LINE (first < 1), VEK_RC_FAILED (the range runs past the
        last line)."""
        buf, first, count = _int(buf, "buf"), _int(first, "first"), _int(count, "count")
        if count < 0:
            raise ValueError("a negative count of lines: %d" % count)
        lines: List[bytes] = []
        # A block per call: a Library may serve several threads.
        block = ctypes.create_string_buffer(LINES_BLOCK_SIZE)
        delivered = _c_int(0)
        while len(lines) < count:
            want = min(count - len(lines), LINES_BLOCK_MAX_LINES)
            number = first + len(lines)
            code = self._fn("GetLines")(buf, number, want, block, ctypes.byref(delivered))
            raw = block.raw
            offsets = struct.unpack_from("=%di" % LINES_BLOCK_MAX_LINES, raw, 0)
            for j in range(delivered.value):
                start = offsets[j]
                lines.append(raw[start:raw.index(b"\0", start)])
            if code != RC_OK:
                raise VekError("GetLines", code, "lines %d to %d of buffer %d"
                               % (first, first + count - 1, buf))
            if delivered.value == 0:
                # A line too long for the block: read it alone.
                lines.append(self.get_line(buf, number))
        return lines

    def buf_stats(self, buf: int) -> BufStats:
        """BufStats(count, longest, total) of buffer `buf`.

        Raises VekError VEK_RC_BAD_BUFFER when buf is not 1, 2 or 3."""
        buf = _int(buf, "buf")
        count, longest, total = _c_int(), _c_int(), _c_int()
        self._call("GetBufStats", (buf, ctypes.byref(count), ctypes.byref(longest),
                                   ctypes.byref(total)), "buffer %d" % buf)
        return BufStats(count.value, longest.value, total.value)

    def crc(self, buf: int, width: int = 16) -> Optional[int]:
        """The 16-bit additive checksum (0..65535) of buffer `buf`: the sum
        modulo 65536 of every stored byte, each as a signed byte. Width 32 is
        accepted but not computed: None.

        Raises VekError: VEK_RC_BAD_BUFFER, VEK_RC_BAD_WIDTH (width not 16
        or 32)."""
        buf, width = _int(buf, "buf"), _int(width, "width")
        out = _c_int(0)
        if self._call("Crc", (buf, width, ctypes.byref(out)), "buffer %d" % buf) == RC_WIDTH_NOT_COMPUTED:
            return None
        return out.value

    # ---- Edit scripts and differences -------------------------------------

    def ed_cmd(self, buf: int, line: Line) -> None:
        """Feeds one edit-script line (without a line feed) to the edit
        interpreter of buffer `buf`: "Na", "N,Mc", "N,Md" commands, then text
        lines until a line that begins with '.'. Insert mode persists across
        calls; addresses refer to the buffer as it stands.

        Raises VekError: VEK_RC_BAD_BUFFER, VEK_RC_BAD_LINE (the line was
        refused: unknown command, bad or out-of-range address, ...; the
        buffer and its edit state are then unchanged), VEK_RC_BUFFER_FULL."""
        buf = _int(buf, "buf")
        self._call("EdCmd", (buf, _line(line, "an edit line")), "buffer %d" % buf)

    def ed_buf(self, script_buf: int, target_buf: int) -> None:
        """Feeds every line of buffer `script_buf` to the edit interpreter of
        buffer `target_buf`, stopping at the first refused line.

        Raises VekError: VEK_RC_BAD_BUFFER (a number not 1..3, or both
        equal), VEK_RC_BAD_LINE (a line was refused: the lines before it stay
        applied; restore the target before applying the script again)."""
        script_buf, target_buf = _int(script_buf, "script_buf"), _int(target_buf, "target_buf")
        self._call("EdBuf", (script_buf, target_buf),
                   "script buffer %d, target buffer %d" % (script_buf, target_buf))

    def diff(self, old_buf: int, new_buf: int, script_buf: int) -> None:
        """Fills buffer `script_buf` with the edit script that turns `old_buf`
        into `new_buf`, comparing in windows of 2,500 lines aligned by line
        number. A new line that begins with '.' makes the script unusable:
        check such texts first.

        Raises VekError: VEK_RC_BAD_BUFFER (a number not 1..3, or two equal),
        VEK_RC_BUFFER_FULL (the script would exceed MAX_LINES lines),
        VEK_RC_DIFF_FAILED (more than 4,093 distinct lines in one window pair,
        or memory ran out). After a failure the script buffer holds a partial
        script: do not apply it."""
        self._diff("Diff", old_buf, new_buf, script_buf)

    def diff_whole(self, old_buf: int, new_buf: int, script_buf: int) -> None:
        """Fills buffer `script_buf` with the edit script that turns `old_buf`
        into `new_buf`, comparing the buffers whole: as short as the changes
        allow wherever lines moved. The scripts to keep. A new line that
        begins with '.' makes the script unusable: check such texts first.

        Raises VekError: VEK_RC_BAD_BUFFER, VEK_RC_BUFFER_FULL (the script
        would exceed MAX_LINES lines), VEK_RC_DIFF_FAILED (memory ran out);
        the script buffer is then empty."""
        self._diff("DiffWhole", old_buf, new_buf, script_buf)

    def _diff(self, function: str, old_buf: int, new_buf: int, script_buf: int) -> None:
        old_buf, new_buf = _int(old_buf, "old_buf"), _int(new_buf, "new_buf")
        script_buf = _int(script_buf, "script_buf")
        self._call(function, (old_buf, new_buf, script_buf),
                   "old buffer %d, new buffer %d, script buffer %d" % (old_buf, new_buf, script_buf))

    # ---- Files ------------------------------------------------------------

    def load_files(self, buf: int, file_type: FileType, files: Sequence[PathName],
                   binary_as_text: bool = False) -> str:
        """Appends a bundle section for each of up to ten files to buffer
        `buf` and returns the status text, one letter per name ("L,E,L":
        L loaded, E empty, empty name, or a binary file that could not be
        opened). With TEXT ('T') the tenth file is binary; with BINARY ('B')
        every file is.

        With TEXT, a file in places 1 to 9 that check_type calls binary is
        refused before anything is loaded (BinaryAsTextError, a ValueError,
        naming it), since the
        library would load it as text lines and change it; binary_as_text=True
        keeps the library's behaviour. An empty name ends the list unless it
        is full, so a list whose later names would be ignored is refused.

        Raises VekFileError (an OSError, .filename set) when a text file
        cannot be opened; VekError: VEK_RC_BAD_BUFFER, VEK_RC_FAILED (a file
        could not be read once opened, or memory ran out),
        VEK_RC_BUFFER_FULL, VEK_RC_TOO_MANY_FILES. After a failure the
        sections loaded so far stay in the buffer: init_buf before loading
        again."""
        buf = _int(buf, "buf")
        letter = _type_letter(file_type)
        names = _names(files)
        if letter == ord("T") and not binary_as_text:
            self._refuse_binary("LoadFiles", names)
        listed = _file_list(names)
        status = ctypes.create_string_buffer(_STATUS_ROOM + 1)
        self._call("LoadFiles", (buf, letter, listed, status), "buffer %d" % buf, names,
                   _text_places(letter))
        return status.value.decode("ascii")

    def write_files(self, buf: int, file_type: FileType, files: Sequence[PathName]) -> None:
        """Writes the bundle in buffer `buf` back out, section k to the k-th
        name: text sections as text with CR LF line ends, binary sections
        uudecoded. A section that is "E" alone leaves its file untouched.

        Raises VekFileError (an OSError) when a file could not be created or
        a binary section is malformed; VekError: VEK_RC_BAD_BUFFER,
        VEK_RC_FAILED (a data line shorter than its length, a write failed,
        or memory ran out), VEK_RC_TOO_MANY_FILES. The files before a failing
        one are complete, later ones untouched."""
        buf = _int(buf, "buf")
        letter = _type_letter(file_type)
        names = _names(files)
        self._call("WriteFiles", (buf, letter, _file_list(names)), "buffer %d" % buf, names)

    def crc_file(self, file_type: FileType, files: Sequence[PathName], width: int = 16,
                 binary_as_text: bool = False) -> Optional[int]:
        """The checksum crc would give of the bundle load_files would make
        of `files` in an empty buffer, without keeping it (None for width 32,
        which is not computed). Binary files in text places are refused as
        load_files refuses them.

        Raises VekFileError (an OSError, .filename set) when a text file
        cannot be opened; VekError: VEK_RC_BAD_WIDTH, VEK_RC_FAILED,
        VEK_RC_BUFFER_FULL, VEK_RC_TOO_MANY_FILES."""
        letter = _type_letter(file_type)
        width = _int(width, "width")
        names = _names(files)
        if letter == ord("T") and not binary_as_text:
            self._refuse_binary("CrcFile", names)
        out = _c_int(0)
        code = self._call("CrcFile", (letter, _file_list(names), width, ctypes.byref(out)), "",
                          names, _text_places(letter))
        return None if code == RC_WIDTH_NOT_COMPUTED else out.value

    def check_type(self, files: Sequence[PathName]) -> str:
        """TEXT ('T') when every listed file holds, in its first 512 bytes,
        only tab, line feed, vertical tab, form feed, carriage return, space
        to '~' or bytes 0x80..0xFF; else BINARY ('B'). Every name is checked,
        a one-character name too; an empty name cannot stand before others.

        Raises VekFileError (an OSError) when a file could not be opened or
        read; VekError VEK_RC_TOO_MANY_FILES for more than ten names."""
        names = _names(files)
        _file_list(names, empty_ends=True)
        # The library skips a one-character name without opening it: hand it
        # the same file under a longer name.
        checked = [os.curdir.encode() + os.sep.encode() + n if len(n) == 1 else n for n in names]
        letter = ctypes.create_string_buffer(1)
        self._call("CheckType", (_file_list(checked, empty_ends=True), letter), "", names)
        return letter.raw.decode("ascii")

    def _refuse_binary(self, function: str, names: List[bytes]) -> None:
        for place, name in enumerate(names[:BINARY_LIST_FILE - 1], 1):
            if not name or not os.path.isfile(name):
                continue  # the library reports an unreadable file itself
            try:
                binary = self.check_type([name]) == BINARY
            except VekFileError:
                continue
            if binary:
                raise BinaryAsTextError(function, os.fsdecode(name), place)

    def read_buf(self, buf: int, file_name: PathName) -> None:
        """Appends the text file `file_name` to buffer `buf` (CR LF read as
        LF, 0x1A ends the data), in pieces of at most 1,022 bytes, each one
        line.

        Raises VekFileError (an OSError, .filename set) when the file could
        not be opened or read; VekError: VEK_RC_BAD_BUFFER,
        VEK_RC_BUFFER_FULL (the lines read so far stay)."""
        buf = _int(buf, "buf")
        name = _name(file_name)
        self._call("ReadBuf", (buf, name), "buffer %d" % buf, [name])

    def write_buf(self, buf: int, file_name: PathName) -> None:
        """Creates or truncates the text file `file_name` and writes every
        line of buffer `buf` to it, each line feed as CR LF.

        Raises VekFileError (an OSError, .filename set) when the file could
        not be created or written; VekError VEK_RC_BAD_BUFFER."""
        buf = _int(buf, "buf")
        name = _name(file_name)
        self._call("WriteBuf", (buf, name), "buffer %d" % buf, [name])

    # ---- Probe --------------------------------------------------------------

    def test_buf(self, value: int = 7) -> Tuple[int, int]:
        """TestBuf(&value), the probe that calls and pointers work: (what it
        returned, what it left in value), (7, 100) for the default."""
        cell = ctypes.c_int(_int(value, "value"))
        returned = self._fn("TestBuf")(ctypes.byref(cell))
        return returned, cell.value


def _text_places(letter: int) -> Callable[[int], bool]:
    """Which places of a list the library opens as text (those whose open
    failure fails the call)."""
    return lambda place: letter == ord("T") and place != BINARY_LIST_FILE - 1


def _file_error(function: str, code: int, where: str, names: Sequence[bytes],
                text_places: Optional[Callable[[int], bool]]) -> VekFileError:
    """The OSError for a failed open, read or write, naming the file: the
    call's only file, or the first that cannot be opened for reading."""
    real = [(k, n) for k, n in enumerate(names) if n]
    culprit = real[0][1] if len(real) == 1 else None
    if culprit is None and code == VEK_RC_READ_FAILED:
        for k, n in real:
            if text_places is not None and not text_places(k):
                continue
            try:
                with open(n, "rb"):
                    pass
            except OSError:
                culprit = n
                break
    detail = [where] if where else []
    if culprit is not None:
        detail.append("file %s" % _shown(culprit))
        if not os.path.lexists(culprit):
            detail.append("no such file")
    else:
        detail.append("files %s" % ", ".join(_shown(n) for _, n in real))
    filename = os.fsdecode(culprit) if culprit is not None else None
    kind = VekFileNotFoundError if filename is not None and not os.path.lexists(filename) \
        else VekFileError
    return kind(function, code, ", ".join(detail), filename)


class Library(_Calls):
    """The process's three buffers, which every Library object and every
    other user of the library in the process share. Each call takes the
    library's process-wide lock; a sequence of calls needs the host's own.

    Without `path`, the library is the wheel's own (beside this package),
    then the file VEKWIN32_LIBRARY names, then the VekWin32 package's the
    binding came in, then the system's; LibraryNotFound names every place
    tried."""

    def __init__(self, path: Optional[PathName] = None) -> None:
        self._dll = _load(path)

    def _fn(self, name: str) -> Callable[..., int]:
        return getattr(self._dll, name)


class Engine(_Calls):
    """Three buffers of its own (a library context), with the same methods
    as Library. Different engines may be used from different threads at
    once, with no lock; one engine is used by one thread at a time (the
    context serialises its calls, so misuse cannot corrupt memory).

    close() frees the context; so do leaving a with block and the engine
    being collected. A closed engine raises ValueError. The library is found
    as Library finds it."""

    def __init__(self, path: Optional[PathName] = None) -> None:
        self._dll = _load(path)
        if not hasattr(self._dll, "VekOpen"):
            raise LibraryNotFound([(getattr(self._dll, "_name", "?"),
                                    "this library has no contexts (VekOpen); it is too old")])
        context = self._dll.VekOpen()
        if not context:
            raise MemoryError("VekOpen: memory ran out for a new context")
        self._context: Optional[int] = context
        self._closer = weakref.finalize(self, self._dll.VekClose, ctypes.c_void_p(context))

    def _fn(self, name: str) -> Callable[..., int]:
        context = self._context
        if context is None:
            raise ValueError("the engine is closed")
        twin = getattr(self._dll, "Vek" + name)
        return lambda *args: twin(context, *args)

    def close(self) -> None:
        """Frees the context and its buffers. Closing twice does nothing."""
        self._context = None
        self._closer()

    @property
    def closed(self) -> bool:
        return self._context is None

    def __enter__(self) -> "Engine":
        if self._context is None:
            raise ValueError("the engine is closed")
        return self

    def __exit__(self, *exc_info: Any) -> None:
        self.close()
