// TWSocket: an event-driven TCP/UDP socket. Every network happening becomes an
// event on the thread that created the component; outgoing data is queued in
// a chain of 1514-byte buffers. Layering: TCustomWSocket (core),
// TCustomSocksWSocket (SOCKS 4/4A/5), TCustomLineWSocket (line mode),
// TCustomSyncWSocket (wait helper), TWSocket.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/weak_ref.h"
#include "net/socket_api.h"

namespace brevaro::net {

class ESocketException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Winsock error number to text ("Not a WinSock error" for unknown numbers).
std::string WSocketErrorDesc(int error);

// Conversions (may block on a name lookup); raise ESocketException.
std::uint32_t WSocketResolveHost(SocketApi& api, std::string_view host);
std::uint16_t WSocketResolvePort(SocketApi& api, std::string_view port, std::string_view proto);
int WSocketResolveProto(SocketApi& api, std::string_view proto);

// One send chunk. Never wraps around.
class TBuffer {
 public:
  static constexpr int default_size = 1514;
  explicit TBuffer(int size = 0) { SetSize(size); }
  int Size() const { return static_cast<int>(data_.size()); }
  void SetSize(int size);  // keeps the stored bytes
  // Copies as many bytes as fit after the write position; 0 when full.
  int Write(std::span<const std::byte> data);
  std::span<const std::byte> Peek() const { return {data_.data() + rd_, wr_ - rd_}; }
  // Advances the read position; both positions return to 0 when all was taken.
  int Remove(int count);
  bool Empty() const { return rd_ == wr_; }
  int Used() const { return static_cast<int>(wr_ - rd_); }

 private:
  std::vector<std::byte> data_;
  std::size_t wr_ = 0;
  std::size_t rd_ = 0;
};

enum TSocketState { wsInvalidState, wsOpened, wsBound, wsConnecting, wsConnected, wsAccepting, wsListening, wsClosed };
enum TSocketSendFlags { wsSendNormal, wsSendUrgent };
enum TSocketLingerOnOff { wsLingerOff, wsLingerOn, wsLingerNoSet };
enum TSocksAuthentication { socksNoAuthentication, socksAuthenticateUsercode };
enum TSocksAuthState { socksAuthStart, socksAuthSuccess, socksAuthFailure, socksAuthNotRequired };
inline constexpr unsigned wsoNoReceiveLoop = 1;  // ComponentOptions bit

std::string_view SocketStateName(TSocketState s);

class TCustomWSocket : protected MessageSink {
 public:
  // Message numbers of the hidden window (offsets from the first user message).
  static constexpr unsigned msg_notify = 1;
  static constexpr unsigned msg_lookup = 2;
  static constexpr unsigned msg_reverse_lookup = 3;
  static constexpr unsigned msg_close_later = 4;
  static constexpr unsigned msg_free_later = 5;
  static constexpr unsigned msg_test_exception = 6;
  static constexpr unsigned msg_line_deliver = 20;
  static constexpr unsigned connect_mask = fd_read | fd_write | fd_accept | fd_connect | fd_close;  // 59
  static constexpr unsigned listen_mask = fd_read | fd_write | fd_accept | fd_close;                // 43

  using ErrorEvent = std::function<void(TCustomWSocket& sender, std::uint16_t error)>;
  using NotifyEvent = std::function<void(TCustomWSocket& sender)>;

  explicit TCustomWSocket(SocketApi& api);
  ~TCustomWSocket() override;
  TCustomWSocket(const TCustomWSocket&) = delete;
  TCustomWSocket& operator=(const TCustomWSocket&) = delete;

  // --- properties ---
  const std::string& Addr() const { return addr_; }
  void SetAddr(std::string_view v);
  const std::string& Port() const { return port_; }
  virtual void SetPort(std::string_view v);
  const std::string& Proto() const { return proto_; }
  virtual void SetProto(std::string_view v);
  const std::string& LocalAddr() const { return localAddr_; }
  void SetLocalAddr(std::string_view v);
  const std::string& LocalPort() const { return localPort_; }
  void SetLocalPort(std::string_view v);
  std::string PeerAddr();
  std::string PeerPort();
  const std::string& DnsResult() const { return dnsResult_; }
  const std::vector<std::string>& DnsResultList() const { return dnsResultList_; }
  TSocketState State() const { return state_; }
  std::int64_t ReadCount() const { return readCount_; }
  virtual long RcvdCount();
  int LastError() const { return lastError_; }
  bool MultiThreaded() const { return multiThreaded_; }
  void SetMultiThreaded(bool v) { multiThreaded_ = v; }
  unsigned ComponentOptions() const { return options_; }
  void SetComponentOptions(unsigned v) { options_ = v; }
  int FlushTimeout() const { return flushTimeout_; }
  void SetFlushTimeout(int v) { flushTimeout_ = v; }
  TSocketSendFlags SendFlags() const { return sendFlags_; }
  void SetSendFlags(TSocketSendFlags v) { sendFlags_ = v; }
  TSocketLingerOnOff LingerOnOff() const { return lingerOnOff_; }
  void SetLingerOnOff(TSocketLingerOnOff v) { lingerOnOff_ = v; }
  int LingerTimeout() const { return lingerTimeout_; }
  void SetLingerTimeout(int v) { lingerTimeout_ = v; }
  SocketHandle HSocket() const { return hsocket_; }
  bool Terminated() const { return terminated_; }

