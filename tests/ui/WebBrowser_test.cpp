// The news browser host: the navigation rules on the events the browser control
// sends, the control as Wine provides it, and the launcher window's use of it.
// The test prefix switches Wine's HTML engine off, so no page renders and no
// link can be clicked: events that only a rendered page sends are built here as
// the control builds them.
#include "support/LogCapture.h"
#include "support/MessageBoxAnswerer.h"
#include "support/Registry.h"
#include "support/TempFolder.h"
#include "support/WindowPump.h"
#include "ui/BrowserEvents.h"
#include "ui/LauncherDialog.h"
#include "ui/WebBrowser.h"
#include "update/UpdateManager.h"

#include <exdisp.h>
#include <exdispid.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <optional>
#include <regex>
#include <spdlog/sinks/ostream_sink.h>
#include <sstream>
#include <thread>

namespace
{
// What would have gone to ShellExecuteW "open", in order.
class OpenedAddresses
{
  public:
    OpenedAddresses()
    {
        SetOpenInUserBrowserForTesting(
            [this](const std::wstring& url)
            {
                std::lock_guard lock(mutex_);
                urls_.push_back(url);
            });
    }
    ~OpenedAddresses() { SetOpenInUserBrowserForTesting({}); }

    std::vector<std::wstring> Urls()
    {
        std::lock_guard lock(mutex_);
        return urls_;
    }

  private:
    std::mutex mutex_;
    std::vector<std::wstring> urls_;
};

VARIANT ByRef(VARIANT* target)
{
    VARIANT reference;
    VariantInit(&reference);
    V_VT(&reference) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&reference) = target;
    return reference;
}

// BeforeNavigate2(pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel)
// as the control passes it: arguments last first, all but pDisp by reference.
class BeforeNavigate2
{
  public:
    explicit BeforeNavigate2(const std::wstring& url, std::wstring frame = L"")
    {
        for (VARIANT& value : values_)
            VariantInit(&value);
        V_VT(&values_[kUrl]) = VT_BSTR;
        V_BSTR(&values_[kUrl]) = SysAllocStringLen(url.data(), static_cast<UINT>(url.size()));
        V_VT(&values_[kFrame]) = VT_BSTR;
        V_BSTR(&values_[kFrame]) = SysAllocString(frame.c_str());
        V_VT(&values_[kFlags]) = VT_I4;
        for (VARIANT& argument : arguments_)
            VariantInit(&argument);
        V_VT(&arguments_[6]) = VT_DISPATCH;
        arguments_[5] = ByRef(&values_[kUrl]);
        arguments_[4] = ByRef(&values_[kFlags]);
        arguments_[3] = ByRef(&values_[kFrame]);
        arguments_[2] = ByRef(&values_[kPostData]);
        arguments_[1] = ByRef(&values_[kHeaders]);
        V_VT(&arguments_[0]) = VT_BYREF | VT_BOOL;
        V_BOOLREF(&arguments_[0]) = &cancel_;
        params_.rgvarg = arguments_;
        params_.cArgs = 7;
    }
    ~BeforeNavigate2()
    {
        for (VARIANT& value : values_)
            VariantClear(&value);
    }
    BeforeNavigate2(const BeforeNavigate2&) = delete;
    BeforeNavigate2& operator=(const BeforeNavigate2&) = delete;

    DISPPARAMS* Params() { return &params_; }
    VARIANT& UrlValue() { return values_[kUrl]; }
    // The browser that navigates: the control, or a frame's.
    void SetNavigating(IDispatch* browser) { V_DISPATCH(&arguments_[6]) = browser; }
    bool Cancelled() const { return cancel_ == VARIANT_TRUE; }

  private:
    enum
    {
        kUrl,
        kFlags,
        kFrame,
        kPostData,
        kHeaders,
        kValueCount
    };
    VARIANT values_[kValueCount];
    VARIANT arguments_[7];
    VARIANT_BOOL cancel_ = VARIANT_FALSE;
    DISPPARAMS params_{};
};

