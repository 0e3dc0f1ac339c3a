// Leaves a trace on stderr when the test program aborts without a message:
// the thread and the return addresses, for addr2line against the test binary.
#pragma once

void InstallAbortTrace();
