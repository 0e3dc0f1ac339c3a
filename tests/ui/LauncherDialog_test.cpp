#include "support/MessageBoxAnswerer.h"
#include "support/Registry.h"
#include "support/TempFolder.h"
#include "support/WindowPump.h"
#include "ui/LauncherDialog.h"
#include "update/UpdateManager.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(ProgressBar, RightEdgeIsTruncatedFractionOf383RaisedTo22)
{
    EXPECT_EQ(ProgressBarRight(0.05), 22);
    EXPECT_EQ(ProgressBarRight(0.5), 191);
    EXPECT_EQ(ProgressBarRight(1.0), 383);
    EXPECT_EQ(ProgressBarRight(0.999), 382);
    // Not clamped above a full bar.
    EXPECT_EQ(ProgressBarRight(1.5), 574);
}

namespace
{
// The update thread runs its version check in a folder of the test's own and
// whatever box it raises is answered; the regions are measured meanwhile.
class DialogRegions : public ::testing::Test
{
  protected:
    void TearDown() override
    {
        dialog_.GetMessagePasser()->Post({Quit, 0});
        PumpUntilQuit(30000);
        dialog_.Manager()->updateThread.join();
        std::filesystem::current_path(previousFolder_);
    }

    // The region left to paint after `flags`, from a fully painted window.
    HRGN RegionAfter(uint8_t flags)
    {
        const HWND window = dialog_.GetHwnd();
        UpdateWindow(window);
        ValidateRect(window, nullptr);
        dialog_.Invalidate(flags);
        HRGN region = CreateRectRgn(0, 0, 0, 0);
        GetUpdateRgn(window, region, FALSE);
        return region;
    }

    static HRGN Union(std::initializer_list<RECT> rects)
    {
        HRGN all = CreateRectRgn(0, 0, 0, 0);
        for (const RECT& rect : rects)
        {
            HRGN part = CreateRectRgnIndirect(&rect);
            CombineRgn(all, all, part, RGN_OR);
            DeleteObject(part);
        }
        return all;
    }

    std::filesystem::path previousFolder_ = std::filesystem::current_path();
    TempFolder game_{L"regions"};
    bool entered_ = (DeleteLauncherKey(), std::filesystem::current_path(game_.Path()), true);
    MessageBoxAnswerer answerer_;
    LauncherDialog dialog_{GetModuleHandleW(nullptr)};
};

bool SameRegion(HRGN a, HRGN b)
{
    const bool same = EqualRgn(a, b);
    DeleteObject(a);
    DeleteObject(b);
    return same;
}
} // namespace

TEST_F(DialogRegions, ZeroInvalidatesTheWholeClientArea)
{
    EXPECT_TRUE(SameRegion(RegionAfter(0), Union({{0, 0, 532, 558}})));
}

TEST_F(DialogRegions, FlagsInvalidateTheirOwnRectangles)
{
    EXPECT_TRUE(SameRegion(RegionAfter(0x2B), Union({{19, 375, 444, 390},
                                                     {390, 375, 510, 390},
                                                     {22, 397, 383, 402},
                                                     {22, 410, 383, 419}})));
    EXPECT_TRUE(SameRegion(RegionAfter(kInvalidateVersionText | kInvalidateSettingsLink),
                           Union({{407, 8, 527, 24}, {15, 3, 144, 23}})));
    EXPECT_TRUE(SameRegion(RegionAfter(kInvalidateAdapterText), Union({{210, 487, 510, 517}})));
    // 0x80 names no region.
    EXPECT_TRUE(SameRegion(RegionAfter(0x80), Union({})));
}

TEST_F(DialogRegions, ClientAreaIsThePictureSizeAndTheTitleIsLocalized)
{
    RECT client{};
    GetClientRect(dialog_.GetHwnd(), &client);
    EXPECT_EQ(client.right, 532);
    EXPECT_EQ(client.bottom, 558);
    wchar_t title[64] = {};
    GetWindowTextW(dialog_.GetHwnd(), title, 64);
    EXPECT_STREQ(title, L"Norvik Patcher");
}
