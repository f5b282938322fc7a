#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "FuzzCheck.h"

namespace tamblor::fuzz {

// A file that lives in memory only, reached by a path like any other (/proc/self/fd/N), so the
// loader reads it through its real open. Nothing lands in the temporary folder: a finding
// aborts the process, which skips destructors, and the kernel frees the file with the process.
class CMemoryFile {
  public:
    explicit CMemoryFile(const std::string& name)
        : m_fd(::memfd_create(("tamblor-fuzz-" + name).c_str(), MFD_CLOEXEC)) {
        if (m_fd < 0) FuzzFail("cannot create the memory file " + name);
        m_path = "/proc/self/fd/" + std::to_string(m_fd);
    }
    ~CMemoryFile() { ::close(m_fd); }
    CMemoryFile(const CMemoryFile&) = delete;
    CMemoryFile& operator=(const CMemoryFile&) = delete;

    const std::filesystem::path& Path() const { return m_path; }

    // Rewritten in place, never emptied first, then cut to the new size.
    void Write(const std::uint8_t* data, std::size_t size) const {
        std::size_t done = 0;
        while (done < size) {
            const auto wrote = ::pwrite(m_fd, data + done, size - done, static_cast<off_t>(done));
            if (wrote <= 0) FuzzFail("cannot write " + m_path.string());
            done += static_cast<std::size_t>(wrote);
        }
        if (::ftruncate(m_fd, static_cast<off_t>(size)) != 0)
            FuzzFail("cannot cut " + m_path.string());
    }

  private:
    int m_fd;
    std::filesystem::path m_path;
};

}  // namespace tamblor::fuzz
