#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tamblor::test {

// Drops the calling thread's power to ignore file modes (tests run as root on CI), so that a
// node of mode 0 refuses to open as it does for an ordinary user. Restores it when destroyed.
class CFileModesEnforced {
  public:
    CFileModesEnforced() {
        ::syscall(SYS_capget, &m_header, m_saved);
        __user_cap_data_struct lowered[2] = {m_saved[0], m_saved[1]};
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        ::syscall(SYS_capset, &m_header, lowered);
    }
    ~CFileModesEnforced() { ::syscall(SYS_capset, &m_header, m_saved); }
    CFileModesEnforced(const CFileModesEnforced&) = delete;
    CFileModesEnforced& operator=(const CFileModesEnforced&) = delete;

  private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
};

}  // namespace tamblor::test
