#include "TempOutput.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <random>
#include <system_error>

#include "TempCleanup.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tamblor {
namespace {

namespace fs = std::filesystem;

// Hidden, plainly ours should a crash leave it behind, and as short as any name can be: the
// target's own name may already take the folder's whole limit.
std::string TempName(std::uint32_t tag) {
    char name[32];
    std::snprintf(name, sizeof name, ".tamblor-%08x.tmp", static_cast<unsigned>(tag));
    return name;
}

std::string ErrnoText(int error) { return std::generic_category().message(error); }

fs::path FolderOf(const fs::path& target) {
    return target.parent_path().empty() ? fs::path(".") : target.parent_path();
}

#ifdef _WIN32
long WriteSome(int fd, const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kMost = 1u << 30;
    return ::_write(fd, data, static_cast<unsigned>(size < kMost ? size : kMost));
}
int SyncFile(int fd) { return ::_commit(fd); }
int CloseFile(int fd) { return ::_close(fd); }
#else
long WriteSome(int fd, const std::uint8_t* data, std::size_t size) {
    return ::write(fd, data, size);
}
int SyncFile(int fd) { return ::fsync(fd); }
int CloseFile(int fd) { return ::close(fd); }
#endif

}  // namespace

CTempOutput::CTempOutput(const fs::path& target, TempTagSource tags) : m_target(target) {
    const fs::path folder = FolderOf(target);
    m_targetName = target.filename().string();
    if (m_targetName.empty() || m_targetName == "." || m_targetName == "..") {
        Fail(target.string() + " names a folder, not a file");
        return;
    }
#ifndef _WIN32
    // Everything happens relative to this folder, so a folder renamed or replaced on the way
    // cannot send the rename or a removal somewhere else.
    m_folder = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    m_folderSyncable = m_folder >= 0;
    if (m_folder < 0 && errno == EACCES) {
        m_folder = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    }
    if (m_folder < 0) {
        Fail("cannot create a file in " + folder.string() + ": " + ErrnoText(errno));
        return;
    }
#endif
    if (!tags) {
        tags = [random = std::make_shared<std::random_device>()] { return (*random)(); };
    }
    constexpr int kAttempts = 32;
    int error = EEXIST;
    for (int attempt = 0; attempt < kAttempts && error == EEXIST; ++attempt) {
        if (Create(TempName(tags()))) return;
        error = errno;
    }
    Fail("cannot create a file in " + folder.string() + ": " + ErrnoText(error));
}

bool CTempOutput::Create(const std::string& name) {
    m_name = name;
    m_path = FolderOf(m_target) / name;
#ifdef _WIN32
    m_descriptor =
        ::_wopen(m_path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY | _O_NOINHERIT,
                 _S_IREAD | _S_IWRITE);
    m_created = m_descriptor >= 0;
    return m_created;
#else
    // A signal between the creation and the registration would leave the file behind.
    const CCleanupSignalsBlocked blocked;
    m_descriptor = ::openat(m_folder, name.c_str(),
                            O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW, 0600);
    if (m_descriptor < 0) return false;
    struct stat info {};
    if (::fstat(m_descriptor, &info) != 0) {
        const int error = errno;
        ::close(m_descriptor);
        m_descriptor = -1;
        ::unlinkat(m_folder, name.c_str(), 0);
        errno = error;
        return false;
    }
    m_device = static_cast<std::uint64_t>(info.st_dev);
    m_inode = static_cast<std::uint64_t>(info.st_ino);
    m_created = true;
    m_cleanupSlot = temp_cleanup::Register(m_folder, name.c_str(), m_device, m_inode);
    return true;
#endif
}

CTempOutput::~CTempOutput() {
    if (m_descriptor >= 0) CloseFile(m_descriptor);
    if (m_created && !m_committed) {
#ifdef _WIN32
        std::error_code ignored;
        // A read-only file cannot be deleted there; the mode came from us.
        fs::permissions(m_path, fs::perms::owner_write, fs::perm_options::add, ignored);
        fs::remove(m_path, ignored);
#else
        if (IsStillOurs()) ::unlinkat(m_folder, m_name.c_str(), 0);
#endif
    }
    temp_cleanup::Unregister(m_cleanupSlot);
#ifndef _WIN32
    if (m_folder >= 0) ::close(m_folder);
#endif
}

