// The upgrade state machine, the segment streams and the ISP command builders.
#include <algorithm>
#include <cstdio>

#include "TamblorEngine.h"
#include "isp/IspCommands.h"

namespace tamblor {

void CTamblorEngine::RunUpgradeStep(const IspReply& reply) {
    using S = SequenceState;
    const std::uint8_t r5 = reply.status;
    const auto checksum = reply.checksum;
    // States entered by "continue" do their work in the same call.
    for (bool again = true; again;) {
        again = false;
        switch (m_upgradeState) {
            case S::Chip2File1Begin:
                BeginStream(StreamKind::Chip2File1);
                m_upgradeState = S::Chip2File1Sending;
                again = true;
                break;
            case S::Chip2File1Sending:
                if (StreamStep() == StreamStatus::Finished) {
                    PostLogLine("File 1/2 End");
                    m_upgradeState = S::Chip2File2Begin;
                    again = true;
                }
                break;
            case S::Chip2File2Begin:
                BeginStream(StreamKind::Chip2File2);
                m_upgradeState = S::Chip2File2Sending;
                again = true;
                break;
            case S::Chip2File2Sending:
                if (StreamStep() == StreamStatus::Finished) {
                    PostLogLine("File 2/2 End, ISP Chip 2 FINISH");
                    m_outcome.Chip2Ended();
                    m_upgradeState = S::SwitchToIsp;
                    again = true;
                }
                break;
            case S::SwitchToIsp:
                m_ui.SetFillColor(kFillGold, true);
                SendIspSwitch();
                m_upgradeState = S::AwaitIspDevice;
                break;
            case S::AwaitIspDevice:
                if (m_ispMode == 1) {
                    SendIspErase();
                    m_upgradeState = S::Chip3Erasing;
                }
                break;
            case S::Chip3Erasing:
                if (r5 != 0) {
                    PostFailure("ISP Chip 3 ERASE ERROR!");
                    m_upgradeState = S::Ended;
                } else {
                    BeginStream(StreamKind::Chip3);
                    m_upgradeState = S::Chip3Sending;
                    again = true;
                }
                break;
            case S::Chip3Verifying:
                if (checksum == m_package.m_segmentSum0) {
                    PostLogLine("Chip 3 Checksum pass, ISP Success!");
                    m_outcome.Chip3Passed();
                    SendIspSwitch();
                } else {
                    PostFailure("ISP Chip 3 false!");
                }
                m_upgradeState = S::Ended;
                break;
            case S::Chip3Sending:
                if (StreamStep() == StreamStatus::Finished) {
                    PostLogLine("File 1/1 End");
                    PostLogLine("ISP Chip 3 Finish!");
                    m_ui.SetFillColor(kFillGreen, true);
                    SendIspChecksum();
                    m_upgradeState = S::Chip3Verifying;
                }
                break;
            case S::Chip1Prepare:
                m_ui.SetFillColor(kFillGold, true);
                PostLogLine("WORK_PREPARE..");
                m_outcome.Chip1Began();
                SendChip1Prepare();
                m_upgradeState = S::Chip1Preparing;
                break;
            case S::Chip1Preparing:
                if (r5 != 0) {
                    PostFailure("ISP Chip 1 FLASH ERROR!");
                    SendChip1End(Answer::None);
                    m_upgradeState = S::Ended;
                } else {
                    SendChip1Erase();
                    m_upgradeState = S::Chip1Erasing;
                }
                break;
            case S::Chip1Erasing:
                if (r5 != 0) {
                    PostFailure("ISP Chip 1 ERASE ERROR!");
                    SendChip1End(Answer::None);
                    m_upgradeState = S::Ended;
                } else {
                    PostLogLine("Chip 1 Erasing...");
                    SendChip1EraseStatus();
                    m_upgradeState = S::Chip1EraseWaiting;
                }
                break;
            case S::Chip1EraseWaiting:
                if (r5 != 0) {
                    SendChip1EraseStatus();
                } else {
                    BeginStream(StreamKind::Chip1);
                    m_upgradeState = S::Chip1Sending;
                    again = true;
                }
                break;
            case S::Chip1Sending:
                if (StreamStep() == StreamStatus::Finished) {
                    PostLogLine("File 1/1 End");
                    PostLogLine("ISP Chip 1 Finish!");
                    PostLogLine("Verify..");
                    SendChip1Checksum();
                    m_upgradeState = S::Chip1Verifying;
                }
                break;
            case S::Chip1Verifying:
                if (checksum == m_package.m_segmentSum4) {
                    PostLogLine("Chip 1 Checksum pass, ISP Success!");
                    m_outcome.Chip1Passed();
                } else {
                    char line[64];
                    std::snprintf(line, sizeof line, "Chip 1 checksum cul:%6x , %6x",
                                  static_cast<unsigned>(checksum),
                                  static_cast<unsigned>(m_package.m_segmentSum4));
                    PostFailure(line);
                    PostFailure("ISP false!");
                }
                SendChip1End(Answer::Awaited);
                m_upgradeState = S::SwitchToIsp;
                break;
            case S::Idle:
            case S::Ended:
                break;
        }
    }
}

void CTamblorEngine::BeginStream(StreamKind kind) {
    m_chunkSeq = 0;
    m_cursor.kind = kind;
    m_cursor.g_pageLeft = 0;
    const auto segment = SegmentIndex(kind);
    m_cursor.g_segTotal = m_package.m_segmentLength[segment];
    m_cursor.g_segRemaining = m_cursor.g_segTotal;
    m_cursor.g_segOffset = m_package.m_segmentOffset[segment];
    PostLogLine(StreamTitle(kind, m_cursor.g_segTotal));
    if (kind == StreamKind::Chip2File1) m_outcome.Chip2Began();
    PostLogLine("");
    if (kind == StreamKind::Chip2File1) m_ui.SetFillColor(kFillGold, true);
    m_ui.SetProgressPosition(0);
}

CTamblorEngine::StreamStatus CTamblorEngine::StreamStep() {
    if (m_cursor.g_segRemaining == 0) {
        PostLogProgress(StreamEndText(m_cursor.kind, m_cursor.g_segTotal), 100);
        return StreamStatus::Finished;
    }
    const auto sent = m_cursor.g_segTotal - m_cursor.g_segRemaining;
    const auto percent = StreamPercent(sent, m_cursor.g_segTotal);
    PostLogProgress(StreamProgressText(m_cursor.kind, sent, percent), static_cast<int>(percent));
    if (!(IsPaged(m_cursor.kind) ? SendPagedChunk() : SendChunk())) {
        // Never send bytes we could not read, nor bytes other than those loaded (the package
        // changed under the tool): the chip would be programmed with garbage and its checksum
        // could not tell us which.
        PostFailure("ISP file read error!");
        m_upgradeState = SequenceState::Ended;
        return StreamStatus::Failed;
    }
    return StreamStatus::Running;
}

bool CTamblorEngine::SendChunk() { return SendCursorChunk(TakePlainChunk(m_cursor)); }

bool CTamblorEngine::SendPagedChunk() { return SendCursorChunk(TakePagedChunk(m_cursor)); }

bool CTamblorEngine::SendCursorChunk(std::uint32_t length) {
    ++m_chunkSeq;
    std::array<std::uint8_t, kMaxChunkData> data{};
    const auto offset = m_cursor.g_segOffset;
    m_cursor.g_segOffset += length;
    const auto got = m_packageFile
                         ? m_packageFile->ReadChecked(offset, std::span(data.data(), length))
                         : std::size_t{0};
    if (got != length) return false;
    NoteSent(SendReport(MakeChunkReport(m_chunkSeq, std::span(data.data(), length))),
             Answer::Awaited);
    return true;
}

void CTamblorEngine::NoteSent(bool sent, Answer answer, AwaitedReply reply) {
    // A report that did not go out is answered by nothing.
    if (!sent || answer != Answer::Awaited) return;
    // The same question asked again (a rescan) is settled by one answer: the first may have
    // been lost with the channel the rescan closed, and a second owed would then never come.
    if (reply != AwaitedReply::Any && std::find(m_awaitedAnswers.begin(), m_awaitedAnswers.end(),
                                                reply) != m_awaitedAnswers.end()) {
        return;
    }
    m_awaitedAnswers.push_back(reply);
}

bool CTamblorEngine::TakeOwedAnswer(const Report& reply) {
    // A reply that says what it answers settles the oldest such query owed. The dock answers
    // in order, so whatever was owed before that query went with a channel a rescan closed.
    if (IsWellFormedReply(reply) && (reply[1] == kReplyMode || reply[1] == kReplyVersion)) {
        const auto kind = reply[1] == kReplyMode ? AwaitedReply::Mode : AwaitedReply::Version;
        const auto query = std::find(m_awaitedAnswers.begin(), m_awaitedAnswers.end(), kind);
        if (query != m_awaitedAnswers.end()) {
            m_awaitedAnswers.erase(m_awaitedAnswers.begin(), query + 1);
            return true;
        }
        // A late answer to a query asked again and already settled: never a step of the
        // sequence (a mode reply there would abandon it halfway, Chip 2 half written).
        return false;
    }
    // Anything else answers only a report that is no query.
    if (m_awaitedAnswers.front() != AwaitedReply::Any) return false;
    m_awaitedAnswers.pop_front();
    return true;
}

void CTamblorEngine::SendCommand(const Report& report, Answer answer) {
    if (m_link.g_deviceConnected == 0) return;
    NoteSent(SendReport(report), answer);
}

void CTamblorEngine::SendIspSwitch() {
    if (m_ispMode == 0) {
        // Answered by the restart: the removal, the return and the scan's mode query.
        SendCommand(MakeCommandReport(IspCommand::IspEnter), Answer::None);
        return;
    }
    SendCommand(MakeIspExit(m_package.m_segmentSum0, m_package.m_segmentLength[kSegChip3],
                            m_package.m_fileVersion),
                Answer::None);
}

void CTamblorEngine::SendIspErase() {
    SendCommand(MakeIspErase(m_package.m_segmentLength[kSegChip3]), Answer::Awaited);
}

void CTamblorEngine::SendIspChecksum() {
    SendCommand(MakeIspChecksum(m_package.m_segmentLength[kSegChip3]), Answer::Awaited);
}

void CTamblorEngine::SendGetMode() {
    if (m_link.g_deviceConnected == 0) return;
    NoteSent(SendReport(MakeCommandReport(IspCommand::GetMode)), Answer::Awaited,
             AwaitedReply::Mode);
}

void CTamblorEngine::SendGetVersion() {
    if (m_link.g_deviceConnected == 0) return;
    NoteSent(SendReport(MakeCommandReport(IspCommand::GetVersion)), Answer::Awaited,
             AwaitedReply::Version);
}

void CTamblorEngine::SendChip1Prepare() {
    SendCommand(MakeCommandReport(IspCommand::Chip1Prepare), Answer::Awaited);
}

void CTamblorEngine::SendChip1Erase() {
    SendCommand(MakeCommandReport(IspCommand::Chip1Erase), Answer::Awaited);
}

void CTamblorEngine::SendChip1EraseStatus() {
    SendCommand(MakeCommandReport(IspCommand::Chip1EraseStatus), Answer::Awaited);
}

void CTamblorEngine::SendChip1Checksum() {
    SendCommand(MakeChip1Checksum(m_package.m_segmentLength[kSegChip1]), Answer::Awaited);
}

void CTamblorEngine::SendChip1End(Answer answer) {
    SendCommand(MakeCommandReport(IspCommand::Chip1End), answer);
}

}  // namespace tamblor
