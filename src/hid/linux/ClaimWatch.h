#pragma once

#include <map>
#include <string>
#include <vector>

#include "UniqueFd.h"

namespace tamblor {

// The places another copy of the tool holds, watched until they are free. Each keeps its lock
// file open without a lock; inotify tells when some copy closes the file (a copy that ends,
// or crashes, closes it too), and only then is the lock tried again: nothing polls.
class CClaimWatch {
  public:
    CClaimWatch();
    // -1 when inotify is unavailable: a refused copy then learns of a free place only at the
    // next device change.
    int Descriptor() const { return m_inotify.Get(); }
    // Watches `file` (the place's lock file, open and unlocked) until the place is free.
    void Wait(const std::string& place, CUniqueFd file);
    void Forget(const std::string& place);
    // Takes every pending notice without waiting; returns the places that came free.
    std::vector<std::string> Pump();

  private:
    struct Waiter {
        CUniqueFd file;
        int watch = -1;
    };
    void Remove(std::map<std::string, Waiter>::iterator at);

    CUniqueFd m_inotify;
    std::map<std::string, Waiter> m_waiters;
};

}  // namespace tamblor
