{ The typical road through the Pascal unit, on examples/fileset: both
  versions loaded as bundles from literal lists, the whole-file script kept
  in a file, the new bundle rebuilt with it and checked, the files written
  back and compared; four threads with a TVekEngine each run the road 100
  times, every script exact; then the refusals.
  usage: road_test FILESET WORKDIR LIBRARY   (exit status 0 when every check holds) }
program road_test;

{$IFDEF FPC}
  {$MODE DELPHI}
{$ENDIF}

uses
{$IFDEF UNIX}
  cthreads,
{$ENDIF}
  Classes, SysUtils, vekwin32;

const
  Names: array[0..4] of string = ('README.txt', 'station.c', 'station.h', 'station.ini', 'logo.ico');

var
  Failures: Integer = 0;
  V1, V2, Work: string;
  Reference: TArray<AnsiString>;

procedure Expect(Holds: Boolean; const What: string);
begin
  if not Holds then
  begin
    WriteLn('MISMATCH ', What);
    InterlockedIncrement(Failures);
  end;
end;

function FileBytes(const Name: string): AnsiString;
var
  F: File;
begin
  AssignFile(F, Name);
  Reset(F, 1);
  SetLength(Result, FileSize(F));
  if Length(Result) > 0 then
    BlockRead(F, Result[1], Length(Result));
  CloseFile(F);
end;

{ Loads both versions (type 'T' keeps the tenth place for the binary file),
  diffs them and rebuilds v2 from v1; returns the script. The v2 list is a
  literal used twice. }
function Road(B: TVekBuffers; const V1, V2: string): TArray<AnsiString>;
var
  I: Integer;
  Stats: TVekBufStats;
begin
  for I := 1 to 3 do
    B.InitBuf(I);
  Expect(B.LoadFiles(1, VekText, [V1 + 'README.txt', V1 + 'station.c', V1 + 'station.h', V1 + 'station.ini',
    '', '', '', '', '', V1 + 'logo.ico']) = 'L,L,L,L,E,E,E,E,E,L', 'status of v1');
  B.LoadFiles(2, VekText, [V2 + 'README.txt', V2 + 'station.c', V2 + 'station.h', V2 + 'station.ini',
    '', '', '', '', '', V2 + 'logo.ico']);
  B.DiffWhole(1, 2, 3);
  Stats := B.GetBufStats(3);
  Result := B.GetLines(3, 1, Stats.Count);
  B.InitBuf(3);
  B.AddLines(3, Result);
  B.EdBuf(3, 1);
  Expect((B.Crc(1) = B.Crc(2)) and (B.Crc(1) = B.CrcFile('T', [V2 + 'README.txt', V2 + 'station.c',
    V2 + 'station.h', V2 + 'station.ini', '', '', '', '', '', V2 + 'logo.ico'])), 'checksums agree');
end;

function Same(const A, B: TArray<AnsiString>): Boolean;
var
  I: Integer;
begin
  Result := Length(A) = Length(B);
  for I := 0 to High(A) do
    Result := Result and (A[I] = B[I]);
end;

{ A copy of a version's files in Dest, for a thread of its own: the library
  opens files for exclusive use. }
function CopyVersion(const Source, Dest: string): string;
var
  I: Integer;
  Data: AnsiString;
  F: File;
begin
  ForceDirectories(Dest);
  for I := 0 to High(Names) do
  begin
    Data := FileBytes(Source + Names[I]);
    AssignFile(F, Dest + Names[I]);
    Rewrite(F, 1);
    if Length(Data) > 0 then
      BlockWrite(F, Data[1], Length(Data));
    CloseFile(F);
  end;
  Result := Dest;
end;

type
  TRoads = class(TThread)
  protected
    procedure Execute; override;
  public
    Folder: string;
  end;

procedure TRoads.Execute;
var
  Engine: TVekEngine;
  K: Integer;
  Mine1, Mine2: string;
begin
  try
    Mine1 := CopyVersion(V1, Folder + 'v1' + PathDelim);
    Mine2 := CopyVersion(V2, Folder + 'v2' + PathDelim);
    Engine := TVekEngine.Create;
    try
      for K := 1 to 100 do
        Expect(Same(Road(Engine, Mine1, Mine2), Reference), 'a thread''s script differs');
    finally
      Engine.Free;
    end;
  except
    on E: Exception do
      Expect(False, 'a thread raised ' + E.Message);
  end;
end;

{ Checks that Call raises EVekError with the code and a message naming What. }
procedure Refused(Code: LongInt; const What, Named: string; E: Exception);
begin
  if not (E is EVekError) then
    Expect(False, What + ': ' + E.ClassName + ' ' + E.Message)
  else
    Expect((EVekError(E).Code = Code) and (EVekError(E).Name = VekResultName(Code)) and
      (Pos(Named, E.Message) > 0), What + ': ' + E.Message);
end;

