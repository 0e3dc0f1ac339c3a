#include "settings/Deployment.h"

#include "BuildConfig.h"

#define NORVIK_WIDEN_(text) L##text
#define NORVIK_WIDEN(text) NORVIK_WIDEN_(text)

const std::array<std::wstring, 3> kMirrorHosts = {
    L"" NORVIK_MIRROR_HOST_0,
    L"" NORVIK_MIRROR_HOST_1,
    L"" NORVIK_MIRROR_HOST_2,
};

const std::wstring& MirrorHostFor(uint32_t index)
{
    return kMirrorHosts[index < kMirrorHosts.size() ? index : 0];
}

const std::array<const char*, 2> kDohResolvers = {NORVIK_DOH_URL_0, NORVIK_DOH_URL_1};

const wchar_t kHelpSite[] = NORVIK_WIDEN(NORVIK_HELP_SITE);
