#include "net/httpcli.h"

#include <algorithm>
#include <chrono>

namespace brevaro::net {

using http::ResponseParser;

std::string_view HttpStateName(THttpState s) {
  switch (s) {
    case httpReady: return "Ready";
    case httpNotConnected: return "NotConnected";
    case httpResolvingHost: return "ResolvingHost";
    case httpHostResolved: return "HostResolved";
    case httpConnected: return "Connected";
    case httpWaitingHeader: return "WaitingHeader";
    case httpWaitingBody: return "WaitingBody";
    case httpAborting: return "Aborting";
  }
  return "?";
}

namespace {
std::string errorWithNumber(int err) { return WSocketErrorDesc(err) + " (Error #" + std::to_string(err) + ")"; }
}  // namespace

THttpCli::THttpCli(SocketApi& api) : api_(api) {
  SetClock(nullptr);
  socket_ = std::make_unique<TWSocket>(api);
  channel_ = api_.createChannel(*this);
  socket_->OnDnsLookupDone = [this](TCustomWSocket&, std::uint16_t e) { SocketDnsLookupDone(e); };
  socket_->OnSessionConnected = [this](TCustomWSocket&, std::uint16_t e) { SocketSessionConnected(e); };
  socket_->OnDataAvailable = [this](TCustomWSocket&, std::uint16_t e) { SocketDataAvailable(e); };
  socket_->OnDataSent = [this](TCustomWSocket&, std::uint16_t e) { SocketDataSent(e); };
  socket_->OnSessionClosed = [this](TCustomWSocket&, std::uint16_t e) { SocketSessionClosed(e); };
}

THttpCli::~THttpCli() {
  anchor_.expire();
  channel_.reset();
  socket_.reset();
}

void THttpCli::SetApplicationPump(std::function<void()> pump, std::function<void(std::uint32_t)> wait) {
  appPump_ = pump;
  appWait_ = std::move(wait);
  socket_->SetApplicationPump(std::move(pump));
}

void THttpCli::SetClock(std::function<std::uint64_t()> now_ms) {
  if (!now_ms) {
    now_ms = [] {
      return static_cast<std::uint64_t>(
          std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
              .count());
    };
  }
  clock_ = std::move(now_ms);
}

std::uint32_t THttpCli::UntilTimeLimit(std::uint32_t cap) const {
  const std::uint64_t now = clock_();
  std::uint64_t left = cap;
  const auto until = [&](std::uint64_t since, std::uint32_t limit) {
    if (limit == 0) return;
    const std::uint64_t end = since + limit;
    left = std::min<std::uint64_t>(left, end > now ? end - now : 0);
  };
  until(lastProgress_, idleTimeout_);
  until(requestStart_, totalTimeout_);
  return static_cast<std::uint32_t>(left);
}

bool THttpCli::CheckTimeLimits() {
  if (state_ == httpReady || state_ == httpAborting) return false;
  const std::uint64_t now = clock_();
  const bool idle = idleTimeout_ != 0 && now - lastProgress_ >= idleTimeout_;
  const bool total = totalTimeout_ != 0 && now - requestStart_ >= totalTimeout_;
  if (!idle && !total) return false;
  Abort();
  // The answer says why; the completion message reads these when it runs.
  requestDoneError_ = http::err_timed_out;
  reason_ = std::string(http::text_timed_out);
  return true;
}

void THttpCli::ChangeState(THttpState s) {
  if (state_ == s) return;
  state_ = s;
  if (s == httpReady) channel_->post(msg_request_done, requestId_);
  if (OnStateChange) OnStateChange(*this);
}

void THttpCli::handleMessage(unsigned msg, std::uintptr_t wparam, std::intptr_t) {
  if (wparam != requestId_) return;  // left over from an earlier request
  switch (msg) {
    case msg_request_done:
      if (state_ == httpReady && OnRequestDone) OnRequestDone(*this, requestType_, requestDoneError_);
      return;
    case msg_set_ready:
      if (state_ != httpReady) ChangeState(httpReady);
      return;
    case msg_restart:
      if (state_ != httpReady && state_ != httpAborting) StartConnection();
      return;
    default: return;
  }
}

// --- starting a request ---

void THttpCli::DoRequestAsync(THttpRequest rq) {
  if (state_ != httpReady) throw EHttpException(std::string(http::text_busy), http::err_busy);
  if (rq == httpPOST && !postDataStream_) throw EHttpException(std::string(http::text_no_data), http::err_no_data);
  if (auto field = http::findLineBreakField(s_); !field.empty())
    throw EHttpException("Invalid character in " + std::string(field), http::err_invalid_field);

  ++requestId_;
  requestStart_ = lastProgress_ = clock_();
  receivedHeader_.clear();
  authenticate_.clear();
  requestType_ = rq;
  requestDoneError_ = 0;
  redirectPending_ = false;
  doneStepRun_ = false;
  localFailure_ = false;
  postHeaderSent_ = postDone_ = postBegun_ = false;
  ChangeState(httpNotConnected);
  documentName_.clear();
  statusCode_ = 0;
  reason_.clear();
  receivedCount_ = 0;
  sentCount_ = 0;
  headerChunks_ = bodyChunks_ = 0;
  contentLength_ = -1;
  contentType_.clear();
  location_ = s_.url;
  redirects_ = 0;

  target_ = http::prepareTarget(s_);
  documentName_ = target_.documentName;
  StartConnection();
}

void THttpCli::StartConnection() {
  parser_.reset();
  ChangeState(httpResolvingHost);
  if (target_.connectHost.empty()) {
    LocalFailure(wsa::einval, std::string(http::text_cant_resolve));
    SessionClosedStep();
    return;
  }
  try {
    socket_->DnsLookup(target_.connectHost);
  } catch (const std::exception&) {
    if (state_ != httpResolvingHost) return;
    LocalFailure(wsa::host_not_found, std::string(http::text_cant_resolve));
    SessionClosedStep();
  }
}

void THttpCli::LocalFailure(int code, std::string reason) {
  requestDoneError_ = code;
  statusCode_ = 404;
  reason_ = std::move(reason);
  localFailure_ = true;
}

// --- socket events ---

void THttpCli::SocketDnsLookupDone(std::uint16_t error) {
  if (state_ != httpResolvingHost) return;
  Progress();
  if (error != 0) {
    LocalFailure(error, std::string(http::text_cant_resolve));
    SessionClosedStep();
    return;
  }
  ChangeState(httpHostResolved);
  try {
    socket_->SetAddr(socket_->DnsResult());
    socket_->SetPort(target_.connectPort);
    socket_->SetProto("tcp");
    socket_->SetMultiThreaded(multiThreaded_);
    socket_->Connect();
  } catch (const std::exception& e) {
    int err = socket_->LastError();
    // A failure found before any Winsock call (an unusable port, say) has no
    // Winsock number; it still must not end the request with code 0.
    LocalFailure(err ? err : wsa::einval,
                 err ? "can't connect: " + errorWithNumber(err) : std::string("can't connect: ") + e.what());
    try {
      socket_->Close();
    } catch (...) {
    }
    SessionClosedStep();
  }
}

void THttpCli::SocketSessionConnected(std::uint16_t error) {
  if (state_ != httpHostResolved) return;
  Progress();
  if (error != 0) {
    LocalFailure(error, errorWithNumber(error));
    SessionClosedStep();
    return;
  }
  ChangeState(httpConnected);
  if (OnSessionConnected) OnSessionConnected(*this);
  if (Stopped()) return;
  ChangeState(httpWaitingHeader);
  SendRequest();
}

void THttpCli::SendRequest() {
  const auto self = anchor_.ref(this);
  std::uint64_t postSize = 0;
  if (requestType_ == httpPOST && postDataStream_) {
    postSize = postDataStream_->Size();
    postDataStream_->Seek(0);
  }
  acceptRanges_.clear();
  http::RequestHooks hooks;
  hooks.headerBegin = [this] {
    if (OnRequestHeaderBegin) OnRequestHeaderBegin(*this);
  };
  hooks.command = [this](std::string& line) {
    if (OnCommand) OnCommand(*this, line);
  };
  hooks.headerEnd = [this] {
    if (OnRequestHeaderEnd) OnRequestHeaderEnd(*this);
  };
  std::string header = http::buildRequestHeader(static_cast<http::Method>(requestType_), s_, target_, postSize, hooks);
  if (!self.alive() || Stopped()) return;
  try {
    postHeaderSent_ = true;
    socket_->Send(header);
  } catch (const std::exception&) {
    try {
      socket_->Close();
    } catch (...) {
    }
  }
}

void THttpCli::SendNextPostChunk() {
  if (requestType_ != httpPOST || !postDataStream_ || postDone_ || !postHeaderSent_) return;
  if (!postBegun_) {
    postBegun_ = true;
    if (OnSendBegin) OnSendBegin(*this);
    if (Stopped()) return;
  }
  char buf[8192];
  std::size_t n = postDataStream_->Read(buf, sizeof buf);
  if (n == 0) {
    postDone_ = true;
    if (OnSendEnd) OnSendEnd(*this);
    return;
  }
  sentCount_ += static_cast<std::int64_t>(n);
  try {
    socket_->Send(buf, static_cast<int>(n));
  } catch (const std::exception&) {
    socket_->Close();
    return;
  }
  if (OnSendData) OnSendData(*this, buf, static_cast<int>(n));
}

void THttpCli::SocketDataSent(std::uint16_t) {
  if (Stopped()) return;
  Progress();
  if (state_ == httpWaitingHeader) SendNextPostChunk();
}

void THttpCli::SocketDataAvailable(std::uint16_t) {
  if (state_ != httpWaitingHeader && state_ != httpWaitingBody) {
    // Nothing is expected now (a redirect or an error is closing the connection): drop it.
    char scratch[1024];
    socket_->Receive(scratch, sizeof scratch);
    return;
  }
  if (parser_.freeSpace() == 0) {
    requestDoneError_ = http::err_line_too_long;
    throw EHttpException(std::string(http::text_line_too_long), http::err_line_too_long);
  }
  auto room = parser_.writable();
  int n = socket_->Receive(room.data(), static_cast<int>(room.size()));
  if (n <= 0) return;
  // A trickle that keeps the connection busy past the total limit ends
  // here, even when no wait of a synchronous call comes between its bytes.
  if (CheckTimeLimits()) return;
  Progress();
  HandleOutcome(parser_.commit(static_cast<std::size_t>(n), *this));
}

void THttpCli::HandleOutcome(ResponseParser::Outcome o) {
  switch (o) {
    case ResponseParser::Outcome::More:
    case ResponseParser::Outcome::Halted: return;
    case ResponseParser::Outcome::Close: socket_->Close(); return;
    case ResponseParser::Outcome::Failed:
      requestDoneError_ = parser_.error();
      if (statusCode_ < 400) {
        statusCode_ = 404;
        localFailure_ = true;
      }
      reason_ = std::string(parser_.errorText());
      socket_->Abort();
      return;
    case ResponseParser::Outcome::Redirect: {
      headerChunks_ = bodyChunks_ = 0;
      if (++redirects_ > http::max_redirects) {
        LocalFailure(http::err_too_many_redirects, std::string(http::text_too_many_redirects));
        socket_->Abort();
        return;
      }
      http::Target next = target_;
      if (!http::applyRedirect(next, parser_.locationValue())) {
        LocalFailure(http::err_bad_redirect, std::string(http::text_bad_redirect));
        socket_->Abort();
        return;
      }
      target_ = std::move(next);
      redirectPending_ = true;
      socket_->Close();
      return;
    }
  }
}

void THttpCli::SocketSessionClosed(std::uint16_t error) {
  if (redirectPending_) {
    redirectPending_ = false;
    if (Stopped()) return;
    location_ = target_.location;
    if (OnLocationChange) OnLocationChange(*this);
    if (Stopped()) return;
    channel_->post(msg_restart, requestId_);
    return;
  }
  if (Stopped()) return;
  if (state_ == httpWaitingHeader && !localFailure_ && requestDoneError_ == 0) {
    // A last header line without its line end (a headerless answer that closed at once).
    HandleOutcome(parser_.finish(*this));
    if (Stopped() || redirectPending_) return;
  }
  if (!localFailure_ && requestDoneError_ == 0 && statusCode_ < 400) {
    if (error != 0) {
      // Reset by the peer: whatever arrived is incomplete.
      LocalFailure(error, errorWithNumber(error));
    } else if (state_ == httpWaitingHeader) {
      LocalFailure(http::err_incomplete_header, std::string(http::text_incomplete_header));
    }
  }
  SessionClosedStep();
}

void THttpCli::SessionClosedStep() {
  if (doneStepRun_) return;
  doneStepRun_ = true;
  if (bodyChunks_ > 0 && OnDocEnd) OnDocEnd(*this);
  channel_->post(msg_set_ready, requestId_);
}

// --- response parser events ---

void THttpCli::headerBegin() {
  if (OnHeaderBegin) OnHeaderBegin(*this);
  if (Stopped()) parser_.halt();
}

void THttpCli::headerData() {
  ++headerChunks_;
  receivedHeader_ = parser_.headerLines();
  statusCode_ = parser_.statusCode();
  reason_ = parser_.reasonPhrase();
  contentLength_ = parser_.contentLength();
  contentType_ = parser_.contentType();
  acceptRanges_ = parser_.acceptRanges();
  authenticate_ = parser_.authenticate();
  if (auto& r = parser_.contentRange()) {
    s_.contentRangeBegin = r->first;
    s_.contentRangeEnd = r->second;
  }
  if (OnHeaderData) OnHeaderData(*this);
  if (Stopped()) parser_.halt();
}

void THttpCli::cookie(std::string_view value, bool& accept) {
  if (OnCookie) OnCookie(*this, std::string(value), accept);
  if (Stopped()) parser_.halt();
}

void THttpCli::headerEnd() {
  contentType_ = parser_.contentType();
  if (parser_.phase() == ResponseParser::Phase::Body) {
    if (documentName_.size() >= 4 && contentType_ == "text/html") {
      std::string ext = documentName_.substr(documentName_.size() - 4);
      for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      if (ext == ".exe") documentName_ = documentName_.substr(0, documentName_.size() - 3) + "htm";
    }
    ChangeState(httpWaitingBody);
  }
  if (OnHeaderEnd) OnHeaderEnd(*this);
  if (Stopped()) parser_.halt();
}

void THttpCli::body(std::span<const char> chunk) {
  if (chunk.empty()) return;
  if (bodyChunks_ == 0 && OnDocBegin) {
    OnDocBegin(*this);
    if (Stopped()) {
      parser_.halt();
      return;
    }
  }
  ++bodyChunks_;
  receivedCount_ += static_cast<std::int64_t>(chunk.size());
  if (receiveStream_) receiveStream_->Write(chunk.data(), chunk.size());
  if (OnDocData) OnDocData(*this, chunk.data(), static_cast<int>(chunk.size()));
  if (Stopped()) parser_.halt();
}

// --- public operations ---

void THttpCli::Abort() {
  if (state_ == httpReady) {
    if (socket_->State() != wsClosed) socket_->Close();
    return;
  }
  if (state_ == httpAborting) return;
  THttpState old = state_;
  ChangeState(httpAborting);
  parser_.halt();
  redirectPending_ = false;
  if (old == httpResolvingHost) {
    try {
      socket_->CancelLookup();
    } catch (...) {
    }
  }
  statusCode_ = 404;
  reason_ = std::string(http::text_aborted);
  requestDoneError_ = http::err_aborted;
  localFailure_ = true;
  if (old == httpResolvingHost || socket_->State() == wsClosed) {
    SessionClosedStep();
  } else {
    try {
      socket_->Close();
    } catch (...) {
    }
    SessionClosedStep();
  }
  ChangeState(httpReady);
}

void THttpCli::DoRequestSync(THttpRequest rq) {
  // The longest sleep between two looks at the limits and the quit state:
  // a safety net only, as every message and network event ends a sleep.
  constexpr std::uint32_t max_sleep_ms = 1000;
  const auto self = anchor_.ref(this);
  DoRequestAsync(rq);
  while (self.alive() && state_ != httpReady) {
    if (Quitting()) {
      // The application is ending: nothing may keep it waiting.
      Abort();
      break;
    }
    if (CheckTimeLimits()) break;
    const bool ownPump = multiThreaded_ || !appPump_;
    if (ownPump) {
      if (!api_.processMessages()) {
        // A quit message: stop waiting.
        Abort();
        break;
      }
    } else {
      appPump_();
    }
    if (!self.alive()) return;
    if (state_ == httpReady || Quitting()) continue;
    if (ownPump) api_.waitForEvent(UntilTimeLimit(max_sleep_ms));
    else if (appWait_) appWait_(UntilTimeLimit(max_sleep_ms));
  }
  if (!self.alive()) return;
  if (statusCode_ >= 400) throw EHttpException(reason_, statusCode_);
}

void THttpCli::Get() { DoRequestSync(httpGET); }
void THttpCli::Post() { DoRequestSync(httpPOST); }
void THttpCli::Head() { DoRequestSync(httpHEAD); }
void THttpCli::GetASync() { DoRequestAsync(httpGET); }
void THttpCli::PostASync() { DoRequestAsync(httpPOST); }
void THttpCli::HeadASync() { DoRequestAsync(httpHEAD); }

}  // namespace brevaro::net
