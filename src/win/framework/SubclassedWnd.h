#pragma once

#include "Wnd.h"

namespace tamblor::win {

// A control created by a dialog template whose messages we take over. Messages we do not
// handle go on to the control's own window procedure.
class CSubclassedWnd : public CWnd {
  public:
    ~CSubclassedWnd() override;

    // Binds the object to the control; false when the control does not exist.
    bool Attach(HWND control);
    void Detach();

  protected:
    // Runs just before the object starts receiving the control's messages.
    virtual void PreSubclassWindow() {}
    virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Default(UINT msg, WPARAM wParam, LPARAM lParam);

  private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR self);
};

}  // namespace tamblor::win
