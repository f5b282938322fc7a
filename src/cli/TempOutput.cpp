#include "TempOutput.h"

#include <cerrno>
#include <cstdio>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace tamblor {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
int CreateExclusive(const fs::path& path) {
    return ::_wopen(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY | _O_NOINHERIT,
                    _S_IREAD | _S_IWRITE);
}
long WriteSome(int fd, const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kMost = 1u << 30;
    return ::_write(fd, data, static_cast<unsigned>(size < kMost ? size : kMost));
}
int SyncFile(int fd) { return ::_commit(fd); }
int CloseFile(int fd) { return ::_close(fd); }
// Windows makes a rename durable by itself; a directory cannot be opened for a sync.
void SyncDirectory(const fs::path&) {}
#else
int CreateExclusive(const fs::path& path) {
    return ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOCTTY, 0600);
}
long WriteSome(int fd, const std::uint8_t* data, std::size_t size) {
    return ::write(fd, data, size);
}
int SyncFile(int fd) { return ::fsync(fd); }
int CloseFile(int fd) { return ::close(fd); }
// The rename lives in the directory: without this a crash may bring the old name back.
void SyncDirectory(const fs::path& directory) {
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}
#endif

std::string ErrnoText(int error) { return std::generic_category().message(error); }

// ".NAME.tmp-1a2b3c4d": hidden, and plainly ours should a crash leave it behind.
fs::path TempNameFor(const fs::path& target, std::uint32_t tag) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".tmp-%08x", static_cast<unsigned>(tag));
    std::string name = ".";
    name += target.filename().string();
    name += suffix;
    return target.parent_path() / name;
}

}  // namespace

CTempOutput::CTempOutput(const fs::path& target) : m_target(target) {
    std::random_device random;
    constexpr int kAttempts = 16;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        m_path = TempNameFor(target, random());
        m_descriptor = CreateExclusive(m_path);
        if (m_descriptor >= 0) {
            m_created = true;
            return;
        }
        if (errno != EEXIST) break;
    }
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    Fail("cannot create a file in " + folder.string() + ": " + ErrnoText(errno));
}

CTempOutput::~CTempOutput() {
    if (m_descriptor >= 0) CloseFile(m_descriptor);
    if (m_created && !m_committed) {
        std::error_code ignored;
#ifdef _WIN32
        // A read-only file cannot be deleted there; the mode came from us.
        fs::permissions(m_path, fs::perms::owner_write, fs::perm_options::add, ignored);
#endif
        fs::remove(m_path, ignored);
    }
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

bool CTempOutput::Commit() {
    if (!m_created || m_descriptor >= 0 || m_committed) return false;
    std::error_code error;
    fs::rename(m_path, m_target, error);
    if (error) {
        Fail("cannot rename " + m_path.string() + " to " + m_target.string() + ": " +
             error.message());
        return false;
    }
    m_committed = true;
    SyncDirectory(m_target.parent_path().empty() ? fs::path(".") : m_target.parent_path());
    return true;
}

}  // namespace tamblor
