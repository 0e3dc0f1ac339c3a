// The ECH test server: TLS with ECH keys on a loopback port, one connection at
// a time. Each GET is answered with what the handshake saw (the SNI, whether
// ECH was accepted) in a body of known length, and the connection is closed
// with a close_notify, so a client that rightly treats an unannounced close as
// truncation still gets a whole answer.
//   norvik-ech-server PORT CERT_CHAIN KEY ECH_KEY ECH_CONFIG
#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/hpke.h>
#include <openssl/ssl.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace
{
std::vector<uint8_t> ReadFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
    {
        std::fprintf(stderr, "cannot read %s\n", path);
        std::exit(1);
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bssl::UniquePtr<SSL_CTX> MakeContext(char** argv)
{
    bssl::UniquePtr<SSL_CTX> ctx(SSL_CTX_new(TLS_method()));
    const std::vector<uint8_t> echKey = ReadFile(argv[4]);
    const std::vector<uint8_t> echConfig = ReadFile(argv[5]);
    bssl::UniquePtr<SSL_ECH_KEYS> keys(SSL_ECH_KEYS_new());
    bssl::ScopedEVP_HPKE_KEY key;
    if (!ctx || !SSL_CTX_use_certificate_chain_file(ctx.get(), argv[2]) ||
        !SSL_CTX_use_PrivateKey_file(ctx.get(), argv[3], SSL_FILETYPE_PEM) || !keys ||
        !EVP_HPKE_KEY_init(key.get(), EVP_hpke_x25519_hkdf_sha256(), echKey.data(),
                           echKey.size()) ||
        !SSL_ECH_KEYS_add(keys.get(), /*is_retry_config=*/1, echConfig.data(), echConfig.size(),
                          key.get()) ||
        !SSL_CTX_set1_ech_keys(ctx.get(), keys.get()))
    {
        ERR_print_errors_fp(stderr);
        std::exit(1);
    }
    return ctx;
}

int Listen(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(fd, 16) != 0)
    {
        std::perror("listen");
        std::exit(1);
    }
    return fd;
}

// Reads the request head; false when the client went away first.
bool ReadRequestHead(SSL* ssl)
{
    std::string head;
    char buffer[1024];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536)
    {
        const int count = SSL_read(ssl, buffer, sizeof(buffer));
        if (count <= 0)
            return false;
        head.append(buffer, static_cast<size_t>(count));
    }
    return true;
}

std::string HandshakeReport(const SSL* ssl)
{
    const char* sni = SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name);
    std::string report = "Connected.\n";
    report += std::string("  Version: ") + SSL_get_version(ssl) + "\n";
    report += std::string("  Client sent SNI: ") + (sni ? sni : "") + "\n";
    report +=
        std::string("  Encrypted ClientHello: ") + (SSL_ech_accepted(ssl) ? "yes" : "no") + "\n";
    return report;
}

void Serve(SSL_CTX* ctx, int client)
{
    // A client that stalls must not hold the port for the next test.
    timeval limit{10, 0};
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
    setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit));
    bssl::UniquePtr<SSL> ssl(SSL_new(ctx));
    SSL_set_fd(ssl.get(), client);
    if (SSL_accept(ssl.get()) != 1)
    {
        std::fprintf(stderr, "handshake failed\n");
        ERR_print_errors_fp(stderr);
        return;
    }
    const std::string report = HandshakeReport(ssl.get());
    std::fputs(report.c_str(), stderr);
    if (!ReadRequestHead(ssl.get()))
        return;
    const std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                              std::to_string(report.size()) + "\r\nConnection: close\r\n\r\n" +
                              report;
    SSL_write(ssl.get(), reply.data(), static_cast<int>(reply.size()));
    SSL_shutdown(ssl.get());
}
} // namespace

int main(int argc, char** argv)
{
    if (argc != 6)
    {
        std::fprintf(stderr, "usage: norvik-ech-server PORT CERT_CHAIN KEY ECH_KEY ECH_CONFIG\n");
        return 2;
    }
    const bssl::UniquePtr<SSL_CTX> ctx = MakeContext(argv);
    const int listener = Listen(std::atoi(argv[1]));
    for (;;)
    {
        const int client = accept(listener, nullptr, nullptr);
        if (client < 0)
            continue;
        Serve(ctx.get(), client);
        close(client);
        std::fflush(stderr);
    }
}
