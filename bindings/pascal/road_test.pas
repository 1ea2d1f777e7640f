{ The typical road through the Pascal unit, on examples/fileset: both
  versions loaded as bundles, the whole-file script kept, the new bundle
  rebuilt with it and checked, the files written back and compared.
  usage: road_test FILESET   (exit status 0 when every check holds) }
program road_test;

{$IFDEF FPC}
  {$MODE DELPHI}
{$ENDIF}

uses
  SysUtils, vekwin32;

const
  Texts: array[0..3] of string = ('README.txt', 'station.c', 'station.h', 'station.ini');
  Binary = 'logo.ico';

var
  Failures: Integer = 0;
  Block: TVekLinesBlock;

procedure Expect(Holds: Boolean; const What: string);
begin
  if Holds then
    WriteLn('ok       ', What)
  else
  begin
    WriteLn('MISMATCH ', What);
    Inc(Failures);
  end;
end;

procedure Call(const Name: string; Code: LongInt);
begin
  if Code <> RC_OK then
  begin
    WriteLn(Name, ' failed with ', VekResultName(Code));
    Halt(2);
  end;
end;

{ Type 'T' keeps the tenth place for a binary file. Each call gets a fresh
  copy: the library cuts the list in place. }
function FileList(const Folder: string): AnsiString;
var
  I: Integer;
begin
  Result := '';
  for I := Low(Texts) to High(Texts) do
    Result := Result + AnsiString(IncludeTrailingPathDelimiter(Folder) + Texts[I]) + ',';
  Result := Result + ',,,,,' + AnsiString(IncludeTrailingPathDelimiter(Folder) + Binary);
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
  V1, V2, OutDir: string;
  List: AnsiString;
  Status: array[0..20] of AnsiChar;
  Script: array of AnsiString;
  Count, Longest, Total, Want, Delivered, Sum, Sum2, FileSum, Value, I, J: LongInt;
  Got: AnsiString;
  Name: string;
begin
  V1 := IncludeTrailingPathDelimiter(ParamStr(1)) + 'v1';
  V2 := IncludeTrailingPathDelimiter(ParamStr(1)) + 'v2';
  for I := 1 to 3 do
    Call('InitBuf', InitBuf(I));
  List := FileList(V1);
  Call('LoadFiles', LoadFiles(1, Ord('T'), PAnsiChar(List), @Status[0]));
  Expect(StrPas(PAnsiChar(@Status[0])) = 'L,L,L,L,E,E,E,E,E,L', 'v1 loaded as a bundle');
  List := FileList(V2);
  Call('LoadFiles', LoadFiles(2, Ord('T'), PAnsiChar(List), @Status[0]));
  Call('DiffWhole', DiffWhole(1, 2, 3));

  { The script kept, read out block by block. }
  Call('GetBufStats', GetBufStats(3, Count, Longest, Total));
  SetLength(Script, Count);
  I := 0;
  while I < Count do
  begin
    Want := Count - I;
    if Want > LINES_BLOCK_MAX_LINES then
      Want := LINES_BLOCK_MAX_LINES;
    Call('GetLines', GetLines(3, I + 1, Want, @Block, Delivered));
    if Delivered = 0 then
    begin
      { A line too long for the block comes alone through GetLine. }
      SetLength(Got, Longest + 1);
      Call('GetLine', GetLine(3, I + 1, Longest, PAnsiChar(Got), J));
      Script[I] := Copy(Got, 1, J);
      Inc(I);
      Continue;
    end;
    for J := 0 to Delivered - 1 do
      Script[I + J] := StrPas(PAnsiChar(@Block.Bytes[Block.Offsets[J]]));
    Inc(I, Delivered);
  end;
  J := 0;
  for I := 0 to Count - 1 do
    Inc(J, Length(Script[I]) + 1);
  Expect((Count > 0) and (J = Total), 'script read back');

  { Later: the kept script, loaded again, rebuilds v2 from v1. }
  Call('InitBuf', InitBuf(3));
  for I := 0 to Count - 1 do
    Call('AddLine', AddLine(3, PAnsiChar(Script[I])));
  Call('EdBuf', EdBuf(3, 1));
  Call('Crc', Crc(1, 16, Sum));
  Call('Crc', Crc(2, 16, Sum2));
  List := FileList(V2);
  Call('CrcFile', CrcFile(Ord('T'), PAnsiChar(List), 16, FileSum));
  Expect((Sum = Sum2) and (Sum = FileSum), 'checksums agree: ' + IntToStr(Sum));

  OutDir := IncludeTrailingPathDelimiter(GetTempDir) + 'vek-pascal-' + IntToStr(GetProcessID);
  ForceDirectories(OutDir);
  List := FileList(OutDir);
  Call('WriteFiles', WriteFiles(1, Ord('T'), PAnsiChar(List)));
  for I := Low(Texts) to High(Texts) + 1 do
  begin
    if I <= High(Texts) then Name := Texts[I] else Name := Binary;
    Got := FileBytes(IncludeTrailingPathDelimiter(OutDir) + Name);
    if Name <> Binary then  { text comes back with CR LF }
      Got := StringReplace(Got, #13#10, #10, [rfReplaceAll]);
    Expect(Got = FileBytes(IncludeTrailingPathDelimiter(V2) + Name), Name + ' written back as it was');
    DeleteFile(IncludeTrailingPathDelimiter(OutDir) + Name);
  end;
  RemoveDir(OutDir);

  Expect(InitBuf(4) = RC_BAD_BUFFER, 'InitBuf(4) gives ' + VekResultName(InitBuf(4)));
  Value := 7;
  Expect((TestBuf(Value) = 7) and (Value = 100), 'TestBuf');
  if Failures = 0 then
    WriteLn('Pascal road: all checks passed')
  else
    WriteLn('Pascal road: ', Failures, ' failed');
  Halt(Failures);
end.
