#pragma once

#include <filesystem>
#include <string>

#include "UniqueFd.h"
#include "hid/HidPort.h"

namespace tamblor {

// The folder every user's copy of the tool shares its claims in.
inline constexpr const char* kClaimFolder = "/run/lock";

// The lock file's name for a place, or empty when the place is no plain port chain (letters,
// digits, '.', '-', '_'; not starting with '.'; at most 64 characters): the place comes from
// sysfs, but it only ever names a file in the folder.
std::string ClaimFileName(const std::string& place);

// An attempt on a place's lock file. The descriptor is open when Granted (the lock goes with
// it) and when HeldElsewhere (unlocked: a waiter watches it); `detail` says why when
// Unavailable.
struct PlaceLock {
    ClaimOutcome outcome = ClaimOutcome::Unavailable;
    CUniqueFd file;
    std::string detail;
};

// Takes the place's lock in `folder` without waiting. The folder must be a directory that
// everyone may write to with the sticky bit set, owned by root or by us; the lock file must be
// a regular file, is never reached through a link, and is created (mode 0666) only when it is
// missing, so a file that another user made is opened, never replaced.
PlaceLock LockPlace(const std::filesystem::path& folder, const std::string& place);

}  // namespace tamblor
