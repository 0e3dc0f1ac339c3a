// The signed release record served beside the version file: what one release
// is (serial, expiry, size and SHA-256 of the version file, every list,
// every package and every file a player ends with), and the Ed25519
// signature over its exact bytes. Only the text layer lives here; the
// launcher and the publisher each verify and sign with their own crypto
// library. Every parse is strict: anything not written exactly as
// FormatReleaseRecord writes it is refused with std::runtime_error.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

// Beyond this a record is refused before a byte of it is parsed; a launcher
// fetches no more than this.
inline constexpr size_t kMaxReleaseRecordBytes = 32u * 1024 * 1024;

struct ReleaseItem
{
    uint64_t size = 0;
    // 64 lower-case hex digits.
    std::string sha256;
};

struct ReleaseRecord
{
    uint64_t serial = 0;
    // Seconds since 1970-01-01 UTC after which the record is not accepted.
    int64_t expires = 0;
    ReleaseItem versionFile;
    // By URL path under the version file's "patch" value, as the launcher
    // builds its URL ("filelist.0123456789abcdef.zip").
    std::map<std::string, ReleaseItem> lists;
    std::map<std::string, ReleaseItem> packages;
    // What a player's game folder holds after the update, by language:
    // "-" for a language without an overlay, else the overlay's code with the
    // overlay merged in. Inner key: the name as the lists write it.
    std::map<std::string, std::map<std::string, ReleaseItem>> files;
};

inline constexpr size_t kEd25519SignatureBytes = 64;
inline constexpr size_t kEd25519PublicKeyBytes = 32;
using Ed25519Signature = std::array<uint8_t, kEd25519SignatureBytes>;

// The record without its signature line: the bytes that are signed.
std::string FormatReleaseRecord(const ReleaseRecord& record);

// `signedBytes` followed by its signature line.
std::string AppendReleaseSignature(std::string_view signedBytes, const Ed25519Signature& signature);

struct SignedRelease
{
    // A view into the text given to SplitSignedRelease.
    std::string_view signedBytes;
    Ed25519Signature signature{};
};

// Separates the signature line (the last line) from the signed bytes; checks
// only the size cap and that line. Verify the signature before parsing.
SignedRelease SplitSignedRelease(std::string_view text);

ReleaseRecord ParseReleaseRecord(std::string_view signedBytes);

// Where the record of a version file is served: named by the first 16 hex
// digits of the version file's SHA-256, so a launcher finds the record of
// exactly the version file it read, and a record is in place before the
// version file that leads to it.
std::string ReleaseRecordPath(std::string_view versionFileSha256);

// Lower-case hex of bytes, and back (throws std::runtime_error on anything
// but an even count of hex digits of the expected length).
std::string HexOf(const uint8_t* bytes, size_t count);
void BytesOfHex(std::string_view hex, uint8_t* bytes, size_t count);
