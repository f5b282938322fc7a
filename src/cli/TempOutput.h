#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace tamblor {

// A new file beside `target` that becomes the target only once it is complete. It is created
// exclusively, so it never is anything that existed before; the destructor removes it unless
// Commit() has renamed it into place. No other path is ever removed or truncated.
class CTempOutput {
  public:
    explicit CTempOutput(const std::filesystem::path& target);
    ~CTempOutput();
    CTempOutput(const CTempOutput&) = delete;
    CTempOutput& operator=(const CTempOutput&) = delete;

    bool IsOpen() const { return m_descriptor >= 0; }
    // Why the last step failed (creating, writing, syncing or committing).
    const std::string& Failure() const { return m_failure; }
    const std::filesystem::path& Path() const { return m_path; }

    // Writes all of `bytes` after what was written before; false on a short or failed write.
    bool Write(std::span<const std::uint8_t> bytes);
    // Puts the contents on the disk (fsync) and closes the file.
    bool SyncAndClose();
    // Renames the closed file over the target, atomically, and makes the rename durable where
    // the platform allows. False leaves the target as it was.
    bool Commit();

  private:
    void Fail(const std::string& what);

    std::filesystem::path m_target;
    std::filesystem::path m_path;
    int m_descriptor = -1;
    bool m_created = false;
    bool m_committed = false;
    std::string m_failure;
};

}  // namespace tamblor
