// Where a download's body goes as it arrives: the transports hand each piece
// to a sink instead of growing a string, so a caller can keep a large body
// out of memory. The plain sink collects it in a string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class IBodySink
{
  public:
    virtual ~IBodySink() = default;
    // Before the first piece of a response, and again when a request is
    // repeated on the same sink; `announcedLength` is the server's
    // Content-Length, or -1 when it sent none.
    virtual void Begin(int64_t announcedLength) = 0;
    // Instead of Begin when the server sends the rest of a body after its
    // first `offset` bytes: keeps exactly those. False when the sink does
    // not hold that many.
    virtual bool Continue(uint64_t offset) = 0;
    // False ends the transfer; the response then fails with FailureText().
    virtual bool Append(const char* data, size_t size) = 0;
    virtual std::string FailureText() const = 0;
};

// The body in a string; a body that no longer fits in memory fails the
// transfer with the memory text instead of throwing into the transport.
class StringBodySink : public IBodySink
{
  public:
    explicit StringBodySink(std::string& body) : body_(body) {}

    void Begin(int64_t announcedLength) override;
    bool Continue(uint64_t offset) override;
    bool Append(const char* data, size_t size) override;
    std::string FailureText() const override;

  private:
    std::string& body_;
};
