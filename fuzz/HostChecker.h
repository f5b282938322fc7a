#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "dock/DockExpectation.h"
#include "package/PackageFormat.h"

namespace tamblor::fuzz {

// A package a scenario runs with: its file and what it is made of.
struct ScenarioPackage {
    std::filesystem::path path;
    std::array<std::vector<std::uint8_t>, kSegmentCount> segments;
    std::shared_ptr<const DockExpectation> expected;
};

// Holds every report the host writes against what the package and the report layouts allow,
// whatever the dock answered: the rules the host keeps on its own.
class CHostChecker {
  public:
    CHostChecker(const ScenarioPackage& package, std::uint16_t outputReportLength);

    void OnWrite(std::span<const std::uint8_t> report);
    // The first rule broken, in words; empty while none is.
    const std::string& Finding() const { return m_finding; }

  private:
    void OnCommand(std::span<const std::uint8_t> report);
    void OnChunk(std::span<const std::uint8_t> report);
    void Fail(std::string finding);

    const ScenarioPackage& m_package;
    const std::uint16_t m_outputLength;
    // The segments the chunks so far may be streaming (the host never says which), each with
    // the offset of the next byte; the sequence number of the last chunk.
    std::vector<std::size_t> m_candidates;
    std::uint32_t m_offset = 0;
    std::uint16_t m_sequence = 0;
    std::string m_finding;
};

}  // namespace tamblor::fuzz