// NewWindow3(ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl), last first.
class NewWindow3
{
  public:
    explicit NewWindow3(const std::wstring& url)
    {
        for (VARIANT& argument : arguments_)
            VariantInit(&argument);
        V_VT(&arguments_[4]) = VT_BYREF | VT_DISPATCH;
        V_DISPATCHREF(&arguments_[4]) = &window_;
        V_VT(&arguments_[3]) = VT_BYREF | VT_BOOL;
        V_BOOLREF(&arguments_[3]) = &cancel_;
        V_VT(&arguments_[2]) = VT_I4;
        V_VT(&arguments_[1]) = VT_BSTR;
        V_BSTR(&arguments_[1]) = SysAllocString(L"https://news.norvik.test/");
        V_VT(&arguments_[0]) = VT_BSTR;
        V_BSTR(&arguments_[0]) = SysAllocStringLen(url.data(), static_cast<UINT>(url.size()));
        params_.rgvarg = arguments_;
        params_.cArgs = 5;
    }
    ~NewWindow3()
    {
        VariantClear(&arguments_[1]);
        VariantClear(&arguments_[0]);
    }
    NewWindow3(const NewWindow3&) = delete;
    NewWindow3& operator=(const NewWindow3&) = delete;

    DISPPARAMS* Params() { return &params_; }
    VARIANT& UrlArgument() { return arguments_[0]; }
    bool Cancelled() const { return cancel_ == VARIANT_TRUE; }

  private:
    VARIANT arguments_[5];
    IDispatch* window_ = nullptr;
    VARIANT_BOOL cancel_ = VARIANT_FALSE;
    DISPPARAMS params_{};
};

const std::wstring kNewsPage = L"https://news.norvik.test/launcher/news.html";

// A browser object as events name it: only its COM identity matters.
class StandInBrowser final : public IDispatch
{
  public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (iid != IID_IUnknown && iid != IID_IDispatch)
        {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IDispatch*>(this);
        return S_OK;
    }
    // Lives on the test's stack.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override
    {
        return E_NOTIMPL;
    }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) override
    {
        return E_NOTIMPL;
    }
};

std::filesystem::path TestPage()
{
    return std::filesystem::path(L"Z:" + std::filesystem::path(NORVIK_TESTDATA_DIR).wstring()) /
           "ui" / "testdata" / "WebBrowser" / "news.html";
}

