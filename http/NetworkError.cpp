#include "http/NetworkError.h"

std::string StatusErrorText(long status)
{
    if (status >= 400 && status <= 499)
        return FormatNetworkError("network_error_client_request", status);
    if (status >= 500 && status <= 599)
        return FormatNetworkError("network_error_server_error", status);
    return {};
}
