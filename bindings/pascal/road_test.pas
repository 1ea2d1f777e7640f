{ The typical road through the Pascal unit, on examples/fileset: both
  versions loaded as bundles, the whole-file script kept in a file, the new
  bundle rebuilt with it and checked, the files written back and compared.
  usage: road_test FILESET WORKDIR   (exit status 0 when every check holds) }
program road_test;

{$IFDEF FPC}
  {$MODE DELPHI}
{$ENDIF}

uses
  SysUtils, vekwin32;

const
  Names: array[0..4] of string = ('README.txt', 'station.c', 'station.h', 'station.ini', 'logo.ico');

var
  Failures: Integer = 0;

procedure Expect(Holds: Boolean; const What: string);
begin
  if not Holds then
  begin
    WriteLn('MISMATCH ', What);
    Inc(Failures);
  end;
end;

{ Type 'T' keeps the tenth place for the binary file. A fresh copy for each
  call: the library cuts the list in place. }
function FileList(const Folder: string): AnsiString;
var
  I: Integer;
begin
  Result := '';
  for I := 0 to 3 do
    Result := Result + AnsiString(Folder + Names[I]) + ',';
  Result := Result + ',,,,,' + AnsiString(Folder + Names[4]);
  UniqueString(Result);
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

var
  V1, V2, Work, Got: string;
  List: AnsiString;
  Status: array[0..20] of AnsiChar;
  Sum, Sum2, FileSum, I: LongInt;
begin
  V1 := IncludeTrailingPathDelimiter(ParamStr(1)) + 'v1' + PathDelim;
  V2 := IncludeTrailingPathDelimiter(ParamStr(1)) + 'v2' + PathDelim;
  Work := IncludeTrailingPathDelimiter(ParamStr(2));
  for I := 1 to 3 do
    Expect(InitBuf(I) = RC_OK, 'InitBuf');
  List := FileList(V1);
  Expect(LoadFiles(1, Ord('T'), PAnsiChar(List), @Status[0]) = RC_OK, 'LoadFiles v1');
  Expect(StrPas(PAnsiChar(@Status[0])) = 'L,L,L,L,E,E,E,E,E,L', 'status ' + StrPas(PAnsiChar(@Status[0])));
  List := FileList(V2);
  Expect(LoadFiles(2, Ord('T'), PAnsiChar(List), @Status[0]) = RC_OK, 'LoadFiles v2');

  { The script kept in a file; later read again and applied to v1. }
  Expect(DiffWhole(1, 2, 3) = RC_OK, 'DiffWhole');
  Expect(WriteBuf(3, PAnsiChar(AnsiString(Work + 'v1-to-v2.ed'))) = RC_OK, 'WriteBuf');
  Expect(InitBuf(3) = RC_OK, 'InitBuf');
  Expect(ReadBuf(3, PAnsiChar(AnsiString(Work + 'v1-to-v2.ed'))) = RC_OK, 'ReadBuf');
  Expect(EdBuf(3, 1) = RC_OK, 'EdBuf');
  List := FileList(V2);
  Expect((Crc(1, 16, Sum) = RC_OK) and (Crc(2, 16, Sum2) = RC_OK) and
    (CrcFile(Ord('T'), PAnsiChar(List), 16, FileSum) = RC_OK), 'checksums computed');
  Expect((Sum = Sum2) and (Sum = FileSum), 'checksums agree');

  List := FileList(Work);
  Expect(WriteFiles(1, Ord('T'), PAnsiChar(List)) = RC_OK, 'WriteFiles');
  for I := 0 to 4 do
  begin
    Got := FileBytes(Work + Names[I]);
    if I < 4 then  { text comes back with CR LF }
      Got := StringReplace(Got, #13#10, #10, [rfReplaceAll]);
    Expect(Got = FileBytes(V2 + Names[I]), Names[I] + ' written back differs');
  end;
  Expect(InitBuf(4) = RC_BAD_BUFFER, 'InitBuf(4) gives ' + VekResultName(InitBuf(4)));
  if Failures = 0 then
    WriteLn('Pascal road: all checks passed');
  Halt(Failures);
end.
