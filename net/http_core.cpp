#include "net/http_core.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace brevaro::net::http {
namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string toLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = lower(c);
  return out;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (lower(s[i]) != lower(prefix[i])) return false;
  return true;
}

bool hasControl(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](char c) {
    auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7f;
  });
}

std::string_view trimRight(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Parses a non-negative decimal number, surrounding blanks allowed.
std::optional<std::int64_t> parseCount(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  s = trimRight(s);
  if (s.empty()) return std::nullopt;
  std::int64_t v = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || p != s.data() + s.size() || v < 0) return std::nullopt;
  return v;
}

std::string absoluteUrl(const std::string& scheme, const std::string& host, const std::string& port,
                        const std::string& path) {
  std::string s = (scheme.empty() ? std::string("http") : scheme) + "://" + host;
  if (!port.empty()) s += ":" + port;
  s += path;
  return s;
}

}  // namespace

Url parseUrl(std::string_view text) {
  Url u;
  std::string_view rest;
  if (auto p = text.find("://"); p != std::string_view::npos) {
    u.scheme = std::string(text.substr(0, p));
    rest = text.substr(p + 3);
  } else if (!text.empty() && text.front() == '/') {
    u.scheme = "http";
    u.path = std::string(text);
    return u;
  } else if (startsWithNoCase(text, "http:")) {
    u.scheme = "http";
    rest = text.substr(5);
  } else if (startsWithNoCase(text, "mailto:")) {
    u.scheme = "mailto";
    rest = text.substr(7);
  } else {
    rest = text;
  }
  std::string_view authority = rest;
  if (auto slash = rest.find('/'); slash != std::string_view::npos) {
    u.path = std::string(rest.substr(slash));
    authority = rest.substr(0, slash);
  }
  if (auto at = authority.rfind('@'); at != std::string_view::npos) {
    std::string_view info = authority.substr(0, at);
    authority = authority.substr(at + 1);
    if (auto colon = info.find(':'); colon != std::string_view::npos) {
      u.user = std::string(info.substr(0, colon));
      u.password = std::string(info.substr(colon + 1));
    } else {
      u.user = std::string(info);
    }
  }
  if (auto colon = authority.rfind(':'); colon != std::string_view::npos) {
    u.host = std::string(authority.substr(0, colon));
    u.port = std::string(authority.substr(colon + 1));
  } else {
    u.host = std::string(authority);
  }
  return u;
}

std::string base64Encode(std::string_view data) {
  static constexpr char table[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= data.size(); i += 3) {
    auto a = static_cast<unsigned char>(data[i]);
    auto b = static_cast<unsigned char>(data[i + 1]);
    auto c = static_cast<unsigned char>(data[i + 2]);
    out += table[a >> 2];
    out += table[((a & 3) << 4) | (b >> 4)];
    out += table[((b & 15) << 2) | (c >> 6)];
    out += table[c & 63];
  }
  if (std::size_t left = data.size() - i; left > 0) {
    auto a = static_cast<unsigned char>(data[i]);
    auto b = left > 1 ? static_cast<unsigned char>(data[i + 1]) : 0u;
    out += table[a >> 2];
    out += table[((a & 3) << 4) | (b >> 4)];
    out += left > 1 ? table[(b & 15) << 2] : '=';
    out += '=';
  }
  return out;
}

std::string formatModifiedSince(const DateTimeFields& t) {
  static constexpr std::string_view days = "MonTueWedThuFriSatSun";
  static constexpr std::string_view months = "JanFebMarAprMayJunJulAugSepOctNovDec";
  // Day of the week (Sakamoto), 0 = Sunday.
  static constexpr std::array<int, 12> offs{0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  int month = std::clamp(t.month, 1, 12);
  int y = t.year - (month < 3 ? 1 : 0);
  int dow = (y + y / 4 - y / 100 + y / 400 + offs[static_cast<std::size_t>(month - 1)] + t.day) % 7;
  if (dow < 0) dow += 7;
  int monIndex = (dow + 6) % 7;  // 0 = Monday
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.3s, %2.2d %.3s %4.4d %2.2d:%2.2d:%2.2d GMT", days.data() + monIndex * 3, t.day,
                months.data() + (month - 1) * 3, t.year, t.hour, t.minute, t.second);
  return buf;
}

