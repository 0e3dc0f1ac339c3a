// The libcurl transport against the test servers: nginx (TLS + HTTP/2), the
// two DoH responders and bssl's ECH server, all on loopback.
#include "base/TextEncoding.h"
#include "http/HttpClient.h"
#include "http/HttpClientCurl.h"
#include "settings/Localization.h"
#include "support/LogCapture.h"
#include "support/TempFolder.h"
#include "support/TestServers.h"
#include "support/TransportCases.h"

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <spdlog/sinks/base_sink.h>
#include <sstream>
#include <thread>
#include <winsock2.h>

namespace
{
constexpr size_t kLargeFixtureSize = 4194304;

std::unique_ptr<IHttpClient> MakeClient(bool ech)
{
    auto client = CreateHttpClient(HttpBackend::Curl);
    client->SetUserAgent(kNetworkUserAgent);
    client->SetEch(ech);
    return client;
}

HttpClientCurl& AsCurl(const std::unique_ptr<IHttpClient>& client)
{
    return dynamic_cast<HttpClientCurl&>(*client);
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
    {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// Each transfer starts with one of these trace lines.
std::vector<std::string> Transfers(const LogCapture& log)
{
    std::vector<std::string> transfers;
    for (const std::string& line : Lines(log.Text()))
    {
        if (line.rfind("Get (ech: ", 0) == 0 || line.rfind("Download (ech: ", 0) == 0)
            transfers.push_back(line);
    }
    return transfers;
}

// A name only the DoH responders know, served by nginx's trusted port.
std::string DohOnlyUrl(const std::string& path)
{
    std::string url = testenv::HttpsUrl(path);
    return url.replace(url.find("localhost"), 9, "web.norvik.test");
}

// Runs `action` once when the client logs `line`: the client logs between two
// rungs of its ladder, so a test can change the world exactly there.
class OnLogLine : public spdlog::sinks::base_sink<std::mutex>
{
  public:
    OnLogLine(std::string line, std::function<void()> action)
        : line_(std::move(line)), action_(std::move(action))
    {
    }

  protected:
    void sink_it_(const spdlog::details::log_msg& message) override
    {
        if (!fired_ && std::string(message.payload.data(), message.payload.size()) == line_)
        {
            fired_ = true;
            action_();
        }
    }
    void flush_() override {}

  private:
    std::string line_;
    std::function<void()> action_;
    bool fired_ = false;
};

void HookLogLine(const std::string& line, std::function<void()> action)
{
    spdlog::default_logger()->sinks().push_back(
        std::make_shared<OnLogLine>(line, std::move(action)));
}

class ScopedLanguage
{
  public:
    explicit ScopedLanguage(const std::wstring& code) : previous_(CurrentLanguage())
    {
        SetCurrentLanguage(code);
    }
    ~ScopedLanguage() { SetCurrentLanguage(previous_); }

  private:
    std::wstring previous_;
};

// A loopback server that answers the first request with headers promising
// more body than it sends, then stays silent with the connection open.
class StallingServer
{
  public:
    StallingServer()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        listen(listener_, 1);
        int length = sizeof(address);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }

    ~StallingServer()
    {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        stopped_.notify_all();
        thread_.join();
        closesocket(listener_);
        WSACleanup();
    }

    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/stall"; }

  private:
    void Serve()
    {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(listener_, &readable);
        timeval wait{10, 0};
        if (select(0, &readable, nullptr, nullptr, &wait) != 1)
            return;
        const SOCKET connection = accept(listener_, nullptr, nullptr);
        std::string request;
        char buffer[1024];
        while (request.find("\r\n\r\n") == std::string::npos)
        {
            const int got = recv(connection, buffer, sizeof(buffer), 0);
            if (got <= 0)
                break;
            request.append(buffer, got);
        }
        const std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n0123456789";
        send(connection, reply.data(), static_cast<int>(reply.size()), 0);
        std::unique_lock lock(mutex_);
        stopped_.wait(lock, [this] { return stop_; });
        closesocket(connection);
    }

    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::mutex mutex_;
    std::condition_variable stopped_;
    bool stop_ = false;
    std::thread thread_;
};

std::string CaBundleOf(HMODULE module)
{
    const HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(193), RT_RCDATA);
    if (!resource)
        return {};
    const DWORD size = SizeofResource(module, resource);
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(module, resource)));
    return bytes ? std::string(bytes, size) : std::string();
}

class CurlTransport : public ::testing::Test
{
  protected:
    void SetUp() override { testenv::ResetDoh(); }
    void TearDown() override { testenv::ResetDoh(); }
};
} // namespace

