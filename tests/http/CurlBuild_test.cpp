// The linked libcurl must carry what the transport relies on.
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <set>
#include <string>

TEST(CurlBuild, OffersEchHttp2AndHttpsProxy)
{
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    ASSERT_NE(info, nullptr);
    std::set<std::string> features;
    std::string listed;
    for (const char* const* name = info->feature_names; name && *name; ++name)
    {
        features.insert(*name);
        listed += std::string(" ") + *name;
    }
    std::printf("libcurl %s, %s;%s\n", info->version,
                info->ssl_version ? info->ssl_version : "no TLS", listed.c_str());
    EXPECT_TRUE(features.count("ECH")) << listed;
    EXPECT_TRUE(features.count("HTTP2")) << listed;
    EXPECT_TRUE(features.count("HTTPS-proxy")) << listed;
    EXPECT_TRUE(features.count("HTTPSRR")) << listed;
}
