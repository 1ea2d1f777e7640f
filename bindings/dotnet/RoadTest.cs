// The typical road through the C# binding, on examples/fileset: both
// versions loaded as bundles, the whole-file script kept, the new bundle
// rebuilt with it and checked, the files written back and compared; then
// four threads with an Engine each run the road 100 times, every script
// exact; then the refusals .NET hosts expect.
// usage: mono road_test.exe FILESET WORKDIR   (exit status 0 when all hold)
using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Reflection;
using System.Threading;
using VekWin32;

static class RoadTest {
    static readonly string[] Names = { "README.txt", "station.c", "station.h", "station.ini", "logo.ico" };
    static int failures;

    static void Expect(bool holds, string what) {
        if (!holds) {
            Console.WriteLine("MISMATCH " + what);
            Interlocked.Increment(ref failures);
        }
    }

    // Type 'T' keeps the tenth place for the binary file.
    static List<string> FileList(string folder) {
        var names = Names.Take(4).Select(n => Path.Combine(folder, n)).ToList();
        names.AddRange(Enumerable.Repeat("", 5));
        names.Add(Path.Combine(folder, Names[4]));
        return names;
    }

    // Loads both versions, diffs them and rebuilds v2 from v1 with the script;
    // returns the script.
    static List<byte[]> Road(Buffers b, string v1, string v2) {
        for (int buf = 1; buf <= 3; ++buf)
            b.InitBuf(buf);
        Expect(b.LoadFiles(1, FileType.Text, FileList(v1)) == "L,L,L,L,E,E,E,E,E,L", "status of v1");
        b.LoadFiles(2, 'T', FileList(v2));
        b.DiffWhole(1, 2, 3);
        BufStats stats = b.GetBufStats(3);
        List<byte[]> script = b.GetLines(3, 1, stats.Count);
        Expect(stats.Count > 0 && script.Sum(l => l.Length + 1) == stats.Total, "script read back");
        b.InitBuf(3);
        b.AddLines(3, script);
        b.EdBuf(3, 1);
        Expect(b.Crc(1) == b.Crc(2) && b.Crc(1) == b.CrcFile(FileType.Text, FileList(v2)), "checksums agree");
        return script;
    }

    static string Copy(string from, string to) {
        Directory.CreateDirectory(to);
        foreach (string name in Names)
            File.Copy(Path.Combine(from, name), Path.Combine(to, name), true);
        return to;
    }

    // Runs `call` and checks it throws exactly a T for which `holds` is true.
    static void Refused<T>(string what, Action call, Func<T, bool> holds = null) where T : Exception {
        try {
            call();
            Expect(false, what + ": no exception");
        } catch (Exception e) {
            Expect(e.GetType() == typeof(T) && (holds == null || holds((T)e)),
                   what + ": " + e.GetType().Name + " " + e.Message);
        }
    }