  // The application's "process pending messages" used by the waits while
  // MultiThreaded is false (the backend's own pump when none is given).
  void SetApplicationPump(std::function<void()> pump) { appPump_ = std::move(pump); }

  // --- operations ---
  virtual void Connect();
  virtual void Close();
  virtual void CloseLater();
  virtual void FreeLater();
  virtual void Abort();
  virtual void Flush();
  virtual void WaitForClose();
  virtual void Listen();
  virtual SocketHandle Accept();
  virtual void Dup(SocketHandle h);
  virtual int Receive(void* buffer, int length);
  virtual std::string ReceiveText();
  virtual int ReceiveFrom(void* buffer, int length, SockAddr* from);
  virtual int Send(const void* data, int length);
  int Send(std::string_view text) { return Send(text.data(), static_cast<int>(text.size())); }
  virtual int SendTo(SockAddr to, const void* data, int length);
  virtual int SendText(std::string_view text);
  virtual void DnsLookup(std::string_view host);
  virtual void ReverseLookup(std::string_view addr);
  virtual void CancelLookup();
  virtual int ShutDown(int how);
  virtual void PauseEvents();
  virtual void ResumeEvents();
  virtual void ProcessMessages();
  // Posts the test message whose handler raises "Test exception in WSocket".
  void PostTestException();

  // --- events ---
  ErrorEvent OnDataAvailable;
  ErrorEvent OnDataSent;
  std::function<void(TCustomWSocket& sender, int bytesSent)> OnSendData;
  ErrorEvent OnSessionClosed;
  ErrorEvent OnSessionAvailable;
  ErrorEvent OnSessionConnected;
  std::function<void(TCustomWSocket& sender, TSocketState oldState, TSocketState newState)> OnChangeState;
  NotifyEvent OnLineTooLong;
  ErrorEvent OnDnsLookupDone;
  NotifyEvent OnError;
  std::function<void(TCustomWSocket& sender, const std::exception& e, bool& canClose)> OnBgException;
  // Called by the delayed free: the owner releases the component here.
  NotifyEvent OnFreeLater;

 protected:
  void handleMessage(unsigned msg, std::uintptr_t wparam, std::intptr_t lparam) override;
  virtual void WndProc(unsigned msg, std::uintptr_t wparam, std::intptr_t lparam);
  virtual void AssignDefaultValue();
  virtual void InternalClose(bool shut, std::uint16_t error);
  virtual int RawSend(std::span<const std::byte> data);
  [[noreturn]] void ThrowError(const std::string& msg);
  void RaiseException(const std::string& msg);                  // plain error step
  void SocketError(std::string_view function, int error = -1);  // Winsock error step
  bool CheckClosed(std::string_view message);                   // setters that only work while closed
  virtual void HandleBackGroundException(const std::exception& e);
  virtual void TriggerDataAvailable(std::uint16_t error);
  virtual void TriggerSessionAvailable(std::uint16_t error);
  virtual void TriggerSessionConnected(std::uint16_t error);
  virtual void TriggerSessionClosed(std::uint16_t error);
  virtual void TriggerDataSent(std::uint16_t error);
  virtual void TriggerDnsLookupDone(std::uint16_t error);
  virtual void TriggerError();
  virtual int RawReceive(void* buffer, int length);
  void ChangeState(TSocketState newState);
  void TryToSend();
  void PutDataInSendBuffer(const void* data, int length);
  void DeleteBufferedData();
  void ReceiveLoop(std::uint16_t error);
  void ApplyLinger();
  void ConnectTo(const std::string& host, const std::string& port);
  // True when a data-available step reads the data (otherwise the receive loop drains it).
  virtual bool HasHandler() const { return static_cast<bool>(OnDataAvailable); }

  SocketApi& api_;
  std::unique_ptr<Channel> channel_;
  SocketHandle hsocket_ = invalid_socket;
  TSocketState state_ = wsClosed;
  std::string addr_, port_, proto_ = "tcp", localAddr_ = "0.0.0.0", localPort_ = "0";
  bool addrResolved_ = false, portResolved_ = false, protoResolved_ = false, localPortResolved_ = false;
  SockAddr sin_{};
  int protoNum_ = ipproto_tcp;
  int sockType_ = sock_stream;
  std::uint16_t localPortNum_ = 0;
  std::string dnsResult_;
  std::vector<std::string> dnsResultList_;
  LookupHandle lookup_ = 0;
  LookupHandle reverseLookup_ = 0;
  std::deque<TBuffer> bufList_;
  bool allSent_ = true;
  bool dataSentPending_ = false;  // data was queued since the last data-sent event
  bool closeInvoked_ = false;
  bool paused_ = false;
  unsigned selectMask_ = 0;
  bool destroying_ = false;
  bool terminated_ = false;
  std::int64_t readCount_ = 0;
  int lastError_ = 0;
  bool multiThreaded_ = false;
  unsigned options_ = 0;
  int flushTimeout_ = 60;
  TSocketSendFlags sendFlags_ = wsSendNormal;
  TSocketLingerOnOff lingerOnOff_ = wsLingerOn;
  int lingerTimeout_ = 0;
  std::function<void()> appPump_;
  std::uint64_t closeSerial_ = 0;  // counts the closes begun, to spot one nested in another
  // Expired once destroyed: code that calls out to a handler takes a reference and checks it when the handler
  // returns.
  base::WeakAnchor anchor_;
};

class TCustomSocksWSocket : public TCustomWSocket {
 public:
  explicit TCustomSocksWSocket(SocketApi& api) : TCustomWSocket(api) {}