// The addresses the page's links and frames name, in page order.
std::vector<std::wstring> PageAddresses(const std::string& html)
{
    static const std::regex attribute(R"re((?:href|src)="([^"]*)")re");
    std::vector<std::wstring> addresses;
    for (auto match = std::sregex_iterator(html.begin(), html.end(), attribute);
         match != std::sregex_iterator(); ++match)
        addresses.push_back(std::filesystem::path((*match)[1].str()).wstring());
    return addresses;
}
} // namespace

TEST(NavigationRules, OnlyTheCurrentPageLoadsInsideAndOnlyWebAddressesLeave)
{
    using enum NavigationVerdict;
    EXPECT_EQ(JudgeNavigation(L"about:blank", L"about:blank"), LoadInside);
    EXPECT_EQ(JudgeNavigation(kNewsPage, kNewsPage), LoadInside);
    EXPECT_EQ(JudgeNavigation(L"https://www.example.com/", kNewsPage), OpenOutside);
    EXPECT_EQ(JudgeNavigation(L"HTTP://www.example.com/", kNewsPage), OpenOutside);
    EXPECT_EQ(JudgeNavigation(L"http:relative", kNewsPage), OpenOutside);
    // Same text but for case, or one character more: another address.
    EXPECT_EQ(JudgeNavigation(L"https://NEWS.norvik.test/launcher/news.html", kNewsPage),
              OpenOutside);
    EXPECT_EQ(JudgeNavigation(kNewsPage + L"#", kNewsPage), OpenOutside);
    // The first page once the news page has replaced it.
    EXPECT_EQ(JudgeNavigation(L"about:blank", kNewsPage), Refuse);
    for (const wchar_t* refused :
         {L"file:///C:/Windows/System32/calc.exe", L"norvik-update:reinstall",
          L"javascript:alert(1)", L"ms-settings:", L"C:\\Windows\\notepad.exe",
          L"\\\\server\\share\\run.exe", L"httpx://example.com/", L" https://example.com/",
          L"https", L""})
    {
        EXPECT_EQ(JudgeNavigation(refused, kNewsPage), Refuse) << refused;
        EXPECT_EQ(JudgeNewWindow(refused), Refuse) << refused;
    }
    // A new window never loads inside, not even the page itself.
    EXPECT_EQ(JudgeNewWindow(kNewsPage), OpenOutside);
    EXPECT_EQ(JudgeNewWindow(L"HTTPS://www.example.com/"), OpenOutside);
}

TEST(BrowserEvents, BeforeNavigate2LetsTheCurrentPageThroughAndSendsLinksOut)
{
    LogCapture log;
    OpenedAddresses opened;

    BeforeNavigate2 page(kNewsPage);
    EXPECT_EQ(HandleBrowserEvent(DISPID_BEFORENAVIGATE2, page.Params(), kNewsPage), S_OK);
    EXPECT_FALSE(page.Cancelled());

    BeforeNavigate2 link(L"https://www.example.com/forum?id=5");
    EXPECT_EQ(HandleBrowserEvent(DISPID_BEFORENAVIGATE2, link.Params(), kNewsPage), S_OK);
    EXPECT_TRUE(link.Cancelled());

    // A link aimed at a named frame is the control's own navigation.
    BeforeNavigate2 frame(L"http://ads.example.com/banner", L"banner");
    EXPECT_EQ(HandleBrowserEvent(DISPID_BEFORENAVIGATE2, frame.Params(), kNewsPage), S_OK);
    EXPECT_TRUE(frame.Cancelled());

    // The address as a plain string rather than by reference.
    BeforeNavigate2 direct(L"https://www.example.com/direct");
    VARIANT* url = &direct.UrlValue();
    direct.Params()->rgvarg[5] = *url;
    EXPECT_EQ(HandleBrowserEvent(DISPID_BEFORENAVIGATE2, direct.Params(), kNewsPage), S_OK);
    EXPECT_TRUE(direct.Cancelled());

    EXPECT_EQ(opened.Urls(), (std::vector<std::wstring>{L"https://www.example.com/forum?id=5",
                                                        L"http://ads.example.com/banner",
                                                        L"https://www.example.com/direct"}));
    EXPECT_EQ(log.Text(), "");
}

TEST(BrowserEvents, FramesLoadWebAddressesInsideAndNeverOpenTheUsersBrowser)
{
    LogCapture log;
    OpenedAddresses opened;
    StandInBrowser control;
    StandInBrowser frameBrowser;

    // The control itself navigating: the page's own rules.
    BeforeNavigate2 link(L"https://www.example.com/forum");
    link.SetNavigating(&control);
    HandleBrowserEvent(DISPID_BEFORENAVIGATE2, link.Params(), kNewsPage, &control);
    EXPECT_TRUE(link.Cancelled());

    // A frame loading its own address as the page opens: no browser pops up.
    BeforeNavigate2 video(L"https://video.example.com/embed/42");
    video.SetNavigating(&frameBrowser);
    HandleBrowserEvent(DISPID_BEFORENAVIGATE2, video.Params(), kNewsPage, &control);
    EXPECT_FALSE(video.Cancelled());
    BeforeNavigate2 blank(L"about:blank");
    blank.SetNavigating(&frameBrowser);
    HandleBrowserEvent(DISPID_BEFORENAVIGATE2, blank.Params(), kNewsPage, &control);
    EXPECT_FALSE(blank.Cancelled());

    // Nor may a frame reach a local file or a protocol handler.
    BeforeNavigate2 handler(L"norvik-update:reinstall?silent=1");
    handler.SetNavigating(&frameBrowser);
    HandleBrowserEvent(DISPID_BEFORENAVIGATE2, handler.Params(), kNewsPage, &control);
    EXPECT_TRUE(handler.Cancelled());
    BeforeNavigate2 file(L"file:///C:/Windows/System32/calc.exe");
    file.SetNavigating(&frameBrowser);
    HandleBrowserEvent(DISPID_BEFORENAVIGATE2, file.Params(), kNewsPage, &control);
    EXPECT_TRUE(file.Cancelled());

    EXPECT_EQ(opened.Urls(), (std::vector<std::wstring>{L"https://www.example.com/forum"}));
    EXPECT_EQ(log.Count("news browser: blocked navigation to norvik-update:reinstall?silent=1"), 1);
    EXPECT_EQ(log.Count("news browser: blocked navigation to file:///C:/Windows/System32/calc.exe"),
              1);
}

TEST(BrowserEvents, OtherSchemesAreCancelledAndLoggedNeverOpened)
{
    LogCapture log;
    OpenedAddresses opened;

    BeforeNavigate2 file(L"file:///C:/Windows/System32/calc.exe");
    HandleBrowserEvent(DISPID_BEFORENAVIGATE2, file.Params(), kNewsPage);
    EXPECT_TRUE(file.Cancelled());

    BeforeNavigate2 handler(L"norvik-update:reinstall?silent=1", L"hidden");
    HandleBrowserEvent(DISPID_BEFORENAVIGATE2, handler.Params(), kNewsPage);
    EXPECT_TRUE(handler.Cancelled());

    // A page's address may carry a line break; the log keeps it on one line.
    BeforeNavigate2 split(L"norvik-update:a\r\nforged line");
    HandleBrowserEvent(DISPID_BEFORENAVIGATE2, split.Params(), kNewsPage);
    EXPECT_TRUE(split.Cancelled());

    NewWindow3 popup(L"ms-settings:privacy");
    EXPECT_EQ(HandleBrowserEvent(DISPID_NEWWINDOW3, popup.Params(), kNewsPage), S_OK);
    EXPECT_TRUE(popup.Cancelled());

    EXPECT_TRUE(opened.Urls().empty());
    EXPECT_TRUE(
        log.Contains("news browser: blocked navigation to file:///C:/Windows/System32/calc.exe"))
        << log.Text();
    EXPECT_TRUE(
        log.Contains("news browser: blocked navigation to norvik-update:reinstall?silent=1"));
    EXPECT_TRUE(log.Contains("news browser: blocked navigation to norvik-update:a??forged line"));
    EXPECT_TRUE(log.Contains("news browser: blocked new window for ms-settings:privacy"));
}

TEST(BrowserEvents, RefusalsAreWarningsAndLetThroughPagesLogNothing)
{
    // The level as well as the message: the shared capture keeps only messages.
    auto stream = std::make_shared<std::ostringstream>();
    auto sink = std::make_shared<spdlog::sinks::ostream_sink_mt>(*stream, true);
    sink->set_pattern("%l %v");
    const auto previous = spdlog::default_logger();
    spdlog::set_default_logger(std::make_shared<spdlog::logger>("levels", sink));
    OpenedAddresses opened;

    BeforeNavigate2 page(kNewsPage);
    HandleBrowserEvent(DISPID_BEFORENAVIGATE2, page.Params(), kNewsPage);
    BeforeNavigate2 link(L"https://www.example.com/");
    HandleBrowserEvent(DISPID_BEFORENAVIGATE2, link.Params(), kNewsPage);
    BeforeNavigate2 file(L"file:///C:/x.exe");
    HandleBrowserEvent(DISPID_BEFORENAVIGATE2, file.Params(), kNewsPage);
    spdlog::set_default_logger(previous);

    EXPECT_EQ(stream->str(), "warning news browser: blocked navigation to file:///C:/x.exe\r\n");
}

TEST(BrowserEvents, NewWindowsNeverOpenInsideAndWebAddressesGoOut)
{
    LogCapture log;
    OpenedAddresses opened;

    NewWindow3 popup(L"https://www.example.com/event");
    EXPECT_EQ(HandleBrowserEvent(DISPID_NEWWINDOW3, popup.Params(), kNewsPage), S_OK);
    EXPECT_TRUE(popup.Cancelled());

    // Even the news page itself gets no second browser window.
    NewWindow3 same(kNewsPage);
    HandleBrowserEvent(DISPID_NEWWINDOW3, same.Params(), kNewsPage);
    EXPECT_TRUE(same.Cancelled());

    // No address to judge: the window is still refused, nothing is opened.
    NewWindow3 unnamed(L"x");
    VariantClear(&unnamed.UrlArgument());
    V_VT(&unnamed.UrlArgument()) = VT_I4;
    HandleBrowserEvent(DISPID_NEWWINDOW3, unnamed.Params(), kNewsPage);
    EXPECT_TRUE(unnamed.Cancelled());

    EXPECT_EQ(opened.Urls(),
              (std::vector<std::wstring>{L"https://www.example.com/event", kNewsPage}));
}

TEST(BrowserEvents, MalformedOrOtherEventsChangeNothing)
{
    LogCapture log;
    OpenedAddresses opened;

    // An address that is no string is let through, as the control never sends one.
    BeforeNavigate2 number(L"unused");
    VariantClear(&number.UrlValue());
    V_VT(&number.UrlValue()) = VT_I4;
    V_I4(&number.UrlValue()) = 7;
    EXPECT_EQ(HandleBrowserEvent(DISPID_BEFORENAVIGATE2, number.Params(), kNewsPage), S_OK);
    EXPECT_FALSE(number.Cancelled());

    // Too few arguments to hold an address: nothing is read past them.
    BeforeNavigate2 shortened(L"https://www.example.com/");
    shortened.Params()->cArgs = 5;
    EXPECT_EQ(HandleBrowserEvent(DISPID_BEFORENAVIGATE2, shortened.Params(), kNewsPage), S_OK);
    EXPECT_FALSE(shortened.Cancelled());
    NewWindow3 shortWindow(L"https://www.example.com/");
    shortWindow.Params()->cArgs = 3;
    EXPECT_EQ(HandleBrowserEvent(DISPID_NEWWINDOW3, shortWindow.Params(), kNewsPage), S_OK);
    EXPECT_FALSE(shortWindow.Cancelled());
    EXPECT_EQ(HandleBrowserEvent(DISPID_BEFORENAVIGATE2, nullptr, kNewsPage), S_OK);

    // Other events are not handled.
    BeforeNavigate2 complete(L"https://www.example.com/");
    EXPECT_EQ(HandleBrowserEvent(DISPID_DOCUMENTCOMPLETE, complete.Params(), kNewsPage), E_NOTIMPL);
    EXPECT_EQ(HandleBrowserEvent(DISPID_NEWWINDOW2, complete.Params(), kNewsPage), E_NOTIMPL);
    EXPECT_FALSE(complete.Cancelled());

    // An address with a NUL inside is compared by its whole length.
    const std::wstring embedded(L"https://news.norvik.test/launcher/news.html\0.exe", 48);
    BeforeNavigate2 nul(embedded);
    HandleBrowserEvent(DISPID_BEFORENAVIGATE2, nul.Params(), kNewsPage);
    EXPECT_TRUE(nul.Cancelled());

    EXPECT_EQ(opened.Urls(), (std::vector<std::wstring>{embedded}));
}

TEST(BrowserEvents, TestPageOnlyItsHttpsLinkLeavesTheOthersAreRefused)
{
    LogCapture log;
    OpenedAddresses opened;
    const std::string html = ReadWholeFile(TestPage());
    const std::vector<std::wstring> addresses = PageAddresses(html);
    ASSERT_EQ(addresses.size(), 3u) << html;

    // The page itself, then what following its link, loading its frame and
    // following its other link sends.
    const std::wstring page = L"file:///" + TestPage().generic_wstring();
    BeforeNavigate2 load(page);
    HandleBrowserEvent(DISPID_BEFORENAVIGATE2, load.Params(), page);
    EXPECT_FALSE(load.Cancelled());
    for (const std::wstring& address : addresses)
    {
        BeforeNavigate2 event(address);
        HandleBrowserEvent(DISPID_BEFORENAVIGATE2, event.Params(), page);
        EXPECT_TRUE(event.Cancelled()) << address;
    }

    EXPECT_EQ(opened.Urls(), (std::vector<std::wstring>{L"https://www.example.com/patch-notes"}));
    EXPECT_TRUE(
        log.Contains("news browser: blocked navigation to file:///C:/Windows/System32/calc.exe"))
        << log.Text();
    EXPECT_TRUE(
        log.Contains("news browser: blocked navigation to norvik-update:reinstall?silent=1"));
}

namespace
{
// Points the browser control's class at a library that does not exist, as on a
// system without the control; puts the registration back afterwards.
class BrowserControlMissing
{
  public:
    BrowserControlMissing()
    {
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key_);
        wchar_t saved[MAX_PATH] = {};
        DWORD size = sizeof(saved) - sizeof(wchar_t);
        if (key_ && RegQueryValueExW(key_, nullptr, nullptr, nullptr,
                                     reinterpret_cast<BYTE*>(saved), &size) == ERROR_SUCCESS)
            saved_ = saved;
        Set(L"C:\\norvik-missing\\nothing.dll");
    }
    ~BrowserControlMissing()
    {
        if (saved_)
            Set(*saved_);
        if (key_)
            RegCloseKey(key_);
    }
    bool Active() const { return key_ && saved_; }

  private:
    void Set(const std::wstring& path)
    {
        if (key_)
            RegSetValueExW(key_, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                           static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
    }

    static constexpr wchar_t kKey[] =
        L"Software\\Classes\\CLSID\\{8856F961-340A-11D0-A96B-00C04FD705A2}\\InprocServer32";
    HKEY key_ = nullptr;
    std::optional<std::wstring> saved_;
};

std::wstring LocationOf(IWebBrowser2* control)
{
    BSTR location = nullptr;
    control->get_LocationURL(&location);
    std::wstring text = location ? std::wstring(location, SysStringLen(location)) : L"";
    SysFreeString(location);
    return text;
}

void NavigateControl(IWebBrowser2* control, const std::wstring& url)
{
    BSTR address = SysAllocString(url.c_str());
    control->Navigate(address, nullptr, nullptr, nullptr, nullptr);
    SysFreeString(address);
}

// A plain top-level window on the test thread, in an OLE apartment, to host the control.
class HostWindow : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        OleInitialize(nullptr);
        parent_ =
            CreateWindowExW(0, L"STATIC", L"host", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                            532, 558, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(parent_, nullptr);
        site_ = new WebBrowser(parent_, kBounds);
        site_->AddRef();
    }
    void TearDown() override
    {
        site_->Close();
        DestroyWindow(parent_);
    }

    static constexpr RECT kBounds{13, 26, 519, 372};
    LogCapture log_;
    OpenedAddresses opened_;
    HWND parent_ = nullptr;
    WebBrowser* site_ = nullptr;
};
} // namespace

