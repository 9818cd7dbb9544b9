// ICMP echo: TICMP sends one echo request and waits for the reply (blocking,
// up to Timeout ms); TPing is the component that owns one TICMP, publishes
// its settings and forwards its events.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "net/socket_api.h"

namespace brevaro::net {

class TICMPException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The echo reply header as the 32-bit icmp.dll lays it out (28 bytes).
#pragma pack(push, 1)
struct TIcmpEchoReply {
  std::uint32_t Address = 0;  // replying address, network byte order
  std::uint32_t Status = 0;
  std::uint32_t RoundTripTime = 0;  // ms
  std::uint16_t DataSize = 0;
  std::uint16_t Reserved = 0;
  std::uint32_t Data = 0;  // the reply data's address in the 32-bit layout; 0 here
  std::uint8_t Ttl = 0;
  std::uint8_t Tos = 0;
  std::uint8_t Flags = 0;
  std::uint8_t OptionsSize = 0;
  std::uint32_t OptionsData = 0;
};
#pragma pack(pop)
static_assert(sizeof(TIcmpEchoReply) == 28);

struct IcmpRequestOptions {
  int ttl = 64;
  int tos = 0;
  int flags = 0;
};

// The echo port. A backend's constructor performs the set-up steps and
// throws TICMPException with the step's text when one fails.
class IcmpApi {
 public:
  virtual ~IcmpApi() = default;
  // Resolves a host name (blocking). nullopt and *error on failure.
  virtual std::optional<HostEntry> getHostByName(std::string_view name, int* error) = 0;
  // Sends one echo request and waits up to timeoutMs. Returns the number of
  // replies (0 or 1); *lastError is the system's error after the call.
  virtual int sendEcho(std::uint32_t addr, std::span<const std::byte> data, const IcmpRequestOptions& options,
                       TIcmpEchoReply& reply, std::span<std::byte> replyData, int timeoutMs, int* lastError) = 0;
};

// The platform's echo backend (icmp.dll on Windows, a ping socket on Linux).
std::unique_ptr<IcmpApi> makeIcmpApi();

inline constexpr std::uint32_t inaddr_none = 0xffffffffu;
inline constexpr int ip_bad_destination = 11018;
inline constexpr std::string_view icmp_identification = "brevaro connectivity check";

class TICMP {
 public:
  explicit TICMP(std::unique_ptr<IcmpApi> api = makeIcmpApi());
  TICMP(const TICMP&) = delete;
  TICMP& operator=(const TICMP&) = delete;

  const std::string& Address() const { return address_; }
  void SetAddress(std::string_view v) {
    address_ = v;
    resolved_ = false;
  }
  const std::string& HostName() const { return hostName_; }
  const std::string& HostIP() const { return hostIP_; }
  int Size() const { return size_; }
  void SetSize(int v) { size_ = v; }
  int Timeout() const { return timeout_; }
  void SetTimeout(int v) { timeout_ = v; }
  int TTL() const { return ttl_; }
  void SetTTL(int v) { ttl_ = v; }
  int Flags() const { return flags_; }
  void SetFlags(int v) { flags_ = v; }
  const TIcmpEchoReply& Reply() const { return reply_; }
  int LastError() const { return lastError_; }
  bool Resolved() const { return resolved_; }
  // The data of the last request sent.
  const std::string& RequestData() const { return requestData_; }

  // Sends one echo; returns the number of replies.
  int Ping();

  std::function<void(TICMP& sender, const std::string& msg)> OnDisplay;
  std::function<void(TICMP& sender)> OnEchoRequest;
  std::function<void(TICMP& sender, int error)> OnEchoReply;

 private:
  void Resolve();
  void Display(const std::string& msg) {
    if (OnDisplay) OnDisplay(*this, msg);
  }

  std::unique_ptr<IcmpApi> api_;
  std::string address_;
  std::string hostName_;
  std::string hostIP_;
  std::uint32_t addr_ = inaddr_none;
  bool resolved_ = false;
  int size_ = 56;
  int timeout_ = 4000;
  int ttl_ = 64;
  int flags_ = 0;
  TIcmpEchoReply reply_{};
  int lastError_ = 0;
  std::string requestData_;
};

class TPing : private MessageSink {
 public:
  static constexpr unsigned msg_lookup = 2;

  // `socketApi` serves the asynchronous DnsLookup only.
  explicit TPing(SocketApi& socketApi, std::unique_ptr<IcmpApi> icmp = makeIcmpApi());
  ~TPing() override;
  TPing(const TPing&) = delete;
  TPing& operator=(const TPing&) = delete;

  const std::string& Address() const { return icmp_->Address(); }
  void SetAddress(std::string_view v) { icmp_->SetAddress(v); }
  int Size() const { return icmp_->Size(); }
  void SetSize(int v) { icmp_->SetSize(v); }
  int Timeout() const { return icmp_->Timeout(); }
  void SetTimeout(int v) { icmp_->SetTimeout(v); }
  int TTL() const { return icmp_->TTL(); }
  void SetTTL(int v) { icmp_->SetTTL(v); }
  int Flags() const { return icmp_->Flags(); }
  void SetFlags(int v) { icmp_->SetFlags(v); }
  TICMP& Icmp() { return *icmp_; }
  const std::string& DnsResult() const { return dnsResult_; }
  int Tag = 0;

  int Ping() { return icmp_ ? icmp_->Ping() : 0; }
  void DnsLookup(std::string_view host);
  void CancelLookup();

  std::function<void(TPing& sender, TICMP& icmp, const std::string& msg)> OnDisplay;
  std::function<void(TPing& sender, TICMP& icmp)> OnEchoRequest;
  std::function<void(TPing& sender, TICMP& icmp, int error)> OnEchoReply;
  std::function<void(TPing& sender, std::uint16_t error)> OnDnsLookupDone;

 private:
  void handleMessage(unsigned msg, std::uintptr_t wparam, std::intptr_t lparam) override;

  std::unique_ptr<TICMP> icmp_;
  SocketApi& socketApi_;
  std::unique_ptr<Channel> channel_;
  LookupHandle lookup_ = 0;
  std::string dnsResult_;
  bool destroying_ = false;
};

}  // namespace brevaro::net
