// The file package reader over arbitrary bytes.
#include "FuzzSupport.h"
#include "update/formats/ZipPackage.h"

#include <new>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try
    {
        const InflatedEntry entry = ReadPackageData(bytes, kFuzzSizeLimit);
        FUZZ_CHECK(entry.data[entry.size] == '\0');
        // Reading is deterministic: the same bytes give the same content.
        FUZZ_CHECK(ReadPackageData(bytes, kFuzzSizeLimit).View() == entry.View());
    }
    catch (const std::bad_alloc&)
    {
    }
    catch (const EntryTooLarge& e)
    {
        // Refused, not cut to 32 bits: only sizes that 32 bits cannot hold.
        FUZZ_CHECK(e.size > 0xFFFFFFFFu);
    }
    catch (const std::runtime_error& e)
    {
        const std::string_view message = e.what();
        FUZZ_CHECK(message == "Could not read file data" || message == "Unable to get file info" ||
                   message == "Could not close ZIP file handle" ||
                   message == "Read bytes was not equal to the correct amount");
    }
    return 0;
}