TEST_F(CurlTransport, StatusesMapToMessagesAndBodiesAreKept)
{
    auto client = MakeClient(false);
    for (const auto& expected : kStatusCases)
    {
        const std::string number = std::to_string(expected.status);
        const HttpResponse response = client->Get(testenv::HttpsUrl("/status/" + number));
        EXPECT_EQ(response.statusCode, expected.status);
        EXPECT_EQ(response.body, "status " + number + "\n");
        EXPECT_EQ(response.error, ExpectedStatusError(expected)) << number;
    }

    // Redirects are not followed: the 301 comes back as it is, a success.
    const HttpResponse moved = client->Get(testenv::HttpsUrl("/status/301"));
    EXPECT_EQ(moved.statusCode, 301);
    EXPECT_EQ(moved.error, "");
    EXPECT_NE(moved.body.find("301 Moved Permanently"), std::string::npos) << moved.body;
    EXPECT_EQ(testenv::AccessLogLines().back(),
              "HTTP/2.0 \"/status/301\" \"Norvik/2.0 (Launcher)\" 301");
}

TEST_F(CurlTransport, FirstRequestNegotiatesHttp2WithTheLauncherAgent)
{
    const HttpResponse response = MakeClient(false)->Get(testenv::HttpsUrl("/ua"));
    EXPECT_EQ(response.statusCode, 200);
    EXPECT_EQ(response.body, "Norvik/2.0 (Launcher)");
    EXPECT_EQ(testenv::AccessLogLines().back(), "HTTP/2.0 \"/ua\" \"Norvik/2.0 (Launcher)\" 200");
}

TEST_F(CurlTransport, SpacesAreSentAsPercent20AndLoggedAsGiven)
{
    LogCapture log;
    const std::string url = testenv::HttpsUrl("/fixtures/with space.txt");
    const HttpResponse response = MakeClient(false)->Get(url);
    EXPECT_EQ(response.statusCode, 200);
    EXPECT_EQ(response.body, ReadFixture("with space.txt"));
    EXPECT_EQ(testenv::AccessLogLines().back(),
              "HTTP/2.0 \"/fixtures/with%20space.txt\" \"Norvik/2.0 (Launcher)\" 200");
    EXPECT_EQ(log.Count("Get (ech: false) - URL=" + url), 1) << log.Text();
}

TEST_F(CurlTransport, TransportFailuresWithEchOffTakeOneTransfer)
{
    LogCapture log;
    auto client = MakeClient(false);

    const HttpResponse refused = client->Get(testenv::RefusedUrl());
    EXPECT_EQ(refused.statusCode, -1);
    EXPECT_EQ(refused.body, "");
    EXPECT_EQ(refused.error, EnglishText("network_error_connect"));

    // The name exists only in the DoH responders, which ECH off never asks.
    const HttpResponse unresolved = client->Get(DohOnlyUrl("/fixtures/hello.txt"));
    EXPECT_EQ(unresolved.statusCode, -1);
    EXPECT_EQ(unresolved.error, EnglishText("network_error_host"));

    EXPECT_EQ(Transfers(log).size(), 2u) << log.Text();
    EXPECT_EQ(testenv::DohQueries().total, 0);
    EXPECT_EQ(AsCurl(client).DohLevel(), 0);
}

TEST_F(CurlTransport, DownloadReportsProgressUpToTheWholeBody)
{
    double lastTotal = 0;
    double lastNow = 0;
    int calls = 0;
    const HttpResponse response =
        MakeClient(false)->Download(testenv::HttpsUrl("/generated/4mib.bin"),
                                    [&](double total, double now)
                                    {
                                        EXPECT_GE(now, lastNow);
                                        lastTotal = total;
                                        lastNow = now;
                                        ++calls;
                                        return 0;
                                    });
    EXPECT_EQ(response.statusCode, 200);
    EXPECT_EQ(response.error, "");
    EXPECT_EQ(response.body.size(), kLargeFixtureSize);
    EXPECT_GT(calls, 1);
    EXPECT_EQ(lastTotal, static_cast<double>(kLargeFixtureSize));
    EXPECT_EQ(lastNow, static_cast<double>(kLargeFixtureSize));
}

