#include "dock/DockLogic.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "dock/DockText.h"
#include "dock/DockWire.h"
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

std::uint16_t ChunkSequence(std::span<const std::uint8_t> report) {
    return static_cast<std::uint16_t>(report[2] | (report[3] << 8));
}

// What the violation lines call a host report.
std::string Describe(std::span<const std::uint8_t> report) {
    if (IsCommandReport(report)) {
        if (const CommandInfo* info = FindCommand(report[4])) return std::string(info->name);
        return Text("command ", Hex{report[4], 2});
    }
    return Text("data chunk ", ChunkSequence(report));
}

std::string HexBytes(std::span<const std::uint8_t> bytes) {
    std::string text;
    for (const auto b : bytes) {
        if (!text.empty()) text += ' ';
        text += Text(Hex{b, 2}).substr(2);
    }
    return text;
}

ChipImageResult Judge(std::span<const std::uint8_t> stored, bool written, bool due,
                      std::span<const std::uint8_t> expected) {
    ChipImageResult result;
    result.due = due;
    result.programmed = written;
    if (!due) expected = {};
    result.expectedBytes = static_cast<std::uint32_t>(expected.size());
    result.storedBytes = static_cast<std::uint32_t>(stored.size());
    const auto [s, e] =
        std::mismatch(stored.begin(), stored.end(), expected.begin(), expected.end());
    if (s != stored.end() || e != expected.end()) {
        result.firstDifference = static_cast<std::uint32_t>(s - stored.begin());
    }
    return result;
}

}  // namespace

void CDockLogic::StoredImage::Clear() {
    bytes.clear();
    sum = 0;
    chunks = 0;
    lastSequence = 0;
    shortChunk.reset();
}

void CDockLogic::StoredImage::Erase() {
    Clear();
    written = true;
    verified = false;
}

void CDockLogic::StoredImage::Append(std::span<const std::uint8_t> data) {
    bytes.insert(bytes.end(), data.begin(), data.end());
    sum = ByteSum(data, sum);
    written = true;
}

CDockLogic::CDockLogic(DockConfig config)
    : m_config(std::move(config)),
      m_due(ChipsDue(m_config.ispMode, m_config.expected ? m_config.expected->startSelector : '1')),
      m_ispMode(m_config.ispMode),
      m_version(m_config.version) {}

void CDockLogic::OnReplyRead() {
    if (m_repliesRead < m_repliesQueued) ++m_repliesRead;
}

void CDockLogic::OnRepliesLost() { m_repliesRead = m_repliesQueued; }

void CDockLogic::CheckAnswerRead(std::span<const std::uint8_t> report) {
    if (!m_trackReplyReads || m_answerPlace <= m_repliesRead) return;
    Violate(Text(Describe(report), " written while the answer to ", Describe(m_answered),
                 " was still unread"));
}

void CDockLogic::Reboot() {
    m_chip3Erased = false;
    m_chip3BlocksPending = false;
    m_chip1Phase = Chip1Phase::Idle;
    m_chip1SumTaken = false;
    m_chip1BusyLeft = 0;
    m_chip2File = 0;
}

DockActions CDockLogic::OnHostReport(std::span<const std::uint8_t> report) {
    DockActions actions;
    if (report.size() != kReportSize) {
        Violate(Text("report of ", report.size(), " bytes, expected ", kReportSize));
        return actions;
    }
    CheckAnswerRead(report);
    if (report[0] != kReportId) {
        Violate(Text("report ID ", report[0], ", expected ", kReportId));
    }
    if (IsCommandReport(report)) {
        OnCommand(report, actions);
    } else {
        OnChunk(report, actions);
    }
    if (!actions.replies.empty()) {
        // The first reply is the answer; anything after it was not asked for.
        m_answerPlace = m_repliesQueued + 1;
        m_repliesQueued += actions.replies.size();
        std::copy(report.begin(), report.end(), m_answered.begin());
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
    const auto sequence = ChunkSequence(report);
    StoredImage* image = StreamForChunk(sequence, length);
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
    } else {
        CheckChunkTail(report, stream, sequence, length);
        if (image != nullptr) StoreChunk(*image, report, sequence, length);
    }

    actions.replies.push_back(MakeChunkAck(report));
    if (m_config.faults.unsolicitedAfterChunks == m_totalChunks) {
        actions.replies.push_back(MakeReply(kUnsolicitedCode));
    }
}

void CDockLogic::StoreChunk(StoredImage& image, std::span<const std::uint8_t> report,
                            std::uint16_t sequence, std::uint8_t length) {
    const auto offset = image.bytes.size();
    if (image.paged && offset % kChip1PageSize + length > kChip1PageSize) {
        Violate(Text(image.name, " chunk ", sequence, " crosses a ", kChip1PageSize,
                     "-byte page (offset ", offset, ", length ", length, ")"));
    }
    CheckChunkLength(image, sequence, length);
    image.Append(report.subspan(kChunkDataIndex, length));
    image.verified = false;
    ++image.chunks;
}

