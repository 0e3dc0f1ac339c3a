// Backend choice and creation, and the update thread's transport start.
#include "http/HttpClient.h"
#include "http/HttpClientCurl.h"
#include "http/HttpClientWinInet.h"
#include "settings/Registry.h"
#include "support/LogCapture.h"
#include "support/Registry.h"
#include "support/TempFolder.h"
#include "support/TestWindow.h"
#include "support/WindowPump.h"
#include "update/UpdateManager.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <stdexcept>

namespace
{
// Runs the test in a fresh folder as the current directory, then goes back.
class BackendChoice : public ::testing::Test
{
  protected:
    void SetUp() override { std::filesystem::current_path(folder_.Path()); }
    void TearDown() override { std::filesystem::current_path(previous_); }

    const std::filesystem::path previous_ = std::filesystem::current_path();
    TempFolder folder_{L"norvik-backend"};
};

struct TransportStart
{
    std::string line;
    bool curl = false;
    bool winInet = false;
    bool echOn = false;
};

// One window life whose update thread starts the transport in the current folder.
TransportStart StartOneWindowLife()
{
    // What the update thread does after the transport may end in a message
    // box, which the stand-in window answers.
    LogCapture log;
    TestWindow window;
    // Never deleted, as in the launcher.
    UpdateManager& manager = *new UpdateManager(&window);
    const std::string marker = "HTTP backend initialized: ";
    const bool started = PumpUntil([&] { return log.Text().find(marker) != std::string::npos; });

    TransportStart result;
    if (started)
    {
        const std::string text = log.Text();
        const size_t at = text.find(marker);
        result.line = text.substr(at, text.find_first_of("\r\n", at) - at);
        const IHttpClient* client = manager.httpClient.get();
        result.curl = dynamic_cast<const HttpClientCurl*>(client) != nullptr;
        result.winInet = dynamic_cast<const HttpClientWinInet*>(client) != nullptr;
        // Switching ECH on loads the bundle, before the backend is reported.
        result.echOn = text.substr(0, at).find("Loaded embedded CA bundle (") != std::string::npos;
    }
    else
    {
        result.line = "no backend line in: " + log.Text();
    }
    window.GetMessagePasser()->Post({Quit, 0});
    manager.updateThread.join();
    return result;
}
} // namespace

TEST(HttpClientFactory, MakesEachKnownBackendAndRejectsOthers)
{
    EXPECT_NE(dynamic_cast<HttpClientCurl*>(CreateHttpClient(HttpBackend::Curl).get()), nullptr);
    EXPECT_NE(dynamic_cast<HttpClientWinInet*>(CreateHttpClient(HttpBackend::WinInet).get()),
              nullptr);

    for (const int unknown : {2, -1, 255})
    {
        try
        {
            CreateHttpClient(static_cast<HttpBackend>(unknown));
            ADD_FAILURE() << "no exception for kind " << unknown;
        }
        catch (const std::invalid_argument& error)
        {
            EXPECT_STREQ(error.what(), "Unknown HTTP backend");
        }
    }
    EXPECT_STREQ(HttpBackendName(HttpBackend::Curl), "libcurl");
    EXPECT_STREQ(HttpBackendName(HttpBackend::WinInet), "WinInet");
}

TEST_F(BackendChoice, AnyEntryNamedWininetSelectsWinInetEachTimeAfresh)
{
    EXPECT_EQ(SelectHttpBackend(), HttpBackend::Curl);

    WriteWholeFile(folder_ / ".wininet", "");
    EXPECT_EQ(SelectHttpBackend(), HttpBackend::WinInet);
    std::filesystem::remove(folder_ / ".wininet");
    EXPECT_EQ(SelectHttpBackend(), HttpBackend::Curl);

    std::filesystem::create_directory(folder_ / ".wininet");
    EXPECT_EQ(SelectHttpBackend(), HttpBackend::WinInet);

    // Only the exact name counts, and only in the current folder.
    std::filesystem::remove(folder_ / ".wininet");
    WriteWholeFile(folder_ / "wininet", "");
    std::filesystem::create_directories(folder_ / "sub" / ".wininet");
    EXPECT_EQ(SelectHttpBackend(), HttpBackend::Curl);
}

TEST_F(BackendChoice, UpdateThreadStartsTheSelectedTransportWithTheEchSetting)
{
    DeleteLauncherKey();
    WriteRegistryDword(L"NRK_LauncherEchEnabled", 1);
    const TransportStart echOn = StartOneWindowLife();
    EXPECT_EQ(echOn.line, "HTTP backend initialized: libcurl");
    EXPECT_TRUE(echOn.curl);
    EXPECT_TRUE(echOn.echOn);

    WriteRegistryDword(L"NRK_LauncherEchEnabled", 0);
    const TransportStart echOff = StartOneWindowLife();
    EXPECT_TRUE(echOff.curl);
    EXPECT_FALSE(echOff.echOn);

    std::filesystem::create_directory(folder_ / ".wininet");
    const TransportStart winInet = StartOneWindowLife();
    EXPECT_EQ(winInet.line, "HTTP backend initialized: WinInet");
    EXPECT_TRUE(winInet.winInet);
    DeleteLauncherKey();
}