std::string documentName(std::string_view path) {
  if (auto q = path.find('?'); q != std::string_view::npos) path = path.substr(0, q);
  if (path.empty() || path == "/") return "document.htm";
  if (path.back() == '/') path.remove_suffix(1);
  if (auto slash = path.rfind('/'); slash != std::string_view::npos) path = path.substr(slash + 1);
  path = path.substr(0, std::min<std::size_t>(path.size(), 255));
  if (path.empty()) return "document.htm";
  return std::string(path);
}

bool hasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

std::string_view methodName(Method m) {
  switch (m) {
    case Method::Post: return "POST";
    case Method::Head: return "HEAD";
    case Method::Get: break;
  }
  return "GET";
}

std::string_view findLineBreakField(const RequestSettings& s) {
  const std::pair<std::string_view, const std::string*> fields[] = {
      {"URL", &s.url},
      {"Proxy", &s.proxy},
      {"ProxyPort", &s.proxyPort},
      {"Sender", &s.sender},
      {"Agent", &s.agent},
      {"Accept", &s.accept},
      {"Reference", &s.reference},
      {"Username", &s.username},
      {"Password", &s.password},
      {"ProxyUsername", &s.proxyUsername},
      {"ProxyPassword", &s.proxyPassword},
      {"Cookie", &s.cookie},
      {"ContentTypePost", &s.contentTypePost},
      {"ContentRangeBegin", &s.contentRangeBegin},
      {"ContentRangeEnd", &s.contentRangeEnd},
  };
  for (const auto& [name, value] : fields)
    if (hasLineBreak(*value)) return name;
  return {};
}

Target prepareTarget(RequestSettings& settings) {
  Target t;
  Url url = parseUrl(settings.url);
  t.scheme = url.scheme.empty() ? "http" : url.scheme;
  t.hostHeader = url.host;
  t.hostPort = url.port;
  t.location = settings.url;
  if (!url.user.empty()) {
    settings.username = url.user;
    settings.password = url.password;
  }
  std::string path = url.path.empty() ? std::string("/") : url.path;
  t.documentName = documentName(url.path);
  if (settings.proxy.empty()) {
    t.connectHost = url.host;
    t.connectPort = url.port.empty() ? std::string("80") : url.port;
    t.requestPath = path;
  } else {
    t.viaProxy = true;
    t.requestPath = absoluteUrl(t.scheme, url.host, url.port, path);
    Url proxy = parseUrl(settings.proxy);
    t.connectHost = proxy.host;
    t.connectPort = proxy.port.empty() ? settings.proxyPort : proxy.port;
  }
  return t;
}

std::string buildRequestHeader(Method method, RequestSettings& s, const Target& target, std::uint64_t postSize,
                               const RequestHooks& hooks) {
  std::string out;
  auto put = [&](std::string line) {
    if (hooks.command) hooks.command(line);
    out += line;
    out += "\r\n";
  };
  if (hooks.headerBegin) hooks.headerBegin();
  put(std::string(methodName(method)) + " " + target.requestPath + " HTTP/1.0");
  if (!s.sender.empty()) put("From: " + s.sender);
  if (!s.accept.empty()) put("Accept: " + s.accept);
  if (!s.reference.empty()) put("Referer: " + s.reference);
  if (method == Method::Post && !s.contentTypePost.empty()) put("Content-Type: " + s.contentTypePost);
  if (!s.agent.empty()) put("User-Agent: " + s.agent);
  put("Host: " + target.hostHeader);
  if (s.noCache) put("Pragma: no-cache");
  if (method == Method::Post) put("Content-Length: " + std::to_string(postSize));
  if (s.modifiedSince) put("If-Modified-Since: " + formatModifiedSince(*s.modifiedSince));
  if (!s.username.empty()) put("Authorization: Basic " + base64Encode(s.username + ":" + s.password));
  if (!s.proxy.empty() && !s.proxyUsername.empty())
    put("Proxy-Authorization: Basic " + base64Encode(s.proxyUsername + ":" + s.proxyPassword));
  if (!s.cookie.empty()) put("Cookie: " + s.cookie);
  if (!s.contentRangeBegin.empty() || !s.contentRangeEnd.empty()) {
    put("Range: bytes=" + s.contentRangeBegin + "-" + s.contentRangeEnd);
    s.contentRangeBegin.clear();
    s.contentRangeEnd.clear();
  }
  if (hooks.headerEnd) hooks.headerEnd();
  put("");
  return out;
}

