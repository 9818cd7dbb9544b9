// THttpCli: fetches one document at a time over HTTP/1.0, directly or through
// an HTTP proxy, on top of TWSocket. Everything runs on the owning thread; the
// synchronous Get/Post/Head wait by pumping messages.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/weak_ref.h"
#include "net/http_core.h"
#include "net/socket_api.h"
#include "net/stream.h"
#include "net/wsocket.h"

namespace brevaro::net {

class EHttpException : public std::runtime_error {
 public:
  EHttpException(const std::string& msg, int code) : std::runtime_error(msg), code_(static_cast<std::uint16_t>(code)) {}
  int ErrorCode() const { return code_; }

 private:
  std::uint16_t code_;
};

enum THttpState {
  httpReady,
  httpNotConnected,
  httpResolvingHost,
  httpHostResolved,
  httpConnected,
  httpWaitingHeader,
  httpWaitingBody,
  httpAborting
};
enum THttpRequest { httpGET, httpPOST, httpHEAD };

std::string_view HttpStateName(THttpState s);

class THttpCli : private MessageSink, private http::ResponseParser::Handler {
 public:
  static constexpr unsigned msg_request_done = 1;
  static constexpr unsigned msg_set_ready = 2;
  static constexpr unsigned msg_restart = 3;

  using NotifyEvent = std::function<void(THttpCli& sender)>;

  explicit THttpCli(SocketApi& api);
  ~THttpCli() override;
  THttpCli(const THttpCli&) = delete;
  THttpCli& operator=(const THttpCli&) = delete;

  // --- published properties ---
  const std::string& URL() const { return s_.url; }
  void SetURL(std::string_view v) { s_.url = v; }
  const std::string& Proxy() const { return s_.proxy; }
  void SetProxy(std::string_view v) { s_.proxy = v; }
  const std::string& ProxyPort() const { return s_.proxyPort; }
  void SetProxyPort(std::string_view v) { s_.proxyPort = v; }
  const std::string& Sender() const { return s_.sender; }
  void SetSender(std::string_view v) { s_.sender = v; }
  const std::string& Agent() const { return s_.agent; }
  void SetAgent(std::string_view v) { s_.agent = v; }
  const std::string& Accept() const { return s_.accept; }
  void SetAccept(std::string_view v) { s_.accept = v; }
  const std::string& Reference() const { return s_.reference; }
  void SetReference(std::string_view v) { s_.reference = v; }
  const std::string& Username() const { return s_.username; }
  void SetUsername(std::string_view v) { s_.username = v; }
  const std::string& Password() const { return s_.password; }
  void SetPassword(std::string_view v) { s_.password = v; }
  const std::string& ProxyUsername() const { return s_.proxyUsername; }
  void SetProxyUsername(std::string_view v) { s_.proxyUsername = v; }
  const std::string& ProxyPassword() const { return s_.proxyPassword; }
  void SetProxyPassword(std::string_view v) { s_.proxyPassword = v; }
  bool NoCache() const { return s_.noCache; }
  void SetNoCache(bool v) { s_.noCache = v; }
  const std::optional<http::DateTimeFields>& ModifiedSince() const { return s_.modifiedSince; }
  void SetModifiedSince(std::optional<http::DateTimeFields> v) { s_.modifiedSince = v; }
  const std::string& Cookie() const { return s_.cookie; }
  void SetCookie(std::string_view v) { s_.cookie = v; }
  const std::string& ContentTypePost() const { return s_.contentTypePost; }
  void SetContentTypePost(std::string_view v) { s_.contentTypePost = v; }
  const std::string& ContentRangeBegin() const { return s_.contentRangeBegin; }
  void SetContentRangeBegin(std::string_view v) { s_.contentRangeBegin = v; }
  const std::string& ContentRangeEnd() const { return s_.contentRangeEnd; }
  void SetContentRangeEnd(std::string_view v) { s_.contentRangeEnd = v; }
  const std::string& AcceptRanges() const { return acceptRanges_; }
  bool MultiThreaded() const { return multiThreaded_; }
  void SetMultiThreaded(bool v) {
    multiThreaded_ = v;
    socket_->SetMultiThreaded(v);
  }
  // The application's "process pending messages" (used while MultiThreaded
  // is false) and, with it, how the synchronous calls then sleep until the
  // next message or network event (the socket API's waitForEvent, say). A
  // pump given without a wait is called again at once.
  void SetApplicationPump(std::function<void()> pump, std::function<void(std::uint32_t max_ms)> wait = nullptr);
  // True once the application is ending (its quit message seen, its main
  // window closed): a synchronous call then aborts its transfer and returns.
  void SetQuitting(std::function<bool()> quitting) { quitting_ = std::move(quitting); }
  // Time limits of a transfer, in milliseconds (0 = none): no progress (a
  // step of the connection, a byte sent or received) for IdleTimeout, or
  // longer than TotalTimeout from the start of the request (redirects
  // included), and it is aborted with err_timed_out. Checked while a
  // synchronous call waits and at every network event.
  std::uint32_t IdleTimeout() const { return idleTimeout_; }
  void SetIdleTimeout(std::uint32_t ms) { idleTimeout_ = ms; }
  std::uint32_t TotalTimeout() const { return totalTimeout_; }
  void SetTotalTimeout(std::uint32_t ms) { totalTimeout_ = ms; }
  // The millisecond clock the limits are measured on (steady time by default).
  void SetClock(std::function<std::uint64_t()> now_ms);

