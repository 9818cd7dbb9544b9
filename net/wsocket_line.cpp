// Line mode: received data is cut at LineEnd and offered one line at a time.
#include <algorithm>
#include <cstring>

#include "net/wsocket.h"

namespace brevaro::net {

// ---------------------------------------------------------------------------
// TCustomLineWSocket

void TCustomLineWSocket::AssignDefaultValue() {
  TCustomSocksWSocket::AssignDefaultValue();
  lineLength_ = 0;
}

void TCustomLineWSocket::SetLineMode(bool v) {
  if (v == lineMode_) return;
  lineMode_ = v;
  if (!lineBuffer_.empty()) channel_->post(msg_line_deliver);
}

long TCustomLineWSocket::RcvdCount() {
  if (!lineMode_) return TCustomSocksWSocket::RcvdCount();
  return static_cast<long>(lineLength_);
}

int TCustomLineWSocket::Receive(void* buffer, int length) {
  if (!lineMode_ && lineBuffer_.empty()) return TCustomSocksWSocket::Receive(buffer, length);
  std::size_t avail = lineMode_ ? lineLength_ : lineBuffer_.size();
  if (avail == 0) {
    if (lineMode_) {
      lastError_ = wsa::ewouldblock;
      return -1;
    }
    return TCustomSocksWSocket::Receive(buffer, length);
  }
  std::size_t n = std::min<std::size_t>(avail, static_cast<std::size_t>(std::max(length, 0)));
  std::memcpy(buffer, lineBuffer_.data(), n);
  lineBuffer_.erase(0, n);
  if (lineMode_) lineLength_ -= n;
  return static_cast<int>(n);
}

void TCustomLineWSocket::EditLine(std::span<const char> in) {
  for (char c : in) {
    if (lineEdit_ && c == '\b') {
      if (!lineBuffer_.empty() && lineBuffer_.back() != '\n') {
        lineBuffer_.pop_back();
        if (column_ > 0) --column_;
      }
      continue;
    }
    if (lineEdit_ && c == '\t') {
      std::size_t spaces = 8 - column_ % 8;
      lineBuffer_.append(spaces, ' ');
      column_ += spaces;
      continue;
    }
    lineBuffer_ += c;
    column_ = (c == '\n' || c == '\r') ? 0 : column_ + 1;
  }
}

void TCustomLineWSocket::DeliverLines(std::uint16_t error, bool flushRest) {
  const auto self = anchor_.ref(this);
  while (lineMode_ && !lineEnd_.empty()) {
    std::size_t pos = lineBuffer_.find(lineEnd_);
    if (pos == std::string::npos) {
      if (!flushRest || lineBuffer_.empty()) return;
      lineLength_ = lineBuffer_.size();
    } else {
      lineLength_ = pos + lineEnd_.size();
    }
    while (lineLength_ > 0) {
      std::size_t before = lineLength_;
      if (OnDataAvailable) OnDataAvailable(*this, error);
      if (!self.alive()) return;
      if (lineLength_ == before) break;  // the handler did not take anything
    }
    if (lineLength_ > 0) {
      // Not taken (or no handler): the line is dropped.
      lineBuffer_.erase(0, lineLength_);
      lineLength_ = 0;
    }
  }
}

void TCustomLineWSocket::TriggerDataAvailable(std::uint16_t error) {
  if (!lineMode_ || SocksNegotiating()) {
    TCustomSocksWSocket::TriggerDataAvailable(error);
    return;
  }
  char buf[4096];
  for (;;) {
    int n = RawReceive(buf, sizeof buf);
    if (n <= 0) {
      if (n < 0 && lastError_ == wsa::ewouldblock) lastError_ = 0;
      break;
    }
    std::size_t old = lineBuffer_.size();
    EditLine(std::span<const char>(buf, static_cast<std::size_t>(n)));
    if (lineEcho_ && state_ == wsConnected) {
      std::string echo = lineBuffer_.substr(old);
      if (!echo.empty()) Send(echo.data(), static_cast<int>(echo.size()));
    }
    if (n < static_cast<int>(sizeof buf)) break;
  }
  DeliverLines(error, false);
}

void TCustomLineWSocket::TriggerSessionClosed(std::uint16_t error) {
  if (lineMode_ && !lineBuffer_.empty()) DeliverLines(error, true);
  TCustomSocksWSocket::TriggerSessionClosed(error);
}

void TCustomLineWSocket::WndProc(unsigned msg, std::uintptr_t wparam, std::intptr_t lparam) {
  if (msg == msg_line_deliver) {
    if (lineMode_) DeliverLines(0, false);
    else if (!lineBuffer_.empty() && OnDataAvailable) OnDataAvailable(*this, 0);
    return;
  }
  TCustomSocksWSocket::WndProc(msg, wparam, lparam);
}

}  // namespace brevaro::net
