// Feeds random server answers through the sans-I/O HTTP core in random
// pieces, the way the client reads them from a socket, and follows any
// location value. Checks the bounds the client promises: the header table
// never grows past its limits, and the parser never holds more than its
// 8192-byte header buffer (and its 64 KiB body pieces).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "net/http_core.h"

using namespace brevaro::net::http;

namespace {

struct Sink : ResponseParser::Handler {
  std::size_t bodyBytes = 0;
  int headerEnds = 0;
  void headerData() override {}
  void cookie(std::string_view v, bool& accept) override { accept = !v.empty(); }
  void headerEnd() override { ++headerEnds; }
  void body(std::span<const char> c) override { bodyBytes += c.size(); }
};

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // The first byte picks the read size pattern.
  std::size_t step = 1 + data[0] % 64;
  if (data[0] & 0x80) step = 1 + (data[0] & 0x7f) * 97;
  std::string_view in(reinterpret_cast<const char*>(data + 1), size - 1);

  ResponseParser p;
  Sink sink;
  ResponseParser::Outcome o = ResponseParser::Outcome::More;
  while (!in.empty() && o == ResponseParser::Outcome::More) {
    auto room = p.writable();
    std::size_t n = std::min({step, room.size(), in.size()});
    if (n == 0) break;  // the buffer is full: the client reports "HTTP line too long"
    std::copy_n(in.data(), n, room.data());
    in.remove_prefix(n);
    o = p.commit(n, sink);
    check(p.headerLines().size() <= max_header_lines + 1);
    check(p.headerBytes() <= max_header_bytes + receive_buffer_size);
    check(p.freeSpace() <= (p.phase() == ResponseParser::Phase::Header ? receive_buffer_size : body_read_size));
  }
  if (o == ResponseParser::Outcome::More) o = p.finish(sink);
  if (o == ResponseParser::Outcome::Failed) check(!p.errorText().empty());
  if (p.statusCode() >= 400 && p.phase() == ResponseParser::Phase::Header && p.error() == 0)
    check(o == ResponseParser::Outcome::Close);

  if (p.hasLocation()) {
    for (bool proxy : {false, true}) {
      RequestSettings s;
      s.url = "http://host.example:8080/dir/page.asp?q=1";
      if (proxy) s.proxy = "proxy.example:3128";
      Target t = prepareTarget(s);
      if (applyRedirect(t, p.locationValue())) {
        // Whatever the server said, the next request cannot be split.
        std::string req = buildRequestHeader(Method::Get, s, t, 0);
        for (std::size_t i = 0; i < req.size(); ++i) {
          if (req[i] == '\r') check(i + 1 < req.size() && req[i + 1] == '\n');
          if (req[i] == '\n') check(i > 0 && req[i - 1] == '\r');
        }
        check(!hasLineBreak(t.requestPath));
        check(!hasLineBreak(t.hostHeader));
        (void)documentName(t.requestPath);
      }
    }
  }
  return 0;
}
