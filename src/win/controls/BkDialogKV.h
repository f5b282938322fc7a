#pragma once

#include "win/framework/Dialog.h"

namespace tamblor::win {

// A dialog that paints a bitmap, laid as tiles from the top-left corner, as its background.
// The background is composed off screen and reaches the window in one copy.
class CBkDialogKV : public CDialog {
  public:
    CBkDialogKV(UINT templateId, HWND parent) : CDialog(templateId, parent) {}
    ~CBkDialogKV() override;

    // Loads bitmap resource `id` scaled to width x height and makes it the background.
    // 0: set (or the resource was missing: no background); 1: the bitmap's size is unreadable.
    int SetBackgroundBitmap(UINT id, int width, int height);
    bool HasBackground() const { return m_bitmap != nullptr; }

  protected:
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

  private:
    LRESULT OnEraseBkgnd(HDC dc);
    void ReleaseBitmap();

    HBITMAP m_bitmap = nullptr;
    int m_bitmapWidth = 0;
    int m_bitmapHeight = 0;
};

}  // namespace tamblor::win
