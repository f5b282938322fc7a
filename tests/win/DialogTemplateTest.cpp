// The resources of tamblor.exe as the operators get it: dialog template 102 with every control,
// as skin/DialogLayout.h describes it for both windows, and the images the window loads.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on
#include <gtest/gtest.h>

#include <cstring>
#include <cwctype>
#include <string>
#include <vector>

#include "skin/DialogLayout.h"

namespace tamblor::test {
namespace {

const LPCWSTR kDialog = MAKEINTRESOURCEW(5);
const LPCWSTR kBitmap = MAKEINTRESOURCEW(2);
const LPCWSTR kIconGroup = MAKEINTRESOURCEW(14);

// Reads a DLGTEMPLATEEX: fixed fields, then strings or ordinals, each item DWORD-aligned.
class TemplateReader {
  public:
    explicit TemplateReader(const std::uint8_t* data) : m_base(data), m_p(data) {}

    template <typename T>
    T Read() {
        T value;
        std::memcpy(&value, m_p, sizeof value);
        m_p += sizeof value;
        return value;
    }
    // A string, or "#<ordinal>" for an ordinal, or "" for none.
    std::wstring ReadSzOrOrd() {
        const auto first = Read<WORD>();
        if (first == 0) return L"";
        if (first == 0xFFFF) return L"#" + std::to_wstring(Read<WORD>());
        std::wstring text(1, static_cast<wchar_t>(first));
        while (const auto c = Read<WORD>()) text += static_cast<wchar_t>(c);
        return text;
    }
    std::wstring ReadString() {
        std::wstring text;
        while (const auto c = Read<WORD>()) text += static_cast<wchar_t>(c);
        return text;
    }
    void Align(std::size_t to) {
        while ((m_p - m_base) % to) ++m_p;
    }
    void Skip(std::size_t n) { m_p += n; }

