#include "net/win32/socket_api.h"

#include <winsock2.h>
#include <windows.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "net/wsocket.h"
#include "platform/win32/handles.h"
#include "platform/win32/system_library.h"
#include "platform/win32/wide.h"

namespace brevaro::net::win32 {

namespace {

using WSAStartup_t = int(WSAAPI*)(WORD, LPWSADATA);
using WSACleanup_t = int(WSAAPI*)();
using WSAGetLastError_t = int(WSAAPI*)();
using socket_t = SOCKET(WSAAPI*)(int, int, int);
using bind_t = int(WSAAPI*)(SOCKET, const sockaddr*, int);
using listen_t = int(WSAAPI*)(SOCKET, int);
using accept_t = SOCKET(WSAAPI*)(SOCKET, sockaddr*, int*);
using send_t = int(WSAAPI*)(SOCKET, const char*, int, int);
using recv_t = int(WSAAPI*)(SOCKET, char*, int, int);
using sendto_t = int(WSAAPI*)(SOCKET, const char*, int, int, const sockaddr*, int);
using recvfrom_t = int(WSAAPI*)(SOCKET, char*, int, int, sockaddr*, int*);
using closesocket_t = int(WSAAPI*)(SOCKET);
using shutdown_t = int(WSAAPI*)(SOCKET, int);
using setsockopt_t = int(WSAAPI*)(SOCKET, int, int, const char*, int);
using getname_t = int(WSAAPI*)(SOCKET, sockaddr*, int*);
using ioctlsocket_t = int(WSAAPI*)(SOCKET, long, u_long*);
using gethostbyname_t = hostent*(WSAAPI*)(const char*);
using getservbyname_t = servent*(WSAAPI*)(const char*, const char*);
using getprotobyname_t = protoent*(WSAAPI*)(const char*);
using WSAAsyncSelect_t = int(WSAAPI*)(SOCKET, HWND, u_int, long);
using WSAAsyncGetHostByName_t = HANDLE(WSAAPI*)(HWND, u_int, const char*, char*, int);
using WSAAsyncGetHostByAddr_t = HANDLE(WSAAPI*)(HWND, u_int, const char*, int, int, char*, int);
using WSACancelAsyncRequest_t = int(WSAAPI*)(HANDLE);

constexpr wchar_t window_class[] = L"XSocketWindowClass";
constexpr LONG_PTR window_magic = 0x4b534f43;  // marks the windows whose first slot holds a channel
constexpr unsigned max_private_message = 100;

sockaddr_in toSockaddr(SockAddr a) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = static_cast<u_short>(((a.port & 0xff) << 8) | (a.port >> 8));
  std::uint32_t v = a.addr;
  auto* b = reinterpret_cast<unsigned char*>(&sa.sin_addr);
  b[0] = static_cast<unsigned char>(v >> 24);
  b[1] = static_cast<unsigned char>(v >> 16);
  b[2] = static_cast<unsigned char>(v >> 8);
  b[3] = static_cast<unsigned char>(v);
  return sa;
}

SockAddr fromSockaddr(const sockaddr_in& sa) {
  const auto* b = reinterpret_cast<const unsigned char*>(&sa.sin_addr);
  SockAddr a;
  a.addr = (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
  auto p = static_cast<std::uint16_t>(sa.sin_port);
  a.port = static_cast<std::uint16_t>(((p & 0xff) << 8) | (p >> 8));
  return a;
}

std::uint32_t addrFromBytes(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
}

HostEntry fromHostent(const hostent* he) {
  HostEntry e;
  if (!he) return e;
  if (he->h_name) e.name = he->h_name;
  if (he->h_addrtype == AF_INET && he->h_length == 4)
    for (char** p = he->h_addr_list; p && *p; ++p) e.addrs.push_back(addrFromBytes(*p));
  return e;
}

LRESULT CALLBACK socketWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

bool registerWindowClass() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = socketWindowProc;
  wc.cbWndExtra = 2 * sizeof(LONG_PTR);
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = window_class;
  return RegisterClassW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

struct Win32SocketApi::Library {
  platform::win32::UniqueModule module;
  std::string libraryName;
  std::map<std::string, FARPROC, std::less<>> procs;

  template <class F>
  F get(const char* name) {
    auto it = procs.find(name);
    if (it == procs.end()) {
      FARPROC p = GetProcAddress(module.get(), name);
      if (!p)
        throw ESocketException(std::string("Procedure ") + name + " not found in " + libraryName + " Error #" +
                               std::to_string(GetLastError()));
      it = procs.emplace(name, p).first;
    }
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(it->second));
  }
};

namespace {

class Win32Channel final : public Channel {
 public:
  Win32Channel(Win32SocketApi::Library& lib, MessageSink& sink) : lib_(lib), sink_(sink) {
    static const bool registered = registerWindowClass();
    (void)registered;
    // A message-only window: it never shows and needs no display.
    window_.reset(CreateWindowExW(0, window_class, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                                  nullptr));
    if (!window_) throw ESocketException("Cannot create the socket window, error #" + std::to_string(GetLastError()));
    SetWindowLongPtrW(hwnd(), 0, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(hwnd(), sizeof(LONG_PTR), window_magic);
  }
  ~Win32Channel() override {
    for (auto& [h, p] : pending_) {
      try {
        lib_.get<WSACancelAsyncRequest_t>("WSACancelAsyncRequest")(reinterpret_cast<HANDLE>(h));
      } catch (...) {
      }
    }
    SetWindowLongPtrW(hwnd(), 0, 0);
  }

  HWND hwnd() const { return window_.get(); }

  void dispatch(unsigned msg, WPARAM w, LPARAM l) {
    if ((msg == lookupMsg_ || msg == reverseMsg_) && pending_.count(static_cast<LookupHandle>(w)))
      pending_[static_cast<LookupHandle>(w)].done = true;
    sink_.handleMessage(msg, static_cast<std::uintptr_t>(w), static_cast<std::intptr_t>(l));
  }

  void post(unsigned msg, std::uintptr_t w, std::intptr_t l) override {
    PostMessageW(hwnd(), WM_USER + msg, static_cast<WPARAM>(w), static_cast<LPARAM>(l));
  }
  int asyncSelect(SocketHandle s, unsigned msg, unsigned mask) override {
    auto fn = lib_.get<WSAAsyncSelect_t>("WSAAsyncSelect");
    if (fn(static_cast<SOCKET>(s), hwnd(), mask ? WM_USER + msg : 0, static_cast<long>(mask)) == SOCKET_ERROR)
      return lib_.get<WSAGetLastError_t>("WSAGetLastError")();
    return 0;
  }
  LookupHandle asyncGetHostByName(unsigned msg, std::string_view name, int* error) override {
    Pending p;
    p.buffer.resize(MAXGETHOSTSTRUCT);
    p.name = std::string(name);
    HANDLE h = lib_.get<WSAAsyncGetHostByName_t>("WSAAsyncGetHostByName")(
        hwnd(), WM_USER + msg, p.name.c_str(), p.buffer.data(), static_cast<int>(p.buffer.size()));
    if (!h) {
      *error = lib_.get<WSAGetLastError_t>("WSAGetLastError")();
      return 0;
    }
    lookupMsg_ = msg;
    auto key = reinterpret_cast<LookupHandle>(h);
    pending_[key] = std::move(p);
    return key;
  }
  LookupHandle asyncGetHostByAddr(unsigned msg, std::uint32_t addr, int* error) override {
    Pending p;
    p.buffer.resize(MAXGETHOSTSTRUCT);
    p.name.resize(4);
    p.name[0] = static_cast<char>(addr >> 24);
    p.name[1] = static_cast<char>(addr >> 16);
    p.name[2] = static_cast<char>(addr >> 8);
    p.name[3] = static_cast<char>(addr);
    HANDLE h = lib_.get<WSAAsyncGetHostByAddr_t>("WSAAsyncGetHostByAddr")(
        hwnd(), WM_USER + msg, p.name.data(), 4, AF_INET, p.buffer.data(), static_cast<int>(p.buffer.size()));
    if (!h) {
      *error = lib_.get<WSAGetLastError_t>("WSAGetLastError")();
      return 0;
    }
    reverseMsg_ = msg;
    auto key = reinterpret_cast<LookupHandle>(h);
    pending_[key] = std::move(p);
    return key;
  }
  HostEntry takeLookupResult(LookupHandle h) override {
    auto it = pending_.find(h);
    if (it == pending_.end()) return {};
    HostEntry e = fromHostent(reinterpret_cast<const hostent*>(it->second.buffer.data()));
    pending_.erase(it);
    return e;
  }
  int cancelAsyncRequest(LookupHandle h) override {
    auto it = pending_.find(h);
    int r = lib_.get<WSACancelAsyncRequest_t>("WSACancelAsyncRequest")(reinterpret_cast<HANDLE>(h));
    if (r == SOCKET_ERROR) {
      int e = lib_.get<WSAGetLastError_t>("WSAGetLastError")();
      // Finished already: the buffer is no longer written; forget it.
      if (it != pending_.end() && it->second.done) pending_.erase(it);
      return e ? e : WSAEINVAL;
    }
    if (it != pending_.end()) pending_.erase(it);
    return 0;
  }

 private:
  struct Pending {
    std::vector<char> buffer;
    std::string name;
    bool done = false;
  };
  Win32SocketApi::Library& lib_;
  MessageSink& sink_;
  platform::win32::UniqueWindow window_;
  std::map<LookupHandle, Pending> pending_;
  unsigned lookupMsg_ = 0;
  unsigned reverseMsg_ = 0;
};

LRESULT CALLBACK socketWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg > WM_USER && msg <= WM_USER + max_private_message &&
      GetWindowLongPtrW(hwnd, sizeof(LONG_PTR)) == window_magic) {
    if (auto* ch = reinterpret_cast<Win32Channel*>(GetWindowLongPtrW(hwnd, 0))) {
      try {
        ch->dispatch(msg - WM_USER, wparam, lparam);
      } catch (...) {
        // Nothing may unwind through the system's window procedure call.
      }
      return 0;
    }
  }
  return DefWindowProcW(hwnd, msg, wparam, lparam);
}

}  // namespace