TEST_F(HostWindow, WineControlLoadsTheCurrentPageAndItsOwnNavigationsAreJudged)
{
    ASSERT_TRUE(site_->Create(kBounds)) << log_.Text();
    const HWND control = site_->GetControlWindow();
    ASSERT_NE(control, nullptr);
    EXPECT_TRUE(IsChild(parent_, control));

    site_->Navigate(L"about:blank");
    EXPECT_EQ(site_->CurrentUrl(), L"about:blank");
    site_->Navigate(kNewsPage);
    EXPECT_EQ(site_->CurrentUrl(), kNewsPage);
    EXPECT_TRUE(PumpUntil([&] { return LocationOf(site_->Control()) == kNewsPage; }, 5000));
    EXPECT_TRUE(opened_.Urls().empty());

    // The control sets off elsewhere by itself: Wine sends BeforeNavigate2 with it.
    NavigateControl(site_->Control(), L"https://www.example.com/elsewhere");
    EXPECT_TRUE(PumpUntil([&] { return !opened_.Urls().empty(); }, 5000));
    NavigateControl(site_->Control(), L"norvik-update:reinstall?silent=1");
    EXPECT_TRUE(PumpUntil(
        [&] {
            return log_.Contains(
                "news browser: blocked navigation to norvik-update:reinstall?silent=1");
        },
        5000))
        << log_.Text();

    EXPECT_EQ(opened_.Urls(), (std::vector<std::wstring>{L"https://www.example.com/elsewhere"}));
    // Both cancelled: the control stays on the news page.
    EXPECT_EQ(LocationOf(site_->Control()), kNewsPage);
}

