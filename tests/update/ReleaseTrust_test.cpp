// The launcher's checks of a signed release record, with records signed here
// by BoringSSL: each check refuses what it guards, and a sound record passes.
#include "update/ReleaseTrust.h"

#include <gtest/gtest.h>
#include <openssl/curve25519.h>
#include <openssl/sha.h>

namespace
{
constexpr int64_t kNow = 1800000000;

struct Signer
{
    ReleaseKey publicKey{};
    uint8_t privateKey[64]{};
    Signer() { ED25519_keypair(publicKey.data(), privateKey); }

    std::string Sign(const ReleaseRecord& record) const
    {
        const std::string bytes = FormatReleaseRecord(record);
        Ed25519Signature signature{};
        ED25519_sign(signature.data(), reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                     privateKey);
        return AppendReleaseSignature(bytes, signature);
    }
};

ReleaseItem ItemOf(const std::string& bytes)
{
    uint8_t digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), digest);
    return {bytes.size(), HexOf(digest, sizeof digest)};
}

const std::string kVersionFile = "version=2\nfilelist=filelist.0123456789abcdef\n";

ReleaseRecord Release(uint64_t serial, int64_t expires)
{
    ReleaseRecord record;
    record.serial = serial;
    record.expires = expires;
    record.versionFile = ItemOf(kVersionFile);
    record.lists["filelist.0123456789abcdef.zip"] = ItemOf("list bytes");
    return record;
}
} // namespace

TEST(ReleaseTrust, AcceptsOnlyARecordSignedCurrentAndForThisVersionFile)
{
    const Signer signer;
    const Signer other;
    const std::vector<ReleaseKey> keys = {other.publicKey, signer.publicKey};
    const std::string good = signer.Sign(Release(5, kNow + 60));

    const ReleaseRecord accepted = AcceptReleaseRecord(good, kVersionFile, keys, 5, kNow);
    EXPECT_EQ(accepted.serial, 5u);
    EXPECT_TRUE(MatchesRelease("list bytes", accepted.lists.at("filelist.0123456789abcdef.zip")));
    EXPECT_FALSE(MatchesRelease("list bytez", accepted.lists.at("filelist.0123456789abcdef.zip")));
    EXPECT_FALSE(MatchesRelease("list bytes!", accepted.lists.at("filelist.0123456789abcdef.zip")));

    std::string altered = good;
    altered[altered.find("serial 5") + 7] = '9';
    const struct
    {
        const char* name;
        std::string record;
        std::string versionFile;
        std::vector<ReleaseKey> keys;
        uint64_t lastSerial;
    } refused[] = {
        {"signed by another key",
         other.Sign(Release(5, kNow + 60)),
         kVersionFile,
         {signer.publicKey},
         0},
        {"altered after signing", altered, kVersionFile, keys, 0},
        {"cut short", good.substr(0, good.size() / 2), kVersionFile, keys, 0},
        {"another version file", good, kVersionFile + "notice=x\n", keys, 0},
        {"rolled back", good, kVersionFile, keys, 6},
        {"expired", signer.Sign(Release(5, kNow)), kVersionFile, keys, 0},
        {"no keys", good, kVersionFile, {}, 0},
    };
    for (const auto& test : refused)
        EXPECT_THROW(
            AcceptReleaseRecord(test.record, test.versionFile, test.keys, test.lastSerial, kNow),
            ReleaseRefused)
            << test.name;
}

TEST(ReleaseTrust, ReadsTheBuildsKeyList)
{
    EXPECT_TRUE(ParseReleaseKeys("").empty());
    const std::string key(64, 'a');
    EXPECT_EQ(ParseReleaseKeys(key + ";" + std::string(64, '1')).size(), 2u);
    EXPECT_THROW(ParseReleaseKeys(key + ";" + "zz"), std::runtime_error);
    EXPECT_THROW(ParseReleaseKeys(std::string(63, 'a')), std::runtime_error);
}
