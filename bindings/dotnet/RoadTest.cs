// The typical road through the C# binding, on examples/fileset: both
// versions loaded as bundles, the whole-file script kept, the new bundle
// rebuilt with it and checked, the files written back and compared.
// usage: mono road_test.exe FILESET WORKDIR   (exit status 0 when all hold)
using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using VekWin32;

static class RoadTest {
    static readonly string[] Names = { "README.txt", "station.c", "station.h", "station.ini", "logo.ico" };
    static int failures;

    static void Expect(bool holds, string what) {
        if (!holds) {
            Console.WriteLine("MISMATCH " + what);
            ++failures;
        }
    }

    // Type 'T' keeps the tenth place for the binary file.
    static List<string> FileList(string folder) {
        var names = Names.Take(4).Select(n => Path.Combine(folder, n)).ToList();
        names.AddRange(Enumerable.Repeat("", 5));
        names.Add(Path.Combine(folder, Names[4]));
        return names;
    }

    static int Main(string[] args) {
        string v1 = Path.Combine(args[0], "v1"), v2 = Path.Combine(args[0], "v2"), work = args[1];
        var lib = new Library();
        for (int buf = 1; buf <= 3; ++buf)
            lib.InitBuf(buf);
        Expect(lib.LoadFiles(1, 'T', FileList(v1)) == "L,L,L,L,E,E,E,E,E,L", "status of v1");
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
        Expect(sum == lib.Crc(2) && sum == lib.CrcFile('T', FileList(v2)), "checksums agree");

        lib.WriteFiles(1, 'T', FileList(work));
        foreach (string name in Names) {
            byte[] got = File.ReadAllBytes(Path.Combine(work, name));
            if (name != Names[4])  // text comes back with CR LF
                got = got.Where((b, i) => !(b == 13 && i + 1 < got.Length && got[i + 1] == 10)).ToArray();
            Expect(File.ReadAllBytes(Path.Combine(v2, name)).SequenceEqual(got), name + " written back differs");
        }
        try {
            lib.InitBuf(4);
            Expect(false, "InitBuf(4) raises");
        } catch (VekException e) {
            Expect(e.Code == 103 && e.Name == "RC_BAD_BUFFER", "InitBuf(4) raises " + e.Name);
        }
        // Refused before the call: a name that would be cut at its NUL, and
        // names an empty name would leave unhandled.
        foreach (Action call in new Action[] {
                     () => lib.WriteBuf(1, Path.Combine(work, "cut\0off")),
                     () => lib.LoadFiles(3, 'T', new[] { Path.Combine(v1, Names[0]), "", "x" }),
                     () => lib.CheckType(FileList(v1)) }) {
            try {
                call();
                Expect(false, "a refused argument raises");
            } catch (ArgumentException) {
            }
        }
        Expect(!File.Exists(Path.Combine(work, "cut")), "no file made of a name cut short");
        if (failures == 0)
            Console.WriteLine("C# road: all checks passed");
        return failures == 0 ? 0 : 1;
    }
}
