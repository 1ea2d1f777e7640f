// The update file: the change between two trees as plain lines.
//
//   vek-update 1
//   ACTION KIND OLD-MODE NEW-MODE OLD-SHA256 NEW-SHA256 BODY COUNT PATH
//   ...COUNT body lines...
//   ...more records...
//   SHA-256 of every byte before this line
//
// docs/update-format.md has the grammar. The writer hashes every byte it
// writes; the reader checks the whole file (its form, its hash, every path)
// before anything else looks at it, and notes where each body starts so
// that bodies are read one at a time afterwards, without reading the rest
// of the update again.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "system/sha256.h"
#include "system/tree_files.h"

namespace vekcli {

class Output;

namespace update {

inline constexpr std::string_view kFirstLine = "vek-update 1";

enum class Action { kAdd, kDelete, kChange, kMode };
// How the new contents travel: none (a deletion, a mode), vek diff's ed
// script of the file read with LF line ends (every other byte is text, a CR
// included) or read in the CR LF form, each with the new file's last line
// ended or left open (no line feed), uuencoded bytes, or a link's target.
enum class Body { kNone, kEd, kEdCrLf, kEdOpen, kEdCrLfOpen, kUu, kLink };
inline bool IsScript(Body body) {
    return body == Body::kEd || body == Body::kEdCrLf || body == Body::kEdOpen ||
           body == Body::kEdCrLfOpen;
}
inline bool IsCrLf(Body body) {
    return body == Body::kEdCrLf || body == Body::kEdCrLfOpen;
}
inline bool IsOpen(Body body) {
    return body == Body::kEdOpen || body == Body::kEdCrLfOpen;
}
inline Body ScriptBody(bool crlf, bool open) {
    return crlf ? (open ? Body::kEdCrLfOpen : Body::kEdCrLf) : (open ? Body::kEdOpen : Body::kEd);
}

inline constexpr int kNoMode = -1;

struct Record {
    Action action = Action::kAdd;
    tree::Kind kind = tree::Kind::kFile;
    int oldMode = kNoMode;
    int newMode = kNoMode;
    std::string oldHash;  // empty where the path has no old contents
    std::string newHash;
    Body body = Body::kNone;
    long long count = 0;       // body lines
    std::string path;          // raw bytes, '/' between names
    std::string linkTarget;    // the body of a link, raw bytes
    long long bodyOffset = 0;  // where the body starts in the update, in bytes
    long long bodySize = 0;    // its bytes, line feeds included
};

const char* ActionName(Action action);
// Four octal digits ("0644"), or "-" for kNoMode.
std::string ModeText(int mode);
const char* KindName(tree::Kind kind);

// A name with every byte that could break a line or a field written as
// \xHH: control bytes, space, DEL, backslash, bytes that are not UTF-8.
std::string EscapeName(std::string_view raw);
// The raw bytes again; false for a backslash not followed by x and two
// hex digits.
bool UnescapeName(std::string_view text, std::string& raw);

// Writes an update: the first line, records, and the hash line at the end.
class UpdateWriter {
  public:
    explicit UpdateWriter(Output& out);
    void Add(const Record& record);
    void Line(std::string_view text);
    // Bytes as uuencoded lines; as many as UuLines(size) says.
    void Uuencode(const char* bytes, std::size_t size);
    static long long UuLines(std::size_t size);
    void Finish();
    // Bytes written so far.
    long long Size() const { return m_size; }

  private:
    void Put(const char* bytes, std::size_t size);

    Output& m_out;
    Sha256 m_hash;
    long long m_size = 0;
};

// The update file read and checked whole; Fail (status 2) names the line
// and the fault when anything is wrong with it: its first line, its hash,
// a record's fields, a path that is absolute, holds '..' or an empty name,
// a body that is not what its record says.
class UpdateFile {
  public:
    // `name` may be "-", standard input, which is read only once: a stream
    // is copied to a temporary file as it is read (ShareRepeatedInputs).
    explicit UpdateFile(const std::string& name);
    ~UpdateFile();
    UpdateFile(const UpdateFile&) = delete;
    UpdateFile& operator=(const UpdateFile&) = delete;
    // The update's name in messages ("standard input" for "-").
    const std::string& Name() const { return m_name; }
    const std::vector<Record>& Records() const { return m_records; }
    // The body of a record, its lines each with its line feed, read again
    // from the file (each file built from it is checked against its new
    // hash); valid until the next call.
    std::string_view BodyBytes(const Record& record);

  private:
    struct Reader;
    std::string m_name;
    std::vector<Record> m_records;
    std::unique_ptr<Reader> m_reader;
};

// Why a path may not be written under the tree: absolute, '..', an empty or
// '.' name, a NUL byte (and on Windows a backslash or a colon); empty when
// it is sound.
std::string PathFault(const std::string& raw);

}  // namespace update
}  // namespace vekcli
