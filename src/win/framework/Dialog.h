#pragma once

#include "Wnd.h"

namespace tamblor::win {

// A modal dialog made from a template resource of the executable, with its own modal loop so
// that every queued message passes PreTranslateMessage of the window it is addressed to.
class CDialog : public CWnd {
  public:
    CDialog(UINT templateId, HWND parent);
    ~CDialog() override;

    // Creates the dialog, runs it until EndDialog, destroys it; returns EndDialog's value, or
    // -1 when the dialog could not be created.
    INT_PTR DoModal();
    void EndDialog(INT_PTR result);

  protected:
    // After the controls exist; true lets the system set the focus.
    virtual BOOL OnInitDialog();
    // A message for the dialog. Return true when handled, with its result in `result`;
    // false lets the dialog's default processing run.
    virtual bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // The default answer to a colour request: the control's own (reflected), else the system's.
    LRESULT DefaultCtlColor(UINT msg, WPARAM wParam, LPARAM lParam);

    HWND Item(int id) const { return ::GetDlgItem(m_hwnd, id); }

  private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);

    UINT m_templateId;
    HWND m_parent;
    bool m_running = false;
    INT_PTR m_result = -1;
};

}  // namespace tamblor::win
