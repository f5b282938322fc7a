#include "TamblorEngine.h"

#include <cstdio>

#include "package/VersionPolicy.h"

namespace tamblor {

CTamblorEngine::CTamblorEngine(IHidBus& bus, IUiPort& ui, ReadRetryPolicy readRetry,
                               SilencePolicy silence)
    : m_bus(bus), m_ui(ui), m_readRetry(readRetry), m_silence(silence) {}

CTamblorEngine::~CTamblorEngine() { OnDestroy(); }

void CTamblorEngine::OnInitDialog(const std::filesystem::path& executable) {
    // Threads before the package and the scan last, so the operator first reads the loader's
    // complaint, if any, and then what the scan found.
    StartIoThreads();
    LoadPackage(executable);
    OnScan();
}

int CTamblorEngine::LoadPackage(const std::filesystem::path& executable) {
    auto result = tamblor::LoadPackage(executable);
    std::lock_guard lock(m_lock);
    m_package = result.info;
    m_sequence.SetPackage(m_package);
    if (result.code != 0) {
        char line[32];
        std::snprintf(line, sizeof line, "ISP error %d!", result.code);
        PostFailure(line);
        return 1;
    }
    m_packageFile = std::move(result.file);
    g_packageLoaded = 1;
    m_ui.SetVersionText(m_package.versionText);
    return 0;
}

void CTamblorEngine::OnDeviceReport(std::span<const std::uint8_t> report) {
    std::lock_guard lock(m_lock);
    DispatchReport(report);
}

void CTamblorEngine::DispatchReport(std::span<const std::uint8_t> report) {
    // The device's reports cannot tell an answer from a report sent unasked, so each still
    // runs one step; but one that comes while nothing is owed is no answer at all, and a
    // device that keeps its contract never sends it.
    if (m_awaitedAnswers.empty()) return;
    // Keep our own copy: later steps (also on the UI thread) read the last reply after the
    // reader has reused its buffer.
    Report reply{};
    std::copy_n(report.begin(), std::min(report.size(), reply.size()), reply.begin());
    if (!TakeOwedAnswer(reply)) return;
    NoteSignOfLife();
    m_lastReply = DecodeReply(reply);
    const auto& r = m_lastReply;
    if (r.wellFormed) {
        if (r.IsMode()) {
            m_ispMode = r.IspMode() ? 1 : 0;
            if (m_ispMode) {
                PostLogLine("ISP device found!");
                if (m_sequence.State() == SequenceState::Idle) {
                    m_ui.EnableUpgradeButton(true);
                } else {
                    m_sequence.DockFoundInIsp();
                }
            } else {
                m_sequence.DockFoundInAp();
                PostLogLine("AP device found!");
                SendGetVersion();
            }
        } else if (r.IsVersion()) {
            if (CheckVersion(m_package.m_fileVersion.data(), r.version.data())) {
                m_ui.EnableUpgradeButton(true);
            }
        }
    }
    RunUpgradeStep(m_lastReply);
}

int CTamblorEngine::CheckVersion(const std::uint8_t* fileVersion,
                                 const std::uint8_t* deviceVersion) {
    auto verdict = EvaluateVersion(fileVersion, deviceVersion);
    for (auto& line : verdict.lines) PostLogLine(std::move(line));
    if (verdict.resetProgress) m_ui.SetProgressPosition(0);
    return verdict.result;
}

void CTamblorEngine::PostLogLine(std::string text) {
    m_ui.PostLogRecord(LogRecord{std::move(text), 0, false});
}

void CTamblorEngine::PostFailure(std::string text, COutcomeRecorder::Failure kind) {
    m_outcome.Fail(kind, text);
    PostLogLine(std::move(text));
}

void CTamblorEngine::PostLogProgress(std::string text, int value) {
    m_ui.PostLogRecord(LogRecord{std::move(text), static_cast<std::uint16_t>(value), true});
}

std::uint8_t CTamblorEngine::UpgradeState() const {
    std::lock_guard lock(m_lock);
    return StateNumber(m_sequence.State());
}

bool CTamblorEngine::IsUpgradeRunning() const {
    std::lock_guard lock(m_lock);
    return m_sequence.IsRunning();
}

UpgradeOutcome CTamblorEngine::Outcome() const {
    std::lock_guard lock(m_lock);
    return m_outcome.Outcome(m_sequence.IsRunning());
}

bool CTamblorEngine::IsDeviceReady() const {
    std::lock_guard lock(m_lock);
    return m_deviceReady != 0;
}

LinkState CTamblorEngine::Link() const {
    std::lock_guard lock(m_lock);
    return m_link;
}

}  // namespace tamblor
