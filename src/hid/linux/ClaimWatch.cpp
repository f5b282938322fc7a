#include "ClaimWatch.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>

namespace tamblor {

CClaimWatch::CClaimWatch() : m_inotify(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

void CClaimWatch::Wait(const std::string& place, CUniqueFd file) {
    if (!m_inotify.IsValid()) return;
    // The open file itself is watched, not its name: nothing planted at the name later can
    // take the watch elsewhere.
    const std::string self = "/proc/self/fd/" + std::to_string(file.Get());
    const int watch =
        ::inotify_add_watch(m_inotify.Get(), self.c_str(), IN_CLOSE_WRITE | IN_CLOSE_NOWRITE);
    if (watch < 0) return;
    auto at = m_waiters.find(place);
    if (at != m_waiters.end() && at->second.watch != watch) Remove(at);
    // Replacing our own earlier descriptor on the same file closes it: a notice that Pump
    // answers by trying the lock once, which fails while the place is held.
    const int fd = file.Get();
    m_waiters[place] = Waiter{std::move(file), watch};
    // The holder may have let go after our refused attempt and before the watch began: that
    // close came too early to be noticed. Look once more, and if the place is free, close a
    // descriptor of the file ourselves so that the loop hears of it as of any release.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return;
    ::flock(fd, LOCK_UN);
    CUniqueFd poke(::open(self.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
}

void CClaimWatch::Forget(const std::string& place) {
    if (auto at = m_waiters.find(place); at != m_waiters.end()) Remove(at);
}

void CClaimWatch::Remove(std::map<std::string, Waiter>::iterator at) {
    // A watch that another place's file shares (the same file under two names) stays.
    bool shared = false;
    for (auto it = m_waiters.begin(); it != m_waiters.end(); ++it) {
        shared = shared || (it != at && it->second.watch == at->second.watch);
    }
    if (!shared) ::inotify_rm_watch(m_inotify.Get(), at->second.watch);
    m_waiters.erase(at);
}

std::vector<std::string> CClaimWatch::Pump() {
    std::vector<std::string> freed;
    if (!m_inotify.IsValid()) return freed;
    bool noticed = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(m_inotify.Get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        noticed = true;
    }
    if (!noticed) return freed;
    // Which file a notice names matters little: every waiter tries its lock once, and lets it
    // go at once; the copy's scan claims the place for good.
    for (auto it = m_waiters.begin(); it != m_waiters.end();) {
        if (::flock(it->second.file.Get(), LOCK_EX | LOCK_NB) != 0) {
            ++it;
            continue;
        }
        ::flock(it->second.file.Get(), LOCK_UN);
        freed.push_back(it->first);
        Remove(it++);
    }
    return freed;
}

}  // namespace tamblor
