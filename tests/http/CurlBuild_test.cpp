// The linked libcurl must carry what the transport relies on, and no more.
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <set>
#include <string>

namespace
{
std::set<std::string> Collect(const char* const* names, std::string& listed)
{
    std::set<std::string> out;
    for (const char* const* name = names; name && *name; ++name)
    {
        out.insert(*name);
        listed += std::string(" ") + *name;
    }
    return out;
}
} // namespace

TEST(CurlBuild, OffersEchHttp2AndHttpsProxyOverHttpOnly)
{
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    ASSERT_NE(info, nullptr);
    std::string features;
    std::string protocols;
    const std::set<std::string> feature = Collect(info->feature_names, features);
    const std::set<std::string> protocol = Collect(info->protocols, protocols);
    std::printf("libcurl %s, %s, zlib %s\nfeatures:%s\nprotocols:%s\n", info->version,
                info->ssl_version ? info->ssl_version : "no TLS",
                info->libz_version ? info->libz_version : "none", features.c_str(),
                protocols.c_str());
    EXPECT_TRUE(feature.count("ECH")) << features;
    EXPECT_TRUE(feature.count("HTTP2")) << features;
    EXPECT_TRUE(feature.count("HTTPS-proxy")) << features;
    EXPECT_TRUE(feature.count("HTTPSRR")) << features;
    // Every other protocol or authentication scheme is attack surface the launcher never needs.
    EXPECT_EQ(protocol, (std::set<std::string>{"http", "https"})) << protocols;
    EXPECT_FALSE(feature.count("NTLM")) << features;
    EXPECT_FALSE(feature.count("Kerberos")) << features;
    EXPECT_FALSE(feature.count("SPNEGO")) << features;
}