bool applyRedirect(Target& t, std::string_view raw) {
  std::string_view value = trimRight(raw);
  if (value.empty() || hasControl(value)) return false;

  // The path part of the current request, to resolve relative values against.
  std::string currentPath = t.requestPath;
  if (t.viaProxy) currentPath = parseUrl(t.requestPath).path;
  if (currentPath.empty()) currentPath.push_back('/');

  std::string scheme = t.scheme;
  std::string host = t.hostHeader;
  std::string port = t.hostPort;
  std::string path;
  bool sameServer = true;
  if (value.front() == '/') {
    path = std::string(value);
  } else if (value.find("://") != std::string_view::npos || startsWithNoCase(value, "http:")) {
    Url u = parseUrl(value);
    if (!u.host.empty()) {
      sameServer = false;
      scheme = u.scheme.empty() ? "http" : u.scheme;
      host = u.host;
      port = u.port;
    }
    path = u.path.empty() ? std::string("/") : u.path;
  } else {
    // A bare relative reference: resolve against the directory of the current path.
    std::string_view dir = currentPath;
    if (auto q = dir.find('?'); q != std::string_view::npos) dir = dir.substr(0, q);
    dir = dir.substr(0, dir.rfind('/') + 1);
    path = std::string(dir) + std::string(value);
  }
  if (host.empty()) return false;

  if (t.viaProxy) {
    t.requestPath = absoluteUrl(scheme, host, port, path);
  } else {
    t.requestPath = path;
    if (!sameServer) {
      t.connectHost = host;
      t.connectPort = port.empty() ? std::string("80") : port;
    }
  }
  t.scheme = scheme;
  t.hostHeader = host;
  t.hostPort = port;
  std::string shownPort = port;
  if (!t.viaProxy && sameServer && shownPort.empty() && t.connectPort != "80") shownPort = t.connectPort;
  t.location = absoluteUrl(scheme, host, shownPort, path);
  return true;
}

// ---------------------------------------------------------------------------

void ResponseParser::reset() {
  if (buffer_.size() != body_read_size) buffer_.assign(body_read_size, '\0');
  fill_ = 0;
  phase_ = Phase::Header;
  begun_ = false;
  halted_ = false;
  statusCode_ = 0;
  reason_.clear();
  contentLength_ = -1;
  contentType_.clear();
  acceptRanges_.clear();
  contentRange_.reset();
  locationSeen_ = false;
  location_.clear();
  headerLines_.clear();
  authenticate_.clear();
  headerBytes_ = 0;
  error_ = 0;
}

std::string_view ResponseParser::errorText() const {
  switch (error_) {
    case err_line_too_long: return text_line_too_long;
    case err_header_too_large: return text_header_too_large;
    case err_bad_status_line: return text_bad_status_line;
    default: return {};
  }
}

ResponseParser::Outcome ResponseParser::commit(std::size_t count, Handler& handler) {
  fill_ += std::min(count, freeSpace());
  return process(handler);
}

ResponseParser::Outcome ResponseParser::feed(std::span<const char> data, Handler& handler, std::size_t* used) {
  std::size_t n = std::min(data.size(), freeSpace());
  if (n > 0) std::memcpy(buffer_.data() + fill_, data.data(), n);
  if (used) *used = n;
  return commit(n, handler);
}

ResponseParser::Outcome ResponseParser::process(Handler& handler) {
  if (error_) return Outcome::Failed;
  if (halted_) return Outcome::Halted;
  std::size_t pos = 0;
  auto compact = [&] {
    if (pos > 0) {
      std::memmove(buffer_.data(), buffer_.data() + pos, fill_ - pos);
      fill_ -= pos;
      pos = 0;
    }
  };
  while (phase_ == Phase::Header && pos < fill_) {
    const char* start = buffer_.data() + pos;
    const void* lf = std::memchr(start, '\n', fill_ - pos);
    if (!lf) break;
    std::size_t len = static_cast<std::size_t>(static_cast<const char*>(lf) - start);
    std::size_t total = len + 1;
    std::string_view line(start, len);
    std::string_view lineEnd(start + len, 1);
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
      lineEnd = std::string_view(start + len - 1, 2);
    }
    headerBytes_ += total;
    if (headerBytes_ > max_header_bytes) return fail(err_header_too_large);
    // The line's bytes stay valid until compaction; handleLine copies what it keeps.
    pos += total;
    Outcome o = handleLine(line, lineEnd, handler);
    if (o != Outcome::More) {
      // After an error status or a redirect nothing more of this answer is handled.
      if (o == Outcome::Close || o == Outcome::Redirect) halted_ = true;
      compact();
      return o;
    }
  }
  compact();
  if (phase_ == Phase::Header) {
    if (fill_ >= receive_buffer_size) return fail(err_line_too_long);
    if (headerBytes_ + fill_ > max_header_bytes) return fail(err_header_too_large);
    return Outcome::More;
  }
  if (fill_ > 0) {
    std::span<const char> chunk(buffer_.data(), fill_);
    fill_ = 0;
    handler.body(chunk);
    if (halted_) return Outcome::Halted;
  }
  return Outcome::More;
}

