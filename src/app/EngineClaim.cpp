// The claim on the dock's place, which outlives the dock's path across its restart.
#include "TamblorEngine.h"

namespace tamblor {

bool CTamblorEngine::ClaimDock(const HidInterfaceInfo& info) {
    if (m_claimed && m_claimPlace == info.place) return true;
    ClaimResult result = m_bus.ClaimPlace(info);
    if (result.outcome == ClaimOutcome::HeldElsewhere) return false;
    if (result.outcome == ClaimOutcome::Unavailable && !m_claimNoteTold) {
        m_claimNoteTold = true;
        PostLogLine("The dock at " + info.place + " cannot be claimed (" + result.detail +
                    "): another copy of tamblor could take it while it restarts.");
    }
    // The new hold is in place before an old one (another place) goes.
    m_claimHold = std::move(result.hold);
    m_claimed = true;
    m_claimPlace = info.place;
    m_refusalToldFor.reset();
    return true;
}

void CTamblorEngine::ReleaseClaimUnlessWaiting() {
    if (m_sequence.State() != SequenceState::AwaitIspDevice) DropClaim();
}

void CTamblorEngine::DropClaim() {
    m_claimHold.reset();
    m_claimed = false;
    m_claimPlace.clear();
}

void CTamblorEngine::NoteRefusedClaim() {
    if (m_refusalToldFor == m_link.refusedPlace) return;
    m_refusalToldFor = m_link.refusedPlace;
    PostLogLine("The dock at " + m_link.refusedPlace +
                " is being upgraded by another copy of tamblor: waiting for it to finish.");
}

}  // namespace tamblor