TEST_F(HostWindow, TestPageAddressesThroughWineOnlyTheHttpsLinkLeaves)
{
    const std::vector<std::wstring> addresses = PageAddresses(ReadWholeFile(TestPage()));
    ASSERT_EQ(addresses.size(), 3u);
    ASSERT_TRUE(site_->Create(kBounds)) << log_.Text();
    site_->Navigate(kNewsPage);
    ASSERT_TRUE(PumpUntil([&] { return LocationOf(site_->Control()) == kNewsPage; }, 5000));

    // What following the page's links and loading its frame asks of the control.
    for (const std::wstring& address : addresses)
        NavigateControl(site_->Control(), address);
    const auto refusals = [&]
    {
        std::istringstream lines(log_.Text());
        int count = 0;
        for (std::string line; std::getline(lines, line);)
            count += line.rfind("news browser: blocked navigation to ", 0) == 0;
        return count;
    };
    EXPECT_TRUE(PumpUntil([&] { return refusals() == 2 && opened_.Urls().size() == 1; }, 5000))
        << log_.Text();

    EXPECT_EQ(opened_.Urls(), (std::vector<std::wstring>{L"https://www.example.com/patch-notes"}));
    EXPECT_TRUE(
        log_.Contains("news browser: blocked navigation to norvik-update:reinstall?silent=1"));
    // Wine hands a file: address over as the path it names.
    const std::string text = log_.Text();
    EXPECT_TRUE(text.find("calc.exe") != std::string::npos) << text;
    EXPECT_EQ(LocationOf(site_->Control()), kNewsPage);
}