void CDockLogic::CheckChunkTail(std::span<const std::uint8_t> report, const char* stream,
                                std::uint16_t sequence, std::uint8_t length) {
    // A short chunk leaves bytes between its data and the end byte: a real dock may read them
    // as data, so the host must send them as zeros.
    const std::size_t tailStart = kChunkDataIndex + length;
    const auto tail = report.subspan(tailStart, kEndByteIndex - tailStart);
    const auto first = std::find_if(tail.begin(), tail.end(), [](auto b) { return b != 0; });
    if (first == tail.end()) return;
    const auto more = std::count_if(first + 1, tail.end(), [](auto b) { return b != 0; });
    auto text = Text(stream, " chunk ", sequence, ": byte ",
                     tailStart + static_cast<std::size_t>(first - tail.begin()), " is ",
                     Hex{*first, 2}, ", after its ", length, " bytes of data (must be 0)");
    if (more > 0) text += Text(", and ", static_cast<std::uint64_t>(more), " more");
    Violate(std::move(text));
}

void CDockLogic::CheckChunkLength(StoredImage& image, std::uint16_t sequence, std::uint8_t length) {
    // A short chunk is only known to be a fault once another follows it in the same stream.
    if (image.shortChunk) {
        Violate(Text(image.name, " chunk ", image.shortChunk->sequence, " carries ",
                     image.shortChunk->length, " bytes where ", image.shortChunk->allowed,
                     " fit, and is not the last"));
        image.shortChunk.reset();
    }
    const auto offset = image.bytes.size();
    std::size_t allowed = kMaxChunkData;
    if (image.paged)
        allowed = std::min<std::size_t>(allowed, kChip1PageSize - offset % kChip1PageSize);
    if (const auto* expected = Expected(image); expected != nullptr && expected->size() > offset) {
        allowed = std::min(allowed, expected->size() - offset);
    }
    if (length < allowed) {
        image.shortChunk = ShortChunk{sequence, length, static_cast<std::uint32_t>(allowed)};
    }
}

const std::vector<std::uint8_t>* CDockLogic::Expected(const StoredImage& image) const {
    if (!m_config.expected) return nullptr;
    const auto& expected = *m_config.expected;
    if (&image == &m_chip3) return &expected.chip3;
    if (&image == &m_chip1) return &expected.chip1;
    if (&image == &m_chip2[0]) return &expected.chip2[0];
    return &expected.chip2[1];
}

CDockLogic::StoredImage* CDockLogic::StreamForChunk(std::uint16_t sequence, std::uint8_t length) {
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
    return Chip2FileForChunk(sequence, length);
}

CDockLogic::StoredImage* CDockLogic::Chip2FileForChunk(std::uint16_t sequence,
                                                       std::uint8_t length) {
    if (!m_config.expected) {
        // Sequence 1 opens the next file; anything else continues the current one.
        if (sequence == 1 || m_chip2File == 0) return NextChip2File();
        return &m_chip2[m_chip2File - 1];
    }
    // Knowing the files' lengths, the dock keeps them apart by length as well as by the
    // sequence reset, so a host that runs them together or cuts the seam elsewhere is caught
    // at the seam, and the sequence check names a file 2/2 that did not start again at 1.
    const auto& lengths = m_config.expected->chip2;
    if (m_chip2File == 0) {
        NextChip2File();
        if (lengths[0].empty()) m_chip2File = 2;  // an empty file 1/2 sends no chunk
    } else if (m_chip2File == 1) {
        StoredImage& file1 = m_chip2[0];
        if (file1.bytes.size() >= lengths[0].size()) {
            NextChip2File();
        } else if (sequence == 1 && file1.lastSequence != 0) {
            Violate(Text("Chip 2 file 1 ended after ", file1.bytes.size(),
                         " bytes, segment 1 holds ", lengths[0].size()));
            NextChip2File();
        }
    } else if (sequence == 1 && m_chip2[1].lastSequence != 0) {
        // Chip 2 programmed again from its first file.
        if (m_chip2[1].bytes.size() < lengths[1].size()) {
            Violate(Text("Chip 2 file 2 ended after ", m_chip2[1].bytes.size(),
                         " bytes, segment 2 holds ", lengths[1].size()));
        }
        NextChip2File();
        if (lengths[0].empty()) m_chip2File = 2;
    }
    StoredImage& file = m_chip2[m_chip2File - 1];
    const auto& expected = lengths[m_chip2File - 1];
    if (file.bytes.size() + length > expected.size() && length <= kMaxChunkData) {
        Violate(Text(file.name, " chunk ", sequence, " runs past the end of the file (offset ",
                     file.bytes.size(), ", length ", length, ", segment ", m_chip2File, " holds ",
                     expected.size(), ")"));
    }
    return &file;
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
    CheckUnnamedBytes(report, info->name, info->payloadEnd);
    if (!(m_ispMode ? info->inIsp : info->inAp)) {
        Violate(Text(info->name, " in ", m_ispMode ? "ISP" : "AP", " mode"));
        return;
    }

    const auto& faults = m_config.faults;
    const bool chip1SumTaken = std::exchange(m_chip1SumTaken, false);
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
            // Chip 1 is ended, after its verdict or its failure, before the dock restarts.
            if (m_chip1Phase != Chip1Phase::Idle) Violate("IspEnter before Chip1End");
            Reboot();
            m_ispMode = true;
            if (faults.noReturnAfterIspEnter) {
                actions.effect = DockActions::Unplug{};
            } else {
                actions.effect = DockActions::Restart{true};
            }
            break;
        case IspCommand::IspErase:
            m_chip3.Erase();
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
            m_chip3.verified = true;
            const auto sum =
                static_cast<std::uint16_t>(m_chip3.sum + (faults.chip3ChecksumWrong ? 1 : 0));
            actions.replies.push_back(MakeChecksum(command, sum));
            break;
        }
        case IspCommand::IspExit: {
            // IspExit commits the image: only after the host has had the dock's sum.
            if (!m_chip3.verified) Violate("IspExit before IspChecksum of the Chip 3 image");
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
            CheckExitVersion(report);
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
                m_chip1.Erase();
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
            m_chip1.verified = true;
            m_chip1SumTaken = true;
            const auto sum =
                static_cast<std::uint16_t>(m_chip1.sum + (faults.chip1ChecksumWrong ? 1 : 0));
            actions.replies.push_back(MakeChecksum(command, sum));
            break;
        }
        case IspCommand::Chip1End:
            // Without data (a failed preparation or erase) there is nothing to verify.
            if (!m_chip1.verified && m_chip1.chunks > 0) {
                Violate("Chip1End before Chip1Checksum of the Chip 1 image");
            }
            m_chip1Phase = Chip1Phase::Idle;
            // Answered after a verification only: the host moves on to Chip 3 on that answer,
            // while after a failed preparation or erase it expects none and waits for the
            // operator, whose next Start would take a late answer for its own.
            if (chip1SumTaken) actions.replies.push_back(MakeStatus(command, kStatusOk));
            break;
    }
}

