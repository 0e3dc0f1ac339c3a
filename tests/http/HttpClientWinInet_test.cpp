// The WinInet transport against nginx on loopback; the test prefix's system
// store trusts the test CA, as a player's Windows trusts a public one.
#include "base/TextEncoding.h"
#include "http/HttpClient.h"
#include "settings/Localization.h"
#include "support/LogCapture.h"
#include "support/TempFolder.h"
#include "support/TestServers.h"
#include "support/TransportCases.h"

#include <gtest/gtest.h>
#include <string>

namespace
{
constexpr size_t kLargeFixtureSize = 4194304;

std::unique_ptr<IHttpClient> MakeClient()
{
    auto client = CreateHttpClient(HttpBackend::WinInet);
    client->SetUserAgent(kNetworkUserAgent);
    client->SetEch(true);
    return client;
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
} // namespace

TEST(WinInetTransport, StatusesMapToMessagesAndBodiesAreKept)
{
    auto client = MakeClient();
    for (const auto& expected : kStatusCases)
    {
        const std::string number = std::to_string(expected.status);
        for (const std::string& url :
             {testenv::HttpsUrl("/status/" + number), testenv::HttpUrl("/status/" + number)})
        {
            const HttpResponse response = client->Get(url);
            EXPECT_EQ(response.statusCode, expected.status) << url;
            EXPECT_EQ(response.body, "status " + number + "\n") << url;
            EXPECT_EQ(response.error, ExpectedStatusError(expected)) << url;
        }
    }
}

TEST(WinInetTransport, FirstRequestCarriesTheLauncherAgent)
{
    LogCapture log;
    const std::string url = testenv::HttpsUrl("/ua");
    const HttpResponse response = MakeClient()->Get(url);
    EXPECT_EQ(response.statusCode, 200);
    EXPECT_EQ(response.body, "Norvik/2.0 (Launcher)");
    EXPECT_EQ(testenv::AccessLogLines().back(), "HTTP/1.1 \"/ua\" \"Norvik/2.0 (Launcher)\" 200");
    EXPECT_EQ(log.Count("Get - URL=" + url), 1) << log.Text();
}

TEST(WinInetTransport, UntrustedCertificateIsACertificateError)
{
    const HttpResponse response = MakeClient()->Get(testenv::UntrustedHttpsUrl("/status/200"));
    EXPECT_EQ(response.statusCode, -1);
    EXPECT_EQ(response.error, "SSL certificate error");
    EXPECT_EQ(response.body, "");
}

TEST(WinInetTransport, ProgressIsReportedOnlyWithAKnownLengthAndNeverStops)
{
    auto client = MakeClient();
    LogCapture log;
    int calls = 0;
    double lastTotal = 0;
    double lastNow = 0;
    const std::string url = testenv::HttpsUrl("/generated/4mib.bin");
    const HttpResponse whole = client->Download(url,
                                                [&](double total, double now)
                                                {
                                                    ++calls;
                                                    lastTotal = total;
                                                    lastNow = now;
                                                    return 1;
                                                });
    EXPECT_EQ(whole.statusCode, 200);
    EXPECT_EQ(whole.body.size(), kLargeFixtureSize);
    EXPECT_GE(calls, static_cast<int>(kLargeFixtureSize / 8192));
    EXPECT_EQ(lastTotal, static_cast<double>(kLargeFixtureSize));
    EXPECT_EQ(lastNow, static_cast<double>(kLargeFixtureSize));
    EXPECT_EQ(log.Count("Get - URL=" + url), 1) << log.Text();

    calls = 0;
    const HttpResponse unsized = client->Download(testenv::HttpUrl("/nolength/hello.txt"),
                                                  [&](double, double)
                                                  {
                                                      ++calls;
                                                      return 0;
                                                  });
    EXPECT_EQ(unsized.statusCode, 200);
    EXPECT_EQ(unsized.body, ReadFixture("hello.txt"));
    EXPECT_EQ(calls, 0);
}

TEST(WinInetTransport, UnusableAddressesFailWithoutAReply)
{
    auto client = MakeClient();
    const std::string tooLong = testenv::HttpUrl("/" + std::string(2048, 'a'));
    const HttpResponse unparsed = client->Get(tooLong);
    EXPECT_EQ(unparsed.statusCode, -1);
    EXPECT_EQ(unparsed.error.rfind("Failed to parse URL: ", 0), 0u) << unparsed.error;
    EXPECT_GT(unparsed.error.size(), std::string("Failed to parse URL: ").size());

    // One character less still fits the path buffer.
    const HttpResponse fits = client->Get(testenv::HttpUrl("/" + std::string(2046, 'a')));
    EXPECT_EQ(fits.statusCode, 404);

    // WinInet connects only when the request is sent, so refused and unknown
    // hosts surface there with their codes, not at the connect step.
    const HttpResponse refused = client->Get(testenv::RefusedUrl());
    EXPECT_EQ(refused.statusCode, -1);
    EXPECT_EQ(refused.error.rfind("Request failed: ", 0), 0u) << refused.error;
    EXPECT_NE(refused.error.find("12029"), std::string::npos) << refused.error;

    const HttpResponse unknown = client->Get("http://nowhere.norvik.test/");
    EXPECT_EQ(unknown.statusCode, -1);
    EXPECT_EQ(unknown.error.rfind("Request failed: ", 0), 0u) << unknown.error;
    EXPECT_NE(unknown.error.find("12007"), std::string::npos) << unknown.error;
}

TEST(WinInetTransport, ErrorTextsFollowTheDisplayLanguage)
{
    ScopedLanguage japanese(L"ja");
    EXPECT_EQ(
        MakeClient()->Get(testenv::HttpUrl("/status/503")).error,
        "サーバーでエラーが発生しました（HTTP 503）。しばらくしてから、もう一度お試しください。");
}
