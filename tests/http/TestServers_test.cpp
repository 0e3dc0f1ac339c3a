// The test servers themselves, checked from inside Wine with plain libcurl and
// WinInet (not the project's transport), so a failing transport test can be
// told apart from a broken environment.
#include "BuildConfig.h"
#include "support/TempFolder.h"
#include "support/TestServers.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <string>
#include <wininet.h>

namespace
{
struct Reply
{
    CURLcode rc = CURLE_OK;
    long status = 0;
    long httpVersion = 0;
    std::string body;
    std::string location;
};

size_t AppendBody(char* data, size_t size, size_t count, void* body)
{
    static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
}

// One GET with `configure` adding options; the test CA is trusted unless replaced.
template <typename Configure> Reply Fetch(const std::string& url, Configure configure)
{
    Reply reply;
    const std::string caFile = (testenv::Dir() / "ca.pem").string();
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 30L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, AppendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    configure(curl);
    reply.rc = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    curl_easy_getinfo(curl, CURLINFO_HTTP_VERSION, &reply.httpVersion);
    char* location = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_REDIRECT_URL, &location) == CURLE_OK && location)
        reply.location = location;
    curl_easy_cleanup(curl);
    return reply;
}

Reply Fetch(const std::string& url)
{
    return Fetch(url, [](CURL*) {});
}

class TestServers : public ::testing::Test
{
  protected:
    void SetUp() override { testenv::ResetDoh(); }
    void TearDown() override { testenv::ResetDoh(); }
};
} // namespace

TEST_F(TestServers, NginxNegotiatesHttp2WithTheTestCa)
{
    const Reply reply = Fetch(testenv::HttpsUrl("/fixtures/hello.txt"));
    ASSERT_EQ(reply.rc, CURLE_OK) << curl_easy_strerror(reply.rc);
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.httpVersion, CURL_HTTP_VERSION_2_0);
    EXPECT_EQ(reply.body, "Hello from the Norvik test server\n");
}

TEST_F(TestServers, UaEchoesTheUserAgentAndTheAccessLogRecordsIt)
{
    const Reply reply =
        Fetch(testenv::HttpsUrl("/ua"), [](CURL* curl)
              { curl_easy_setopt(curl, CURLOPT_USERAGENT, "Norvik smoke/1 (env check)"); });
    ASSERT_EQ(reply.rc, CURLE_OK) << curl_easy_strerror(reply.rc);
    EXPECT_EQ(reply.body, "Norvik smoke/1 (env check)");
    const auto lines = testenv::AccessLogLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "HTTP/2.0 \"/ua\" \"Norvik smoke/1 (env check)\" 200");
}

TEST_F(TestServers, PathWithASpaceIsServedAndLoggedAsSent)
{
    const Reply reply = Fetch(testenv::HttpUrl("/fixtures/with%20space.txt"), [](CURL* curl)
                              { curl_easy_setopt(curl, CURLOPT_USERAGENT, "Norvik smoke/1"); });
    ASSERT_EQ(reply.rc, CURLE_OK) << curl_easy_strerror(reply.rc);
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, "A file whose name holds a space\n");
    EXPECT_EQ(testenv::AccessLogLines().back(),
              "HTTP/1.1 \"/fixtures/with%20space.txt\" \"Norvik smoke/1\" 200");
}

TEST_F(TestServers, StatusLocationsAnswerWithTheirStatusAndABody)
{
    for (int status : {399, 400, 404, 499, 500, 503, 599, 600})
    {
        for (const std::string& url : {testenv::HttpsUrl("/status/" + std::to_string(status)),
                                       testenv::HttpUrl("/status/" + std::to_string(status))})
        {
            const Reply reply = Fetch(url);
            ASSERT_EQ(reply.rc, CURLE_OK) << url << ": " << curl_easy_strerror(reply.rc);
            EXPECT_EQ(reply.status, status) << url;
            EXPECT_EQ(reply.body, "status " + std::to_string(status) + "\n") << url;
        }
    }
    const Reply moved = Fetch(testenv::HttpsUrl("/status/301"));
    ASSERT_EQ(moved.rc, CURLE_OK);
    EXPECT_EQ(moved.status, 301);
    EXPECT_EQ(moved.location, testenv::HttpsUrl("/fixtures/hello.txt"));
    EXPECT_NE(moved.body.find("301 Moved Permanently"), std::string::npos) << moved.body;
}

TEST_F(TestServers, UntrustedAndRefusedPortsFail)
{
    EXPECT_EQ(Fetch(testenv::UntrustedHttpsUrl("/fixtures/hello.txt")).rc,
              CURLE_PEER_FAILED_VERIFICATION);
    EXPECT_EQ(Fetch(testenv::RefusedUrl()).rc, CURLE_COULDNT_CONNECT);
}

TEST_F(TestServers, BuildPointsAtTheDohResponders)
{
    EXPECT_EQ(std::string(NORVIK_DOH_URL_0), testenv::DohUrl(0))
        << "configure the test build with -DNORVIK_DOH_URLS naming the test responders";
    EXPECT_EQ(std::string(NORVIK_DOH_URL_1), testenv::DohUrl(1));
}

