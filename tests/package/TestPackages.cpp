#include "TestPackages.h"

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "package/SyntheticImages.h"

namespace tamblor::test {

CTempDir::CTempDir() {
    std::random_device random;
    const auto tag = (static_cast<std::uint64_t>(random()) << 32) ^ random();
    m_path = std::filesystem::temp_directory_path() / ("tamblor-package-" + std::to_string(tag));
    std::filesystem::create_directories(m_path);
}

CTempDir::~CTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

const Segments& SyntheticSegments() {
    static const Segments segments = [] {
        Segments made;
        for (std::size_t k = 0; k < kSegmentCount; ++k) made[k] = MakeSyntheticImage(k);
        return made;
    }();
    return segments;
}

SegmentViews Views(const Segments& segments) {
    SegmentViews views;
    for (std::size_t k = 0; k < kSegmentCount; ++k) views[k] = segments[k];
    return views;
}

Bytes RawPackage(const Segments& segments, const RecordFields& fields) {
    const auto record = BuildRecord(fields);
    Bytes bytes;
    for (std::size_t k = 0; k < kRecordCount; ++k) {
        bytes.insert(bytes.end(), record.begin(), record.end());
        if (k < kSegmentCount) bytes.insert(bytes.end(), segments[k].begin(), segments[k].end());
    }
    return bytes;
}

std::size_t RecordStart(const Segments& segments, std::size_t k) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < k; ++i) start += kRecordLength + segments[i].size();
    return start;
}

void PutSignature(Bytes& bytes, std::size_t p) {
    for (std::size_t i = 0; i < kSignatureOffsets.size(); ++i) {
        bytes.at(p + kSignatureOffsets[i]) = kSignatureBytes[i];
    }
}

Bytes Concat(const Bytes& first, const Bytes& second) {
    Bytes joined = first;
    joined.insert(joined.end(), second.begin(), second.end());
    return joined;
}

void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace tamblor::test
