// The VekWin32 line-buffer engine from C#. The NuGet package VekWin32
// carries this file built as VekWin32.Net.dll (netstandard2.0; the name
// differs from the native VekWin32.dll on purpose), its XML docs, and the
// native library for win-x86, win-x64 and linux-x64 under runtimes/, where
// .NET finds it with no setting; VekWin32.Net.dll.config maps the name for
// Mono. Compiled into a program of its own, this file needs the native
// library beside the program (on Linux as libVekWin32.so).
//
//   VekWin32.Engine   three buffers of its own (a library context), freed by
//                     Dispose: use one per thread, no lock needed
//   VekWin32.Library  the process's three buffers, shared by everyone in it
//
// Both take byte arrays and strings (lines as UTF-8, file names as the ANSI
// marshalling passes them), hand lines out as byte arrays, and throw:
// FileNotFoundException or IOException naming the file when a file cannot
// be opened, read or written; ArgumentOutOfRangeException for a buffer or
// line number out of range; ArgumentException for a refused argument; and
// VekException, with the code, for the rest.
using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Runtime.InteropServices;
using System.Text;

namespace VekWin32 {

/// <summary>The result codes of the library (VEK_RC_* in vekwin32.h).</summary>
public enum VekResult {
    /// <summary>VEK_RC_OK: done.</summary>
    Ok = 0,
    /// <summary>VEK_RC_WIDTH_NOT_COMPUTED: checksum width 32, accepted but not computed.</summary>
    WidthNotComputed = 1,
    /// <summary>VEK_RC_FAILED: NULL argument, past the last line, count out of range, a failed read or write.</summary>
    Failed = 100,
    /// <summary>VEK_RC_BUFFER_FULL: line limit reached, line too long, or memory ran out.</summary>
    BufferFull = 101,
    /// <summary>VEK_RC_BAD_LINE: line number below 1, or an edit line refused.</summary>
    BadLine = 102,
    /// <summary>VEK_RC_BAD_BUFFER: buffer number not 1..3, or two equal numbers in one call.</summary>
    BadBuffer = 103,
    /// <summary>VEK_RC_READ_FAILED: a file could not be opened or read.</summary>
    ReadFailed = 104,
    /// <summary>VEK_RC_WRITE_FAILED: a file could not be created or written, or a malformed section.</summary>
    WriteFailed = 105,
    /// <summary>VEK_RC_DIFF_FAILED: Diff's class table full, or memory ran out.</summary>
    DiffFailed = 107,
    /// <summary>VEK_RC_TOO_MANY_FILES: a file list holds more than ten names.</summary>
    TooManyFiles = 108,
    /// <summary>VEK_RC_BAD_WIDTH: checksum width other than 16 or 32.</summary>
    BadWidth = 109,
    /// <summary>VEK_RC_STATS_FAILED: reserved.</summary>
    StatsFailed = 110,
    /// <summary>VEK_RC_BAD_TYPE: type letter other than 'T' or 'B'.</summary>
    BadType = 111,
    /// <summary>VEK_RC_NO_ROOM: a line is longer than the room given for it.</summary>
    NoRoom = 112,
    /// <summary>VEK_RC_BAD_CONTEXT: no context (a closed engine never reaches the library).</summary>
    BadContext = 113,
}

/// <summary>How a file list is bundled.</summary>
public enum FileType : byte {
    /// <summary>'T': text files, the tenth file of a list binary.</summary>
    Text = (byte)'T',
    /// <summary>'B': every file binary (uuencoded).</summary>
    Binary = (byte)'B',
}

/// <summary>A call answered with a failure code; the message names the buffer or file concerned.</summary>
public class VekException : Exception {
    /// <summary>The result code.</summary>
    public VekResult Code { get; private set; }
    /// <summary>The code's name in vekwin32.h, such as "VEK_RC_BUFFER_FULL".</summary>
    public string Name { get; private set; }
    /// <summary>The export that failed, such as "AddLine".</summary>
    public string Function { get; private set; }

    /// <summary>A failure of <paramref name="function"/> with <paramref name="code"/>; <paramref name="where"/> names the buffer or file.</summary>
    public VekException(string function, VekResult code, string where)
        : base(Describe(function, code, where)) {
        Function = function;
        Code = code;
        Name = ResultName(code);
    }

    internal static string Describe(string function, VekResult code, string where) {
        return function + " failed with " + ResultName(code) + " (" + (int)code + ")" +
               (string.IsNullOrEmpty(where) ? "" : ": " + where);
    }

