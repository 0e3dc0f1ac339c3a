// Fills the fuzz corpora from a tree written by norvik-publish: the version
// file, every package for both package readers, and every list text for the
// list reader, plus a few hand-made lines the publisher never writes.
//   norvik-fuzz-seeds PUBLISHED_TREE CORPUS_ROOT
#include "update/formats/ZipPackage.h"

#include <algorithm>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace
{
int seedCount = 0;

void Seed(const fs::path& corpus, const std::string& target, const std::string& bytes)
{
    fs::create_directories(corpus / target);
    std::ofstream(corpus / target / fmt::format("seed-{:04}", seedCount++), std::ios::binary)
        << bytes;
}

std::string ReadAll(const fs::path& file)
{
    std::ifstream input(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(input), {}};
}
} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
    {
        fmt::print(stderr, "usage: norvik-fuzz-seeds PUBLISHED_TREE CORPUS_ROOT\n");
        return 2;
    }
    const fs::path tree = argv[1];
    const fs::path corpus = argv[2];

    Seed(corpus, "version_file", ReadAll(tree / "version" / "version"));
    Seed(corpus, "version_file",
         "version=1\r\nfilelist=a\r\n\r\npatch = https://h/p=q \r\n"
         "overlays=ja, en\nunknown\n\n=\n");
    // Hand-made list lines, "|" standing for 0x03: a CR LF end, a bad
    // number, a short date, an empty line, five empty columns, a NUL.
    std::string list = "a|20241301000000|12abc|0|p\r\nb|2024010112|1|2|q\n\n||||\n"
                       "c|20240229235959|-1|+2|r\n\0tail\n"s;
    std::replace(list.begin(), list.end(), '|', '\x03');
    Seed(corpus, "file_list", list);
    for (const auto& item : fs::recursive_directory_iterator(tree))
    {
        if (!item.is_regular_file() || item.path().extension() != ".zip")
            continue;
        const std::string package = ReadAll(item.path());
        Seed(corpus, "package_data", package);
        Seed(corpus, "list_package", package);
        const std::optional<std::string> text = ReadSingleEntryPackage(package, "seed", false);
        if (text && text->find('\x03') != std::string::npos)
            Seed(corpus, "file_list", *text);
    }
    fmt::print("{} seeds written to {}\n", seedCount, corpus.string());
    return 0;
}
