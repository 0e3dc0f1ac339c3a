// The Exit button pressed while download workers are transferring. Exit ends
// the whole process, so the window runs in a child process: this test
// executable again, running only the child case below.
#include "support/TestServers.h"
#include "support/ZipBuilder.h"
#include "ui/ExitButton.h"
#include "ui/LauncherWindow.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace
{
constexpr char kChildVariable[] = "NORVIK_EXIT_CHILD_FOLDER";
constexpr int kFiles = 40;

// A file list whose every entry is one 4 MiB package of random bytes: forty
// whole transfers and writes, enough for the press to land while the workers
// are busy however fast the transport is.
std::string BusyFileList(const std::string& packageName)
{
    std::string text;
    for (int i = 0; i < kFiles; ++i)
        text += "exit-test/file" + std::to_string(i) +
                ".bin\x03"
                "20240101000000\x03"
                "0\x03"
                "0\x03" +
                packageName + "\n";
    return text;
}

std::optional<DWORD> RunChild(const std::filesystem::path& folder, int milliseconds)
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine =
        L"\"" + std::wstring(self) + L"\" --gtest_filter=ExitDuringDownloads.ChildPressesExit";
    SetEnvironmentVariableW(L"NORVIK_EXIT_CHILD_FOLDER", folder.c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0,
                                        nullptr, nullptr, &startup, &process);
    SetEnvironmentVariableW(L"NORVIK_EXIT_CHILD_FOLDER", nullptr);
    if (!started)
        return std::nullopt;
    CloseHandle(process.hThread);
    std::optional<DWORD> code;
    if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(milliseconds)) == WAIT_OBJECT_0)
    {
        DWORD exitCode = 0;
        GetExitCodeProcess(process.hProcess, &exitCode);
        code = exitCode;
    }
    else
    {
        TerminateProcess(process.hProcess, 99);
    }
    CloseHandle(process.hProcess);
    return code;
}

class ExitDuringDownloads : public LauncherWindowTest
{
};
} // namespace

TEST(ExitDuringDownloadsParent, ExitEndsTheProcessWithZeroWhileWorkersDownload)
{
    TempFolder folder(L"exit-child");
    const std::optional<DWORD> code = RunChild(folder.Path(), 90000);
    ASSERT_TRUE(code) << "the child did not end";
    const std::string pressed = ReadWholeFile(folder / "pressed.txt");
    // The child records the counts at the moment of the press.
    ASSERT_FALSE(pressed.empty()) << "the child never pressed Exit";
    int done = -1;
    int total = -1;
    int workers = -1;
    ASSERT_EQ(std::sscanf(pressed.c_str(), "%d %d %d", &done, &total, &workers), 3) << pressed;
    EXPECT_EQ(total, kFiles);
    EXPECT_LT(done, total);
    EXPECT_GT(workers, 0);
    EXPECT_FALSE(std::filesystem::exists(folder / "survived.txt"));
    EXPECT_EQ(*code, 0u);

    // The child could not clean up after itself: its list goes here.
    for (const auto& file : std::filesystem::directory_iterator(testenv::Dir() / "generated"))
    {
        if (file.path().filename().string().rfind("exit-list-", 0) == 0)
            std::filesystem::remove(file.path());
    }
}

TEST_F(ExitDuringDownloads, ChildPressesExit)
{
    const char* reportFolder = std::getenv(kChildVariable);
    if (!reportFolder)
        GTEST_SKIP() << "runs only as the child of ExitDuringDownloadsParent";
    const std::filesystem::path report(reportFolder);

    LauncherDialog& dialog = Open();
    UpdateManager& manager = *dialog.Manager();

    const std::string listName = "exit-list-" + std::to_string(GetCurrentProcessId());
    const std::string packageName = listName + "-package.zip";
    WriteWholeFile(testenv::Dir() / "generated" / packageName,
                   StoredPackage(RandomBytes(4 << 20, 11)));
    WriteWholeFile(testenv::Dir() / "generated" / (listName + ".zip"),
                   BuildZip({{"list.txt", BusyFileList(packageName)}}));
    // The update thread idles in its message loop: the version it would
    // have read from the mirror is set here instead.
    manager.versionInfo.basePath = testenv::HttpsUrl("/generated");
    manager.versionInfo.fileList = listName;
    manager.versionInfo.version = "exit-test";
    dialog.GetMessagePasser()->Post({CheckFiles, 0});

    const bool downloading = PumpUntil(
        [&]
        {
            std::lock_guard lock(manager.statusMutex);
            return manager.filesTotal > 0 &&
                   std::any_of(manager.workerSlots.begin(), manager.workerSlots.end(),
                               [](const WorkerSlot& slot) { return !slot.fileName.empty(); });
        },
        60000);
    ASSERT_TRUE(downloading);
    const std::string counts = std::to_string(manager.filesDone.load()) + " " +
                               std::to_string(manager.filesTotal.load()) + " " +
                               std::to_string(manager.workers.size());
    WriteWholeFile(report / "pressed.txt", counts);

    const HWND exit = dialog.GetExitButton()->Window();
    PostMessageW(exit, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    PostMessageW(exit, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    PumpUntil([] { return false; }, 20000);
    WriteWholeFile(report / "survived.txt", "Exit did not end the process");
    ADD_FAILURE() << "Exit did not end the process";
}
