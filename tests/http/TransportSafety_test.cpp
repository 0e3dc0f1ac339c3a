// What both transports refuse or give up, whatever a version file names or a
// server does: other schemes than the web's, a host that never answers, a body
// that no longer fits in memory.
#include "base/TextEncoding.h"
#include "http/HttpClient.h"
#include "support/AllocationLimit.h"
#include "support/LogCapture.h"
#include "support/SilentPort.h"
#include "support/TempFolder.h"
#include "support/TestServers.h"
#include "support/TransportCases.h"
#include "support/Wine.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <gtest/gtest.h>

namespace
{
class TransportSafety : public ::testing::TestWithParam<HttpBackend>
{
  protected:
    std::unique_ptr<IHttpClient> Client(bool ech = false)
    {
        auto client = CreateHttpClient(GetParam());
        client->SetUserAgent(kNetworkUserAgent);
        client->SetEch(ech);
        return client;
    }
};

std::string BackendName(const ::testing::TestParamInfo<HttpBackend>& info)
{
    return info.param == HttpBackend::Curl ? "Curl" : "WinInet";
}

// "file:///Z:/..." for a file of this machine.
std::string FileUrl(const std::filesystem::path& file)
{
    std::string path = ToUtf8(std::filesystem::absolute(file).wstring());
    for (char& c : path)
        if (c == '\\')
            c = '/';
    return "file:///" + path;
}
} // namespace

INSTANTIATE_TEST_SUITE_P(Backends, TransportSafety,
                         ::testing::Values(HttpBackend::Curl, HttpBackend::WinInet), BackendName);

TEST_P(TransportSafety, OnlyHttpAndHttpsAreFollowed)
{
    TempFolder folder(L"schemes");
    WriteWholeFile(folder / "secret.txt", "local secret\n");
    // An empty file once made the libcurl client retry without end.
    WriteWholeFile(folder / "empty.txt", "");
    for (bool ech : {false, true})
    {
        auto client = Client(ech);
        for (const std::string& url :
             {FileUrl(folder / "secret.txt"), FileUrl(folder / "empty.txt"),
              std::string("ftp://127.0.0.1:1/version"), std::string("gopher://127.0.0.1:1/")})
        {
            const HttpResponse response = client->Get(url);
            EXPECT_EQ(response.statusCode, -1) << url;
            EXPECT_FALSE(response.error.empty()) << url;
            EXPECT_EQ(response.body, "") << url;
        }
    }
    // The web still works on the same clients.
    EXPECT_EQ(Client()->Get(testenv::HttpsUrl("/fixtures/hello.txt")).body,
              ReadFixture("hello.txt"));
}

// A server whose certificate no trusted CA signed is never talked to, on any
// rung: with ECH on, the encrypted-hello rungs check against their own CA
// bundle and the later ones against the system's store.
TEST_P(TransportSafety, AServerNobodyTrustsIsRefusedWithAndWithoutEch)
{
    for (bool ech : {false, true})
    {
        SCOPED_TRACE(ech ? "ECH on" : "ECH off");
        auto client = Client(ech);
        const HttpResponse got = client->Get(testenv::UntrustedHttpsUrl("/fixtures/hello.txt"));
        EXPECT_EQ(got.statusCode, -1);
        EXPECT_EQ(got.body, "");
        EXPECT_FALSE(got.error.empty());
        const HttpResponse downloaded =
            client->Download(testenv::UntrustedHttpsUrl("/fixtures/hello.txt"), nullptr);
        EXPECT_EQ(downloaded.statusCode, -1);
        EXPECT_EQ(downloaded.body, "");
        // The same client reaches a server it trusts: the refusal was the certificate's.
        EXPECT_EQ(client->Get(testenv::HttpsUrl("/fixtures/hello.txt")).body,
                  ReadFixture("hello.txt"));
    }
}

TEST_P(TransportSafety, AHostThatNeverAnswersIsGivenUpAfterTheConnectTime)
{
    if (GetParam() == HttpBackend::WinInet && RunningUnderWine())
        GTEST_SKIP() << "Wine's WinInet takes INTERNET_OPTION_CONNECT_TIMEOUT but still waits for "
                        "the system's connect (seen: no answer after 45 s); Windows honours it";
    SilentPort silent;
    for (bool ech : {false, true})
    {
        const auto start = std::chrono::steady_clock::now();
        const HttpResponse response = Client(ech)->Get(silent.Url());
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count();
        EXPECT_EQ(response.statusCode, -1);
        EXPECT_FALSE(response.error.empty());
        // libcurl's text suggests another mirror, as for a refused connection.
        if (GetParam() == HttpBackend::Curl)
            EXPECT_EQ(response.error, EnglishText("network_error_connect"));
        // It waited for an answer, and not for the system's minutes.
        EXPECT_GE(seconds, kConnectSeconds - 1) << response.error;
        EXPECT_LE(seconds, kConnectSeconds + 15) << response.error;
        std::printf("[ dead host ] %s, ECH %s: %lld s to \"%s\"\n",
                    BackendName({GetParam(), 0}).c_str(), ech ? "on" : "off",
                    static_cast<long long>(seconds), response.error.c_str());
    }
}

TEST_P(TransportSafety, ABodyThatNoLongerFitsInMemoryIsReportedAsMemory)
{
    auto client = Client();
    HttpResponse response;
    {
        AllocationLimit limit(1 << 20);
        response = client->Download(testenv::HttpsUrl("/generated/4mib.bin"), nullptr);
    }
    EXPECT_EQ(response.statusCode, -1);
    EXPECT_EQ(response.error, EnglishText("network_error_memory"));
    EXPECT_TRUE(response.body.size() < (1u << 20));
}
