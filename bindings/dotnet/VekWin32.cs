// The VekWin32 line-buffer engine from C#: compile this file into your own
// assembly (not into one named VekWin32.dll, which is the native library's
// name on Windows).
//
//   VekWin32.Native   the eighteen exports of vekwin32.h under their own
//                     names: cdecl, ANSI strings, result codes returned
//   VekWin32.Library  the same calls made safe: byte arrays and strings in
//                     (strings of lines as UTF-8, file names as the ANSI
//                     marshalling passes them), lines as byte arrays out,
//                     a VekException for every failure code
//
// The native library is loaded by the name "VekWin32": VekWin32.dll beside
// the program on Windows (of the process's bitness). On Linux, Mono maps
// the name with a dllmap in the program's .config file:
//   <configuration>
//     <dllmap dll="VekWin32" target="libvekwin32.so.1" />
//   </configuration>
// and .NET looks for libVekWin32.so: link that name to libvekwin32.so.1.
//
// The three buffers belong to the whole process and no call takes a lock:
// make one call at a time.
using System;
using System.Collections.Generic;
using System.Linq;
using System.Runtime.InteropServices;
using System.Text;

namespace VekWin32 {

public static class Native {
    const string Lib = "VekWin32";
    const CallingConvention Cdecl = CallingConvention.Cdecl;

    public const int RC_OK = 0;
    public const int RC_WIDTH_NOT_COMPUTED = 1;
    public const int RC_FAILED = 100;
    public const int RC_BUFFER_FULL = 101;
    public const int RC_BAD_LINE = 102;
    public const int RC_BAD_BUFFER = 103;
    public const int RC_READ_FAILED = 104;
    public const int RC_WRITE_FAILED = 105;
    public const int RC_DIFF_FAILED = 107;
    public const int RC_TOO_MANY_FILES = 108;
    public const int RC_BAD_WIDTH = 109;
    public const int RC_STATS_FAILED = 110;
    public const int RC_BAD_TYPE = 111;
    public const int RC_NO_ROOM = 112;
    public const int MAX_LINES = 524288;
    public const int LINES_BLOCK_SIZE = 65536;
    public const int LINES_BLOCK_MAX_LINES = 100;
    public const int LINES_BLOCK_TEXT_START = 401;

    // Text arguments are NUL-terminated: a byte[] passed for one must end
    // with a 0 byte. File lists are cut in place by the library: pass a
    // fresh array. Outputs are arrays of the size vekwin32.h gives.
    [DllImport(Lib, CallingConvention = Cdecl)]
    public static extern int InitBuf(int buf);
    [DllImport(Lib, CallingConvention = Cdecl, CharSet = CharSet.Ansi)]
    public static extern int AddLine(int buf, string text);
    [DllImport(Lib, CallingConvention = Cdecl, EntryPoint = "AddLine")]
    public static extern int AddLine(int buf, byte[] text);
    [DllImport(Lib, CallingConvention = Cdecl, CharSet = CharSet.Ansi)]
    public static extern int EdCmd(int buf, string line);
    [DllImport(Lib, CallingConvention = Cdecl, EntryPoint = "EdCmd")]
    public static extern int EdCmd(int buf, byte[] line);
    [DllImport(Lib, CallingConvention = Cdecl)]
    public static extern int EdBuf(int scriptBuf, int targetBuf);
    [DllImport(Lib, CallingConvention = Cdecl)]
    public static extern int GetLine(int buf, int line, int maxLen, byte[] dest, out int length);
    [DllImport(Lib, CallingConvention = Cdecl)]
    public static extern int GetBufStats(int buf, out int count, out int longest, out int total);
    [DllImport(Lib, CallingConvention = Cdecl)]
    public static extern int Crc(int buf, int width, out int sum);
    [DllImport(Lib, CallingConvention = Cdecl)]
    public static extern int CrcFile(int type, byte[] fileList, int width, out int sum);
    [DllImport(Lib, CallingConvention = Cdecl)]
    public static extern int LoadFiles(int buf, int type, byte[] fileList, byte[] status);
    [DllImport(Lib, CallingConvention = Cdecl)]
    public static extern int WriteFiles(int buf, int type, byte[] fileList);
    [DllImport(Lib, CallingConvention = Cdecl, CharSet = CharSet.Ansi)]
    public static extern int WriteBuf(int buf, string fileName);
    [DllImport(Lib, CallingConvention = Cdecl, CharSet = CharSet.Ansi)]
    public static extern int ReadBuf(int buf, string fileName);
    [DllImport(Lib, CallingConvention = Cdecl)]
    public static extern int Diff(int oldBuf, int newBuf, int scriptBuf);
    [DllImport(Lib, CallingConvention = Cdecl)]
    public static extern int CheckType(byte[] fileList, out byte type);
    [DllImport(Lib, CallingConvention = Cdecl)]
    public static extern int GetLines(int buf, int first, int count, byte[] block, out int delivered);
    [DllImport(Lib, CallingConvention = Cdecl)]
    public static extern int AddLines(int buf, byte[] run);
    [DllImport(Lib, CallingConvention = Cdecl)]
    public static extern int TestBuf(ref int value);
    [DllImport(Lib, CallingConvention = Cdecl)]
    public static extern int DiffWhole(int oldBuf, int newBuf, int scriptBuf);

