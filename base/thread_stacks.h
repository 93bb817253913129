// The stacks of the threads KIV starts in the mail client's process. A
// thread started with no size takes the program's default, often 1 or 2 MB
// of address space, which up to 32 download threads would take from a 32-bit
// process's 2 GB. Each thread reserves what its deepest path needs, with room
// to spare; the system commits pages only as they are used.
#pragma once
#include "native/platform.h"

enum : SIZE_T {
    // A download, or an address lookup, which also reads the page it got:
    // WinINet with the TLS handshake under it, the decoding of a compressed
    // body, a document parsed to its 256 levels. Measured: at most 40 KB
    // under Wine for the downloads and lookups of the plug-in tests, and
    // under 96 KB natively (64-bit) for the deepest parse of the core tests
    // (see docs/light-in-the-host.md).
    NetworkStackReserve = SIZE_T(256) << 10,
    // The patrol: a document parsed up to its 256 levels, its message
    // composed, and the host's own code, which appends the messages and runs
    // its sorting filter on this thread; as much as Windows programs get by
    // default.
    PatrolStackReserve = SIZE_T(1) << 20,
};

// CreateThread with `reserve` bytes of address space for the new thread's
// stack (rounded up to 64 KB by the system).
inline HANDLE start_thread_reserving(LPTHREAD_START_ROUTINE procedure, void *parameter, SIZE_T reserve)
{
    return CreateThread(nullptr, reserve, procedure, parameter, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
}