Win32SocketApi::Win32SocketApi(std::string library) : libraryName_(std::move(library)) {}

Win32SocketApi::~Win32SocketApi() {
  if (lib_) {
    users_ = 1;
    release();
  }
}

void Win32SocketApi::acquire() {
  if (users_ == 0) {
    // The library goes with `lib` when a step below throws.
    auto lib = std::make_unique<Library>();
    lib->libraryName = libraryName_;
    // From the system folder only: never a wsock32.dll lying beside the program.
    lib->module = platform::win32::load_system_library(platform::win32::widen(libraryName_));
    if (!lib->module)
      throw ESocketException("Unable to load " + libraryName_ + " Error #" + std::to_string(GetLastError()));
    WSADATA data{};
    int err = lib->get<WSAStartup_t>("WSAStartup")(MAKEWORD(1, 1), &data);
    if (err != 0) throw ESocketException(libraryName_ + ": WSAStartup error #" + std::to_string(err));
    lib_ = std::move(lib);
  }
  ++users_;
}

void Win32SocketApi::release() {
  if (users_ <= 0) return;
  if (--users_ == 0 && lib_) {
    try {
      lib_->get<WSACleanup_t>("WSACleanup")();
    } catch (...) {
    }
    lib_.reset();
  }
}

std::unique_ptr<Channel> Win32SocketApi::createChannel(MessageSink& sink) {
  if (!lib_) throw ESocketException("WinSock not initialized");
  return std::make_unique<Win32Channel>(*lib_, sink);
}

