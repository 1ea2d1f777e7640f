// Small helpers shared by the file export tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files_model.h"
#include "support/test_support.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace filestest {

// Joins paths with commas into a list the exports may cut in place.
inline std::string JoinList(const std::vector<std::string>& names) {
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i) {
        list += (i == 0 ? "" : ",") + names[i];
    }
    return list;
}

// LoadFiles on a copy of `list`; the status is written to *status when given.
inline int Load(int buf, char type, const std::string& list, std::string* status = nullptr) {
    std::string cut = list;
    char room[64] = "unwritten";
    const int rc = LoadFiles(buf, type, cut.data(), room);
    if (status != nullptr) {
        *status = room;
    }
    return rc;
}

inline int Write(int buf, char type, const std::string& list) {
    std::string cut = list;
    return WriteFiles(buf, type, cut.data());
}

// Checks that `buf` holds exactly `lines`: GetLine shows each line up to a
// NUL and without its last byte; the total length and the checksum cover
// every stored byte.
inline void ExpectBufferHolds(int buf, const std::vector<std::string>& lines) {
    EXPECT_TRUE(vektest::BufferLines(buf) == filesmodel::AsHandedOut(lines))
        << testing::PrintToString(vektest::BufferLines(buf));
    EXPECT_EQ(vektest::BufferStats(buf).count, static_cast<int>(lines.size()));
    EXPECT_EQ(vektest::BufferStats(buf).total, filesmodel::TotalLength(lines));
    int sum = -1;
    EXPECT_EQ(Crc(buf, 16, &sum), RC_OK);
    EXPECT_EQ(sum, filesmodel::Checksum(lines));
}

// Holds a file open the way another program would: exclusively (nobody else
// may open it) or shared (others may read and write it).
class HeldFile {
  public:
    HeldFile(const std::string& path, bool exclusive) {
#if defined(_WIN32)
        const DWORD share = exclusive ? 0 : (FILE_SHARE_READ | FILE_SHARE_WRITE);
        m_handle = CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        m_held = m_handle != INVALID_HANDLE_VALUE;
#else
        m_fd = open(path.c_str(), O_RDONLY);
        m_held = m_fd >= 0 && flock(m_fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0;
#endif
    }
    ~HeldFile() {
#if defined(_WIN32)
        if (m_handle != INVALID_HANDLE_VALUE) {
            CloseHandle(m_handle);
        }
#else
        if (m_fd >= 0) {
            close(m_fd);
        }
#endif
    }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    bool Held() const {
        return m_held;
    }

  private:
    bool m_held = false;
#if defined(_WIN32)
    HANDLE m_handle = INVALID_HANDLE_VALUE;
#else
    int m_fd = -1;
#endif
};

}  // namespace filestest
