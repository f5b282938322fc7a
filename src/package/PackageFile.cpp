#include "PackageFile.h"

namespace tamblor {

CPackageFile::CPackageFile(const std::filesystem::path& path)
    : m_stream(path, std::ios::binary | std::ios::in) {
    if (!m_stream.is_open()) return;
    m_stream.seekg(0, std::ios::end);
    const auto end = m_stream.tellg();
    if (end < 0) {
        m_stream.close();
        return;
    }
    m_size = static_cast<std::uint64_t>(end);
}

std::size_t CPackageFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) {
    if (!m_stream.is_open() || buffer.empty()) return 0;
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

}  // namespace tamblor
