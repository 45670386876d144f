// A TCP connect to a port where nothing listens can still succeed on
// loopback: when the kernel happens to pick that very port as the local
// port, the socket meets its own SYN and ends up connected to itself. Such a
// link proves nothing about the target, so it has to be recognised.
#pragma once

#include <cstdint>

namespace vornask {

// True when the connected socket (a descriptor, or a Windows SOCKET) has the
// same local and peer endpoint (address and port, IPv4 or IPv6). False for
// anything else, including a socket that is not connected or not a socket
// at all.
bool IsConnectedToItself(std::intptr_t socket);

// What a connect that completed without error on `socket` stands for, in
// the system's codes: 0 when it reached something, and a refusal
// (ECONNREFUSED, WSAECONNREFUSED on Windows) when the socket only connected
// to itself, so that the attempt fails and its socket is closed like any
// refused one.
int ConnectedStatus(std::intptr_t socket);

}  // namespace vornask
