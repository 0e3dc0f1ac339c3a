// The graphics adapter report shown in the launcher window's adapter panel:
// which adapter Direct3D 8 names as primary and how old its driver is, or
// that Direct3D 8 is unusable. Informative only; built once on the update
// thread, which blocks until the query is done and then publishes the text.
// Never throws.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

class AdapterReport
{
  public:
    // Runs the whole check.
    AdapterReport();

    std::wstring text;
};

// "31/0.101.4502": product "/" version "." sub-version "." build, from the
// four 16-bit parts of a DriverVersion, high to low.
std::wstring FormatDriverVersion(LARGE_INTEGER driverVersion);

// "2023-3-5": year, month and day without leading zeros.
std::wstring FormatDriverDate(const SYSTEMTIME& date);

// The file's creation date in local time, as FormatDriverDate writes it;
// nothing when the file cannot be opened or its time read.
std::optional<std::wstring> ReadDriverFileDate(const std::wstring& path);
