// The version file's line reader and the helpers run on its values.
#include "FuzzSupport.h"
#include "update/formats/VersionFileText.h"

#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const std::vector<VersionFileLine> lines = ReadVersionFileLines(body);

    std::string joined;
    for (const VersionFileLine& line : lines)
    {
        FUZZ_CHECK(line.rawLine.find('\n') == std::string::npos);
        FUZZ_CHECK(line.isMalformed == (line.rawLine.find('=') == std::string::npos));
        FUZZ_CHECK(TrimVersionText(line.key) == line.key);
        FUZZ_CHECK(TrimVersionText(line.value) == line.value);
        joined += line.rawLine + "\n";

        const std::string replaced = ReplaceAll(line.value, "patch.example.com", "m2.example.com");
        FUZZ_CHECK(ReplaceAll(replaced, "m2.example.com", "m2.example.com") == replaced);
        for (const std::string& code : SplitOverlayList(line.value))
            FUZZ_CHECK(code.find(',') == std::string::npos && TrimVersionText(code) == code);
    }
    // The lines are the whole body, cut at LF; a final LF adds no line.
    const bool endsWithLf = !body.empty() && body.back() == '\n';
    FUZZ_CHECK(joined ==
               (endsWithLf || body.empty() ? std::string(body) : std::string(body) + "\n"));
    return 0;
}
