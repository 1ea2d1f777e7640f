"""The VekWin32 line-buffer engine from Python, through ctypes.

    import vekwin32
    lib = vekwin32.Library()            # or Library("/path/to/libvekwin32.so")
    lib.init_buf(1)
    lib.add_lines(1, ["one", "two"])
    lib.get_lines(1, 1, 2)              # [b'one', b'two']

One method per export of vekwin32.h, named in snake case, taking buffer
numbers and Python values. Lines are bytes in and out; a str is accepted and
encoded as UTF-8. File names may be str, bytes or path objects; file lists
are Python lists. A call that the library answers with a failure code raises
VekError, which carries the code and its RC_* name.

The library keeps three process-wide buffers and takes no lock: make one
call at a time (hold a lock around calls made from several threads).
"""

import ctypes
import ctypes.util
import operator
import os
import struct
import sys

__version__ = "1.0.0"

__all__ = ["Library", "VekError", "LibraryNotFound", "RESULT_NAMES"]

RC_OK = 0
RC_WIDTH_NOT_COMPUTED = 1
RC_NO_ROOM = 112

RESULT_NAMES = {
    0: "RC_OK",
    1: "RC_WIDTH_NOT_COMPUTED",
    100: "RC_FAILED",
    101: "RC_BUFFER_FULL",
    102: "RC_BAD_LINE",
    103: "RC_BAD_BUFFER",
    104: "RC_READ_FAILED",
    105: "RC_WRITE_FAILED",
    107: "RC_DIFF_FAILED",
    108: "RC_TOO_MANY_FILES",
    109: "RC_BAD_WIDTH",
    110: "RC_STATS_FAILED",
    111: "RC_BAD_TYPE",
    112: "RC_NO_ROOM",
}
for _code, _name in RESULT_NAMES.items():
    globals()[_name] = _code

MAX_LINES = 524288
MAX_LIST_FILES = 10
LINES_BLOCK_SIZE = 65536
LINES_BLOCK_MAX_LINES = 100
_STATUS_ROOM = 20


class VekError(Exception):
    """A call answered with a failure code: .code (e.g. 103), .name
    ("RC_BAD_BUFFER") and .function (the export's name)."""

    def __init__(self, function, code):
        self.function = function
        self.code = code
        self.name = RESULT_NAMES.get(code, "unknown result")
        super().__init__("%s failed with %s (%d)" % (function, self.name, code))


class LibraryNotFound(OSError):
    """The library could not be loaded; .tried lists every place tried."""

    def __init__(self, tried):
        self.tried = tried
        lines = "\n".join("  %s: %s" % place for place in tried)
        super().__init__(
            "the VekWin32 library could not be loaded; looked in:\n%s\n"
            "pass its path: vekwin32.Library('/path/to/%s')" % (lines, _file_name()))


def _file_name():
    return "VekWin32.dll" if sys.platform == "win32" else "libvekwin32.so"


def _candidates():
    """Beside the package first, then the library of the VekWin32 package
    the binding came in (bin/ of a Windows zip, lib/ of the Linux tarball),
    then the system's usual places."""
    here = os.path.dirname(os.path.abspath(__file__))
    if sys.platform == "win32":
        return [os.path.join(here, "VekWin32.dll"),
                os.path.normpath(os.path.join(here, "..", "..", "..", "bin", "VekWin32.dll")),
                "VekWin32.dll"]
    names = [os.path.join(here, "libvekwin32.so"), os.path.join(here, "libvekwin32.so.1"),
             os.path.normpath(os.path.join(here, *[".."] * 5, "lib", "libvekwin32.so.1")),
             "libvekwin32.so.1", "libvekwin32.so"]
    found = ctypes.util.find_library("vekwin32")
    if found and found not in names:
        names.append(found)
    return names


def _load(path):
    if path is not None:
        path = os.fspath(path)
        try:
            return ctypes.CDLL(path)
        except OSError as error:
            raise LibraryNotFound([(path, error)]) from None
    tried = []
    for candidate in _candidates():
        if os.path.isabs(candidate) and not os.path.exists(candidate):
            tried.append((candidate, "no such file"))
            continue
        try:
            return ctypes.CDLL(candidate)
        except OSError as error:
            where = candidate if os.path.isabs(candidate) else \
                "%s (the system's library search path)" % candidate
            tried.append((where, error))
    raise LibraryNotFound(tried)


