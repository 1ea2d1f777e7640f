// The temporary files vek makes beside the files it writes, and in the
// temporary folder for inputs it must read once: unique short names,
// created exclusively, removed when the run ends by any way short of
// SIGKILL (a failure, SIGINT, SIGTERM, SIGHUP), and named by the next run
// when one was left behind.
#pragma once

#include <string>
#include <vector>

#include "system/platform.h"

namespace vekcli {

// A temporary's name is the folder's, then ".vek-PID-XXXX" (the process and
// four random characters) and `suffix`: short, so that a target whose own
// name is as long as the system allows still gets one.
// The folder of `place` with its separator; empty for a bare name.
std::string FolderOf(const std::string& place);

// Refuses, before anything is written, an existing file at `place` (shown
// as `shown`) that vek cannot or must not replace by renaming a temporary
// over it: one in a sticky folder that only another user may change, one
// the user may not write, or one with an ACL or extended attribute vek
// cannot read (its replacement would lose it). Returns the attributes the
// replacement is to keep (platform::CarryOver gives them to it).
std::vector<platform::Attribute> CheckReplaceable(const std::string& shown,
                                                  const std::string& place);

// The replacement of `shown` could not be given the attribute `failed`
// (empty: its mode): the message names what the file would lose;
// `outcome` says what was left as it was.
[[noreturn]] void FailToCarryOver(const std::string& shown, const std::string& failed,
                                  const std::string& outcome);

// A file replaced by renaming a temporary over it is replaced under that one
// name: other names (hard links) of the old file keep its old contents.
// Warns when `links`, the old file's count of names, says there were such.
void WarnAboutOtherNames(const std::string& target, unsigned long long links);

// The folder for copies of inputs (TMPDIR, TMP or TEMP, else the system's
// own), with the separator.
std::string TemporaryFolder();

// A file created exclusively beside `place` (in its folder), registered
// for removal; `fd` receives its open descriptor (-1 with keepOpen false).
// A Trouble names `target` when none can be made.
class Temporary {
  public:
    Temporary() = default;
    Temporary(const std::string& place, const std::string& target, const char* suffix = "");
    ~Temporary() { Remove(); }
    Temporary(Temporary&& other) noexcept;
    Temporary& operator=(Temporary&& other) noexcept;
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;

    const std::string& Name() const { return m_name; }
    // The descriptor from the exclusive creation; -1 once taken or closed.
    int TakeDescriptor() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    // The temporary is now the real file (renamed into place): no longer removed.
    void Keep();
    // Removes the file now (closing it first when still open).
    void Remove() noexcept;
    bool Active() const { return m_slot >= 0; }

  private:
    std::string m_name;
    int m_fd = -1;
    int m_slot = -1;
};

// A name for a file beside `place` that no file has now, registered for
// removal (for a second name made by link or rename); Release when done.
// The first name registered sets up the signal handler that removes every
// registered temporary and ends the process as the signal would.
int RegisterTemporaryName(const std::string& name);
void ReleaseTemporaryName(int slot);
std::string FreshNameBeside(const std::string& place, const char* suffix);

// Warns once per folder of temporaries left there by an earlier vek run
// that was killed (its process no longer runs).
void NoteLeftovers(const std::string& place);

}  // namespace vekcli
