#!/usr/bin/env python3
"""Makes the Python packages of the binding in bindings/python, with no
network and nothing beyond the standard library: one wheel per platform,
each carrying its native library inside the package folder, and an sdist.

  vekwin32-<version>-py3-none-linux_x86_64.whl   vekwin32/libvekwin32.so
  vekwin32-<version>-py3-none-win32.whl          vekwin32/VekWin32.dll (32-bit)
  vekwin32-<version>-py3-none-win_amd64.whl      vekwin32/VekWin32.dll (64-bit)
  vekwin32-<version>.tar.gz                      the binding alone

A wheel is a zip with the package, a .dist-info folder (METADATA, WHEEL,
RECORD: each file's urlsafe-base64 SHA-256 and size) and nothing else.

usage: python-wheels.py VERSION OUTDIR [TAG=LIBRARY]...
  e.g. python-wheels.py 1.0.0 build/packages linux_x86_64=build/linux/lib/libvekwin32.so
"""

import base64
import hashlib
import io
import os
import re
import sys
import tarfile
import zipfile

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "bindings", "python")
NATIVE_NAMES = {"linux_x86_64": "libvekwin32.so", "win32": "VekWin32.dll",
                "win_amd64": "VekWin32.dll"}
# Files of a wheel or sdist get this time (zip cannot hold 1970).
STAMP = (2026, 1, 1, 0, 0, 0)


def package_files():
    """(path in the package, bytes) of the binding's own files."""
    folder = os.path.join(ROOT, "vekwin32")
    for name in sorted(os.listdir(folder)):
        if name.endswith(".py") or name == "py.typed":
            with open(os.path.join(folder, name), "rb") as source:
                yield "vekwin32/" + name, source.read()


def metadata(version):
    with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as readme:
        description = readme.read()
    return ("Metadata-Version: 2.1\nName: vekwin32\nVersion: %s\n"
            "Summary: Python binding of the VekWin32 line-buffer engine (ctypes), "
            "with the engine's library\n"
            "License: MIT\nRequires-Python: >=3.7\n"
            "Classifier: License :: OSI Approved :: MIT License\n"
            "Classifier: Programming Language :: Python :: 3\n"
            "Classifier: Typing :: Typed\n"
            "Description-Content-Type: text/markdown\n\n%s" % (version, description))


def check_version(version):
    text = dict(package_files())["vekwin32/__init__.py"].decode("utf-8")
    found = re.search(r'^__version__ = "([^"]+)"', text, re.M)
    if not found or found.group(1) != version:
        sys.exit("bindings/python/vekwin32/__init__.py says version %s, the build %s"
                 % (found.group(1) if found else "none", version))


def entry(name, mode=0o644):
    info = zipfile.ZipInfo(name, STAMP)
    info.external_attr = (0o100000 | mode) << 16
    info.compress_type = zipfile.ZIP_DEFLATED
    return info


def wheel(version, tag, library, outdir):
    dist_info = "vekwin32-%s.dist-info" % version
    files = list(package_files())
    with open(library, "rb") as native:
        files.append(("vekwin32/" + NATIVE_NAMES[tag], native.read()))
    with open(os.path.join(ROOT, "..", "..", "LICENSE"), "rb") as licence:
        files.append((dist_info + "/LICENSE", licence.read()))
    files.append((dist_info + "/METADATA", metadata(version).encode("utf-8")))
    files.append((dist_info + "/WHEEL", (
        "Wheel-Version: 1.0\nGenerator: vekwin32 scripts/python-wheels.py\n"
        "Root-Is-Purelib: false\nTag: py3-none-%s\n" % tag).encode("ascii")))
    files.append((dist_info + "/top_level.txt", b"vekwin32\n"))
    record = io.StringIO()
    for name, data in files:
        digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
        record.write("%s,sha256=%s,%d\n" % (name, digest, len(data)))
    record.write("%s/RECORD,,\n" % dist_info)
    files.append((dist_info + "/RECORD", record.getvalue().encode("utf-8")))
    path = os.path.join(outdir, "vekwin32-%s-py3-none-%s.whl" % (version, tag))
    with zipfile.ZipFile(path, "w") as archive:
        for name, data in files:
            native = name.endswith((".so", ".dll"))
            archive.writestr(entry(name, 0o755 if native else 0o644), data)
    return path


def sdist(version, outdir):
    top = "vekwin32-%s" % version
    pkg_info = metadata(version).encode("utf-8")
    files = list(package_files()) + [("PKG-INFO", pkg_info)]
    for name in ("pyproject.toml", "README.md"):
        with open(os.path.join(ROOT, name), "rb") as source:
            files.append((name, source.read()))
    for name in sorted(os.listdir(os.path.join(ROOT, "tests"))):
        if name.endswith(".py"):
            with open(os.path.join(ROOT, "tests", name), "rb") as source:
                files.append(("tests/" + name, source.read()))
    path = os.path.join(outdir, top + ".tar.gz")
    with tarfile.open(path, "w:gz", format=tarfile.PAX_FORMAT) as archive:
        for name, data in sorted(files):
            info = tarfile.TarInfo("%s/%s" % (top, name))
            info.size, info.mode, info.mtime = len(data), 0o644, 1767225600
            archive.addfile(info, io.BytesIO(data))
    return path


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    version, outdir = argv[1], argv[2]
    check_version(version)
    os.makedirs(outdir, exist_ok=True)
    made = [sdist(version, outdir)]
    for pair in argv[3:]:
        tag, library = pair.split("=", 1)
        if tag not in NATIVE_NAMES:
            sys.exit("unknown platform tag %s (%s)" % (tag, ", ".join(NATIVE_NAMES)))
        made.append(wheel(version, tag, library, outdir))
    for path in made:
        print(path)


if __name__ == "__main__":
    main(sys.argv)