def _line(text):
    """A line or name as the bytes the library takes."""
    if isinstance(text, str):
        text = text.encode("utf-8")
    elif not isinstance(text, (bytes, bytearray)):
        raise TypeError("a line is bytes or str, not %s" % type(text).__name__)
    text = bytes(text)
    if b"\0" in text:
        raise ValueError("a line passed to the library cannot hold a NUL byte")
    return text


def _name(name):
    if isinstance(name, (bytes, bytearray)):
        return _line(name)
    name = os.fspath(name)
    if isinstance(name, bytes):
        return _line(name)
    if sys.platform == "win32":
        # The library opens names in the process's active code page.
        return _line(name.encode("mbcs"))
    return _line(os.fsencode(name))


def _file_list(names, empty_ends=False):
    """A comma-separated list, as a writable string (the library cuts it)."""
    if isinstance(names, (str, bytes, os.PathLike)):
        names = [names]
    encoded = [_name(n) for n in names]
    for n in encoded:
        if b"," in n:
            raise ValueError("a file name in a list cannot hold a comma: %r" % n)
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


def _type_letter(file_type):
    if isinstance(file_type, int):
        return file_type
    if isinstance(file_type, str):
        file_type = file_type.encode("ascii")
    if len(file_type) != 1:
        raise ValueError("the type is 'T' (text) or 'B' (binary)")
    return file_type[0]


class _Int:
    """A C int argument: a value that does not fit is refused, not wrapped."""

    @classmethod
    def from_param(cls, value):
        value = operator.index(value)
        if not -2**31 <= value < 2**31:
            raise OverflowError("%d does not fit a C int" % value)
        return ctypes.c_int(value)


_c_int = ctypes.c_int
_p_int = ctypes.POINTER(ctypes.c_int)
_c_str = ctypes.c_char_p
_c_buf = ctypes.c_char_p
_SIGNATURES = {
    "InitBuf": [_Int],
    "AddLine": [_Int, _c_str],
    "AddLines": [_Int, _c_str],
    "GetLine": [_Int, _Int, _Int, ctypes.c_void_p, _p_int],
    "GetLines": [_Int, _Int, _Int, ctypes.c_void_p, _p_int],
    "GetBufStats": [_Int, _p_int, _p_int, _p_int],
    "Crc": [_Int, _Int, _p_int],
    "EdCmd": [_Int, _c_str],
    "EdBuf": [_Int, _Int],
    "Diff": [_Int, _Int, _Int],
    "DiffWhole": [_Int, _Int, _Int],
    "LoadFiles": [_Int, _Int, ctypes.c_void_p, ctypes.c_void_p],
    "WriteFiles": [_Int, _Int, ctypes.c_void_p],
    "CrcFile": [_Int, ctypes.c_void_p, _Int, _p_int],
    "CheckType": [ctypes.c_void_p, ctypes.c_void_p],
    "ReadBuf": [_Int, _c_str],
    "WriteBuf": [_Int, _c_str],
    "TestBuf": [_p_int],
}


