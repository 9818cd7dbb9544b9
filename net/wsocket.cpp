// The core socket: send-buffer chain, connect/listen/accept, close and the
// hidden-window message handling; the wait helper of the sync layer.
#include "net/wsocket.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

#include "net/wsocket_names.h"

namespace brevaro::net {

using detail::isDottedShape;
using detail::quoteFmt;

// ---------------------------------------------------------------------------
// TBuffer

void TBuffer::SetSize(int size) {
  std::size_t n = size <= 0 ? static_cast<std::size_t>(default_size) : static_cast<std::size_t>(size);
  if (n < wr_) {
    // Shrinking below the stored bytes: move what is unread to the front first.
    std::memmove(data_.data(), data_.data() + rd_, wr_ - rd_);
    wr_ -= rd_;
    rd_ = 0;
    wr_ = std::min(wr_, n);
  }
  data_.resize(n);
}

int TBuffer::Write(std::span<const std::byte> data) {
  std::size_t room = data_.size() - wr_;
  std::size_t n = std::min(room, data.size());
  if (n) std::memcpy(data_.data() + wr_, data.data(), n);
  wr_ += n;
  return static_cast<int>(n);
}

int TBuffer::Remove(int count) {
  std::size_t n = std::min<std::size_t>(count < 0 ? 0 : static_cast<std::size_t>(count), wr_ - rd_);
  rd_ += n;
  if (rd_ == wr_) rd_ = wr_ = 0;
  return static_cast<int>(n);
}

// ---------------------------------------------------------------------------
// TCustomWSocket

TCustomWSocket::TCustomWSocket(SocketApi& api) : api_(api) {
  api_.acquire();
  channel_ = api_.createChannel(*this);
  AssignDefaultValue();
}

TCustomWSocket::~TCustomWSocket() {
  destroying_ = true;
  anchor_.expire();
  try {
    CancelLookup();
  } catch (...) {
  }
  if (reverseLookup_) {
    channel_->cancelAsyncRequest(reverseLookup_);
    reverseLookup_ = 0;
  }
  if (hsocket_ != invalid_socket) {
    try {
      InternalClose(false, 0);
    } catch (...) {
    }
    if (hsocket_ != invalid_socket) api_.closeSocket(hsocket_);
    hsocket_ = invalid_socket;
  }
  bufList_.clear();
  channel_.reset();
  api_.release();
}

void TCustomWSocket::AssignDefaultValue() {
  addr_.clear();
  port_.clear();
  proto_ = "tcp";
  localAddr_ = "0.0.0.0";
  localPort_ = "0";
  addrResolved_ = portResolved_ = protoResolved_ = localPortResolved_ = false;
  sin_ = {};
  protoNum_ = ipproto_tcp;
  sockType_ = sock_stream;
  localPortNum_ = 0;
  state_ = wsClosed;
  readCount_ = 0;
  lastError_ = 0;
  multiThreaded_ = false;
  options_ = 0;
  flushTimeout_ = 60;
  sendFlags_ = wsSendNormal;
  lingerOnOff_ = wsLingerOn;
  lingerTimeout_ = 0;
  paused_ = false;
  selectMask_ = 0;
}

void TCustomWSocket::ChangeState(TSocketState newState) {
  TSocketState old = state_;
  state_ = newState;
  if (old != newState && OnChangeState) OnChangeState(*this, old, newState);
}

[[noreturn]] void TCustomWSocket::ThrowError(const std::string& msg) { throw ESocketException(msg); }

void TCustomWSocket::RaiseException(const std::string& msg) {
  if (OnError) {
    TriggerError();
    return;
  }
  ThrowError(msg);
}

void TCustomWSocket::SocketError(std::string_view function, int error) {
  int err = error >= 0 ? error : api_.lastError();
  std::string line =
      "Error " + std::to_string(err) + " in function " + std::string(function) + "\r\n" + WSocketErrorDesc(err);
  lastError_ = err;
  if (err == wsa::econnreset || err == wsa::enotconn) {
    if (hsocket_ != invalid_socket) {
      channel_->asyncSelect(hsocket_, msg_notify, 0);
      api_.closeSocket(hsocket_);
      hsocket_ = invalid_socket;
    }
    ChangeState(wsClosed);
  }
  RaiseException(line);
}

void TCustomWSocket::TriggerError() {
  if (OnError) OnError(*this);
}

// The guard of the setters that only work while closed: raises `message`
// (or reports it to OnError) and answers false while a session is open.
bool TCustomWSocket::CheckClosed(std::string_view message) {
  if (state_ == wsClosed) return true;
  RaiseException(std::string(message));
  return false;
}

void TCustomWSocket::SetAddr(std::string_view v) {
  if (!CheckClosed("Cannot change Addr if not closed")) return;
  addr_ = v;
  addrResolved_ = false;
}

void TCustomWSocket::SetPort(std::string_view v) {
  if (!CheckClosed("Cannot change Port if not closed")) return;
  port_ = v;
  portResolved_ = false;
}

void TCustomWSocket::SetProto(std::string_view v) {
  if (!CheckClosed("Cannot change Proto if not closed")) return;
  proto_ = v;
  protoResolved_ = false;
  portResolved_ = false;
}

void TCustomWSocket::SetLocalAddr(std::string_view v) {
  if (!CheckClosed("Cannot change LocalAddr if not closed")) return;
  std::string value = v.empty() ? std::string("0.0.0.0") : std::string(v);
  if (!parseDottedAddress(value)) {
    RaiseException("SetLocalAddr(): Invalid IP address");
    return;
  }
  localAddr_ = value;
}

void TCustomWSocket::SetLocalPort(std::string_view v) {
  if (!CheckClosed("Cannot change LocalPort if not closed")) return;
  localPort_ = v;
  localPortResolved_ = false;
}

std::string TCustomWSocket::PeerAddr() {
  SockAddr a;
  if (hsocket_ == invalid_socket || api_.getPeerName(hsocket_, &a) != 0) return "error";
  return formatDottedAddress(a.addr);
}

std::string TCustomWSocket::PeerPort() {
  SockAddr a;
  if (hsocket_ == invalid_socket || api_.getPeerName(hsocket_, &a) != 0) return "error";
  return std::to_string(a.port);
}

long TCustomWSocket::RcvdCount() {
  if (hsocket_ == invalid_socket) return 0;
  long n = api_.bytesWaiting(hsocket_);
  if (n < 0) lastError_ = api_.lastError();
  return n;
}

void TCustomWSocket::ApplyLinger() {
  if (lingerOnOff_ == wsLingerNoSet) return;
  if (hsocket_ == invalid_socket) {
    RaiseException("Cannot set linger option at this time");
    return;
  }
  if (api_.setLinger(hsocket_, lingerOnOff_ == wsLingerOn, lingerTimeout_) != 0) SocketError("setsockopt(SO_LINGER)");
}

void TCustomWSocket::ConnectTo(const std::string& host, const std::string& port) {
  if (hsocket_ != invalid_socket && state_ != wsClosed) {
    RaiseException("Connect: Socket already in use");
    return;
  }
  if (port.empty()) {
    RaiseException("Connect: No Port Given");
    return;
  }
  if (host.empty()) {
    RaiseException("Connect: No IP Address Given");
    return;
  }
  if (proto_.empty()) {
    RaiseException("Connect: No Protocol Given");
    return;
  }
  try {
    if (!protoResolved_) {
      protoNum_ = WSocketResolveProto(api_, proto_);
      sockType_ = protoNum_ == ipproto_udp ? sock_dgram : sock_stream;
      protoResolved_ = true;
    }
    if (!portResolved_) {
      sin_.port = WSocketResolvePort(api_, port, proto_);
      portResolved_ = true;
    }
    if (!localPortResolved_) {
      localPortNum_ = WSocketResolvePort(api_, localPort_, proto_);
      localPortResolved_ = true;
    }
    if (!addrResolved_) {
      sin_.addr = WSocketResolveHost(api_, host);
      addrResolved_ = true;
    }
  } catch (const ESocketException& e) {
    RaiseException(std::string("connect: ") + e.what());
    return;
  }
  DeleteBufferedData();
  hsocket_ = api_.socket(sockType_, protoNum_);
  if (hsocket_ == invalid_socket) {
    SocketError("Connect (socket)");
    return;
  }
  closeInvoked_ = false;
  paused_ = false;
  ChangeState(wsOpened);
  auto localAddrNum = parseDottedAddress(localAddr_).value_or(0);
  if (sockType_ == sock_stream) {
    if (localPortNum_ != 0 || localAddr_ != "0.0.0.0") {
      if (api_.bind(hsocket_, {localAddrNum, localPortNum_}) != 0) {
        RaiseException("winsock.bind failed, error #" + std::to_string(api_.lastError()));
        return;
      }
      SockAddr got;
      if (api_.getSockName(hsocket_, &got) != 0) {
        RaiseException("winsock.getsockname failed, error #" + std::to_string(api_.lastError()));
        return;
      }
      localPort_ = std::to_string(got.port);
      localPortNum_ = got.port;
    }
    ApplyLinger();
    if (api_.setOption(hsocket_, SockOption::KeepAlive, true) != 0) SocketError("setsockopt(SO_KEEPALIVE)");
    if (api_.setOption(hsocket_, SockOption::ReuseAddr, true) != 0) SocketError("setsockopt(SO_REUSEADDR)");
  } else {
    if (api_.bind(hsocket_, {localAddrNum, localPortNum_}) != 0) {
      RaiseException("winsock.bind failed, error #" + std::to_string(api_.lastError()));
      return;
    }
    SockAddr got;
    if (api_.getSockName(hsocket_, &got) == 0) localPort_ = std::to_string(got.port);
    if (sin_.addr == 0xffffffffu && api_.setOption(hsocket_, SockOption::Broadcast, true) != 0)
      SocketError("setsockopt(SO_BROADCAST)");
  }
  selectMask_ = connect_mask;
  if (int e = channel_->asyncSelect(hsocket_, msg_notify, selectMask_); e != 0) {
    SocketError("WSAAsyncSelect", e);
    return;
  }
  if (sockType_ == sock_dgram) {
    api_.connect(hsocket_, sin_);
    ChangeState(wsConnected);
    TriggerSessionConnected(0);
    return;
  }
  if (api_.connect(hsocket_, sin_) != 0) {
    int e = api_.lastError();
    if (e != wsa::ewouldblock) {
      SocketError("Connect", e);
      return;
    }
  }
  ChangeState(wsConnecting);
}

void TCustomWSocket::Connect() { ConnectTo(addr_, port_); }

void TCustomWSocket::Listen() {
  if (hsocket_ != invalid_socket && state_ != wsClosed) {
    RaiseException("listen: Socket already in use");
    return;
  }
  if (port_.empty()) {
    RaiseException("listen: No Port Given");
    return;
  }
  std::uint32_t addr = 0;
  try {
    protoNum_ = WSocketResolveProto(api_, proto_);
    sockType_ = protoNum_ == ipproto_udp ? sock_dgram : sock_stream;
    protoResolved_ = true;
    sin_.port = WSocketResolvePort(api_, port_, proto_);
    portResolved_ = true;
    addr = addr_.empty() ? 0 : WSocketResolveHost(api_, addr_);
  } catch (const ESocketException& e) {
    RaiseException(std::string("listen: ") + e.what());
    return;
  }
  sin_.addr = addr;
  DeleteBufferedData();
  hsocket_ = api_.socket(sockType_, protoNum_);
  if (hsocket_ == invalid_socket) {
    SocketError("socket");
    return;
  }
  closeInvoked_ = false;
  if (sockType_ == sock_stream) api_.setOption(hsocket_, SockOption::ReuseAddr, true);
  if (api_.bind(hsocket_, {addr, sin_.port}) != 0) {
    SocketError("Bind");
    return;
  }
  SockAddr got;
  if (api_.getSockName(hsocket_, &got) == 0) localPort_ = std::to_string(got.port);
  ChangeState(wsBound);
  if (sockType_ == sock_dgram) {
    selectMask_ = fd_read | fd_write;
    channel_->asyncSelect(hsocket_, msg_notify, selectMask_);
    ChangeState(wsConnected);
    TriggerSessionConnected(0);
    return;
  }
  if (api_.listen(hsocket_, 5) != 0) {
    SocketError("Listen");
    return;
  }
  selectMask_ = listen_mask;
  if (int e = channel_->asyncSelect(hsocket_, msg_notify, selectMask_); e != 0) {
    SocketError("WSAAsyncSelect", e);
    return;
  }
  ChangeState(wsListening);
}

SocketHandle TCustomWSocket::Accept() {
  if (state_ != wsListening) {
    SocketError("not a listening socket", wsa::einval);
    return invalid_socket;
  }
  SockAddr peer;
  SocketHandle h = api_.accept(hsocket_, &peer);
  if (h == invalid_socket) {
    int e = api_.lastError();
    if (e != wsa::ewouldblock) SocketError("Accept", e);
  }
  return h;
}

void TCustomWSocket::Dup(SocketHandle h) {
  if (h == invalid_socket) {
    RaiseException("Dup: invalid socket handle");
    return;
  }
  hsocket_ = h;
  closeInvoked_ = false;
  sockType_ = sock_stream;
  selectMask_ = fd_read | fd_write | fd_close;
  if (int e = channel_->asyncSelect(hsocket_, msg_notify, selectMask_); e != 0) {
    SocketError("WSAAsyncSelect", e);
    return;
  }
  ChangeState(wsConnected);
}

int TCustomWSocket::RawReceive(void* buffer, int length) {
  if (hsocket_ == invalid_socket) {
    lastError_ = wsa::enotsock;
    return -1;
  }
  int n = api_.recv(
      hsocket_, std::span<std::byte>(static_cast<std::byte*>(buffer), static_cast<std::size_t>(std::max(length, 0))));
  if (n < 0) lastError_ = api_.lastError();
  else readCount_ += n;
  return n;
}

int TCustomWSocket::Receive(void* buffer, int length) { return RawReceive(buffer, length); }

std::string TCustomWSocket::ReceiveText() {
  long waiting = RcvdCount();
  if (waiting <= 0) return {};
  std::string s(static_cast<std::size_t>(waiting), '\0');
  int n = Receive(s.data(), static_cast<int>(s.size()));
  s.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return s;
}

int TCustomWSocket::ReceiveFrom(void* buffer, int length, SockAddr* from) {
  if (hsocket_ == invalid_socket) {
    lastError_ = wsa::enotsock;
    return -1;
  }
  int n = api_.recvFrom(
      hsocket_, std::span<std::byte>(static_cast<std::byte*>(buffer), static_cast<std::size_t>(std::max(length, 0))),
      from);
  if (n < 0) lastError_ = api_.lastError();
  else readCount_ += n;
  return n;
}

int TCustomWSocket::RawSend(std::span<const std::byte> data) {
  return api_.send(hsocket_, data, sendFlags_ == wsSendUrgent);
}

void TCustomWSocket::PutDataInSendBuffer(const void* data, int length) {
  std::span<const std::byte> rest(static_cast<const std::byte*>(data), static_cast<std::size_t>(std::max(length, 0)));
  if (bufList_.empty()) bufList_.emplace_back(TBuffer::default_size);
  while (!rest.empty()) {
    int n = bufList_.back().Write(rest);
    rest = rest.subspan(static_cast<std::size_t>(n));
    if (!rest.empty()) bufList_.emplace_back(TBuffer::default_size);
  }
}

void TCustomWSocket::DeleteBufferedData() {
  bufList_.clear();
  allSent_ = true;
  dataSentPending_ = false;
}

void TCustomWSocket::TryToSend() {
  const auto self = anchor_.ref(this);
  while (hsocket_ != invalid_socket) {
    if (bufList_.empty()) {
      allSent_ = true;
      return;
    }
    TBuffer& b = bufList_.front();
    auto data = b.Peek();
    if (!data.empty()) {
      int n = RawSend(data);
      if (n < 0) {
        int err = api_.lastError();
        if (err == wsa::ewouldblock) return;
        if (err == wsa::einval || err == wsa::enotsock || err == wsa::econnaborted || err == wsa::econnreset ||
            err == wsa::enotconn) {
          lastError_ = err;
          InternalClose(false, static_cast<std::uint16_t>(err));
          return;
        }
        SocketError("TryToSend failed", err);
        return;
      }
      b.Remove(n);
      if (OnSendData) OnSendData(*this, n);
      if (!self.alive()) return;
      if (n < static_cast<int>(data.size())) return;
      if (bufList_.empty()) continue;
    }
    if (bufList_.front().Empty()) {
      if (bufList_.size() > 1) {
        bufList_.pop_front();
      } else {
        allSent_ = true;
        return;
      }
    }
  }
}

int TCustomWSocket::Send(const void* data, int length) {
  if (state_ != wsConnected) {
    SocketError("Send", wsa::enotconn);
    return -1;
  }
  if (length <= 0) return 0;
  allSent_ = false;
  dataSentPending_ = true;
  PutDataInSendBuffer(data, length);
  TryToSend();
  if (allSent_ && hsocket_ != invalid_socket)
    channel_->post(msg_notify, static_cast<std::uintptr_t>(hsocket_), static_cast<std::intptr_t>(fd_write));
  return length;
}

int TCustomWSocket::SendText(std::string_view text) { return Send(text.data(), static_cast<int>(text.size())); }

int TCustomWSocket::SendTo(SockAddr to, const void* data, int length) {
  if (hsocket_ == invalid_socket) {
    SocketError("SendTo", wsa::enotsock);
    return -1;
  }
  int n = api_.sendTo(
      hsocket_,
      std::span<const std::byte>(static_cast<const std::byte*>(data), static_cast<std::size_t>(std::max(length, 0))),
      to);
  if (n < 0) lastError_ = api_.lastError();
  return n;
}

void TCustomWSocket::InternalClose(bool shut, std::uint16_t error) {
  if (hsocket_ == invalid_socket) {
    if (state_ != wsClosed) {
      ChangeState(wsClosed);
      AssignDefaultValue();
    }
    return;
  }
  if (state_ == wsClosed) return;
  if (shut) api_.shutdown(hsocket_, 1);
  channel_->asyncSelect(hsocket_, msg_notify, 0);
  const SocketHandle closing = hsocket_;
  const std::uint64_t serial = ++closeSerial_;
  const auto self = anchor_.ref(this);
  for (int tries = 0;; ++tries) {
    if (api_.closeSocket(closing) == 0) break;
    int e = api_.lastError();
    if (e == wsa::notinitialised) break;
    if (e != wsa::ewouldblock || tries > 1000) {
      hsocket_ = invalid_socket;
      SocketError("Disconnect (closesocket)", e);
      break;
    }
    ProcessMessages();
    // A handler run meanwhile may have freed this socket, or closed it
    // (and reported the close) itself, and may even have opened the next
    // session under the same handle number.
    if (!self.alive() || closeSerial_ != serial) return;
  }
  hsocket_ = invalid_socket;
  ChangeState(wsClosed);
  if (!destroying_ && !closeInvoked_) {
    closeInvoked_ = true;
    TriggerSessionClosed(error);
    if (!self.alive()) return;
    // The handler opened the next session already: its settings stay.
    if (hsocket_ != invalid_socket) return;
  }
  try {
    AssignDefaultValue();
  } catch (...) {
  }
}

void TCustomWSocket::Close() { InternalClose(true, 0); }

void TCustomWSocket::Abort() {
  try {
    CancelLookup();
  } catch (...) {
  }
  DeleteBufferedData();
  if (state_ == wsConnected && sockType_ == sock_stream && hsocket_ != invalid_socket) {
    lingerOnOff_ = wsLingerOff;
    try {
      ApplyLinger();
    } catch (...) {
    }
  }
  InternalClose(false, 0);
}

void TCustomWSocket::CloseLater() { channel_->post(msg_close_later); }
void TCustomWSocket::FreeLater() { channel_->post(msg_free_later); }
void TCustomWSocket::PostTestException() { channel_->post(msg_test_exception); }

void TCustomWSocket::Flush() {
  const auto self = anchor_.ref(this);
  while (hsocket_ != invalid_socket && !allSent_ && !bufList_.empty()) {
    TryToSend();
    if (!self.alive() || allSent_) break;
    ProcessMessages();
    if (!self.alive() || terminated_) break;
  }
}

void TCustomWSocket::WaitForClose() {
  const auto self = anchor_.ref(this);
  char buf[1024];
  while (self.alive() && hsocket_ != invalid_socket && state_ != wsClosed) {
    long waiting = RcvdCount();
    if (waiting > 0) {
      if (OnDataAvailable) TriggerDataAvailable(0);
      else Receive(buf, sizeof buf);
    }
    if (!self.alive()) return;
    ProcessMessages();
    if (terminated_) return;
  }
}

int TCustomWSocket::ShutDown(int how) {
  if (hsocket_ == invalid_socket) return 0;
  return api_.shutdown(hsocket_, how);
}

void TCustomWSocket::PauseEvents() {
  paused_ = true;
  if (hsocket_ != invalid_socket) channel_->asyncSelect(hsocket_, msg_notify, 0);
}

void TCustomWSocket::ResumeEvents() {
  paused_ = false;
  if (hsocket_ != invalid_socket && selectMask_ != 0) channel_->asyncSelect(hsocket_, msg_notify, selectMask_);
}

void TCustomWSocket::ProcessMessages() {
  if (multiThreaded_ || !appPump_) {
    if (!api_.processMessages()) terminated_ = true;
  } else {
    appPump_();
  }
}

// --- lookups ---

void TCustomWSocket::DnsLookup(std::string_view host) {
  if (host.empty()) {
    RaiseException("DNS lookup: invalid host name.");
    TriggerDnsLookupDone(static_cast<std::uint16_t>(wsa::einval));
    return;
  }
  CancelLookup();
  dnsResult_.clear();
  dnsResultList_.clear();
  if (isDottedShape(host)) {
    if (auto a = parseDottedAddress(host)) {
      dnsResult_ = formatDottedAddress(*a);
      dnsResultList_.push_back(dnsResult_);
      TriggerDnsLookupDone(0);
      return;
    }
  }
  int err = 0;
  lookup_ = channel_->asyncGetHostByName(msg_lookup, host, &err);
  if (lookup_ == 0) RaiseException(quoteFmt("", host, ": can't start DNS lookup, error #", err));
}

void TCustomWSocket::ReverseLookup(std::string_view addr) {
  auto a = parseDottedAddress(addr);
  if (!a) {
    RaiseException("Reverse lookup: invalid address.");
    TriggerDnsLookupDone(static_cast<std::uint16_t>(wsa::einval));
    return;
  }
  if (reverseLookup_) {
    channel_->cancelAsyncRequest(reverseLookup_);
    reverseLookup_ = 0;
  }
  dnsResult_.clear();
  dnsResultList_.clear();
  int err = 0;
  reverseLookup_ = channel_->asyncGetHostByAddr(msg_reverse_lookup, *a, &err);
  if (reverseLookup_ == 0) RaiseException(quoteFmt("", addr, ": can't start reverse lookup, error #", err));
}

void TCustomWSocket::CancelLookup() {
  if (lookup_ == 0) return;
  LookupHandle h = std::exchange(lookup_, 0);
  if (int e = channel_->cancelAsyncRequest(h); e != 0) {
    SocketError("WSACancelAsyncRequest", e);
    return;
  }
  if (!destroying_) TriggerDnsLookupDone(static_cast<std::uint16_t>(wsa::eintr));
}

// --- triggers ---

void TCustomWSocket::TriggerDataAvailable(std::uint16_t error) {
  if (OnDataAvailable) OnDataAvailable(*this, error);
}
void TCustomWSocket::TriggerSessionAvailable(std::uint16_t error) {
  if (OnSessionAvailable) OnSessionAvailable(*this, error);
}
void TCustomWSocket::TriggerSessionConnected(std::uint16_t error) {
  if (OnSessionConnected) OnSessionConnected(*this, error);
}
void TCustomWSocket::TriggerSessionClosed(std::uint16_t error) {
  if (OnSessionClosed) OnSessionClosed(*this, error);
}
void TCustomWSocket::TriggerDataSent(std::uint16_t error) {
  if (OnDataSent) OnDataSent(*this, error);
}
void TCustomWSocket::TriggerDnsLookupDone(std::uint16_t error) {
  if (OnDnsLookupDone) OnDnsLookupDone(*this, error);
}

// --- the hidden window ---

void TCustomWSocket::handleMessage(unsigned msg, std::uintptr_t wparam, std::intptr_t lparam) {
  const auto self = anchor_.ref(this);
  try {
    WndProc(msg, wparam, lparam);
  } catch (const std::exception& e) {
    if (self.alive()) HandleBackGroundException(e);
  }
}

void TCustomWSocket::HandleBackGroundException(const std::exception& e) {
  bool canClose = true;
  if (OnBgException) {
    try {
      OnBgException(*this, e, canClose);
    } catch (...) {
    }
  }
  if (canClose) {
    try {
      Abort();
    } catch (...) {
    }
  }
}

void TCustomWSocket::ReceiveLoop(std::uint16_t error) {
  const auto self = anchor_.ref(this);
  char buf[1024];
  for (;;) {
    if (hsocket_ == invalid_socket) return;
    lastError_ = 0;
    std::int64_t before = readCount_;
    if (HasHandler()) {
      TriggerDataAvailable(error);
      if (!self.alive()) return;
      if (readCount_ == before && lastError_ == 0) return;  // the handler did not read: wait for more
    } else {
      int n = Receive(buf, sizeof buf);
      if (n < 0) {
        if (lastError_ == wsa::ewouldblock) lastError_ = 0;
        return;
      }
      if (n == 0) return;
    }
    if (options_ & wsoNoReceiveLoop) return;
    if (lastError_ != 0 || hsocket_ == invalid_socket) return;
    if (api_.bytesWaiting(hsocket_) <= 0) return;
  }
}

void TCustomWSocket::WndProc(unsigned msg, std::uintptr_t wparam, std::intptr_t lparam) {
  const auto self = anchor_.ref(this);
  switch (msg) {
    case msg_notify: {
      if (static_cast<SocketHandle>(wparam) != hsocket_ || hsocket_ == invalid_socket || paused_) return;
      unsigned events = static_cast<unsigned>(lparam) & 0xffffu;
      auto error = static_cast<std::uint16_t>((static_cast<std::uintptr_t>(lparam) >> 16) & 0xffffu);
      if (events & fd_connect) {
        ChangeState(wsConnected);
        TriggerSessionConnected(error);
        if (!self.alive()) return;
        if (error != 0 && state_ != wsClosed) Close();
        if (!self.alive() || hsocket_ == invalid_socket) return;
      }
      if (events & fd_read) {
        ReceiveLoop(error);
        if (!self.alive() || hsocket_ == invalid_socket) return;
      }
      if (events & fd_write) {
        TryToSend();
        if (!self.alive()) return;
        if (allSent_ && dataSentPending_) {
          dataSentPending_ = false;
          TriggerDataSent(error);
        }
        if (!self.alive() || hsocket_ == invalid_socket) return;
      }
      if (events & fd_accept) {
        TriggerSessionAvailable(error);
        if (!self.alive() || hsocket_ == invalid_socket) return;
      }
      if ((events & fd_close) && state_ != wsConnecting) {
        ReceiveLoop(0);
        if (!self.alive()) return;
        if (!closeInvoked_) {
          closeInvoked_ = true;
          TriggerSessionClosed(error);
          if (!self.alive()) return;
        }
        // Close the session that ended, not one the handler has opened since
        // (a new session has not been reported closed).
        if (state_ != wsClosed && closeInvoked_) Close();
      }
      return;
    }
    case msg_lookup: {
      if (static_cast<LookupHandle>(wparam) != lookup_ || lookup_ == 0) return;
      LookupHandle h = std::exchange(lookup_, 0);
      auto error = static_cast<std::uint16_t>((static_cast<std::uintptr_t>(lparam) >> 16) & 0xffffu);
      HostEntry he = channel_->takeLookupResult(h);
      if (error == 0) {
        for (auto a : he.addrs) dnsResultList_.push_back(formatDottedAddress(a));
        if (!dnsResultList_.empty()) dnsResult_ = dnsResultList_.front();
      }
      TriggerDnsLookupDone(error);
      return;
    }
    case msg_reverse_lookup: {
      if (static_cast<LookupHandle>(wparam) != reverseLookup_ || reverseLookup_ == 0) return;
      LookupHandle h = std::exchange(reverseLookup_, 0);
      auto error = static_cast<std::uint16_t>((static_cast<std::uintptr_t>(lparam) >> 16) & 0xffffu);
      HostEntry he = channel_->takeLookupResult(h);
      if (error == 0) {
        dnsResult_ = he.name;
        dnsResultList_.push_back(he.name);
      }
      TriggerDnsLookupDone(error);
      return;
    }
    case msg_close_later: Close(); return;
    case msg_free_later:
      if (OnFreeLater) {
        // The handler destroys this component (and its handler member): run a copy.
        auto handler = OnFreeLater;
        handler(*this);
      }
      return;
    case msg_test_exception: throw ESocketException("Test exception in WSocket");
    default: return;
  }
}

// ---------------------------------------------------------------------------
// TCustomSyncWSocket

int TCustomSyncWSocket::WaitUntilReady(const bool& flag, int timeoutMs) {
  auto start = std::chrono::steady_clock::now();
  const auto self = anchor_.ref(this);
  while (!flag) {
    ProcessMessages();
    if (!self.alive()) return wait_timeout;
    if (terminated_) return wait_timeout;
    if (flag) break;
    if (timeoutMs > 0 && std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(timeoutMs))
      return wait_timeout;
    std::this_thread::yield();
  }
  return 0;
}

}  // namespace brevaro::net