TEST_F(HostWindow, FailedCreationIsLoggedAndNavigateThenDoesNothing)
{
    BrowserControlMissing missing;
    ASSERT_TRUE(missing.Active());

    EXPECT_FALSE(site_->Create(kBounds));
    EXPECT_EQ(log_.Count("failed to create CLSID_WebBrowser"), 1) << log_.Text();
    EXPECT_EQ(site_->GetControlWindow(), nullptr);
    EXPECT_EQ(site_->Control(), nullptr);
    site_->Navigate(kNewsPage);
    EXPECT_EQ(site_->CurrentUrl(), L"");
}

namespace
{
// The launcher window's news browser, with the update thread started and answered
// in a game folder of the test's own.
class NewsBrowserInWindow : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        DeleteLauncherKey();
        std::filesystem::current_path(game_.Path());
    }
    void TearDown() override
    {
        if (dialog_)
        {
            dialog_->GetMessagePasser()->Post({Quit, 0});
            PumpUntilQuit(30000);
            dialog_->Manager()->updateThread.join();
            dialog_.reset();
        }
        std::filesystem::current_path(previousFolder_);
    }

    LauncherDialog& Open()
    {
        MessageBoxAnswerer startUp;
        dialog_.emplace(GetModuleHandleW(nullptr));
        EXPECT_TRUE(PumpUntilQueueServed(*dialog_->GetMessagePasser(), log_, 30000));
        return *dialog_;
    }

    // As the version-file reader does it, from another thread.
    void SetNoticeFromAnotherThread(const std::wstring& url)
    {
        std::thread([&] { dialog_->SetNoticeUrl(url); }).join();
    }

    LogCapture log_;
    std::filesystem::path previousFolder_ = std::filesystem::current_path();
    TempFolder game_{L"news"};
    std::optional<LauncherDialog> dialog_;
};