ResponseParser::Outcome ResponseParser::handleLine(std::string_view line, std::string_view lineEnd, Handler& handler) {
  if (!begun_) {
    begun_ = true;
    handler.headerBegin();
    if (halted_) return Outcome::Halted;
  }
  if (line.size() >= 6) {
    bool html = true;
    static constexpr std::string_view tag = "<HTML>";
    for (std::size_t i = 0; i < 6; ++i)
      if (upper(line[i]) != tag[i]) html = false;
    if (html) {
      if (contentType_.empty()) contentType_ = "text/html";
      phase_ = Phase::Body;
      // Keep a copy: the body callback below may not see the buffer bytes again.
      std::string first(line);
      first += lineEnd;
      handler.headerEnd();
      if (halted_) return Outcome::Halted;
      handler.body(std::span<const char>(first.data(), first.size()));
      if (halted_) return Outcome::Halted;
      return Outcome::More;
    }
  }
  if (line.empty()) {
    if (locationSeen_) {
      handler.headerEnd();
      return halted_ ? Outcome::Halted : Outcome::Redirect;
    }
    phase_ = Phase::Body;
    handler.headerEnd();
    return halted_ ? Outcome::Halted : Outcome::More;
  }
  headerLines_.emplace_back(line);
  if (headerLines_.size() > max_header_lines) return fail(err_header_too_large);
  if (line.starts_with("HTTP/1.0") || line.starts_with("HTTP/1.1")) {
    if (line.size() < 12) return fail(err_bad_status_line);
    int code = 0;
    for (std::size_t i = 9; i < 12; ++i) {
      if (line[i] < '0' || line[i] > '9') return fail(err_bad_status_line);
      code = code * 10 + (line[i] - '0');
    }
    statusCode_ = code;
    reason_ = line.size() > 13 ? std::string(line.substr(13)) : std::string();
  } else if (auto colon = line.find(':'); colon != std::string_view::npos) {
    std::string name = toLower(line.substr(0, colon));
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    if (name == "location") {
      locationSeen_ = true;
      location_ = std::string(value);
    } else if (name == "content-length") {
      if (auto n = parseCount(value)) contentLength_ = *n;
    } else if (name == "content-range") {
      // "bytes FIRST-LAST/TOTAL"
      if (value.size() > 6) {
        std::string_view r = value.substr(6);
        auto dash = r.find('-');
        auto slash = r.find('/');
        if (dash != std::string_view::npos && slash != std::string_view::npos && dash < slash)
          contentRange_.emplace(std::string(r.substr(0, dash)), std::string(r.substr(dash + 1, slash - dash - 1)));
      }
    } else if (name == "accept-ranges") {
      acceptRanges_ = std::string(value);
    } else if (name == "content-type") {
      contentType_ = toLower(value);
    } else if (name == "www-authenticate") {
      authenticate_.emplace_back(value);
    } else if (name == "set-cookie") {
      bool accept = true;
      handler.cookie(value, accept);
      if (halted_) return Outcome::Halted;
    }
  }
  handler.headerData();
  if (halted_) return Outcome::Halted;
  if (statusCode_ >= 400) return Outcome::Close;
  return Outcome::More;
}

ResponseParser::Outcome ResponseParser::finish(Handler& handler) {
  if (error_) return Outcome::Failed;
  if (halted_) return Outcome::Halted;
  if (phase_ != Phase::Header || fill_ == 0) return Outcome::More;
  std::string line(buffer_.data(), fill_);
  fill_ = 0;
  std::string_view lv = line;
  if (!lv.empty() && lv.back() == '\r') lv.remove_suffix(1);
  headerBytes_ += line.size();
  if (headerBytes_ > max_header_bytes) return fail(err_header_too_large);
  Outcome o = handleLine(lv, std::string_view(line).substr(lv.size()), handler);
  if (o == Outcome::Close || o == Outcome::Redirect) halted_ = true;
  if (o == Outcome::More && phase_ == Phase::Body) return process(handler);
  return o;
}

}  // namespace brevaro::net::http
