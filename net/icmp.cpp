#include "net/icmp.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace brevaro::net {

TICMP::TICMP(std::unique_ptr<IcmpApi> api) : api_(std::move(api)) {
  if (!api_) throw TICMPException("Unable to get ping handle");
}

void TICMP::Resolve() {
  addr_ = inaddr_none;
  if (address_.empty()) return;
  if (auto a = parseDottedAddress(address_)) {
    addr_ = *a;
    hostName_ = address_;
  } else {
    int err = 0;
    auto he = api_->getHostByName(address_, &err);
    if (!he || he->addrs.empty()) {
      lastError_ = err ? err : wsa::host_not_found;
      Display("Unable to resolve " + address_);
      return;
    }
    addr_ = he->addrs.front();
    hostName_ = he->name;
  }
  hostIP_ = formatDottedAddress(addr_);
  resolved_ = true;
}

int TICMP::Ping() {
  lastError_ = 0;
  if (!resolved_) Resolve();
  if (addr_ == inaddr_none) {
    lastError_ = ip_bad_destination;
    Display("Invalid host address");
    return 0;
  }
  std::size_t size = static_cast<std::size_t>(std::clamp(size_, 0, 65500));
  requestData_.assign(size, ' ');
  std::memcpy(requestData_.data(), icmp_identification.data(), std::min(size, icmp_identification.size()));
  std::vector<std::byte> replyData(size + sizeof(TIcmpEchoReply));
  IcmpRequestOptions options{ttl_, 0, flags_};
  if (OnEchoRequest) OnEchoRequest(*this);
  reply_ = {};
  int err = 0;
  int result = api_->sendEcho(addr_, std::as_bytes(std::span<const char>(requestData_.data(), requestData_.size())),
                              options, reply_, replyData, timeout_, &err);
  lastError_ = err;
  if (OnEchoReply) OnEchoReply(*this, result);
  return result;
}

// ---------------------------------------------------------------------------

TPing::TPing(SocketApi& socketApi, std::unique_ptr<IcmpApi> icmp)
    : icmp_(std::make_unique<TICMP>(std::move(icmp))), socketApi_(socketApi) {
  icmp_->OnDisplay = [this](TICMP& i, const std::string& msg) {
    if (OnDisplay) OnDisplay(*this, i, msg);
  };
  icmp_->OnEchoRequest = [this](TICMP& i) {
    if (OnEchoRequest) OnEchoRequest(*this, i);
  };
  icmp_->OnEchoReply = [this](TICMP& i, int error) {
    if (OnEchoReply) OnEchoReply(*this, i, error);
  };
  socketApi_.acquire();
  try {
    channel_ = socketApi_.createChannel(*this);
  } catch (...) {
    socketApi_.release();
    throw;
  }
}

TPing::~TPing() {
  destroying_ = true;
  try {
    CancelLookup();
  } catch (...) {
  }
  channel_.reset();
  socketApi_.release();
}

void TPing::DnsLookup(std::string_view host) {
  CancelLookup();
  dnsResult_.clear();
  if (auto a = parseDottedAddress(host)) {
    dnsResult_ = formatDottedAddress(*a);
    if (OnDnsLookupDone) OnDnsLookupDone(*this, 0);
    return;
  }
  int err = 0;
  lookup_ = channel_->asyncGetHostByName(msg_lookup, host, &err);
  if (lookup_ == 0) {
    char buf[300];
    std::snprintf(buf, sizeof buf, "%s: can't start DNS lookup, error #%d", std::string(host).c_str(), err);
    throw TICMPException(buf);
  }
}

void TPing::CancelLookup() {
  if (lookup_ == 0) return;
  LookupHandle h = lookup_;
  lookup_ = 0;
  if (int e = channel_->cancelAsyncRequest(h); e != 0)
    throw TICMPException("WSACancelAsyncRequest failed, error #" + std::to_string(e));
  if (!destroying_ && OnDnsLookupDone) OnDnsLookupDone(*this, static_cast<std::uint16_t>(wsa::eintr));
}

void TPing::handleMessage(unsigned msg, std::uintptr_t wparam, std::intptr_t lparam) {
  if (msg != msg_lookup || wparam != lookup_ || lookup_ == 0) return;
  LookupHandle h = lookup_;
  lookup_ = 0;
  auto error = static_cast<std::uint16_t>((static_cast<std::uintptr_t>(lparam) >> 16) & 0xffffu);
  HostEntry he = channel_->takeLookupResult(h);
  if (error == 0 && !he.addrs.empty()) dnsResult_ = formatDottedAddress(he.addrs.front());
  if (OnDnsLookupDone) OnDnsLookupDone(*this, error);
}

}  // namespace brevaro::net
