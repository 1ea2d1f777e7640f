#!/usr/bin/env bash
# Checks the binding packages in BUILD_ROOT/packages (scripts/package.sh):
# - the Linux wheel, installed with pip --no-index into a fresh venv and used
#   with no environment setting, finds its own library and runs the Python
#   tests (road, four threads of engines, refusals);
# - each wheel holds exactly the binding, its py.typed and the library of its
#   platform (the very file the build tested, of the right machine), tagged
#   for it, with a RECORD that matches; the sdist holds the binding;
# - the .nupkg holds exactly its layout, with the tested libraries of the
#   right machines and the XML docs; installed from a local folder feed with
#   nuget into a Mono project laid out as a build lays it out, with no
#   config of its own, it runs the C# road test.
# usage: binding_packages_test.sh BUILD_ROOT
set -eu
here="$(cd "$(dirname "$0")" && pwd)"
source="$(cd "$here/../.." && pwd)"
build="$(cd "$1" && pwd)"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/linux/CMakeCache.txt")"
packages="$build/packages"
work="$(mktemp -d "${TMPDIR:-/tmp}/vek-binding-packages.XXXXXX")"
trap 'rm -rf "$work"' EXIT
failures=0
fail() { failures=$((failures + 1)); echo "FAIL $*" >&2; }
fileset="$source/examples/fileset"
linux_so="$(readlink -f "$build/linux/lib/libvekwin32.so")"

# The wheels and the sdist: names, tags, contents, machines, RECORD.
python3 - "$packages" "$version" "$linux_so" "$build/windows/bin/VekWin32.dll" \
  "$build/windows64/bin/VekWin32.dll" >"$work/wheels.log" 2>&1 <<'PY' || { cat "$work/wheels.log"; fail "wheels"; }
import base64, hashlib, struct, sys, tarfile, zipfile
packages, version, linux, win32, win64 = sys.argv[1:]
info = "vekwin32-%s.dist-info/" % version
bad = []
def machine(data):
    if data[:4] == b"\x7fELF":
        return {62: "x86-64"}.get(struct.unpack_from("<H", data, 18)[0], "other ELF")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    return {0x14C: "i386", 0x8664: "x86-64"}.get(struct.unpack_from("<H", data, pe + 4)[0], "other PE")
for tag, native, path, arch in (("linux_x86_64", "libvekwin32.so", linux, "x86-64"),
                                ("win32", "VekWin32.dll", win32, "i386"),
                                ("win_amd64", "VekWin32.dll", win64, "x86-64")):
    wheel = zipfile.ZipFile("%s/vekwin32-%s-py3-none-%s.whl" % (packages, version, tag))
    names = sorted(wheel.namelist())
    want = sorted(["vekwin32/__init__.py", "vekwin32/py.typed", "vekwin32/" + native] +
                  [info + n for n in ("LICENSE", "METADATA", "WHEEL", "RECORD", "top_level.txt")])
    if names != want:
        bad.append("%s holds %s" % (tag, names))
        continue
    data = wheel.read("vekwin32/" + native)
    if data != open(path, "rb").read() or machine(data) != arch:
        bad.append("%s: not the tested %s library" % (tag, arch))
    meta = wheel.read(info + "WHEEL").decode()
    if "Tag: py3-none-%s\n" % tag not in meta or "Root-Is-Purelib: false" not in meta:
        bad.append("%s: WHEEL says %r" % (tag, meta))
    if "Version: %s\n" % version not in wheel.read(info + "METADATA").decode():
        bad.append("%s: METADATA lacks version %s" % (tag, version))
    for line in wheel.read(info + "RECORD").decode().splitlines():
        name, digest, size = line.rsplit(",", 2)
        if name == info + "RECORD":
            continue
        body = wheel.read(name)
        want_digest = "sha256=" + base64.urlsafe_b64encode(hashlib.sha256(body).digest()).rstrip(b"=").decode()
        if (digest, size) != (want_digest, str(len(body))):
            bad.append("%s: RECORD wrong for %s" % (tag, name))
sdist = tarfile.open("%s/vekwin32-%s.tar.gz" % (packages, version))
top = "vekwin32-%s/" % version
for name in ("PKG-INFO", "pyproject.toml", "README.md", "vekwin32/__init__.py", "vekwin32/py.typed"):
    if top + name not in sdist.getnames():
        bad.append("sdist lacks " + name)
print("\n".join(bad))
sys.exit(1 if bad else 0)
PY

