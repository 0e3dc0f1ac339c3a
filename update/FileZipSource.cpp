#include "update/FileZipSource.h"

#include <windows.h>

namespace
{
// minizip is C: nothing here may throw, and a failure is a return value.
voidpf ZCALLBACK Open(voidpf, const void* name, int mode)
{
    if (!name || (mode & ZLIB_FILEFUNC_MODE_WRITE))
        return nullptr;
    // The download that made the file may still hold it open for writing.
    HANDLE file = CreateFileW(static_cast<const wchar_t*>(name), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

uLong ZCALLBACK Read(voidpf, voidpf stream, void* buffer, uLong size)
{
    DWORD read = 0;
    if (!ReadFile(static_cast<HANDLE>(stream), buffer, static_cast<DWORD>(size), &read, nullptr))
        return 0;
    return read;
}

uLong ZCALLBACK Write(voidpf, voidpf, const void*, uLong)
{
    return 0;
}

ZPOS64_T ZCALLBACK Tell(voidpf, voidpf stream)
{
    LARGE_INTEGER position{};
    if (!SetFilePointerEx(static_cast<HANDLE>(stream), LARGE_INTEGER{}, &position, FILE_CURRENT))
        return static_cast<ZPOS64_T>(-1);
    return static_cast<ZPOS64_T>(position.QuadPart);
}

long ZCALLBACK Seek(voidpf, voidpf stream, ZPOS64_T offset, int origin)
{
    DWORD method = FILE_BEGIN;
    switch (origin)
    {
    case ZLIB_FILEFUNC_SEEK_SET:
        method = FILE_BEGIN;
        break;
    case ZLIB_FILEFUNC_SEEK_CUR:
        method = FILE_CURRENT;
        break;
    case ZLIB_FILEFUNC_SEEK_END:
        method = FILE_END;
        break;
    default:
        return -1;
    }
    LARGE_INTEGER distance{};
    distance.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(static_cast<HANDLE>(stream), distance, nullptr, method) ? 0 : -1;
}

int ZCALLBACK Close(voidpf, voidpf stream)
{
    return CloseHandle(static_cast<HANDLE>(stream)) ? 0 : -1;
}

int ZCALLBACK Error(voidpf, voidpf)
{
    return 0;
}
} // namespace

zlib_filefunc64_def Win32ReadFunctions()
{
    zlib_filefunc64_def functions{};
    functions.zopen64_file = &Open;
    functions.zread_file = &Read;
    functions.zwrite_file = &Write;
    functions.ztell64_file = &Tell;
    functions.zseek64_file = &Seek;
    functions.zclose_file = &Close;
    functions.zerror_file = &Error;
    return functions;
}
