"""Where the library would answer a Python caller with a bare code or
surprise it, the binding answers the way Python code expects."""

import errno
import gc
import inspect
import os
import tempfile
import typing
import unittest

import vekwin32

HERE = os.path.dirname(os.path.abspath(__file__))
FILESET = os.environ.get("VEKWIN32_FILESET", os.path.join(HERE, "..", "..", "..", "examples", "fileset"))
TEXT_FILE = os.path.join(FILESET, "v1", "station.c")


class Refusals(unittest.TestCase):
    def setUp(self):
        self.lib = vekwin32.Library()
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        self.dir = folder.name
        self.binary = os.path.join(self.dir, "b")
        with open(self.binary, "wb") as out:
            out.write(bytes(range(32)))
        self.missing = os.path.join(self.dir, "missing.txt")

    def test_bad_inputs(self):
        lib = self.lib
        lib.init_buf(1)
        # (what, call, exception class, what its message or attributes hold)
        table = [
            ("a str buffer number", lambda: lib.init_buf("1"), TypeError, "buf"),
            ("a float line number", lambda: lib.get_line(1, 1.0), TypeError, "line"),
            ("a wrapped buffer number", lambda: lib.init_buf(2**32 + 1), OverflowError, "int"),
            ("a line feed in add_line", lambda: lib.add_line(1, "a\nb"), ValueError, "line feed"),
            ("a line feed in add_lines", lambda: lib.add_lines(1, ["a", "b\n"]), ValueError, "line feed"),
            ("one string as lines", lambda: lib.add_lines(1, "ab"), TypeError, "add_line"),
            ("a file type U+5442", lambda: lib.load_files(1, "\u5442", [TEXT_FILE]), ValueError, "'T'"),
            ("a file type as int", lambda: lib.crc_file(66, [TEXT_FILE]), TypeError, "'B'"),
            ("a binary file as text", lambda: lib.load_files(1, "T", [TEXT_FILE, self.binary]),
             vekwin32.BinaryAsTextError, repr(self.binary)),
            ("an empty name before others", lambda: lib.load_files(1, "T", [TEXT_FILE, "", TEXT_FILE]),
             ValueError, "place 2"),
            ("buffer 4", lambda: lib.init_buf(4), vekwin32.VekError, "buffer 4"),
        ]
        for what, call, kind, holds in table:
            with self.subTest(what):
                with self.assertRaises(kind) as caught:
                    call()
                self.assertIn(holds, str(caught.exception))
        self.assertEqual(lib.buf_stats(1), (0, 0, 0))

    def test_file_failures_are_os_errors_naming_the_file(self):
        lib = self.lib
        lib.init_buf(1)
        calls = [("ReadBuf", lambda: lib.read_buf(1, self.missing)),
                 ("LoadFiles", lambda: lib.load_files(1, "T", [TEXT_FILE, self.missing])),
                 ("CrcFile", lambda: lib.crc_file("T", [self.missing])),
                 ("CheckType", lambda: lib.check_type([TEXT_FILE, self.missing]))]
        for function, call in calls:
            with self.subTest(function):
                with self.assertRaises(FileNotFoundError) as caught:
                    call()
                error = caught.exception
                self.assertIsInstance(error, vekwin32.VekError)
                self.assertEqual((error.function, error.code, error.name, error.filename, error.errno),
                                 (function, 104, "VEK_RC_READ_FAILED", self.missing, errno.ENOENT))
                self.assertIn(self.missing, str(error))
        with self.assertRaises(OSError) as caught:
            lib.write_buf(1, self.dir)
        self.assertEqual((caught.exception.code, caught.exception.filename), (105, self.dir))

    def test_guards(self):
        lib = self.lib
        cwd = os.getcwd()
        os.chdir(self.dir)
        try:
            # The library skips a one-character name unopened; the binding does not.
            self.assertEqual(lib.check_type(["b"]), vekwin32.BINARY)
        finally:
            os.chdir(cwd)
        lib.init_buf(1)
        # The library's own behaviour stays reachable: the binary file as text lines.
        self.assertEqual(lib.load_files(1, "T", [TEXT_FILE, self.binary], binary_as_text=True), "L,L")
        self.assertIsInstance(lib.buf_stats(1), vekwin32.BufStats)
        self.assertEqual((vekwin32.TEXT, vekwin32.BINARY, vekwin32.VEK_RC_BAD_CONTEXT), ("T", "B", 113))

    def test_every_method_is_documented_and_typed(self):
        for cls in (vekwin32.Library, vekwin32.Engine):
            methods = [m for m in dir(cls) if not m.startswith("_") and inspect.isfunction(getattr(cls, m))]
            self.assertGreaterEqual(len(methods), 18)
            for name in methods:
                with self.subTest(cls=cls.__name__, method=name):
                    function = getattr(cls, name)
                    self.assertGreater(len(inspect.getdoc(function) or ""), 40)
                    self.assertIn("return", typing.get_type_hints(function))
        package = os.path.dirname(vekwin32.__file__)
        self.assertTrue(os.path.exists(os.path.join(package, "py.typed")))

    def test_engine_lifetime(self):
        engine = vekwin32.Engine()
        engine.init_buf(1)
        engine.add_line(1, "kept apart")
        self.lib.init_buf(1)
        self.assertEqual(engine.get_line(1, 1), b"kept apart")
        self.assertEqual(self.lib.buf_stats(1).count, 0)
        engine.close()
        engine.close()
        with self.assertRaises(ValueError):
            engine.get_line(1, 1)
        # A collected engine frees its context.
        engine = vekwin32.Engine()
        closer = engine._closer
        del engine
        gc.collect()
        self.assertFalse(closer.alive)


if __name__ == "__main__":
    unittest.main()
