// How a speed limit reads: in the dialog's list, and in the launcher's speed
// text, where it must fit the 120-pixel box in either language's bold font.
#include "base/TextEncoding.h"
#include "settings/Localization.h"
#include "settings/SpeedLimitSetting.h"

#include <windows.h>

#include <gtest/gtest.h>

TEST(SpeedLimitSetting, LimitsReadInTheirOwnUnit)
{
    EXPECT_EQ(FormatSpeedLimit(0), LocalizedText("speed_limit_none"));
    EXPECT_EQ(FormatSpeedLimit(256), L"256 KB/s");
    EXPECT_EQ(FormatSpeedLimit(1024), L"1 MB/s");
    EXPECT_EQ(FormatSpeedLimit(1536), L"1536 KB/s");
    EXPECT_EQ(FormatSpeedLimit(20480), L"20 MB/s");

    EXPECT_EQ(FormatLimitedSpeed(498.4 * 1024, 512), L"498 / 512 KB/s");
    EXPECT_EQ(FormatLimitedSpeed(1.94 * 1048576, 2048), L"1.9 / 2 MB/s");
    // From a thousand kilobytes on, megabytes: four digits would not fit the box.
    EXPECT_EQ(FormatLimitedSpeed(1400.0 * 1024, 1500), L"1.4 / 1.5 MB/s");
    EXPECT_EQ(FormatLimitedSpeed(980.0 * 1024, 1000), L"1.0 / 1.0 MB/s");
    EXPECT_EQ(FormatLimitedSpeed(998.6 * 1024, 999), L"999 / 999 KB/s");
}

TEST(SpeedLimitSetting, TheLimitedSpeedTextFitsItsBox)
{
    constexpr int kSpeedBoxWidth = 120;
    const HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    for (const wchar_t* language : {L"en", L"ja"})
    {
        const std::wstring face = LookupText(language, "bold_font");
        const HFONT font = CreateFontW(-12, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                       OUT_STRING_PRECIS, CLIP_STROKE_PRECIS, PROOF_QUALITY,
                                       VARIABLE_PITCH | FF_SWISS, face.c_str());
        ASSERT_NE(font, nullptr);
        const HGDIOBJ old = SelectObject(dc, font);
        // The widest each step allows, and a wide stored limit of an administrator.
        for (const std::wstring& text :
             {FormatLimitedSpeed(20479.0 * 1024, 20480), FormatLimitedSpeed(999.0 * 1024, 999),
              FormatLimitedSpeed(1023.0 * 1024, 1023), FormatLimitedSpeed(99999.0 * 1024, 99999)})
        {
            SIZE size{};
            ASSERT_TRUE(
                GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size));
            EXPECT_LE(size.cx, kSpeedBoxWidth) << ToUtf8(text) << " in " << ToUtf8(face);
        }
        SelectObject(dc, old);
        DeleteObject(font);
    }
    DeleteDC(dc);
}
