#pragma once

#include <cstdint>

#ifndef _WIN32
#include <signal.h>
#endif

namespace tamblor {

// The temporary files of this process that a fatal signal must not leave behind. A file is
// named by the folder it lives in (an open descriptor) and its name there, and is known by its
// device and inode: the handler removes a name only while it still is the file we created, so
// a file another user put in its place survives.
//
// On the first registration a handler is installed for every signal that ends a process by
// default and can be caught (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, ...), but only where
// the signal still has its default action: an ignored signal stays ignored, and a program's own
// handler (the upgrade's stop queue, a signalfd) keeps the signal and unwinds to the writer's
// destructor instead. The handler removes the live files, then lets the signal end the process
// with its default action, so the exit status tells which signal it was. It stays installed.
namespace temp_cleanup {

// Where the file is; -1 when every slot is taken (the file is then not removed on a signal).
int Register(int folder, const char* name, std::uint64_t device, std::uint64_t inode);
void Unregister(int slot);

// Removes every registered file that is still ours, as the handler does. For tests.
void RemoveLiveFiles();

}  // namespace temp_cleanup

// Keeps the cleanup signals away from the calling thread while it lives: between creating a
// file and registering it, a signal would otherwise leave the file behind.
class CCleanupSignalsBlocked {
  public:
    CCleanupSignalsBlocked();
    ~CCleanupSignalsBlocked();
    CCleanupSignalsBlocked(const CCleanupSignalsBlocked&) = delete;
    CCleanupSignalsBlocked& operator=(const CCleanupSignalsBlocked&) = delete;

  private:
#ifndef _WIN32
    bool m_blocked = false;
    sigset_t m_previous{};
#endif
};

}  // namespace tamblor
