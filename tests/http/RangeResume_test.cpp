// What both transports do with a body that broke off: ask for the rest while
// the server's file is the same, take the whole body when it changed, and
// refuse a part that was not asked for. And one speed limit shared by
// several clients.
#include "http/HttpClient.h"
#include "http/HttpClientCurl.h"
#include "support/TempFolder.h"
#include "support/TestServers.h"
#include "support/TransportCases.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

namespace
{
constexpr char kBodyPath[] = "/generated/4mib.bin";
constexpr size_t kHeld = 1 << 20;

class RangeResume : public ::testing::TestWithParam<HttpBackend>
{
  protected:
    void SetUp() override
    {
        client_ = CreateHttpClient(GetParam());
        client_->SetUserAgent(kNetworkUserAgent);
        whole_ = client_->Download(testenv::HttpsUrl(kBodyPath), nullptr);
        ASSERT_TRUE(whole_.error.empty()) << whole_.error;
        ASSERT_EQ(whole_.bodyLength, static_cast<int64_t>(whole_.body.size()));
        // nginx's ETag of a static file is strong.
        ASSERT_EQ(whole_.validator.front(), '"') << whole_.validator;
    }

    // The range log's line for the last request of the body.
    std::string LastRangeLine()
    {
        const auto lines = testenv::RangeLogLines();
        for (auto line = lines.rbegin(); line != lines.rend(); ++line)
            if (line->find(kBodyPath) != std::string::npos)
                return *line;
        return {};
    }

    // The validator as nginx logs it: its quotes as \x22.
    std::string LoggedValidator() const
    {
        std::string logged;
        for (const char c : whole_.validator)
            logged += c == '"' ? std::string("\\x22") : std::string(1, c);
        return logged;
    }

    std::unique_ptr<IHttpClient> client_;
    HttpResponse whole_;
};

std::string BackendName(const ::testing::TestParamInfo<HttpBackend>& info)
{
    return info.param == HttpBackend::Curl ? "Curl" : "WinInet";
}
} // namespace

INSTANTIATE_TEST_SUITE_P(Backends, RangeResume,
                         ::testing::Values(HttpBackend::Curl, HttpBackend::WinInet), BackendName);

TEST_P(RangeResume, TheRestOfTheSameBodyIsAskedForAndAppended)
{
    // A held part with stray bytes after the offset, which must go.
    std::string body = whole_.body.substr(0, kHeld) + "stray";
    StringBodySink sink(body);
    const ResumePoint resume{kHeld, whole_.bodyLength, whole_.validator};
    double firstNow = -1, lastNow = 0, lastTotal = 0;
    const HttpResponse response = client_->Download(
        testenv::HttpsUrl(kBodyPath),
        [&](double total, double now)
        {
            if (firstNow < 0)
                firstNow = now;
            lastNow = now;
            lastTotal = total;
            return 0;
        },
        sink, &resume);

    ASSERT_TRUE(response.error.empty()) << response.error;
    EXPECT_EQ(response.statusCode, 206);
    EXPECT_TRUE(body == whole_.body) << body.size();
    EXPECT_EQ(LastRangeLine(), "\"" + std::string(kBodyPath) + "\" \"bytes=1048576-\" \"" +
                                   LoggedValidator() + "\" 206 " +
                                   std::to_string(whole_.body.size() - kHeld));
    // Progress counts the held bytes: it never goes back to zero.
    EXPECT_GE(firstNow, static_cast<double>(kHeld));
    EXPECT_EQ(lastNow, static_cast<double>(whole_.body.size()));
    EXPECT_EQ(lastTotal, static_cast<double>(whole_.body.size()));
}

