#pragma once

#include <windows.h>

#include <utility>

namespace tamblor::win {

// Owns a kernel object handle (event, thread, file mapping, file). Both null and
// INVALID_HANDLE_VALUE mean "no handle".
class CHandle {
  public:
    CHandle() = default;
    explicit CHandle(HANDLE handle) : m_handle(handle) {}
    ~CHandle() { Reset(); }
    CHandle(CHandle&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}
    CHandle& operator=(CHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            m_handle = std::exchange(other.m_handle, nullptr);
        }
        return *this;
    }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;

    HANDLE Get() const { return m_handle; }
    bool Valid() const { return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE; }
    explicit operator bool() const { return Valid(); }
    void Reset(HANDLE handle = nullptr) {
        if (Valid()) ::CloseHandle(m_handle);
        m_handle = handle;
    }

  private:
    HANDLE m_handle = nullptr;
};

// A manual-reset, initially non-signalled, unnamed event.
inline CHandle MakeManualResetEvent() {
    return CHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

}  // namespace tamblor::win
