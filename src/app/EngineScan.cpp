// The operator's commands, device changes and the search for the device.
#include <algorithm>
#include <cstdio>
#include <utility>

#include "DevicePath.h"
#include "DockMatch.h"
#include "ModelTable.h"
#include "TamblorEngine.h"

namespace tamblor {
namespace {

bool FitsReportBuffers(std::uint16_t reportLength) {
    return reportLength >= kMinReportLength && reportLength <= kMaxReportLength;
}

std::string PidLine(const char* label, std::uint16_t pid) {
    char text[48];
    std::snprintf(text, sizeof text, "%s0X%X : ", label, static_cast<unsigned>(pid));
    return text + LookupModelName(pid);
}

}  // namespace

bool CTamblorEngine::OpenHidDevice(std::uint16_t vendorId, std::uint16_t productId,
                                   std::uint16_t versionNumber) {
    m_link.g_devicePath.clear();
    const auto interfaces = m_bus.EnumerateInterfaces();
    const HidInterfaceInfo* matched = nullptr;
    bool unreadableCaps = false;
    for (const auto& candidate : interfaces) {
        if (!candidate.attributes) continue;
        const auto& attributes = *candidate.attributes;
        if (attributes.vendorId != vendorId) {
            m_link.g_vendorMatched = 0;
            continue;
        }
        m_link.g_vendorMatched = 1;
        if (attributes.productId != productId) {
            m_link.g_devicePid = attributes.productId;
            continue;
        }
        if (attributes.versionNumber != versionNumber) continue;
        if (!candidate.caps) {
            unreadableCaps = true;
            continue;
        }
        if (!IsExpectedCollection(*candidate.caps)) continue;
        matched = &candidate;
        break;
    }
    m_link.unreadableCaps = matched == nullptr && unreadableCaps;
    m_link.claimRefused = false;
    m_link.refusedPlace.clear();
    if (matched == nullptr) return false;
    if (!ClaimDock(*matched)) {
        // Another copy is upgrading this dock: not a byte of ours may reach it, nor may we
        // read the answers meant for that copy.
        CloseHidDevice();
        m_link.g_deviceConnected = 0;
        m_link.claimRefused = true;
        m_link.refusedPlace = matched->place;
        return false;
    }

    // A rescan while connected: the reader may be blocked on the old read channel, so release
    // the old channels before opening new ones.
    CloseHidDevice();
    m_link.g_inputReportLength = matched->caps->inputReportByteLength;
    m_link.g_outputReportLength = matched->caps->outputReportByteLength;
    m_link.g_deviceConnected = 1;
    m_link.g_devicePath = matched->path;
    // Our report buffers hold 64 bytes, and a reply needs room after the report ID, as does a
    // command: a device whose reports are longer, or too short to carry anything (length 0:
    // it declares none of that kind), stays unopened, which the scan reports as "device
    // Error!". Nothing else then reads it in a loop or writes more than it takes.
    if (!FitsReportBuffers(m_link.g_inputReportLength) ||
        !FitsReportBuffers(m_link.g_outputReportLength)) {
        ReleaseClaimUnlessWaiting();
        return true;
    }
    if (auto read = m_bus.OpenInterfaceRead(*matched)) {
        m_readChannel = std::move(read);
        m_link.g_readOpen = 1;
    }
    if (auto write = m_bus.OpenWrite(matched->path)) {
        m_writeChannel = std::move(write);
        m_link.g_writeOpen = 1;
    }
    // Only a copy that can work on the dock keeps others away: one denied its node (no
    // permission, say) would otherwise lock out the copy that could upgrade it.
    if (m_link.g_readOpen == 0 || m_link.g_writeOpen == 0) ReleaseClaimUnlessWaiting();
    return true;
}

void CTamblorEngine::CloseHidDevice() {
    m_link.g_readOpen = 0;
    m_link.g_writeOpen = 0;
    if (m_readChannel) m_readChannel->Cancel();
    m_readChannel.reset();
    m_writeChannel.reset();
}

void CTamblorEngine::OnScan() {
    std::lock_guard lock(m_lock);
    ScanLocked();
}

void CTamblorEngine::ScanLocked() {
    if (m_destroyed) return;
    OpenHidDevice(m_package.g_packageVid, m_package.g_packagePid, g_expectedVersionNumber);
    m_deviceReady = 0;
    m_ui.EnableUpgradeButton(false);
    if (m_link.g_deviceConnected == 0) {
        if (m_link.claimRefused) {
            NoteRefusedClaim();
            return;
        }
        ReleaseClaimUnlessWaiting();
        if (m_link.unreadableCaps) {
            // The package's device is there but unusable: no product ID differed.
            PostFailure("device Error!");
            m_ui.SetProgressPosition(0);
            return;
        }
        PostLogLine("No device found!");
        m_ui.SetProgressPosition(0);
        if (m_link.g_vendorMatched == 1) {
            PostLogLine("PID error!");
            PostLogLine(PidLine("File PID: ", m_package.g_packagePid));
            PostLogLine(PidLine("Device PID: ", m_link.g_devicePid));
        }
        return;
    }
    if (g_threadsStarted == 0) {
        PostFailure("device Error!");
        return;
    }
    if (m_link.g_readOpen == 0 || m_link.g_writeOpen == 0) {
        PostFailure("device Error!");
        if (auto hint = m_bus.OpenFailureHint(); !hint.empty()) PostLogLine(std::move(hint));
        return;
    }
    if (g_packageLoaded == 0) {
        PostFailure("file Error!");
        return;
    }
    WakeReader();
    SendGetMode();
    m_deviceReady = 1;
    if (m_sequence.State() != SequenceState::Idle) RunUpgradeStep();
}

void CTamblorEngine::OnStartUpgrade() {
    std::lock_guard lock(m_lock);
    if (m_deviceReady == 0) return;
    // Taken once: a second press before the button went grey must not restart the sequence
    // under the device, nor may a press after the device has gone.
    if (m_link.g_deviceConnected == 0) return;
    if (m_sequence.IsRunning()) return;
    // Nor while the device still owes an answer (a press that slipped in before a rescan's
    // grey button): the sequence's first report would go out beside the query, and the
    // query's answer would be taken for the sequence's, or, a mode reply, abandon it halfway.
    if (!m_awaitedAnswers.empty()) return;
    m_ui.ClearLog();
    PostLogLine("Waiting...");
    m_outcome.Start();
    NoteSignOfLife();
    m_sequence.Start(m_ispMode == 1);
    RunUpgradeStep();
    m_ui.EnableUpgradeButton(false);
}

void CTamblorEngine::OnTest() {
    for (int i = 0; i < 9; ++i) PostLogLine(" ");
}

int CTamblorEngine::OnDeviceChange(const DeviceChange& change) {
    std::lock_guard lock(m_lock);
    if (m_destroyed) return 0;
    if (change.kind == DeviceChangeKind::Arrival) {
        // While a sequence runs over a usable link, an arrival must not rescan: the rescan's
        // mode query would abandon the sequence (an AP answer resets it) or restart Chip 3
        // from its erase. The arrival may be the dock itself, back from its restart before
        // the old interface's removal was announced: the end of the link looks again.
        const bool linkUsable =
            m_link.g_deviceConnected == 1 && m_link.g_readOpen == 1 && m_link.g_writeOpen == 1;
        const bool sequenceRunning = m_sequence.IsRunning();
        if (m_link.g_deviceConnected == 1) m_arrivalWhileConnected = true;
        if (linkUsable && sequenceRunning) return 0;
        ScanLocked();
        return 0;
    }
    if (!SameDevicePath(change.path, m_link.g_devicePath)) return 0;
    if (m_link.g_deviceConnected == 0) return 1;
    // The restart's wait for the dock's return counts from its departure.
    NoteSignOfLife();
    EndLink("No Device found!");
    return 1;
}

void CTamblorEngine::EndLink(const char* line) {
    m_ispMode = 0;
    m_link.g_deviceConnected = 0;
    CloseHidDevice();
    // Nothing the device owed can come any more; whatever the next link brings is new.
    m_awaitedAnswers.clear();
    PostLogLine(line);
    CarryOut(m_sequence.LinkEnded());
    ReleaseClaimUnlessWaiting();
    m_ui.EnableUpgradeButton(false);
    // An interface that arrived while this one was connected may be the dock back already
    // (notices of a restart can come in either order): find it now, as no arrival will
    // announce it again. Looked for first, so nothing is said when it is not there.
    if (std::exchange(m_arrivalWhileConnected, false) && ExpectedDevicePresent()) ScanLocked();
}

bool CTamblorEngine::ExpectedDevicePresent() {
    const auto interfaces = m_bus.EnumerateInterfaces();
    return std::any_of(interfaces.begin(), interfaces.end(), [&](const HidInterfaceInfo& i) {
        return MatchesDock(i, m_package.g_packageVid, m_package.g_packagePid);
    });
}

void CTamblorEngine::OnDestroy() {
    {
        std::lock_guard lock(m_lock);
        if (m_destroyed) return;
        m_destroyed = true;
        CloseHidDevice();
        DropClaim();  // nothing waits any more
    }
    // Without the lock: the reader may be waiting for it to finish its last report.
    StopIoThreads();
    std::lock_guard lock(m_lock);
    m_packageFile.reset();
}

}  // namespace tamblor