  private:
    const std::uint8_t* m_base;
    const std::uint8_t* m_p;
};

std::wstring ClassName(std::wstring name) {
    if (name == L"#128") return L"button";
    if (name == L"#129") return L"edit";
    if (name == L"#130") return L"static";
    for (auto& c : name) c = static_cast<wchar_t>(std::towlower(c));
    return name;
}

struct Item {
    DWORD exStyle;
    DWORD style;
    short x, y, cx, cy;
    int id;
    std::wstring className;
    std::wstring text;
};

class TamblorResources : public ::testing::Test {
  protected:
    void SetUp() override {
        m_module = ::LoadLibraryExW(TAMBLOR_EXE_NAME, nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(m_module, nullptr);
    }
    void TearDown() override {
        if (m_module) ::FreeLibrary(m_module);
    }
    const std::uint8_t* Resource(WORD id, LPCWSTR type) {
        const HRSRC found = ::FindResourceW(m_module, MAKEINTRESOURCEW(id), type);
        if (found == nullptr) return nullptr;
        return static_cast<const std::uint8_t*>(::LockResource(::LoadResource(m_module, found)));
    }

    HMODULE m_module = nullptr;
};

TEST_F(TamblorResources, Dialog102IsTheOperatorWindow) {
    const auto* data = Resource(IDD_TAMBLOR_DIALOG, kDialog);
    ASSERT_NE(data, nullptr);
    TemplateReader r(data);
    ASSERT_EQ(r.Read<WORD>(), 1);       // dlgVer
    ASSERT_EQ(r.Read<WORD>(), 0xFFFF);  // extended template
    r.Read<DWORD>();                    // help ID
    EXPECT_EQ(r.Read<DWORD>(), DWORD{WS_EX_APPWINDOW});
    EXPECT_EQ(r.Read<DWORD>(),
              DWORD{WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME | DS_SETFONT});
    const auto count = r.Read<WORD>();
    const short x = r.Read<short>(), y = r.Read<short>(), cx = r.Read<short>(),
                cy = r.Read<short>();
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(cx, TAMBLOR_DLG_WIDTH);
    EXPECT_EQ(cy, TAMBLOR_DLG_HEIGHT);
    EXPECT_EQ(r.ReadSzOrOrd(), L"");  // no menu
    EXPECT_EQ(r.ReadSzOrOrd(), L"");  // the standard dialog class
    EXPECT_EQ(r.ReadString(), L"" TAMBLOR_DLG_CAPTION);
    EXPECT_EQ(r.Read<WORD>(), TAMBLOR_DLG_FONT_POINTS);
    EXPECT_EQ(r.Read<WORD>(), 400);  // weight
    EXPECT_EQ(r.Read<BYTE>(), 0);    // not italic
    EXPECT_EQ(r.Read<BYTE>(), DEFAULT_CHARSET);
    EXPECT_EQ(r.ReadString(), L"" TAMBLOR_DLG_FONT_FACE);

    std::vector<Item> items;
    for (int i = 0; i < count; ++i) {
        r.Align(4);
        Item item{};
        r.Read<DWORD>();  // help ID
        item.exStyle = r.Read<DWORD>();
        item.style = r.Read<DWORD>();
        item.x = r.Read<short>();
        item.y = r.Read<short>();
        item.cx = r.Read<short>();
        item.cy = r.Read<short>();
        item.id = static_cast<int>(r.Read<DWORD>());
        item.className = ClassName(r.ReadSzOrOrd());
        item.text = r.ReadSzOrOrd();
        r.Skip(r.Read<WORD>());
        items.push_back(item);
    }

    const DWORD child = WS_CHILD;
    const std::vector<Item> expected = {
        {0, child | BS_DEFPUSHBUTTON | WS_TABSTOP | WS_DISABLED, TAMBLOR_DLG_SCAN, IDC_SCAN,
         L"button", L"" TAMBLOR_DLG_SCAN_TEXT},
        {0, child | WS_VISIBLE | WS_TABSTOP | BS_BITMAP, TAMBLOR_DLG_EXIT, IDCANCEL, L"button",
         L""},
        {WS_EX_TRANSPARENT | WS_EX_RIGHT, child | WS_VISIBLE | WS_GROUP | SS_CENTER,
         TAMBLOR_DLG_VERSION, -1, L"static", L"" TAMBLOR_DLG_VERSION_TEXT},
        {0, child | WS_VISIBLE | WS_DISABLED | WS_TABSTOP | BS_BITMAP | BS_DEFPUSHBUTTON,
         TAMBLOR_DLG_START_UPGRADE, IDC_START_UPGRADE, L"button", L""},
        {WS_EX_TRANSPARENT,
         child | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL |
             ES_WANTRETURN,
         TAMBLOR_DLG_LOG, IDC_LOG, L"edit", L""},
        {WS_EX_TRANSPARENT, child | WS_VISIBLE | WS_BORDER | PBS_SMOOTH, TAMBLOR_DLG_PROGRESS,
         IDC_PROGRESS, L"msctls_progress32", L""},
        {0, child | WS_TABSTOP | BS_BITMAP, TAMBLOR_DLG_TEST, IDC_TEST, L"button",
         L"" TAMBLOR_DLG_TEST_TEXT},
        {WS_EX_TRANSPARENT, child | WS_GROUP, TAMBLOR_DLG_EXIT_LABEL, -1, L"static",
         L"" TAMBLOR_DLG_EXIT_LABEL_TEXT},
    };
    ASSERT_EQ(items.size(), expected.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE("control " + std::to_string(i));
        const auto& a = items[i];
        const auto& e = expected[i];
        EXPECT_EQ(a.id, e.id);
        EXPECT_EQ(a.className, e.className);
        EXPECT_EQ(a.text, e.text);
        EXPECT_EQ(a.style, e.style) << std::hex << (a.style ^ e.style);
        EXPECT_EQ(a.exStyle, e.exStyle);
        EXPECT_EQ(a.x, e.x);
        EXPECT_EQ(a.y, e.y);
        EXPECT_EQ(a.cx, e.cx);
        EXPECT_EQ(a.cy, e.cy);
    }
}

TEST_F(TamblorResources, CarriesTheBackgroundAndTheIcons) {
    const auto* bitmap =
        reinterpret_cast<const BITMAPINFOHEADER*>(Resource(IDB_BACKGROUND, kBitmap));
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->biWidth, 500);
    EXPECT_EQ(bitmap->biHeight, 288);
    EXPECT_EQ(bitmap->biBitCount, 24);

#pragma pack(push, 2)
    struct GroupEntry {
        BYTE width, height, colors, reserved;
        WORD planes, bitCount;
        DWORD bytes;
        WORD id;
    };
#pragma pack(pop)
    struct Case {
        WORD id;
        std::vector<int> sizes;
    };
    for (const Case& c :
         {Case{IDR_MAINFRAME, {48, 32, 16}}, Case{IDI_EXIT, {48}}, Case{IDI_EXIT_HOT, {48}},
          Case{IDI_START_UPGRADE, {48}}, Case{IDI_START_UPGRADE_HOT, {48}}}) {
        SCOPED_TRACE(c.id);
        const auto* group = Resource(c.id, kIconGroup);
        ASSERT_NE(group, nullptr);
        WORD count;
        std::memcpy(&count, group + 4, sizeof count);
        std::vector<int> sizes;
        for (WORD i = 0; i < count; ++i) {
            GroupEntry entry;
            std::memcpy(&entry, group + 6 + i * sizeof entry, sizeof entry);
            sizes.push_back(entry.width);
        }
        EXPECT_EQ(sizes, c.sizes);
    }
}

}  // namespace
}  // namespace tamblor::test
