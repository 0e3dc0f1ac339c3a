// A launcher killed at random moments while it writes large files: every game
// file is afterwards its old bytes or its new bytes, never a mix, and the next
// start completes the update and leaves no temporary file behind.
#include "settings/Registry.h"
#include "support/LauncherProcess.h"
#include "support/MessageBoxAnswerer.h"
#include "support/PatchServer.h"
#include "support/Registry.h"
#include "support/TempFolder.h"
#include "support/WindowPump.h"
#include "support/ZipBuilder.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace
{
struct GameFile
{
    std::string name;
    std::string oldBytes;
    std::string newBytes;
};

class KilledPass : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        DeleteLauncherKey();
        WriteRegistryDword(L"NRK_LauncherSettingsSet", 1);
        WriteRegistryDword(L"NRK_LauncherMaxConnections", 4);
        // Noise does not deflate: large packages, spilled to the disk and
        // written piece by piece; the smaller ones go whole.
        for (int index = 0; index < 6; ++index)
        {
            const size_t size = (index < 2 ? 9 : 3) << 20;
            files_.push_back({"data/part" + std::to_string(index) + ".pak",
                              RandomBytes(size, 100 + index),
                              RandomBytes(size + 4096, 200 + index)});
        }
        for (const GameFile& file : files_)
            server_.AddFile({file.name, file.newBytes, ListClock(2024, 1, 1, 0, 0, 0)});
        server_.Publish("B");
        ASSERT_NO_FATAL_FAILURE(WriteOldFiles());
    }

    void WriteOldFiles()
    {
        std::filesystem::create_directories(game_ / "data");
        for (const GameFile& file : files_)
        {
            WriteWholeFile(game_ / file.name, file.oldBytes);
            ASSERT_EQ(ReadWholeFile(game_ / file.name), file.oldBytes);
        }
    }

    std::wstring StoredVersion()
    {
        std::wstring value;
        return ReadRegistryString(value, kLauncherRegistryKey, L"UpdateVersion") ? value : L"";
    }

    // How many files hold their new bytes; a failure for any that is neither.
    int CountNewAndCheckNoMix()
    {
        int fresh = 0;
        for (const GameFile& file : files_)
        {
            const std::string bytes = ReadWholeFile(game_ / file.name);
            if (bytes == file.newBytes)
                ++fresh;
            else
                EXPECT_TRUE(bytes == file.oldBytes)
                    << file.name << " is neither old nor new (" << bytes.size() << " bytes)";
        }
        return fresh;
    }

    std::vector<std::filesystem::path> Leftovers()
    {
        std::vector<std::filesystem::path> found;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(game_.Path()))
        {
            if (entry.path().extension() == ".nrkpart")
                found.push_back(entry.path());
        }
        return found;
    }

    TempFolder game_{L"killed-pass"};
    PatchServer server_{"killed-pass"};
    MessageBoxAnswerer answerer_;
    std::vector<GameFile> files_;
};
} // namespace

TEST_F(KilledPass, EveryFileIsOldOrNewAndTheNextStartCompletes)
{
    std::mt19937 random(20261210);
    int killedMidway = 0;
    // The moments close in on the writes: a kill after the pass ended moves
    // the latest moment down, one before any file was new the earliest up.
    int earliest = 500;
    int latest = 6000;
    for (int round = 0; round < 8; ++round)
    {
        const int delay = std::uniform_int_distribution<int>(earliest, latest)(random);
        {
            LauncherProcess launcher(game_.Path(), L"splash.dmy");
            ASSERT_TRUE(launcher.StartWithoutFollowing(game_.Path()));
            answerer_.Watch(launcher.Id());
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
            // Leaving the scope kills it where it stands.
        }
        const int fresh = CountNewAndCheckNoMix();
        const size_t leftovers = Leftovers().size();
        std::printf("[ killed ] after %d ms: %d of %zu files new, %zu temporary files left\n",
                    delay, fresh, files_.size(), leftovers);
        std::fflush(stdout);
        if (fresh == static_cast<int>(files_.size()))
            latest = delay;
        else if (fresh == 0)
            earliest = delay;
        else
            ++killedMidway;
        if (HasFailure())
            return;
        // Every round starts from the old game, also after a pass that finished first.
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kLauncherRegistryKey, L"UpdateVersion");
        ASSERT_NO_FATAL_FAILURE(WriteOldFiles());
    }
    // Some kills must have come between two files' writes, or the test proves little.
    EXPECT_GT(killedMidway, 0);

    // Left as a killed run leaves it: the next start finishes the update.
    {
        LauncherProcess launcher(game_.Path(), L"splash.dmy");
        ASSERT_TRUE(launcher.StartWithoutFollowing(game_.Path()));
        answerer_.Watch(launcher.Id());
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    }
    LauncherProcess launcher(game_.Path(), L"splash.dmy");
    ASSERT_TRUE(launcher.StartWithoutFollowing(game_.Path()));
    answerer_.Watch(launcher.Id());
    ASSERT_TRUE(PumpUntil([&] { return StoredVersion() == L"B"; }, 120000));
    EXPECT_EQ(CountNewAndCheckNoMix(), static_cast<int>(files_.size()));
    EXPECT_TRUE(Leftovers().empty());
    EXPECT_TRUE(answerer_.Boxes().empty());
    const HWND window = launcher.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(launcher.WaitForExit(30000), 0u);
}
