// brevaro-service: the built-in local reference service as a program.
//
//   brevaro-service --port N --log FILE [--config FILE] [--socks-port N]
//                   [--raw-port N] [--banner-dir DIR]
//
// Serves until SIGINT or SIGTERM. When every listener is bound it prints one
// line to standard output and flushes it, so scripts can wait for it:
//   brevaro-service ready port=18480 raw-port=40123 socks-port=40124
// Port 0 (the default for --raw-port and --socks-port) means an ephemeral
// port; the line tells which. The raw port is the alternate HTTP port that
// serves the same URLs (see service/server.h). Exit status: 0 after a signal,
// 2 for bad arguments or a bad configuration file, 1 when it cannot start.
#include <pthread.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "service/server.h"

namespace {

int usage(const char* why) {
  std::fprintf(stderr,
               "brevaro-service: %s\nusage: brevaro-service --port N --log FILE [--config FILE] [--socks-port N] "
               "[--raw-port N] [--banner-dir DIR]\n",
               why);
  return 2;
}

bool parse_port(const char* s, std::uint16_t& out) {
  char* end = nullptr;
  long v = std::strtol(s, &end, 10);
  if (*s == '\0' || *end != '\0' || v < 0 || v > 65535) return false;
  out = static_cast<std::uint16_t>(v);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  brevaro::service::Config cfg;
  std::string config_file, banner_dir;
  bool have_port = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (i + 1 >= argc) return usage(("missing value after " + a).c_str());
    const char* v = argv[++i];
    if (a == "--port") {
      if (!parse_port(v, cfg.port)) return usage("bad --port");
      have_port = true;
    } else if (a == "--raw-port") {
      if (!parse_port(v, cfg.alt_port)) return usage("bad --raw-port");
    } else if (a == "--socks-port") {
      if (!parse_port(v, cfg.socks_port)) return usage("bad --socks-port");
    } else if (a == "--log") {
      cfg.log_path = v;
    } else if (a == "--config") {
      config_file = v;
    } else if (a == "--banner-dir") {
      banner_dir = v;
    } else {
      return usage(("unknown option " + a).c_str());
    }
  }
  if (!have_port) return usage("--port is required");
  if (cfg.log_path.empty()) return usage("--log is required");
  if (!config_file.empty()) {
    std::string error;
    if (!brevaro::service::load_config_file(config_file, cfg, error)) {
      std::fprintf(stderr, "brevaro-service: %s\n", error.c_str());
      return 2;
    }
  }
  if (!banner_dir.empty()) cfg.banner_dir = banner_dir;

  // Block the stop signals in every thread; the main thread waits for them.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  try {
    brevaro::service::Server server(cfg);
    std::printf("brevaro-service ready port=%u raw-port=%u socks-port=%u\n", server.port(), server.alt_port(),
                server.socks_port());
    std::fflush(stdout);
    int sig = 0;
    sigwait(&set, &sig);
    std::fprintf(stderr, "brevaro-service: signal %d, stopping\n", sig);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "brevaro-service: %s\n", e.what());
    return 1;
  }
  return 0;
}