  // --- run-time state ---
  TStream* ReceiveStream() const { return receiveStream_; }
  void SetReceiveStream(TStream* s) { receiveStream_ = s; }
  TStream* PostDataStream() const { return postDataStream_; }
  void SetPostDataStream(TStream* s) { postDataStream_ = s; }
  int StatusCode() const { return statusCode_; }
  const std::string& ReasonPhrase() const { return reason_; }
  std::int64_t ContentLength() const { return contentLength_; }
  const std::string& ContentType() const { return contentType_; }
  const std::string& Location() const { return location_; }
  const std::string& DocumentName() const { return documentName_; }
  const std::vector<std::string>& ReceivedHeader() const { return receivedHeader_; }
  std::int64_t ReceivedCount() const { return receivedCount_; }
  std::int64_t SentCount() const { return sentCount_; }
  int RequestDoneError() const { return requestDoneError_; }
  THttpState State() const { return state_; }
  const std::vector<std::string>& WWWAuthenticate() const { return authenticate_; }
  TWSocket& CtrlSocket() { return *socket_; }

  // --- operations ---
  void Get();
  void Post();
  void Head();
  void GetASync();
  void PostASync();
  void HeadASync();
  void Abort();
  // Aborts the transfer with err_timed_out when a time limit has passed;
  // true when it did.
  bool CheckTimeLimits();

  // --- events ---
  NotifyEvent OnTrace;
  NotifyEvent OnSessionConnected;
  NotifyEvent OnHeaderData;
  std::function<void(THttpCli& sender, std::string& line)> OnCommand;
  NotifyEvent OnHeaderBegin;
  NotifyEvent OnHeaderEnd;
  NotifyEvent OnRequestHeaderBegin;
  NotifyEvent OnRequestHeaderEnd;
  NotifyEvent OnDocBegin;
  std::function<void(THttpCli& sender, const char* buffer, int length)> OnDocData;
  NotifyEvent OnDocEnd;
  NotifyEvent OnSendBegin;
  std::function<void(THttpCli& sender, const char* buffer, int length)> OnSendData;
  NotifyEvent OnSendEnd;
  NotifyEvent OnStateChange;
  std::function<void(THttpCli& sender, THttpRequest request, int error)> OnRequestDone;
  NotifyEvent OnLocationChange;
  std::function<void(THttpCli& sender, const std::string& value, bool& accept)> OnCookie;

 private:
  // MessageSink
  void handleMessage(unsigned msg, std::uintptr_t wparam, std::intptr_t lparam) override;
  // ResponseParser::Handler
  void headerBegin() override;
  void headerData() override;
  void cookie(std::string_view value, bool& accept) override;
  void headerEnd() override;
  void body(std::span<const char> chunk) override;

  void DoRequestAsync(THttpRequest rq);
  void DoRequestSync(THttpRequest rq);
  void StartConnection();
  void ChangeState(THttpState s);
  void LocalFailure(int code, std::string reason);
  void SessionClosedStep();
  void SendRequest();
  void SendNextPostChunk();
  void HandleOutcome(http::ResponseParser::Outcome o);
  bool Stopped() const { return state_ == httpReady || state_ == httpAborting; }
  bool Quitting() const { return quitting_ && quitting_(); }
  void Progress() { lastProgress_ = clock_(); }
  // Milliseconds until the nearer time limit (`cap` when there is none).
  std::uint32_t UntilTimeLimit(std::uint32_t cap) const;

  void SocketDnsLookupDone(std::uint16_t error);
  void SocketSessionConnected(std::uint16_t error);
  void SocketDataAvailable(std::uint16_t error);
  void SocketDataSent(std::uint16_t error);
  void SocketSessionClosed(std::uint16_t error);

  SocketApi& api_;
  std::unique_ptr<TWSocket> socket_;
  std::unique_ptr<Channel> channel_;
  base::WeakAnchor anchor_;  // expired once destroyed; checked after calls out to handlers
  std::function<void()> appPump_;
  std::function<void(std::uint32_t)> appWait_;
  std::function<bool()> quitting_;
  std::function<std::uint64_t()> clock_;
  std::uint32_t idleTimeout_ = 0;
  std::uint32_t totalTimeout_ = 0;
  std::uint64_t requestStart_ = 0;
  std::uint64_t lastProgress_ = 0;

  http::RequestSettings s_;
  http::Target target_;
  http::ResponseParser parser_;
  THttpRequest requestType_ = httpGET;
  THttpState state_ = httpReady;
  bool multiThreaded_ = false;
  std::uintptr_t requestId_ = 0;

  TStream* receiveStream_ = nullptr;
  TStream* postDataStream_ = nullptr;
  int statusCode_ = 0;
  std::string reason_;
  std::int64_t contentLength_ = -1;
  std::string contentType_;
  std::string location_;
  std::string documentName_;
  std::string acceptRanges_;
  std::vector<std::string> receivedHeader_;
  std::vector<std::string> authenticate_;
  std::int64_t receivedCount_ = 0;
  std::int64_t sentCount_ = 0;
  int requestDoneError_ = 0;
  int headerChunks_ = 0;
  int bodyChunks_ = 0;
  int redirects_ = 0;
  bool redirectPending_ = false;
  bool doneStepRun_ = false;
  bool localFailure_ = false;
  bool postHeaderSent_ = false;
  bool postDone_ = false;
  bool postBegun_ = false;
};

}  // namespace brevaro::net
