// SHA-256 of package bytes, for the manifest that mirrors are checked
// against and for the state that tells an unchanged file from a changed one.
// OpenSSL's libcrypto does the hashing; this only wraps its EVP interface.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

// A running hash; Hex() ends it (no Update after that).
class Sha256
{
  public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(std::string_view bytes);
    // The 64 lower-case hex digits.
    std::string Hex();

  private:
    struct Context;
    std::unique_ptr<Context> context_;
};

std::string Sha256Hex(std::string_view bytes);

// Throws std::runtime_error when the file cannot be read.
std::string Sha256OfFile(const std::filesystem::path& file);
