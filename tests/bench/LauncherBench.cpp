// Measurements for tools/bench, run under Wine beside the launcher's own code:
//   norvik_bench install CONNECTIONS   one window life in the current folder
//                                      (fresh registry values), timed until its
//                                      update thread is idle; prints the time,
//                                      the peak working set and the moments of
//                                      its phases since the process was made
//   norvik_bench scan COUNT FOLDER [ROUNDS]
//                                      writes COUNT current files into FOLDER,
//                                      then times the launcher's comparison and
//                                      a bare open-and-read-time loop over them,
//                                      ROUNDS times each (default 1), alternating
//   norvik_bench extract PACKAGES OUT  inflates every package under PACKAGES
//                                      into OUT (the peer's extraction step)
//   norvik_bench startup SPLASH FOLDER [ROUNDS]
//                                      starts a copy of the launcher SPLASH in
//                                      FOLDER, as a player does (it relaunches
//                                      itself as its .dmy copy) and as that
//                                      copy directly, and times each from its
//                                      start to its first painted frame
// Prints "name value unit" lines.
#include "app/Logging.h"
#include "base/TextEncoding.h"
#include "settings/Localization.h"
#include "settings/Registry.h"
#include "ui/LauncherDialog.h"
#include "update/PackageExtraction.h"
#include "update/UpdateManager.h"
#include "update/formats/ListTime.h"
#include "update/formats/ZipPackage.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <psapi.h>
#include <string>
#include <utility>
#include <vector>

namespace
{
using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

PROCESS_MEMORY_COUNTERS MemoryCounters()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return counters;
}

size_t PeakWorkingSet()
{
    return MemoryCounters().PeakWorkingSetSize;
}

