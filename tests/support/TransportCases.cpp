#include "support/TransportCases.h"

#include "base/TextEncoding.h"
#include "settings/Localization.h"
#include "support/TempFolder.h"

#include <filesystem>

const std::vector<StatusCase> kStatusCases = {{399, nullptr},
                                              {400, "network_error_client_request"},
                                              {404, "network_error_client_request"},
                                              {499, "network_error_client_request"},
                                              {500, "network_error_server_error"},
                                              {503, "network_error_server_error"},
                                              {599, "network_error_server_error"},
                                              {600, nullptr}};

std::string ExpectedStatusError(const StatusCase& statusCase)
{
    if (!statusCase.key)
        return {};
    std::string text = EnglishText(statusCase.key);
    return text.replace(text.find("{}"), 2, std::to_string(statusCase.status));
}

std::string EnglishText(const std::string& key)
{
    return ToUtf8(LookupText(L"en", key));
}

std::string ReadFixture(const std::string& name)
{
    return ReadWholeFile(std::filesystem::path(NORVIK_TESTDATA_DIR) / "http" / "testdata" / "www" /
                         "fixtures" / name);
}
