// Measurements for tools/bench, run under Wine beside the launcher's own code:
//   norvik_bench install CONNECTIONS   one window life in the current folder
//                                      (fresh registry values), timed until its
//                                      update thread is idle; prints the time
//                                      and the peak working set
//   norvik_bench scan COUNT FOLDER     writes COUNT current files into FOLDER,
//                                      then times the launcher's comparison and
//                                      a bare open-and-read-time loop over them
//   norvik_bench extract PACKAGES OUT  inflates every package under PACKAGES
//                                      into OUT (the peer's extraction step)
// Prints "name value unit" lines.
#include "app/Logging.h"
#include "app/TextEncoding.h"
#include "settings/Localization.h"
#include "settings/Registry.h"
#include "ui/LauncherDialog.h"
#include "update/PackageExtraction.h"
#include "update/UpdateManager.h"
#include "update/formats/ListTime.h"
#include "update/formats/ZipPackage.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <psapi.h>
#include <string>

namespace
{
using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

size_t PeakWorkingSet()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return counters.PeakWorkingSetSize;
}

// Dispatches window messages until `done` or the time runs out.
template <typename Done> bool Pump(Done done, int seconds)
{
    const auto deadline = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < deadline)
    {
        if (done())
            return true;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return done();
}

int Install(int connections)
{
    WriteRegistryDword(L"NRK_LauncherMaxConnections", static_cast<uint32_t>(connections));
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kLauncherRegistryKey, L"UpdateVersion");
    InitLogging();
    const auto start = Clock::now();
    LauncherDialog dialog(GetModuleHandleW(nullptr));
    UpdateManager& manager = *dialog.Manager();
    const bool idle = Pump(
        [&]
        {
            const std::wstring status = manager.StatusText();
            return status == LocalizedText("update_success") ||
                   status == LocalizedText("error_occurred") || manager.updateFailed;
        },
        1800);
    const double elapsed = MillisecondsSince(start);
    std::printf("install_ms %.0f\n", elapsed);
    std::printf("files_done %d\n", static_cast<int>(manager.filesDone));
    std::printf("peak_working_set_bytes %zu\n", PeakWorkingSet());
    std::fflush(stdout);
    if (!idle || manager.updateFailed)
        return 1;
    dialog.GetMessagePasser()->Post({Quit, 0});
    Pump([&] { return !IsWindow(dialog.GetHwnd()); }, 60);
    manager.updateThread.join();
    return 0;
}

int Scan(int count, const std::filesystem::path& folder)
{
    std::filesystem::create_directories(folder);
    std::filesystem::current_path(folder);
    const uint64_t listTime = *CalendarToFileTime(2025, 11, 20, 12, 0, 0);
    TIME_ZONE_INFORMATION zone{};
    const DWORD zoneId = GetTimeZoneInformation(&zone);
    const FILETIME stamp =
        *DiskStampFor(*LocalStampFor(static_cast<int64_t>(listTime), zoneId, zone));

    std::vector<FileEntry> entries;
    for (int i = 0; i < count; ++i)
    {
        FileEntry entry;
        entry.name = "d" + std::to_string(i % 100) + "/f" + std::to_string(i) + ".dat";
        entry.time = listTime;
        entry.packagePath = entry.name + ".zip";
        entries.push_back(entry);
        const std::wstring path = ToWide(entry.name);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        SetFileTime(file, &stamp, nullptr, &stamp);
        CloseHandle(file);
    }

    // The same work as the launcher's pass: a window life whose update thread
    // idles, then the comparison on this thread.
    WriteRegistryString(kLauncherRegistryKey, L"UpdateVersion", L"bench");
    spdlog::set_level(spdlog::level::trace);
    InitLogging();
    LauncherDialog dialog(GetModuleHandleW(nullptr));
    UpdateManager& manager = *dialog.Manager();
    if (!Pump([&] { return manager.StatusText() == LocalizedText("already_up_to_date"); }, 60))
    {
        std::fputs("the bench server did not answer with version \"bench\"\n", stderr);
        ExitProcess(1);
    }
    manager.remoteFiles = entries;
    manager.downloadQueue.clear();
    auto start = Clock::now();
    manager.MakeLocalFileList();
    const double scanMs = MillisecondsSince(start);
    const size_t queued = manager.downloadQueue.size();

    start = Clock::now();
    int opened = 0;
    for (const FileEntry& entry : entries)
    {
        const std::wstring path = ToWide(entry.name);
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            continue;
        FILETIME written{};
        opened += GetFileTime(file, nullptr, nullptr, &written) ? 1 : 0;
        CloseHandle(file);
    }
    const double bareMs = MillisecondsSince(start);
    std::printf(
        "scan_files %d\nscan_queued %zu\nscan_ms %.0f\nbare_loop_ms %.0f\nbare_loop_opened %d\n",
        count, queued, scanMs, bareMs, opened);
    std::fflush(stdout);
    ExitProcess(queued == 0 ? 0 : 1);
}

int Extract(const std::filesystem::path& packages, const std::filesystem::path& out)
{
    const auto start = Clock::now();
    int files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(packages))
    {
        if (!entry.is_regular_file() || entry.path().extension() != ".zip")
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        const InflatedEntry data = ReadPackageData(bytes);
        std::filesystem::path target = out / std::filesystem::relative(entry.path(), packages);
        target.replace_extension();
        std::filesystem::create_directories(target.parent_path());
        std::ofstream(target, std::ios::binary)
            .write(data.data.get(), static_cast<std::streamsize>(data.size));
        ++files;
    }
    std::printf("extract_files %d\nextract_ms %.0f\n", files, MillisecondsSince(start));
    return 0;
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"install" && argc == 3)
        return Install(std::stoi(argv[2]));
    if (mode == L"scan" && argc == 4)
        return Scan(std::stoi(argv[2]), argv[3]);
    if (mode == L"extract" && argc == 4)
        return Extract(argv[2], argv[3]);
    std::fputs("usage: norvik_bench install N | scan COUNT FOLDER | extract PACKAGES OUT\n",
               stderr);
    return 2;
}