class Library:
    """The loaded library. Without `path`, libvekwin32.so (Linux) or
    VekWin32.dll (Windows) is looked for beside this package, then in the
    VekWin32 package the binding came in, then in the system's usual places;
    LibraryNotFound names every place tried."""

    def __init__(self, path=None):
        self._dll = _load(path)
        for name, argtypes in _SIGNATURES.items():
            function = getattr(self._dll, name)
            function.argtypes = argtypes
            function.restype = ctypes.c_int
        self._block = ctypes.create_string_buffer(LINES_BLOCK_SIZE)

    def _call(self, name, *args):
        code = getattr(self._dll, name)(*args)
        if code not in (RC_OK, RC_WIDTH_NOT_COMPUTED):
            raise VekError(name, code)
        return code

    # ---- Buffers ----------------------------------------------------------

    def init_buf(self, buf):
        self._call("InitBuf", buf)

    def add_line(self, buf, text):
        self._call("AddLine", buf, _line(text))

    def add_lines(self, buf, lines):
        """Appends each line; sent in packed runs, so a line cannot be empty
        (use add_line for an empty line)."""
        if isinstance(lines, (str, bytes, bytearray)):
            raise TypeError("add_lines takes a list of lines; use add_line for one")
        run = []
        size = 0
        for text in lines:
            text = _line(text)
            if not text:
                raise ValueError("add_lines cannot carry an empty line; use add_line")
            run.append(text)
            size += len(text) + 1
            if size >= LINES_BLOCK_SIZE:
                self._call("AddLines", buf, b"\0".join(run) + b"\0\0")
                run, size = [], 0
        if run:
            self._call("AddLines", buf, b"\0".join(run) + b"\0\0")

    def get_line(self, buf, line):
        """Line `line` (from 1) without its last stored byte."""
        length = _c_int(0)
        room = 1024
        while True:
            dest = ctypes.create_string_buffer(room + 1)
            code = self._dll.GetLine(buf, line, room, dest, ctypes.byref(length))
            if code == RC_NO_ROOM and length.value > room:
                room = length.value
                continue
            if code != RC_OK:
                raise VekError("GetLine", code)
            return dest.raw[:length.value]

    def get_lines(self, buf, first, count):
        """`count` lines from line `first` on, as a list of bytes."""
        if count < 0:
            raise ValueError("a negative count of lines")
        lines = []
        block = self._block
        delivered = _c_int(0)
        while len(lines) < count:
            want = min(count - len(lines), LINES_BLOCK_MAX_LINES)
            number = first + len(lines)
            code = self._dll.GetLines(buf, number, want, block, ctypes.byref(delivered))
            raw = block.raw
            offsets = struct.unpack_from("=%di" % LINES_BLOCK_MAX_LINES, raw, 0)
            for j in range(delivered.value):
                start = offsets[j]
                lines.append(raw[start:raw.index(b"\0", start)])
            if code != RC_OK:
                raise VekError("GetLines", code)
            if delivered.value == 0:
                # A line too long for the block: read it alone.
                lines.append(self.get_line(buf, number))
        return lines

    def buf_stats(self, buf):
        """(line count, longest length, total length)."""
        count, longest, total = _c_int(), _c_int(), _c_int()
        self._call("GetBufStats", buf, ctypes.byref(count), ctypes.byref(longest),
                   ctypes.byref(total))
        return count.value, longest.value, total.value

    def crc(self, buf, width=16):
        """The 16-bit checksum; None for width 32, which is not computed."""
        out = _c_int(0)
        if self._call("Crc", buf, width, ctypes.byref(out)) == RC_WIDTH_NOT_COMPUTED:
            return None
        return out.value

    # ---- Edit scripts and differences -------------------------------------

    def ed_cmd(self, buf, line):
        self._call("EdCmd", buf, _line(line))

    def ed_buf(self, script_buf, target_buf):
        self._call("EdBuf", script_buf, target_buf)

    def diff(self, old_buf, new_buf, script_buf):
        self._call("Diff", old_buf, new_buf, script_buf)

    def diff_whole(self, old_buf, new_buf, script_buf):
        self._call("DiffWhole", old_buf, new_buf, script_buf)

    # ---- Files ------------------------------------------------------------

    def load_files(self, buf, file_type, files):
        """Appends the files as a bundle; returns the status text ("L,E")."""
        status = ctypes.create_string_buffer(_STATUS_ROOM + 1)
        self._call("LoadFiles", buf, _type_letter(file_type), _file_list(files), status)
        return status.value.decode("ascii")

    def write_files(self, buf, file_type, files):
        self._call("WriteFiles", buf, _type_letter(file_type), _file_list(files))

    def crc_file(self, file_type, files, width=16):
        out = _c_int(0)
        code = self._call("CrcFile", _type_letter(file_type), _file_list(files), width,
                          ctypes.byref(out))
        return None if code == RC_WIDTH_NOT_COMPUTED else out.value

    def check_type(self, files):
        """'T' (text) or 'B' (binary)."""
        letter = ctypes.create_string_buffer(1)
        self._call("CheckType", _file_list(files, empty_ends=True), letter)
        return letter.raw.decode("ascii")

    def read_buf(self, buf, file_name):
        self._call("ReadBuf", buf, _name(file_name))

    def write_buf(self, buf, file_name):
        self._call("WriteBuf", buf, _name(file_name))

    # ---- Probe --------------------------------------------------------------

    def test_buf(self, value=7):
        """TestBuf(&value): (what it returned, what it left in value)."""
        cell = ctypes.c_int(_Int.from_param(value).value)
        returned = self._dll.TestBuf(ctypes.byref(cell))
        return returned, cell.value