uint64_t FileTimeTicks(const FILETIME& time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// When Windows made this process, on the steady clock: the phases count from
// there, so they include the loader's and the runtime's start.
Clock::time_point ProcessCreated()
{
    FILETIME creation{}, exited{}, kernel{}, user{};
    GetProcessTimes(GetCurrentProcess(), &creation, &exited, &kernel, &user);
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const auto age = std::chrono::duration<double, std::milli>(
        static_cast<double>(FileTimeTicks(now) - FileTimeTicks(creation)) / 10000.0);
    return Clock::now() - std::chrono::duration_cast<Clock::duration>(age);
}

// The moments one window life reaches: its first painted frame and the first
// time each status text shows. Status texts are sampled, not told, so a text
// replaced within one message wake-up may go unseen.
class PhaseWatch
{
  public:
    explicit PhaseWatch(Clock::time_point created) : created_(created) {}

    void Sample(UpdateManager& manager)
    {
        std::wstring status = manager.StatusText();
        if (status == last_)
            return;
        last_ = status;
        if (!Find(status))
            seen_.push_back({std::move(status), MillisecondsSince(created_), PeakWorkingSet()});
    }

    void Painted()
    {
        if (firstPaint_)
            return;
        firstPaint_ = MillisecondsSince(created_);
        // Under Wine most of a process's working set is Wine's own and the
        // display's; what the pass adds is measured above this.
        workingSetAtPaint_ = MemoryCounters().WorkingSetSize;
        peakAtPaint_ = PeakWorkingSet();
    }

    size_t WorkingSetAtPaint() const { return workingSetAtPaint_; }

    void Print() const
    {
        const Moment* versionMoment = Find(LocalizedText("checking_version"));
        if (!versionMoment)
            versionMoment = Find(LocalizedText("updating_version_info"));
        const Moment* listsMoment = Find(LocalizedText("updating_filelist"));
        const Moment* downloadsMoment = Find(LocalizedText("starting_update"));
        const Moment* doneMoment = Find(LocalizedText("update_success"));
        const auto version = At(versionMoment);
        const auto lists = At(listsMoment);
        const auto downloads = At(downloadsMoment);
        const auto done = At(doneMoment);
        // The comparison shows its progress right after the file lists' text;
        // an empty folder can be compared before any progress shows.
        std::optional<double> comparison = downloads;
        for (size_t index = 1; index < seen_.size(); ++index)
        {
            if (seen_[index - 1].text == LocalizedText("updating_filelist") &&
                seen_[index].text != LocalizedText("starting_update"))
                comparison = seen_[index].at;
        }
        PrintSpan("phase_first_paint_ms", 0.0, firstPaint_);
        PrintSpan("phase_startup_ms", 0.0, version);
        PrintSpan("phase_version_check_ms", version, lists);
        PrintSpan("phase_file_lists_ms", lists, comparison);
        PrintSpan("phase_comparison_ms", comparison, downloads);
        PrintSpan("phase_downloads_ms", downloads, done);
        PrintSpan("phase_total_ms", 0.0, done);
        // Where the peak working set grew: its value as each phase began.
        std::printf("peak_working_set_at_paint_bytes %zu\n", peakAtPaint_);
        for (const auto& [name, moment] :
             {std::pair{"version_check", versionMoment}, std::pair{"file_lists", listsMoment},
              std::pair{"downloads", downloadsMoment}, std::pair{"done", doneMoment}})
        {
            if (moment)
                std::printf("peak_working_set_at_%s_bytes %zu\n", name, moment->peak);
        }
    }

  private:
    // A status text's first showing: when, and the peak working set by then.
    struct Moment
    {
        std::wstring text;
        double at = 0.0;
        size_t peak = 0;
    };

    const Moment* Find(const std::wstring& text) const
    {
        const auto found = std::find_if(seen_.begin(), seen_.end(),
                                        [&](const Moment& moment) { return moment.text == text; });
        return found == seen_.end() ? nullptr : &*found;
    }

    static std::optional<double> At(const Moment* moment)
    {
        return moment ? std::optional<double>(moment->at) : std::nullopt;
    }

    // A phase with an unseen end is left out, not guessed.
    static void PrintSpan(const char* name, std::optional<double> from, std::optional<double> to)
    {
        if (from && to)
            std::printf("%s %.0f\n", name, *to - *from);
    }

    Clock::time_point created_;
    std::optional<double> firstPaint_;
    size_t peakAtPaint_ = 0;
    size_t workingSetAtPaint_ = 0;
    std::wstring last_;
    std::vector<Moment> seen_;
};

PhaseWatch* activeWatch = nullptr;

// Sees what the dialog's constructor sends, before any loop of ours runs:
// its first paint and the update thread's first steps.
LRESULT CALLBACK AfterWindowProc(int code, WPARAM wParam, LPARAM lParam)
{
    LauncherDialog* dialog = LauncherDialog::Current();
    if (code == HC_ACTION && activeWatch && dialog)
    {
        const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        if (call->message == WM_PAINT && call->hwnd == dialog->GetHwnd())
            activeWatch->Painted();
        if (UpdateManager* manager = dialog->Manager())
            activeWatch->Sample(*manager);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Dispatches window messages until `done` or the time runs out; `watch`, when
// given, samples the dialog after every wake-up.
template <typename Done>
bool Pump(Done done, int seconds, PhaseWatch* watch = nullptr, LauncherDialog* dialog = nullptr)
{
    const auto deadline = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < deadline)
    {
        if (watch)
            watch->Sample(*dialog->Manager());
        if (done())
            return true;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        {
            TranslateMessage(&message);
            DispatchMessageW(&message);
            // A queued paint passes no hook of the window procedure's.
            if (watch && message.message == WM_PAINT && message.hwnd == dialog->GetHwnd())
                watch->Painted();
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return done();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void PrintRuns(const char* name, const std::vector<double>& values)
{
    std::printf("%s", name);
    for (const double value : values)
        std::printf(" %.0f", value);
    std::printf("\n");
}

int Install(int connections)
{
    const Clock::time_point created = ProcessCreated();
    // What Wine and the runtime cost before any code of ours runs.
    std::printf("phase_process_to_main_ms %.0f\n", MillisecondsSince(created));
    PhaseWatch watch(created);
    WriteRegistryDword(L"NRK_LauncherMaxConnections", static_cast<uint32_t>(connections));
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kLauncherRegistryKey, L"UpdateVersion");
    InitLogging();
    activeWatch = &watch;
    const HHOOK hook =
        SetWindowsHookExW(WH_CALLWNDPROCRET, AfterWindowProc, nullptr, GetCurrentThreadId());
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
        1800, &watch, &dialog);
    const double elapsed = MillisecondsSince(start);
    if (hook)
        UnhookWindowsHookEx(hook);
    activeWatch = nullptr;
    std::printf("install_ms %.0f\n", elapsed);
    std::printf("files_done %d\n", static_cast<int>(manager.filesDone));
    std::printf("peak_working_set_bytes %zu\n", PeakWorkingSet());
    std::printf("working_set_at_first_paint_bytes %zu\n", watch.WorkingSetAtPaint());
    watch.Print();
    std::fflush(stdout);
    if (!idle || manager.updateFailed)
        return 1;
    dialog.GetMessagePasser()->Post({Quit, 0});
    Pump([&] { return !IsWindow(dialog.GetHwnd()); }, 60);
    manager.updateThread.join();
    return 0;
}

int Scan(int count, const std::filesystem::path& folder, int rounds)
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

    const auto timeComparison = [&]
    {
        {
            std::lock_guard lock(manager.queueMutex);
            manager.downloadQueue.clear();
        }
        const auto start = Clock::now();
        manager.MakeLocalFileList();
        const double elapsed = MillisecondsSince(start);
        std::lock_guard lock(manager.queueMutex);
        return std::make_pair(elapsed, manager.downloadQueue.size());
    };
    int opened = 0;
    const auto timeBareLoop = [&]
    {
        const auto start = Clock::now();
        opened = 0;
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
        return MillisecondsSince(start);
    };

    std::vector<double> scanRuns;
    std::vector<double> bareRuns;
    size_t queued = 0;
    for (int round = 0; round < rounds; ++round)
    {
        // Taking turns to go first keeps a warm cache from favouring one side.
        if (round % 2)
            bareRuns.push_back(timeBareLoop());
        const auto [scanMs, roundQueued] = timeComparison();
        scanRuns.push_back(scanMs);
        queued = std::max(queued, roundQueued);
        if (round % 2 == 0)
            bareRuns.push_back(timeBareLoop());
    }
    std::printf("scan_files %d\nscan_queued %zu\nscan_ms %.0f\nbare_loop_ms %.0f\n"
                "bare_loop_opened %d\n",
                count, queued, Median(scanRuns), Median(bareRuns), opened);
    PrintRuns("scan_runs_ms", scanRuns);
    PrintRuns("bare_loop_runs_ms", bareRuns);
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

// Starts `program` in its folder and waits until its window is shown and
// answers a message, which it first does once its first frame is painted (the
// window paints before its message loop runs). Milliseconds from the start,
// or nothing; `shown` is the process that owns the window.
std::optional<double> TimeToFirstFrame(const std::filesystem::path& program, DWORD& shown)
{
    std::wstring commandLine = L"\"" + program.wstring() + L"\"";
    const std::wstring folder = program.parent_path().wstring();
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    const auto start = Clock::now();
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &started))
        return std::nullopt;
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    while (MillisecondsSince(start) < 30000)
    {
        const HWND window = FindWindowW(L"GALDERVINLAUNCHER", nullptr);
        DWORD_PTR answer = 0;
        if (window && IsWindowVisible(window) &&
            SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &answer))
        {
            const double elapsed = MillisecondsSince(start);
            GetWindowThreadProcessId(window, &shown);
            return elapsed;
        }
        Sleep(1);
    }
    return std::nullopt;
}

