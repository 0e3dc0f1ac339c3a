#include "settings/Registry.h"
#include "support/LogCapture.h"
#include "support/Registry.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <vector>

namespace
{

// Only error-level lines reach the capture, so a line seen was logged as an error.
struct ErrorLogCapture : LogCapture
{
    ErrorLogCapture() { spdlog::default_logger()->set_level(spdlog::level::err); }
};

struct RawValue
{
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

void StoreRaw(const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kLauncherRegistryKey, name, type, data, size),
              ERROR_SUCCESS);
}

RawValue LoadRaw(const wchar_t* name)
{
    RawValue value;
    DWORD size = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, kLauncherRegistryKey, name, RRF_RT_ANY | RRF_NOEXPAND,
                     &value.type, nullptr, &size) != ERROR_SUCCESS)
        return value;
    value.data.resize(size);
    RegGetValueW(HKEY_CURRENT_USER, kLauncherRegistryKey, name, RRF_RT_ANY | RRF_NOEXPAND,
                 &value.type, value.data.data(), &size);
    return value;
}

class RegistryTest : public testing::Test
{
  protected:
    void SetUp() override
    {
        // The test prefix is private, so the launcher's key can be wiped freely.
        DeleteLauncherKey();
        ASSERT_FALSE(LauncherKeyExists());
    }
};

TEST_F(RegistryTest, ReadsCreateTheMissingKeyAndReportAbsence)
{
    std::wstring text = L"preset";
    EXPECT_FALSE(ReadRegistryString(text, kLauncherRegistryKey, L"UpdateVersion"));
    EXPECT_EQ(text, L"preset");
    EXPECT_TRUE(LauncherKeyExists());

    DeleteLauncherKey();
    uint32_t number = 7;
    EXPECT_FALSE(ReadRegistryDword(number, L"NRK_LauncherMirrorIndex"));
    EXPECT_EQ(number, 7u);
    EXPECT_TRUE(LauncherKeyExists());
}

TEST_F(RegistryTest, StringsRoundTrip)
{
    const std::wstring values[] = {L"2.0.15", L"バージョン 3", std::wstring(260, L'v')};
    for (const std::wstring& value : values)
    {
        ASSERT_TRUE(WriteRegistryString(kLauncherRegistryKey, L"UpdateVersion", value));
        std::wstring read;
        EXPECT_TRUE(ReadRegistryString(read, kLauncherRegistryKey, L"UpdateVersion"));
        EXPECT_EQ(read, value);
    }
}

TEST_F(RegistryTest, StringIsStoredAsRegSzWithTerminator)
{
    ASSERT_TRUE(WriteRegistryString(kLauncherRegistryKey, L"UpdateVersion", L""));
    RawValue empty = LoadRaw(L"UpdateVersion");
    EXPECT_EQ(empty.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(empty.data, std::vector<BYTE>(2, 0));

    ASSERT_TRUE(WriteRegistryString(kLauncherRegistryKey, L"UpdateVersion_Overlay_ja", L"ab"));
    RawValue text = LoadRaw(L"UpdateVersion_Overlay_ja");
    EXPECT_EQ(text.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(text.data, (std::vector<BYTE>{'a', 0, 'b', 0, 0, 0}));
}

TEST_F(RegistryTest, StringReadIgnoresTheStoredType)
{
    // Little-endian: the low word is the first character.
    const DWORD twoCharacters = 0x00420041;
    StoreRaw(L"UpdateVersion", REG_DWORD, &twoCharacters, sizeof(twoCharacters));
    std::wstring read;
    EXPECT_TRUE(ReadRegistryString(read, kLauncherRegistryKey, L"UpdateVersion"));
    EXPECT_EQ(read, L"AB");

    const DWORD oneCharacter = 0x00000041;
    StoreRaw(L"UpdateVersion", REG_DWORD, &oneCharacter, sizeof(oneCharacter));
    EXPECT_TRUE(ReadRegistryString(read, kLauncherRegistryKey, L"UpdateVersion"));
    EXPECT_EQ(read, L"A");
}

TEST_F(RegistryTest, OversizedStringStillCountsAsRead)
{
    const std::wstring longText(300, L'x');
    StoreRaw(L"UpdateVersion", REG_SZ, longText.c_str(),
             static_cast<DWORD>((longText.size() + 1) * sizeof(wchar_t)));
    std::wstring read = L"preset";
    EXPECT_TRUE(ReadRegistryString(read, kLauncherRegistryKey, L"UpdateVersion"));
    EXPECT_LE(read.size(), 260u);
}

TEST_F(RegistryTest, DwordsRoundTripAsRegDword)
{
    for (const uint32_t value : {0u, 3u, 0xFFFFFFFFu})
    {
        ASSERT_TRUE(WriteRegistryDword(L"NRK_LauncherMaxConnections", value));
        uint32_t read = 12345;
        EXPECT_TRUE(ReadRegistryDword(read, L"NRK_LauncherMaxConnections"));
        EXPECT_EQ(read, value);

        EXPECT_EQ(LauncherDword(L"NRK_LauncherMaxConnections"), value);
    }
}

TEST_F(RegistryTest, DwordOfAnotherTypeReadsAsAbsent)
{
    // "7" with its terminator is exactly 4 bytes, so only the type check can reject it.
    StoreRaw(L"NRK_LauncherMirrorIndex", REG_SZ, L"7", 4);
    uint32_t mirror = 0;
    EXPECT_FALSE(ReadRegistryDword(mirror, L"NRK_LauncherMirrorIndex"));
    EXPECT_EQ(mirror, 0u);

    StoreRaw(L"NRK_LauncherMirrorIndex", REG_SZ, L"12345", 12);
    EXPECT_FALSE(ReadRegistryDword(mirror, L"NRK_LauncherMirrorIndex"));
    EXPECT_EQ(mirror, 0u);
}

TEST_F(RegistryTest, WriteFailuresAreLogged)
{
    // The registry refuses key name components above 255 characters and value names
    // above 16383, which makes each failing step reachable.
    const std::wstring unopenableKey = L"Software\\" + std::wstring(300, L'k');
    const std::wstring unsettableName(20000, L'n');

    {
        ErrorLogCapture log;
        EXPECT_FALSE(WriteRegistryString(unopenableKey, L"UpdateVersion", L"1"));
        EXPECT_EQ(log.Count("[ERROR] Can't open key with full access"), 1);
    }
    {
        ErrorLogCapture log;
        EXPECT_FALSE(WriteRegistryString(kLauncherRegistryKey, unsettableName, L"1"));
        EXPECT_EQ(log.Count("[ERROR] Can't set key value"), 1);
    }
    {
        ErrorLogCapture log;
        EXPECT_FALSE(WriteRegistryDword(unsettableName, 1));
        EXPECT_EQ(log.Count("[ERROR] Can't set DWORD key value"), 1);
    }
    {
        LogCapture log;
        std::wstring text = L"preset";
        EXPECT_FALSE(ReadRegistryString(text, unopenableKey, L"UpdateVersion"));
        EXPECT_EQ(text, L"preset");
        EXPECT_EQ(log.Text(), "");
    }
}

} // namespace
