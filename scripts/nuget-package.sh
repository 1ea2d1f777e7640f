#!/usr/bin/env bash
# Makes the NuGet package VekWin32.<version>.nupkg of the C# binding with
# Debian's nuget (Mono), offline:
#   lib/netstandard2.0/VekWin32.Net.dll         bindings/dotnet/VekWin32.cs
#   lib/netstandard2.0/VekWin32.Net.xml         its XML docs
#   lib/netstandard2.0/VekWin32.Net.dll.config  Mono's dllmap
#   runtimes/win-x86/native/VekWin32.dll        32-bit DLL
#   runtimes/win-x64/native/VekWin32.dll        64-bit DLL
#   runtimes/linux-x64/native/libVekWin32.so    the Linux library
# usage: nuget-package.sh VERSION OUTDIR LINUX_SO WIN32_DLL WIN64_DLL
set -eu
version="$1" outdir="$2" linux="$3" win32="$4" win64="$5"
root="$(cd "$(dirname "$0")/.." && pwd)"
mkdir -p "$outdir"
outdir="$(cd "$outdir" && pwd)"
stage="$(mktemp -d "${TMPDIR:-/tmp}/vek-nuget.XXXXXX")"
trap 'rm -rf "$stage"' EXIT
lib="$stage/lib/netstandard2.0"
mkdir -p "$lib" "$stage/runtimes/win-x86/native" "$stage/runtimes/win-x64/native" \
  "$stage/runtimes/linux-x64/native"
# Built against the netstandard facade of mono-devel, which a netstandard2.0
# assembly needs under Mono.
cat >"$stage/AssemblyInfo.cs" <<EOF
[assembly: System.Reflection.AssemblyTitle("VekWin32.Net")]
[assembly: System.Reflection.AssemblyVersion("$version.0")]
[assembly: System.Reflection.AssemblyInformationalVersion("$version")]
[assembly: System.Runtime.Versioning.TargetFramework(".NETStandard,Version=v2.0", FrameworkDisplayName = "")]
EOF
mcs -nologo -warnaserror -target:library -optimize+ -out:"$lib/VekWin32.Net.dll" \
  -doc:"$lib/VekWin32.Net.xml" -r:/usr/lib/mono/4.5/Facades/netstandard.dll \
  "$root/bindings/dotnet/VekWin32.cs" "$stage/AssemblyInfo.cs"
cp "$root/bindings/dotnet/VekWin32.Net.dll.config" "$lib/"
cp "$win32" "$stage/runtimes/win-x86/native/VekWin32.dll"
cp "$win64" "$stage/runtimes/win-x64/native/VekWin32.dll"
cp "$(readlink -f "$linux")" "$stage/runtimes/linux-x64/native/libVekWin32.so"
cp "$root/LICENSE" "$stage/LICENSE.txt"
cp "$root/bindings/dotnet/README.md" "$stage/README.md"
cp "$root/bindings/dotnet/VekWin32.nuspec" "$stage/"
rm -f "$outdir/VekWin32.$version.nupkg"
(cd "$stage" && HOME="$stage" timeout 300 nuget pack VekWin32.nuspec -Version "$version" \
   -OutputDirectory "$outdir" -NoPackageAnalysis -NonInteractive >"$stage/pack.log" 2>&1) ||
  { cat "$stage/pack.log" >&2; exit 1; }
echo "$outdir/VekWin32.$version.nupkg"