    /// <summary>The VEK_RC_* name of a result code.</summary>
    public static string ResultName(VekResult code) {
        if (!Enum.IsDefined(typeof(VekResult), code))
            return "unknown result";
        var name = new StringBuilder("VEK_RC");
        foreach (char c in code.ToString()) {
            if (char.IsUpper(c))
                name.Append('_');
            name.Append(char.ToUpperInvariant(c));
        }
        return name.ToString();
    }
}

/// <summary>What GetBufStats reports of a buffer, in bytes, each line's last byte counted.</summary>
public struct BufStats {
    /// <summary>Lines in the buffer.</summary>
    public int Count;
    /// <summary>Length of the longest line.</summary>
    public int Longest;
    /// <summary>Sum of the line lengths; int.MaxValue beyond it (it saturates).</summary>
    public int Total;
}

/// <summary>The native context of an <see cref="Engine"/>, freed by VekClose when released.</summary>
internal sealed class ContextHandle : SafeHandle {
    ContextHandle() : base(IntPtr.Zero, true) {}
    public override bool IsInvalid { get { return handle == IntPtr.Zero; } }
    protected override bool ReleaseHandle() {
        NativeMethods.VekClose(handle);
        return true;
    }
}

/// <summary>The exports of vekwin32.h and their context twins. Every text goes as a byte
/// array that the caller ends with a NUL; only this assembly calls them.</summary>
internal static class NativeMethods {
    const string Lib = "VekWin32";
    const CallingConvention Cdecl = CallingConvention.Cdecl;

    [DllImport(Lib, CallingConvention = Cdecl)] internal static extern int InitBuf(int buf);
    [DllImport(Lib, CallingConvention = Cdecl)] internal static extern int AddLine(int buf, byte[] text);
    [DllImport(Lib, CallingConvention = Cdecl)] internal static extern int EdCmd(int buf, byte[] line);
    [DllImport(Lib, CallingConvention = Cdecl)] internal static extern int EdBuf(int scriptBuf, int targetBuf);
    [DllImport(Lib, CallingConvention = Cdecl)]
    internal static extern int GetLine(int buf, int line, int maxLen, byte[] dest, out int length);
    [DllImport(Lib, CallingConvention = Cdecl)]
    internal static extern int GetBufStats(int buf, out int count, out int longest, out int total);
    [DllImport(Lib, CallingConvention = Cdecl)] internal static extern int Crc(int buf, int width, out int sum);
    [DllImport(Lib, CallingConvention = Cdecl)]
    internal static extern int CrcFile(int type, byte[] fileList, int width, out int sum);
    [DllImport(Lib, CallingConvention = Cdecl)]
    internal static extern int LoadFiles(int buf, int type, byte[] fileList, byte[] status);
    [DllImport(Lib, CallingConvention = Cdecl)] internal static extern int WriteFiles(int buf, int type, byte[] fileList);
    [DllImport(Lib, CallingConvention = Cdecl)] internal static extern int WriteBuf(int buf, byte[] fileName);
    [DllImport(Lib, CallingConvention = Cdecl)] internal static extern int ReadBuf(int buf, byte[] fileName);
    [DllImport(Lib, CallingConvention = Cdecl)] internal static extern int Diff(int oldBuf, int newBuf, int scriptBuf);
    [DllImport(Lib, CallingConvention = Cdecl)] internal static extern int CheckType(byte[] fileList, out byte type);
    [DllImport(Lib, CallingConvention = Cdecl)]
    internal static extern int GetLines(int buf, int first, int count, byte[] block, out int delivered);
    [DllImport(Lib, CallingConvention = Cdecl)] internal static extern int AddLines(int buf, byte[] run);
    [DllImport(Lib, CallingConvention = Cdecl)] internal static extern int TestBuf(ref int value);
    [DllImport(Lib, CallingConvention = Cdecl)] internal static extern int DiffWhole(int oldBuf, int newBuf, int scriptBuf);

    [DllImport(Lib, CallingConvention = Cdecl)] internal static extern ContextHandle VekOpen();
    [DllImport(Lib, CallingConvention = Cdecl)] internal static extern void VekClose(IntPtr ctx);
    [DllImport(Lib, CallingConvention = Cdecl)] internal static extern int VekInitBuf(ContextHandle ctx, int buf);
    [DllImport(Lib, CallingConvention = Cdecl)] internal static extern int VekAddLine(ContextHandle ctx, int buf, byte[] text);
    [DllImport(Lib, CallingConvention = Cdecl)] internal static extern int VekEdCmd(ContextHandle ctx, int buf, byte[] line);
    [DllImport(Lib, CallingConvention = Cdecl)]
    internal static extern int VekEdBuf(ContextHandle ctx, int scriptBuf, int targetBuf);
    [DllImport(Lib, CallingConvention = Cdecl)]
    internal static extern int VekGetLine(ContextHandle ctx, int buf, int line, int maxLen, byte[] dest, out int length);
    [DllImport(Lib, CallingConvention = Cdecl)]
    internal static extern int VekGetBufStats(ContextHandle ctx, int buf, out int count, out int longest, out int total);
    [DllImport(Lib, CallingConvention = Cdecl)]
    internal static extern int VekCrc(ContextHandle ctx, int buf, int width, out int sum);
    [DllImport(Lib, CallingConvention = Cdecl)]
    internal static extern int VekCrcFile(ContextHandle ctx, int type, byte[] fileList, int width, out int sum);
    [DllImport(Lib, CallingConvention = Cdecl)]
    internal static extern int VekLoadFiles(ContextHandle ctx, int buf, int type, byte[] fileList, byte[] status);
    [DllImport(Lib, CallingConvention = Cdecl)]
    internal static extern int VekWriteFiles(ContextHandle ctx, int buf, int type, byte[] fileList);
    [DllImport(Lib, CallingConvention = Cdecl)]
    internal static extern int VekWriteBuf(ContextHandle ctx, int buf, byte[] fileName);
    [DllImport(Lib, CallingConvention = Cdecl)]
    internal static extern int VekReadBuf(ContextHandle ctx, int buf, byte[] fileName);
    [DllImport(Lib, CallingConvention = Cdecl)]
    internal static extern int VekDiff(ContextHandle ctx, int oldBuf, int newBuf, int scriptBuf);
    [DllImport(Lib, CallingConvention = Cdecl)]
    internal static extern int VekCheckType(ContextHandle ctx, byte[] fileList, out byte type);
    [DllImport(Lib, CallingConvention = Cdecl)]
    internal static extern int VekGetLines(ContextHandle ctx, int buf, int first, int count, byte[] block, out int delivered);
    [DllImport(Lib, CallingConvention = Cdecl)] internal static extern int VekAddLines(ContextHandle ctx, int buf, byte[] run);
    [DllImport(Lib, CallingConvention = Cdecl)] internal static extern int VekTestBuf(ContextHandle ctx, ref int value);
    [DllImport(Lib, CallingConvention = Cdecl)]
    internal static extern int VekDiffWhole(ContextHandle ctx, int oldBuf, int newBuf, int scriptBuf);
}

/// <summary>The calls on three line buffers, one per export of vekwin32.h: <see cref="Library"/>
/// reaches the process's buffers, <see cref="Engine"/> its own.</summary>
public abstract class Buffers {
    /// <summary>Most lines the line calls append to a buffer: they append while it holds at most this many.</summary>
    public const int MaxLines = 524288;
    /// <summary>Most names a file list may hold.</summary>
    public const int MaxListFiles = 10;
    const int BlockSize = 65536, BlockMaxLines = 100;