    // The RC_* name of a result code.
    public static string ResultName(int code) {
        switch (code) {
        case RC_OK: return "RC_OK";
        case RC_WIDTH_NOT_COMPUTED: return "RC_WIDTH_NOT_COMPUTED";
        case RC_FAILED: return "RC_FAILED";
        case RC_BUFFER_FULL: return "RC_BUFFER_FULL";
        case RC_BAD_LINE: return "RC_BAD_LINE";
        case RC_BAD_BUFFER: return "RC_BAD_BUFFER";
        case RC_READ_FAILED: return "RC_READ_FAILED";
        case RC_WRITE_FAILED: return "RC_WRITE_FAILED";
        case RC_DIFF_FAILED: return "RC_DIFF_FAILED";
        case RC_TOO_MANY_FILES: return "RC_TOO_MANY_FILES";
        case RC_BAD_WIDTH: return "RC_BAD_WIDTH";
        case RC_STATS_FAILED: return "RC_STATS_FAILED";
        case RC_BAD_TYPE: return "RC_BAD_TYPE";
        case RC_NO_ROOM: return "RC_NO_ROOM";
        default: return "unknown result";
        }
    }
}

// A call answered with a failure code: Code (e.g. 103), Name
// ("RC_BAD_BUFFER") and Function (the export's name).
public class VekException : Exception {
    public int Code { get; private set; }
    public string Name { get; private set; }
    public string Function { get; private set; }

    public VekException(string function, int code)
        : base(function + " failed with " + Native.ResultName(code) + " (" + code + ")") {
        Function = function;
        Code = code;
        Name = Native.ResultName(code);
    }
}

public struct BufStats {
    public int Count;    // lines
    public int Longest;  // bytes of the longest line, its last byte included
    public int Total;    // bytes of all lines (int.MaxValue beyond it)
}

public class Library {
    readonly byte[] block = new byte[Native.LINES_BLOCK_SIZE];

    static void Check(string function, int code) {
        if (code != Native.RC_OK && code != Native.RC_WIDTH_NOT_COMPUTED)
            throw new VekException(function, code);
    }

    // A line as the NUL-terminated bytes the library takes.
    static byte[] Text(byte[] line) {
        if (line == null)
            throw new ArgumentNullException("line");
        if (Array.IndexOf(line, (byte)0) >= 0)
            throw new ArgumentException("a line passed to the library cannot hold a NUL byte");
        var text = new byte[line.Length + 1];
        Buffer.BlockCopy(line, 0, text, 0, line.Length);
        return text;
    }

    static byte[] Text(string line) {
        if (line == null)
            throw new ArgumentNullException("line");
        return Text(Encoding.UTF8.GetBytes(line));
    }

