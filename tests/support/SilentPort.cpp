#include "support/SilentPort.h"

#include <chrono>
#include <thread>

namespace
{
sockaddr_in Loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(port));
    return address;
}
} // namespace

SilentPort::SilentPort()
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = Loopback(0);
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    listen(listener_, 1);
    int length = sizeof(address);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    // Connections nobody accepts fill the queue; later requests go unanswered.
    for (int i = 0; i < 4; ++i)
    {
        const SOCKET filler = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        u_long nonBlocking = 1;
        ioctlsocket(filler, FIONBIO, &nonBlocking);
        const sockaddr_in target = Loopback(port_);
        connect(filler, reinterpret_cast<const sockaddr*>(&target), sizeof(target));
        fillers_.push_back(filler);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
}

SilentPort::~SilentPort()
{
    for (const SOCKET filler : fillers_)
        closesocket(filler);
    closesocket(listener_);
    WSACleanup();
}

std::string SilentPort::Url(const std::string& scheme) const
{
    return scheme + "://127.0.0.1:" + std::to_string(port_) + "/version/version";
}
