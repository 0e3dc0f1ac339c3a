// The file-list package reader over arbitrary bytes, and the list reader on
// whatever text it yields.
#include "FuzzSupport.h"
#include "update/formats/FileListText.h"
#include "update/formats/ZipPackage.h"

#include <new>
#include <stdexcept>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    InstallQuietLogger();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const bool overlay = size > 0 && (data[size - 1] & 1);
    try
    {
        const std::optional<std::string> text =
            ReadSingleEntryPackage(bytes, "list", overlay, kFuzzSizeLimit);
        if (!text)
            return 0;
        FUZZ_CHECK(text->find('\0') == std::string::npos);
        ParseFileListText(*text, overlay, "FileList");
    }
    catch (const std::bad_alloc&)
    {
    }
    catch (const std::runtime_error& e)
    {
        const std::string_view message = e.what();
        const std::string name = overlay ? "overlay list.zip" : "list.zip";
        FUZZ_CHECK(message == "Could not read " + name ||
                   message == "Unable to get file info for " + name ||
                   message == "Could not close handle for " + name);
    }
    catch (const std::out_of_range& e)
    {
        FUZZ_CHECK(std::string_view(e.what()) == "stoi argument out of range");
    }
    catch (const std::invalid_argument& e)
    {
        FUZZ_CHECK(std::string_view(e.what()) == "invalid stoi argument");
    }
    return 0;
}