int Win32SocketApi::lastError() {
  if (!lib_) return WSANOTINITIALISED;
  return lib_->get<WSAGetLastError_t>("WSAGetLastError")();
}

SocketHandle Win32SocketApi::socket(int type, int protocol) {
  SOCKET s = lib_->get<socket_t>("socket")(AF_INET, type == sock_dgram ? SOCK_DGRAM : SOCK_STREAM, protocol);
  if (s == INVALID_SOCKET) return invalid_socket;
  return static_cast<SocketHandle>(s);
}

int Win32SocketApi::bind(SocketHandle s, SockAddr local) {
  auto sa = toSockaddr(local);
  return lib_->get<bind_t>("bind")(static_cast<SOCKET>(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 ? 0 : -1;
}

int Win32SocketApi::connect(SocketHandle s, SockAddr remote) {
  auto sa = toSockaddr(remote);
  return lib_->get<bind_t>("connect")(static_cast<SOCKET>(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 ? 0
                                                                                                                : -1;
}

int Win32SocketApi::listen(SocketHandle s, int backlog) {
  return lib_->get<listen_t>("listen")(static_cast<SOCKET>(s), backlog) == 0 ? 0 : -1;
}

SocketHandle Win32SocketApi::accept(SocketHandle s, SockAddr* peer) {
  sockaddr_in sa{};
  int len = sizeof sa;
  SOCKET r = lib_->get<accept_t>("accept")(static_cast<SOCKET>(s), reinterpret_cast<sockaddr*>(&sa), &len);
  if (r == INVALID_SOCKET) return invalid_socket;
  if (peer) *peer = fromSockaddr(sa);
  return static_cast<SocketHandle>(r);
}

int Win32SocketApi::send(SocketHandle s, std::span<const std::byte> data, bool urgent) {
  int r = lib_->get<send_t>("send")(static_cast<SOCKET>(s), reinterpret_cast<const char*>(data.data()),
                                    static_cast<int>(data.size()), urgent ? MSG_OOB : 0);
  return r == SOCKET_ERROR ? -1 : r;
}

int Win32SocketApi::recv(SocketHandle s, std::span<std::byte> data) {
  int r = lib_->get<recv_t>("recv")(static_cast<SOCKET>(s), reinterpret_cast<char*>(data.data()),
                                    static_cast<int>(data.size()), 0);
  return r == SOCKET_ERROR ? -1 : r;
}

int Win32SocketApi::sendTo(SocketHandle s, std::span<const std::byte> data, SockAddr to) {
  auto sa = toSockaddr(to);
  int r = lib_->get<sendto_t>("sendto")(static_cast<SOCKET>(s), reinterpret_cast<const char*>(data.data()),
                                        static_cast<int>(data.size()), 0, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  return r == SOCKET_ERROR ? -1 : r;
}

int Win32SocketApi::recvFrom(SocketHandle s, std::span<std::byte> data, SockAddr* from) {
  sockaddr_in sa{};
  int len = sizeof sa;
  int r = lib_->get<recvfrom_t>("recvfrom")(static_cast<SOCKET>(s), reinterpret_cast<char*>(data.data()),
                                            static_cast<int>(data.size()), 0, reinterpret_cast<sockaddr*>(&sa), &len);
  if (r == SOCKET_ERROR) return -1;
  if (from) *from = fromSockaddr(sa);
  return r;
}

int Win32SocketApi::closeSocket(SocketHandle s) {
  return lib_->get<closesocket_t>("closesocket")(static_cast<SOCKET>(s)) == 0 ? 0 : -1;
}

int Win32SocketApi::shutdown(SocketHandle s, int how) {
  return lib_->get<shutdown_t>("shutdown")(static_cast<SOCKET>(s), how) == 0 ? 0 : -1;
}

int Win32SocketApi::setLinger(SocketHandle s, bool on, int seconds) {
  linger l{};
  l.l_onoff = on ? 1 : 0;
  l.l_linger = static_cast<u_short>(seconds);
  return lib_->get<setsockopt_t>("setsockopt")(static_cast<SOCKET>(s), SOL_SOCKET, SO_LINGER,
                                               reinterpret_cast<const char*>(&l), sizeof l) == 0
             ? 0
             : -1;
}

int Win32SocketApi::setOption(SocketHandle s, SockOption opt, bool on) {
  BOOL v = on ? TRUE : FALSE;
  int name = opt == SockOption::KeepAlive ? SO_KEEPALIVE : (opt == SockOption::ReuseAddr ? SO_REUSEADDR : SO_BROADCAST);
  return lib_->get<setsockopt_t>("setsockopt")(static_cast<SOCKET>(s), SOL_SOCKET, name,
                                               reinterpret_cast<const char*>(&v), sizeof v) == 0
             ? 0
             : -1;
}

int Win32SocketApi::getSockName(SocketHandle s, SockAddr* out) {
  sockaddr_in sa{};
  int len = sizeof sa;
  if (lib_->get<getname_t>("getsockname")(static_cast<SOCKET>(s), reinterpret_cast<sockaddr*>(&sa), &len) != 0)
    return -1;
  *out = fromSockaddr(sa);
  return 0;
}

int Win32SocketApi::getPeerName(SocketHandle s, SockAddr* out) {
  sockaddr_in sa{};
  int len = sizeof sa;
  if (lib_->get<getname_t>("getpeername")(static_cast<SOCKET>(s), reinterpret_cast<sockaddr*>(&sa), &len) != 0)
    return -1;
  *out = fromSockaddr(sa);
  return 0;
}

long Win32SocketApi::bytesWaiting(SocketHandle s) {
  u_long n = 0;
  if (lib_->get<ioctlsocket_t>("ioctlsocket")(static_cast<SOCKET>(s), static_cast<long>(FIONREAD), &n) != 0) return -1;
  return static_cast<long>(n);
}

std::optional<HostEntry> Win32SocketApi::getHostByName(std::string_view name, int* error) {
  std::string n(name);
  hostent* he = lib_->get<gethostbyname_t>("gethostbyname")(n.c_str());
  if (!he) {
    if (error) *error = lastError();
    return std::nullopt;
  }
  return fromHostent(he);
}

std::optional<std::uint16_t> Win32SocketApi::getServByName(std::string_view name, std::string_view proto, int* error) {
  std::string n(name), p(proto);
  servent* se = lib_->get<getservbyname_t>("getservbyname")(n.c_str(), p.c_str());
  if (!se) {
    if (error) *error = lastError();
    return std::nullopt;
  }
  auto port = static_cast<std::uint16_t>(se->s_port);
  return static_cast<std::uint16_t>(((port & 0xff) << 8) | (port >> 8));
}

std::optional<int> Win32SocketApi::getProtoByName(std::string_view name, int* error) {
  std::string n(name);
  protoent* pe = lib_->get<getprotobyname_t>("getprotobyname")(n.c_str());
  if (!pe) {
    if (error) *error = lastError();
    return std::nullopt;
  }
  return pe->p_proto;
}

bool Win32SocketApi::processMessages() {
  MSG m;
  bool any = false;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    any = true;
    if (m.message == WM_QUIT) {
      // Put back for the loop that owns it, as the UI backend does.
      PostQuitMessage(static_cast<int>(m.wParam));
      return false;
    }
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  if (!any) MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  return true;
}

void Win32SocketApi::waitForEvent(std::uint32_t maxWaitMs) {
  // MWMO_INPUTAVAILABLE: messages already in the queue (a quit posted again
  // by the pump, say) end the wait too, not only ones that arrive later.
  MsgWaitForMultipleObjectsEx(0, nullptr, maxWaitMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

}  // namespace brevaro::net::win32