    static int Main(string[] args) {
        string v1 = Path.Combine(args[0], "v1"), v2 = Path.Combine(args[0], "v2"), work = args[1];
        var lib = new Library();
        List<byte[]> script = Road(lib, v1, v2);
        lib.WriteFiles(1, FileType.Text, FileList(work));
        foreach (string name in Names) {
            byte[] got = File.ReadAllBytes(Path.Combine(work, name));
            if (name != Names[4])  // text comes back with CR LF
                got = got.Where((b, i) => !(b == 13 && i + 1 < got.Length && got[i + 1] == 10)).ToArray();
            Expect(File.ReadAllBytes(Path.Combine(v2, name)).SequenceEqual(got), name + " written back differs");
        }

        // Four threads, an engine each, 100 roads each: every script exact.
        // Each thread on its own copy: the library opens files for exclusive use.
        var threads = Enumerable.Range(0, 4).Select(n => new Thread(() => {
            try {
                string mine1 = Copy(v1, Path.Combine(work, "thread" + n, "v1"));
                string mine2 = Copy(v2, Path.Combine(work, "thread" + n, "v2"));
                using (var engine = new Engine())
                    for (int k = 0; k < 100; ++k) {
                        List<byte[]> mine = Road(engine, mine1, mine2);
                        Expect(mine.Count == script.Count && mine.Zip(script, (a, b) => a.SequenceEqual(b)).All(x => x),
                               "a thread's script differs");
                    }
            } catch (Exception e) {
                Expect(false, "a thread threw " + e.GetType().Name + ": " + e.Message);
            }
        })).ToList();
        threads.ForEach(t => t.Start());
        threads.ForEach(t => t.Join());

        // What a .NET host expects where the library would answer with a bare
        // code or surprise it.
        var engine2 = new Engine();
        string missing = Path.Combine(work, "missing.txt");
        string binary = Path.Combine(work, "b");
        File.WriteAllBytes(binary, new byte[] { 0, 1, 2, 3 });
        Directory.CreateDirectory(Path.Combine(work, "dir"));
        string oldCwd = Directory.GetCurrentDirectory();
        Directory.SetCurrentDirectory(work);
        Expect(engine2.CheckType(new[] { "b" }) == FileType.Binary, "a one-character binary name is binary");
        Directory.SetCurrentDirectory(oldCwd);
        Refused<ArgumentOutOfRangeException>("file type U+5442", () => lib.LoadFiles(1, '\u5442', new[] { binary }));
        Refused<ArgumentOutOfRangeException>("file type 'x'", () => engine2.CrcFile((FileType)'x', new[] { binary }));
        Refused<FileNotFoundException>("ReadBuf of a missing file", () => engine2.ReadBuf(1, missing),
                                       e => e.FileName == missing && e.Message.Contains(missing));
        Refused<FileNotFoundException>("LoadFiles of a missing file",
                                       () => engine2.LoadFiles(1, FileType.Text, new[] { Path.Combine(v1, Names[0]), missing }),
                                       e => e.FileName == missing);
        Refused<IOException>("WriteBuf into a folder", () => engine2.WriteBuf(1, Path.Combine(work, "dir")),
                             e => e.Message.Contains(Path.Combine(work, "dir")));
        Refused<ArgumentOutOfRangeException>("buffer 4", () => lib.InitBuf(4),
                                             e => e.ParamName == "buf" && e.Message.Contains("buffer 4"));
        Refused<ArgumentOutOfRangeException>("line 0", () => engine2.GetLine(1, 0), e => e.ParamName == "line");
        Refused<ArgumentOutOfRangeException>("a line past the end", () => engine2.GetLine(1, 1000));
        Refused<VekException>("a refused edit line", () => engine2.EdCmd(2, "x"),
                              e => e.Code == VekResult.BadLine && e.Name == "VEK_RC_BAD_LINE" && e.Message.Contains("buffer 2"));
        Refused<ArgumentException>("a line feed in a line", () => engine2.AddLine(1, "a\nb"));
        Refused<ArgumentException>("a name cut at its NUL", () => lib.WriteBuf(1, Path.Combine(work, "cut\0off")));
        Refused<ArgumentException>("an empty name before others",
                                   () => lib.LoadFiles(3, 'T', new[] { Path.Combine(v1, Names[0]), "", "x" }));
        Expect(!File.Exists(Path.Combine(work, "cut")), "no file made of a name cut short");
        // Bytes without a terminator are copied and ended before the library sees them.
        engine2.InitBuf(1);
        engine2.AddLine(1, new byte[] { (byte)'a', (byte)'b' });
        Expect(engine2.GetLine(1, 1).SequenceEqual(new byte[] { (byte)'a', (byte)'b' }), "an unterminated array");
        Type native = typeof(Library).Assembly.GetType("VekWin32.NativeMethods");
        Expect(native != null && !native.IsPublic &&
               typeof(Library).Assembly.GetExportedTypes().All(t => t.Namespace == "VekWin32" &&
                   t.GetMethods().All(m => !m.IsDefined(typeof(System.Runtime.InteropServices.DllImportAttribute), false))),
               "no raw declaration is public");
        engine2.Dispose();
        engine2.Dispose();
        Refused<ObjectDisposedException>("a disposed engine", () => engine2.InitBuf(1));

        if (failures == 0)
            Console.WriteLine("C# road: all checks passed");
        return failures == 0 ? 0 : 1;
    }
}