var
  Lib: TVekLibrary;
  Engine: TVekEngine;
  Threads: array[0..3] of TRoads;
  Reason, Got: string;
  List: array of string;
  Status: array[0..20] of AnsiChar;
  I: Integer;
begin
  V1 := IncludeTrailingPathDelimiter(ParamStr(1)) + 'v1' + PathDelim;
  V2 := IncludeTrailingPathDelimiter(ParamStr(1)) + 'v2' + PathDelim;
  Work := IncludeTrailingPathDelimiter(ParamStr(2));
{$IFNDEF VEKWIN32_STATIC}
  { A missing library is an answer, not the end of the process. }
  Expect(not VekLoad(Work + 'no-such-library.so', Reason) and (Pos('no-such-library.so', Reason) > 0) and
    (VekLoadError = Reason), 'a missing library: ' + Reason);
{$ENDIF}
  if not VekLoad(ParamStr(3), Reason) then
  begin
    WriteLn('cannot load the library: ', Reason);
    Halt(1);
  end;

  Lib := TVekLibrary.Create;
  Reference := Road(Lib, V1, V2);
  { The script kept in a file; later read again and applied to v1. }
  Lib.InitBuf(1);
  Lib.LoadFiles(1, VekText, [V1 + 'README.txt', V1 + 'station.c', V1 + 'station.h', V1 + 'station.ini',
    '', '', '', '', '', V1 + 'logo.ico']);
  Lib.DiffWhole(1, 2, 3);
  Lib.WriteBuf(3, Work + 'v1-to-v2.ed');
  Lib.InitBuf(3);
  Lib.ReadBuf(3, Work + 'v1-to-v2.ed');
  Lib.EdBuf(3, 1);
  Lib.WriteFiles(1, 'T', [Work + 'README.txt', Work + 'station.c', Work + 'station.h', Work + 'station.ini',
    '', '', '', '', '', Work + 'logo.ico']);
  for I := 0 to 4 do
  begin
    Got := FileBytes(Work + Names[I]);
    if I < 4 then  { text comes back with CR LF }
      Got := StringReplace(Got, #13#10, #10, [rfReplaceAll]);
    Expect(Got = FileBytes(V2 + Names[I]), Names[I] + ' written back differs');
  end;

  { A list used twice loads every file both times. }
  SetLength(List, 2);
  List[0] := V1 + 'station.c';
  List[1] := V1 + 'station.h';
  Lib.InitBuf(1);
  Expect(Lib.LoadFiles(1, VekText, List) = 'L,L', 'a list, first use');
  Expect(Lib.LoadFiles(1, VekText, List) = 'L,L', 'a list, second use');

  { Four threads, an engine each, 100 roads each. }
  for I := 0 to 3 do
  begin
    Threads[I] := TRoads.Create(True);
    Threads[I].Folder := Work + 'thread' + IntToStr(I) + PathDelim;
    Threads[I].Start;
  end;
  for I := 0 to 3 do
  begin
    Threads[I].WaitFor;
    Threads[I].Free;
  end;
  { The twins take a literal list as it is. }
  Engine := TVekEngine.Create;
  Expect(VekInitBuf(Engine.Context, 1) = VEK_RC_OK, 'VekInitBuf');
  Expect((VekLoadFiles(Engine.Context, 1, Ord('T'), PAnsiChar(AnsiString(V1 + 'station.c,' + V1 + 'station.h')),
    @Status[0]) = VEK_RC_OK) and (StrPas(PAnsiChar(@Status[0])) = 'L,L'), 'a literal list through a twin');

  { Refusals name the buffer or file concerned. }
  try Lib.InitBuf(4); Expect(False, 'InitBuf(4)');
  except on E: Exception do Refused(VEK_RC_BAD_BUFFER, 'InitBuf(4)', 'buffer 4', E); end;
  try Engine.ReadBuf(1, Work + 'missing.txt'); Expect(False, 'a missing file');
  except on E: Exception do
    begin
      Refused(VEK_RC_READ_FAILED, 'a missing file', 'missing.txt', E);
      Expect((E is EVekError) and (EVekError(E).FileName = Work + 'missing.txt'), 'FileName of a missing file');
    end;
  end;
  try Engine.LoadFiles(1, 'x', [V1 + 'station.c']); Expect(False, 'file type x');
  except on E: Exception do Refused(VEK_RC_BAD_TYPE, 'file type x', 'file type', E); end;
  try Engine.AddLine(1, 'a'#10'b'); Expect(False, 'a line feed in a line');
  except on E: Exception do Refused(VEK_RC_FAILED, 'a line feed in a line', 'line feed', E); end;
  try Engine.EdCmd(2, 'x'); Expect(False, 'a refused edit line');
  except on E: Exception do Refused(VEK_RC_BAD_LINE, 'a refused edit line', 'buffer 2', E); end;
  Engine.Free;

  Lib.Free;
  if Failures = 0 then
    WriteLn('Pascal road: all checks passed');
  Halt(Failures);
end.
