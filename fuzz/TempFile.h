#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "FuzzCheck.h"

namespace tamblor::fuzz {

// A file of the harness's own in the temporary folder, rewritten in place for every input and
// removed when the process ends normally. It stays open and is never emptied before a write:
// some file systems flush a file to disk when it is emptied and written again, which would
// make every input wait for the disk.
class CTempFile {
  public:
    explicit CTempFile(const std::string& name)
        : m_path(std::filesystem::temp_directory_path() /
                 ("tamblor-fuzz-" + name + "-" + std::to_string(::getpid()) + ".bin")),
          m_fd(::open(m_path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600)) {
        if (m_fd < 0) FuzzFail("cannot create " + m_path.string());
    }
    ~CTempFile() {
        ::close(m_fd);
        std::error_code ignored;
        std::filesystem::remove(m_path, ignored);
    }
    CTempFile(const CTempFile&) = delete;
    CTempFile& operator=(const CTempFile&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
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
    std::filesystem::path m_path;
    int m_fd;
};

}  // namespace tamblor::fuzz
