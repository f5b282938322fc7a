#include "TempCleanup.h"

#ifndef _WIN32

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace tamblor {
namespace {

// The signals whose default action ends the process and that can be caught. SIGPIPE is among
// them: a reader that goes away must not leave a half-written file either.
constexpr std::array kFatalSignals = {
    SIGINT,    SIGTERM, SIGHUP,    SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM,
    SIGPIPE,   SIGPROF, SIGVTALRM, SIGXCPU, SIGXFSZ, SIGPOLL,
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
};

// The fixed ones and every real-time signal, whose numbers are known only at run time and
// whose default ends the process just the same.
template <typename Visit>
void ForEachFatalSignal(Visit visit) {
    for (const int signal : kFatalSignals) visit(signal);
#ifdef SIGRTMIN
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) visit(signal);
#endif
}

// A name within a folder; longer names are never registered.
constexpr std::size_t kNameBytes = 64;
constexpr std::size_t kSlots = 16;

enum SlotState : int { kFree = 0, kFilling = 1, kLive = 2 };

// Only fixed storage and lock-free atomics, so the handler may read it at any moment.
struct Slot {
    std::atomic<int> state{kFree};
    int folder = -1;
    char name[kNameBytes]{};
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
};
static_assert(std::atomic<int>::is_always_lock_free);

std::array<Slot, kSlots> g_slots;
std::once_flag g_installed;

sigset_t FatalSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    ForEachFatalSignal([&set](int signal) { sigaddset(&set, signal); });
    return set;
}

void RemoveIfOurs(const Slot& slot) {
    struct stat info {};
    if (::fstatat(slot.folder, slot.name, &info, AT_SYMLINK_NOFOLLOW) != 0) return;
    if (static_cast<std::uint64_t>(info.st_dev) != slot.device ||
        static_cast<std::uint64_t>(info.st_ino) != slot.inode) {
        return;
    }
    ::unlinkat(slot.folder, slot.name, 0);
}

extern "C" void OnFatalSignal(int signal) {
    const int savedErrno = errno;
    temp_cleanup::RemoveLiveFiles();
    // The signal is blocked while this runs; with the default action back it ends the process
    // as soon as the handler returns, with the status the sender meant.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    ::raise(signal);
    errno = savedErrno;
}

void InstallHandlers() {
    struct sigaction action {};
    action.sa_handler = OnFatalSignal;
    // One cleanup at a time: a second signal waits until the first one has ended the process.
    action.sa_mask = FatalSignalSet();
    action.sa_flags = SA_RESTART;
    ForEachFatalSignal([&action](int signal) {
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) != 0) return;
        const bool isDefault =
            (current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_DFL;
        if (isDefault) ::sigaction(signal, &action, nullptr);
    });
}

}  // namespace

namespace temp_cleanup {

int Register(int folder, const char* name, std::uint64_t device, std::uint64_t inode) {
    if (std::strlen(name) >= kNameBytes) return -1;
    std::call_once(g_installed, InstallHandlers);
    for (std::size_t i = 0; i < kSlots; ++i) {
        Slot& slot = g_slots[i];
        int expected = kFree;
        if (!slot.state.compare_exchange_strong(expected, kFilling)) continue;
        slot.folder = folder;
        std::strncpy(slot.name, name, kNameBytes - 1);
        slot.device = device;
        slot.inode = inode;
        slot.state.store(kLive, std::memory_order_release);
        return static_cast<int>(i);
    }
    return -1;
}

void Unregister(int slot) {
    if (slot < 0 || static_cast<std::size_t>(slot) >= kSlots) return;
    g_slots[static_cast<std::size_t>(slot)].state.store(kFree, std::memory_order_release);
}

void RemoveLiveFiles() {
    for (const Slot& slot : g_slots) {
        if (slot.state.load(std::memory_order_acquire) == kLive) RemoveIfOurs(slot);
    }
}

}  // namespace temp_cleanup

CCleanupSignalsBlocked::CCleanupSignalsBlocked() {
    const sigset_t set = FatalSignalSet();
    m_blocked = ::pthread_sigmask(SIG_BLOCK, &set, &m_previous) == 0;
}

CCleanupSignalsBlocked::~CCleanupSignalsBlocked() {
    if (m_blocked) ::pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
}

}  // namespace tamblor

#else  // Windows: no such signals; a stopped console program leaves what the OS leaves.

namespace tamblor {
namespace temp_cleanup {
int Register(int, const char*, std::uint64_t, std::uint64_t) { return -1; }
void Unregister(int) {}
void RemoveLiveFiles() {}
}  // namespace temp_cleanup
CCleanupSignalsBlocked::CCleanupSignalsBlocked() = default;
CCleanupSignalsBlocked::~CCleanupSignalsBlocked() = default;
}  // namespace tamblor

#endif