TEST_P(RangeResume, AChangedBodyComesWholeAndStartsTheSinkAfresh)
{
    std::string body = whole_.body.substr(0, kHeld);
    StringBodySink sink(body);
    const ResumePoint resume{kHeld, whole_.bodyLength, "\"not-the-file-any-more\""};
    const HttpResponse response =
        client_->Download(testenv::HttpsUrl(kBodyPath), nullptr, sink, &resume);

    ASSERT_TRUE(response.error.empty()) << response.error;
    EXPECT_EQ(response.statusCode, 200);
    EXPECT_TRUE(body == whole_.body) << body.size();
    EXPECT_NE(LastRangeLine().find(" 200 4194304"), std::string::npos) << LastRangeLine();
    EXPECT_EQ(response.validator, whole_.validator);
}

TEST_P(RangeResume, ARangeThatIsNotTheRestFailsAndOffersNoFurtherResume)
{
    // The file is not as long as the broken transfer said: the server's range ends elsewhere.
    std::string body = whole_.body.substr(0, kHeld);
    StringBodySink sink(body);
    const ResumePoint resume{kHeld, whole_.bodyLength + 10, whole_.validator};
    const HttpResponse response =
        client_->Download(testenv::HttpsUrl(kBodyPath), nullptr, sink, &resume);

    EXPECT_EQ(response.statusCode, -1);
    EXPECT_FALSE(response.error.empty());
    EXPECT_TRUE(response.validator.empty());
    EXPECT_EQ(body.size(), kHeld);
}

TEST_P(RangeResume, ABodyThatStallsIsGivenUpAndTheRestCompletesIt)
{
    // WinInet has no stall limit of its own; under Wine its receive timeout
    // does not end a read that waits, so only libcurl gives a stalled body up.
    if (GetParam() == HttpBackend::WinInet)
        GTEST_SKIP() << "WinInet does not give a stalled body up";
    // The stall server stops after half of the first body and passes nginx's
    // answers on; the file lives where nginx serves the patch trees.
    const std::filesystem::path folder = testenv::Dir() / "www/patch/range-resume";
    std::filesystem::create_directories(folder);
    const std::string content = whole_.body.substr(0, 3 << 20);
    WriteWholeFile(folder / "body-stall-once.bin", content);
    testenv::ResetStallServer();
    const std::string url = testenv::StallUrl("/patch/range-resume/body-stall-once.bin");

    std::string body;
    StringBodySink sink(body);
    const auto start = std::chrono::steady_clock::now();
    const HttpResponse broken = client_->Download(url, nullptr, sink);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(broken.statusCode, -1);
    ASSERT_FALSE(broken.error.empty());
    EXPECT_GE(seconds, kStallSeconds - 1);
    EXPECT_EQ(broken.bodyLength, static_cast<int64_t>(content.size()));
    ASSERT_FALSE(broken.validator.empty());
    ASSERT_GT(body.size(), 0u);
    ASSERT_LT(body.size(), content.size());

    const ResumePoint resume{body.size(), broken.bodyLength, broken.validator};
    const HttpResponse rest = client_->Download(url, nullptr, sink, &resume);
    ASSERT_TRUE(rest.error.empty()) << rest.error;
    EXPECT_EQ(rest.statusCode, 206);
    EXPECT_TRUE(body == content) << body.size();
    std::filesystem::remove_all(folder);
}

TEST_P(RangeResume, ClientsSharingALimitStayUnderItTogether)
{
    // Two clients at once under 2 MiB/s: 8 MiB take about 4 s, where each
    // alone under its own limit would take 2.
    SpeedLimit limit(2 << 20);
    const auto start = std::chrono::steady_clock::now();
    std::vector<HttpResponse> responses(2);
    std::vector<std::thread> threads;
    for (HttpResponse& response : responses)
        threads.emplace_back(
            [&]
            {
                auto client = CreateHttpClient(GetParam());
                client->SetSpeedLimit(&limit);
                response = client->Download(testenv::HttpsUrl(kBodyPath), nullptr);
            });
    for (std::thread& thread : threads)
        thread.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    for (const HttpResponse& response : responses)
        EXPECT_TRUE(response.error.empty() && response.body == whole_.body) << response.error;
    EXPECT_GE(seconds, 3.8);
}
