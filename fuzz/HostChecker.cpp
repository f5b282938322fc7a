#include "HostChecker.h"

#include <algorithm>
#include <iterator>

#include "isp/IspReport.h"

namespace tamblor::fuzz {
namespace {

// The command reports as the device expects them, written out again rather than taken from
// the host's own builders.
struct CommandRule {
    IspCommand code;
    const char* name;
    std::uint8_t group;
    std::uint8_t endByte;
    std::size_t payloadEnd;  // bytes from here to the end byte are 0
};

constexpr CommandRule kRules[] = {
    {IspCommand::IspExit, "IspExit", 3, 0x5A, 13},
    {IspCommand::IspEnter, "IspEnter", 3, 0x5A, 5},
    {IspCommand::IspErase, "IspErase", 4, 0x00, 6},
    {IspCommand::IspChecksum, "IspChecksum", 4, 0x00, 7},
    {IspCommand::GetMode, "GetMode", 3, 0x5A, 5},
    {IspCommand::GetVersion, "GetVersion", 3, 0x5A, 5},
    {IspCommand::Chip1Prepare, "Chip1Prepare", 4, 0x5A, 5},
    {IspCommand::Chip1Erase, "Chip1Erase", 4, 0x5A, 5},
    {IspCommand::Chip1EraseStatus, "Chip1EraseStatus", 4, 0x5A, 5},
    {IspCommand::Chip1Checksum, "Chip1Checksum", 4, 0x5A, 9},
    {IspCommand::Chip1End, "Chip1End", 4, 0x5A, 5},
};

// Segments that are streamed, and whether in pages.
constexpr std::size_t kStreamed[] = {kSegChip3, kSegChip2File1, kSegChip2File2, kSegChip1};

std::uint32_t BigEndian(std::span<const std::uint8_t> bytes) {
    std::uint32_t value = 0;
    for (const auto b : bytes) value = value << 8 | b;
    return value;
}

// Length of the chunk that starts at `offset`: at most 59 bytes, and for Chip 1 never across a
// 256-byte page of the segment.
std::size_t ChunkLength(std::size_t segment, std::size_t segmentLength, std::size_t offset) {
    std::size_t length = std::min<std::size_t>(59, segmentLength - offset);
    if (segment == kSegChip1) length = std::min<std::size_t>(length, 256 - offset % 256);
    return length;
}

}  // namespace

CHostChecker::CHostChecker(const ScenarioPackage& package, std::uint16_t outputReportLength)
    : m_package(package), m_outputLength(outputReportLength) {}

void CHostChecker::Fail(std::string finding) {
    if (m_finding.empty()) m_finding = std::move(finding);
}

void CHostChecker::OnWrite(std::span<const std::uint8_t> report) {
    if (!m_finding.empty()) return;
    if (report.size() > m_outputLength || report.size() > kReportSize) {
        Fail("a write of " + std::to_string(report.size()) + " bytes to an interface whose " +
             "output report holds " + std::to_string(m_outputLength));
        return;
    }
    if (report.empty() || report[0] != kReportId) {
        Fail("a write without report ID 2");
        return;
    }
    // A report cut to a shorter output report cannot be read as a whole.
    if (report.size() < kReportSize) return;
    if (IsCommandReport(report)) {
        OnCommand(report);
    } else {
        OnChunk(report);
    }
}

void CHostChecker::OnCommand(std::span<const std::uint8_t> r) {
    // A stream never goes on after a command: the next chunk must begin one.
    m_candidates.clear();
    const auto* rule = std::find_if(std::begin(kRules), std::end(kRules), [&](const auto& c) {
        return static_cast<std::uint8_t>(c.code) == r[4];
    });
    if (rule == std::end(kRules)) return Fail("unknown command " + std::to_string(r[4]));
    const std::string name = rule->name;
    if (r[1] != rule->group) return Fail(name + " with request group " + std::to_string(r[1]));
    if (r[63] != rule->endByte) return Fail(name + " with end byte " + std::to_string(r[63]));
    if (std::any_of(r.begin() + static_cast<std::ptrdiff_t>(rule->payloadEnd), r.begin() + 63,
                    [](std::uint8_t b) { return b != 0; })) {
        return Fail(name + " with a byte set that the command does not name");
    }
    const auto& segments = m_package.segments;
    const auto chip3Length = static_cast<std::uint32_t>(segments[kSegChip3].size());
    bool payloadRight = true;
    switch (rule->code) {
        case IspCommand::IspExit:
            payloadRight =
                BigEndian(r.subspan(5, 2)) == ByteSum(segments[kSegChip3]) &&
                BigEndian(r.subspan(7, 2)) == (chip3Length & 0xFFFF) &&
                std::equal(r.begin() + 9, r.begin() + 13, m_package.expected->version.begin());
            break;
        case IspCommand::IspErase:
            payloadRight = r[5] == ((chip3Length + 511) / 512 & 0xFF);
            break;
        case IspCommand::IspChecksum:
            payloadRight = BigEndian(r.subspan(5, 2)) == (chip3Length & 0xFFFF);
            break;
        case IspCommand::Chip1Checksum:
            payloadRight = BigEndian(r.subspan(5, 4)) == segments[kSegChip1].size();
            break;
        default:
            break;
    }
    if (!payloadRight) Fail(name + " with a payload other than the package's");
}

void CHostChecker::OnChunk(std::span<const std::uint8_t> r) {
    const std::size_t length = r[1];
    const auto sequence = static_cast<std::uint16_t>(r[2] | r[3] << 8);
    const std::string chunk = "data chunk " + std::to_string(sequence);
    if (length < 1 || length > kMaxChunkData) {
        return Fail(chunk + " of " + std::to_string(length) + " bytes");
    }
    if (r[63] != kEndByte) return Fail(chunk + " with end byte " + std::to_string(r[63]));

    const auto& segments = m_package.segments;
    if (sequence == 1) {
        m_candidates.assign(std::begin(kStreamed), std::end(kStreamed));
        m_offset = 0;
    } else if (m_candidates.empty() || sequence != m_sequence + 1) {
        return Fail(chunk + " out of order (the chunk before it: " +
                    (m_candidates.empty() ? std::string("none in this stream")
                                          : std::to_string(m_sequence)) +
                    ")");
    }
    const auto data = r.subspan(kChunkDataIndex, length);
    std::erase_if(m_candidates, [&](std::size_t k) {
        const auto& segment = segments[k];
        return m_offset >= segment.size() || ChunkLength(k, segment.size(), m_offset) != length ||
               !std::equal(data.begin(), data.end(), segment.begin() + m_offset);
    });
    if (m_candidates.empty()) {
        return Fail(chunk + " (offset " + std::to_string(m_offset) + ", " + std::to_string(length) +
                    " bytes) is no part of the package cut as the " + "rules cut it");
    }
    m_offset += static_cast<std::uint32_t>(length);
    m_sequence = sequence;
}

}  // namespace tamblor::fuzz