TEST_F(CurlTransport, ProgressCallbackAbortsTheDownloadWithCode42)
{
    auto client = MakeClient(false);
    int calls = 0;
    const HttpResponse response = client->Download(testenv::HttpsUrl("/generated/4mib.bin"),
                                                   [&](double, double now)
                                                   {
                                                       ++calls;
                                                       return now > 0 ? 1 : 0;
                                                   });
    EXPECT_EQ(response.statusCode, -1);
    EXPECT_EQ(response.error, "A network error occurred (error code: 42 - Operation was aborted "
                              "by an application callback). Please check your internet "
                              "connection and try again.");
    EXPECT_LT(response.body.size(), kLargeFixtureSize);
    EXPECT_GE(calls, 1);

    // The callback belonged to that download only.
    const HttpResponse next = client->Get(testenv::HttpsUrl("/fixtures/hello.txt"));
    EXPECT_EQ(next.error, "");
    EXPECT_EQ(next.body, ReadFixture("hello.txt"));
}

TEST_F(CurlTransport, StalledBodyIsGivenUpAfterTheStallTime)
{
    StallingServer server;
    const auto start = std::chrono::steady_clock::now();
    const HttpResponse response = MakeClient(false)->Download(server.Url(), nullptr);
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start)
            .count();
    EXPECT_EQ(response.statusCode, -1);
    EXPECT_EQ(response.error.rfind("A network error occurred (error code: 28 - ", 0), 0u)
        << response.error;
    EXPECT_GE(seconds, kStallSeconds - 1);
    EXPECT_LE(seconds, kStallSeconds + 15);
}

TEST_F(CurlTransport, ErrorTextsFollowTheDisplayLanguage)
{
    ScopedLanguage japanese(L"ja");
    auto client = MakeClient(false);
    EXPECT_EQ(client->Get(testenv::HttpsUrl("/status/404")).error,
              "サーバーがリクエストを拒否しました（HTTP "
              "404）。しばらくしてから、もう一度お試しください。");
    EXPECT_EQ(client->Get(testenv::RefusedUrl()).error,
              ToUtf8(LookupText(L"ja", "network_error_connect")));
}

TEST_F(CurlTransport, FailingDohWalksTheLadderOnceThenStaysWithoutEch)
{
    LogCapture log;
    auto client = MakeClient(true);
    testenv::SetDohFailing(true);
    const std::string url = DohOnlyUrl("/fixtures/hello.txt");

    const HttpResponse first = client->Get(url);
    const std::string echOn = "Get (ech: true) - URL=" + url;
    const std::string echOff = "Get (ech: false) - URL=" + url;
    EXPECT_EQ(Transfers(log), (std::vector<std::string>{echOn, echOn, echOn, echOn, echOff}));
    for (int level = 1; level <= 4; ++level)
        EXPECT_EQ(
            log.Count("Curl: DoH failed (Could not resolve hostname), trying fallback level " +
                      std::to_string(level)),
            1)
            << log.Text();
    EXPECT_EQ(log.Count("All DoH servers failed, disabling ECH for this session"), 1);
    // Without ECH the system resolver is asked, which does not know the name.
    EXPECT_EQ(first.statusCode, -1);
    EXPECT_EQ(first.error, EnglishText("network_error_host"));
    EXPECT_EQ(AsCurl(client).DohLevel(), kDohLevelWithoutEch);
    EXPECT_FALSE(AsCurl(client).EchEnabled());

    // Rungs 0 to 3 asked the responders once each; rung 4 did not.
    const testenv::DohStats stats = testenv::DohQueries();
    EXPECT_EQ(stats.a, 4);
    EXPECT_EQ(stats.https, 4);

    client->Get(url);
    EXPECT_EQ(Transfers(log).size(), 6u);
    EXPECT_EQ(Transfers(log).back(), echOff);
    EXPECT_EQ(testenv::DohQueries().total, stats.total);
    EXPECT_EQ(log.Count("All DoH servers failed, disabling ECH for this session"), 1);
}

TEST_F(CurlTransport, SwitchingEchOffKeepsTheLevelAndOnRestartsAtZero)
{
    LogCapture log;
    auto client = MakeClient(true);
    HttpClientCurl& curl = AsCurl(client);
    testenv::SetDohFailing(true);
    HookLogLine("Curl: DoH failed (Could not resolve hostname), trying fallback level 3",
                [&] { client->SetEch(false); });
    const std::string url = DohOnlyUrl("/fixtures/hello.txt");

    const HttpResponse response = client->Get(url);
    EXPECT_EQ(curl.DohLevel(), 3);
    EXPECT_FALSE(curl.EchEnabled());
    EXPECT_EQ(response.error, EnglishText("network_error_host"));
    ASSERT_EQ(Transfers(log).size(), 4u) << log.Text();
    EXPECT_EQ(Transfers(log).back(), "Get (ech: false) - URL=" + url);
    EXPECT_EQ(log.Count("All DoH servers failed, disabling ECH for this session"), 0);

    testenv::SetDohFailing(false);
    client->SetEch(true);
    EXPECT_EQ(curl.DohLevel(), 0);
    EXPECT_TRUE(curl.EchEnabled());
    const HttpResponse again = client->Get(url);
    EXPECT_EQ(again.error, "");
    EXPECT_EQ(again.body, ReadFixture("hello.txt"));
    EXPECT_EQ(curl.DohLevel(), 0);
}