# The Linux wheel as a user installs it: a fresh venv, no setting at all.
if /usr/bin/python3 -c 'import venv, ensurepip' 2>/dev/null; then
  /usr/bin/python3 -m venv "$work/venv"
  timeout 300 env -i PATH=/usr/bin:/bin HOME="$work" "$work/venv/bin/pip" install -q --no-index \
    "$packages/vekwin32-$version-py3-none-linux_x86_64.whl" || fail "pip install of the Linux wheel"
  (cd "$work" && timeout 600 env -i PATH=/usr/bin:/bin HOME="$work" VEKWIN32_FILESET="$fileset" \
     PYTHONDONTWRITEBYTECODE=1 "$work/venv/bin/python" -c '
import os, sys, unittest, vekwin32
engine = vekwin32.Engine()
assert engine._dll._name.startswith(os.path.dirname(vekwin32.__file__)), engine._dll._name
assert vekwin32.__file__.startswith(sys.prefix), vekwin32.__file__
result = unittest.main(module=None, argv=["wheel", "discover", "-s", sys.argv[1]], exit=False).result
sys.exit(0 if result.wasSuccessful() else 1)' "$source/bindings/python/tests" >"$work/wheel.log" 2>&1) ||
    { cat "$work/wheel.log"; fail "the installed Linux wheel does not run its road"; }
else
  fail "python3-venv is missing: the wheel is not checked"
fi

# The NuGet package: its layout, then installed and used as a Mono host would.
nupkg="$packages/VekWin32.$version.nupkg"
if [ -s "$nupkg" ]; then
  have=$(python3 -c 'import sys, zipfile
print(" ".join(sorted(n for n in zipfile.ZipFile(sys.argv[1]).namelist()
                      if not n.startswith(("_rels/", "package/", "[Content_Types]")))))' "$nupkg")
  want="LICENSE.txt README.md VekWin32.nuspec lib/netstandard2.0/VekWin32.Net.dll lib/netstandard2.0/VekWin32.Net.dll.config lib/netstandard2.0/VekWin32.Net.xml runtimes/linux-x64/native/libVekWin32.so runtimes/win-x64/native/VekWin32.dll runtimes/win-x86/native/VekWin32.dll"
  [ "$have" = "$want" ] || fail "nupkg holds: $have"
  feed="$work/feed" project="$work/project"
  mkdir -p "$feed" "$project/bin" && cp "$nupkg" "$feed/"
  (cd "$project" && HOME="$project" timeout 300 nuget install VekWin32 -Version "$version" -Source "$feed" \
     -OutputDirectory packages -NonInteractive >"$work/nuget.log" 2>&1) ||
    { cat "$work/nuget.log"; fail "nuget install from a local feed"; }
  package="$project/packages/VekWin32.$version"
  cmp -s "$package/runtimes/linux-x64/native/libVekWin32.so" "$linux_so" || fail "nupkg: not the tested Linux library"
  cmp -s "$package/runtimes/win-x86/native/VekWin32.dll" "$build/windows/bin/VekWin32.dll" ||
    fail "nupkg: not the tested 32-bit DLL"
  cmp -s "$package/runtimes/win-x64/native/VekWin32.dll" "$build/windows64/bin/VekWin32.dll" ||
    fail "nupkg: not the tested 64-bit DLL"
  grep -q 'name="M:VekWin32.Buffers.LoadFiles' "$package/lib/netstandard2.0/VekWin32.Net.xml" ||
    fail "nupkg: the XML docs lack LoadFiles"
  # What a build does with a package reference: the assembly with its files
  # beside the program, and the runtimes folder under it.
  cp "$package/lib/netstandard2.0/"* "$project/bin/" && cp -r "$package/runtimes" "$project/bin/"
  mcs -nologo -warnaserror -out:"$project/bin/road_test.exe" -r:"$project/bin/VekWin32.Net.dll" \
    -r:/usr/lib/mono/4.5/Facades/netstandard.dll "$source/bindings/dotnet/RoadTest.cs" ||
    fail "nupkg: the road test does not build against the package"
  mkdir -p "$work/out"
  (cd "$work" && timeout 600 env -u LD_LIBRARY_PATH mono "$project/bin/road_test.exe" "$fileset" "$work/out" \
     >"$work/mono.log" 2>&1) || { cat "$work/mono.log"; fail "nupkg: the C# road fails"; }
else
  fail "no $nupkg"
fi

echo "binding packages test: $failures failures"
[ "$failures" = 0 ]
