#include "publisher/MirrorVerify.h"

#include "publisher/HttpFetch.h"
#include "publisher/Manifest.h"
#include "publisher/ParallelRun.h"
#include "publisher/ReleaseVerify.h"
#include "publisher/Sha256.h"
#include "update/formats/FileListText.h"
#include "update/formats/ReleaseRecord.h"
#include "update/formats/VersionFileText.h"
#include "update/formats/ZipPackage.h"

#include <algorithm>
#include <chrono>
#include <fmt/format.h>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>

namespace
{
// "https://host:port" of a URL.
std::string_view Origin(std::string_view url)
{
    const size_t scheme = url.find("://");
    return url.substr(0, url.find('/', scheme == std::string_view::npos ? 0 : scheme + 3));
}

std::string OutcomeProblem(const FetchOutcome& outcome)
{
    if (outcome.status == 0)
        return "not fetched: " + outcome.error;
    if (outcome.status == 404)
        return "missing (HTTP 404)";
    return fmt::format("missing (HTTP {})", outcome.status);
}

// Compares what was fetched with the manifest's line for it.
void CheckAgainstManifest(const std::string& path, uint64_t size, const std::string& sha256,
                          const ManifestEntry& expected, std::vector<VerifyProblem>& problems)
{
    if (size != expected.size)
        problems.push_back(
            {path, fmt::format("differs: {} bytes, the manifest says {}", size, expected.size)});
    else if (sha256 != expected.sha256)
        problems.push_back({path, "differs: SHA-256 is not the manifest's"});
}

class Verifier
{
  public:
    Verifier(const VerifyOptions& options, ProgressStyle progress)
        : options_(options), progress_(progress), fetch_(options.caFile)
    {
    }

    VerifyReport Run()
    {
        std::string versionText;
        if (!FetchSmall("version/version", options_.url + "/version/version", versionText))
            return Finish();
        if (!options_.against.empty())
        {
            // What the mirror should serve is the operator's release, not its own.
            const std::string published = ReadLocal("version/version");
            if (published.empty())
                return Finish();
            if (published != versionText)
                stale_ = fmt::format("stale: the mirror serves version {}, the published one is {}",
                                     VersionOf(versionText), VersionOf(published));
            versionText = published;
        }
        std::map<std::string, std::string> values;
        for (const VersionFileLine& line : ReadVersionFileLines(versionText))
            values[line.key] = line.value;
        if (values["patch"].empty() || values["filelist"].empty())
        {
            Problem("version/version", "has no patch or filelist value");
            return Finish();
        }
        // A launcher set to this mirror swaps the primary host for the mirror's.
        const std::string patch = values["patch"];
        base_ = std::string(Origin(options_.url)) + patch.substr(Origin(patch).size());

        std::string manifestText;
        if (!FetchSmall(std::string(kManifestPath), options_.url + "/" + std::string(kManifestPath),
                        manifestText) &&
            options_.against.empty())
            return Finish();
        if (!options_.against.empty())
        {
            const std::string published = ReadLocal(std::string(kManifestPath));
            if (published.empty())
                return Finish();
            if (published != manifestText && stale_.empty())
                Problem(std::string(kManifestPath), "differs from the published one");
            manifestText = published;
        }
        try
        {
            manifest_ = ParseManifest(manifestText);
        }
        catch (const std::exception& e)
        {
            Problem(std::string(kManifestPath), e.what());
            return Finish();
        }

        CheckRelease(versionText);
        CheckList(values["filelist"], "", false);
        // The launcher reads an empty value as no overlay at all, not as one empty code.
        const std::vector<std::string> codes = values["overlays"].empty()
                                                   ? std::vector<std::string>{}
                                                   : SplitOverlayList(values["overlays"]);
        for (const std::string& code : codes)
        {
            const std::string list = values["overlay_" + code + "_filelist"];
            if (list.empty())
            {
                Problem("version/version", fmt::format("overlay {} has no filelist value", code));
                continue;
            }
            const size_t slash = list.rfind('/');
            CheckList(list,
                      slash == std::string::npos ? "overlays/" + code + "/"
                                                 : list.substr(0, slash + 1),
                      true);
        }
        CheckPackages();
        return Finish();
    }

  private:
    void Problem(std::string path, std::string what)
    {
        const std::lock_guard lock(mutex_);
        report_.problems.push_back({std::move(path), std::move(what)});
    }

    VerifyReport Finish()
    {
        std::sort(report_.problems.begin(), report_.problems.end(),
                  [](const VerifyProblem& a, const VerifyProblem& b) { return a.path < b.path; });
        // The cause of whatever follows.
        if (!stale_.empty())
            report_.problems.insert(report_.problems.begin(), {"version/version", stale_});
        return std::move(report_);
    }

    // A file of the --against tree; a problem when it is missing.
    std::string ReadLocal(const std::string& path)
    {
        std::ifstream input(options_.against / path, std::ios::binary);
        std::string text{std::istreambuf_iterator<char>(input), {}};
        if (text.empty())
            Problem(path, fmt::format("not in {}", options_.against.string()));
        return text;
    }

