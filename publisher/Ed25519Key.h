// The publisher's release signing key: an Ed25519 key in a PEM (PKCS #8)
// file readable by its owner only, through OpenSSL's libcrypto. Every
// failure throws std::runtime_error naming the file.
#pragma once

#include "update/formats/ReleaseRecord.h"

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

class Ed25519Key
{
  public:
    // Makes a new key and writes it to `file`, which must not exist yet.
    static Ed25519Key Generate(const std::filesystem::path& file);
    // Refuses a file that others than its owner may read.
    static Ed25519Key Load(const std::filesystem::path& file);

    ~Ed25519Key();
    Ed25519Key(Ed25519Key&&) noexcept;
    Ed25519Key& operator=(Ed25519Key&&) noexcept;

    // The 64 hex digits a launcher is built with.
    std::string PublicKeyHex() const;
    Ed25519Signature Sign(std::string_view bytes) const;

  private:
    struct Key;
    explicit Ed25519Key(std::unique_ptr<Key> key);
    std::unique_ptr<Key> key_;
};

// Whether `signature` over `bytes` verifies with the public key in hex.
bool VerifyEd25519(std::string_view publicKeyHex, std::string_view bytes,
                   const Ed25519Signature& signature);
