// The bound on a device's silence: a dock that stops answering without leaving, or that never
// comes back from its restart, ends the sequence with a word instead of a wait for ever.
#include <cstdio>

#include "TamblorEngine.h"

namespace tamblor {
namespace {

std::string BoundText(std::chrono::milliseconds bound) {
    char text[32];
    if (bound.count() % 1000 == 0) {
        std::snprintf(text, sizeof text, "%lld s", static_cast<long long>(bound.count() / 1000));
    } else {
        std::snprintf(text, sizeof text, "%lld ms", static_cast<long long>(bound.count()));
    }
    return text;
}

}  // namespace

void CTamblorEngine::SetSilenceBound(std::chrono::milliseconds bound) {
    std::lock_guard lock(m_lock);
    m_silence.bound = bound;
    m_readerWake.notify_all();
}

bool CTamblorEngine::SilenceWatched() const {
    return !m_awaitedAnswers.empty() || m_sequence.IsRunning();
}

void CTamblorEngine::NoteSignOfLife() {
    const bool watched = SilenceWatched();
    m_lastSignOfLife = std::chrono::steady_clock::now();
    // The watch sleeps without a deadline while nothing is owed; what follows may start one.
    if (!watched) m_readerWake.notify_all();
}

void CTamblorEngine::SilenceWatchProc() {
    std::unique_lock lock(m_lock);
    // After OnDestroy nothing is said any more; the reader's stop ends this too.
    while (!m_stopping && !m_destroyed) {
        // Woken early by every notice to the reader; each pass only looks at the clock.
        if (!SilenceWatched()) {
            const auto generation = m_wakeGeneration;
            const auto since = m_lastSignOfLife;
            m_readerWake.wait(lock, [&] {
                return m_stopping || m_wakeGeneration != generation || m_lastSignOfLife != since ||
                       SilenceWatched();
            });
            continue;
        }
        const auto deadline = m_lastSignOfLife + m_silence.bound;
        if (std::chrono::steady_clock::now() < deadline) {
            m_readerWake.wait_until(lock, deadline);
            continue;
        }
        EndSilence();
    }
}

void CTamblorEngine::EndSilence() {
    const auto bound = BoundText(m_silence.bound);
    if (m_link.g_deviceConnected != 0) {
        // Connected and silent: the device is of no use any more, as if it had left.
        EndLink(("No answer from the device for " + bound + "; reconnect it, please.").c_str());
    } else {
        // Only the restart's wait outlives the link (EndLink keeps state 9).
        PostLogLine("The device did not come back from its restart within " + bound +
                    "; reconnect it, please.");
        // Nothing can answer without a link; nor may the watch find this again.
        m_awaitedAnswers.clear();
    }
    // EndLink keeps the restart's wait (and says no "Error!, restart please." there, where the
    // dock is meant to leave), and may have found the dock back already: a scan then asked its
    // mode, and the wait goes on from there. Otherwise the wait ends here, with its verdict.
    if (m_link.g_deviceConnected == 0 && m_sequence.IsRunning()) {
        m_sequence.Abandon();
        // Nothing waits for the dock any more: when it comes back, another copy may have it.
        DropClaim();
        PostLogLine("The upgrade did not finish.");
        m_ui.EnableUpgradeButton(false);
    }
}

}  // namespace tamblor
