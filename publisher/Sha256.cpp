#include "publisher/Sha256.h"

#include <fmt/format.h>
#include <fstream>
#include <openssl/evp.h>
#include <stdexcept>
#include <vector>

struct Sha256::Context
{
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> md{EVP_MD_CTX_new(), EVP_MD_CTX_free};
};

Sha256::Sha256() : context_(std::make_unique<Context>())
{
    if (!context_->md || EVP_DigestInit_ex(context_->md.get(), EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("cannot start a SHA-256 hash");
}

Sha256::~Sha256() = default;

void Sha256::Update(std::string_view bytes)
{
    if (EVP_DigestUpdate(context_->md.get(), bytes.data(), bytes.size()) != 1)
        throw std::runtime_error("SHA-256 hashing failed");
}

std::string Sha256::Hex()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context_->md.get(), digest, &length) != 1)
        throw std::runtime_error("SHA-256 hashing failed");
    std::string hex;
    for (unsigned int i = 0; i < length; ++i)
        hex += fmt::format("{:02x}", digest[i]);
    return hex;
}

std::string Sha256Hex(std::string_view bytes)
{
    Sha256 hash;
    hash.Update(bytes);
    return hash.Hex();
}

std::string Sha256OfFile(const std::filesystem::path& file)
{
    std::ifstream input(file, std::ios::binary);
    if (!input)
        throw std::runtime_error(fmt::format("cannot read {}", file.string()));
    Sha256 hash;
    std::vector<char> buffer(1 << 20);
    while (input)
    {
        input.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        hash.Update({buffer.data(), static_cast<size_t>(input.gcount())});
    }
    if (!input.eof())
        throw std::runtime_error(fmt::format("cannot read {}", file.string()));
    return hash.Hex();
}
