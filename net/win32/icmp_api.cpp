// ICMP echo on Windows: icmp.dll's IcmpCreateFile, IcmpSendEcho and
// IcmpCloseHandle, loaded at run time from the system folder, with Winsock
// 1.1 (wsock32.dll, from there too) started for the name lookups.
#include <winsock2.h>
#include <windows.h>
#include <ipexport.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "net/icmp.h"
#include "platform/win32/handles.h"
#include "platform/win32/system_library.h"

namespace brevaro::net {
namespace {

using IcmpCreateFile_t = HANDLE(WINAPI*)();
using IcmpCloseHandle_t = BOOL(WINAPI*)(HANDLE);
using IcmpSendEcho_t = DWORD(WINAPI*)(HANDLE, IPAddr, LPVOID, WORD, PIP_OPTION_INFORMATION, LPVOID, DWORD, DWORD);
using WSAStartup_t = int(WSAAPI*)(WORD, LPWSADATA);
using WSACleanup_t = int(WSAAPI*)();
using WSAGetLastError_t = int(WSAAPI*)();
using gethostbyname_t = hostent*(WSAAPI*)(const char*);

template <class F>
F proc(HMODULE m, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(m, name)));
}

// wsock32.dll, started for the name lookups; cleaned up and freed when it goes.
class WinsockSession {
 public:
  WinsockSession() : module_(platform::win32::load_system_library(L"wsock32.dll")) {
    auto startup = module_ ? proc<WSAStartup_t>(module_.get(), "WSAStartup") : nullptr;
    WSADATA data{};
    if (!startup || startup(MAKEWORD(1, 1), &data) != 0) throw TICMPException("Error initialising Winsock");
  }
  ~WinsockSession() {
    if (auto fn = proc<WSACleanup_t>(module_.get(), "WSACleanup")) fn();
  }
  WinsockSession(const WinsockSession&) = delete;
  WinsockSession& operator=(const WinsockSession&) = delete;
  HMODULE module() const { return module_.get(); }

 private:
  platform::win32::UniqueModule module_;
};

// The members own what the constructor takes, so a step that throws gives
// back everything taken before it.
class Win32IcmpApi final : public IcmpApi {
 public:
  Win32IcmpApi() {
    icmp_ = platform::win32::load_system_library(L"icmp.dll");
    if (!icmp_) throw TICMPException("Unable to register icmp.dll");
    create_ = proc<IcmpCreateFile_t>(icmp_.get(), "IcmpCreateFile");
    close_ = proc<IcmpCloseHandle_t>(icmp_.get(), "IcmpCloseHandle");
    send_ = proc<IcmpSendEcho_t>(icmp_.get(), "IcmpSendEcho");
    if (!create_ || !close_ || !send_) throw TICMPException("Error loading dll functions");
    handle_ = create_();
    if (handle_ == INVALID_HANDLE_VALUE) throw TICMPException("Unable to get ping handle");
  }
  ~Win32IcmpApi() override {
    if (handle_ != INVALID_HANDLE_VALUE) close_(handle_);
  }
  Win32IcmpApi(const Win32IcmpApi&) = delete;
  Win32IcmpApi& operator=(const Win32IcmpApi&) = delete;

  std::optional<HostEntry> getHostByName(std::string_view name, int* error) override {
    std::string n(name);
    auto fn = proc<gethostbyname_t>(winsock_.module(), "gethostbyname");
    hostent* he = fn ? fn(n.c_str()) : nullptr;
    if (!he || he->h_addrtype != AF_INET || he->h_length != 4) {
      auto last = proc<WSAGetLastError_t>(winsock_.module(), "WSAGetLastError");
      *error = last ? last() : static_cast<int>(GetLastError());
      return std::nullopt;
    }
    HostEntry e;
    if (he->h_name) e.name = he->h_name;
    for (char** p = he->h_addr_list; p && *p; ++p) {
      const auto* b = reinterpret_cast<const unsigned char*>(*p);
      e.addrs.push_back((std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3]);
    }
    return e;
  }

  int sendEcho(std::uint32_t addr, std::span<const std::byte> data, const IcmpRequestOptions& options,
               TIcmpEchoReply& reply, std::span<std::byte> replyData, int timeoutMs, int* lastError) override {
    IP_OPTION_INFORMATION opt{};
    opt.Ttl = static_cast<UCHAR>(options.ttl);
    opt.Tos = static_cast<UCHAR>(options.tos);
    opt.Flags = static_cast<UCHAR>(options.flags);
    // The native reply record is larger than 28 bytes on 64-bit Windows, and
    // the system wants room for an ICMP error message besides.
    std::vector<unsigned char> buf(
        std::max<std::size_t>(data.size() + sizeof(TIcmpEchoReply), data.size() + sizeof(ICMP_ECHO_REPLY) + 8));
    unsigned char b[4] = {static_cast<unsigned char>(addr >> 24), static_cast<unsigned char>(addr >> 16),
                          static_cast<unsigned char>(addr >> 8), static_cast<unsigned char>(addr)};
    IPAddr ip;
    std::memcpy(&ip, b, 4);
    DWORD n = send_(handle_, ip, const_cast<std::byte*>(data.data()), static_cast<WORD>(data.size()), &opt, buf.data(),
                    static_cast<DWORD>(buf.size()), static_cast<DWORD>(std::max(timeoutMs, 0)));
    *lastError = static_cast<int>(GetLastError());
    ICMP_ECHO_REPLY native{};
    std::memcpy(&native, buf.data(), sizeof native);
    reply.Address = native.Address;
    reply.Status = native.Status;
    reply.RoundTripTime = native.RoundTripTime;
    reply.DataSize = native.DataSize;
    reply.Reserved = native.Reserved;
    reply.Data = 0;
    reply.Ttl = native.Options.Ttl;
    reply.Tos = native.Options.Tos;
    reply.Flags = native.Options.Flags;
    reply.OptionsSize = native.Options.OptionsSize;
    reply.OptionsData = 0;
    if (n > 0 && native.Data && native.DataSize) {
      std::size_t k = std::min<std::size_t>(native.DataSize, replyData.size());
      std::memcpy(replyData.data(), native.Data, k);
    }
    return static_cast<int>(n);
  }

 private:
  WinsockSession winsock_;
  platform::win32::UniqueModule icmp_;
  IcmpCreateFile_t create_ = nullptr;
  IcmpCloseHandle_t close_ = nullptr;
  IcmpSendEcho_t send_ = nullptr;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace

std::unique_ptr<IcmpApi> makeIcmpApi() { return std::make_unique<Win32IcmpApi>(); }

}  // namespace brevaro::net
