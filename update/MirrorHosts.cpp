#include "update/MirrorHosts.h"

#include "BuildConfig.h"

const std::array<std::wstring, 3> kMirrorHosts = {
    L"" NORVIK_MIRROR_HOST_0,
    L"" NORVIK_MIRROR_HOST_1,
    L"" NORVIK_MIRROR_HOST_2,
};

const std::wstring& MirrorHostFor(uint32_t index)
{
    return kMirrorHosts[index < kMirrorHosts.size() ? index : 0];
}
