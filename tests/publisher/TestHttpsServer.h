// A real nginx serving a folder over HTTPS on a free loopback port, for the
// publisher's verify test. Its certificate comes from a throwaway CA made
// by tools/testenv; the server runs as this process's child in the
// foreground and is stopped by the destructor (and by the kernel when this
// process dies first), so a failing test leaves no server behind.
#pragma once

#include <filesystem>
#include <string>
#include <sys/types.h>

class TestHttpsServer
{
  public:
    // Throws std::runtime_error when nginx, openssl or a port is missing.
    TestHttpsServer(const std::filesystem::path& documentRoot, const std::filesystem::path& work);
    ~TestHttpsServer();
    TestHttpsServer(const TestHttpsServer&) = delete;
    TestHttpsServer& operator=(const TestHttpsServer&) = delete;

    // "https://127.0.0.1:PORT".
    std::string Url() const;
    // The CA's certificate, for --ca-file.
    std::filesystem::path CaFile() const { return work_ / "ca.pem"; }

  private:
    bool Start(const std::filesystem::path& documentRoot);
    void Stop();

    std::filesystem::path work_;
    int port_ = 0;
    pid_t pid_ = -1;
};
