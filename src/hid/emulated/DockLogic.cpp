#include "DockLogic.h"

#include <algorithm>
#include <string_view>

#include "DockText.h"
#include "DockWire.h"
#include "package/PackageFormat.h"

namespace tamblor {
namespace {

using namespace dock_text;
using namespace dock_wire;

std::uint32_t BigEndian(std::span<const std::uint8_t> bytes) {
    std::uint32_t value = 0;
    for (const auto b : bytes) value = (value << 8) | b;
    return value;
}

}  // namespace

void CDockLogic::StoredImage::Clear() {
    bytes.clear();
    sum = 0;
    chunks = 0;
    lastSequence = 0;
}

void CDockLogic::StoredImage::Append(std::span<const std::uint8_t> data) {
    bytes.insert(bytes.end(), data.begin(), data.end());
    sum = ByteSum(data, sum);
}

CDockLogic::CDockLogic(DockConfig config)
    : m_config(config), m_ispMode(config.ispMode), m_version(config.version) {}

void CDockLogic::Reboot() {
    m_chip3Erased = false;
    m_chip3BlocksPending = false;
    m_chip1Phase = Chip1Phase::Idle;
    m_chip1BusyLeft = 0;
    m_chip2File = 0;
}

DockActions CDockLogic::OnHostReport(std::span<const std::uint8_t> report) {
    DockActions actions;
    if (report.size() != kReportSize) {
        Violate(Text("report of ", report.size(), " bytes, expected ", kReportSize));
        return actions;
    }
    if (report[0] != kReportId) {
        Violate(Text("report ID ", report[0], ", expected ", kReportId));
    }
    if (IsCommandReport(report)) {
        OnCommand(report, actions);
    } else {
        OnChunk(report, actions);
    }
    return actions;
}

void CDockLogic::OnChunk(std::span<const std::uint8_t> report, DockActions& actions) {
    ++m_totalChunks;
    if (m_config.faults.removeAfterChunks == m_totalChunks) {
        // Gone before the chunk was taken in.
        actions.effect = DockActions::Unplug{};
        return;
    }

    const std::uint8_t length = report[1];
    const auto sequence = static_cast<std::uint16_t>(report[2] | (report[3] << 8));
    StoredImage* image = StreamForChunk(sequence);
    if (image != nullptr) {
        const auto expected = static_cast<std::uint16_t>(image->lastSequence + 1);
        if (sequence != expected) {
            Violate(Text(image->name, " chunk with sequence ", sequence, ", expected ", expected));
        }
        image->lastSequence = sequence;
    }
    const char* stream = image != nullptr ? image->name : "discarded";
    if (report[kEndByteIndex] != kEndByte) {
        Violate(Text(stream, " chunk ", sequence, ": end byte ", Hex{report[kEndByteIndex], 2},
                     ", expected ", Hex{kEndByte, 2}));
    }
    if (length < 1 || length > kMaxChunkData) {
        Violate(
            Text(stream, " chunk ", sequence, ": length ", length, " outside 1-", kMaxChunkData));
    } else if (image != nullptr) {
        const auto offset = image->bytes.size();
        if (image == &m_chip1 && offset % kChip1PageSize + length > kChip1PageSize) {
            Violate(Text("Chip 1 chunk ", sequence, " crosses a ", kChip1PageSize,
                         "-byte page (offset ", offset, ", length ", length, ")"));
        }
        image->Append(report.subspan(kChunkDataIndex, length));
        ++image->chunks;
    }

    actions.replies.push_back(MakeChunkAck(report));
    if (m_config.faults.unsolicitedAfterChunks == m_totalChunks) {
        actions.replies.push_back(MakeReply(kUnsolicitedCode));
    }
}

CDockLogic::StoredImage* CDockLogic::StreamForChunk(std::uint16_t sequence) {
    if (m_ispMode) {
        if (m_chip3Erased) return &m_chip3;
        Violate("data chunk in ISP mode without a successful IspErase");
        return nullptr;
    }
    switch (m_chip1Phase) {
        case Chip1Phase::Writing:
            return &m_chip1;
        case Chip1Phase::Erasing:
            Violate("data chunk while Chip 1 is erasing");
            return nullptr;
        default:
            break;
    }
    // Sequence 1 opens the next Chip 2 file; anything else continues the current one.
    if (sequence == 1 || m_chip2File == 0) return NextChip2File();
    return &m_chip2[m_chip2File - 1];
}

CDockLogic::StoredImage* CDockLogic::NextChip2File() {
    if (m_chip2File == 1) {
        m_chip2File = 2;
        m_chip2[1].Clear();
    } else {
        // A new Chip 2 programming replaces both files.
        m_chip2File = 1;
        m_chip2[0].Clear();
        m_chip2[1].Clear();
    }
    return &m_chip2[m_chip2File - 1];
}

void CDockLogic::OnCommand(std::span<const std::uint8_t> report, DockActions& actions) {
    const std::uint8_t code = report[4];
    const CommandInfo* info = FindCommand(code);
    if (info == nullptr) {
        Violate(Text("unknown command ", Hex{code, 2}));
        return;
    }
    const IspCommand command = info->code;
    if (report[1] != RequestGroup(command)) {
        Violate(Text(info->name, " with request group ", report[1], ", expected ",
                     RequestGroup(command)));
    }
    if (report[kEndByteIndex] != CommandEndByte(command)) {
        Violate(Text(info->name, ": end byte ", Hex{report[kEndByteIndex], 2}, ", expected ",
                     Hex{CommandEndByte(command), 2}));
    }
    if (!(m_ispMode ? info->inIsp : info->inAp)) {
        Violate(Text(info->name, " in ", m_ispMode ? "ISP" : "AP", " mode"));
        return;
    }

    const auto& faults = m_config.faults;
    switch (command) {
        case IspCommand::GetMode:
            actions.replies.push_back(
                MakeReply(kReplyMode, {m_ispMode ? std::uint8_t{1} : std::uint8_t{0}}));
            break;
        case IspCommand::GetVersion:
            actions.replies.push_back(
                MakeReply(kReplyVersion, {m_version[0], m_version[1], m_version[2], m_version[3]}));
            break;
        case IspCommand::IspEnter:
            Reboot();
            m_ispMode = true;
            if (faults.noReturnAfterIspEnter) {
                actions.effect = DockActions::Unplug{};
            } else {
                actions.effect = DockActions::Restart{true};
            }
            break;
        case IspCommand::IspErase:
            m_chip3.Clear();
            m_chip3Blocks = report[5];
            m_chip3BlocksPending = true;
            m_chip3Erased = !faults.ispEraseFail;
            actions.replies.push_back(
                MakeStatus(command, faults.ispEraseFail ? kStatusFailed : kStatusOk));
            break;
        case IspCommand::IspChecksum: {
            const std::uint32_t length = BigEndian(report.subspan(5, 2));
            if (length != m_chip3.bytes.size()) {
                Violate(Text("IspChecksum length ", length, ", Chip 3 received ",
                             m_chip3.bytes.size(), " bytes"));
            }
            CheckChip3Blocks();
            const auto sum =
                static_cast<std::uint16_t>(m_chip3.sum + (faults.chip3ChecksumWrong ? 1 : 0));
            actions.replies.push_back(MakeChecksum(command, sum));
            break;
        }
        case IspCommand::IspExit: {
            const std::uint32_t sum = BigEndian(report.subspan(5, 2));
            const std::uint32_t length = BigEndian(report.subspan(7, 2));
            if (sum != m_chip3.sum) {
                Violate(Text("IspExit checksum ", Hex{sum, 4}, ", Chip 3 sums to ",
                             Hex{m_chip3.sum, 4}));
            }
            if (length != m_chip3.bytes.size()) {
                Violate(Text("IspExit length ", length, ", Chip 3 received ", m_chip3.bytes.size(),
                             " bytes"));
            }
            CheckChip3Blocks();
            std::copy_n(report.begin() + 9, m_version.size(), m_version.begin());
            Reboot();
            m_ispMode = false;
            actions.effect = DockActions::Restart{false};
            break;
        }
        case IspCommand::Chip1Prepare:
            if (!faults.chip1PrepareFail) m_chip1Phase = Chip1Phase::Prepared;
            actions.replies.push_back(
                MakeStatus(command, faults.chip1PrepareFail ? kStatusFailed : kStatusOk));
            break;
        case IspCommand::Chip1Erase:
            if (m_chip1Phase == Chip1Phase::Idle) Violate("Chip1Erase without Chip1Prepare");
            if (faults.chip1EraseFail) {
                m_chip1Phase = Chip1Phase::Idle;
            } else {
                m_chip1.Clear();
                m_chip1Phase = Chip1Phase::Erasing;
                m_chip1BusyLeft = faults.chip1EraseBusy;
            }
            actions.replies.push_back(
                MakeStatus(command, faults.chip1EraseFail ? kStatusFailed : kStatusOk));
            break;
        case IspCommand::Chip1EraseStatus: {
            std::uint8_t status = kStatusOk;
            if (m_chip1Phase == Chip1Phase::Erasing) {
                if (m_chip1BusyLeft > 0) {
                    --m_chip1BusyLeft;
                    status = kStatusBusy;
                } else {
                    m_chip1Phase = Chip1Phase::Writing;
                }
            } else if (m_chip1Phase != Chip1Phase::Writing) {
                Violate("Chip1EraseStatus without Chip1Erase");
            }
            actions.replies.push_back(MakeStatus(command, status));
            break;
        }
        case IspCommand::Chip1Checksum: {
            const std::uint32_t length = BigEndian(report.subspan(5, 4));
            if (length != m_chip1.bytes.size()) {
                Violate(Text("Chip1Checksum length ", length, ", Chip 1 received ",
                             m_chip1.bytes.size(), " bytes"));
            }
            const auto sum =
                static_cast<std::uint16_t>(m_chip1.sum + (faults.chip1ChecksumWrong ? 1 : 0));
            actions.replies.push_back(MakeChecksum(command, sum));
            break;
        }
        case IspCommand::Chip1End:
            m_chip1Phase = Chip1Phase::Idle;
            actions.replies.push_back(MakeStatus(command, kStatusOk));
            break;
    }
}

void CDockLogic::CheckChip3Blocks() {
    if (!m_chip3BlocksPending) return;
    m_chip3BlocksPending = false;
    const auto size = m_chip3.bytes.size();
    const auto expected = (size + kEraseBlockSize - 1) / kEraseBlockSize;
    if (m_chip3Blocks != expected) {
        Violate(Text("IspErase announced ", m_chip3Blocks, " blocks, Chip 3 received ", size,
                     " bytes (", expected, " blocks)"));
    }
}

void CDockLogic::Violate(std::string text) { m_violations.push_back(std::move(text)); }

DockReport CDockLogic::Report() const {
    DockReport report;
    report.chip1Chunks = m_chip1.chunks;
    report.chip2Chunks = {m_chip2[0].chunks, m_chip2[1].chunks};
    report.chip3Chunks = m_chip3.chunks;
    report.chip1Sum = m_chip1.sum;
    report.chip3Sum = m_chip3.sum;
    report.violations = m_violations;
    return report;
}

}  // namespace tamblor
