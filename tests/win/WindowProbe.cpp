// Looks at the running tool's window from another process of the same Wine session, for the
// scripted runs under Xvfb:
//   window-probe text log|version     prints the log's or the version static's text
//   window-probe wait-log TEXT MS     waits until the log contains TEXT; 0 when it did
//   window-probe log-after TEXT MS    the same, and prints the log whether it did or not; gives
//                                     up early once the log says the sequence failed
//   window-probe wait-enabled ID MS   waits until control ID is enabled
//   window-probe ready MS             waits until Start upgrade is enabled, then prints its
//                                     centre and Exit's in screen pixels: "SX SY EX EY" (one
//                                     Wine process where a slow machine starts each in seconds)
//   window-probe center ID            prints the control's centre in screen pixels: "X Y"
//   window-probe rect ID|version      prints, in screen pixels, the part of the control that
//                                     shows in the window's client area, then that client
//                                     area: "LEFT TOP RIGHT BOTTOM CLEFT CTOP CRIGHT CBOTTOM"
//                                     (right and bottom exclusive)
//   window-probe wait-box MS          waits until the tool shows a message box
//   window-probe wait-no-box MS       waits until the tool shows no message box
//   window-probe wait-exit MS         prints "armed", then how many ms until the process ends
//   window-probe hold                 keeps Wine's desktop process running until killed
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "skin/DialogLayout.h"

namespace {

constexpr wchar_t kCaption[] = L"" TAMBLOR_DLG_CAPTION;
constexpr int kLogId = IDC_LOG;
constexpr int kStartId = IDC_START_UPGRADE;
constexpr wchar_t kSequenceFailed[] = L"Error!, restart please.";

// The tool's window; its message boxes carry the same caption but have an owner.
HWND FindDialog(DWORD waitMs) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        for (HWND window = ::FindWindowExW(nullptr, nullptr, nullptr, kCaption); window;
             window = ::FindWindowExW(nullptr, window, nullptr, kCaption)) {
            if (::GetWindow(window, GW_OWNER) == nullptr) return window;
        }
        if (::GetTickCount() - start > waitMs) return nullptr;
        ::Sleep(200);
    }
}

std::wstring Text(HWND hwnd) {
    const auto length = ::SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    ::SendMessageW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

HWND VersionStatic(HWND dialog) {
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (static_cast<WORD>(::GetDlgCtrlID(child)) == 0xFFFF) return child;
    }
    return nullptr;
}

HWND Control(HWND dialog, const wchar_t* id) {
    return std::wstring(id) == L"version"
               ? VersionStatic(dialog)
               : ::GetDlgItem(dialog, static_cast<int>(std::wcstol(id, nullptr, 10)));
}

// A message box of the tool's: a dialog-class window that the tool's window owns.
HWND MessageBoxOf(HWND dialog) {
    struct Search {
        HWND owner;
        HWND box;
    } search{dialog, nullptr};
    ::EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(data);
            wchar_t name[16] = {};
            ::GetClassNameW(window, name, 16);
            if (::GetWindow(window, GW_OWNER) != s.owner || std::wstring(name) != L"#32770" ||
                !::IsWindowVisible(window)) {
                return TRUE;
            }
            s.box = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.box;
}

// Waits until `done` holds; 0 when it did within `limit` ms, 1 otherwise.
template <typename Done>
int WaitFor(const wchar_t* limitText, Done done) {
    const DWORD limit = static_cast<DWORD>(std::wcstoul(limitText, nullptr, 10));
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start > limit) return 1;
        ::Sleep(200);
    }
    return 0;
}

