#include "publisher/PackageChanges.h"

#include "publisher/Sha256.h"

namespace fs = std::filesystem;

namespace
{
bool PackageIsAsRecorded(const fs::path& file, const PackageRecord& record)
{
    std::error_code error;
    return fs::file_size(file, error) == record.packageSize && !error &&
           FileModifiedNs(file) == record.packageModifiedNs;
}
} // namespace

void DecideChange(Package& package, const PublishState& state,
                  const std::function<std::string()>& hashSource, bool timeProvesContent)
{
    const auto found = state.packages.find(package.key);
    if (found == state.packages.end())
    {
        package.change = Change::Added;
        return;
    }
    const PackageRecord& old = found->second;
    package.change = Change::Changed;
    if (old.sourceSize != package.sourceSize || !PackageIsAsRecorded(package.file, old))
        return;
    const bool sameTime = old.sourceModifiedNs == package.sourceModifiedNs;
    if (sameTime && timeProvesContent)
        package.change = Change::Unchanged;
    else if (hashSource() == old.sourceSha256)
        package.change = sameTime ? Change::Unchanged : Change::Redated;
    else
        return;
    package.record = old;
    package.record.sourceModifiedNs = package.sourceModifiedNs;
}

bool NeedsWriting(const Package& package)
{
    return package.change == Change::Changed || package.change == Change::Added;
}

void RecordWrittenPackage(Package& package, std::string sourceSha256)
{
    package.record.sourceSize = package.sourceSize;
    package.record.sourceModifiedNs = package.sourceModifiedNs;
    package.record.sourceSha256 = std::move(sourceSha256);
    package.record.packageSize = fs::file_size(package.file);
    package.record.packageModifiedNs = FileModifiedNs(package.file);
    package.record.packageSha256 = Sha256OfFile(package.file);
}
