#include "publisher/Ed25519Key.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fmt/format.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

struct Ed25519Key::Key
{
    EVP_PKEY* pkey = nullptr;
    ~Key() { EVP_PKEY_free(pkey); }
};

namespace
{
struct BioFree
{
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct ContextFree
{
    void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};
struct DigestFree
{
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

[[noreturn]] void Fail(const fs::path& file, std::string_view what)
{
    throw std::runtime_error(fmt::format("signing key {}: {}", file.string(), what));
}
} // namespace

Ed25519Key::Ed25519Key(std::unique_ptr<Key> key) : key_(std::move(key)) {}
Ed25519Key::~Ed25519Key() = default;
Ed25519Key::Ed25519Key(Ed25519Key&&) noexcept = default;
Ed25519Key& Ed25519Key::operator=(Ed25519Key&&) noexcept = default;

Ed25519Key Ed25519Key::Generate(const fs::path& file)
{
    auto key = std::make_unique<Key>();
    std::unique_ptr<EVP_PKEY_CTX, ContextFree> context(
        EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr));
    if (!context || EVP_PKEY_keygen_init(context.get()) != 1 ||
        EVP_PKEY_keygen(context.get(), &key->pkey) != 1)
        Fail(file, "libcrypto could not make an Ed25519 key");
    std::unique_ptr<BIO, BioFree> pem(BIO_new(BIO_s_mem()));
    if (!pem ||
        PEM_write_bio_PrivateKey(pem.get(), key->pkey, nullptr, nullptr, 0, nullptr, nullptr) != 1)
        Fail(file, "libcrypto could not write the key");
    char* data = nullptr;
    const long size = BIO_get_mem_data(pem.get(), &data);
    // Created with the owner's permissions only, and never over a key in use.
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        Fail(file, errno == EEXIST ? "exists already (a key is never overwritten)"
                                   : std::strerror(errno));
    const bool written = ::write(fd, data, static_cast<size_t>(size)) == size && ::fsync(fd) == 0;
    ::close(fd);
    if (!written)
    {
        fs::remove(file);
        Fail(file, "could not be written");
    }
    return Ed25519Key(std::move(key));
}

Ed25519Key Ed25519Key::Load(const fs::path& file)
{
    struct stat info
    {
    };
    if (::stat(file.c_str(), &info) != 0)
        Fail(file, std::strerror(errno));
    if ((info.st_mode & 077) != 0)
        Fail(file, "others than its owner may read it (chmod 600)");
    std::unique_ptr<BIO, BioFree> input(BIO_new_file(file.c_str(), "rb"));
    if (!input)
        Fail(file, "cannot be read");
    auto key = std::make_unique<Key>();
    key->pkey = PEM_read_bio_PrivateKey(input.get(), nullptr, nullptr, nullptr);
    if (!key->pkey || EVP_PKEY_id(key->pkey) != EVP_PKEY_ED25519)
        Fail(file, "is not an Ed25519 private key (make one with norvik-publish keygen)");
    return Ed25519Key(std::move(key));
}

std::string Ed25519Key::PublicKeyHex() const
{
    uint8_t raw[kEd25519PublicKeyBytes];
    size_t size = sizeof raw;
    if (EVP_PKEY_get_raw_public_key(key_->pkey, raw, &size) != 1 || size != sizeof raw)
        throw std::runtime_error("libcrypto could not give the public key");
    return HexOf(raw, size);
}

Ed25519Signature Ed25519Key::Sign(std::string_view bytes) const
{
    Ed25519Signature signature{};
    size_t size = signature.size();
    std::unique_ptr<EVP_MD_CTX, DigestFree> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key_->pkey) != 1 ||
        EVP_DigestSign(context.get(), signature.data(), &size,
                       reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) != 1 ||
        size != signature.size())
        throw std::runtime_error("libcrypto could not sign the release record");
    return signature;
}

bool VerifyEd25519(std::string_view publicKeyHex, std::string_view bytes,
                   const Ed25519Signature& signature)
{
    uint8_t raw[kEd25519PublicKeyBytes];
    BytesOfHex(publicKeyHex, raw, sizeof raw);
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, raw, sizeof raw), EVP_PKEY_free);
    std::unique_ptr<EVP_MD_CTX, DigestFree> context(EVP_MD_CTX_new());
    return key && context &&
           EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
           EVP_DigestVerify(context.get(), signature.data(), signature.size(),
                            reinterpret_cast<const unsigned char*>(bytes.data()),
                            bytes.size()) == 1;
}
