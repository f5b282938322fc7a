// The upgrade state machine and its segment streams.
#include "UpgradeSequence.h"

#include <cstdio>

#include "UiPort.h"
#include "isp/IspCommands.h"

namespace tamblor {
namespace {

using namespace sequence;

Command Answered(const Report& report) { return Command{report, true}; }
Command Unanswered(const Report& report) { return Command{report, false}; }

}  // namespace

void CUpgradeSequence::Start(bool ispMode) {
    if (ispMode) {
        m_upgradeState = SequenceState::AwaitIspDevice;
    } else if (m_package.m_startSelector == '2') {
        m_upgradeState = SequenceState::Chip2File1Begin;
    } else if (m_package.m_startSelector == '3') {
        m_upgradeState = SequenceState::Chip1Prepare;
    } else {
        m_upgradeState = SequenceState::SwitchToIsp;
    }
}

void CUpgradeSequence::RunUpgradeStep(const IspReply& reply, bool ispMode, SequenceActions& out) {
    using S = SequenceState;
    const std::uint8_t r5 = reply.status;
    const auto checksum = reply.checksum;
    // States entered by "continue" do their work in the same call.
    for (bool again = true; again;) {
        again = false;
        switch (m_upgradeState) {
            case S::Chip2File1Begin:
                BeginStream(StreamKind::Chip2File1, out);
                m_upgradeState = S::Chip2File1Sending;
                again = true;
                break;
            case S::Chip2File1Sending:
                if (StreamStep(out) == StreamStatus::Finished) {
                    out.emplace_back(Line{"File 1/2 End"});
                    m_upgradeState = S::Chip2File2Begin;
                    again = true;
                }
                break;
            case S::Chip2File2Begin:
                BeginStream(StreamKind::Chip2File2, out);
                m_upgradeState = S::Chip2File2Sending;
                again = true;
                break;
            case S::Chip2File2Sending:
                if (StreamStep(out) == StreamStatus::Finished) {
                    out.emplace_back(Line{"File 2/2 End, ISP Chip 2 FINISH"});
                    out.emplace_back(Milestone::Chip2Ended);
                    m_upgradeState = S::SwitchToIsp;
                    again = true;
                }
                break;
            case S::SwitchToIsp:
                out.emplace_back(Fill{kFillGold});
                SendIspSwitch(ispMode, out);
                m_upgradeState = S::AwaitIspDevice;
                break;
            case S::AwaitIspDevice:
                if (ispMode) {
                    out.emplace_back(Answered(MakeIspErase(m_package.m_segmentLength[kSegChip3])));
                    m_upgradeState = S::Chip3Erasing;
                }
                break;
            case S::Chip3Erasing:
                if (r5 != 0) {
                    out.emplace_back(Failure{"ISP Chip 3 ERASE ERROR!"});
                    m_upgradeState = S::Ended;
                } else {
                    BeginStream(StreamKind::Chip3, out);
                    m_upgradeState = S::Chip3Sending;
                    again = true;
                }
                break;
            case S::Chip3Verifying:
                if (checksum == m_package.m_segmentSum0) {
                    out.emplace_back(Line{"Chip 3 Checksum pass, ISP Success!"});
                    out.emplace_back(Milestone::Chip3Passed);
                    SendIspSwitch(ispMode, out);
                } else {
                    out.emplace_back(Failure{"ISP Chip 3 false!"});
                }
                m_upgradeState = S::Ended;
                break;
            case S::Chip3Sending:
                if (StreamStep(out) == StreamStatus::Finished) {
                    out.emplace_back(Line{"File 1/1 End"});
                    out.emplace_back(Line{"ISP Chip 3 Finish!"});
                    out.emplace_back(Fill{kFillGreen});
                    out.emplace_back(
                        Answered(MakeIspChecksum(m_package.m_segmentLength[kSegChip3])));
                    m_upgradeState = S::Chip3Verifying;
                }
                break;
            case S::Chip1Prepare:
                out.emplace_back(Fill{kFillGold});
                out.emplace_back(Line{"WORK_PREPARE.."});
                out.emplace_back(Milestone::Chip1Began);
                out.emplace_back(Answered(MakeCommandReport(IspCommand::Chip1Prepare)));
                m_upgradeState = S::Chip1Preparing;
                break;
            case S::Chip1Preparing:
                if (r5 != 0) {
                    out.emplace_back(Failure{"ISP Chip 1 FLASH ERROR!"});
                    // The device answers Chip1End after a verdict, not after a failure.
                    out.emplace_back(Unanswered(MakeCommandReport(IspCommand::Chip1End)));
                    m_upgradeState = S::Ended;
                } else {
                    out.emplace_back(Answered(MakeCommandReport(IspCommand::Chip1Erase)));
                    m_upgradeState = S::Chip1Erasing;
                }
                break;
            case S::Chip1Erasing:
                if (r5 != 0) {
                    out.emplace_back(Failure{"ISP Chip 1 ERASE ERROR!"});
                    out.emplace_back(Unanswered(MakeCommandReport(IspCommand::Chip1End)));
                    m_upgradeState = S::Ended;
                } else {
                    out.emplace_back(Line{"Chip 1 Erasing..."});
                    out.emplace_back(Answered(MakeCommandReport(IspCommand::Chip1EraseStatus)));
                    m_upgradeState = S::Chip1EraseWaiting;
                }
                break;
            case S::Chip1EraseWaiting:
                if (r5 != 0) {
                    out.emplace_back(Answered(MakeCommandReport(IspCommand::Chip1EraseStatus)));
                } else {
                    BeginStream(StreamKind::Chip1, out);
                    m_upgradeState = S::Chip1Sending;
                    again = true;
                }
                break;
            case S::Chip1Sending:
                if (StreamStep(out) == StreamStatus::Finished) {
                    out.emplace_back(Line{"File 1/1 End"});
                    out.emplace_back(Line{"ISP Chip 1 Finish!"});
                    out.emplace_back(Line{"Verify.."});
                    out.emplace_back(
                        Answered(MakeChip1Checksum(m_package.m_segmentLength[kSegChip1])));
                    m_upgradeState = S::Chip1Verifying;
                }
                break;
            case S::Chip1Verifying:
                if (checksum == m_package.m_segmentSum4) {
                    out.emplace_back(Line{"Chip 1 Checksum pass, ISP Success!"});
                    out.emplace_back(Milestone::Chip1Passed);
                } else {
                    char line[64];
                    std::snprintf(line, sizeof line, "Chip 1 checksum cul:%6x , %6x",
                                  static_cast<unsigned>(checksum),
                                  static_cast<unsigned>(m_package.m_segmentSum4));
                    out.emplace_back(Failure{line});
                    out.emplace_back(Failure{"ISP false!"});
                }
                // After a verdict the device answers Chip1End; its answer starts Chip 3.
                out.emplace_back(Answered(MakeCommandReport(IspCommand::Chip1End)));
                m_upgradeState = S::SwitchToIsp;
                break;
            case S::Idle:
            case S::Ended:
                break;
        }
    }
}

SequenceActions CUpgradeSequence::ChunkUnreadable() {
    // Never send bytes we could not read, nor bytes other than those loaded (the package
    // changed under the tool): the chip would be programmed with garbage and its checksum
    // could not tell us which.
    m_upgradeState = SequenceState::Ended;
    return {Failure{"ISP file read error!"}};
}

void CUpgradeSequence::DockFoundInIsp() {
    if (IsRunning()) m_upgradeState = SequenceState::AwaitIspDevice;
}

void CUpgradeSequence::DockFoundInAp() { m_upgradeState = SequenceState::Idle; }

SequenceActions CUpgradeSequence::LinkEnded() {
    switch (m_upgradeState) {
        case SequenceState::Idle:
        case SequenceState::AwaitIspDevice:
            return {};
        case SequenceState::Ended:
            m_upgradeState = SequenceState::Idle;
            return {};
        default:
            m_upgradeState = SequenceState::Idle;
            return {Failure{"Error!, restart please.", true}};
    }
}

void CUpgradeSequence::BeginStream(StreamKind kind, SequenceActions& out) {
    m_chunkSeq = 0;
    m_cursor.kind = kind;
    m_cursor.g_pageLeft = 0;
    const auto segment = SegmentIndex(kind);
    m_cursor.g_segTotal = m_package.m_segmentLength[segment];
    m_cursor.g_segRemaining = m_cursor.g_segTotal;
    m_cursor.g_segOffset = m_package.m_segmentOffset[segment];
    out.emplace_back(Line{StreamTitle(kind, m_cursor.g_segTotal)});
    if (kind == StreamKind::Chip2File1) out.emplace_back(Milestone::Chip2Began);
    out.emplace_back(Line{""});
    if (kind == StreamKind::Chip2File1) out.emplace_back(Fill{kFillGold});
    out.emplace_back(Position{0});
}

CUpgradeSequence::StreamStatus CUpgradeSequence::StreamStep(SequenceActions& out) {
    if (m_cursor.g_segRemaining == 0) {
        out.emplace_back(Progress{StreamEndText(m_cursor.kind, m_cursor.g_segTotal), 100});
        return StreamStatus::Finished;
    }
    const auto sent = m_cursor.g_segTotal - m_cursor.g_segRemaining;
    const auto percent = StreamPercent(sent, m_cursor.g_segTotal);
    out.emplace_back(
        Progress{StreamProgressText(m_cursor.kind, sent, percent), static_cast<int>(percent)});
    // Plain chunks: up to 59 bytes; paged: never across a 256-byte page.
    const auto length =
        IsPaged(m_cursor.kind) ? TakePagedChunk(m_cursor) : TakePlainChunk(m_cursor);
    ++m_chunkSeq;
    out.emplace_back(Chunk{m_chunkSeq, m_cursor.g_segOffset, length});
    m_cursor.g_segOffset += length;
    return StreamStatus::Running;
}

void CUpgradeSequence::SendIspSwitch(bool ispMode, SequenceActions& out) const {
    if (!ispMode) {
        // Answered by the restart: the removal, the return and the scan's mode query.
        out.emplace_back(Unanswered(MakeCommandReport(IspCommand::IspEnter)));
        return;
    }
    out.emplace_back(Unanswered(MakeIspExit(
        m_package.m_segmentSum0, m_package.m_segmentLength[kSegChip3], m_package.m_fileVersion)));
}

}  // namespace tamblor
