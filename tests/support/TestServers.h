// Addresses of the real test servers that tools/testenv runs on loopback
// (started and stopped by CTest's "testenv" fixture), and the controls of the
// two DNS-over-HTTPS responders. The env folder comes from NORVIK_TESTENV_DIR;
// ports move with NORVIK_TEST_PORT_BASE (build time, default 18000).
// Control calls throw std::runtime_error when a responder cannot be reached.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace testenv
{
// nginx, TLS + HTTP/2, certificate from the test CA: "https://localhost:18443" + path.
std::string HttpsUrl(const std::string& path);
// nginx with a self-signed certificate nobody trusts: "https://localhost:18444" + path.
std::string UntrustedHttpsUrl(const std::string& path);
// nginx, plain HTTP: "http://127.0.0.1:18080" + path.
std::string HttpUrl(const std::string& path);
// A port where nothing listens: "https://127.0.0.1:18099/".
std::string RefusedUrl();
// bssl's ECH server, found only through the DoH responders: "https://ech.norvik.test:18446" + path.
std::string EchUrl(const std::string& path);
// DNS-over-HTTPS responder 0 or 1: "https://127.0.0.1:18453/dns-query" and ...:18454....
std::string DohUrl(int responder);

// The stalling file server, passing on what nginx serves over plain HTTP:
// "https://localhost:18447" + path. The first GET of a file named with
// "stall-once" stops after half its body.
std::string StallUrl(const std::string& path);
// Forgets which files have stalled.
void ResetStallServer();

struct DohStats
{
    int total;
    int a;
    int aaaa;
    int https;
};

// Both responders answer every query with HTTP 500 (libcurl: code 6) while failing.
void SetDohFailing(bool failing);
// Queries received by both responders together since the last reset, failed ones included.
DohStats DohQueries();
// Counters to 0, failing off, on both responders.
void ResetDoh();
// nginx's access log, oldest first: $server_protocol "$request_uri" "$http_user_agent" $status.
std::vector<std::string> AccessLogLines();
// nginx's range log, oldest first: "$request_uri" "$http_range" "$http_if_range" $status
// $body_bytes_sent.
std::vector<std::string> RangeLogLines();
// The env folder as a Windows path (Z:\...): ca.pem, access.log, the servers' logs.
std::filesystem::path Dir();
} // namespace testenv