void CTempOutput::Fail(const std::string& what) { m_failure = what; }

bool CTempOutput::Write(std::span<const std::uint8_t> bytes) {
    if (m_descriptor < 0) return false;
    const std::uint8_t* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const long written = WriteSome(m_descriptor, data, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            // A write of nothing without an error still means no room for the rest.
            Fail("cannot write " + m_path.string() + ": " +
                 ErrnoText(written < 0 ? errno : ENOSPC));
            return false;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

bool CTempOutput::SetMode(unsigned mode) {
    if (m_descriptor < 0) return false;
#ifdef _WIN32
    // Windows knows only whether a file may be written.
    const int bits = (mode & 0200) != 0 ? (_S_IREAD | _S_IWRITE) : _S_IREAD;
    if (::_wchmod(m_path.c_str(), bits) == 0) return true;
#else
    if (::fchmod(m_descriptor, static_cast<mode_t>(mode & 07777)) == 0) return true;
#endif
    Fail("cannot set the mode of " + m_path.string() + ": " + ErrnoText(errno));
    return false;
}

bool CTempOutput::SyncAndClose() {
    if (m_descriptor < 0) return false;
    const bool synced = SyncFile(m_descriptor) == 0;
    const int syncError = errno;
    const bool closed = CloseFile(m_descriptor) == 0;
    const int closeError = errno;
    m_descriptor = -1;
    if (!synced) Fail("cannot flush " + m_path.string() + " to the disk: " + ErrnoText(syncError));
    if (synced && !closed) Fail("cannot close " + m_path.string() + ": " + ErrnoText(closeError));
    return synced && closed;
}

bool CTempOutput::IsStillOurs() const {
    if (!m_created || m_committed) return false;
#ifdef _WIN32
    std::error_code error;
    return fs::is_regular_file(fs::symlink_status(m_path, error));
#else
    struct stat info {};
    return ::fstatat(m_folder, m_name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
           static_cast<std::uint64_t>(info.st_dev) == m_device &&
           static_cast<std::uint64_t>(info.st_ino) == m_inode;
#endif
}

bool CTempOutput::TargetIsReplaceable() const {
    // A rename replaces whatever has the name: a link (/dev/stdout), a device (/dev/null), a
    // FIFO. Only a missing target or a plain file is ours to replace.
#ifdef _WIN32
    std::error_code error;
    const auto status = fs::symlink_status(m_target, error);
    return status.type() == fs::file_type::not_found || fs::is_regular_file(status);
#else
    struct stat info {};
    if (::fstatat(m_folder, m_targetName.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT;
    }
    return S_ISREG(info.st_mode);
#endif
}

bool CTempOutput::Commit() {
    if (!m_created || m_descriptor >= 0 || m_committed) return false;
    if (!IsStillOurs()) {
        Fail(m_path.string() + " is no longer the file written here (replaced or removed by " +
             "someone else); " + m_target.string() + " was left as it was");
        return false;
    }
    if (!TargetIsReplaceable()) {
        Fail(m_target.string() + " is not a regular file; it was left as it was");
        return false;
    }
#ifdef _WIN32
    std::error_code error;
    fs::rename(m_path, m_target, error);
    if (error) {
        Fail("cannot rename " + m_path.string() + " to " + m_target.string() + ": " +
             error.message());
        return false;
    }
    m_committed = true;
#else
    if (::renameat(m_folder, m_name.c_str(), m_folder, m_targetName.c_str()) != 0) {
        Fail("cannot rename " + m_path.string() + " to " + m_target.string() + ": " +
             ErrnoText(errno));
        return false;
    }
    m_committed = true;
    // The rename lives in the folder: without this a crash may bring the old name back.
    if (m_folderSyncable) ::fsync(m_folder);
#endif
    return true;
}

unsigned CTempOutput::UsualMode() {
#ifdef _WIN32
    return 0666;
#else
    // The umask can only be read by setting it, which races with other threads' creations;
    // the kernel tells it without that.
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        unsigned mask = 0;
        if (std::sscanf(line.c_str(), "Umask: %o", &mask) == 1) return 0666 & ~mask;
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return 0666 & ~static_cast<unsigned>(mask);
#endif
}

}  // namespace tamblor
