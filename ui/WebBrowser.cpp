#include "ui/WebBrowser.h"

#include "base/DisplayScale.h"
#include "ui/BrowserEvents.h"

#include <new>
#include <spdlog/spdlog.h>

namespace
{
constexpr int kHimetricPerInch = 2540;

// The control's event source; null (logged when `logFailures`) when it has none.
IConnectionPoint* FindBrowserEvents(IUnknown* control, bool logFailures)
{
    IConnectionPointContainer* container = nullptr;
    if (FAILED(control->QueryInterface(IID_IConnectionPointContainer,
                                       reinterpret_cast<void**>(&container))) ||
        !container)
    {
        if (logFailures)
            spdlog::error("failed to query IConnectionPointContainer: {:X}", GetLastError());
        return nullptr;
    }
    IConnectionPoint* point = nullptr;
    if (FAILED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, &point)) || !point)
    {
        if (logFailures)
            spdlog::error("failed to find the connection point: {:X}", GetLastError());
        point = nullptr;
    }
    container->Release();
    return point;
}

template <typename Interface> void ReleaseAndClear(Interface*& pointer)
{
    if (pointer)
    {
        pointer->Release();
        pointer = nullptr;
    }
}
} // namespace

WebBrowser::WebBrowser(HWND parent, const RECT& bounds) : bounds(bounds), parentWindow(parent) {}

WebBrowser::~WebBrowser()
{
    Unadvise();
    ReleaseAndClear(webBrowser);
    ReleaseAndClear(inPlaceObject);
    ReleaseAndClear(oleObject);
}

WebBrowser* WebBrowser::Open(HWND parent, const RECT& bounds, const std::wstring& url)
{
    auto* site = new WebBrowser(parent, bounds);
    site->AddRef();
    OleInitialize(nullptr);
    if (site->Create(bounds))
    {
        ShowWindow(site->GetControlWindow(), SW_SHOW);
        site->Navigate(url);
    }
    return site;
}

void WebBrowser::Close()
{
    // Our own reference goes last, so the control letting go below cannot delete us midway.
    Unadvise();
    ReleaseAndClear(webBrowser);
    if (oleObject)
    {
        oleObject->Close(OLECLOSE_NOSAVE);
        oleObject->SetClientSite(nullptr);
        if (runningLocked)
            OleLockRunning(oleObject, FALSE, FALSE);
        runningLocked = false;
    }
    ReleaseAndClear(inPlaceObject);
    ReleaseAndClear(oleObject);
    controlWindow = nullptr;
    Release();
}

bool WebBrowser::Create(RECT rect)
{
    if (FAILED(OleCreate(CLSID_WebBrowser, IID_IOleObject, OLERENDER_DRAW, nullptr,
                         static_cast<IOleClientSite*>(this), static_cast<IStorage*>(this),
                         reinterpret_cast<void**>(&oleObject))) ||
        !oleObject)
    {
        oleObject = nullptr;
        spdlog::error("failed to create CLSID_WebBrowser");
        return false;
    }
    oleObject->SetClientSite(this);
    OleSetContainedObject(oleObject, TRUE);

    if (FAILED(oleObject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, -1, parentWindow, &rect)))
    {
        spdlog::error("failed to DoVerb on web browser");
        return false;
    }
    if (FAILED(oleObject->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&webBrowser))))
    {
        webBrowser = nullptr;
        spdlog::error("failed to QueryInterface on web browser");
        return false;
    }

    IConnectionPoint* events = FindBrowserEvents(oleObject, true);
    if (!events)
        return true;
    if (FAILED(events->Advise(static_cast<IDispatch*>(this), &adviseCookie)))
    {
        adviseCookie = 0;
        spdlog::error("failed to advise the connection point: {:X}", GetLastError());
    }
    events->Release();
    return true;
}

void WebBrowser::Navigate(const std::wstring& url)
{
    if (!webBrowser)
        return;
    currentUrl = url;
    BSTR address = SysAllocStringLen(url.data(), static_cast<UINT>(url.size()));
    if (!address)
        throw std::bad_alloc();
    VARIANT flags;
    VariantInit(&flags);
    V_VT(&flags) = VT_UINT;
    V_UINT(&flags) = navNoHistory;
    webBrowser->Navigate(address, &flags, nullptr, nullptr, nullptr);
    VariantClear(&flags);
    SysFreeString(address);
}

void WebBrowser::Unadvise()
{
    if (adviseCookie == 0 || !webBrowser)
        return;
    if (IConnectionPoint* events = FindBrowserEvents(webBrowser, false))
    {
        events->Unadvise(adviseCookie);
        events->Release();
    }
    adviseCookie = 0;
}

void WebBrowser::SetBounds(const RECT& rect)
{
    bounds = rect;
    // The control's extent is in HIMETRIC at the DPI its host is shown at.
    const int dpi = static_cast<int>(WindowDpi(parentWindow));
    SIZEL extent{
        MulDiv(kHimetricPerInch, rect.right, dpi) - MulDiv(kHimetricPerInch, rect.left, dpi),
        MulDiv(kHimetricPerInch, rect.bottom, dpi) - MulDiv(kHimetricPerInch, rect.top, dpi)};
    if (oleObject)
        oleObject->SetExtent(DVASPECT_CONTENT, &extent);
    if (inPlaceObject)
        inPlaceObject->SetObjectRects(&bounds, &bounds);
}

