// The HTTP/1.0 protocol of the HTTP client without any I/O: URL parsing, the
// request header assembled byte for byte, the response parser (status line,
// header table, headerless "<HTML>" answers) and redirect resolution.
// Bytes go in, events and decisions come out; THttpCli drives it over a socket.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace brevaro::net::http {

// Result codes of a request (RequestDoneError and EHttpException codes).
inline constexpr int err_none = 0;
inline constexpr int err_busy = 1;                // exception only
inline constexpr int err_no_data = 2;             // exception only
inline constexpr int err_aborted = 3;             // "Connection aborted on request"
inline constexpr int err_line_too_long = 4;       // header line longer than the receive buffer
inline constexpr int err_header_too_large = 5;    // header block over 64 KiB or 100 lines
inline constexpr int err_too_many_redirects = 6;  // the eleventh redirect
inline constexpr int err_invalid_field = 7;       // CR or LF in a request field (exception only)
inline constexpr int err_bad_status_line = 8;     // status line without a numeric status
inline constexpr int err_bad_redirect = 9;        // location value with control characters
inline constexpr int err_incomplete_header = 10;  // the server closed before the header ended
inline constexpr int err_timed_out = 11;          // no progress for the idle limit, or past the total limit

inline constexpr std::string_view text_busy = "HTTP component is busy";
inline constexpr std::string_view text_no_data = "HTTP component has nothing to post";
inline constexpr std::string_view text_aborted = "Connection aborted on request";
inline constexpr std::string_view text_line_too_long = "HTTP line too long";
inline constexpr std::string_view text_header_too_large = "HTTP header too large";
inline constexpr std::string_view text_too_many_redirects = "Too many redirects";
inline constexpr std::string_view text_bad_status_line = "Invalid HTTP status line";
inline constexpr std::string_view text_bad_redirect = "Invalid redirect location";
inline constexpr std::string_view text_incomplete_header = "Connection closed before the HTTP header was complete";
inline constexpr std::string_view text_cant_resolve = "can't resolve hostname to IP address";
inline constexpr std::string_view text_timed_out = "Transfer timed out";

inline constexpr std::size_t receive_buffer_size = 8192;  // a header line must fit in it
inline constexpr std::size_t body_read_size = 64 * 1024;  // body bytes are read in pieces of up to this size
inline constexpr std::size_t max_header_bytes = 64 * 1024;
inline constexpr std::size_t max_header_lines = 100;
inline constexpr int max_redirects = 10;

struct Url {
  std::string scheme;
  std::string user;
  std::string password;
  std::string host;
  std::string port;
  std::string path;
};

// Splits a URL, a proxy value or a location value into its parts.
Url parseUrl(std::string_view text);

// Standard Base64 with "=" padding.
std::string base64Encode(std::string_view data);

// A local date and time as it stands (no time-zone conversion).
struct DateTimeFields {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
};
// "Tue, 05 Mar 2024 07:08:09 GMT"
std::string formatModifiedSince(const DateTimeFields& when);

// File-name part of a request path: "/dir/" -> "dir", "/" or "" -> "document.htm",
// "/a/b.asp?x=1" -> "b.asp".
std::string documentName(std::string_view path);

// True when the text holds a CR or LF (a value that would split a header line).
bool hasLineBreak(std::string_view text);

enum class Method { Get, Post, Head };
std::string_view methodName(Method m);

// Everything of the client's settings that goes into a request.
struct RequestSettings {
  std::string url;
  std::string proxy;
  std::string proxyPort = "80";
  std::string sender;
  std::string agent = "Mozilla/3.0 (compatible)";
  std::string accept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
  std::string reference;
  std::string username;
  std::string password;
  std::string proxyUsername;
  std::string proxyPassword;
  bool noCache = false;
  std::optional<DateTimeFields> modifiedSince;
  std::string cookie;
  std::string contentTypePost = "application/x-www-form-urlencoded";
  std::string contentRangeBegin;
  std::string contentRangeEnd;
};

// Names the first setting that holds a CR or LF, or returns an empty view.
std::string_view findLineBreakField(const RequestSettings& s);

// Where a request goes and what it asks for.
struct Target {
  std::string scheme = "http";
  std::string connectHost;
  std::string connectPort;
  std::string hostHeader;   // host of the URL, without port
  std::string hostPort;     // port of the URL as given (may be empty)
  std::string requestPath;  // path, or the absolute URL through a proxy
  std::string location;     // absolute URL of the current request
  std::string documentName;
  bool viaProxy = false;
};