// Rungs 2 and 3 skip the embedded bundle; the target is then verified against
// the system store, which in the test prefix trusts the test CA.
TEST_F(CurlTransport, LevelTwoVerifiesTheServerWithTheSystemStore)
{
    LogCapture log;
    auto client = MakeClient(true);
    testenv::SetDohFailing(true);
    HookLogLine("Curl: DoH failed (Could not resolve hostname), trying fallback level 2",
                [] { testenv::SetDohFailing(false); });

    const HttpResponse response = client->Get(DohOnlyUrl("/fixtures/hello.txt"));
    EXPECT_EQ(response.statusCode, 200);
    EXPECT_EQ(response.error, "");
    EXPECT_EQ(response.body, ReadFixture("hello.txt"));
    EXPECT_EQ(AsCurl(client).DohLevel(), 2);
    EXPECT_TRUE(AsCurl(client).EchEnabled());
    EXPECT_EQ(Transfers(log).size(), 3u) << log.Text();
    EXPECT_EQ(log.Count("All DoH servers failed, disabling ECH for this session"), 0);
    EXPECT_GE(testenv::DohQueries().a, 3);
}

TEST_F(CurlTransport, EchIsAcceptedWithTheNameResolvedOnlyThroughDoh)
{
    LogCapture log;
    auto client = MakeClient(true);
    const HttpResponse response = client->Get(testenv::EchUrl("/"));
    std::printf("ECH server answered:\n%s\n", response.body.c_str());
    EXPECT_EQ(response.statusCode, 200);
    EXPECT_EQ(response.error, "");
    EXPECT_NE(response.body.find("Encrypted ClientHello: yes"), std::string::npos);
    EXPECT_NE(response.body.find("Client sent SNI: ech.norvik.test"), std::string::npos);
    EXPECT_EQ(Transfers(log).size(), 1u) << log.Text();
    EXPECT_EQ(AsCurl(client).DohLevel(), 0);
    const testenv::DohStats stats = testenv::DohQueries();
    EXPECT_GE(stats.a, 1);
    EXPECT_GE(stats.https, 1);

    // The system resolver does not know the name at all (a client of its own:
    // libcurl caches what a handle has resolved).
    EXPECT_EQ(MakeClient(false)->Get(testenv::EchUrl("/")).error,
              EnglishText("network_error_host"));
}

TEST(CurlCaBundle, EmbeddedBundleIsLoadedOnceWhenEchIsSwitchedOn)
{
    const std::string bundle = CaBundleOf(nullptr);
    const size_t size = bundle.size();
    ASSERT_GT(size, 0u);
    // The product carries the same resource.
    const HMODULE product = LoadLibraryExW((L"Z:" + ToWide(NORVIK_SPLASH_EXE)).c_str(), nullptr,
                                           LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(product, nullptr);
    EXPECT_EQ(CaBundleOf(product), bundle);
    FreeLibrary(product);

    LogCapture log;
    auto client = MakeClient(false);
    EXPECT_FALSE(log.Text().find("Loaded embedded CA bundle") != std::string::npos);
    client->SetEch(true);
    client->SetEch(false);
    client->SetEch(true);
    EXPECT_EQ(log.Count("Loaded embedded CA bundle (" + std::to_string(size) + " bytes)"), 1)
        << log.Text();

    // Mozilla's roots by name, each over a rule and one PEM block.
    EXPECT_EQ(bundle.rfind("##", 0), 0u);
    const std::vector<std::string> lines = Lines(bundle);
    int blocks = 0;
    int titled = 0;
    for (size_t i = 0; i < lines.size(); ++i)
    {
        if (lines[i] != "-----BEGIN CERTIFICATE-----")
            continue;
        ++blocks;
        titled += i >= 2 && !lines[i - 2].empty() &&
                  lines[i - 1] == std::string(lines[i - 2].size(), '=');
    }
    EXPECT_GT(blocks, 100);
    EXPECT_EQ(titled, blocks);
    EXPECT_NE(bundle.find("\nISRG Root X1\n============\n-----BEGIN CERTIFICATE-----\n"),
              std::string::npos);
    // The test build appends the test servers' CA.
    const std::string testCa = ReadWholeFile(testenv::Dir() / "ca.pem");
    ASSERT_FALSE(testCa.empty());
    EXPECT_NE(bundle.find(testCa), std::string::npos);
}