    internal Buffers() {}

    // The native calls, on the buffers of this object.
    internal abstract int NInitBuf(int buf);
    internal abstract int NAddLine(int buf, byte[] text);
    internal abstract int NAddLines(int buf, byte[] run);
    internal abstract int NEdCmd(int buf, byte[] line);
    internal abstract int NEdBuf(int scriptBuf, int targetBuf);
    internal abstract int NGetLine(int buf, int line, int maxLen, byte[] dest, out int length);
    internal abstract int NGetLines(int buf, int first, int count, byte[] block, out int delivered);
    internal abstract int NGetBufStats(int buf, out int count, out int longest, out int total);
    internal abstract int NCrc(int buf, int width, out int sum);
    internal abstract int NCrcFile(int type, byte[] fileList, int width, out int sum);
    internal abstract int NLoadFiles(int buf, int type, byte[] fileList, byte[] status);
    internal abstract int NWriteFiles(int buf, int type, byte[] fileList);
    internal abstract int NWriteBuf(int buf, byte[] fileName);
    internal abstract int NReadBuf(int buf, byte[] fileName);
    internal abstract int NDiff(int oldBuf, int newBuf, int scriptBuf);
    internal abstract int NDiffWhole(int oldBuf, int newBuf, int scriptBuf);
    internal abstract int NCheckType(byte[] fileList, out byte type);
    internal abstract int NTestBuf(ref int value);

    // Throws for a failure code: the exception .NET hosts expect for each.
    static void Check(string function, int code, string where, string parameter = null) {
        var result = (VekResult)code;
        if (result == VekResult.Ok || result == VekResult.WidthNotComputed)
            return;
        if (parameter != null && (result == VekResult.BadBuffer || result == VekResult.BadLine ||
                                  result == VekResult.Failed)) {
            var error = new ArgumentOutOfRangeException(parameter, VekException.Describe(function, result, where));
            error.Data["VekResult"] = result;
            throw error;
        }
        throw new VekException(function, result, where);
    }

    static void CheckBuffers(string function, int code, string where) {
        Check(function, code, where, code == (int)VekResult.BadBuffer ? "buf" : null);
    }

    // A failed open, read or write: FileNotFoundException or IOException naming the file.
    static void CheckFiles(string function, int code, string where, IList<string> names, bool textOnly) {
        var result = (VekResult)code;
        if (result == VekResult.ReadFailed || result == VekResult.WriteFailed) {
            string culprit = null;
            var given = names.Where(n => n.Length > 0).ToList();
            if (given.Count == 1)
                culprit = given[0];
            else if (result == VekResult.ReadFailed)
                for (int k = 0; k < names.Count && culprit == null; ++k)
                    if (names[k].Length > 0 && !(textOnly && k == MaxListFiles - 1) && !CanRead(names[k]))
                        culprit = names[k];
            string message = VekException.Describe(function, result, where + (where.Length > 0 ? ", " : "") +
                                                   (culprit != null ? "file " + culprit : "files " + string.Join(", ", given)));
            Exception inner = new VekException(function, result, where);
            if (culprit != null && result == VekResult.ReadFailed && !File.Exists(culprit))
                throw new FileNotFoundException(message, culprit, inner);
            var error = new IOException(message, inner);
            error.Data["FileName"] = culprit;
            throw error;
        }
        CheckBuffers(function, code, where);
    }

    static bool CanRead(string name) {
        try {
            using (File.OpenRead(name)) {}
            return true;
        } catch (Exception) {
            return false;
        }
    }

