#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>

#include "SequenceActions.h"
#include "SequenceState.h"
#include "UiPort.h"
#include "UpgradeOutcome.h"
#include "UpgradeSequence.h"
#include "hid/HidPort.h"
#include "hid/LinkState.h"
#include "isp/IspReply.h"
#include "isp/IspReport.h"
#include "package/PackageLoader.h"

namespace tamblor {

// How the reader treats reads that fail or deliver nothing while the device stays connected:
// it reads again after a pause, so a channel that fails at once is never read in a busy loop,
// and after `attempts` such reads in a row it takes the interface for lost.
struct ReadRetryPolicy {
    std::chrono::milliseconds pause{100};
    int attempts = 20;
};

// How long the engine lets the device stay silent while it owes an answer or a sequence runs
// (the restart into the boot loader included) before it takes the device for lost. A healthy
// dock answers every report within milliseconds; its longest quiet spells are a chip erase
// (seconds) and its restart, which on a PC may include the first installation of the boot
// loader's driver (tens of seconds). A minute is well past all of them, and it is what the
// command line has always waited.
struct SilencePolicy {
    std::chrono::milliseconds bound{std::chrono::seconds(60)};
};

// The tool's logic without its window: start-up, the scan, Start upgrade, device changes,
// reply dispatch, the upgrade sequence and report I/O. It talks to the device through the HID
// port and to the operator through the UI port.
//
// Threads: the front-end's UI thread calls the On* commands; the reader thread calls
// OnDeviceReport. One lock serialises every entry, and nothing under it waits for the UI
// thread, so OnDestroy can always join the reader.
class CTamblorEngine {
  public:
    CTamblorEngine(IHidBus& bus, IUiPort& ui, ReadRetryPolicy readRetry = {},
                   SilencePolicy silence = {});
    ~CTamblorEngine();
    CTamblorEngine(const CTamblorEngine&) = delete;
    CTamblorEngine& operator=(const CTamblorEngine&) = delete;

    // The engine's part of the dialog's start-up, in its order: I/O threads, package, scan.
    void OnInitDialog(const std::filesystem::path& executable);

    void StartIoThreads();
    int LoadPackage(const std::filesystem::path& executable);
    void OnScan();
    void OnStartUpgrade();
    void OnTest();
    // 1 when it handled the removal of the connected device, 0 otherwise.
    int OnDeviceChange(const DeviceChange& change);
    // Closes the device, stops the I/O threads, closes the package. Idempotent.
    void OnDestroy();

    // Reply dispatch: every input report, on the reader thread (tests may call it directly).
    void OnDeviceReport(std::span<const std::uint8_t> report);

    // Observers for front-ends and tests; each takes the lock.
    // The sequence state's number (SequenceState).
    std::uint8_t UpgradeState() const;
    // True while a chip is being worked on (IsRunning).
    bool IsUpgradeRunning() const;
    // How the last upgrade ended, or that it has not (yet).
    UpgradeOutcome Outcome() const;
    bool IsDeviceReady() const;
    LinkState Link() const;
    // A new bound on the device's silence, counted from the last sign of life as before.
    void SetSilenceBound(std::chrono::milliseconds bound);

  private:
    // Every member below is guarded by m_lock unless noted.
    bool OpenHidDevice(std::uint16_t vendorId, std::uint16_t productId,
                       std::uint16_t versionNumber);
    void CloseHidDevice();
    void StopIoThreads();
    void WakeReader();
    void ReaderThreadProc();
    // Ends what waits on a device that has gone silent; see SilencePolicy.
    void SilenceWatchProc();
    bool SilenceWatched() const;
    // Something happened that a silent device would not do: the silence starts again.
    void NoteSignOfLife();
    void EndSilence();
    bool SendReport(const Report& report);
    // The reader gave up on the connected interface.
    void LoseInterface();
    // What the removal of the connected device and the loss of its interface share: the link
    // closes, `line` tells the operator, and the sequence stops unless it awaits the restart.
    void EndLink(const char* line);
    // True when an interface that the scan would match is present, found without a word.
    bool ExpectedDevicePresent();
    // Claims the interface's place unless ours already; false when another copy holds it.
    bool ClaimDock(const HidInterfaceInfo& info);
    // Lets the place go, unless a sequence still waits for the dock to come back to it.
    void ReleaseClaimUnlessWaiting();
    void DropClaim();
    // Tells the operator, once per place, that another copy is upgrading the dock there.
    void NoteRefusedClaim();

    void PostLogLine(std::string text);
    void PostLogProgress(std::string text, int value);
    // A line that tells the operator of a failure; the outcome notes the first one.
    void PostFailure(std::string text,
                     COutcomeRecorder::Failure kind = COutcomeRecorder::Failure::Check);