TEST_F(TestServers, DohRespondersResolveTestNamesAndCountQueries)
{
    for (int responder : {0, 1})
    {
        std::string url = testenv::HttpsUrl("/fixtures/hello.txt");
        url.replace(url.find("localhost"), 9, "www.norvik.test");
        const Reply reply =
            Fetch(url, [responder](CURL* curl)
                  { curl_easy_setopt(curl, CURLOPT_DOH_URL, testenv::DohUrl(responder).c_str()); });
        ASSERT_EQ(reply.rc, CURLE_OK) << curl_easy_strerror(reply.rc);
        EXPECT_EQ(reply.status, 200);
    }
    const testenv::DohStats stats = testenv::DohQueries();
    EXPECT_EQ(stats.a, 2);
    EXPECT_EQ(stats.aaaa, 2);
    EXPECT_EQ(stats.total, stats.a + stats.aaaa + stats.https);

    testenv::ResetDoh();
    EXPECT_EQ(testenv::DohQueries().total, 0);
}

TEST_F(TestServers, FailingDohEndsTheTransferWithCode6)
{
    testenv::SetDohFailing(true);
    const Reply reply =
        Fetch(testenv::EchUrl("/"),
              [](CURL* curl)
              {
                  curl_easy_setopt(curl, CURLOPT_DOH_URL, testenv::DohUrl(0).c_str());
                  curl_easy_setopt(curl, CURLOPT_ECH, "true");
              });
    EXPECT_EQ(reply.rc, CURLE_COULDNT_RESOLVE_HOST) << curl_easy_strerror(reply.rc);
    EXPECT_GE(testenv::DohQueries().total, 1);
}

// The ECH configuration reaches libcurl only through the HTTPS record of the
// DoH responder, and bssl reports from its side that the hello was encrypted.
TEST_F(TestServers, EchIsAcceptedThroughTheDohResponder)
{
    const std::string ca = ReadWholeFile(testenv::Dir() / "ca.pem");
    ASSERT_FALSE(ca.empty());
    const Reply reply =
        Fetch(testenv::EchUrl("/"),
              [&ca](CURL* curl)
              {
                  curl_easy_setopt(curl, CURLOPT_CAINFO, nullptr);
                  curl_blob blob{const_cast<char*>(ca.data()), ca.size(), CURL_BLOB_NOCOPY};
                  curl_easy_setopt(curl, CURLOPT_CAINFO_BLOB, &blob);
                  curl_easy_setopt(curl, CURLOPT_DOH_URL, testenv::DohUrl(0).c_str());
                  curl_easy_setopt(curl, CURLOPT_ECH, "hard");
              });
    ASSERT_EQ(reply.rc, CURLE_OK) << curl_easy_strerror(reply.rc);
    std::printf("bssl server answered:\n%s", reply.body.c_str());
    EXPECT_NE(reply.body.find("Encrypted ClientHello: yes"), std::string::npos) << reply.body;
    EXPECT_NE(reply.body.find("Client sent SNI: ech.norvik.test"), std::string::npos) << reply.body;
    const testenv::DohStats stats = testenv::DohQueries();
    EXPECT_GE(stats.https, 1);
    EXPECT_GE(stats.a, 1);
}

// The Wine prefix's root store holds the test CA, for libcurl's native-CA mode
// and for WinInet alike, and still rejects the self-signed server.
TEST_F(TestServers, WinePrefixTrustsTheTestCa)
{
    const auto nativeCa = [](CURL* curl)
    {
        curl_easy_setopt(curl, CURLOPT_CAINFO, nullptr);
        curl_easy_setopt(curl, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_NATIVE_CA));
    };
    const Reply native = Fetch(testenv::HttpsUrl("/fixtures/hello.txt"), nativeCa);
    EXPECT_EQ(native.rc, CURLE_OK) << curl_easy_strerror(native.rc);
    EXPECT_EQ(Fetch(testenv::UntrustedHttpsUrl("/fixtures/hello.txt"), nativeCa).rc,
              CURLE_PEER_FAILED_VERIFICATION);

    const auto wininetGet = [](int port, DWORD& error) -> std::string
    {
        std::string body;
        HINTERNET internet = InternetOpenA("Norvik smoke", 0, nullptr, nullptr, 0);
        HINTERNET connection =
            InternetConnectA(internet, "localhost", static_cast<INTERNET_PORT>(port), nullptr,
                             nullptr, INTERNET_SERVICE_HTTP, 0, 0);
        HINTERNET request = HttpOpenRequestA(
            connection, "GET", "/fixtures/hello.txt", "HTTP/1.1", nullptr, nullptr,
            INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_SECURE, 0);
        error = HttpSendRequestA(request, nullptr, 0, nullptr, 0) ? 0 : GetLastError();
        char buffer[256];
        DWORD read = 0;
        while (error == 0 && InternetReadFile(request, buffer, sizeof buffer, &read) && read)
            body.append(buffer, read);
        InternetCloseHandle(request);
        InternetCloseHandle(connection);
        InternetCloseHandle(internet);
        return body;
    };
    const auto port = [](const std::string& url)
    { return std::stoi(url.substr(url.rfind(':') + 1)); };
    DWORD error = 0;
    EXPECT_EQ(wininetGet(port(testenv::HttpsUrl("")), error),
              "Hello from the Norvik test server\n");
    EXPECT_EQ(error, 0u);
    wininetGet(port(testenv::UntrustedHttpsUrl("")), error);
    // Windows says 12045 (unknown authority); Wine may say 12057 for the same.
    EXPECT_TRUE(error == ERROR_INTERNET_INVALID_CA || error == ERROR_INTERNET_SEC_CERT_REV_FAILED)
        << error;
}
