#include "TestHttpsServer.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fmt/format.h>
#include <fstream>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#ifndef NORVIK_ROOT
#error "NORVIK_ROOT names the checkout (tools/testenv makes the CA)"
#endif

namespace
{
constexpr const char* kNginx = "/usr/sbin/nginx";

sockaddr_in Loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A port the kernel had free a moment ago; nginx may still lose it to
// another process, which Start() notices.
int FreeLoopbackPort()
{
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    const bool bound = socket >= 0 &&
                       ::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                       ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    if (socket >= 0)
        ::close(socket);
    if (!bound)
        throw std::runtime_error("no free loopback port");
    return ntohs(address.sin_port);
}

bool Accepts(int port)
{
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = Loopback(port);
    const bool connected =
        socket >= 0 &&
        ::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (socket >= 0)
        ::close(socket);
    return connected;
}
} // namespace

TestHttpsServer::TestHttpsServer(const std::filesystem::path& documentRoot,
                                 const std::filesystem::path& work)
    : work_(work)
{
    if (::access(kNginx, X_OK) != 0)
        throw std::runtime_error(fmt::format("{} is missing (Debian package nginx)", kNginx));
    std::filesystem::create_directories(work_ / "tmp");
    const std::string makeCa = fmt::format("'{}/tools/testenv' ca '{}' >'{}/ca.log' 2>&1",
                                           NORVIK_ROOT, work_.string(), work_.string());
    if (std::system(makeCa.c_str()) != 0)
        throw std::runtime_error("tools/testenv could not make the test CA (see ca.log)");
    for (int attempt = 0; attempt < 5; ++attempt)
    {
        if (Start(documentRoot))
            return;
    }
    throw std::runtime_error(fmt::format("nginx did not start; see {}/error.log", work_.string()));
}

TestHttpsServer::~TestHttpsServer()
{
    Stop();
}

std::string TestHttpsServer::Url() const
{
    return fmt::format("https://127.0.0.1:{}", port_);
}

bool TestHttpsServer::Start(const std::filesystem::path& documentRoot)
{
    port_ = FreeLoopbackPort();
    const std::string dir = work_.string();
    // One process in the foreground: nothing to find and stop but our child.
    std::ofstream(work_ / "nginx.conf") << fmt::format(
        R"(daemon off;
master_process off;
pid {0}/nginx.pid;
error_log {0}/error.log info;
events {{ worker_connections 64; }}
http {{
    default_type application/octet-stream;
    access_log off;
    client_body_temp_path {0}/tmp/body;
    proxy_temp_path {0}/tmp/proxy;
    fastcgi_temp_path {0}/tmp/fastcgi;
    uwsgi_temp_path {0}/tmp/uwsgi;
    scgi_temp_path {0}/tmp/scgi;
    server {{
        listen 127.0.0.1:{1} ssl;
        ssl_certificate {0}/server-chain.pem;
        ssl_certificate_key {0}/server.key;
        root {2};
    }}
}}
)",
        dir, port_, documentRoot.string());

    pid_ = ::fork();
    if (pid_ < 0)
        throw std::runtime_error("fork failed");
    if (pid_ == 0)
    {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        const std::string prefix = dir + "/";
        const std::string config = dir + "/nginx.conf";
        const std::string errorLog = dir + "/error.log";
        ::execl(kNginx, kNginx, "-p", prefix.c_str(), "-c", config.c_str(), "-e", errorLog.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline)
    {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_)
        {
            // Exited: the port was taken meanwhile, or the set-up is wrong.
            pid_ = -1;
            return false;
        }
        if (Accepts(port_))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Stop();
    return false;
}

void TestHttpsServer::Stop()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0)
    {
        if (std::chrono::steady_clock::now() > deadline)
        {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
}
