#include "publisher/ReleaseVerify.h"

#include "publisher/Ed25519Key.h"
#include "publisher/Sha256.h"
#include "update/formats/ReleaseRecord.h"

#include <algorithm>
#include <fmt/format.h>

ReleaseCheck CheckReleaseRecord(std::string_view recordText, std::string_view versionFileText,
                                const Manifest& manifest,
                                const std::vector<std::string>& publicKeys, int64_t now)
{
    ReleaseCheck check;
    ReleaseRecord record;
    try
    {
        const SignedRelease split = SplitSignedRelease(recordText);
        const bool signedByKey =
            std::any_of(publicKeys.begin(), publicKeys.end(),
                        [&](const std::string& key)
                        { return VerifyEd25519(key, split.signedBytes, split.signature); });
        if (!publicKeys.empty() && !signedByKey)
            check.problems.push_back("not signed by any --release-key");
        record = ParseReleaseRecord(split.signedBytes);
        check.summary = fmt::format("serial {}, expires in {} day(s), signature {}", record.serial,
                                    (record.expires - now) / 86400,
                                    publicKeys.empty() ? "not checked (no --release-key)"
                                    : signedByKey      ? "good"
                                                       : "BAD");
    }
    catch (const std::exception& e)
    {
        check.problems.push_back(e.what());
        return check;
    }
    if (record.expires <= now)
        check.problems.push_back("expired: launchers refuse it; publish again");
    if (record.versionFile.size != versionFileText.size() ||
        record.versionFile.sha256 != Sha256Hex(versionFileText))
        check.problems.push_back("names another version file than the one served");
    Manifest named;
    for (const auto* group : {&record.lists, &record.packages})
        for (const auto& [path, item] : *group)
            named[path] = {item.size, item.sha256};
    for (const auto& [path, entry] : manifest)
    {
        const auto found = named.find(path);
        if (found == named.end())
            check.problems.push_back(fmt::format("does not name {}", path));
        else if (found->second.size != entry.size || found->second.sha256 != entry.sha256)
            check.problems.push_back(fmt::format("gives {} another size or SHA-256", path));
    }
    for (const auto& [path, entry] : named)
        if (!manifest.count(path))
            check.problems.push_back(fmt::format("names {}, which the manifest lacks", path));
    return check;
}
