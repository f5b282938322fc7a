#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "package/PackageFormat.h"
#include "package/PackageWriter.h"

namespace tamblor::test {

using Bytes = std::vector<std::uint8_t>;
using Segments = std::array<Bytes, kSegmentCount>;

// A fresh directory under the system's temporary directory, removed with everything in it.
class CTempDir {
  public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    std::filesystem::path File(const std::string& name) const { return m_path / name; }

  private:
    std::filesystem::path m_path;
};

// The five synthetic images, made once per process.
const Segments& SyntheticSegments();
SegmentViews Views(const Segments& segments);

// R0 S0 R1 ... S4 R5 with six copies of one record and no checks at all, so that a test can
// build what the writer would refuse.
Bytes RawPackage(const Segments& segments, const RecordFields& fields = {});

// Offset of record k in a package of these segments.
std::size_t RecordStart(const Segments& segments, std::size_t k);

// Writes '5' 'A' at p and 'Q' 'J' at p + 19.
void PutSignature(Bytes& bytes, std::size_t p);

Bytes Concat(const Bytes& first, const Bytes& second);
void WriteFile(const std::filesystem::path& path, const Bytes& bytes);
Bytes ReadFile(const std::filesystem::path& path);

}  // namespace tamblor::test
