#include "PackageFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tamblor {
namespace {

std::string ErrnoText(int error) { return std::generic_category().message(error); }

}  // namespace

#ifndef _WIN32

namespace {

std::string KindFailure(mode_t mode) {
    return S_ISDIR(mode) ? "a directory, not a file" : "not a regular file";
}

}  // namespace

CPackageFile::CPackageFile(const std::filesystem::path& path) {
    // Look before opening, so that no device is ever opened (an open can have effects of its
    // own); then check the open file itself, so that nothing swapped in between slips through.
    struct stat before {};
    if (::stat(path.c_str(), &before) != 0) {
        m_openFailure = ErrnoText(errno);
        return;
    }
    if (!S_ISREG(before.st_mode)) {
        m_openFailure = KindFailure(before.st_mode);
        return;
    }
    // O_NONBLOCK: an open that would wait (a FIFO without a writer) returns at once instead.
    m_fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (m_fd < 0) {
        m_openFailure = ErrnoText(errno);
        return;
    }
    // From here the destructor closes the descriptor, whatever happens.
    struct stat opened {};
    if (::fstat(m_fd, &opened) != 0) {
        m_openFailure = ErrnoText(errno);
        return;
    }
    if (!S_ISREG(opened.st_mode)) {
        m_openFailure = KindFailure(opened.st_mode);
        return;
    }
    const int flags = ::fcntl(m_fd, F_GETFL);
    if (flags >= 0) ::fcntl(m_fd, F_SETFL, flags & ~O_NONBLOCK);
    m_open = true;
    m_size = static_cast<std::uint64_t>(opened.st_size);
    m_device = static_cast<std::uint64_t>(opened.st_dev);
    m_inode = static_cast<std::uint64_t>(opened.st_ino);
}

CPackageFile::~CPackageFile() {
    if (m_fd >= 0) ::close(m_fd);
}

bool CPackageFile::IsSameFileAs(const std::filesystem::path& path) const {
    struct stat other {};
    if (!m_open || ::stat(path.c_str(), &other) != 0) return false;
    return static_cast<std::uint64_t>(other.st_dev) == m_device &&
           static_cast<std::uint64_t>(other.st_ino) == m_inode;
}

std::size_t CPackageFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) {
    if (!m_open || buffer.empty()) return 0;
    // Chunks are read one after the other, a few dozen bytes each: one system call per block
    // of them keeps a chunk's cost to a copy. Larger reads (the loader's) go straight to the
    // file and leave the block alone.
    if (buffer.size() > kSmallRead) return ReadFromFile(offset, buffer);
    const std::uint64_t cachedEnd = m_cacheOffset + m_cacheLength;
    if (offset < m_cacheOffset || offset + buffer.size() > cachedEnd) {
        m_cache.resize(kReadAhead);
        m_cacheOffset = offset;
        m_cacheLength = ReadFromFile(offset, m_cache);
    }
    const std::uint64_t end = m_cacheOffset + m_cacheLength;
    const std::size_t available =
        offset >= end
            ? 0
            : static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), end - offset));
    std::memcpy(buffer.data(), m_cache.data() + (offset - m_cacheOffset), available);
    return available;
}

std::size_t CPackageFile::ReadFromFile(std::uint64_t offset, std::span<std::uint8_t> buffer) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        const std::uint64_t at = offset + done;
        if (at > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) break;
        const ssize_t got =
            ::pread(m_fd, buffer.data() + done, buffer.size() - done, static_cast<off_t>(at));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

#else  // _WIN32: the C++ library's streams; Windows has no FIFO that an open would wait on.

CPackageFile::CPackageFile(const std::filesystem::path& path) : m_path(path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error) {
        m_openFailure = error.message();
        return;
    }
    if (status.type() != std::filesystem::file_type::regular) {
        m_openFailure = status.type() == std::filesystem::file_type::directory
                            ? "a directory, not a file"
                            : "not a regular file";
        return;
    }
    m_stream.open(path, std::ios::binary | std::ios::in);
    if (!m_stream.is_open()) {
        m_openFailure = ErrnoText(errno);
        return;
    }
    m_stream.seekg(0, std::ios::end);
    const auto end = m_stream.tellg();
    if (end < 0) {
        m_openFailure = "cannot find its size";
        m_stream.close();
        return;
    }
    m_size = static_cast<std::uint64_t>(end);
    m_open = true;
}

CPackageFile::~CPackageFile() = default;

bool CPackageFile::IsSameFileAs(const std::filesystem::path& path) const {
    std::error_code error;
    return m_open && std::filesystem::equivalent(m_path, path, error) && !error;
}

std::size_t CPackageFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) {
    if (!m_open || buffer.empty()) return 0;
    if (!m_positionKnown || m_position != offset) {
        m_stream.clear();
        m_stream.seekg(static_cast<std::streamoff>(offset), std::ios::beg);
        if (!m_stream) {
            m_positionKnown = false;
            return 0;
        }
    }
    m_stream.read(reinterpret_cast<char*>(buffer.data()),
                  static_cast<std::streamsize>(buffer.size()));
    const auto got = static_cast<std::size_t>(m_stream.gcount());
    if (m_stream) {
        m_position = offset + got;
        m_positionKnown = true;
    } else {
        m_stream.clear();
        m_positionKnown = false;
    }
    return got;
}

#endif

}  // namespace tamblor