// The picture buttons are child windows too; only the others count here.
BOOL CALLBACK CountChild(HWND child, LPARAM count)
{
    wchar_t className[32] = {};
    GetClassNameW(child, className, 32);
    if (_wcsicmp(className, L"Button") != 0)
        ++*reinterpret_cast<int*>(count);
    return TRUE;
}

// Child windows other than the buttons.
int ChildWindowCount(HWND window)
{
    int count = 0;
    EnumChildWindows(window, &CountChild, reinterpret_cast<LPARAM>(&count));
    return count;
}
} // namespace

TEST_F(NewsBrowserInWindow, MarkerFileMeansNoBrowserNoControlAndNothingLogged)
{
    WriteWholeFile(game_ / ".nobrowser", "");
    LauncherDialog& dialog = Open();

    EXPECT_EQ(dialog.Browser(), nullptr);
    EXPECT_EQ(ChildWindowCount(dialog.GetHwnd()), 0);
    SetNoticeFromAnotherThread(kNewsPage);
    PumpUntil([] { return false; }, 500);
    EXPECT_EQ(dialog.Browser(), nullptr);
    for (const char* line : {"failed to create CLSID_WebBrowser", "failed to DoVerb on web browser",
                             "failed to QueryInterface on web browser"})
        EXPECT_FALSE(log_.Contains(line)) << line;
    EXPECT_EQ(log_.Text().find("news browser"), std::string::npos) << log_.Text();
}

