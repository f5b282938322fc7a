#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>

namespace tamblor {

// The executable that carries the firmware package, open for reading for as long as the
// package is in use. Reads are positioned: every read names its absolute file offset.
class CPackageFile {
public:
    // Opens the file; IsOpen() tells whether it worked.
    explicit CPackageFile(const std::filesystem::path& path);
    virtual ~CPackageFile() = default;
    CPackageFile(const CPackageFile&) = delete;
    CPackageFile& operator=(const CPackageFile&) = delete;

    bool IsOpen() const { return m_stream.is_open(); }
    std::uint64_t Size() const { return m_size; }

    // Reads up to buffer.size() bytes at offset; returns how many bytes were read. A result
    // shorter than the buffer means the read failed or met the end of the file. Virtual so
    // that a test can stand in a file whose reads come up short.
    virtual std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer);

private:
    std::ifstream m_stream;
    std::uint64_t m_size = 0;
    std::uint64_t m_position = 0;  // where the stream stands, so sequential reads skip the seek
    bool m_positionKnown = false;
};

}  // namespace tamblor