    // A file name as the bytes of the ANSI marshalling that ReadBuf and
    // WriteBuf get: the same code page for every name. A name that does not
    // come back from those bytes unchanged (a character outside the code
    // page, which the marshalling would map to a look-alike) is refused.
    static byte[] Name(string name) {
        if (name == null)
            throw new ArgumentNullException("name");
        if (name.IndexOf('\0') >= 0)
            throw new ArgumentException("a file name cannot hold a NUL character");
        IntPtr ansi = Marshal.StringToHGlobalAnsi(name);
        try {
            int length = 0;
            while (Marshal.ReadByte(ansi, length) != 0)
                ++length;
            if (Marshal.PtrToStringAnsi(ansi) != name)
                throw new ArgumentException("a file name outside the ANSI code page: " + name);
            var bytes = new byte[length];
            Marshal.Copy(ansi, bytes, 0, length);
            return bytes;
        } finally {
            Marshal.FreeHGlobal(ansi);
        }
    }

    // A comma-separated file list, fresh and writable (the library cuts it).
    // The library ends a list at an empty name unless the list is full (its
    // tenth name not empty, or its eleventh when the first is empty; never
    // for CheckType): a list whose later names would go unhandled is refused.
    static byte[] FileList(IList<string> names, bool emptyEnds = false) {
        if (names == null)
            throw new ArgumentNullException("names");
        var list = new List<byte>();
        for (int k = 0; k < names.Count; ++k) {
            byte[] name = Name(names[k]);
            if (Array.IndexOf(name, (byte)',') >= 0)
                throw new ArgumentException("a file name in a list cannot hold a comma");
            if (k > 0)
                list.Add((byte)',');
            list.AddRange(name);
        }
        int tenth = names.Count > 0 && names[0].Length > 0 ? 10 : 11;
        if (emptyEnds || names.Count < tenth || names[tenth - 1].Length == 0) {
            for (int k = 0; k < names.Count; ++k)
                if (names[k].Length == 0 && names.Skip(k + 1).Any(later => later.Length > 0))
                    throw new ArgumentException("an empty name at place " + (k + 1) +
                                                " would end the file list before the names after it");
        }
        list.Add(0);
        return list.ToArray();
    }

    public void InitBuf(int buf) { Check("InitBuf", Native.InitBuf(buf)); }
    public void AddLine(int buf, byte[] line) { Check("AddLine", Native.AddLine(buf, Text(line))); }
    public void AddLine(int buf, string line) { Check("AddLine", Native.AddLine(buf, Text(line))); }

    // Appends each line, in packed runs: a line cannot be empty here (use
    // AddLine for an empty line).
    public void AddLines(int buf, IEnumerable<byte[]> lines) {
        if (lines == null)
            throw new ArgumentNullException("lines");
        var run = new List<byte>();
        foreach (byte[] line in lines) {
            byte[] text = Text(line);
            if (text.Length == 1)
                throw new ArgumentException("AddLines cannot carry an empty line; use AddLine");
            run.AddRange(text);
            if (run.Count >= Native.LINES_BLOCK_SIZE) {
                run.Add(0);
                Check("AddLines", Native.AddLines(buf, run.ToArray()));
                run.Clear();
            }
        }
        if (run.Count > 0) {
            run.Add(0);
            Check("AddLines", Native.AddLines(buf, run.ToArray()));
        }
    }

    public void AddLines(int buf, IEnumerable<string> lines) {
        if (lines == null)
            throw new ArgumentNullException("lines");
        var bytes = new List<byte[]>();
        foreach (string line in lines) {
            if (line == null)
                throw new ArgumentNullException("line");
            bytes.Add(Encoding.UTF8.GetBytes(line));
        }
        AddLines(buf, bytes);
    }

