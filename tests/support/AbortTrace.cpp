#include "support/AbortTrace.h"

#include <windows.h>

#include <csignal>
#include <cstdio>

namespace
{
void PrintTrace(int)
{
    void* frames[48];
    const USHORT count = RtlCaptureStackBackTrace(0, 48, frames, nullptr);
    const auto base = reinterpret_cast<ULONG_PTR>(GetModuleHandleW(nullptr));
    std::fprintf(stderr, "abort on thread %lu; image base %p; frames as image offsets:\n",
                 GetCurrentThreadId(), reinterpret_cast<void*>(base));
    for (USHORT i = 0; i < count; ++i)
    {
        const auto address = reinterpret_cast<ULONG_PTR>(frames[i]);
        HMODULE module = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(frames[i]), &module);
        wchar_t name[MAX_PATH] = L"?";
        if (module)
            GetModuleFileNameW(module, name, MAX_PATH);
        std::fprintf(
            stderr, "  #%u %ls+0x%llx\n", i, name,
            static_cast<unsigned long long>(address - reinterpret_cast<ULONG_PTR>(module)));
    }
    std::fflush(stderr);
}
} // namespace

void InstallAbortTrace()
{
    std::signal(SIGABRT, PrintTrace);
}
