{ The VekWin32 line-buffer engine for Delphi and Free Pascal: the eighteen
  exports of vekwin32.h under their own names, with the C calling
  convention. The library is VekWin32.dll on Windows (of the program's
  bitness) and libvekwin32.so elsewhere (linked as -lvekwin32).

  Every function returns a result code (RC_OK on success). Text arguments
  are NUL-terminated byte strings (PAnsiChar); file lists are written to by
  the library, which cuts them at their commas: pass a fresh copy each time.
  Outputs need storage of the size vekwin32.h gives. The three buffers
  belong to the whole process and no call takes a lock: make one call at a
  time. }
unit vekwin32;

{$IFDEF FPC}
  {$MODE DELPHI}
{$ENDIF}

interface

const
{$IFDEF MSWINDOWS}
  VekWin32Library = 'VekWin32.dll';
{$ELSE}
  VekWin32Library = 'vekwin32';
{$ENDIF}

  RC_OK = 0;
  RC_WIDTH_NOT_COMPUTED = 1;
  RC_FAILED = 100;
  RC_BUFFER_FULL = 101;
  RC_BAD_LINE = 102;
  RC_BAD_BUFFER = 103;
  RC_READ_FAILED = 104;
  RC_WRITE_FAILED = 105;
  RC_DIFF_FAILED = 107;
  RC_TOO_MANY_FILES = 108;
  RC_BAD_WIDTH = 109;
  RC_STATS_FAILED = 110;
  RC_BAD_TYPE = 111;
  RC_NO_ROOM = 112;

  MAX_LINES = 524288;
  MAX_LIST_FILES = 10;
  LINES_BLOCK_SIZE = 65536;
  LINES_BLOCK_MAX_LINES = 100;
  LINES_BLOCK_TEXT_START = 401;

type
  { The GetLines block: LINES_BLOCK_MAX_LINES offsets, then the texts. }
  TVekLinesBlock = packed record
    case Integer of
      0: (Offsets: array[0..LINES_BLOCK_MAX_LINES - 1] of LongInt);
      1: (Bytes: array[0..LINES_BLOCK_SIZE - 1] of AnsiChar);
  end;
  PVekLinesBlock = ^TVekLinesBlock;

function InitBuf(Buf: LongInt): LongInt; cdecl; external VekWin32Library;
function AddLine(Buf: LongInt; Text: PAnsiChar): LongInt; cdecl; external VekWin32Library;
function EdCmd(Buf: LongInt; Line: PAnsiChar): LongInt; cdecl; external VekWin32Library;
function EdBuf(ScriptBuf, TargetBuf: LongInt): LongInt; cdecl; external VekWin32Library;
function GetLine(Buf, Line, MaxLen: LongInt; Dest: PAnsiChar; var Length: LongInt): LongInt;
  cdecl; external VekWin32Library;
function GetBufStats(Buf: LongInt; var Count, Longest, Total: LongInt): LongInt;
  cdecl; external VekWin32Library;
function Crc(Buf, Width: LongInt; var Sum: LongInt): LongInt; cdecl; external VekWin32Library;
function CrcFile(FileType: LongInt; FileList: PAnsiChar; Width: LongInt; var Sum: LongInt): LongInt;
  cdecl; external VekWin32Library;
function LoadFiles(Buf, FileType: LongInt; FileList, Status: PAnsiChar): LongInt;
  cdecl; external VekWin32Library;
function WriteFiles(Buf, FileType: LongInt; FileList: PAnsiChar): LongInt;
  cdecl; external VekWin32Library;
function WriteBuf(Buf: LongInt; FileName: PAnsiChar): LongInt; cdecl; external VekWin32Library;
function ReadBuf(Buf: LongInt; FileName: PAnsiChar): LongInt; cdecl; external VekWin32Library;
function Diff(OldBuf, NewBuf, ScriptBuf: LongInt): LongInt; cdecl; external VekWin32Library;
function CheckType(FileList: PAnsiChar; TypeOut: PAnsiChar): LongInt;
  cdecl; external VekWin32Library;
function GetLines(Buf, First, Count: LongInt; Block: PVekLinesBlock; var Delivered: LongInt): LongInt;
  cdecl; external VekWin32Library;
function AddLines(Buf: LongInt; Run: PAnsiChar): LongInt; cdecl; external VekWin32Library;
function TestBuf(var Value: LongInt): LongInt; cdecl; external VekWin32Library;
function DiffWhole(OldBuf, NewBuf, ScriptBuf: LongInt): LongInt; cdecl; external VekWin32Library;

{ The RC_* name of a result code. }
function VekResultName(Code: LongInt): string;

implementation

function VekResultName(Code: LongInt): string;
begin
  case Code of
    RC_OK: Result := 'RC_OK';
    RC_WIDTH_NOT_COMPUTED: Result := 'RC_WIDTH_NOT_COMPUTED';
    RC_FAILED: Result := 'RC_FAILED';
    RC_BUFFER_FULL: Result := 'RC_BUFFER_FULL';
    RC_BAD_LINE: Result := 'RC_BAD_LINE';
    RC_BAD_BUFFER: Result := 'RC_BAD_BUFFER';
    RC_READ_FAILED: Result := 'RC_READ_FAILED';
    RC_WRITE_FAILED: Result := 'RC_WRITE_FAILED';
    RC_DIFF_FAILED: Result := 'RC_DIFF_FAILED';
    RC_TOO_MANY_FILES: Result := 'RC_TOO_MANY_FILES';
    RC_BAD_WIDTH: Result := 'RC_BAD_WIDTH';
    RC_STATS_FAILED: Result := 'RC_STATS_FAILED';
    RC_BAD_TYPE: Result := 'RC_BAD_TYPE';
    RC_NO_ROOM: Result := 'RC_NO_ROOM';
  else
    Result := 'unknown result';
  end;
end;

end.