    // A line as the NUL-terminated bytes the library takes.
    static byte[] Text(byte[] line, string parameter) {
        if (line == null)
            throw new ArgumentNullException(parameter);
        if (Array.IndexOf(line, (byte)0) >= 0)
            throw new ArgumentException("a line passed to the library cannot hold a NUL byte", parameter);
        var text = new byte[line.Length + 1];
        Buffer.BlockCopy(line, 0, text, 0, line.Length);
        return text;
    }

    static byte[] Text(string line, string parameter) {
        if (line == null)
            throw new ArgumentNullException(parameter);
        return Text(Encoding.UTF8.GetBytes(line), parameter);
    }

    static byte[] Line(byte[] text, string parameter) {
        byte[] line = Text(text, parameter);
        if (Array.IndexOf(line, (byte)'\n') >= 0)
            throw new ArgumentException("a line cannot hold a line feed (the library would keep it inside one line)",
                                        parameter);
        return line;
    }

    // A file name as the bytes of the ANSI marshalling: the same code page for
    // every name. A name that does not come back from those bytes unchanged (a
    // character outside the code page) is refused.
    static byte[] Name(string name, string parameter) {
        if (name == null)
            throw new ArgumentNullException(parameter);
        if (name.IndexOf('\0') >= 0)
            throw new ArgumentException("a file name cannot hold a NUL character: " + name.Replace('\0', '?'), parameter);
        IntPtr ansi = Marshal.StringToHGlobalAnsi(name);
        try {
            int length = 0;
            while (Marshal.ReadByte(ansi, length) != 0)
                ++length;
            if (Marshal.PtrToStringAnsi(ansi) != name)
                throw new ArgumentException("a file name outside the ANSI code page: " + name, parameter);
            var bytes = new byte[length + 1];
            Marshal.Copy(ansi, bytes, 0, length);
            return bytes;
        } finally {
            Marshal.FreeHGlobal(ansi);
        }
    }

    // A comma-separated file list, fresh and NUL-terminated (the exports cut it).
    // The library ends a list at an empty name unless the list is full (its
    // tenth name not empty, or its eleventh when the first is empty; never
    // for CheckType): a list whose later names would go unhandled is refused.
    static byte[] FileList(IList<string> names, bool emptyEnds = false) {
        if (names == null)
            throw new ArgumentNullException("files");
        var list = new List<byte>();
        for (int k = 0; k < names.Count; ++k) {
            byte[] name = Name(names[k], "files");
            if (Array.IndexOf(name, (byte)',') >= 0)
                throw new ArgumentException("a file name in a list cannot hold a comma: " + names[k], "files");
            if (k > 0)
                list.Add((byte)',');
            list.AddRange(name.Take(name.Length - 1));
        }
        int tenth = names.Count > 0 && names[0].Length > 0 ? 10 : 11;
        if (emptyEnds || names.Count < tenth || names[tenth - 1].Length == 0) {
            for (int k = 0; k < names.Count; ++k)
                if (names[k].Length == 0 && names.Skip(k + 1).Any(later => later.Length > 0))
                    throw new ArgumentException("an empty name at place " + (k + 1) +
                                                " would end the file list before the names after it", "files");
        }
        list.Add(0);
        return list.ToArray();
    }

    static int Letter(FileType type) {
        if (type != FileType.Text && type != FileType.Binary)
            throw new ArgumentOutOfRangeException("type", type, "the file type is FileType.Text or FileType.Binary");
        return (int)type;
    }

    /// <summary>The <see cref="FileType"/> of the letter 'T' or 'B'.</summary>
    /// <exception cref="ArgumentOutOfRangeException">any other character.</exception>
    public static FileType ToFileType(char letter) {
        if (letter != 'T' && letter != 'B')
            throw new ArgumentOutOfRangeException("letter", letter, "the file type is 'T' or 'B'");
        return (FileType)letter;
    }

    static string Buf(int buf) { return "buffer " + buf; }

    /// <summary>Empties buffer <paramref name="buf"/> (1, 2 or 3): its lines and its edit state.</summary>
    /// <exception cref="ArgumentOutOfRangeException">buf is not 1, 2 or 3.</exception>
    public void InitBuf(int buf) { CheckBuffers("InitBuf", NInitBuf(buf), Buf(buf)); }

    /// <summary>Appends <paramref name="line"/> plus a line feed to buffer <paramref name="buf"/>; it may be empty.</summary>
    /// <exception cref="ArgumentException">the line holds a NUL byte or a line feed.</exception>
    /// <exception cref="ArgumentOutOfRangeException">buf is not 1, 2 or 3.</exception>
    /// <exception cref="VekException">BufferFull: the buffer holds more than MaxLines lines, the line is too long,
    /// or memory ran out (the buffer is unchanged).</exception>
    public void AddLine(int buf, byte[] line) { CheckBuffers("AddLine", NAddLine(buf, Line(line, "line")), Buf(buf)); }

    /// <summary>Appends <paramref name="line"/>, as UTF-8, plus a line feed to buffer <paramref name="buf"/>.</summary>
    /// <exception cref="ArgumentException">the line holds a NUL or a line feed.</exception>
    /// <exception cref="ArgumentOutOfRangeException">buf is not 1, 2 or 3.</exception>
    /// <exception cref="VekException">BufferFull, as for the byte overload.</exception>
    public void AddLine(int buf, string line) {
        if (line == null)
            throw new ArgumentNullException("line");
        AddLine(buf, Encoding.UTF8.GetBytes(line));
    }