    // Line `line` (from 1) without its last stored byte.
    public byte[] GetLine(int buf, int line) {
        int room = 1024;
        for (;;) {
            var dest = new byte[room + 1];
            int length;
            int code = Native.GetLine(buf, line, room, dest, out length);
            if (code == Native.RC_NO_ROOM && length > room) {
                room = length;
                continue;
            }
            Check("GetLine", code);
            var text = new byte[length];
            Buffer.BlockCopy(dest, 0, text, 0, length);
            return text;
        }
    }

    // `count` lines from line `first` on; the 64 KiB block stays inside.
    public List<byte[]> GetLines(int buf, int first, int count) {
        if (count < 0)
            throw new ArgumentOutOfRangeException("count");
        var lines = new List<byte[]>(Math.Min(count, Native.LINES_BLOCK_MAX_LINES));
        while (lines.Count < count) {
            int number = first + lines.Count;
            int want = Math.Min(count - lines.Count, Native.LINES_BLOCK_MAX_LINES);
            int delivered;
            int code = Native.GetLines(buf, number, want, block, out delivered);
            for (int j = 0; j < delivered; ++j) {
                int start = BitConverter.ToInt32(block, 4 * j);
                int end = Array.IndexOf(block, (byte)0, start);
                var text = new byte[end - start];
                Buffer.BlockCopy(block, start, text, 0, text.Length);
                lines.Add(text);
            }
            Check("GetLines", code);
            if (delivered == 0)
                lines.Add(GetLine(buf, number));  // too long for the block
        }
        return lines;
    }

    public BufStats GetBufStats(int buf) {
        BufStats stats;
        Check("GetBufStats", Native.GetBufStats(buf, out stats.Count, out stats.Longest, out stats.Total));
        return stats;
    }

    // The 16-bit checksum (width 32 is refused here: the library does not
    // compute it).
    public int Crc(int buf) {
        int sum;
        Check("Crc", Native.Crc(buf, 16, out sum));
        return sum;
    }

    public void EdCmd(int buf, byte[] line) { Check("EdCmd", Native.EdCmd(buf, Text(line))); }
    public void EdCmd(int buf, string line) { Check("EdCmd", Native.EdCmd(buf, Text(line))); }
    public void EdBuf(int scriptBuf, int targetBuf) { Check("EdBuf", Native.EdBuf(scriptBuf, targetBuf)); }
    public void Diff(int oldBuf, int newBuf, int scriptBuf) {
        Check("Diff", Native.Diff(oldBuf, newBuf, scriptBuf));
    }
    public void DiffWhole(int oldBuf, int newBuf, int scriptBuf) {
        Check("DiffWhole", Native.DiffWhole(oldBuf, newBuf, scriptBuf));
    }

    // Appends the files as a bundle ('T' or 'B'); returns the status text.
    public string LoadFiles(int buf, char type, IList<string> files) {
        var status = new byte[21];
        Check("LoadFiles", Native.LoadFiles(buf, type, FileList(files), status));
        return Encoding.ASCII.GetString(status, 0, Array.IndexOf(status, (byte)0));
    }

    public void WriteFiles(int buf, char type, IList<string> files) {
        Check("WriteFiles", Native.WriteFiles(buf, type, FileList(files)));
    }

    public int CrcFile(char type, IList<string> files) {
        int sum;
        Check("CrcFile", Native.CrcFile(type, FileList(files), 16, out sum));
        return sum;
    }

    // 'T' (text) or 'B' (binary).
    public char CheckType(IList<string> files) {
        byte type;
        Check("CheckType", Native.CheckType(FileList(files, true), out type));
        return (char)type;
    }

    public void ReadBuf(int buf, string fileName) {
        Name(fileName);
        Check("ReadBuf", Native.ReadBuf(buf, fileName));
    }
    public void WriteBuf(int buf, string fileName) {
        Name(fileName);
        Check("WriteBuf", Native.WriteBuf(buf, fileName));
    }

    // TestBuf(&value): what it returned; value is left at 100.
    public int TestBuf(ref int value) { return Native.TestBuf(ref value); }
}

}  // namespace VekWin32