// The launcher is ended as a crash would end it; its window goes with it.
void EndLauncher(DWORD id)
{
    const HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
    if (!process)
        return;
    TerminateProcess(process, 0);
    WaitForSingleObject(process, 20000);
    CloseHandle(process);
}

int Startup(const std::filesystem::path& program, const std::filesystem::path& folder, int rounds)
{
    std::filesystem::create_directories(folder);
    const std::filesystem::path launcher = folder / L"splash.exe";
    std::filesystem::copy_file(program, launcher,
                               std::filesystem::copy_options::overwrite_existing);
    // Settings made, so no first-launch dialog comes before the window.
    WriteRegistryDword(L"NRK_LauncherSettingsSet", 1);
    WriteRegistryDword(L"NRK_LauncherMirrorIndex", 0);
    WriteRegistryDword(L"NRK_LauncherEchEnabled", 0);
    std::vector<double> relaunched;
    std::vector<double> direct;
    for (int round = 0; round < rounds; ++round)
    {
        for (auto [program, times] : {std::pair{launcher, &relaunched},
                                      std::pair{launcher.parent_path() / L"splash.dmy", &direct}})
        {
            DWORD shown = 0;
            const std::optional<double> elapsed = TimeToFirstFrame(program, shown);
            if (!elapsed)
            {
                std::fprintf(stderr, "no window of %ls came within 30 s\n", program.c_str());
                return 1;
            }
            times->push_back(*elapsed);
            EndLauncher(shown);
        }
    }
    PrintRuns("startup_relaunch_runs_ms", relaunched);
    PrintRuns("startup_direct_runs_ms", direct);
    std::printf("startup_relaunch_ms %.0f\n", Median(relaunched));
    std::printf("startup_direct_ms %.0f\n", Median(direct));
    return 0;
}

int wmain(int argc, wchar_t** argv)
{
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"install" && argc == 3)
        return Install(std::stoi(argv[2]));
    if (mode == L"scan" && (argc == 4 || argc == 5))
        return Scan(std::stoi(argv[2]), argv[3], argc == 5 ? std::max(1, std::stoi(argv[4])) : 1);
    if (mode == L"extract" && argc == 4)
        return Extract(argv[2], argv[3]);
    if (mode == L"startup" && (argc == 4 || argc == 5))
        return Startup(argv[2], argv[3], argc == 5 ? std::max(1, std::stoi(argv[4])) : 1);
    std::fputs("usage: norvik_bench install N | scan COUNT FOLDER [ROUNDS] | extract PACKAGES OUT"
               " | startup SPLASH FOLDER [ROUNDS]\n",
               stderr);
    return 2;
}