    /// <summary>Appends each line to buffer <paramref name="buf"/>, sent in packed runs of about 64 KiB.
    /// A line here cannot be empty (use AddLine for one).</summary>
    /// <exception cref="ArgumentException">an empty line, or one holding a NUL byte or a line feed.</exception>
    /// <exception cref="ArgumentOutOfRangeException">buf is not 1, 2 or 3.</exception>
    /// <exception cref="VekException">BufferFull: line limit, a line too long, or memory ran out; the lines
    /// before it stay appended.</exception>
    public void AddLines(int buf, IEnumerable<byte[]> lines) {
        if (lines == null)
            throw new ArgumentNullException("lines");
        var run = new List<byte>();
        foreach (byte[] line in lines) {
            byte[] text = Line(line, "lines");
            if (text.Length == 1)
                throw new ArgumentException("AddLines cannot carry an empty line; use AddLine", "lines");
            run.AddRange(text);
            if (run.Count >= BlockSize) {
                run.Add(0);
                CheckBuffers("AddLines", NAddLines(buf, run.ToArray()), Buf(buf));
                run.Clear();
            }
        }
        if (run.Count > 0) {
            run.Add(0);
            CheckBuffers("AddLines", NAddLines(buf, run.ToArray()), Buf(buf));
        }
    }

    /// <summary>Appends each string, as UTF-8, as AddLines of byte arrays does.</summary>
    /// <exception cref="ArgumentException">an empty line, or one holding a NUL or a line feed.</exception>
    /// <exception cref="ArgumentOutOfRangeException">buf is not 1, 2 or 3.</exception>
    /// <exception cref="VekException">BufferFull.</exception>
    public void AddLines(int buf, IEnumerable<string> lines) {
        if (lines == null)
            throw new ArgumentNullException("lines");
        var bytes = new List<byte[]>();
        foreach (string line in lines) {
            if (line == null)
                throw new ArgumentNullException("lines");
            bytes.Add(Encoding.UTF8.GetBytes(line));
        }
        AddLines(buf, bytes);
    }

    /// <summary>Line <paramref name="line"/> (from 1) of buffer <paramref name="buf"/>, without its last stored
    /// byte (normally its line feed).</summary>
    /// <exception cref="ArgumentOutOfRangeException">buf is not 1, 2 or 3, or line is below 1 or past the last
    /// line.</exception>
    public byte[] GetLine(int buf, int line) {
        int room = 1024;
        for (;;) {
            var dest = new byte[room + 1];
            int length;
            int code = NGetLine(buf, line, room, dest, out length);
            if (code == (int)VekResult.NoRoom && length > room) {
                room = length;
                continue;
            }
            Check("GetLine", code, "line " + line + " of buffer " + buf,
                  code == (int)VekResult.BadBuffer ? "buf" : "line");
            var text = new byte[length];
            Buffer.BlockCopy(dest, 0, text, 0, length);
            return text;
        }
    }

    /// <summary><paramref name="count"/> lines of buffer <paramref name="buf"/> from line <paramref name="first"/>
    /// on, each as GetLine gives it; the 64 KiB block stays inside.</summary>
    /// <exception cref="ArgumentOutOfRangeException">buf is not 1, 2 or 3; first is below 1; count is negative;
    /// or the range runs past the last line.</exception>
    public List<byte[]> GetLines(int buf, int first, int count) {
        if (count < 0)
            throw new ArgumentOutOfRangeException("count", count, "a negative count of lines");
        var lines = new List<byte[]>(Math.Min(count, BlockMaxLines));
        var block = new byte[BlockSize];  // per call: a Library may serve several threads
        while (lines.Count < count) {
            int number = first + lines.Count;
            int want = Math.Min(count - lines.Count, BlockMaxLines);
            int delivered;
            int code = NGetLines(buf, number, want, block, out delivered);
            for (int j = 0; j < delivered; ++j) {
                int start = BitConverter.ToInt32(block, 4 * j);
                int end = Array.IndexOf(block, (byte)0, start);
                var text = new byte[end - start];
                Buffer.BlockCopy(block, start, text, 0, text.Length);
                lines.Add(text);
            }
            Check("GetLines", code, "lines " + first + " to " + (first + (long)count - 1) + " of buffer " + buf,
                  code == (int)VekResult.BadBuffer ? "buf" : code == (int)VekResult.BadLine ? "first" : "count");
            if (delivered == 0)
                lines.Add(GetLine(buf, number));  // too long for the block
        }
        return lines;
    }

    /// <summary>The line count, longest line and total length of buffer <paramref name="buf"/>.</summary>
    /// <exception cref="ArgumentOutOfRangeException">buf is not 1, 2 or 3.</exception>
    public BufStats GetBufStats(int buf) {
        BufStats stats;
        CheckBuffers("GetBufStats", NGetBufStats(buf, out stats.Count, out stats.Longest, out stats.Total), Buf(buf));
        return stats;
    }

