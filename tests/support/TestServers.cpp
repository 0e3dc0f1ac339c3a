#include "support/TestServers.h"

#include "support/TempFolder.h"

#include <cstdlib>
#include <curl/curl.h>
#include <regex>
#include <sstream>
#include <stdexcept>

#ifndef NORVIK_TEST_PORT_BASE
#define NORVIK_TEST_PORT_BASE 18000
#endif

namespace testenv
{
namespace
{
constexpr int kHttpsPort = NORVIK_TEST_PORT_BASE + 443;
constexpr int kUntrustedPort = NORVIK_TEST_PORT_BASE + 444;
constexpr int kHttpPort = NORVIK_TEST_PORT_BASE + 80;
constexpr int kRefusedPort = NORVIK_TEST_PORT_BASE + 99;
constexpr int kEchPort = NORVIK_TEST_PORT_BASE + 446;
constexpr int kStallPort = NORVIK_TEST_PORT_BASE + 447;
constexpr int kDohPorts[] = {NORVIK_TEST_PORT_BASE + 453, NORVIK_TEST_PORT_BASE + 454};

std::vector<std::string> LinesOf(const std::filesystem::path& file)
{
    std::vector<std::string> lines;
    std::istringstream log(ReadWholeFile(file));
    for (std::string line; std::getline(log, line);)
        lines.push_back(line);
    return lines;
}

size_t AppendBody(char* data, size_t size, size_t count, void* body)
{
    static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
}

// Test plumbing: the helper servers' certificate is not what is under test here.
std::string Control(int port, const std::string& command)
{
    const std::string url = "https://127.0.0.1:" + std::to_string(port) + "/control/" + command;
    std::string body;
    long status = 0;
    CURL* curl = curl_easy_init();
    if (!curl)
        throw std::runtime_error("curl_easy_init failed");
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, AppendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    const CURLcode rc = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    if (rc != CURLE_OK || status != 200)
        throw std::runtime_error("control request " + url + " failed: " + curl_easy_strerror(rc) +
                                 ", HTTP " + std::to_string(status));
    return body;
}

int JsonCount(const std::string& json, const std::string& key)
{
    std::smatch match;
    if (!std::regex_search(json, match, std::regex("\"" + key + "\": *([0-9]+)")))
        throw std::runtime_error("no \"" + key + "\" in DoH responder stats: " + json);
    return std::stoi(match[1].str());
}
} // namespace

std::string HttpsUrl(const std::string& path)
{
    return "https://localhost:" + std::to_string(kHttpsPort) + path;
}

std::string UntrustedHttpsUrl(const std::string& path)
{
    return "https://localhost:" + std::to_string(kUntrustedPort) + path;
}

std::string HttpUrl(const std::string& path)
{
    return "http://127.0.0.1:" + std::to_string(kHttpPort) + path;
}

std::string RefusedUrl()
{
    return "https://127.0.0.1:" + std::to_string(kRefusedPort) + "/";
}

std::string EchUrl(const std::string& path)
{
    return "https://ech.norvik.test:" + std::to_string(kEchPort) + path;
}

std::string DohUrl(int responder)
{
    return "https://127.0.0.1:" + std::to_string(kDohPorts[responder]) + "/dns-query";
}

void SetDohFailing(bool failing)
{
    for (int responder : {0, 1})
        Control(kDohPorts[responder], failing ? "fail?on=1" : "fail?on=0");
}

DohStats DohQueries()
{
    DohStats sum{0, 0, 0, 0};
    for (int responder : {0, 1})
    {
        const std::string json = Control(kDohPorts[responder], "stats");
        sum.total += JsonCount(json, "total");
        sum.a += JsonCount(json, "a");
        sum.aaaa += JsonCount(json, "aaaa");
        sum.https += JsonCount(json, "https");
    }
    return sum;
}

void ResetDoh()
{
    for (int responder : {0, 1})
        Control(kDohPorts[responder], "reset");
}

std::string StallUrl(const std::string& path)
{
    return "https://localhost:" + std::to_string(kStallPort) + path;
}

void ResetStallServer()
{
    Control(kStallPort, "reset");
}

std::vector<std::string> AccessLogLines()
{
    return LinesOf(Dir() / "access.log");
}

std::vector<std::string> RangeLogLines()
{
    return LinesOf(Dir() / "range.log");
}

std::filesystem::path Dir()
{
    const char* dir = std::getenv("NORVIK_TESTENV_DIR");
    if (!dir || *dir != '/')
        throw std::runtime_error("NORVIK_TESTENV_DIR is not set to the test servers' folder (run "
                                 "the tests through CTest)");
    // Wine maps the Unix root to drive Z:.
    std::string windows = std::string("Z:") + dir;
    for (char& c : windows)
        if (c == '/')
            c = '\\';
    return std::filesystem::path(windows);
}
} // namespace testenv
