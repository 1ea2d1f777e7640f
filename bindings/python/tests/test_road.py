"""The typical road through the Python binding, on examples/fileset: both
versions loaded as bundles, the whole-file script kept, the new bundle
rebuilt with it and checked, the files written back and compared.

VEKWIN32_LIBRARY names the library to test (else the binding looks for it
as a host's would), VEKWIN32_FILESET the file set.
"""

import ctypes
import os
import tempfile
import unittest

import vekwin32

HERE = os.path.dirname(os.path.abspath(__file__))
FILESET = os.environ.get("VEKWIN32_FILESET", os.path.join(HERE, "..", "..", "..", "examples", "fileset"))
NAMES = ["README.txt", "station.c", "station.h", "station.ini", "logo.ico"]


def file_list(folder):
    # Type 'T' keeps the tenth place for the binary file.
    names = [os.path.join(folder, n) for n in NAMES]
    return names[:4] + [""] * 5 + names[4:]


class Road(unittest.TestCase):
    def test_typical_road(self):
        lib = vekwin32.Library(os.environ.get("VEKWIN32_LIBRARY"))
        v1, v2 = os.path.join(FILESET, "v1"), os.path.join(FILESET, "v2")
        for buf in (1, 2, 3):
            lib.init_buf(buf)
        self.assertEqual(lib.load_files(1, "T", file_list(v1)), "L,L,L,L,E,E,E,E,E,L")
        lib.load_files(2, b"T", file_list(v2))
        lib.diff_whole(1, 2, 3)
        count, _, total = lib.buf_stats(3)
        script = lib.get_lines(3, 1, count)
        self.assertGreater(count, 0)
        self.assertEqual(sum(len(line) + 1 for line in script), total)

        # Later: the kept script, loaded again, rebuilds v2 from v1.
        lib.init_buf(3)
        lib.add_lines(3, script)
        lib.ed_buf(3, 1)
        self.assertEqual(lib.crc(1), lib.crc(2))
        self.assertEqual(lib.crc(1), lib.crc_file("T", file_list(v2)))

        with tempfile.TemporaryDirectory() as out:
            lib.write_files(1, "T", file_list(out))
            for name in NAMES:
                with open(os.path.join(v2, name), "rb") as want, open(os.path.join(out, name), "rb") as got:
                    text = name != "logo.ico"  # text comes back with CR LF
                    self.assertEqual(got.read().replace(b"\r\n", b"\n") if text else got.read(), want.read())

        # Values in and out, and failures.
        lib.add_line(1, "caf\u00e9")
        lib.add_lines(1, [b"x" * 70000])
        first = lib.buf_stats(1)[0] - 1
        self.assertEqual(lib.get_lines(1, first, 2), ["caf\u00e9".encode(), b"x" * 70000])
        with self.assertRaises(vekwin32.VekError) as caught:
            lib.init_buf(4)
        self.assertEqual((caught.exception.code, caught.exception.name), (103, "RC_BAD_BUFFER"))
        # Refused before the call: a number that a C int would wrap to buffer
        # 1, one string as a list of lines, names an empty name would drop.
        kept = lib.buf_stats(3)
        for call in (lambda: lib.init_buf(2**32 + 1), lambda: lib.add_lines(1, "ab"),
                     lambda: lib.load_files(3, "T", [os.path.join(v1, NAMES[0]), "", "x"]),
                     lambda: lib.check_type(file_list(v1))):
            self.assertRaises((TypeError, ValueError, ctypes.ArgumentError), call)
        self.assertEqual(lib.buf_stats(1)[0], first + 1)
        self.assertEqual(lib.buf_stats(3), kept)
        with self.assertRaises(vekwin32.LibraryNotFound) as missing:
            vekwin32.Library(os.path.join(HERE, "no-such-library.so"))
        self.assertIn("no-such-library.so", str(missing.exception))
        if "VEKWIN32_VERSION" in os.environ:
            self.assertEqual(vekwin32.__version__, os.environ["VEKWIN32_VERSION"])


if __name__ == "__main__":
    unittest.main()