    /// <summary>The 16-bit additive checksum (0..65535) of buffer <paramref name="buf"/>: every stored byte
    /// summed as a signed byte, modulo 65536.</summary>
    /// <exception cref="ArgumentOutOfRangeException">buf is not 1, 2 or 3.</exception>
    public int Crc(int buf) {
        int sum;
        CheckBuffers("Crc", NCrc(buf, 16, out sum), Buf(buf));
        return sum;
    }

    /// <summary>Feeds one edit-script line (without a line feed) to the edit interpreter of buffer
    /// <paramref name="buf"/>: "Na", "N,Mc", "N,Md", then text up to a line that begins with '.'.</summary>
    /// <exception cref="ArgumentOutOfRangeException">buf is not 1, 2 or 3.</exception>
    /// <exception cref="VekException">BadLine: the line was refused (the buffer is unchanged); BufferFull.</exception>
    public void EdCmd(int buf, byte[] line) { CheckBuffers("EdCmd", NEdCmd(buf, Text(line, "line")), Buf(buf)); }

    /// <summary>Feeds one edit-script line, as UTF-8, as the byte overload does.</summary>
    /// <exception cref="ArgumentOutOfRangeException">buf is not 1, 2 or 3.</exception>
    /// <exception cref="VekException">BadLine, BufferFull.</exception>
    public void EdCmd(int buf, string line) { CheckBuffers("EdCmd", NEdCmd(buf, Text(line, "line")), Buf(buf)); }

    /// <summary>Applies the script in buffer <paramref name="scriptBuf"/> to buffer <paramref name="targetBuf"/>,
    /// stopping at the first refused line.</summary>
    /// <exception cref="ArgumentOutOfRangeException">a number is not 1..3, or both are equal.</exception>
    /// <exception cref="VekException">BadLine: a line was refused; the lines before it stay applied.</exception>
    public void EdBuf(int scriptBuf, int targetBuf) {
        CheckBuffers("EdBuf", NEdBuf(scriptBuf, targetBuf), "script buffer " + scriptBuf + ", target buffer " + targetBuf);
    }

    /// <summary>Fills buffer <paramref name="scriptBuf"/> with the edit script that turns
    /// <paramref name="oldBuf"/> into <paramref name="newBuf"/>, comparing windows of 2,500 lines.</summary>
    /// <exception cref="ArgumentOutOfRangeException">a number is not 1..3, or two are equal.</exception>
    /// <exception cref="VekException">BufferFull (script over MaxLines lines) or DiffFailed (more than 4,093
    /// distinct lines in a window pair, or memory ran out): do not apply the partial script.</exception>
    public void Diff(int oldBuf, int newBuf, int scriptBuf) {
        CheckBuffers("Diff", NDiff(oldBuf, newBuf, scriptBuf), Bufs(oldBuf, newBuf, scriptBuf));
    }

    /// <summary>Fills buffer <paramref name="scriptBuf"/> with the edit script that turns
    /// <paramref name="oldBuf"/> into <paramref name="newBuf"/>, comparing them whole: the scripts to keep.</summary>
    /// <exception cref="ArgumentOutOfRangeException">a number is not 1..3, or two are equal.</exception>
    /// <exception cref="VekException">BufferFull or DiffFailed (memory); the script buffer is then empty.</exception>
    public void DiffWhole(int oldBuf, int newBuf, int scriptBuf) {
        CheckBuffers("DiffWhole", NDiffWhole(oldBuf, newBuf, scriptBuf), Bufs(oldBuf, newBuf, scriptBuf));
    }

    static string Bufs(int oldBuf, int newBuf, int scriptBuf) {
        return "old buffer " + oldBuf + ", new buffer " + newBuf + ", script buffer " + scriptBuf;
    }

    /// <summary>Appends a bundle section for each of up to ten files to buffer <paramref name="buf"/>; returns
    /// the status text, e.g. "L,E,L" (L loaded; E empty, no name, or a binary file that could not be opened).
    /// With Text the tenth file is binary.</summary>
    /// <exception cref="FileNotFoundException">a text file does not exist (FileName names it).</exception>
    /// <exception cref="IOException">a text file could not be opened.</exception>
    /// <exception cref="ArgumentOutOfRangeException">buf is not 1, 2 or 3, or type is not Text or Binary.</exception>
    /// <exception cref="ArgumentException">a name holds a comma or NUL, or an empty name would end the list
    /// early.</exception>
    /// <exception cref="VekException">Failed, BufferFull, TooManyFiles; the sections loaded so far stay.</exception>
    public string LoadFiles(int buf, FileType type, IList<string> files) {
        var status = new byte[21];
        int letter = Letter(type);
        CheckFiles("LoadFiles", NLoadFiles(buf, letter, FileList(files), status), Buf(buf), files,
                   type == FileType.Text);
        return Encoding.ASCII.GetString(status, 0, Array.IndexOf(status, (byte)0));
    }

    /// <summary>LoadFiles with the type as a letter, 'T' or 'B'.</summary>
    /// <exception cref="ArgumentOutOfRangeException">type is neither 'T' nor 'B'; as LoadFiles.</exception>
    public string LoadFiles(int buf, char type, IList<string> files) { return LoadFiles(buf, ToFileType(type), files); }

