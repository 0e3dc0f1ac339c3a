// The news page's host: a minimal OLE container site for the system web browser
// control, living in the window thread's single-threaded apartment (every call,
// events included, arrives on that thread). COM references keep it alive; the
// launcher window holds one and gives it up with Close. A failed creation step is
// logged and leaves the area blank; Navigate then does nothing.
#pragma once

#include <windows.h>

#include <exdisp.h>
#include <ole2.h>
#include <string>

class WebBrowser : public IOleClientSite, public IOleInPlaceSite, public IStorage, public IDispatch
{
  public:
    // Count 0: the first AddRef is the owner's or the control's.
    WebBrowser(HWND parent, const RECT& bounds);

    WebBrowser(const WebBrowser&) = delete;
    WebBrowser& operator=(const WebBrowser&) = delete;

    // The launcher window's way in: makes the site holding one reference for the
    // caller, initialises OLE, creates and shows the control and navigates to `url`.
    static WebBrowser* Open(HWND parent, const RECT& bounds, const std::wstring& url);
    // Closes the control and gives up the caller's reference; the object goes
    // once the control has let go of it too.
    void Close();

    bool Create(RECT rect);
    void Navigate(const std::wstring& url);
    const std::wstring& CurrentUrl() const { return currentUrl; }
    // Borrowed; null when the control could not be made.
    IWebBrowser2* Control() const { return webBrowser; }

    // IUnknown, shared by the four interfaces.
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IOleClientSite
    STDMETHODIMP SaveObject() override;
    STDMETHODIMP GetMoniker(DWORD assign, DWORD whichMoniker, IMoniker** moniker) override;
    STDMETHODIMP GetContainer(IOleContainer** container) override;
    STDMETHODIMP ShowObject() override;
    STDMETHODIMP OnShowWindow(BOOL show) override;
    STDMETHODIMP RequestNewObjectLayout() override;

    virtual void SetBounds(const RECT& rect);
    virtual HWND GetControlWindow();

    // IOleWindow, IOleInPlaceSite
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL enterMode) override;
    STDMETHODIMP CanInPlaceActivate() override;
    STDMETHODIMP OnInPlaceActivate() override;
    STDMETHODIMP OnUIActivate() override;
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                  LPRECT position, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO frameInfo) override;
    STDMETHODIMP Scroll(SIZE extent) override;
    STDMETHODIMP OnUIDeactivate(BOOL undoable) override;
    STDMETHODIMP OnInPlaceDeactivate() override;
    STDMETHODIMP DiscardUndoState() override;
    STDMETHODIMP DeactivateAndUndo() override;
    STDMETHODIMP OnPosRectChange(LPCRECT position) override;

    // IStorage: the control is given a storage but never needs one.
    STDMETHODIMP CreateStream(const OLECHAR* name, DWORD mode, DWORD reserved1, DWORD reserved2,
                              IStream** stream) override;
    STDMETHODIMP OpenStream(const OLECHAR* name, void* reserved1, DWORD mode, DWORD reserved2,
                            IStream** stream) override;
    STDMETHODIMP CreateStorage(const OLECHAR* name, DWORD mode, DWORD reserved1, DWORD reserved2,
                               IStorage** storage) override;
    STDMETHODIMP OpenStorage(const OLECHAR* name, IStorage* priority, DWORD mode, SNB exclude,
                             DWORD reserved, IStorage** storage) override;
    STDMETHODIMP CopyTo(DWORD excludeCount, const IID* excludeIds, SNB exclude,
                        IStorage* destination) override;
    STDMETHODIMP MoveElementTo(const OLECHAR* name, IStorage* destination, const OLECHAR* newName,
                               DWORD flags) override;
    STDMETHODIMP Commit(DWORD flags) override;
    STDMETHODIMP Revert() override;
    STDMETHODIMP EnumElements(DWORD reserved1, void* reserved2, DWORD reserved3,
                              IEnumSTATSTG** elements) override;
    STDMETHODIMP DestroyElement(const OLECHAR* name) override;
    STDMETHODIMP RenameElement(const OLECHAR* oldName, const OLECHAR* newName) override;
    STDMETHODIMP SetElementTimes(const OLECHAR* name, const FILETIME* created,
                                 const FILETIME* accessed, const FILETIME* modified) override;
    STDMETHODIMP SetClass(REFCLSID classId) override;
    STDMETHODIMP SetStateBits(DWORD bits, DWORD mask) override;
    STDMETHODIMP Stat(STATSTG* statistics, DWORD flags) override;

    // IDispatch: the control's events (DWebBrowserEvents2).
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** typeInfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                               DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID member, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

  private:
    // Only the last Release deletes.
    virtual ~WebBrowser();
    void Unadvise();

    IOleObject* oleObject = nullptr;
    IOleInPlaceObject* inPlaceObject = nullptr;
    IWebBrowser2* webBrowser = nullptr;
    DWORD adviseCookie = 0;
    RECT bounds{};
    HWND parentWindow = nullptr;
    HWND controlWindow = nullptr;
    LONG refCount = 0;
    std::wstring currentUrl;
    // OnInPlaceActivate locked the control running; Close unlocks it once.
    bool runningLocked = false;
};
