#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fstream>
#endif

namespace tamblor {

// The executable that carries the firmware package, open for reading for as long as the
// package is in use. Reads are positioned: every read names its absolute file offset.
//
// Only a regular file is opened. A FIFO, a device or a directory is refused at once rather
// than waited on or read from: the path comes from the user, and an open of a FIFO without a
// writer would block for ever.
class CPackageFile {
  public:
    // Opens the file; IsOpen() tells whether it worked and OpenFailure() why not.
    explicit CPackageFile(const std::filesystem::path& path);
    virtual ~CPackageFile();
    CPackageFile(const CPackageFile&) = delete;
    CPackageFile& operator=(const CPackageFile&) = delete;

    bool IsOpen() const { return m_open; }
    std::uint64_t Size() const { return m_size; }
    // What kept the file from opening ("not a regular file", "No such file or directory");
    // empty while it is open.
    const std::string& OpenFailure() const { return m_openFailure; }

    // True when `path` names this very file, however it is spelled: another path to it, a
    // hard link, a symbolic link. False when `path` does not exist.
    bool IsSameFileAs(const std::filesystem::path& path) const;

    // Reads up to buffer.size() bytes at offset; returns how many bytes were read. A result
    // shorter than the buffer means the read failed or met the end of the file. Virtual so
    // that a test can stand in a file whose reads come up short.
    virtual std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer);

  private:
    bool m_open = false;
    std::uint64_t m_size = 0;
    std::string m_openFailure;
#ifdef _WIN32
    std::filesystem::path m_path;
    std::ifstream m_stream;
    std::uint64_t m_position = 0;  // where the stream stands, so sequential reads skip the seek
    bool m_positionKnown = false;
#else
    static constexpr std::size_t kSmallRead = 256;
    static constexpr std::size_t kReadAhead = 8 * 1024;
    std::size_t ReadFromFile(std::uint64_t offset, std::span<std::uint8_t> buffer);

    int m_fd = -1;
    std::uint64_t m_device = 0;
    std::uint64_t m_inode = 0;
    std::vector<std::uint8_t> m_cache;  // the block read last, from m_cacheOffset on
    std::uint64_t m_cacheOffset = 0;
    std::size_t m_cacheLength = 0;
#endif
};

}  // namespace tamblor
