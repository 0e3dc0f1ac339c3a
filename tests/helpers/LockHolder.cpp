// A child process for the locked-file tests: holds the file named by its first
// argument open without sharing until it is ended, and sets the event named by
// its second argument once it does. Exit code 2: the file could not be held.
#include <windows.h>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3)
        return 3;
    const HANDLE file = CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 2;
    const HANDLE held = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]);
    if (!held)
        return 4;
    SetEvent(held);
    Sleep(INFINITE);
    return 0;
}
