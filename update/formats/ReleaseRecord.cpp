#include "update/formats/ReleaseRecord.h"

#include <charconv>
#include <fmt/format.h>
#include <stdexcept>
#include <vector>

namespace
{
constexpr std::string_view kHeader = "norvik-release 1";
constexpr std::string_view kSignatureKey = "signature ";

[[noreturn]] void Refuse(size_t lineNumber, std::string_view why)
{
    throw std::runtime_error(fmt::format("release record line {}: {}", lineNumber, why));
}

std::vector<std::string_view> SplitFields(std::string_view line, size_t count)
{
    // The last field takes the rest of the line: names may hold spaces.
    std::vector<std::string_view> fields;
    while (fields.size() + 1 < count)
    {
        const size_t space = line.find(' ');
        if (space == std::string_view::npos)
            return {};
        fields.push_back(line.substr(0, space));
        line.remove_prefix(space + 1);
    }
    fields.push_back(line);
    return fields;
}

template <typename Number> bool ReadNumber(std::string_view text, Number& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

bool IsHex(std::string_view text, size_t digits)
{
    return text.size() == digits &&
           text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

// Names and paths: no control bytes (Windows holds none in a name); paths
// (URL paths, percent-encoded) and codes no spaces.
bool IsPlainText(std::string_view text, bool spacesAllowed)
{
    if (text.empty())
        return false;
    for (const char c : text)
    {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || (!spacesAllowed && byte == ' '))
            return false;
    }
    return true;
}

ReleaseItem ReadItem(std::string_view sha256, std::string_view size, size_t lineNumber)
{
    ReleaseItem item;
    if (!IsHex(sha256, 64))
        Refuse(lineNumber, "SHA-256 is not 64 lower-case hex digits");
    if (!ReadNumber(size, item.size))
        Refuse(lineNumber, "size is not a number");
    item.sha256 = sha256;
    return item;
}

std::string ItemText(const ReleaseItem& item)
{
    return fmt::format("{} {}", item.sha256, item.size);
}
} // namespace

std::string FormatReleaseRecord(const ReleaseRecord& record)
{
    std::string text = fmt::format("{}\nserial {}\nexpires {}\nversion {}\n", kHeader,
                                   record.serial, record.expires, ItemText(record.versionFile));
    for (const auto& [path, item] : record.lists)
        text += fmt::format("list {} {}\n", ItemText(item), path);
    for (const auto& [path, item] : record.packages)
        text += fmt::format("package {} {}\n", ItemText(item), path);
    for (const auto& [code, files] : record.files)
        for (const auto& [name, item] : files)
            text += fmt::format("file {} {} {}\n", code, ItemText(item), name);
    return text;
}

std::string AppendReleaseSignature(std::string_view signedBytes, const Ed25519Signature& signature)
{
    return fmt::format("{}{}{}\n", signedBytes, kSignatureKey,
                       HexOf(signature.data(), signature.size()));
}

SignedRelease SplitSignedRelease(std::string_view text)
{
    if (text.size() > kMaxReleaseRecordBytes)
        throw std::runtime_error(
            fmt::format("release record is larger than {} bytes", kMaxReleaseRecordBytes));
    if (text.size() < 2 || text.back() != '\n')
        throw std::runtime_error("release record does not end with a signature line");
    const size_t previousEnd = text.rfind('\n', text.size() - 2);
    const size_t lineStart = previousEnd == std::string_view::npos ? 0 : previousEnd + 1;
    const std::string_view line = text.substr(lineStart, text.size() - 1 - lineStart);
    if (lineStart == 0 || !line.starts_with(kSignatureKey) ||
        !IsHex(line.substr(kSignatureKey.size()), 2 * kEd25519SignatureBytes))
        throw std::runtime_error("release record does not end with a signature line");
    SignedRelease split;
    split.signedBytes = text.substr(0, lineStart);
    BytesOfHex(line.substr(kSignatureKey.size()), split.signature.data(), split.signature.size());
    return split;
}

ReleaseRecord ParseReleaseRecord(std::string_view signedBytes)
{
    if (signedBytes.size() > kMaxReleaseRecordBytes)
        throw std::runtime_error(
            fmt::format("release record is larger than {} bytes", kMaxReleaseRecordBytes));
    ReleaseRecord record;
    std::string_view rest = signedBytes;
    size_t lineNumber = 0;
    while (!rest.empty())
    {
        const size_t end = rest.find('\n');
        if (end == std::string_view::npos)
            Refuse(lineNumber + 1, "no line end");
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end + 1);
        ++lineNumber;
        const size_t space = line.find(' ');
        const std::string_view key = line.substr(0, space);
        const std::string_view value =
            space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
        if (lineNumber == 1)
        {
            if (line != kHeader)
                Refuse(lineNumber, "not a norvik-release 1 record");
        }
        else if (lineNumber == 2)
        {
            if (key != "serial" || !ReadNumber(value, record.serial))
                Refuse(lineNumber, "expected \"serial N\"");
        }
        else if (lineNumber == 3)
        {
            if (key != "expires" || !ReadNumber(value, record.expires))
                Refuse(lineNumber, "expected \"expires SECONDS\"");
        }
        else if (lineNumber == 4)
        {
            const auto fields = SplitFields(value, 2);
            if (key != "version" || fields.size() != 2)
                Refuse(lineNumber, "expected \"version SHA-256 SIZE\"");
            record.versionFile = ReadItem(fields[0], fields[1], lineNumber);
        }
        else if (key == "list" || key == "package")
        {
            const auto fields = SplitFields(value, 3);
            if (fields.size() != 3 || !IsPlainText(fields[2], false))
                Refuse(lineNumber, fmt::format("expected \"{} SHA-256 SIZE PATH\"", key));
            auto& items = key == "list" ? record.lists : record.packages;
            items[std::string(fields[2])] = ReadItem(fields[0], fields[1], lineNumber);
        }
        else if (key == "file")
        {
            const auto fields = SplitFields(value, 4);
            if (fields.size() != 4 || !IsPlainText(fields[0], false) ||
                !IsPlainText(fields[3], true))
                Refuse(lineNumber, "expected \"file LANGUAGE SHA-256 SIZE NAME\"");
            record.files[std::string(fields[0])][std::string(fields[3])] =
                ReadItem(fields[1], fields[2], lineNumber);
        }
        else
            Refuse(lineNumber, "unknown line");
    }
    if (lineNumber < 4)
        throw std::runtime_error("release record ends before its version line");
    // One spelling per record: out of order, repeated or otherwise padded
    // lines would let two different texts mean the same release.
    if (FormatReleaseRecord(record) != signedBytes)
        throw std::runtime_error("release record is not in its canonical form (order, "
                                 "repeats or number spelling)");
    return record;
}

std::string ReleaseRecordPath(std::string_view versionFileSha256)
{
    return fmt::format("version/release.{}", versionFileSha256.substr(0, 16));
}

std::string HexOf(const uint8_t* bytes, size_t count)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * count);
    for (size_t i = 0; i < count; ++i)
    {
        hex += kDigits[bytes[i] >> 4];
        hex += kDigits[bytes[i] & 0xf];
    }
    return hex;
}

void BytesOfHex(std::string_view hex, uint8_t* bytes, size_t count)
{
    if (!IsHex(hex, 2 * count))
        throw std::runtime_error(fmt::format("expected {} lower-case hex digits", 2 * count));
    auto value = [](char c) { return static_cast<uint8_t>(c <= '9' ? c - '0' : c - 'a' + 10); };
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(value(hex[2 * i]) << 4 | value(hex[2 * i + 1]));
}