// Computes the target of a new request; user and password found in the URL
// replace settings.username / settings.password.
Target prepareTarget(RequestSettings& settings);

// The request header, lines in order, each ending with CR LF, closed by an
// empty line. `command` may change or empty each line before it is stored
// (an emptied line still gets its CR LF). `postSize` is used for POST.
// ContentRangeBegin/End are cleared once they were used.
struct RequestHooks {
  std::function<void()> headerBegin;
  std::function<void(std::string&)> command;
  std::function<void()> headerEnd;
};
std::string buildRequestHeader(Method method, RequestSettings& settings, const Target& target, std::uint64_t postSize,
                               const RequestHooks& hooks = {});

// Follows a location value: updates the target (connect host and port, host
// header, request path, location, document name stays). Returns false when
// the value is unusable (control characters, empty).
bool applyRedirect(Target& target, std::string_view value);

// The response parser. The caller reads socket data into writable() (at most
// the free space of the 8192-byte buffer) and calls commit(); the parser
// cuts the header into lines and hands body bytes on. Handler callbacks
// fire synchronously; the caller may halt() the parser from inside one.
class ResponseParser {
 public:
  class Handler {
   public:
    virtual ~Handler() = default;
    virtual void headerBegin() {}
    // After a non-empty header line was handled (it is the last entry of headerLines()).
    virtual void headerData() {}
    // A set-cookie value; `accept` starts true.
    virtual void cookie(std::string_view value, bool& accept) {
      (void)value;
      (void)accept;
    }
    // The empty line (or a headerless answer) ended the header.
    virtual void headerEnd() {}
    virtual void body(std::span<const char> chunk) { (void)chunk; }
  };

  enum class Phase { Header, Body };
  enum class Outcome {
    More,      // keep reading
    Close,     // status >= 400 was read: close the connection now
    Redirect,  // the header ended with a location value: close and follow it
    Failed,    // protocol violation: error()/errorText() tell which
    Halted,    // the caller halted the parser from a callback
  };

  ResponseParser() { reset(); }
  void reset();

  // Free space in the receive buffer; 0 means a header line filled it. While
  // the header is read the buffer holds 8192 bytes; body bytes are handed on
  // as they come, in larger pieces.
  std::size_t freeSpace() const {
    std::size_t cap = phase_ == Phase::Header ? receive_buffer_size : buffer_.size();
    return fill_ < cap ? cap - fill_ : 0;
  }
  std::span<char> writable() { return {buffer_.data() + fill_, freeSpace()}; }
  Outcome commit(std::size_t count, Handler& handler);
  // Copies as much of data as fits and processes it; `used` tells how much was taken.
  Outcome feed(std::span<const char> data, Handler& handler, std::size_t* used = nullptr);
  // The connection closed: a pending header line without its line end is
  // handled as a last line (a headerless answer still yields its body).
  Outcome finish(Handler& handler);
  void halt() { halted_ = true; }

  Phase phase() const { return phase_; }
  int statusCode() const { return statusCode_; }
  const std::string& reasonPhrase() const { return reason_; }
  std::int64_t contentLength() const { return contentLength_; }
  const std::string& contentType() const { return contentType_; }
  const std::string& acceptRanges() const { return acceptRanges_; }
  const std::optional<std::pair<std::string, std::string>>& contentRange() const { return contentRange_; }
  bool hasLocation() const { return locationSeen_; }
  const std::string& locationValue() const { return location_; }
  const std::vector<std::string>& headerLines() const { return headerLines_; }
  const std::vector<std::string>& authenticate() const { return authenticate_; }
  int error() const { return error_; }
  std::string_view errorText() const;
  std::size_t headerBytes() const { return headerBytes_; }

  void setContentType(std::string v) { contentType_ = std::move(v); }

 private:
  Outcome process(Handler& handler);
  Outcome handleLine(std::string_view line, std::string_view lineEnd, Handler& handler);
  Outcome fail(int code) {
    error_ = code;
    return Outcome::Failed;
  }

  std::vector<char> buffer_;
  std::size_t fill_ = 0;
  Phase phase_ = Phase::Header;
  bool begun_ = false;
  bool halted_ = false;
  int statusCode_ = 0;
  std::string reason_;
  std::int64_t contentLength_ = -1;
  std::string contentType_;
  std::string acceptRanges_;
  std::optional<std::pair<std::string, std::string>> contentRange_;
  bool locationSeen_ = false;
  std::string location_;
  std::vector<std::string> headerLines_;
  std::vector<std::string> authenticate_;
  std::size_t headerBytes_ = 0;
  int error_ = 0;
};

}  // namespace brevaro::net::http
