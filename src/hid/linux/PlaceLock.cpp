#include "PlaceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tamblor {
namespace {

// Never blocks (a FIFO planted at the name opens at once), never follows a link, never becomes
// our terminal.
constexpr int kOpenFlags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;

PlaceLock Unavailable(std::string detail) {
    PlaceLock lock;
    lock.detail = std::move(detail);
    return lock;
}

std::string Reason(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

// Empty when the folder may hold a claim every user honours.
std::string CheckFolder(int folder, const std::string& name) {
    struct stat st {};
    if (::fstat(folder, &st) != 0) return Reason(name, errno);
    if (!S_ISDIR(st.st_mode)) return name + " is not a folder";
    if ((st.st_mode & (S_ISVTX | S_IWOTH)) != (S_ISVTX | S_IWOTH)) {
        return name + " is not a sticky folder that every user may write to";
    }
    if (st.st_uid != 0 && st.st_uid != ::geteuid()) return name + " belongs to another user";
    return {};
}

CUniqueFd OpenOrCreate(int folder, const std::string& file) {
    // Opened first without O_CREAT: where fs.protected_regular is set, O_CREAT on another
    // user's file in a sticky folder fails even though the file is there to be shared.
    for (int attempt = 0; attempt < 2; ++attempt) {
        CUniqueFd fd(::openat(folder, file.c_str(), kOpenFlags));
        if (fd.IsValid() || errno != ENOENT) return fd;
        fd.Reset(::openat(folder, file.c_str(), kOpenFlags | O_CREAT | O_EXCL, 0666));
        if (fd.IsValid()) {
            // Whatever our umask took away: every user's copy must be able to open it.
            if (::fchmod(fd.Get(), 0666) != 0) return CUniqueFd();
            return fd;
        }
        if (errno != EEXIST) return fd;
        // Another copy made it in between: open theirs.
    }
    return CUniqueFd();
}

}  // namespace

std::string ClaimFileName(const std::string& place) {
    if (!IsPlaceName(place)) return {};
    return "tamblor-dock-" + place + ".lock";
}

PlaceLock LockPlace(const std::filesystem::path& folder, const std::string& place) {
    const std::string file = ClaimFileName(place);
    if (file.empty()) return Unavailable("the place \"" + place + "\" cannot name a lock file");
    const std::string folderName = folder.string();
    CUniqueFd dir(::open(folderName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!dir.IsValid()) return Unavailable(Reason(folderName, errno));
    if (auto problem = CheckFolder(dir.Get(), folderName); !problem.empty()) {
        return Unavailable(std::move(problem));
    }
    const std::string lockName = folderName + "/" + file;
    CUniqueFd fd = OpenOrCreate(dir.Get(), file);
    if (!fd.IsValid()) return Unavailable(Reason(lockName, errno));
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) return Unavailable(Reason(lockName, errno));
    if (!S_ISREG(st.st_mode)) return Unavailable(lockName + " is not a regular file");
    // A hard link to some other file would have us lock that file.
    if (st.st_nlink != 1) return Unavailable(lockName + " has other names");
    PlaceLock lock;
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) == 0) {
        lock.outcome = ClaimOutcome::Granted;
    } else if (errno == EWOULDBLOCK) {
        lock.outcome = ClaimOutcome::HeldElsewhere;
    } else {
        return Unavailable(Reason(lockName, errno));
    }
    lock.file = std::move(fd);
    return lock;
}

}  // namespace tamblor
