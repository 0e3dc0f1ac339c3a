// The common part of the launcher's picture buttons: a standard "BUTTON" child
// window whose drawing and mouse feedback are taken over by subclassing, and
// the process-wide registry that maps a button's window to its object.
// Window thread only, except Hide() and Show(), which the update thread reaches
// through the launcher window's own hand-over.
#pragma once

#include "base/DisplayScale.h"

#include <windows.h>

#include <string>
#include <unordered_map>

class ButtonBase;

// Child window handle -> button; written and read on the window thread only.
extern std::unordered_map<HWND, ButtonBase*> buttonRegistry;

// The registered button of `window`, or null.
ButtonBase* FindButton(HWND window);

class ButtonBase
{
  public:
    // Makes the child window at (x, y) of `parent`, registers it and installs
    // the subclass. `caption` becomes the window text for screen readers; the
    // face is drawn from the pictures, never from the text. The box is the
    // 96-DPI design's; the window is placed at the parent's DPI.
    ButtonBase(HWND parent, int x, int y, int width, int height, const std::wstring& caption);
    virtual ~ButtonBase();

    ButtonBase(const ButtonBase&) = delete;
    ButtonBase& operator=(const ButtonBase&) = delete;

    // True when the message is fully handled here.
    virtual bool HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    virtual void OnClick() = 0;
    virtual HBITMAP GetNormalBitmap() = 0;
    virtual HBITMAP GetHoverBitmap() = 0;
    virtual HBITMAP GetPressedBitmap() = 0;
    virtual int GetWidth() = 0;
    virtual int GetHeight() = 0;
    virtual void Hide();
    virtual void Show();
    // Places the button and loads its faces for the parent's new DPI; throws
    // the picture loader's error, the button placed and its old faces kept.
    void SetScale(const DisplayScale& scale);
    const DisplayScale& Scale() const { return scale; }

    HWND Window() const { return window; }
    bool Hovered() const { return hovered; }
    bool Pressed() const { return pressed; }

  protected:
    // The instance handle the pictures are loaded from: the parent's.
    HINSTANCE ParentInstance() const;
    // The faces drawn for Scale(); called after a change of DPI.
    virtual void ReloadPictures() {}

    bool hovered = false;
    bool pressed = false;
    HWND parent = nullptr;
    HWND window = nullptr;

  private:
    RECT designBox;
    DisplayScale scale;

    void PaintFace(HDC dc);
    static void Redraw(HWND hwnd);
};