  const std::string& SocksServer() const { return socksServer_; }
  void SetSocksServer(std::string_view v);
  const std::string& SocksPort() const { return socksPort_; }
  void SetSocksPort(std::string_view v);
  const std::string& SocksLevel() const { return socksLevel_; }
  void SetSocksLevel(std::string_view v);
  const std::string& SocksUsercode() const { return socksUser_; }
  void SetSocksUsercode(std::string_view v) { socksUser_ = v; }
  const std::string& SocksPassword() const { return socksPass_; }
  void SetSocksPassword(std::string_view v) { socksPass_ = v; }
  TSocksAuthentication SocksAuthentication() const { return socksAuth_; }
  void SetSocksAuthentication(TSocksAuthentication v) { socksAuth_ = v; }

  void Connect() override;
  void Listen() override;

  ErrorEvent OnSocksConnected;
  std::function<void(TCustomWSocket& sender, std::uint16_t error, const std::string& msg)> OnSocksError;
  std::function<void(TCustomWSocket& sender, TSocksAuthState state)> OnSocksAuthState;

  // Error numbers reported for SOCKS failures.
  static constexpr std::uint16_t socks_error_base = 20000;

 protected:
  void AssignDefaultValue() override;
  void TriggerSessionConnected(std::uint16_t error) override;
  void TriggerDataAvailable(std::uint16_t error) override;
  void TriggerSessionClosed(std::uint16_t error) override;
  bool HasHandler() const override { return SocksNegotiating() || TCustomWSocket::HasHandler(); }
  bool SocksNegotiating() const { return socksStep_ != SocksStep::Idle && socksStep_ != SocksStep::Connecting; }

 private:
  enum class SocksStep { Idle, Connecting, Greeting, Auth, Request, RequestRest, Reply4 };
  void SocksFailed(std::uint16_t code, const std::string& msg);
  void SocksSendRequest();
  void SocksDone();
  void Expect(std::size_t n) {
    want_ = n;
    got_.clear();
  }

  std::string socksServer_, socksPort_, socksLevel_ = "5", socksUser_, socksPass_;
  TSocksAuthentication socksAuth_ = socksNoAuthentication;
  std::string destAddr_, destPort_;
  SocksStep socksStep_ = SocksStep::Idle;
  std::size_t want_ = 0;
  std::vector<std::byte> got_;
};

class TCustomLineWSocket : public TCustomSocksWSocket {
 public:
  explicit TCustomLineWSocket(SocketApi& api) : TCustomSocksWSocket(api) {}

  bool LineMode() const { return lineMode_; }
  void SetLineMode(bool v);
  const std::string& LineEnd() const { return lineEnd_; }
  void SetLineEnd(std::string_view v) { lineEnd_ = v; }
  bool LineEcho() const { return lineEcho_; }
  void SetLineEcho(bool v) { lineEcho_ = v; }
  bool LineEdit() const { return lineEdit_; }
  void SetLineEdit(bool v) { lineEdit_ = v; }

  long RcvdCount() override;
  int Receive(void* buffer, int length) override;

 protected:
  void WndProc(unsigned msg, std::uintptr_t wparam, std::intptr_t lparam) override;
  void TriggerDataAvailable(std::uint16_t error) override;
  void TriggerSessionClosed(std::uint16_t error) override;
  void AssignDefaultValue() override;

 private:
  void EditLine(std::span<const char> in);
  void DeliverLines(std::uint16_t error, bool flushRest);

  bool lineMode_ = false;
  std::string lineEnd_ = "\r\n";
  bool lineEcho_ = false;
  bool lineEdit_ = false;
  std::string lineBuffer_;
  std::size_t lineLength_ = 0;  // length of the line offered to the handler
  std::size_t column_ = 0;
};

class TCustomSyncWSocket : public TCustomLineWSocket {
 public:
  explicit TCustomSyncWSocket(SocketApi& api) : TCustomLineWSocket(api) {}
  static constexpr int wait_timeout = 12001;
  // Pumps messages until `flag` is true; 0, or 12001 on time-out (ms, 0 = none) or quit.
  int WaitUntilReady(const bool& flag, int timeoutMs = 0);
};

class TWSocket : public TCustomSyncWSocket {
 public:
  explicit TWSocket(SocketApi& api) : TCustomSyncWSocket(api) {}
};

}  // namespace brevaro::net
