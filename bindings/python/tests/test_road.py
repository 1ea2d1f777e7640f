"""The typical road through the Python binding, on examples/fileset: both
versions loaded as bundles, the whole-file script kept, the new bundle
rebuilt with it and checked, the files written back and compared; then four
threads with an Engine each run the road 100 times, every script exact.

The library is found as a host's would be: the wheel's own, else the one
VEKWIN32_LIBRARY names. VEKWIN32_FILESET names the file set.
"""

import os
import shutil
import tempfile
import threading
import unittest

import vekwin32

HERE = os.path.dirname(os.path.abspath(__file__))
FILESET = os.environ.get("VEKWIN32_FILESET", os.path.join(HERE, "..", "..", "..", "examples", "fileset"))
NAMES = ["README.txt", "station.c", "station.h", "station.ini", "logo.ico"]
V1, V2 = os.path.join(FILESET, "v1"), os.path.join(FILESET, "v2")


def file_list(folder):
    # Type 'T' keeps the tenth place for the binary file.
    names = [os.path.join(folder, n) for n in NAMES]
    return names[:4] + [""] * 5 + names[4:]


def road(test, b, v1=V1, v2=V2):
    """Loads both versions, diffs them, rebuilds v2 from v1 with the script
    read back; returns the script."""
    for buf in (1, 2, 3):
        b.init_buf(buf)
    test.assertEqual(b.load_files(1, vekwin32.TEXT, file_list(v1)), "L,L,L,L,E,E,E,E,E,L")
    b.load_files(2, b"T", file_list(v2))
    b.diff_whole(1, 2, 3)
    stats = b.buf_stats(3)
    script = b.get_lines(3, 1, stats.count)
    test.assertGreater(stats.count, 0)
    test.assertEqual(sum(len(line) + 1 for line in script), stats.total)
    b.init_buf(3)
    b.add_lines(3, script)
    b.ed_buf(3, 1)
    test.assertEqual(b.crc(1), b.crc(2))
    test.assertEqual(b.crc(1), b.crc_file("T", file_list(v2)))
    return script


class Road(unittest.TestCase):
    def test_typical_road(self):
        lib = vekwin32.Library()
        road(self, lib)
        with tempfile.TemporaryDirectory() as out:
            lib.write_files(1, "T", file_list(out))
            for name in NAMES:
                with open(os.path.join(V2, name), "rb") as want, open(os.path.join(out, name), "rb") as got:
                    text = name != "logo.ico"  # text comes back with CR LF
                    self.assertEqual(got.read().replace(b"\r\n", b"\n") if text else got.read(), want.read())
        # Values in and out.
        lib.add_line(1, "caf\u00e9")
        lib.add_lines(1, [b"x" * 70000])
        first = lib.buf_stats(1).count - 1
        self.assertEqual(lib.get_lines(1, first, 2), ["caf\u00e9".encode(), b"x" * 70000])
        self.assertEqual(lib.test_buf(7), (7, 100))
        if "VEKWIN32_VERSION" in os.environ:
            self.assertEqual(vekwin32.__version__, os.environ["VEKWIN32_VERSION"])

    def test_engines_in_four_threads(self):
        with vekwin32.Engine() as engine:
            reference = road(self, engine)
            self.assertEqual(engine.test_buf(7), (7, 100))
        self.assertTrue(engine.closed)
        self.assertRaises(ValueError, engine.init_buf, 1)
        wrong = []

        def roads(data):
            # Each thread on its own copy: the library opens files for
            # exclusive use.
            v1, v2 = (shutil.copytree(v, os.path.join(data, os.path.basename(v))) for v in (V1, V2))
            engine = vekwin32.Engine()
            try:
                for _ in range(100):
                    if road(self, engine, v1, v2) != reference:
                        wrong.append(threading.current_thread().name)
            except Exception as error:  # a failure in a thread fails the test
                wrong.append(repr(error))
            finally:
                engine.close()

        with tempfile.TemporaryDirectory() as data:
            threads = [threading.Thread(target=roads, args=(os.path.join(data, str(k)),)) for k in range(4)]
            for thread in threads:
                thread.start()
            for thread in threads:
                thread.join()
        self.assertEqual(wrong, [])


if __name__ == "__main__":
    unittest.main()