    int CheckVersion(const std::uint8_t* fileVersion, const std::uint8_t* deviceVersion);
    void ScanLocked();
    void DispatchReport(std::span<const std::uint8_t> report);
    // One step of the sequence on the last reply (decoded once, when it came), carried out.
    void RunUpgradeStep(const IspReply& reply);
    void RunUpgradeStep() { RunUpgradeStep(m_lastReply); }
    // Carries out what the sequence asked for, in its order. Each returns false when what
    // followed it in the same step is void (a chunk the file could not deliver).
    // Texts are moved out of the actions.
    void CarryOut(SequenceActions& actions);
    void CarryOut(SequenceActions&& actions);
    bool CarryOut(sequence::Line& line);
    bool CarryOut(sequence::Failure& failure);
    bool CarryOut(sequence::Progress& progress);
    bool CarryOut(const sequence::Fill& fill);
    bool CarryOut(const sequence::Position& position);
    bool CarryOut(const sequence::Command& command);
    // Reads the chunk from the package file and sends it; false when the file could not
    // deliver the bytes: nothing is sent then, and the sequence ends.
    bool CarryOut(const sequence::Chunk& chunk);
    bool CarryOut(sequence::Milestone milestone);

    // Whether the device must answer a report. A report that arrives while none is awaited is
    // dropped: a device that keeps its contract sends nothing unasked.
    enum class Answer { Awaited, None };
    // A query about the device (GetMode, GetVersion) is answered by a reply that says what it
    // answers: anything else in its place came unasked, and the query's own answer is still
    // owed. Other answers say nothing of what they answer.
    enum class AwaitedReply { Any, Mode, Version };
    void NoteSent(bool sent, Answer answer, AwaitedReply reply = AwaitedReply::Any);
    // Removes from the answers owed the one that `reply` gives; false when it gives none.
    bool TakeOwedAnswer(const Report& reply);

    // Each sends one command report, or nothing while no device is connected.
    void SendCommand(const Report& report, Answer answer);
    void SendGetMode();
    void SendGetVersion();

    IHidBus& m_bus;
    IUiPort& m_ui;
    const ReadRetryPolicy m_readRetry;
    SilencePolicy m_silence;
    mutable std::mutex m_lock;

    // Package.
    PackageInfo m_package;
    std::unique_ptr<CPackageFile> m_packageFile;
    int g_packageLoaded = 0;

    // Shared state of the dialog.
    int m_deviceReady = 0;
    // The upgrade sequence and its state (m_upgradeState).
    CUpgradeSequence m_sequence;
    SequenceActions m_actions;  // the step's actions, reused from step to step
    COutcomeRecorder m_outcome;
    int m_ispMode = 0;
    IspReply m_lastReply{};  // all zero until a report came
    // Answers the device owes, oldest first: one per report sent that it must answer (the
    // scan's GetMode and the step that may follow it in the same call make two), one fewer per
    // report dispatched. Kept across a rescan, since the same device may still answer on the
    // new channel, though an answer already on its way may be lost with the old one; cleared
    // when the link ends.
    std::deque<AwaitedReply> m_awaitedAnswers;
    // An interface arrived while the device was connected: its scan may have been put off, or
    // found the old interface still there, so the end of the link looks again.
    bool m_arrivalWhileConnected = false;

    // The place of the dock this copy works on, held from the scan that opens the dock until
    // the dock is closed with no sequence waiting for it: across the restart, the dock comes
    // back on a new path that any copy could otherwise take first.
    bool m_claimed = false;
    std::string m_claimPlace;
    std::unique_ptr<IDockClaim> m_claimHold;
    std::optional<std::string> m_refusalToldFor;  // the place whose refusal the log has told
    bool m_claimNoteTold = false;  // the log has told that places cannot be claimed here

    // Link.
    LinkState m_link;
    std::shared_ptr<IHidReadChannel> m_readChannel;
    std::unique_ptr<IHidWriteChannel> m_writeChannel;

    // Reader thread, and the silence watch beside it: the reader blocks in the platform's read,
    // which has no bound, so another thread keeps the time. Both wait on m_readerWake.
    int g_threadsStarted = 0;
    std::thread m_reader;
    std::thread m_silenceWatch;
    std::chrono::steady_clock::time_point m_lastSignOfLife{};
    std::condition_variable m_readerWake;
    std::uint64_t m_wakeGeneration = 0;
    bool m_stopping = false;
    bool m_destroyed = false;
};

}  // namespace tamblor