void Print(const std::wstring& text) {
    std::string out;
    for (const wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    std::printf("%s\n", out.c_str());
}

int Usage() {
    std::fprintf(
        stderr,
        "usage: window-probe text|wait-log|log-after|wait-enabled|ready|center|rect|wait-box|"
        "wait-no-box|wait-exit|hold ...\n");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return Usage();
    const std::wstring command = argv[1];
    if (command == L"hold" && argc == 2) {
        // Wine ends its desktop process once no program uses the desktop, and starts it again
        // for the next window, which a loaded machine under emulation may not do in time.
        ::GetDesktopWindow();
        std::printf("holding\n");
        std::fflush(stdout);
        ::Sleep(INFINITE);
    }
    // A slow machine (Wine under emulation) takes half a minute and more to show the window.
    const HWND dialog = FindDialog(120000);
    if (dialog == nullptr) {
        std::fprintf(stderr, "window-probe: no window captioned as the tool's\n");
        return 3;
    }
    if (command == L"text" && argc == 3) {
        const HWND control = std::wstring(argv[2]) == L"version" ? VersionStatic(dialog)
                                                                 : ::GetDlgItem(dialog, kLogId);
        if (control == nullptr) return 3;
        Print(Text(control));
        return 0;
    }
    if ((command == L"wait-log" || command == L"log-after") && argc == 4) {
        const DWORD limit = static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10));
        const DWORD start = ::GetTickCount();
        const bool always = command == L"log-after";
        for (;;) {
            const std::wstring log = Text(::GetDlgItem(dialog, kLogId));
            if (log.find(argv[2]) != std::wstring::npos) {
                if (always) Print(log);
                return 0;
            }
            // A sequence that ended in failure will not log TEXT any more.
            const bool failed = always && log.find(kSequenceFailed) != std::wstring::npos;
            if (::GetTickCount() - start > limit || failed) {
                Print(log);
                return 1;
            }
            ::Sleep(200);
        }
    }
    if (command == L"wait-enabled" && argc == 4) {
        // Looked up each time: the window may still be creating its controls.
        return WaitFor(argv[3], [dialog, id = argv[2]] {
            const HWND control = Control(dialog, id);
            return control != nullptr && ::IsWindowEnabled(control) != FALSE;
        });
    }
    if (command == L"ready" && argc == 3) {
        // Looked up each time: the window may still be creating its controls.
        if (WaitFor(argv[2], [dialog] {
                const HWND start = ::GetDlgItem(dialog, kStartId);
                return start != nullptr && ::IsWindowEnabled(start) != FALSE;
            }) != 0) {
            return 1;
        }
        RECT s{};
        RECT e{};
        if (!::GetWindowRect(::GetDlgItem(dialog, kStartId), &s) ||
            !::GetWindowRect(::GetDlgItem(dialog, IDCANCEL), &e)) {
            return 3;
        }
        std::printf("%ld %ld %ld %ld\n", (s.left + s.right) / 2, (s.top + s.bottom) / 2,
                    (e.left + e.right) / 2, (e.top + e.bottom) / 2);
        return 0;
    }
    if (command == L"center" && argc == 3) {
        const HWND control = Control(dialog, argv[2]);
        RECT rect{};
        if (control == nullptr || !::GetWindowRect(control, &rect)) return 3;
        std::printf("%ld %ld\n", (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
        return 0;
    }
    if (command == L"rect" && argc == 3) {
        const HWND control = Control(dialog, argv[2]);
        RECT rect{};
        RECT client{};
        if (control == nullptr || !::GetWindowRect(control, &rect) ||
            !::GetClientRect(dialog, &client)) {
            return 3;
        }
        ::MapWindowPoints(dialog, nullptr, reinterpret_cast<POINT*>(&client), 2);
        RECT shown{};
        ::IntersectRect(&shown, &rect, &client);
        std::printf("%ld %ld %ld %ld %ld %ld %ld %ld\n", shown.left, shown.top, shown.right,
                    shown.bottom, client.left, client.top, client.right, client.bottom);
        return 0;
    }
    if (command == L"wait-box" && argc == 3) {
        return WaitFor(argv[2], [dialog] { return MessageBoxOf(dialog) != nullptr; });
    }
    if (command == L"wait-no-box" && argc == 3) {
        return WaitFor(argv[2], [dialog] { return MessageBoxOf(dialog) == nullptr; });
    }
    if (command == L"wait-exit" && argc == 3) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(dialog, &pid);
        const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
        if (process == nullptr) return 3;
        std::printf("armed\n");
        std::fflush(stdout);
        const DWORD limit = static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10));
        const DWORD start = ::GetTickCount();
        const bool ended = ::WaitForSingleObject(process, limit) == WAIT_OBJECT_0;
        std::printf("%lu\n", ended ? ::GetTickCount() - start : limit);
        ::CloseHandle(process);
        return ended ? 0 : 1;
    }
    return Usage();
}
