// brevaro-get [-i] [-X GET|HEAD|POST] [--data TEXT] [--proxy HOST:PORT]
//             [--socks HOST:PORT] [-o FILE] URL
// Fetches URL through THttpCli. -i prints the received header lines before
// the body; the body goes to standard output or FILE. Exit 0 on success; when
// the request raises, prints "error: CODE MESSAGE" on standard error and
// exits 1. Wrong usage exits 2.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "net/httpcli.h"
#include "net/platform_api.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

using namespace brevaro::net;

// Writes the body straight to a C stream, so a large document is not kept in memory.
class FileStream final : public TStream {
 public:
  explicit FileStream(std::FILE* f) : f_(f) {}
  std::size_t Write(const void* data, std::size_t count) override {
    std::size_t n = std::fwrite(data, 1, count, f_);
    pos_ += n;
    if (n != count) failed_ = true;
    return n;
  }
  std::size_t Read(void*, std::size_t) override { return 0; }
  std::uint64_t Size() const override { return pos_; }
  std::uint64_t Position() const override { return pos_; }
  void Seek(std::uint64_t) override {}
  bool failed() const { return failed_; }

 private:
  std::FILE* f_;
  std::uint64_t pos_ = 0;
  bool failed_ = false;
};

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};

int usage() {
  std::fputs(
      "usage: brevaro-get [-i] [-X GET|HEAD|POST] [--data TEXT] [--proxy HOST:PORT] [--socks HOST:PORT] [-o FILE] "
      "URL\n",
      stderr);
  return 2;
}

bool splitHostPort(std::string_view v, std::string& host, std::string& port) {
  auto colon = v.rfind(':');
  if (colon == std::string_view::npos || colon == 0 || colon + 1 == v.size()) return false;
  host = std::string(v.substr(0, colon));
  port = std::string(v.substr(colon + 1));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  bool showHeader = false;
  std::string method = "GET", data, proxy, socks, output, url;
  bool haveData = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view a = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    if (a == "-i") {
      showHeader = true;
    } else if (a == "-X") {
      if (!value(method)) return usage();
    } else if (a == "--data") {
      if (!value(data)) return usage();
      haveData = true;
    } else if (a == "--proxy") {
      if (!value(proxy)) return usage();
    } else if (a == "--socks") {
      if (!value(socks)) return usage();
    } else if (a == "-o") {
      if (!value(output)) return usage();
    } else if (!a.empty() && a[0] == '-') {
      return usage();
    } else if (url.empty()) {
      url = a;
    } else {
      return usage();
    }
  }
  if (url.empty() || (method != "GET" && method != "HEAD" && method != "POST")) return usage();

  std::unique_ptr<std::FILE, FileCloser> file;
  std::FILE* out = stdout;
  if (!output.empty()) {
    file.reset(std::fopen(output.c_str(), "wb"));
    if (!file) {
      std::fprintf(stderr, "error: 0 cannot open %s: %s\n", output.c_str(), std::strerror(errno));
      return 1;
    }
    out = file.get();
  }
#ifdef _WIN32
  else {
    _setmode(_fileno(stdout), _O_BINARY);
  }
#endif

  try {
    auto api = makePlatformSocketApi();
    THttpCli cli(*api);
    cli.SetURL(url);
    if (!proxy.empty()) {
      std::string host, port;
      if (!splitHostPort(proxy, host, port)) return usage();
      cli.SetProxy(host);
      cli.SetProxyPort(port);
    }
    if (!socks.empty()) {
      std::string host, port;
      if (!splitHostPort(socks, host, port)) return usage();
      cli.CtrlSocket().SetSocksServer(host);
      cli.CtrlSocket().SetSocksPort(port);
    }
    FileStream body(out);
    TMemoryStream post(data);
    if (haveData) cli.SetPostDataStream(&post);
    // The header is printed before the first body byte (and at the end for an answer without body).
    bool headerShown = false;
    auto printHeader = [&](THttpCli& c) {
      if (!showHeader || headerShown) return;
      headerShown = true;
      for (const auto& line : c.ReceivedHeader()) {
        std::fwrite(line.data(), 1, line.size(), out);
        std::fputs("\r\n", out);
      }
      std::fputs("\r\n", out);
    };
    cli.OnDocBegin = printHeader;
    cli.SetReceiveStream(&body);
    int errorCode = 0;
    std::string errorText;
    try {
      if (method == "GET") cli.Get();
      else if (method == "HEAD") cli.Head();
      else cli.Post();
    } catch (const EHttpException& e) {
      errorCode = e.ErrorCode();
      errorText = e.what();
    }
    if (errorCode == 0) printHeader(cli);
    std::fflush(out);
    if (errorCode != 0) {
      std::fprintf(stderr, "error: %d %s\n", errorCode, errorText.c_str());
      return 1;
    }
    if (body.failed()) {
      std::fprintf(stderr, "error: 0 writing the body failed\n");
      return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "error: 0 %s\n", e.what());
    return 1;
  }
  return 0;
}