    static std::string VersionOf(const std::string& versionFile)
    {
        std::string version = "(none)";
        for (const VersionFileLine& line : ReadVersionFileLines(versionFile))
            if (line.key == "version")
                version = line.value;
        return version;
    }

    bool FetchSmall(const std::string& path, const std::string& url, std::string& body)
    {
        const FetchOutcome outcome = fetch_.GetText(url, body);
        if (outcome.status == 200)
            return true;
        Problem(path, OutcomeProblem(outcome));
        return false;
    }

    void CheckRelease(const std::string& versionText)
    {
        const std::string path = ReleaseRecordPath(Sha256Hex(versionText));
        std::string text;
        const FetchOutcome outcome = fetch_.GetText(options_.url + "/" + path, text);
        if (outcome.status == 404 && options_.releaseKeys.empty())
        {
            report_.release = "none (the release is not signed)";
            return;
        }
        if (outcome.status != 200)
        {
            Problem(path, OutcomeProblem(outcome));
            return;
        }
        const int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                                std::chrono::system_clock::now().time_since_epoch())
                                .count();
        const ReleaseCheck check =
            CheckReleaseRecord(text, versionText, manifest_, options_.releaseKeys, now);
        report_.release = check.summary;
        for (const std::string& problem : check.problems)
            Problem(path, problem);
    }

    // A list is a package of the manifest, and each of its entries must be one.
    void CheckList(const std::string& listName, const std::string& packageBase, bool overlay)
    {
        const std::string path = listName + ".zip";
        checkedLists_.push_back(path);
        const auto expected = manifest_.find(path);
        if (expected == manifest_.end())
            Problem(path, "named by the version file but not in the manifest");
        std::string bytes;
        if (!FetchSmall(path, base_ + "/" + path, bytes))
            return;
        ++report_.packagesChecked;
        if (expected != manifest_.end())
            CheckAgainstManifest(path, bytes.size(), Sha256Hex(bytes), expected->second,
                                 report_.problems);
        try
        {
            const std::optional<std::string> text =
                ReadSingleEntryPackage(bytes, listName, overlay);
            if (!text)
            {
                Problem(path, "holds no list");
                return;
            }
            for (const FileEntry& entry : ParseFileListText(*text, overlay, "FileList"))
            {
                if (!manifest_.count(packageBase + entry.packagePath))
                    Problem(packageBase + entry.packagePath,
                            fmt::format("listed in {} but not in the manifest", path));
            }
        }
        catch (const std::exception& e)
        {
            Problem(path, fmt::format("not a list the launcher reads: {}", e.what()));
        }
    }

    void CheckPackages()
    {
        std::vector<const Manifest::value_type*> packages;
        uint64_t bytes = 0;
        for (const auto& item : manifest_)
        {
            if (std::find(checkedLists_.begin(), checkedLists_.end(), item.first) ==
                checkedLists_.end())
            {
                packages.push_back(&item);
                bytes += item.second.size;
            }
        }
        ProgressMeter meter("verifying", packages.size(), bytes, progress_);
        std::vector<std::unique_ptr<HttpFetch>> idle;
        RunInParallel(
            packages.size(), options_.jobs,
            [&](size_t i)
            {
                std::unique_ptr<HttpFetch> fetch = TakeFetch(idle);
                const std::vector<VerifyProblem> found = CheckPackage(*fetch, *packages[i], meter);
                const std::lock_guard lock(mutex_);
                ++report_.packagesChecked;
                report_.problems.insert(report_.problems.end(), found.begin(), found.end());
                idle.push_back(std::move(fetch));
                meter.FileDone();
            });
    }

    // Streams the package through SHA-256; nothing of it is kept.
    std::vector<VerifyProblem> CheckPackage(HttpFetch& fetch, const Manifest::value_type& package,
                                            ProgressMeter& meter)
    {
        const auto& [path, expected] = package;
        Sha256 hash;
        uint64_t size = 0;
        auto take = [&](std::string_view piece)
        {
            hash.Update(piece);
            size += piece.size();
            meter.AddBytes(piece.size());
        };
        const FetchOutcome outcome = fetch.Get(base_ + "/" + path, take);
        std::vector<VerifyProblem> found;
        if (outcome.status != 200)
            found.push_back({path, OutcomeProblem(outcome)});
        else
            CheckAgainstManifest(path, size, hash.Hex(), expected, found);
        return found;
    }

    // A connection of an earlier package when one is free.
    std::unique_ptr<HttpFetch> TakeFetch(std::vector<std::unique_ptr<HttpFetch>>& idle)
    {
        const std::lock_guard lock(mutex_);
        if (idle.empty())
            return std::make_unique<HttpFetch>(options_.caFile);
        std::unique_ptr<HttpFetch> fetch = std::move(idle.back());
        idle.pop_back();
        return fetch;
    }

    const VerifyOptions& options_;
    ProgressStyle progress_;
    HttpFetch fetch_;
    std::string base_;
    Manifest manifest_;
    std::vector<std::string> checkedLists_;
    std::string stale_;
    std::mutex mutex_;
    VerifyReport report_;
};
} // namespace

VerifyReport VerifyMirror(const VerifyOptions& options, ProgressStyle progress)
{
    InitHttpFetchOnce();
    return Verifier(options, progress).Run();
}
