// The engine's side of the upgrade sequence: it carries out what the sequence returns, and
// keeps count of the answers the dock owes.
#include <algorithm>
#include <array>
#include <utility>
#include <variant>

#include "TamblorEngine.h"

namespace tamblor {

void CTamblorEngine::RunUpgradeStep(const IspReply& reply) {
    // One buffer for every step: a chunk's step then allocates nothing but its progress text.
    m_actions.clear();
    m_sequence.RunUpgradeStep(reply, m_ispMode == 1, m_actions);
    CarryOut(m_actions);
}

void CTamblorEngine::CarryOut(SequenceActions& actions) {
    for (auto& action : actions) {
        if (!std::visit([this](auto& a) { return CarryOut(a); }, action)) return;
    }
}

void CTamblorEngine::CarryOut(SequenceActions&& actions) { CarryOut(actions); }

bool CTamblorEngine::CarryOut(sequence::Line& line) {
    PostLogLine(std::move(line.text));
    return true;
}

bool CTamblorEngine::CarryOut(sequence::Failure& failure) {
    PostFailure(std::move(failure.text), failure.deviceLost ? COutcomeRecorder::Failure::DeviceLost
                                                            : COutcomeRecorder::Failure::Check);
    return true;
}

bool CTamblorEngine::CarryOut(sequence::Progress& progress) {
    PostLogProgress(std::move(progress.text), progress.value);
    return true;
}

bool CTamblorEngine::CarryOut(const sequence::Fill& fill) {
    m_ui.SetFillColor(fill.argb, true);
    return true;
}

bool CTamblorEngine::CarryOut(const sequence::Position& position) {
    m_ui.SetProgressPosition(position.value);
    return true;
}

bool CTamblorEngine::CarryOut(const sequence::Command& command) {
    SendCommand(command.report, command.answered ? Answer::Awaited : Answer::None);
    return true;
}

bool CTamblorEngine::CarryOut(const sequence::Chunk& chunk) {
    std::array<std::uint8_t, kMaxChunkData> data{};
    const auto length = std::min<std::size_t>(chunk.length, data.size());
    const auto got = m_packageFile
                         ? m_packageFile->ReadChecked(chunk.offset, std::span(data.data(), length))
                         : std::size_t{0};
    if (got != chunk.length) {
        // Nothing after a chunk in the same step: the sequence's answer replaces the rest.
        CarryOut(m_sequence.ChunkUnreadable());
        return false;
    }
    NoteSent(SendReport(MakeChunkReport(chunk.number, std::span(data.data(), length))),
             Answer::Awaited);
    return true;
}

bool CTamblorEngine::CarryOut(sequence::Milestone milestone) {
    using M = sequence::Milestone;
    switch (milestone) {
        case M::Chip2Began:
            m_outcome.Chip2Began();
            break;
        case M::Chip2Ended:
            m_outcome.Chip2Ended();
            break;
        case M::Chip1Began:
            m_outcome.Chip1Began();
            break;
        case M::Chip1Passed:
            m_outcome.Chip1Passed();
            break;
        case M::Chip3Passed:
            m_outcome.Chip3Passed();
            break;
    }
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

}  // namespace tamblor