void CDockLogic::CheckUnnamedBytes(std::span<const std::uint8_t> report, std::string_view name,
                                   std::size_t payloadEnd) {
    const auto unnamed = report.subspan(payloadEnd, kEndByteIndex - payloadEnd);
    const auto first = std::find_if(unnamed.begin(), unnamed.end(), [](auto b) { return b != 0; });
    if (first == unnamed.end()) return;
    const auto more = std::count_if(first + 1, unnamed.end(), [](auto b) { return b != 0; });
    auto text =
        Text(name, ": byte ", payloadEnd + static_cast<std::size_t>(first - unnamed.begin()),
             " is ", Hex{*first, 2}, ", but the command names no such byte (must be 0)");
    if (more > 0) text += Text(", and ", static_cast<std::uint64_t>(more), " more");
    Violate(std::move(text));
}

void CDockLogic::CheckExitVersion(std::span<const std::uint8_t> report) {
    if (!m_config.expected) return;
    const auto& expected = m_config.expected->version;
    const auto sent = report.subspan(9, expected.size());
    if (std::equal(sent.begin(), sent.end(), expected.begin())) return;
    Violate(Text("IspExit version bytes ", HexBytes(sent), ", the package's version is ",
                 HexBytes(expected)));
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

void CDockLogic::Violate(std::string text) {
    // One misplaced byte early in Chip 1 puts every later page out of step; the first notes
    // tell the story, and a dock that runs for days must not grow without bound.
    if (m_violations.size() < kMaxViolationsNoted) {
        m_violations.push_back(std::move(text));
    } else {
        ++m_violationsNotNoted;
    }
}

DockReport CDockLogic::Report() const {
    DockReport report;
    // Without an expectation nothing is due, and the images are shown as they are.
    static const DockExpectation kNothing;
    const auto& expected = m_config.expected ? *m_config.expected : kNothing;
    report.judged = m_config.expected != nullptr;
    const auto judge = [&](const StoredImage& image, bool due, const auto& bytes) {
        return Judge(image.bytes, image.written, report.judged && due, bytes);
    };
    report.chip1 = judge(m_chip1, m_due.chip1, expected.chip1);
    report.chip2 = {judge(m_chip2[0], m_due.chip2, expected.chip2[0]),
                    judge(m_chip2[1], m_due.chip2, expected.chip2[1])};
    report.chip3 = judge(m_chip3, m_due.chip3, expected.chip3);
    report.chip1Chunks = m_chip1.chunks;
    report.chip2Chunks = {m_chip2[0].chunks, m_chip2[1].chunks};
    report.chip3Chunks = m_chip3.chunks;
    report.chip1Sum = m_chip1.sum;
    report.chip3Sum = m_chip3.sum;
    report.violations = m_violations;
    if (m_violationsNotNoted > 0) {
        report.violations.push_back(Text("and ", m_violationsNotNoted, " more violations"));
    }
    return report;
}

}  // namespace tamblor
