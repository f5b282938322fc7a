#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>

namespace tamblor {

// Draws the tags of the temporary names; the default is random. Tests pass their own to know
// every name the writer could pick.
using TempTagSource = std::function<std::uint32_t()>;

// The one way this project's programs write a file: a new file in the target's folder, under
// a short name of its own (".tamblor-1a2b3c4d.tmp", whatever the target's length), that becomes
// the target only once it is complete. It is created exclusively, so a name that already
// exists (a file, a link someone planted) is never opened: another name is drawn. The file is
// removed by the destructor unless Commit() renamed it into place, and by a signal that ends
// the process (TempCleanup.h); it and the target are only ever reached through the folder
// opened at the start, and a name that no longer is our file is neither renamed nor removed.
class CTempOutput {
  public:
    explicit CTempOutput(const std::filesystem::path& target, TempTagSource tags = {});
    ~CTempOutput();
    CTempOutput(const CTempOutput&) = delete;
    CTempOutput& operator=(const CTempOutput&) = delete;

    bool IsOpen() const { return m_descriptor >= 0; }
    // Why the last step failed (creating, writing, syncing or committing).
    const std::string& Failure() const { return m_failure; }
    const std::filesystem::path& Path() const { return m_path; }

    // Writes all of `bytes` after what was written before; false on a short or failed write.
    bool Write(std::span<const std::uint8_t> bytes);
    // Gives the file its final permission bits, on the open file itself (the file is made for
    // its owner alone until then).
    bool SetMode(unsigned mode);
    // Puts the contents on the disk (fsync) and closes the file.
    bool SyncAndClose();
    // Whether the temporary name still is the file this object created.
    bool IsStillOurs() const;
    // Renames the closed file over the target, atomically, and makes the rename durable where
    // the platform allows. A target that exists as anything but a regular file (a link, a
    // device, a FIFO, a folder) is refused. False leaves the target as it was.
    bool Commit();

    // The bits a file gets from a plain creation: 0666 less the process's umask.
    static unsigned UsualMode();

  private:
    void Fail(const std::string& what);
    bool Create(const std::string& name);
    bool TargetIsReplaceable() const;

    std::filesystem::path m_target;
    std::filesystem::path m_path;
    std::string m_name;        // m_path's name in the folder
    std::string m_targetName;  // the target's name in the folder
    int m_folder = -1;         // the folder both live in
    bool m_folderSyncable = false;
    int m_descriptor = -1;
    std::uint64_t m_device = 0;
    std::uint64_t m_inode = 0;
    int m_cleanupSlot = -1;
    bool m_created = false;
    bool m_committed = false;
    std::string m_failure;
};

}  // namespace tamblor
