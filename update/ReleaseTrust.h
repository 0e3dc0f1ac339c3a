// The launcher's side of signed releases: the public keys it was built with,
// and the checks a served release record must pass before anything it names
// is used (signature by one of those keys, the version file's hash, a serial
// not below the one seen last, an expiry not passed). Pure checks over
// bytes; fetching, the registry and the player's messages are the caller's.
#pragma once

#include "update/formats/ReleaseRecord.h"

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <vector>

using ReleaseKey = std::array<uint8_t, kEd25519PublicKeyBytes>;

// A record or a byte it names that must not be used; the message is for the
// log (English), the player sees one text for every case.
class ReleaseRefused : public std::runtime_error
{
  public:
    using std::runtime_error::runtime_error;
};

// ';'-separated keys of 64 lower-case hex digits; empty gives none.
// Throws std::runtime_error on anything else.
std::vector<ReleaseKey> ParseReleaseKeys(std::string_view keys);

// The keys of this build (NORVIK_RELEASE_KEYS); none: releases are not checked.
const std::vector<ReleaseKey>& EmbeddedReleaseKeys();

// Throws ReleaseRefused saying which check failed. `now`: seconds since 1970 UTC.
ReleaseRecord AcceptReleaseRecord(std::string_view recordText, std::string_view versionFile,
                                  const std::vector<ReleaseKey>& keys, uint64_t lastSerial,
                                  int64_t now);

// Whether `bytes` are exactly what the record gives for them.
bool MatchesRelease(std::string_view bytes, const ReleaseItem& item);
