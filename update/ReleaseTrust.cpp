#include "update/ReleaseTrust.h"

#include "BuildConfig.h"

#include <fmt/format.h>
#include <openssl/curve25519.h>
#include <openssl/sha.h>

namespace
{
std::string Sha256Hex(std::string_view bytes)
{
    uint8_t digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), digest);
    return HexOf(digest, sizeof digest);
}
} // namespace

std::vector<ReleaseKey> ParseReleaseKeys(std::string_view keys)
{
    std::vector<ReleaseKey> parsed;
    while (!keys.empty())
    {
        const size_t end = std::min(keys.find(';'), keys.size());
        ReleaseKey key{};
        BytesOfHex(keys.substr(0, end), key.data(), key.size());
        parsed.push_back(key);
        keys.remove_prefix(std::min(end + 1, keys.size()));
    }
    return parsed;
}

const std::vector<ReleaseKey>& EmbeddedReleaseKeys()
{
    static const std::vector<ReleaseKey> keys = ParseReleaseKeys(NORVIK_RELEASE_KEYS);
    return keys;
}

ReleaseRecord AcceptReleaseRecord(std::string_view recordText, std::string_view versionFile,
                                  const std::vector<ReleaseKey>& keys, uint64_t lastSerial,
                                  int64_t now)
{
    SignedRelease split;
    try
    {
        split = SplitSignedRelease(recordText);
    }
    catch (const std::exception& e)
    {
        throw ReleaseRefused(e.what());
    }
    bool signedByKey = false;
    for (const ReleaseKey& key : keys)
        signedByKey =
            signedByKey ||
            ED25519_verify(reinterpret_cast<const uint8_t*>(split.signedBytes.data()),
                           split.signedBytes.size(), split.signature.data(), key.data()) == 1;
    if (!signedByKey)
        throw ReleaseRefused("release record is not signed by a key of this launcher");
    ReleaseRecord record;
    try
    {
        record = ParseReleaseRecord(split.signedBytes);
    }
    catch (const std::exception& e)
    {
        throw ReleaseRefused(e.what());
    }
    if (!MatchesRelease(versionFile, record.versionFile))
        throw ReleaseRefused("release record names another version file");
    if (record.serial < lastSerial)
        throw ReleaseRefused(fmt::format("release serial {} is older than serial {} seen before",
                                         record.serial, lastSerial));
    if (record.expires <= now)
        throw ReleaseRefused(fmt::format("release record expired at {}", record.expires));
    return record;
}

bool MatchesRelease(std::string_view bytes, const ReleaseItem& item)
{
    return bytes.size() == item.size && Sha256Hex(bytes) == item.sha256;
}
