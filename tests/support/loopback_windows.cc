#include <stdexcept>
#include <system_error>

#include "support/loopback_sockets.h"

namespace vornask::testing {

namespace {

[[noreturn]] void ThrowCode(const std::string& what, int code) {
  throw std::runtime_error(what + ": " + std::system_category().message(code) + " (" + std::to_string(code) + ")");
}

// Winsock serves nobody who has not asked for it first, and the tests may
// make a socket before anything else (Asio) has.
void StartWinsock() {
  static const int failed = [] {
    WSADATA version;
    return ::WSAStartup(MAKEWORD(2, 2), &version);
  }();
  if (failed != 0) ThrowCode("WSAStartup", failed);
}

}  // namespace

const int kConnectionRefused = WSAECONNREFUSED;
const int kConnectionReset = WSAECONNRESET;

std::string SocketErrorText(int code) {
  char* text = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&text), 0, nullptr);
  std::string result(text != nullptr ? text : "", length);
  ::LocalFree(text);
  // The message table ends each text with a line break.
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r')) result.pop_back();
  return result;
}

// wine's ntdll exports its own functions beside Windows' ones.
bool UnderWine() {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

void ThrowSocketError(const std::string& what) { ThrowCode(what, ::WSAGetLastError()); }

UniqueFd OpenStreamSocket(int family) {
  StartWinsock();
  // Overlapped, as socket() would make it, and not inherited, as
  // SOCK_CLOEXEC makes it on Linux.
  UniqueFd socket(static_cast<std::intptr_t>(
      ::WSASocketW(family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT)));
  if (socket.get() < 0) ThrowSocketError("socket");
  return socket;
}

void CloseNative(std::intptr_t fd) { ::closesocket(Native(fd)); }

void SetAbortiveClose(std::intptr_t socket) {
  const linger abortive{1, 0};
  ::setsockopt(Native(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abortive), sizeof abortive);
}

UniqueFd AcceptWaiting(std::intptr_t listener) {
  UniqueFd connection(static_cast<std::intptr_t>(::accept(Native(listener), nullptr, nullptr)));
  if (connection.get() >= 0) {
    // An accepted socket takes on the listener's event selection, which
    // would wake the accept thread for nothing.
    ::WSAEventSelect(Native(connection.get()), nullptr, 0);
    ::SetHandleInformation(reinterpret_cast<HANDLE>(connection.get()), HANDLE_FLAG_INHERIT, 0);
  }
  return connection;
}

struct AcceptWait::State {
  explicit State(std::intptr_t fd) : listener(Native(fd)) {}
  ~State() {
    if (stop != WSA_INVALID_EVENT) ::WSACloseEvent(stop);
    if (ready != WSA_INVALID_EVENT) ::WSACloseEvent(ready);
  }
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  SOCKET listener;
  // Both reset by hand: the stop stays set once set.
  WSAEVENT stop = ::WSACreateEvent();
  WSAEVENT ready = ::WSACreateEvent();  // set while a connection waits
};

AcceptWait::AcceptWait(std::intptr_t listener) : state_(std::make_unique<State>(listener)) {
  if (state_->stop == WSA_INVALID_EVENT || state_->ready == WSA_INVALID_EVENT) ThrowSocketError("WSACreateEvent");
  // No poll() that another thread can interrupt: the listener signals an
  // event instead, waited on together with the stop.
  if (::WSAEventSelect(state_->listener, state_->ready, FD_ACCEPT) != 0) ThrowSocketError("WSAEventSelect");
}

AcceptWait::~AcceptWait() = default;

bool AcceptWait::Next() {
  // With both set, the lower index, the stop, wins.
  const WSAEVENT events[2] = {state_->stop, state_->ready};
  if (::WSAWaitForMultipleEvents(2, events, FALSE, WSA_INFINITE, FALSE) != WSA_WAIT_EVENT_0 + 1) return false;
  // Resets the event; the accept that follows sets it again while another
  // connection still waits.
  WSANETWORKEVENTS happened;
  return ::WSAEnumNetworkEvents(state_->listener, state_->ready, &happened) == 0;
}

void AcceptWait::Wake() { ::WSASetEvent(state_->stop); }

bool WaitForPeersToClose(const std::vector<std::intptr_t>& connections, std::chrono::milliseconds bound) {
  std::vector<WSAPOLLFD> open;
  for (const std::intptr_t connection : connections) {
    // Winsock has no MSG_DONTWAIT: the socket itself must not block a read.
    u_long nonblocking = 1;
    if (::ioctlsocket(Native(connection), FIONBIO, &nonblocking) != 0) return false;
    open.push_back({Native(connection), POLLIN, 0});
  }
  const auto end = std::chrono::steady_clock::now() + bound;
  while (!open.empty()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    if (::WSAPoll(open.data(), static_cast<ULONG>(open.size()), static_cast<INT>(left.count())) == SOCKET_ERROR) {
      return false;
    }
    std::erase_if(open, [](const WSAPOLLFD& entry) {
      if (entry.revents == 0) return false;
      char dropped[512];
      const int n = ::recv(entry.fd, dropped, sizeof dropped, 0);
      return n == 0 || (n == SOCKET_ERROR && ::WSAGetLastError() != WSAEWOULDBLOCK);
    });
  }
  return true;
}

}  // namespace vornask::testing
