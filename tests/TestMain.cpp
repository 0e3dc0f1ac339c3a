// Test entry: the suites run with the window thread as the main thread, like the launcher.
#include "support/AbortTrace.h"

#include <gtest/gtest.h>

int wmain(int argc, wchar_t** argv)
{
    InstallAbortTrace();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
