// SOCKS 4, 4A and 5 negotiation layered on the core socket.
#include <algorithm>

#include "net/wsocket.h"

namespace brevaro::net {

// ---------------------------------------------------------------------------
// TCustomSocksWSocket

void TCustomSocksWSocket::AssignDefaultValue() {
  TCustomWSocket::AssignDefaultValue();
  socksStep_ = SocksStep::Idle;
}

void TCustomSocksWSocket::SetSocksServer(std::string_view v) {
  if (!CheckClosed("Can't change socks server if not closed")) return;
  socksServer_ = v;
}

void TCustomSocksWSocket::SetSocksPort(std::string_view v) {
  if (!CheckClosed("Can't change socks port if not closed")) return;
  socksPort_ = v;
}

void TCustomSocksWSocket::SetSocksLevel(std::string_view v) {
  if (!CheckClosed("Can't change socks level if not closed")) return;
  if (v != "4" && v != "4A" && v != "4a" && v != "5") {
    RaiseException("Invalid socks level. Must be 4, 4A or 5.");
    return;
  }
  socksLevel_ = v == "4a" ? std::string("4A") : std::string(v);
}

void TCustomSocksWSocket::Connect() {
  if (socksServer_.empty()) {
    TCustomWSocket::Connect();
    return;
  }
  if (proto_ != "tcp" && proto_ != "6") {
    RaiseException("tcp is the only protocol supported thru socks server");
    return;
  }
  destAddr_ = addr_;
  destPort_ = port_;
  if (destAddr_.empty()) {
    RaiseException("Connect: No IP Address Given");
    return;
  }
  if (destPort_.empty()) {
    RaiseException("Connect: No Port Given");
    return;
  }
  addrResolved_ = portResolved_ = false;
  socksStep_ = SocksStep::Idle;
  want_ = 0;
  ConnectTo(socksServer_, socksPort_.empty() ? std::string("1080") : socksPort_);
  // The resolved address is the SOCKS server's; resolve again next time.
  addrResolved_ = portResolved_ = false;
  if (state_ == wsConnecting) socksStep_ = SocksStep::Connecting;
}

void TCustomSocksWSocket::Listen() {
  if (!socksServer_.empty()) {
    RaiseException("Listening is not supported thru socks server");
    return;
  }
  TCustomWSocket::Listen();
}

void TCustomSocksWSocket::TriggerSessionClosed(std::uint16_t error) {
  if (socksStep_ != SocksStep::Idle && state_ == wsClosed && !destroying_) {
    // The server went away in the middle of the negotiation.
    bool connecting = socksStep_ == SocksStep::Connecting;
    socksStep_ = SocksStep::Idle;
    if (!connecting) {
      std::uint16_t code = error ? error : static_cast<std::uint16_t>(socks_error_base + 7);
      const auto self = anchor_.ref(this);
      if (OnSocksError) OnSocksError(*this, code, "connection closed by the socks server");
      if (!self.alive()) return;
      TCustomWSocket::TriggerSessionConnected(code);
      if (!self.alive()) return;
    }
  }
  TCustomWSocket::TriggerSessionClosed(error);
}

void TCustomSocksWSocket::SocksFailed(std::uint16_t code, const std::string& msg) {
  socksStep_ = SocksStep::Idle;
  lastError_ = code;
  const auto self = anchor_.ref(this);
  if (OnSocksError) OnSocksError(*this, code, msg);
  if (!self.alive()) return;
  TCustomWSocket::TriggerSessionConnected(code);
  if (!self.alive()) return;
  if (state_ != wsClosed) Close();
}

void TCustomSocksWSocket::TriggerSessionConnected(std::uint16_t error) {
  if (socksStep_ != SocksStep::Connecting) {
    TCustomWSocket::TriggerSessionConnected(error);
    return;
  }
  if (error != 0) {
    socksStep_ = SocksStep::Idle;
    if (OnSocksConnected) OnSocksConnected(*this, error);
    TCustomWSocket::TriggerSessionConnected(error);
    return;
  }
  std::vector<std::uint8_t> msg;
  if (socksLevel_ == "5") {
    if (socksAuth_ == socksAuthenticateUsercode) msg = {5, 2, 0, 2};
    else msg = {5, 1, 0};
    socksStep_ = SocksStep::Greeting;
    Expect(2);
    Send(msg.data(), static_cast<int>(msg.size()));
    return;
  }
  SocksSendRequest();
}

void TCustomSocksWSocket::SocksSendRequest() {
  std::uint16_t port = 0;
  try {
    port = WSocketResolvePort(api_, destPort_, "tcp");
  } catch (const ESocketException& e) {
    SocksFailed(socks_error_base + 1, e.what());
    return;
  }
  std::vector<std::uint8_t> msg;
  // Room reserved up front: without it GCC 12 reports a false overflow in
  // the push_backs below at -O2 and above.
  msg.reserve(10 + 2 * 256);
  auto dotted = parseDottedAddress(destAddr_);
  if (socksLevel_ == "5") {
    msg = {5, 1, 0};
    if (dotted) {
      msg.push_back(1);
      for (int s = 24; s >= 0; s -= 8) msg.push_back(static_cast<std::uint8_t>(*dotted >> s));
    } else {
      if (destAddr_.size() > 255) {
        SocksFailed(socks_error_base + 1, "host name too long");
        return;
      }
      msg.push_back(3);
      msg.push_back(static_cast<std::uint8_t>(destAddr_.size()));
      msg.insert(msg.end(), destAddr_.begin(), destAddr_.end());
    }
    msg.push_back(static_cast<std::uint8_t>(port >> 8));
    msg.push_back(static_cast<std::uint8_t>(port));
    socksStep_ = SocksStep::Request;
    Expect(5);
  } else {
    std::uint32_t ip = 0;
    bool sendName = false;
    if (dotted) {
      ip = *dotted;
    } else if (socksLevel_ == "4A") {
      ip = 1;  // 0.0.0.1: the server resolves the name
      sendName = true;
    } else {
      try {
        ip = WSocketResolveHost(api_, destAddr_);
      } catch (const ESocketException& e) {
        SocksFailed(socks_error_base + 1, e.what());
        return;
      }
    }
    msg = {4, 1, static_cast<std::uint8_t>(port >> 8), static_cast<std::uint8_t>(port)};
    for (int s = 24; s >= 0; s -= 8) msg.push_back(static_cast<std::uint8_t>(ip >> s));
    msg.insert(msg.end(), socksUser_.begin(), socksUser_.end());
    msg.push_back(0);
    if (sendName) {
      msg.insert(msg.end(), destAddr_.begin(), destAddr_.end());
      msg.push_back(0);
    }
    socksStep_ = SocksStep::Reply4;
    Expect(8);
  }
  Send(msg.data(), static_cast<int>(msg.size()));
}

void TCustomSocksWSocket::SocksDone() {
  socksStep_ = SocksStep::Idle;
  const auto self = anchor_.ref(this);
  if (OnSocksConnected) OnSocksConnected(*this, 0);
  if (!self.alive()) return;
  TCustomWSocket::TriggerSessionConnected(0);
  // Data may have arrived right behind the reply.
  if (self.alive() && hsocket_ != invalid_socket && api_.bytesWaiting(hsocket_) > 0)
    channel_->post(msg_notify, static_cast<std::uintptr_t>(hsocket_), static_cast<std::intptr_t>(fd_read));
}

void TCustomSocksWSocket::TriggerDataAvailable(std::uint16_t error) {
  if (socksStep_ == SocksStep::Idle) {
    TCustomWSocket::TriggerDataAvailable(error);
    return;
  }
  // Read exactly the bytes of the reply in progress, nothing of the data behind it.
  while (got_.size() < want_) {
    std::byte b[300];
    int n = RawReceive(b, static_cast<int>(std::min(sizeof b, want_ - got_.size())));
    if (n <= 0) return;
    got_.insert(got_.end(), b, b + n);
  }
  auto at = [&](std::size_t i) { return std::to_integer<std::uint8_t>(got_[i]); };
  switch (socksStep_) {
    case SocksStep::Greeting:
      if (at(0) != 5) return SocksFailed(socks_error_base + 2, "socks version error");
      if (at(1) == 0) {
        if (OnSocksAuthState) OnSocksAuthState(*this, socksAuthNotRequired);
        return SocksSendRequest();
      }
      if (at(1) == 2 && socksAuth_ == socksAuthenticateUsercode) {
        if (OnSocksAuthState) OnSocksAuthState(*this, socksAuthStart);
        std::vector<std::uint8_t> msg{1};
        msg.push_back(static_cast<std::uint8_t>(std::min<std::size_t>(socksUser_.size(), 255)));
        msg.insert(msg.end(), socksUser_.begin(), socksUser_.begin() + static_cast<long>(msg.back()));
        msg.push_back(static_cast<std::uint8_t>(std::min<std::size_t>(socksPass_.size(), 255)));
        msg.insert(msg.end(), socksPass_.begin(), socksPass_.begin() + static_cast<long>(msg.back()));
        socksStep_ = SocksStep::Auth;
        Expect(2);
        Send(msg.data(), static_cast<int>(msg.size()));
        return;
      }
      return SocksFailed(socks_error_base + 3, "authentification method not acceptable");
    case SocksStep::Auth:
      if (at(1) != 0) {
        if (OnSocksAuthState) OnSocksAuthState(*this, socksAuthFailure);
        return SocksFailed(socks_error_base + 4, "authentification failed");
      }
      if (OnSocksAuthState) OnSocksAuthState(*this, socksAuthSuccess);
      return SocksSendRequest();
    case SocksStep::Request: {
      if (at(0) != 5) return SocksFailed(socks_error_base + 2, "socks version error");
      static const char* const texts[] = {"",
                                          "general SOCKS server failure",
                                          "connection not allowed by ruleset",
                                          "network unreachable",
                                          "host unreachable",
                                          "connection refused",
                                          "time to live expired",
                                          "command not supported",
                                          "address type not supported"};
      if (std::uint8_t rep = at(1); rep != 0) {
        std::string msg = rep < 9 ? texts[rep] : "unassigned error #" + std::to_string(rep);
        return SocksFailed(static_cast<std::uint16_t>(socks_error_base + 10 + rep), msg);
      }
      // Remaining length of the bound address: 5 bytes read so far.
      std::size_t rest = 0;
      switch (at(3)) {
        case 1: rest = 4 + 2 - 1; break;
        case 3: rest = at(4) + 2u; break;
        case 4: rest = 16 + 2 - 1; break;
        default: return SocksFailed(socks_error_base + 18, "address type not supported");
      }
      socksStep_ = SocksStep::RequestRest;
      Expect(rest);
      if (rest == 0) return SocksDone();
      return TriggerDataAvailable(error);
    }
    case SocksStep::RequestRest: return SocksDone();
    case SocksStep::Reply4:
      if (at(0) != 0) return SocksFailed(socks_error_base + 2, "socks version error");
      if (at(1) == 90) return SocksDone();
      if (at(1) == 92 || at(1) == 93) return SocksFailed(socks_error_base + 5, "socks authentication failed");
      return SocksFailed(socks_error_base + 6, "request rejected or failed");
    case SocksStep::Idle:
    case SocksStep::Connecting: break;
  }
}

}  // namespace brevaro::net