HWND WebBrowser::GetControlWindow()
{
    if (controlWindow)
        return controlWindow;
    if (inPlaceObject)
    {
        HWND window = nullptr;
        if (SUCCEEDED(inPlaceObject->GetWindow(&window)))
            controlWindow = window;
    }
    return controlWindow;
}

STDMETHODIMP WebBrowser::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown))
        *object = static_cast<IOleClientSite*>(this);
    else if (IsEqualIID(iid, IID_IOleInPlaceSite))
        *object = static_cast<IOleInPlaceSite*>(this);
    else if (IsEqualIID(iid, IID_IDispatch))
        *object = static_cast<IDispatch*>(this);
    else
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) WebBrowser::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&refCount));
}

STDMETHODIMP_(ULONG) WebBrowser::Release()
{
    const LONG count = InterlockedDecrement(&refCount);
    if (count == 0)
        delete this;
    return static_cast<ULONG>(count);
}

STDMETHODIMP WebBrowser::SaveObject()
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowser::GetMoniker(DWORD assign, DWORD whichMoniker, IMoniker**)
{
    if (assign == OLEGETMONIKER_ONLYIFTHERE && whichMoniker == OLEWHICHMK_CONTAINER)
        return E_FAIL;
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowser::GetContainer(IOleContainer**)
{
    return E_NOINTERFACE;
}

STDMETHODIMP WebBrowser::ShowObject()
{
    return S_OK;
}

STDMETHODIMP WebBrowser::OnShowWindow(BOOL)
{
    return S_OK;
}

STDMETHODIMP WebBrowser::RequestNewObjectLayout()
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowser::GetWindow(HWND* window)
{
    if (!window)
        return E_POINTER;
    *window = parentWindow;
    return S_OK;
}

STDMETHODIMP WebBrowser::ContextSensitiveHelp(BOOL)
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowser::CanInPlaceActivate()
{
    return S_OK;
}

STDMETHODIMP WebBrowser::OnInPlaceActivate()
{
    if (!runningLocked)
        runningLocked = SUCCEEDED(OleLockRunning(oleObject, TRUE, FALSE));
    ReleaseAndClear(inPlaceObject);
    if (SUCCEEDED(oleObject->QueryInterface(IID_IOleInPlaceObject,
                                            reinterpret_cast<void**>(&inPlaceObject))) &&
        inPlaceObject)
        inPlaceObject->SetObjectRects(&bounds, &bounds);
    else
        inPlaceObject = nullptr;
    return S_OK;
}

STDMETHODIMP WebBrowser::OnUIActivate()
{
    return S_OK;
}

STDMETHODIMP WebBrowser::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                          LPRECT position, LPRECT clip,
                                          LPOLEINPLACEFRAMEINFO frameInfo)
{
    if (frame)
        *frame = nullptr;
    if (document)
        *document = nullptr;
    if (position)
        *position = bounds;
    if (clip)
        *clip = bounds;
    if (frameInfo)
    {
        frameInfo->fMDIApp = FALSE;
        frameInfo->hwndFrame = parentWindow;
        frameInfo->haccel = nullptr;
        frameInfo->cAccelEntries = 0;
    }
    return S_OK;
}

STDMETHODIMP WebBrowser::Scroll(SIZE)
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowser::OnUIDeactivate(BOOL)
{
    return S_OK;
}

STDMETHODIMP WebBrowser::OnInPlaceDeactivate()
{
    controlWindow = nullptr;
    ReleaseAndClear(inPlaceObject);
    return S_OK;
}

STDMETHODIMP WebBrowser::DiscardUndoState()
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowser::DeactivateAndUndo()
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowser::OnPosRectChange(LPCRECT)
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowser::CreateStream(const OLECHAR*, DWORD, DWORD, DWORD, IStream**)
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowser::OpenStream(const OLECHAR*, void*, DWORD, DWORD, IStream**)
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowser::CreateStorage(const OLECHAR*, DWORD, DWORD, DWORD, IStorage**)
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowser::OpenStorage(const OLECHAR*, IStorage*, DWORD, SNB, DWORD, IStorage**)
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowser::CopyTo(DWORD, const IID*, SNB, IStorage*)
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowser::MoveElementTo(const OLECHAR*, IStorage*, const OLECHAR*, DWORD)
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowser::Commit(DWORD)
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowser::Revert()
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowser::EnumElements(DWORD, void*, DWORD, IEnumSTATSTG**)
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowser::DestroyElement(const OLECHAR*)
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowser::RenameElement(const OLECHAR*, const OLECHAR*)
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowser::SetElementTimes(const OLECHAR*, const FILETIME*, const FILETIME*,
                                         const FILETIME*)
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowser::SetClass(REFCLSID)
{
    return S_OK;
}

STDMETHODIMP WebBrowser::SetStateBits(DWORD, DWORD)
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowser::Stat(STATSTG*, DWORD)
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowser::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP WebBrowser::GetTypeInfo(UINT, LCID, ITypeInfo**)
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowser::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowser::Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                EXCEPINFO*, UINT*)
{
    return HandleBrowserEvent(member, params, currentUrl, webBrowser);
}
