// The threads name lookups run on. A new thread's stack size defaults to the
// process's stack limit (RLIMIT_STACK), and a caller that lowers that limit
// (`ulimit -s 16`) would leave getaddrinfo too little stack to resolve
// through DNS: it overruns the stack and the probe dies by SIGSEGV. Lookup
// threads therefore get a stack of a size of their own, whatever the limit.
#pragma once

#include <cstddef>
#include <functional>

namespace vornask {

// getaddrinfo through DNS used at most 17 KiB of a thread's stack here (glibc
// 2.36, 19 KiB under AddressSanitizer), thread control block and static TLS
// included; a name from the hosts file less. Other name services (mDNS, LDAP)
// may need more, hence the ample margin. Pages never touched cost no memory.
inline constexpr std::size_t kLookupThreadStackBytes = std::size_t{256} * 1024;

// Runs `body` on a new detached thread with a stack of
// kLookupThreadStackBytes. Throws std::system_error, as std::thread does,
// when no thread can be started; `body` then never runs. Like the body of a
// std::thread, `body` must not throw.
void StartLookupThread(std::function<void()> body);

}  // namespace vornask