TEST_F(NewsBrowserInWindow, ControlSitsInItsRectangleAndFollowsTheNoticeAddress)
{
    LauncherDialog& dialog = Open();
    WebBrowser* browser = dialog.Browser();
    ASSERT_NE(browser, nullptr);
    const HWND control = browser->GetControlWindow();
    ASSERT_NE(control, nullptr) << log_.Text();
    EXPECT_TRUE(IsChild(dialog.GetHwnd(), control));
    EXPECT_TRUE(IsWindowVisible(control));
    RECT placed{};
    GetWindowRect(control, &placed);
    MapWindowPoints(nullptr, dialog.GetHwnd(), reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_EQ(placed.left, 13);
    EXPECT_EQ(placed.top, 26);
    EXPECT_EQ(placed.right, 519);
    EXPECT_EQ(placed.bottom, 372);
    EXPECT_EQ(browser->CurrentUrl(), L"about:blank");

    SetNoticeFromAnotherThread(kNewsPage);
    EXPECT_TRUE(PumpUntil([&] { return browser->CurrentUrl() == kNewsPage; }, 5000));
}

TEST_F(NewsBrowserInWindow, FailedControlIsLoggedAndTheNoticeAddressGoesNowhere)
{
    BrowserControlMissing missing;
    ASSERT_TRUE(missing.Active());
    LauncherDialog& dialog = Open();

    ASSERT_NE(dialog.Browser(), nullptr);
    EXPECT_EQ(log_.Count("failed to create CLSID_WebBrowser"), 1) << log_.Text();
    EXPECT_EQ(ChildWindowCount(dialog.GetHwnd()), 0);
    SetNoticeFromAnotherThread(kNewsPage);
    PumpUntil([] { return false; }, 500);
    EXPECT_EQ(dialog.Browser()->CurrentUrl(), L"");
}
