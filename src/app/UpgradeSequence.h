#pragma once

#include "SequenceActions.h"
#include "SequenceState.h"
#include "isp/IspReply.h"
#include "isp/SegmentStream.h"
#include "package/PackageLoader.h"

namespace tamblor {

// The host's upgrade sequence, the host's twin of CDockLogic: it takes each decoded reply and
// each event as a value and returns what to write and what to tell the operator, in order. No
// thread, no lock, no link: the engine owns those, and carries out what it returns.
class CUpgradeSequence {
  public:
    // The package the sequence writes: lengths, offsets, checksums, version, start selector.
    void SetPackage(const PackageInfo& package) { m_package = package; }

    SequenceState State() const { return m_upgradeState; }
    bool IsRunning() const { return tamblor::IsRunning(m_upgradeState); }

    // Start upgrade: the state the package's selector (or a dock already in its boot loader)
    // begins with. The first step is the caller's RunUpgradeStep.
    void Start(bool ispMode);
    // One step on the last reply; `ispMode`: the connected dock is in its boot loader. The
    // actions are appended to `out`, which a caller may reuse from step to step.
    void RunUpgradeStep(const IspReply& reply, bool ispMode, SequenceActions& out);
    SequenceActions RunUpgradeStep(const IspReply& reply, bool ispMode) {
        SequenceActions out;
        RunUpgradeStep(reply, ispMode, out);
        return out;
    }
    // The file could not deliver the chunk last asked for: nothing was sent, the run ends.
    SequenceActions ChunkUnreadable();

    // The scan's mode query was answered. In its boot loader: a running sequence waits for
    // nothing else (the dock is back from its restart). In its application: idle.
    void DockFoundInIsp();
    void DockFoundInAp();
    // The link ended: the restart's wait goes on, an ended run is over, a running one failed.
    SequenceActions LinkEnded();
    // Nothing waits for the dock any more.
    void Abandon() { m_upgradeState = SequenceState::Idle; }

  private:
    enum class StreamStatus { Running, Finished };
    void BeginStream(StreamKind kind, SequenceActions& out);
    StreamStatus StreamStep(SequenceActions& out);
    void SendIspSwitch(bool ispMode, SequenceActions& out) const;

    PackageInfo m_package;
    SequenceState m_upgradeState = SequenceState::Idle;
    std::uint16_t m_chunkSeq = 0;
    SegmentCursor m_cursor;
};

}  // namespace tamblor
