"""The typical road through the Python binding, on examples/fileset: both
versions loaded as bundles, the whole-file script kept, the new bundle
rebuilt with it and checked, and the files written back and compared.

VEKWIN32_LIBRARY names the library to test (the build's); without it the
binding looks for it as a host's would. VEKWIN32_FILESET names the file set.
"""

import os
import tempfile
import unittest

import vekwin32

HERE = os.path.dirname(os.path.abspath(__file__))
FILESET = os.environ.get("VEKWIN32_FILESET",
                         os.path.join(HERE, "..", "..", "..", "examples", "fileset"))
TEXTS = ["README.txt", "station.c", "station.h", "station.ini"]
BINARY = "logo.ico"


def file_list(folder):
    # Type 'T' keeps the tenth place for a binary file.
    names = [os.path.join(folder, n) for n in TEXTS]
    return names + [""] * (9 - len(names)) + [os.path.join(folder, BINARY)]


class Road(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.lib = vekwin32.Library(os.environ.get("VEKWIN32_LIBRARY"))

    def setUp(self):
        for buf in (1, 2, 3):
            self.lib.init_buf(buf)

    def test_typical_road(self):
        lib = self.lib
        v1, v2 = os.path.join(FILESET, "v1"), os.path.join(FILESET, "v2")
        self.assertEqual(lib.load_files(1, "T", file_list(v1)), "L,L,L,L,E,E,E,E,E,L")
        lib.load_files(2, b"T", file_list(v2))
        lib.diff_whole(1, 2, 3)
        count, _, total = lib.buf_stats(3)
        script = lib.get_lines(3, 1, count)
        self.assertGreater(count, 0)
        self.assertEqual(len(script), count)
        self.assertEqual(sum(len(line) + 1 for line in script), total)

        # Later: the kept script, loaded again, rebuilds v2 from v1.
        lib.init_buf(3)
        lib.add_lines(3, script)
        lib.ed_buf(3, 1)
        self.assertEqual(lib.crc(1), lib.crc(2))
        self.assertEqual(lib.crc(1), lib.crc_file("T", file_list(v2)))
        self.assertIsNone(lib.crc(1, 32))

        with tempfile.TemporaryDirectory() as out:
            lib.write_files(1, "T", file_list(out))
            for name in TEXTS + [BINARY]:
                with open(os.path.join(v2, name), "rb") as f:
                    want = f.read()
                with open(os.path.join(out, name), "rb") as f:
                    got = f.read()
                if name in TEXTS:
                    got = got.replace(b"\r\n", b"\n")  # text comes back with CR LF
                self.assertEqual(got, want, name)
            self.assertEqual(lib.check_type([os.path.join(out, BINARY)]), "B")

    def test_values_and_errors(self):
        lib = self.lib
        lib.add_line(1, "caf\u00e9")
        lib.add_lines(1, [b"x" * 70000, "two"])
        self.assertEqual(lib.get_lines(1, 1, 3), ["caf\u00e9".encode(), b"x" * 70000, b"two"])
        self.assertEqual(lib.buf_stats(1), (3, 70001, 6 + 70001 + 4))
        self.assertEqual(lib.test_buf(7), (7, 100))
        with self.assertRaises(vekwin32.VekError) as caught:
            lib.init_buf(4)
        self.assertEqual((caught.exception.code, caught.exception.name), (103, "RC_BAD_BUFFER"))
        with self.assertRaises(vekwin32.VekError) as caught:
            lib.ed_cmd(1, "9d")
        self.assertEqual(caught.exception.name, "RC_BAD_LINE")
        if "VEKWIN32_VERSION" in os.environ:
            self.assertEqual(vekwin32.__version__, os.environ["VEKWIN32_VERSION"])

    def test_missing_library_names_where_it_looked(self):
        with self.assertRaises(vekwin32.LibraryNotFound) as caught:
            vekwin32.Library(os.path.join(HERE, "no-such-library.so"))
        self.assertIn("no-such-library.so", str(caught.exception))


if __name__ == "__main__":
    unittest.main()