    /// <summary>Writes the bundle in buffer <paramref name="buf"/> back out, section k to the k-th name: text
    /// with CR LF line ends, binary uudecoded.</summary>
    /// <exception cref="IOException">a file could not be created, or a binary section is malformed.</exception>
    /// <exception cref="ArgumentOutOfRangeException">buf is not 1, 2 or 3, or type is not Text or Binary.</exception>
    /// <exception cref="VekException">Failed (a short data line, a failed write, memory), TooManyFiles.</exception>
    public void WriteFiles(int buf, FileType type, IList<string> files) {
        int letter = Letter(type);
        CheckFiles("WriteFiles", NWriteFiles(buf, letter, FileList(files)), Buf(buf), files, false);
    }

    /// <summary>WriteFiles with the type as a letter, 'T' or 'B'.</summary>
    /// <exception cref="ArgumentOutOfRangeException">type is neither 'T' nor 'B'; as WriteFiles.</exception>
    public void WriteFiles(int buf, char type, IList<string> files) { WriteFiles(buf, ToFileType(type), files); }

    /// <summary>The checksum Crc gives of the bundle LoadFiles would make of <paramref name="files"/>.</summary>
    /// <exception cref="FileNotFoundException">a text file does not exist.</exception>
    /// <exception cref="IOException">a text file could not be opened.</exception>
    /// <exception cref="ArgumentOutOfRangeException">type is not Text or Binary.</exception>
    /// <exception cref="VekException">Failed, BufferFull, TooManyFiles.</exception>
    public int CrcFile(FileType type, IList<string> files) {
        int sum;
        int letter = Letter(type);
        CheckFiles("CrcFile", NCrcFile(letter, FileList(files), 16, out sum), "", files, type == FileType.Text);
        return sum;
    }

    /// <summary>CrcFile with the type as a letter, 'T' or 'B'.</summary>
    /// <exception cref="ArgumentOutOfRangeException">type is neither 'T' nor 'B'; as CrcFile.</exception>
    public int CrcFile(char type, IList<string> files) { return CrcFile(ToFileType(type), files); }

    /// <summary>Text when every file holds, in its first 512 bytes, only tab, line feed, vertical tab, form
    /// feed, carriage return, space to '~' or bytes 0x80..0xFF; else Binary. Every name is checked, a
    /// one-character name too.</summary>
    /// <exception cref="FileNotFoundException">a file does not exist.</exception>
    /// <exception cref="IOException">a file could not be opened or read.</exception>
    /// <exception cref="ArgumentException">an empty name stands before others.</exception>
    /// <exception cref="VekException">TooManyFiles.</exception>
    public FileType CheckType(IList<string> files) {
        FileList(files, true);
        // The library skips a one-character name unopened: give it a longer
        // name of the same file.
        var longer = files.Select(n => n.Length == 1 ? "." + Path.DirectorySeparatorChar + n : n).ToList();
        byte type;
        CheckFiles("CheckType", NCheckType(FileList(longer, true), out type), "", files, false);
        return (FileType)type;
    }

    /// <summary>Appends the text file <paramref name="fileName"/> to buffer <paramref name="buf"/> (CR LF as LF,
    /// 0x1A ends the data), in pieces of at most 1,022 bytes.</summary>
    /// <exception cref="FileNotFoundException">the file does not exist.</exception>
    /// <exception cref="IOException">the file could not be opened or read.</exception>
    /// <exception cref="ArgumentOutOfRangeException">buf is not 1, 2 or 3.</exception>
    /// <exception cref="VekException">BufferFull: the lines read so far stay.</exception>
    public void ReadBuf(int buf, string fileName) {
        CheckFiles("ReadBuf", NReadBuf(buf, Name(fileName, "fileName")), Buf(buf), new[] { fileName }, false);
    }

    /// <summary>Creates or truncates the text file <paramref name="fileName"/> and writes buffer
    /// <paramref name="buf"/> to it, line feeds as CR LF.</summary>
    /// <exception cref="IOException">the file could not be created or written.</exception>
    /// <exception cref="ArgumentOutOfRangeException">buf is not 1, 2 or 3.</exception>
    public void WriteBuf(int buf, string fileName) {
        CheckFiles("WriteBuf", NWriteBuf(buf, Name(fileName, "fileName")), Buf(buf), new[] { fileName }, false);
    }

