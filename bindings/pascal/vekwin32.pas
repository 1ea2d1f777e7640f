{ The VekWin32 line-buffer engine for Delphi and Free Pascal.

  Safe classes, which raise EVekError (code, its VEK_RC_* name, and the
  buffer or file concerned) and take Pascal strings and arrays of strings:
    TVekEngine   three buffers of its own (a library context), freed with
                 the object: use one per thread, no lock needed;
    TVekLibrary  the process's three buffers, which everyone in the process
                 shares (each call takes the library's lock; a sequence of
                 calls needs the host's own).
  Every file list is copied before the library sees it, so literals are
  fine and a list can be used twice.

  Loading. By default the library is loaded at run time: call
  VekLoad(Path) first (Path '' loads VekWin32.dll on Windows, of the
  program's bitness, or libvekwin32.so.1 elsewhere). It returns False with
  the reason in VekLoadError instead of the process ending before the host
  can act. The raw functions below are nil until it succeeds; the safe
  classes call VekLoad('') themselves when nothing is loaded yet. Define VEKWIN32_STATIC to link the library instead (-lvekwin32 /
  VekWin32.lib); VekLoad then only returns True.

  The raw exports and their context twins keep their names from vekwin32.h
  (InitBuf, ..., VekOpen, VekInitBuf, ...): cdecl, PAnsiChar texts, result
  codes returned. The exports cut file lists in place: pass a fresh copy. }
unit vekwin32;

{$IFDEF FPC}
  {$MODE DELPHI}
{$ENDIF}

interface

uses
  SysUtils;

const
{$IFDEF MSWINDOWS}
  VekWin32Library = 'VekWin32.dll';
{$ELSE}
  VekWin32Library = 'libvekwin32.so.1';
{$ENDIF}

  VEK_RC_OK = 0;
  VEK_RC_WIDTH_NOT_COMPUTED = 1;
  VEK_RC_FAILED = 100;
  VEK_RC_BUFFER_FULL = 101;
  VEK_RC_BAD_LINE = 102;
  VEK_RC_BAD_BUFFER = 103;
  VEK_RC_READ_FAILED = 104;
  VEK_RC_WRITE_FAILED = 105;
  VEK_RC_DIFF_FAILED = 107;
  VEK_RC_TOO_MANY_FILES = 108;
  VEK_RC_BAD_WIDTH = 109;
  VEK_RC_STATS_FAILED = 110;
  VEK_RC_BAD_TYPE = 111;
  VEK_RC_NO_ROOM = 112;
  VEK_RC_BAD_CONTEXT = 113;

  VEK_MAX_LINES = 524288;
  VEK_MAX_LIST_FILES = 10;
  VEK_BINARY_LIST_FILE = 10;
  VEK_LINES_BLOCK_SIZE = 65536;
  VEK_LINES_BLOCK_MAX_LINES = 100;
  VEK_LINES_BLOCK_TEXT_START = 401;

  { The header's short names. }
  RC_OK = VEK_RC_OK;
  RC_WIDTH_NOT_COMPUTED = VEK_RC_WIDTH_NOT_COMPUTED;
  RC_FAILED = VEK_RC_FAILED;
  RC_BUFFER_FULL = VEK_RC_BUFFER_FULL;
  RC_BAD_LINE = VEK_RC_BAD_LINE;
  RC_BAD_BUFFER = VEK_RC_BAD_BUFFER;
  RC_READ_FAILED = VEK_RC_READ_FAILED;
  RC_WRITE_FAILED = VEK_RC_WRITE_FAILED;
  RC_DIFF_FAILED = VEK_RC_DIFF_FAILED;
  RC_TOO_MANY_FILES = VEK_RC_TOO_MANY_FILES;
  RC_BAD_WIDTH = VEK_RC_BAD_WIDTH;
  RC_STATS_FAILED = VEK_RC_STATS_FAILED;
  RC_BAD_TYPE = VEK_RC_BAD_TYPE;
  RC_NO_ROOM = VEK_RC_NO_ROOM;
  RC_BAD_CONTEXT = VEK_RC_BAD_CONTEXT;
  MAX_LINES = VEK_MAX_LINES;
  MAX_LIST_FILES = VEK_MAX_LIST_FILES;
  LINES_BLOCK_SIZE = VEK_LINES_BLOCK_SIZE;
  LINES_BLOCK_MAX_LINES = VEK_LINES_BLOCK_MAX_LINES;
  LINES_BLOCK_TEXT_START = VEK_LINES_BLOCK_TEXT_START;

  { The file types of a list: text (the tenth file binary), or all binary. }
  VekText = 'T';
  VekBinary = 'B';

type
  { The GetLines block: LINES_BLOCK_MAX_LINES offsets, then the texts. }
  TVekLinesBlock = packed record
    case Integer of
      0: (Offsets: array[0..VEK_LINES_BLOCK_MAX_LINES - 1] of LongInt);
      1: (Bytes: array[0..VEK_LINES_BLOCK_SIZE - 1] of AnsiChar);
  end;
  PVekLinesBlock = ^TVekLinesBlock;
  { An opaque context (VekOpen). }
  PVekContext = Pointer;

{$IFDEF VEKWIN32_STATIC}
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

function VekOpen: PVekContext; cdecl; external VekWin32Library;
procedure VekClose(Ctx: PVekContext); cdecl; external VekWin32Library;
function VekInitBuf(Ctx: PVekContext; Buf: LongInt): LongInt; cdecl; external VekWin32Library;
function VekAddLine(Ctx: PVekContext; Buf: LongInt; Text: PAnsiChar): LongInt;
  cdecl; external VekWin32Library;
function VekEdCmd(Ctx: PVekContext; Buf: LongInt; Line: PAnsiChar): LongInt;
  cdecl; external VekWin32Library;
function VekEdBuf(Ctx: PVekContext; ScriptBuf, TargetBuf: LongInt): LongInt;
  cdecl; external VekWin32Library;
function VekGetLine(Ctx: PVekContext; Buf, Line, MaxLen: LongInt; Dest: PAnsiChar;
  var Length: LongInt): LongInt; cdecl; external VekWin32Library;
function VekGetBufStats(Ctx: PVekContext; Buf: LongInt; var Count, Longest, Total: LongInt): LongInt;
  cdecl; external VekWin32Library;
function VekCrc(Ctx: PVekContext; Buf, Width: LongInt; var Sum: LongInt): LongInt;
  cdecl; external VekWin32Library;
function VekCrcFile(Ctx: PVekContext; FileType: LongInt; FileList: PAnsiChar; Width: LongInt;
  var Sum: LongInt): LongInt; cdecl; external VekWin32Library;
function VekLoadFiles(Ctx: PVekContext; Buf, FileType: LongInt; FileList, Status: PAnsiChar): LongInt;
  cdecl; external VekWin32Library;
function VekWriteFiles(Ctx: PVekContext; Buf, FileType: LongInt; FileList: PAnsiChar): LongInt;
  cdecl; external VekWin32Library;
function VekWriteBuf(Ctx: PVekContext; Buf: LongInt; FileName: PAnsiChar): LongInt;
  cdecl; external VekWin32Library;
function VekReadBuf(Ctx: PVekContext; Buf: LongInt; FileName: PAnsiChar): LongInt;
  cdecl; external VekWin32Library;
function VekDiff(Ctx: PVekContext; OldBuf, NewBuf, ScriptBuf: LongInt): LongInt;
  cdecl; external VekWin32Library;
function VekCheckType(Ctx: PVekContext; FileList: PAnsiChar; TypeOut: PAnsiChar): LongInt;
  cdecl; external VekWin32Library;
function VekGetLines(Ctx: PVekContext; Buf, First, Count: LongInt; Block: PVekLinesBlock;
  var Delivered: LongInt): LongInt; cdecl; external VekWin32Library;
function VekAddLines(Ctx: PVekContext; Buf: LongInt; Run: PAnsiChar): LongInt;
  cdecl; external VekWin32Library;
function VekTestBuf(Ctx: PVekContext; var Value: LongInt): LongInt; cdecl; external VekWin32Library;
function VekDiffWhole(Ctx: PVekContext; OldBuf, NewBuf, ScriptBuf: LongInt): LongInt;
  cdecl; external VekWin32Library;
{$ELSE}
{ Set by VekLoad; nil until it succeeds. }
var
  InitBuf: function(Buf: LongInt): LongInt; cdecl;
  AddLine: function(Buf: LongInt; Text: PAnsiChar): LongInt; cdecl;
  EdCmd: function(Buf: LongInt; Line: PAnsiChar): LongInt; cdecl;
  EdBuf: function(ScriptBuf, TargetBuf: LongInt): LongInt; cdecl;
  GetLine: function(Buf, Line, MaxLen: LongInt; Dest: PAnsiChar; var Length: LongInt): LongInt; cdecl;
  GetBufStats: function(Buf: LongInt; var Count, Longest, Total: LongInt): LongInt; cdecl;
  Crc: function(Buf, Width: LongInt; var Sum: LongInt): LongInt; cdecl;
  CrcFile: function(FileType: LongInt; FileList: PAnsiChar; Width: LongInt; var Sum: LongInt): LongInt; cdecl;
  LoadFiles: function(Buf, FileType: LongInt; FileList, Status: PAnsiChar): LongInt; cdecl;
  WriteFiles: function(Buf, FileType: LongInt; FileList: PAnsiChar): LongInt; cdecl;
  WriteBuf: function(Buf: LongInt; FileName: PAnsiChar): LongInt; cdecl;
  ReadBuf: function(Buf: LongInt; FileName: PAnsiChar): LongInt; cdecl;
  Diff: function(OldBuf, NewBuf, ScriptBuf: LongInt): LongInt; cdecl;
  CheckType: function(FileList: PAnsiChar; TypeOut: PAnsiChar): LongInt; cdecl;
  GetLines: function(Buf, First, Count: LongInt; Block: PVekLinesBlock; var Delivered: LongInt): LongInt; cdecl;
  AddLines: function(Buf: LongInt; Run: PAnsiChar): LongInt; cdecl;
  TestBuf: function(var Value: LongInt): LongInt; cdecl;
  DiffWhole: function(OldBuf, NewBuf, ScriptBuf: LongInt): LongInt; cdecl;

  VekOpen: function: PVekContext; cdecl;
  VekClose: procedure(Ctx: PVekContext); cdecl;
  VekInitBuf: function(Ctx: PVekContext; Buf: LongInt): LongInt; cdecl;
  VekAddLine: function(Ctx: PVekContext; Buf: LongInt; Text: PAnsiChar): LongInt; cdecl;
  VekEdCmd: function(Ctx: PVekContext; Buf: LongInt; Line: PAnsiChar): LongInt; cdecl;
  VekEdBuf: function(Ctx: PVekContext; ScriptBuf, TargetBuf: LongInt): LongInt; cdecl;
  VekGetLine: function(Ctx: PVekContext; Buf, Line, MaxLen: LongInt; Dest: PAnsiChar;
    var Length: LongInt): LongInt; cdecl;
  VekGetBufStats: function(Ctx: PVekContext; Buf: LongInt; var Count, Longest, Total: LongInt): LongInt; cdecl;
  VekCrc: function(Ctx: PVekContext; Buf, Width: LongInt; var Sum: LongInt): LongInt; cdecl;
  VekCrcFile: function(Ctx: PVekContext; FileType: LongInt; FileList: PAnsiChar; Width: LongInt;
    var Sum: LongInt): LongInt; cdecl;
  VekLoadFiles: function(Ctx: PVekContext; Buf, FileType: LongInt; FileList, Status: PAnsiChar): LongInt; cdecl;
  VekWriteFiles: function(Ctx: PVekContext; Buf, FileType: LongInt; FileList: PAnsiChar): LongInt; cdecl;
  VekWriteBuf: function(Ctx: PVekContext; Buf: LongInt; FileName: PAnsiChar): LongInt; cdecl;
  VekReadBuf: function(Ctx: PVekContext; Buf: LongInt; FileName: PAnsiChar): LongInt; cdecl;
  VekDiff: function(Ctx: PVekContext; OldBuf, NewBuf, ScriptBuf: LongInt): LongInt; cdecl;
  VekCheckType: function(Ctx: PVekContext; FileList: PAnsiChar; TypeOut: PAnsiChar): LongInt; cdecl;
  VekGetLines: function(Ctx: PVekContext; Buf, First, Count: LongInt; Block: PVekLinesBlock;
    var Delivered: LongInt): LongInt; cdecl;
  VekAddLines: function(Ctx: PVekContext; Buf: LongInt; Run: PAnsiChar): LongInt; cdecl;
  VekTestBuf: function(Ctx: PVekContext; var Value: LongInt): LongInt; cdecl;
  VekDiffWhole: function(Ctx: PVekContext; OldBuf, NewBuf, ScriptBuf: LongInt): LongInt; cdecl;
{$ENDIF}

type
  { A call answered with a failure code, or refused before it: Code, its
    VEK_RC_* Name, the function, and FileName when one file was concerned;
    the message names the buffer or file. }
  EVekError = class(Exception)
  private
    FCode: LongInt;
    FFunc: string;
    FFileName: string;
  public
    constructor CreateCode(const Func: string; Code: LongInt; const Where: string;
      const FileName: string = '');
    property Code: LongInt read FCode;
    property Func: string read FFunc;
    property FileName: string read FFileName;
    function Name: string;
  end;

  TVekBufStats = record
    Count, Longest, Total: LongInt;
  end;

  { The safe calls on three buffers; TVekEngine and TVekLibrary choose whose. }
  TVekBuffers = class
  protected
    FBlock: TVekLinesBlock;
    function NInitBuf(Buf: LongInt): LongInt; virtual; abstract;
    function NAddLine(Buf: LongInt; Text: PAnsiChar): LongInt; virtual; abstract;
    function NAddLines(Buf: LongInt; Run: PAnsiChar): LongInt; virtual; abstract;
    function NEdCmd(Buf: LongInt; Line: PAnsiChar): LongInt; virtual; abstract;
    function NEdBuf(ScriptBuf, TargetBuf: LongInt): LongInt; virtual; abstract;
    function NGetLine(Buf, Line, MaxLen: LongInt; Dest: PAnsiChar; var Len: LongInt): LongInt; virtual; abstract;
    function NGetLines(Buf, First, Count: LongInt; var Delivered: LongInt): LongInt; virtual; abstract;
    function NGetBufStats(Buf: LongInt; var Count, Longest, Total: LongInt): LongInt; virtual; abstract;
    function NCrc(Buf: LongInt; var Sum: LongInt): LongInt; virtual; abstract;
    function NCrcFile(FileType: LongInt; List: PAnsiChar; var Sum: LongInt): LongInt; virtual; abstract;
    function NLoadFiles(Buf, FileType: LongInt; List, Status: PAnsiChar): LongInt; virtual; abstract;
    function NWriteFiles(Buf, FileType: LongInt; List: PAnsiChar): LongInt; virtual; abstract;
    function NReadBuf(Buf: LongInt; Name: PAnsiChar): LongInt; virtual; abstract;
    function NWriteBuf(Buf: LongInt; Name: PAnsiChar): LongInt; virtual; abstract;
    function NDiff(OldBuf, NewBuf, ScriptBuf: LongInt; Whole: Boolean): LongInt; virtual; abstract;
    function NCheckType(List: PAnsiChar; TypeOut: PAnsiChar): LongInt; virtual; abstract;
  public
    { Empties buffer Buf (1..3). }
    procedure InitBuf(Buf: LongInt);
    { Appends Text plus a line feed as one line; a #0 or line feed in Text is refused. }
    procedure AddLine(Buf: LongInt; const Text: AnsiString);
    { Appends each line (none empty), in packed runs. }
    procedure AddLines(Buf: LongInt; const Lines: array of AnsiString);
    { Line Line (from 1) without its last stored byte. }
    function GetLine(Buf, Line: LongInt): AnsiString;
    { Count lines from line First on. }
    function GetLines(Buf, First, Count: LongInt): TArray<AnsiString>;
    function GetBufStats(Buf: LongInt): TVekBufStats;
    { The 16-bit additive checksum. }
    function Crc(Buf: LongInt): LongInt;
    procedure EdCmd(Buf: LongInt; const Line: AnsiString);
    procedure EdBuf(ScriptBuf, TargetBuf: LongInt);
    procedure Diff(OldBuf, NewBuf, ScriptBuf: LongInt);
    procedure DiffWhole(OldBuf, NewBuf, ScriptBuf: LongInt);
    { FileType is VekText or VekBinary; the list is copied first. Returns the
      status text, e.g. 'L,L,E'. }
    function LoadFiles(Buf: LongInt; FileType: AnsiChar; const Files: array of string): string;
    procedure WriteFiles(Buf: LongInt; FileType: AnsiChar; const Files: array of string);
    function CrcFile(FileType: AnsiChar; const Files: array of string): LongInt;
    { VekText or VekBinary; a one-character name is checked too. }
    function CheckType(const Files: array of string): AnsiChar;
    procedure ReadBuf(Buf: LongInt; const FileName: string);
    procedure WriteBuf(Buf: LongInt; const FileName: string);
  end;

  { The process's three buffers. }
  TVekLibrary = class(TVekBuffers)
  protected
    function NInitBuf(Buf: LongInt): LongInt; override;
    function NAddLine(Buf: LongInt; Text: PAnsiChar): LongInt; override;
    function NAddLines(Buf: LongInt; Run: PAnsiChar): LongInt; override;
    function NEdCmd(Buf: LongInt; Line: PAnsiChar): LongInt; override;
    function NEdBuf(ScriptBuf, TargetBuf: LongInt): LongInt; override;
    function NGetLine(Buf, Line, MaxLen: LongInt; Dest: PAnsiChar; var Len: LongInt): LongInt; override;
    function NGetLines(Buf, First, Count: LongInt; var Delivered: LongInt): LongInt; override;
    function NGetBufStats(Buf: LongInt; var Count, Longest, Total: LongInt): LongInt; override;
    function NCrc(Buf: LongInt; var Sum: LongInt): LongInt; override;
    function NCrcFile(FileType: LongInt; List: PAnsiChar; var Sum: LongInt): LongInt; override;
    function NLoadFiles(Buf, FileType: LongInt; List, Status: PAnsiChar): LongInt; override;
    function NWriteFiles(Buf, FileType: LongInt; List: PAnsiChar): LongInt; override;
    function NReadBuf(Buf: LongInt; Name: PAnsiChar): LongInt; override;
    function NWriteBuf(Buf: LongInt; Name: PAnsiChar): LongInt; override;
    function NDiff(OldBuf, NewBuf, ScriptBuf: LongInt; Whole: Boolean): LongInt; override;
    function NCheckType(List: PAnsiChar; TypeOut: PAnsiChar): LongInt; override;
  public
    constructor Create;
  end;

  { Three buffers of its own, freed with the object. One thread at a time. }
  TVekEngine = class(TVekBuffers)
  private
    FContext: PVekContext;
  protected
    function NInitBuf(Buf: LongInt): LongInt; override;
    function NAddLine(Buf: LongInt; Text: PAnsiChar): LongInt; override;
    function NAddLines(Buf: LongInt; Run: PAnsiChar): LongInt; override;
    function NEdCmd(Buf: LongInt; Line: PAnsiChar): LongInt; override;
    function NEdBuf(ScriptBuf, TargetBuf: LongInt): LongInt; override;
    function NGetLine(Buf, Line, MaxLen: LongInt; Dest: PAnsiChar; var Len: LongInt): LongInt; override;
    function NGetLines(Buf, First, Count: LongInt; var Delivered: LongInt): LongInt; override;
    function NGetBufStats(Buf: LongInt; var Count, Longest, Total: LongInt): LongInt; override;
    function NCrc(Buf: LongInt; var Sum: LongInt): LongInt; override;
    function NCrcFile(FileType: LongInt; List: PAnsiChar; var Sum: LongInt): LongInt; override;
    function NLoadFiles(Buf, FileType: LongInt; List, Status: PAnsiChar): LongInt; override;
    function NWriteFiles(Buf, FileType: LongInt; List: PAnsiChar): LongInt; override;
    function NReadBuf(Buf: LongInt; Name: PAnsiChar): LongInt; override;
    function NWriteBuf(Buf: LongInt; Name: PAnsiChar): LongInt; override;
    function NDiff(OldBuf, NewBuf, ScriptBuf: LongInt; Whole: Boolean): LongInt; override;
    function NCheckType(List: PAnsiChar; TypeOut: PAnsiChar): LongInt; override;
  public
    constructor Create;
    destructor Destroy; override;
    property Context: PVekContext read FContext;
  end;

{ The VEK_RC_* name of a result code. }
function VekResultName(Code: LongInt): string;

{ Loads the library (Path '' : VekWin32Library by the system's search) and
  finds every function. False, with the reason in Reason and VekLoadError,
  when it cannot; the process goes on. True at once when already loaded. }
function VekLoad(const Path: string = ''): Boolean; overload;
function VekLoad(const Path: string; out Reason: string): Boolean; overload;
function VekLoadError: string;

implementation

{$IFNDEF VEKWIN32_STATIC}
uses
{$IFDEF FPC}
  dynlibs;
{$ELSE}
  Windows;
{$ENDIF}
{$ENDIF}

var
  LoadError: string = '';
{$IFNDEF VEKWIN32_STATIC}
  Loaded: Boolean = False;
{$ENDIF}

function VekResultName(Code: LongInt): string;
begin
  case Code of
    VEK_RC_OK: Result := 'VEK_RC_OK';
    VEK_RC_WIDTH_NOT_COMPUTED: Result := 'VEK_RC_WIDTH_NOT_COMPUTED';
    VEK_RC_FAILED: Result := 'VEK_RC_FAILED';
    VEK_RC_BUFFER_FULL: Result := 'VEK_RC_BUFFER_FULL';
    VEK_RC_BAD_LINE: Result := 'VEK_RC_BAD_LINE';
    VEK_RC_BAD_BUFFER: Result := 'VEK_RC_BAD_BUFFER';
    VEK_RC_READ_FAILED: Result := 'VEK_RC_READ_FAILED';
    VEK_RC_WRITE_FAILED: Result := 'VEK_RC_WRITE_FAILED';
    VEK_RC_DIFF_FAILED: Result := 'VEK_RC_DIFF_FAILED';
    VEK_RC_TOO_MANY_FILES: Result := 'VEK_RC_TOO_MANY_FILES';
    VEK_RC_BAD_WIDTH: Result := 'VEK_RC_BAD_WIDTH';
    VEK_RC_STATS_FAILED: Result := 'VEK_RC_STATS_FAILED';
    VEK_RC_BAD_TYPE: Result := 'VEK_RC_BAD_TYPE';
    VEK_RC_NO_ROOM: Result := 'VEK_RC_NO_ROOM';
    VEK_RC_BAD_CONTEXT: Result := 'VEK_RC_BAD_CONTEXT';
  else
    Result := 'unknown result';
  end;
end;

function VekLoadError: string;
begin
  Result := LoadError;
end;

function VekLoad(const Path: string = ''): Boolean;
var
  Reason: string;
begin
  Result := VekLoad(Path, Reason);
end;

{$IFDEF VEKWIN32_STATIC}
function VekLoad(const Path: string; out Reason: string): Boolean;
begin
  Reason := '';
  Result := True;
end;
{$ELSE}
function VekLoad(const Path: string; out Reason: string): Boolean;
var
  Name: string;
{$IFDEF FPC}
  Module: TLibHandle;
{$ELSE}
  Module: HMODULE;
{$ENDIF}
  Missing: string;

  procedure Find(var Entry; const Symbol: string; Required: Boolean = True);
  begin
{$IFDEF FPC}
    Pointer(Entry) := GetProcedureAddress(Module, AnsiString(Symbol));
{$ELSE}
    Pointer(Entry) := GetProcAddress(Module, PChar(Symbol));
{$ENDIF}
    if (Pointer(Entry) = nil) and Required then
      Missing := Missing + ' ' + Symbol;
  end;

begin
  Reason := '';
  if Loaded then
    Exit(True);
  Name := Path;
  if Name = '' then
    Name := VekWin32Library;
{$IFDEF FPC}
  Module := LoadLibrary(Name);
  if Module = NilHandle then
  begin
    Reason := 'the VekWin32 library could not be loaded from ' + Name + ': ' + GetLoadErrorStr;
{$ELSE}
  Module := LoadLibrary(PChar(Name));
  if Module = 0 then
  begin
    Reason := 'the VekWin32 library could not be loaded from ' + Name + ': ' + SysErrorMessage(GetLastError);
{$ENDIF}
    LoadError := Reason;
    Exit(False);
  end;
  Missing := '';
  Find(InitBuf, 'InitBuf'); Find(AddLine, 'AddLine'); Find(EdCmd, 'EdCmd'); Find(EdBuf, 'EdBuf');
  Find(GetLine, 'GetLine'); Find(GetBufStats, 'GetBufStats'); Find(Crc, 'Crc');
  Find(CrcFile, 'CrcFile'); Find(LoadFiles, 'LoadFiles'); Find(WriteFiles, 'WriteFiles');
  Find(WriteBuf, 'WriteBuf'); Find(ReadBuf, 'ReadBuf'); Find(Diff, 'Diff');
  Find(CheckType, 'CheckType'); Find(GetLines, 'GetLines'); Find(AddLines, 'AddLines');
  Find(TestBuf, 'TestBuf'); Find(DiffWhole, 'DiffWhole');
  Find(VekOpen, 'VekOpen', False); Find(VekClose, 'VekClose', False); Find(VekInitBuf, 'VekInitBuf', False);
  Find(VekAddLine, 'VekAddLine', False); Find(VekEdCmd, 'VekEdCmd', False); Find(VekEdBuf, 'VekEdBuf', False);
  Find(VekGetLine, 'VekGetLine', False); Find(VekGetBufStats, 'VekGetBufStats', False); Find(VekCrc, 'VekCrc', False);
  Find(VekCrcFile, 'VekCrcFile', False); Find(VekLoadFiles, 'VekLoadFiles', False);
  Find(VekWriteFiles, 'VekWriteFiles', False); Find(VekWriteBuf, 'VekWriteBuf', False);
  Find(VekReadBuf, 'VekReadBuf', False); Find(VekDiff, 'VekDiff', False); Find(VekCheckType, 'VekCheckType', False);
  Find(VekGetLines, 'VekGetLines', False); Find(VekAddLines, 'VekAddLines', False);
  Find(VekTestBuf, 'VekTestBuf', False); Find(VekDiffWhole, 'VekDiffWhole', False);
  if Missing <> '' then
  begin
    Reason := Name + ' lacks' + Missing + ' (an older VekWin32 library)';
    LoadError := Reason;
{$IFDEF FPC}
    UnloadLibrary(Module);
{$ELSE}
    FreeLibrary(Module);
{$ENDIF}
    Exit(False);
  end;
  Loaded := True;
  LoadError := '';
  Result := True;
end;
{$ENDIF}

{ The safe classes load the library by its usual name when the host has not
  loaded it; failing that, they raise with the reason. }
procedure NeedLibrary;
{$IFNDEF VEKWIN32_STATIC}
var
  Reason: string;
{$ENDIF}
begin
{$IFNDEF VEKWIN32_STATIC}
  if not VekLoad('', Reason) then
    raise EVekError.CreateCode('VekLoad', VEK_RC_FAILED, Reason);
{$ENDIF}
end;

{ ---- EVekError -------------------------------------------------------- }

constructor EVekError.CreateCode(const Func: string; Code: LongInt; const Where: string;
  const FileName: string);
var
  Text: string;
begin
  Text := Func + ' failed with ' + VekResultName(Code) + ' (' + IntToStr(Code) + ')';
  if Where <> '' then
    Text := Text + ': ' + Where;
  inherited Create(Text);
  FCode := Code;
  FFunc := Func;
  FFileName := FileName;
end;

function EVekError.Name: string;
begin
  Result := VekResultName(FCode);
end;

{ ---- Arguments -------------------------------------------------------- }

procedure Check(const Func: string; Code: LongInt; const Where: string);
begin
  if (Code <> VEK_RC_OK) and (Code <> VEK_RC_WIDTH_NOT_COMPUTED) then
    raise EVekError.CreateCode(Func, Code, Where);
end;

function BufName(Buf: LongInt): string;
begin
  Result := 'buffer ' + IntToStr(Buf);
end;

{ A text the library takes: no #0 (it would cut it) and, for a line, no
  line feed (it would stay inside one line). }
function Text(const Func: string; const S: AnsiString; NoLineFeed: Boolean): AnsiString;
begin
  if Pos(#0, S) > 0 then
    raise EVekError.CreateCode(Func, VEK_RC_FAILED, 'a text cannot hold a #0 byte');
  if NoLineFeed and (Pos(#10, S) > 0) then
    raise EVekError.CreateCode(Func, VEK_RC_FAILED, 'a line cannot hold a line feed');
  Result := S;
  UniqueString(Result);
end;

function FileType(const Func: string; Letter: AnsiChar): LongInt;
begin
  if (Letter <> VekText) and (Letter <> VekBinary) then
    raise EVekError.CreateCode(Func, VEK_RC_BAD_TYPE, 'the file type is ''T'' or ''B''');
  Result := Ord(Letter);
end;

{ A fresh comma-separated copy of Files, which the library may cut. The
  library ends a list at an empty name unless the list is full (its tenth
  name not empty, or its eleventh when the first is empty; never for
  CheckType): a list whose later names would go unhandled is refused. }
function FileList(const Func: string; const Files: array of string; EmptyEnds: Boolean): AnsiString;
var
  I, J, Tenth: Integer;
begin
  Result := '';
  for I := 0 to High(Files) do
  begin
    if (Pos(',', Files[I]) > 0) or (Pos(#0, Files[I]) > 0) then
      raise EVekError.CreateCode(Func, VEK_RC_FAILED, 'a file name in a list cannot hold a comma or #0: ' + Files[I]);
    if I > 0 then
      Result := Result + ',';
    Result := Result + AnsiString(Files[I]);
  end;
  if (Length(Files) > 0) and (Files[0] <> '') then
    Tenth := 10
  else
    Tenth := 11;
  if EmptyEnds or (Length(Files) < Tenth) or (Files[Tenth - 1] = '') then
    for I := 0 to High(Files) do
      if Files[I] = '' then
        for J := I + 1 to High(Files) do
          if Files[J] <> '' then
            raise EVekError.CreateCode(Func, VEK_RC_FAILED, 'an empty name at place ' + IntToStr(I + 1) +
              ' would end the file list before ' + Files[J]);
  UniqueString(Result);
end;

{ Raises for a failure code; a failed open, read or write names the file:
  the only one, or the first that cannot be opened for reading. }
procedure CheckFiles(const Func: string; Code: LongInt; const Where: string; const Files: array of string;
  TextOnly: Boolean);
var
  I, Given: Integer;
  Culprit, Detail: string;
begin
  if (Code <> VEK_RC_READ_FAILED) and (Code <> VEK_RC_WRITE_FAILED) then
  begin
    Check(Func, Code, Where);
    Exit;
  end;
  Culprit := '';
  Given := 0;
  for I := 0 to High(Files) do
    if Files[I] <> '' then
    begin
      Inc(Given);
      if Given = 1 then
        Culprit := Files[I];
    end;
  if (Given > 1) then
  begin
    Culprit := '';
    if Code = VEK_RC_READ_FAILED then
      for I := 0 to High(Files) do
        if (Culprit = '') and (Files[I] <> '') and not (TextOnly and (I = VEK_BINARY_LIST_FILE - 1)) and
          not FileExists(Files[I]) then
          Culprit := Files[I];
  end;
  Detail := Where;
  if Detail <> '' then
    Detail := Detail + ', ';
  if Culprit <> '' then
  begin
    Detail := Detail + 'file ' + Culprit;
    if not FileExists(Culprit) and not DirectoryExists(Culprit) then
      Detail := Detail + ' (no such file)';
  end
  else
    Detail := Detail + 'one of its files';
  raise EVekError.CreateCode(Func, Code, Detail, Culprit);
end;

{ ---- TVekBuffers ------------------------------------------------------ }

procedure TVekBuffers.InitBuf(Buf: LongInt);
begin
  Check('InitBuf', NInitBuf(Buf), BufName(Buf));
end;

procedure TVekBuffers.AddLine(Buf: LongInt; const Text: AnsiString);
var
  Line: AnsiString;
begin
  Line := vekwin32.Text('AddLine', Text, True);
  Check('AddLine', NAddLine(Buf, PAnsiChar(Line)), BufName(Buf));
end;

procedure TVekBuffers.AddLines(Buf: LongInt; const Lines: array of AnsiString);
var
  Run: AnsiString;
  I: Integer;
begin
  Run := '';
  for I := 0 to High(Lines) do
  begin
    if Lines[I] = '' then
      raise EVekError.CreateCode('AddLines', VEK_RC_FAILED, 'AddLines cannot carry an empty line; use AddLine');
    Run := Run + vekwin32.Text('AddLines', Lines[I], True) + #0;
    if (Length(Run) >= VEK_LINES_BLOCK_SIZE) or (I = High(Lines)) then
    begin
      Run := Run + #0;
      Check('AddLines', NAddLines(Buf, PAnsiChar(Run)), BufName(Buf));
      Run := '';
    end;
  end;
end;

function TVekBuffers.GetLine(Buf, Line: LongInt): AnsiString;
var
  Room, Len, Code: LongInt;
  Dest: AnsiString;
begin
  Room := 1024;
  repeat
    SetLength(Dest, Room + 1);
    Len := 0;
    Code := NGetLine(Buf, Line, Room, PAnsiChar(Dest), Len);
    if (Code = VEK_RC_NO_ROOM) and (Len > Room) then
      Room := Len
    else
      Break;
  until False;
  Check('GetLine', Code, 'line ' + IntToStr(Line) + ' of ' + BufName(Buf));
  Result := Copy(Dest, 1, Len);
end;

function TVekBuffers.GetLines(Buf, First, Count: LongInt): TArray<AnsiString>;
var
  Got, Want, Delivered, Code, J: LongInt;
begin
  Result := nil;
  if Count < 0 then
    raise EVekError.CreateCode('GetLines', VEK_RC_FAILED, 'a negative count of lines');
  SetLength(Result, Count);
  Got := 0;
  while Got < Count do
  begin
    Want := Count - Got;
    if Want > VEK_LINES_BLOCK_MAX_LINES then
      Want := VEK_LINES_BLOCK_MAX_LINES;
    Delivered := 0;
    Code := NGetLines(Buf, First + Got, Want, Delivered);
    for J := 0 to Delivered - 1 do
      Result[Got + J] := StrPas(PAnsiChar(@FBlock.Bytes[FBlock.Offsets[J]]));
    Check('GetLines', Code, 'lines ' + IntToStr(First) + ' to ' + IntToStr(First + Count - 1) + ' of ' + BufName(Buf));
    if Delivered = 0 then
    begin
      Result[Got] := GetLine(Buf, First + Got);  { too long for the block }
      Delivered := 1;
    end;
    Inc(Got, Delivered);
  end;
end;

function TVekBuffers.GetBufStats(Buf: LongInt): TVekBufStats;
begin
  Check('GetBufStats', NGetBufStats(Buf, Result.Count, Result.Longest, Result.Total), BufName(Buf));
end;

function TVekBuffers.Crc(Buf: LongInt): LongInt;
begin
  Result := 0;
  Check('Crc', NCrc(Buf, Result), BufName(Buf));
end;

procedure TVekBuffers.EdCmd(Buf: LongInt; const Line: AnsiString);
var
  S: AnsiString;
begin
  S := Text('EdCmd', Line, False);
  Check('EdCmd', NEdCmd(Buf, PAnsiChar(S)), BufName(Buf));
end;

procedure TVekBuffers.EdBuf(ScriptBuf, TargetBuf: LongInt);
begin
  Check('EdBuf', NEdBuf(ScriptBuf, TargetBuf), 'script ' + BufName(ScriptBuf) + ', target ' + BufName(TargetBuf));
end;

procedure TVekBuffers.Diff(OldBuf, NewBuf, ScriptBuf: LongInt);
begin
  Check('Diff', NDiff(OldBuf, NewBuf, ScriptBuf, False), 'old ' + BufName(OldBuf) + ', new ' +
    BufName(NewBuf) + ', script ' + BufName(ScriptBuf));
end;

procedure TVekBuffers.DiffWhole(OldBuf, NewBuf, ScriptBuf: LongInt);
begin
  Check('DiffWhole', NDiff(OldBuf, NewBuf, ScriptBuf, True), 'old ' + BufName(OldBuf) + ', new ' +
    BufName(NewBuf) + ', script ' + BufName(ScriptBuf));
end;

function TVekBuffers.LoadFiles(Buf: LongInt; FileType: AnsiChar; const Files: array of string): string;
var
  List: AnsiString;
  Letter: LongInt;
  Status: array[0..20] of AnsiChar;
begin
  Letter := vekwin32.FileType('LoadFiles', FileType);
  List := FileList('LoadFiles', Files, False);
  FillChar(Status, SizeOf(Status), 0);
  CheckFiles('LoadFiles', NLoadFiles(Buf, Letter, PAnsiChar(List), @Status[0]), BufName(Buf), Files,
    FileType = VekText);
  Result := string(StrPas(PAnsiChar(@Status[0])));
end;

procedure TVekBuffers.WriteFiles(Buf: LongInt; FileType: AnsiChar; const Files: array of string);
var
  List: AnsiString;
  Letter: LongInt;
begin
  Letter := vekwin32.FileType('WriteFiles', FileType);
  List := FileList('WriteFiles', Files, False);
  CheckFiles('WriteFiles', NWriteFiles(Buf, Letter, PAnsiChar(List)), BufName(Buf), Files, False);
end;

function TVekBuffers.CrcFile(FileType: AnsiChar; const Files: array of string): LongInt;
var
  List: AnsiString;
  Letter: LongInt;
begin
  Letter := vekwin32.FileType('CrcFile', FileType);
  List := FileList('CrcFile', Files, False);
  Result := 0;
  CheckFiles('CrcFile', NCrcFile(Letter, PAnsiChar(List), Result), '', Files, FileType = VekText);
end;

function TVekBuffers.CheckType(const Files: array of string): AnsiChar;
var
  Longer: array of string;
  List: AnsiString;
  I: Integer;
begin
  { The library skips a one-character name unopened: hand it a longer name
    of the same file. }
  SetLength(Longer, Length(Files));
  for I := 0 to High(Files) do
    if Length(Files[I]) = 1 then
      Longer[I] := '.' + PathDelim + Files[I]
    else
      Longer[I] := Files[I];
  List := FileList('CheckType', Longer, True);
  Result := VekText;
  CheckFiles('CheckType', NCheckType(PAnsiChar(List), @Result), '', Files, False);
end;

procedure TVekBuffers.ReadBuf(Buf: LongInt; const FileName: string);
var
  Name: AnsiString;
begin
  Name := Text('ReadBuf', AnsiString(FileName), False);
  CheckFiles('ReadBuf', NReadBuf(Buf, PAnsiChar(Name)), BufName(Buf), [FileName], False);
end;

procedure TVekBuffers.WriteBuf(Buf: LongInt; const FileName: string);
var
  Name: AnsiString;
begin
  Name := Text('WriteBuf', AnsiString(FileName), False);
  CheckFiles('WriteBuf', NWriteBuf(Buf, PAnsiChar(Name)), BufName(Buf), [FileName], False);
end;

{ ---- TVekLibrary ------------------------------------------------------ }

constructor TVekLibrary.Create;
begin
  NeedLibrary;
  inherited Create;
end;

function TVekLibrary.NInitBuf(Buf: LongInt): LongInt;
begin Result := vekwin32.InitBuf(Buf); end;
function TVekLibrary.NAddLine(Buf: LongInt; Text: PAnsiChar): LongInt;
begin Result := vekwin32.AddLine(Buf, Text); end;
function TVekLibrary.NAddLines(Buf: LongInt; Run: PAnsiChar): LongInt;
begin Result := vekwin32.AddLines(Buf, Run); end;
function TVekLibrary.NEdCmd(Buf: LongInt; Line: PAnsiChar): LongInt;
begin Result := vekwin32.EdCmd(Buf, Line); end;
function TVekLibrary.NEdBuf(ScriptBuf, TargetBuf: LongInt): LongInt;
begin Result := vekwin32.EdBuf(ScriptBuf, TargetBuf); end;
function TVekLibrary.NGetLine(Buf, Line, MaxLen: LongInt; Dest: PAnsiChar; var Len: LongInt): LongInt;
begin Result := vekwin32.GetLine(Buf, Line, MaxLen, Dest, Len); end;
function TVekLibrary.NGetLines(Buf, First, Count: LongInt; var Delivered: LongInt): LongInt;
begin Result := vekwin32.GetLines(Buf, First, Count, @FBlock, Delivered); end;
function TVekLibrary.NGetBufStats(Buf: LongInt; var Count, Longest, Total: LongInt): LongInt;
begin Result := vekwin32.GetBufStats(Buf, Count, Longest, Total); end;
function TVekLibrary.NCrc(Buf: LongInt; var Sum: LongInt): LongInt;
begin Result := vekwin32.Crc(Buf, 16, Sum); end;
function TVekLibrary.NCrcFile(FileType: LongInt; List: PAnsiChar; var Sum: LongInt): LongInt;
begin Result := vekwin32.CrcFile(FileType, List, 16, Sum); end;
function TVekLibrary.NLoadFiles(Buf, FileType: LongInt; List, Status: PAnsiChar): LongInt;
begin Result := vekwin32.LoadFiles(Buf, FileType, List, Status); end;
function TVekLibrary.NWriteFiles(Buf, FileType: LongInt; List: PAnsiChar): LongInt;
begin Result := vekwin32.WriteFiles(Buf, FileType, List); end;
function TVekLibrary.NReadBuf(Buf: LongInt; Name: PAnsiChar): LongInt;
begin Result := vekwin32.ReadBuf(Buf, Name); end;
function TVekLibrary.NWriteBuf(Buf: LongInt; Name: PAnsiChar): LongInt;
begin Result := vekwin32.WriteBuf(Buf, Name); end;
function TVekLibrary.NDiff(OldBuf, NewBuf, ScriptBuf: LongInt; Whole: Boolean): LongInt;
begin
  if Whole then
    Result := vekwin32.DiffWhole(OldBuf, NewBuf, ScriptBuf)
  else
    Result := vekwin32.Diff(OldBuf, NewBuf, ScriptBuf);
end;
function TVekLibrary.NCheckType(List: PAnsiChar; TypeOut: PAnsiChar): LongInt;
begin Result := vekwin32.CheckType(List, TypeOut); end;

{ ---- TVekEngine ------------------------------------------------------- }

constructor TVekEngine.Create;
begin
  NeedLibrary;
  inherited Create;
{$IFNDEF VEKWIN32_STATIC}
  if not Assigned(VekOpen) then
    raise EVekError.CreateCode('VekOpen', VEK_RC_FAILED, 'this VekWin32 library has no contexts (too old)');
{$ENDIF}
  FContext := VekOpen;
  if FContext = nil then
    raise EOutOfMemory.Create('VekOpen: memory ran out for a new context');
end;

destructor TVekEngine.Destroy;
begin
  if FContext <> nil then
    VekClose(FContext);
  FContext := nil;
  inherited Destroy;
end;

function TVekEngine.NInitBuf(Buf: LongInt): LongInt;
begin Result := VekInitBuf(FContext, Buf); end;
function TVekEngine.NAddLine(Buf: LongInt; Text: PAnsiChar): LongInt;
begin Result := VekAddLine(FContext, Buf, Text); end;
function TVekEngine.NAddLines(Buf: LongInt; Run: PAnsiChar): LongInt;
begin Result := VekAddLines(FContext, Buf, Run); end;
function TVekEngine.NEdCmd(Buf: LongInt; Line: PAnsiChar): LongInt;
begin Result := VekEdCmd(FContext, Buf, Line); end;
function TVekEngine.NEdBuf(ScriptBuf, TargetBuf: LongInt): LongInt;
begin Result := VekEdBuf(FContext, ScriptBuf, TargetBuf); end;
function TVekEngine.NGetLine(Buf, Line, MaxLen: LongInt; Dest: PAnsiChar; var Len: LongInt): LongInt;
begin Result := VekGetLine(FContext, Buf, Line, MaxLen, Dest, Len); end;
function TVekEngine.NGetLines(Buf, First, Count: LongInt; var Delivered: LongInt): LongInt;
begin Result := VekGetLines(FContext, Buf, First, Count, @FBlock, Delivered); end;
function TVekEngine.NGetBufStats(Buf: LongInt; var Count, Longest, Total: LongInt): LongInt;
begin Result := VekGetBufStats(FContext, Buf, Count, Longest, Total); end;
function TVekEngine.NCrc(Buf: LongInt; var Sum: LongInt): LongInt;
begin Result := VekCrc(FContext, Buf, 16, Sum); end;
function TVekEngine.NCrcFile(FileType: LongInt; List: PAnsiChar; var Sum: LongInt): LongInt;
begin Result := VekCrcFile(FContext, FileType, List, 16, Sum); end;
function TVekEngine.NLoadFiles(Buf, FileType: LongInt; List, Status: PAnsiChar): LongInt;
begin Result := VekLoadFiles(FContext, Buf, FileType, List, Status); end;
function TVekEngine.NWriteFiles(Buf, FileType: LongInt; List: PAnsiChar): LongInt;
begin Result := VekWriteFiles(FContext, Buf, FileType, List); end;
function TVekEngine.NReadBuf(Buf: LongInt; Name: PAnsiChar): LongInt;
begin Result := VekReadBuf(FContext, Buf, Name); end;
function TVekEngine.NWriteBuf(Buf: LongInt; Name: PAnsiChar): LongInt;
begin Result := VekWriteBuf(FContext, Buf, Name); end;
function TVekEngine.NDiff(OldBuf, NewBuf, ScriptBuf: LongInt; Whole: Boolean): LongInt;
begin
  if Whole then
    Result := VekDiffWhole(FContext, OldBuf, NewBuf, ScriptBuf)
  else
    Result := VekDiff(FContext, OldBuf, NewBuf, ScriptBuf);
end;
function TVekEngine.NCheckType(List: PAnsiChar; TypeOut: PAnsiChar): LongInt;
begin Result := VekCheckType(FContext, List, TypeOut); end;

end.
