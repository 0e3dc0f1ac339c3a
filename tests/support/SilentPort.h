// A loopback port that takes no new connection and refuses none: a listener
// whose queue is already full, so the system drops further connection
// requests without an answer, as a dead host or a dropping firewall does.
#pragma once

#include <string>
#include <vector>
#include <winsock2.h>

class SilentPort
{
  public:
    SilentPort();
    ~SilentPort();
    SilentPort(const SilentPort&) = delete;
    SilentPort& operator=(const SilentPort&) = delete;

    int Port() const { return port_; }
    // `scheme` + "://127.0.0.1:" + port + "/version/version".
    std::string Url(const std::string& scheme = "https") const;

  private:
    SOCKET listener_ = INVALID_SOCKET;
    std::vector<SOCKET> fillers_;
    int port_ = 0;
};