    /// <summary>The probe TestBuf(&amp;value): returns what value held and leaves 100 in it.</summary>
    public int TestBuf(ref int value) { return NTestBuf(ref value); }
}

/// <summary>The process's three buffers, shared by every Library object and every other user of the
/// library in the process. Each call takes the library's process-wide lock; a sequence of calls needs the
/// host's own lock. Use an <see cref="Engine"/> for buffers of your own.</summary>
public class Library : Buffers {
    internal override int NInitBuf(int buf) { return NativeMethods.InitBuf(buf); }
    internal override int NAddLine(int buf, byte[] text) { return NativeMethods.AddLine(buf, text); }
    internal override int NAddLines(int buf, byte[] run) { return NativeMethods.AddLines(buf, run); }
    internal override int NEdCmd(int buf, byte[] line) { return NativeMethods.EdCmd(buf, line); }
    internal override int NEdBuf(int s, int t) { return NativeMethods.EdBuf(s, t); }
    internal override int NGetLine(int buf, int line, int maxLen, byte[] dest, out int length) {
        return NativeMethods.GetLine(buf, line, maxLen, dest, out length);
    }
    internal override int NGetLines(int buf, int first, int count, byte[] block, out int delivered) {
        return NativeMethods.GetLines(buf, first, count, block, out delivered);
    }
    internal override int NGetBufStats(int buf, out int count, out int longest, out int total) {
        return NativeMethods.GetBufStats(buf, out count, out longest, out total);
    }
    internal override int NCrc(int buf, int width, out int sum) { return NativeMethods.Crc(buf, width, out sum); }
    internal override int NCrcFile(int type, byte[] list, int width, out int sum) {
        return NativeMethods.CrcFile(type, list, width, out sum);
    }
    internal override int NLoadFiles(int buf, int type, byte[] list, byte[] status) {
        return NativeMethods.LoadFiles(buf, type, list, status);
    }
    internal override int NWriteFiles(int buf, int type, byte[] list) { return NativeMethods.WriteFiles(buf, type, list); }
    internal override int NWriteBuf(int buf, byte[] name) { return NativeMethods.WriteBuf(buf, name); }
    internal override int NReadBuf(int buf, byte[] name) { return NativeMethods.ReadBuf(buf, name); }
    internal override int NDiff(int o, int n, int s) { return NativeMethods.Diff(o, n, s); }
    internal override int NDiffWhole(int o, int n, int s) { return NativeMethods.DiffWhole(o, n, s); }
    internal override int NCheckType(byte[] list, out byte type) { return NativeMethods.CheckType(list, out type); }
    internal override int NTestBuf(ref int value) { return NativeMethods.TestBuf(ref value); }
}

/// <summary>Three buffers of its own: a library context, freed by Dispose (or, failing that, by the
/// finalizer of its handle). Different engines may be used from different threads at once with no lock;
/// one engine is used by one thread at a time. A disposed engine throws ObjectDisposedException.</summary>
public sealed class Engine : Buffers, IDisposable {
    readonly ContextHandle context;

    /// <summary>A new context with three empty buffers.</summary>
    /// <exception cref="OutOfMemoryException">memory ran out for the context.</exception>
    public Engine() {
        context = NativeMethods.VekOpen();
        if (context.IsInvalid)
            throw new OutOfMemoryException("VekOpen: memory ran out for a new context");
    }

    /// <summary>Frees the context and its buffers; disposing twice does nothing.</summary>
    public void Dispose() { context.Dispose(); }

    ContextHandle C {
        get {
            if (context.IsClosed)
                throw new ObjectDisposedException("Engine");
            return context;
        }
    }

    internal override int NInitBuf(int buf) { return NativeMethods.VekInitBuf(C, buf); }
    internal override int NAddLine(int buf, byte[] text) { return NativeMethods.VekAddLine(C, buf, text); }
    internal override int NAddLines(int buf, byte[] run) { return NativeMethods.VekAddLines(C, buf, run); }
    internal override int NEdCmd(int buf, byte[] line) { return NativeMethods.VekEdCmd(C, buf, line); }
    internal override int NEdBuf(int s, int t) { return NativeMethods.VekEdBuf(C, s, t); }
    internal override int NGetLine(int buf, int line, int maxLen, byte[] dest, out int length) {
        return NativeMethods.VekGetLine(C, buf, line, maxLen, dest, out length);
    }
    internal override int NGetLines(int buf, int first, int count, byte[] block, out int delivered) {
        return NativeMethods.VekGetLines(C, buf, first, count, block, out delivered);
    }
    internal override int NGetBufStats(int buf, out int count, out int longest, out int total) {
        return NativeMethods.VekGetBufStats(C, buf, out count, out longest, out total);
    }
    internal override int NCrc(int buf, int width, out int sum) { return NativeMethods.VekCrc(C, buf, width, out sum); }
    internal override int NCrcFile(int type, byte[] list, int width, out int sum) {
        return NativeMethods.VekCrcFile(C, type, list, width, out sum);
    }
    internal override int NLoadFiles(int buf, int type, byte[] list, byte[] status) {
        return NativeMethods.VekLoadFiles(C, buf, type, list, status);
    }
    internal override int NWriteFiles(int buf, int type, byte[] list) {
        return NativeMethods.VekWriteFiles(C, buf, type, list);
    }
    internal override int NWriteBuf(int buf, byte[] name) { return NativeMethods.VekWriteBuf(C, buf, name); }
    internal override int NReadBuf(int buf, byte[] name) { return NativeMethods.VekReadBuf(C, buf, name); }
    internal override int NDiff(int o, int n, int s) { return NativeMethods.VekDiff(C, o, n, s); }
    internal override int NDiffWhole(int o, int n, int s) { return NativeMethods.VekDiffWhole(C, o, n, s); }
    internal override int NCheckType(byte[] list, out byte type) { return NativeMethods.VekCheckType(C, list, out type); }
    internal override int NTestBuf(ref int value) { return NativeMethods.VekTestBuf(C, ref value); }
}

}  // namespace VekWin32
