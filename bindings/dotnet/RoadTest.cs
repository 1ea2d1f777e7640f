// The typical road through the C# binding, on examples/fileset: both
// versions loaded as bundles, the whole-file script kept, the new bundle
// rebuilt with it and checked, the files written back and compared.
// usage: mono road_test.exe FILESET   (exit status 0 when every check holds)
using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using VekWin32;

static class RoadTest {
    static readonly string[] Texts = { "README.txt", "station.c", "station.h", "station.ini" };
    const string Binary = "logo.ico";
    static int failures;

    static void Expect(bool holds, string what) {
        Console.WriteLine((holds ? "ok       " : "MISMATCH ") + what);
        if (!holds)
            ++failures;
    }

    // Type 'T' keeps the tenth place for a binary file.
    static List<string> FileList(string folder) {
        var names = Texts.Select(n => Path.Combine(folder, n)).ToList();
        while (names.Count < 9)
            names.Add("");
        names.Add(Path.Combine(folder, Binary));
        return names;
    }

    static int Main(string[] args) {
        string v1 = Path.Combine(args[0], "v1"), v2 = Path.Combine(args[0], "v2");
        var lib = new Library();
        for (int buf = 1; buf <= 3; ++buf)
            lib.InitBuf(buf);
        Expect(lib.LoadFiles(1, 'T', FileList(v1)) == "L,L,L,L,E,E,E,E,E,L", "v1 loaded as a bundle");
        lib.LoadFiles(2, 'T', FileList(v2));
        lib.DiffWhole(1, 2, 3);
        BufStats stats = lib.GetBufStats(3);
        List<byte[]> script = lib.GetLines(3, 1, stats.Count);
        Expect(stats.Count > 0 && script.Sum(l => l.Length + 1) == stats.Total, "script read back");

        // Later: the kept script, loaded again, rebuilds v2 from v1.
        lib.InitBuf(3);
        lib.AddLines(3, script);
        lib.EdBuf(3, 1);
        int sum = lib.Crc(1);
        Expect(sum == lib.Crc(2) && sum == lib.CrcFile('T', FileList(v2)), "checksums agree: " + sum);

        string outDir = Path.Combine(Path.GetTempPath(), "vek-dotnet-" + Guid.NewGuid().ToString("N"));
        Directory.CreateDirectory(outDir);
        try {
            lib.WriteFiles(1, 'T', FileList(outDir));
            foreach (string name in Texts.Concat(new[] { Binary })) {
                byte[] want = File.ReadAllBytes(Path.Combine(v2, name));
                byte[] got = File.ReadAllBytes(Path.Combine(outDir, name));
                if (name != Binary)  // text comes back with CR LF
                    got = got.Where((b, i) => !(b == 13 && i + 1 < got.Length && got[i + 1] == 10)).ToArray();
                Expect(want.SequenceEqual(got), name + " written back as it was");
            }
        } finally {
            Directory.Delete(outDir, true);
        }

        try {
            lib.InitBuf(4);
            Expect(false, "InitBuf(4) raises");
        } catch (VekException e) {
            Expect(e.Code == 103 && e.Name == "RC_BAD_BUFFER", "InitBuf(4) raises " + e.Name);
        }
        int value = 7;
        Expect(lib.TestBuf(ref value) == 7 && value == 100, "TestBuf");
        Console.WriteLine(failures == 0 ? "C# road: all checks passed" : "C# road: " + failures + " failed");
        return failures == 0 ? 0 : 1;
    }
}
