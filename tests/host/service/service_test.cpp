// Host tests of the reference service: its pages and scripts, the request
// log, every hostile mode, proxy forwarding and the SOCKS5 relay.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <regex>
#include <thread>

#include "raw_client.h"
#include "service/server.h"

using namespace std::chrono_literals;
namespace svc = brevaro::service;
using svc::testing::exchange;
using svc::testing::get_request;
using svc::testing::parse;

namespace {

std::string title_of(const std::string& html) {
  std::smatch m;
  if (std::regex_search(html, m, std::regex("<title>([^<]*)</title>"))) return m[1].str();
  return {};
}

std::vector<std::string> lines_of(const std::string& s) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  while (pos < s.size()) {
    std::size_t nl = s.find("\r\n", pos);
    if (nl == std::string::npos) {
      out.push_back(s.substr(pos));
      break;
    }
    out.push_back(s.substr(pos, nl - pos));
    pos = nl + 2;
  }
  return out;
}

std::vector<std::string> split(const std::string& s, char c) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  while (true) {
    std::size_t n = s.find(c, pos);
    out.push_back(s.substr(pos, n == std::string::npos ? std::string::npos : n - pos));
    if (n == std::string::npos) return out;
    pos = n + 1;
  }
}

svc::testing::Response get(const svc::Server& s, const std::string& target) {
  return parse(exchange(s.port(), get_request(target)).data);
}

class ServiceTest : public ::testing::Test {
 protected:
  svc::Server server;
};

}  // namespace

TEST_F(ServiceTest, RedirectKeysLeadToTitledPages) {
  const std::vector<std::pair<std::string, std::string>> keys = {
      {"accounts", "brevaro - Accounts"},
      {"setup", "brevaro - Setup"},
      {"mydetails", "brevaro - My Details"},
      {"security", "brevaro - Security"},
      {"help", "brevaro - Help"},
      {"contactus", "brevaro - Contact Us"},
      {"website", "brevaro - Web Site"},
      {"sendtoafriend", "brevaro - Send to a Friend"},
      {"signout", "brevaro - Signed Out"},
      {"scrollingmessage", "brevaro - Message"},
      {"defaultbanner", "brevaro - Default Banner"},
      {"downloadnewversion", "brevaro - Download New Version"}};
  for (const auto& [key, title] : keys) {
    auto r = get(server, "/brevaro/url.asp?url=" + key);
    EXPECT_EQ(r.status, 302) << key;
    std::string loc = r.header("Location");
    EXPECT_EQ(loc, "/brevaro/pages/" + key + ".htm");
    auto page = get(server, loc);
    EXPECT_EQ(page.status, 200) << key;
    EXPECT_EQ(title_of(page.body), title) << key;
    EXPECT_EQ(page.header("Content-Type").rfind("text/html", 0), 0u);
  }
  auto bad = get(server, "/brevaro/url.asp?url=nosuchkey");
  EXPECT_EQ(bad.status, 404);
  EXPECT_NE(title_of(bad.body).find("404"), std::string::npos);
  EXPECT_EQ(get(server, "/brevaro/url.asp").status, 404);
  EXPECT_EQ(get(server, "/no/such/page").status, 404);
  EXPECT_EQ(title_of(get(server, "/").body), "brevaro - Home");
}

TEST_F(ServiceTest, SignOutEndsTheSession) {
  EXPECT_FALSE(server.signed_in());
  get(server, "/brevaro/pages/accounts.htm");
  EXPECT_TRUE(server.signed_in());
  auto r = get(server, "/brevaro/pages/signout.htm");
  EXPECT_NE(r.body.find("signed out"), std::string::npos);
  EXPECT_FALSE(server.signed_in());
  EXPECT_EQ(server.signouts(), 1);
}

TEST_F(ServiceTest, ScrollingMessageIsOneLine) {
  auto r = get(server, "/brevaro/pages/scrollingmessage.htm");
  ASSERT_EQ(r.status, 200);
  auto lines = lines_of(r.body);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("<marquee"), std::string::npos);
  EXPECT_EQ(r.body.find('\n'), r.body.size() - 1);
}

TEST_F(ServiceTest, AdvertListHasVersionLineAndSixValueBannerLines) {
  auto r = get(server, "/brevaro/quillbeam.asp?AppID=200401011200000042");
  ASSERT_EQ(r.status, 200);
  ASSERT_GE(r.body.size(), 2u);
  EXPECT_EQ(r.body.substr(r.body.size() - 2), "\r\n");
  auto lines = lines_of(r.body);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "version=1.0");
  for (std::size_t i = 1; i < lines.size(); ++i) {
    auto pairs = split(lines[i], '&');
    ASSERT_EQ(pairs.size(), 6u) << lines[i];
    for (const auto& p : pairs) EXPECT_EQ(std::count(p.begin(), p.end(), '='), 1) << p;
    std::string file_url = pairs[1].substr(pairs[1].find('=') + 1);
    EXPECT_EQ(file_url.rfind(server.base_url() + "banners/", 0), 0u) << file_url;
    auto banner = get(server, file_url.substr(server.root_url().size()));
    ASSERT_EQ(banner.status, 200) << file_url;
    if (i == lines.size() - 1) {
      // The last one is a movie banner with a 468x60 stage (9360x1200 twips).
      EXPECT_EQ(file_url.substr(file_url.size() - 4), ".swf");
      EXPECT_EQ(banner.header("Content-Type"), "application/x-shockwave-flash");
      EXPECT_EQ(banner.body.substr(0, 3), "FWS");
      continue;
    }
    EXPECT_EQ(file_url.substr(file_url.size() - 4), ".gif");
    // The banner is a real 468x60 GIF.
    EXPECT_EQ(banner.header("Content-Type"), "image/gif");
    ASSERT_GE(banner.body.size(), 10u);
    EXPECT_EQ(banner.body.substr(0, 6), "GIF89a");
    EXPECT_EQ(static_cast<unsigned char>(banner.body[6]) | static_cast<unsigned char>(banner.body[7]) << 8, 468);
    EXPECT_EQ(static_cast<unsigned char>(banner.body[8]) | static_cast<unsigned char>(banner.body[9]) << 8, 60);
  }
  EXPECT_EQ(lines[1], "id=1&image=" + server.base_url() + "banners/brevaro-accounts.gif&link=" + server.base_url() +
                          "ads/accounts.htm&day=31&month=12&year=2099");
  auto rec = server.wait_for_path("/brevaro/quillbeam.asp", 1s);
  ASSERT_TRUE(rec);
  EXPECT_EQ(rec->query("AppID").value_or(""), "200401011200000042");
}

TEST_F(ServiceTest, AdvertListCanBeChangedAndReplaced) {
  svc::Adverts a;
  a.version = "1.1";
  a.banners.push_back({"7", "none", "http://127.0.0.1/x", "1", "2", "2003"});
  a.banners.push_back({"8", "{root}/hostile/endless/big.gif", "", "1", "2", "2003"});
  server.set_adverts(a);
  auto lines = lines_of(get(server, "/brevaro/quillbeam.asp?AppID=1").body);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "version=1.1");
  EXPECT_EQ(lines[1], "id=7&image=none&link=http://127.0.0.1/x&day=1&month=2&year=2003");
  EXPECT_EQ(lines[2], "id=8&image=" + server.root_url() + "/hostile/endless/big.gif&link=" + server.base_url() +
                          "ads/advert8.htm&day=1&month=2&year=2003");
  a.document = "v=2.0\r\nwhatever {port}\r\n";
  server.set_adverts(a);
  EXPECT_EQ(get(server, "/brevaro/quillbeam.asp?AppID=1").body,
            "v=2.0\r\nwhatever " + std::to_string(server.port()) + "\r\n");
  server.set_adverts({});
  EXPECT_EQ(get(server, "/brevaro/quillbeam.asp?AppID=1").body, "version=1.0\r\n");
}

TEST_F(ServiceTest, NamedAdvertListsForTheClientsBannerHandling) {
  for (const char* name : {"default", "hostile-names", "hostile-links", "big-banner", "endless-banner",
                           "stalled-banner", "huge-list", "many-lines", "error-page", "error-text"})
    EXPECT_TRUE(svc::Adverts::preset(name)) << name;
  EXPECT_FALSE(svc::Adverts::preset("nonsense"));

  // Every hostile name is served, so only the client's own check keeps it off the disk.
  server.set_adverts(*svc::Adverts::preset("hostile-names"));
  auto lines = lines_of(get(server, "/brevaro/quillbeam.asp?AppID=1").body);
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[1].substr(0, lines[1].find("&link")),
            "id=100&image=" + server.root_url() + "/hostile/bytes/2048/..\\..\\evil.gif");
  EXPECT_NE(lines[7].find("/evil.gif &link="), std::string::npos);
  EXPECT_NE(lines[8].find("banners/brevaro-accounts.gif&"), std::string::npos);
  auto served = get(server, "/hostile/bytes/2048/C:evil.gif");
  EXPECT_EQ(served.status, 200);
  EXPECT_EQ(served.body.size(), 2048u);
  EXPECT_EQ(served.header("Content-Length"), "2048");

  server.set_adverts(*svc::Adverts::preset("huge-list"));
  EXPECT_EQ(lines_of(get(server, "/brevaro/quillbeam.asp?AppID=1").body).size(), 100001u);

  std::string path = ::testing::TempDir() + "service-preset.conf";
  std::ofstream(path) << "adverts = hostile-links\n";
  svc::Config cfg;
  std::string error;
  ASSERT_TRUE(svc::load_config_file(path, cfg, error)) << error;
  ASSERT_EQ(cfg.adverts.banners.size(), 5u);
  EXPECT_EQ(cfg.adverts.banners[4].link, "\\\\host\\share\\x");
  std::ofstream(path) << "adverts = nonsense\n";
  EXPECT_FALSE(svc::load_config_file(path, cfg, error));
  std::remove(path.c_str());
}

// The soak's schedule: each advert request takes the next step, named lists
// and hostile targets alike, and the schedule starts again after its end.
TEST(ServiceConfig, AdvertScheduleStepsThroughListsAndModes) {
  std::string path = ::testing::TempDir() + "service-schedule.conf";
  std::ofstream(path) << "advert-schedule = default, error-text, /hostile/status?code=503, hostile-names\n";
  svc::Config cfg;
  std::string error;
  ASSERT_TRUE(svc::load_config_file(path, cfg, error)) << error;
  ASSERT_EQ(cfg.advert_schedule.size(), 4u);
  svc::Server server(cfg);
  struct Step {
    int status;
    std::string first_line;
    std::size_t lines;
  } expected[] = {
      {200, "version=1.0", 5}, {200, "", 0}, {503, "", 0}, {200, "version=1.0", 9}, {200, "version=1.0", 5}};
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(i);
    auto r = get(server, "/brevaro/quillbeam.asp?AppID=1");
    EXPECT_EQ(r.status, expected[i].status);
    if (expected[i].lines == 0) continue;
    const auto lines = lines_of(r.body);
    ASSERT_EQ(lines.size(), expected[i].lines);
    EXPECT_EQ(lines[0], expected[i].first_line);
  }
  const auto reqs = server.requests();
  ASSERT_EQ(reqs.size(), std::size(expected));
  EXPECT_EQ(reqs[2].override_target, "/hostile/status?code=503");
  EXPECT_TRUE(reqs[1].override_target.empty());
  // error-text's first line says "Error".
  EXPECT_NE(get(server, "/brevaro/quillbeam.asp").body.find("Error"), std::string::npos);

  std::ofstream(path) << "advert-schedule = default, nonsense\n";
  EXPECT_FALSE(svc::load_config_file(path, cfg, error));
  EXPECT_NE(error.find("nonsense"), std::string::npos) << error;
  std::remove(path.c_str());
}

TEST(ServiceConfig, ExampleFileLoadsAndBadLinesAreReported) {
  svc::Config cfg;
  std::string error;
  ASSERT_TRUE(svc::load_config_file(BREVARO_SERVICE_EXAMPLE_CONF, cfg, error)) << error;
  EXPECT_EQ(cfg.adverts.version, "1.1");
  ASSERT_EQ(cfg.adverts.banners.size(), 3u);
  EXPECT_EQ(cfg.adverts.banners[2].file, "brevaro-reminders.gif");

  std::string path = ::testing::TempDir() + "service-bad.conf";
  std::ofstream(path) << "# comment\nversion = 2.0\nbanner = 1 | a.gif | | 1 | 2 | 2030\n"
                         "override = /brevaro/quillbeam.asp /hostile/404\nsocks-auth = u:p\nfoo = bar\n";
  svc::Config c2;
  EXPECT_FALSE(svc::load_config_file(path, c2, error));
  EXPECT_NE(error.find(":6:"), std::string::npos) << error;
  EXPECT_EQ(c2.adverts.version, "2.0");
  ASSERT_EQ(c2.adverts.banners.size(), 1u);
  EXPECT_EQ(c2.adverts.banners[0].year, "2030");
  ASSERT_EQ(c2.overrides.size(), 1u);
  EXPECT_EQ(c2.overrides[0].second, "/hostile/404");
  EXPECT_EQ(c2.socks_user, "u");
  std::remove(path.c_str());
}

TEST_F(ServiceTest, LogScriptAcknowledges) {
  auto r = get(server, "/brevaro/quillbeam-logs.asp?AppID=1&BannerID=3&option=d");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "OK\r\n");
  EXPECT_EQ(get(server, "/brevaro/quillbeam-logs.asp?AppID=1&BannerID=3&option=c").body, "OK\r\n");
  EXPECT_EQ(get(server, "/brevaro/quillbeam-logs.asp?AppID=1&BannerID=3&option=x").status, 400);
  auto rec = server.wait_for(
      [](const svc::RequestRecord& rr) { return rr.query("option") == std::optional<std::string>("c"); }, 1s);
  ASSERT_TRUE(rec);
  EXPECT_EQ(rec->query("BannerID").value_or(""), "3");
}

TEST_F(ServiceTest, PutFileServesMoviesAndOverridesFolderFiles) {
  server.put_file("movie.swf", std::string("FWS\x05\x10\x00\x00\x00", 8));
  auto r = get(server, "/brevaro/banners/movie.swf");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.header("Content-Type"), "application/x-shockwave-flash");
  EXPECT_EQ(r.body.substr(0, 3), "FWS");
  EXPECT_EQ(get(server, "/brevaro/banners/missing.gif").status, 404);
  EXPECT_EQ(get(server, "/brevaro/banners/..%2Fserver.h").status, 404);
  server.remove_file("movie.swf");
  EXPECT_EQ(get(server, "/brevaro/banners/movie.swf").status, 404);
}

TEST(ServiceLog, EveryRequestIsOneJsonLine) {
  std::string path = ::testing::TempDir() + "service-log-" + std::to_string(::getpid()) + ".jsonl";
  std::remove(path.c_str());
  {
    svc::Config cfg;
    cfg.log_path = path;
    svc::Server s(cfg);
    exchange(s.port(), get_request("/brevaro/url.asp?url=help", "Pragma: no-cache\r\n"));
    exchange(s.port(), "POST /brevaro/x HTTP/1.0\r\nContent-Length: 5\r\nHost: 127.0.0.1\r\n\r\nhello");
    exchange(s.port(), get_request("/q?\"quote\"\\"));
    auto recs = s.requests();
    ASSERT_EQ(recs.size(), 3u);
    EXPECT_EQ(recs[0].method, "GET");
    EXPECT_EQ(recs[0].path, "/brevaro/url.asp?url=help");
    EXPECT_EQ(recs[0].version, "HTTP/1.0");
    EXPECT_EQ(recs[0].via, "direct");
    EXPECT_EQ(recs[0].header("user-agent"), "Mozilla/3.0 (compatible)");
    EXPECT_EQ(recs[0].header("Pragma"), "no-cache");
    EXPECT_EQ(recs[0].peer.rfind("127.0.0.1:", 0), 0u);
    EXPECT_EQ(recs[1].body_length, 5u);
    EXPECT_EQ(recs[2].seq, 3u);
  }
  std::ifstream in(path);
  std::string line;
  std::vector<std::string> lines;
  while (std::getline(in, line)) lines.push_back(line);
  ASSERT_EQ(lines.size(), 3u);
  std::regex shape(
      R"(^\{"seq":\d+,"time":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z","via":"direct","port":\d+,)"
      R"("peer":"127\.0\.0\.1:\d+","method":"[A-Z]+","target":".*","headers":\{.*\},"body_length":\d+\}$)");
  for (const auto& l : lines) EXPECT_TRUE(std::regex_match(l, shape)) << l;
  EXPECT_NE(lines[0].find("\"path\":\"/brevaro/url.asp?url=help\""), std::string::npos);
  EXPECT_NE(lines[0].find("\"User-Agent\":\"Mozilla/3.0 (compatible)\""), std::string::npos);
  EXPECT_NE(lines[1].find("\"body_length\":5}"), std::string::npos);
  EXPECT_NE(lines[2].find(R"("path":"/q?\"quote\"\\")"), std::string::npos) << lines[2];
  std::remove(path.c_str());
}

// ---------------------------------------------------------------------------
// Hostile modes

TEST_F(ServiceTest, Hostile404HasItsReasonPhrase) {
  auto r = get(server, "/hostile/404");
  EXPECT_EQ(r.status_line, "HTTP/1.0 404 Not Found (hostile)");
  EXPECT_EQ(title_of(r.body), "404 Not Found");
  EXPECT_EQ(get(server, "/hostile/404?reason=Gone%20Fishing").reason, "Gone Fishing");
  auto s = get(server, "/hostile/status?code=503&reason=Busy");
  EXPECT_EQ(s.status, 503);
  EXPECT_EQ(s.reason, "Busy");
}

TEST_F(ServiceTest, HostileRedirects) {
  EXPECT_EQ(get(server, "/hostile/redirect-root").header("Location"), "/");
  EXPECT_EQ(get(server, "/hostile/redirect-path").header("Location"), "/brevaro/pages/accounts.htm");
  auto abs = get(server, "/hostile/redirect-absolute");
  EXPECT_EQ(abs.status, 302);
  std::string alt = "http://127.0.0.1:" + std::to_string(server.alt_port()) + "/brevaro/pages/accounts.htm";
  EXPECT_EQ(abs.header("Location"), alt);
  // The alternate port serves the same pages.
  auto page = parse(exchange(server.alt_port(), get_request("/brevaro/pages/accounts.htm")).data);
  EXPECT_EQ(title_of(page.body), "brevaro - Accounts");
  EXPECT_EQ(get(server, "/hostile/redirect-loop").header("Location"), "/hostile/redirect-loop");
  EXPECT_EQ(get(server, "/hostile/redirect-chain/3").header("Location"), "/hostile/redirect-chain/2");
  auto end = get(server, "/hostile/redirect-chain/0");
  EXPECT_EQ(end.status, 200);
  EXPECT_EQ(title_of(end.body), "brevaro - Chain End");
}

TEST_F(ServiceTest, HostileSlowTrickleAndStall) {
  auto slow = exchange(server.port(), get_request("/hostile/slow?bytes=5&ms=40"));
  auto r = parse(slow.data);
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "abcde");
  EXPECT_EQ(r.header("Content-Length"), "5");
  EXPECT_GE(slow.seconds, 0.19);
  auto trickle = exchange(server.port(), get_request("/hostile/slow-header?ms=2"));
  EXPECT_EQ(parse(trickle.data).body, "ok");
  EXPECT_GE(trickle.seconds, 0.1);  // about 90 bytes, 2 ms apart
  auto stall = exchange(server.port(), get_request("/hostile/stall?ms=300"));
  EXPECT_TRUE(stall.data.empty());
  EXPECT_FALSE(stall.timed_out);
  EXPECT_GE(stall.seconds, 0.29);
  auto waited = exchange(server.port(), get_request("/hostile/stall?ms=5000"), 200ms);
  EXPECT_TRUE(waited.timed_out);
}

TEST_F(ServiceTest, HostileNoLengthAndHeaderless) {
  auto r = get(server, "/hostile/no-length");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.header("Content-Length"), "");
  EXPECT_NE(r.body.find("</html>"), std::string::npos);
  auto h = exchange(server.port(), get_request("/hostile/headerless"));
  EXPECT_EQ(h.data.substr(0, 6), "<HTML>");
  EXPECT_FALSE(h.reset);
  auto lf = exchange(server.port(), get_request("/hostile/lf-only"));
  EXPECT_EQ(lf.data.find('\r'), std::string::npos);
  EXPECT_EQ(parse(lf.data).status, 200);
  EXPECT_EQ(get(server, "/hostile/bad-length").header("Content-Length"), "abc");
}

TEST_F(ServiceTest, HostileEndlessIsBoundedAndStopsWhenTheClientLeaves) {
  auto capped = exchange(server.port(), get_request("/hostile/endless?max=300000"));
  auto r = parse(capped.data);
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.header("Content-Length"), "");
  EXPECT_EQ(r.body.size(), 300000u);
  auto cut = exchange(server.port(), get_request("/hostile/endless"), 10s, 2u << 20);
  EXPECT_TRUE(cut.cut);
  // The server noticed the disconnect and still answers.
  EXPECT_EQ(get(server, "/brevaro/pages/help.htm").status, 200);
}

TEST_F(ServiceTest, HostileOversizedHeaders) {
  auto line = exchange(server.port(), get_request("/hostile/long-header-line"));
  std::size_t longest = 0, pos = 0;
  std::string head = line.data.substr(0, line.data.find("\r\n\r\n"));
  while (pos < head.size()) {
    std::size_t nl = head.find("\r\n", pos);
    if (nl == std::string::npos) nl = head.size();
    longest = std::max(longest, nl - pos);
    pos = nl + 2;
  }
  EXPECT_EQ(longest, 9000u);

  auto block = parse(exchange(server.port(), get_request("/hostile/big-header-block")).data);
  std::size_t size = 0;
  for (const auto& l : block.header_lines) size += l.size() + 2;
  EXPECT_GT(size, 64u * 1024);
  EXPECT_LT(block.header_lines.size(), 100u);
  EXPECT_EQ(block.body, "ok");

  auto many = parse(exchange(server.port(), get_request("/hostile/many-header-lines")).data);
  EXPECT_GT(many.header_lines.size(), 100u);
  EXPECT_EQ(many.body, "ok");
}

TEST_F(ServiceTest, HostileGarbage) {
  auto g1 = exchange(server.port(), get_request("/hostile/garbage"));
  auto g2 = exchange(server.port(), get_request("/hostile/garbage"));
  EXPECT_EQ(g1.data.size(), 4096u);
  EXPECT_EQ(g1.data, g2.data);
  EXPECT_NE(g1.data.substr(0, 5), "HTTP/");
  auto nolf = exchange(server.port(), get_request("/hostile/garbage-nolf"));
  EXPECT_EQ(nolf.data.size(), 20000u);
  EXPECT_EQ(nolf.data.find('\n'), std::string::npos);
}

TEST_F(ServiceTest, HostileResetAndClose) {
  auto rst = exchange(server.port(), get_request("/hostile/reset"));
  EXPECT_TRUE(rst.reset);
  EXPECT_TRUE(rst.data.empty());
  auto mid = exchange(server.port(), get_request("/hostile/reset-body"));
  EXPECT_TRUE(mid.reset);
  auto closed = exchange(server.port(), get_request("/hostile/close"));
  EXPECT_FALSE(closed.reset);
  EXPECT_FALSE(closed.timed_out);
  EXPECT_TRUE(closed.data.empty());
}

TEST_F(ServiceTest, HostileErrorPagesForTheAdvertScript) {
  server.set_override("/brevaro/quillbeam.asp", "/hostile/error-page");
  auto r = get(server, "/brevaro/quillbeam.asp?AppID=5");
  EXPECT_EQ(r.status, 200);
  EXPECT_NE(lines_of(r.body)[0].find("<font face=\""), std::string::npos);
  auto rec = server.wait_for_path("/brevaro/quillbeam.asp", 1s);
  ASSERT_TRUE(rec);
  EXPECT_EQ(rec->override_target, "/hostile/error-page");
  server.set_override("/brevaro/quillbeam.asp", "/hostile/error-text");
  EXPECT_NE(lines_of(get(server, "/brevaro/quillbeam.asp?AppID=5").body)[0].find("Error"), std::string::npos);
  server.set_override("/brevaro/quillbeam.asp", "");
  EXPECT_EQ(lines_of(get(server, "/brevaro/quillbeam.asp?AppID=5").body)[0], "version=1.0");
}

TEST_F(ServiceTest, BenchBytesHasContentLength) {
  auto r = parse(exchange(server.port(), get_request("/bench/bytes?n=3000000")).data);
  EXPECT_EQ(r.header("Content-Length"), "3000000");
  EXPECT_EQ(r.body.size(), 3000000u);
}

// ---------------------------------------------------------------------------
// Proxy and SOCKS5

TEST_F(ServiceTest, ProxyRequestsAreAnsweredAsDirectOnes) {
  std::string abs = server.base_url() + "url.asp?url=setup";
  auto r = parse(exchange(server.port(), get_request(abs)).data);
  EXPECT_EQ(r.status, 302);
  EXPECT_EQ(r.header("Location"), "/brevaro/pages/setup.htm");
  auto rec = server.wait_for([](const svc::RequestRecord& x) { return x.via == "proxy"; }, 1s);
  ASSERT_TRUE(rec);
  EXPECT_EQ(rec->target, abs);
  EXPECT_EQ(rec->path, "/brevaro/url.asp?url=setup");
  EXPECT_EQ(rec->proxy_host, "127.0.0.1:" + std::to_string(server.port()));
  EXPECT_NE(rec->json.find("\"via\":\"proxy\""), std::string::npos);
  // Hostile modes work through the proxy too.
  EXPECT_TRUE(exchange(server.port(), get_request(server.url("/hostile/reset"))).reset);
}

TEST(ServiceProxy, ProxyAuthenticationWhenConfigured) {
  svc::Config cfg;
  cfg.proxy_user = "alice";
  cfg.proxy_password = "secret";
  svc::Server s(cfg);
  std::string abs = s.url("/brevaro/pages/help.htm");
  auto denied = parse(exchange(s.port(), get_request(abs)).data);
  EXPECT_EQ(denied.status, 407);
  EXPECT_EQ(denied.header("Proxy-Authenticate"), "Basic realm=\"brevaro\"");
  // base64("alice:secret")
  auto ok = parse(exchange(s.port(), get_request(abs, "Proxy-Authorization: Basic YWxpY2U6c2VjcmV0\r\n")).data);
  EXPECT_EQ(ok.status, 200);
  // Direct requests need no proxy authentication.
  EXPECT_EQ(parse(exchange(s.port(), get_request("/brevaro/pages/help.htm")).data).status, 200);
}

TEST_F(ServiceTest, Socks5RelaysToTheHttpPort) {
  auto c = svc::testing::socks_connect(server.socks_port(), "", "", "127.0.0.1", server.port());
  ASSERT_GE(c.fd, 0) << c.stage << " " << c.code;
  auto r = parse(svc::testing::exchange_on(c.fd, get_request("/brevaro/url.asp?url=help"), 5s).data);
  EXPECT_EQ(r.status, 302);
  auto rec = server.wait_for([](const svc::RequestRecord& x) { return x.via == "socks5"; }, 1s);
  ASSERT_TRUE(rec);
  EXPECT_EQ(rec->path, "/brevaro/url.asp?url=help");

  auto d = svc::testing::socks_connect(server.socks_port(), "", "", "localhost", server.alt_port(), true);
  ASSERT_GE(d.fd, 0);
  EXPECT_EQ(parse(svc::testing::exchange_on(d.fd, get_request("/hostile/404"), 5s).data).status, 404);

  auto far = svc::testing::socks_connect(server.socks_port(), "", "", "10.0.0.1", 80);
  EXPECT_EQ(far.stage, "connect");
  EXPECT_EQ(far.code, 0x02);
  auto other = svc::testing::socks_connect(server.socks_port(), "", "", "127.0.0.1", 1);
  EXPECT_EQ(other.code, 0x05);
}

TEST(ServiceSocks, UserPasswordAuthentication) {
  svc::Config cfg;
  cfg.socks_user = "bob";
  cfg.socks_password = "pw";
  svc::Server s(cfg);
  auto none = svc::testing::socks_connect(s.socks_port(), "", "", "127.0.0.1", s.port());
  EXPECT_EQ(none.stage, "method");
  EXPECT_EQ(none.code, 0xFF);
  auto wrong = svc::testing::socks_connect(s.socks_port(), "bob", "nope", "127.0.0.1", s.port());
  EXPECT_EQ(wrong.stage, "auth");
  EXPECT_EQ(wrong.code, 1);
  auto ok = svc::testing::socks_connect(s.socks_port(), "bob", "pw", "127.0.0.1", s.port());
  ASSERT_GE(ok.fd, 0);
  EXPECT_EQ(parse(svc::testing::exchange_on(ok.fd, get_request("/brevaro/pages/help.htm"), 5s).data).status, 200);
}

// ---------------------------------------------------------------------------
// Lifecycle

TEST(ServiceLifecycle, StopsPromptlyWhileAnswersAreRunning) {
  auto s = std::make_unique<svc::Server>();
  std::uint16_t port = s->port();
  std::thread endless([port] { svc::testing::exchange(port, get_request("/hostile/endless"), 20s, 1); });
  std::thread stall([port] { svc::testing::exchange(port, get_request("/hostile/stall?ms=60000"), 20s); });
  std::thread idle([port] { svc::testing::exchange(port, "", 20s); });  // connects and says nothing
  ASSERT_TRUE(s->wait_for_path("/hostile/stall", 5s));
  auto t0 = std::chrono::steady_clock::now();
  s.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 3s);
  endless.join();
  stall.join();
  idle.join();
}

TEST(ServiceLifecycle, FixedPortAndWaitForTimeout) {
  svc::Server a;
  svc::Config cfg;
  cfg.port = a.port();
  EXPECT_THROW(svc::Server b(cfg), std::runtime_error);
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(a.wait_for_path("/never", 100ms));
  EXPECT_GE(std::chrono::steady_clock::now() - t0, 90ms);
  EXPECT_EQ(a.redirect_link("help"), a.base_url() + "url.asp?url=help");
}

// ---------------------------------------------------------------------------
// The program

TEST(ServiceProgram, PrintsReadyLineServesAndStopsOnSigterm) {
  std::string log = ::testing::TempDir() + "service-prog-" + std::to_string(::getpid()) + ".jsonl";
  std::remove(log.c_str());
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::dup2(out[1], 1);
    ::close(out[0]);
    ::close(out[1]);
    ::execl(BREVARO_SERVICE_EXE, BREVARO_SERVICE_EXE, "--port", "0", "--log", log.c_str(), "--config",
            BREVARO_SERVICE_EXAMPLE_CONF, static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(out[1]);
  std::string line;
  char c;
  while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
  ::close(out[0]);
  std::smatch m;
  ASSERT_TRUE(
      std::regex_match(line, m, std::regex(R"(brevaro-service ready port=(\d+) raw-port=(\d+) socks-port=(\d+))")))
      << line;
  auto port = static_cast<std::uint16_t>(std::stoi(m[1].str()));
  auto body = parse(svc::testing::exchange(port, get_request("/brevaro/quillbeam.asp?AppID=9")).data).body;
  EXPECT_EQ(lines_of(body).size(), 4u);  // version line + the example's three banners
  EXPECT_EQ(lines_of(body)[0], "version=1.1");
  ::kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::ifstream in(log);
  std::string first;
  std::getline(in, first);
  EXPECT_NE(first.find("\"path\":\"/brevaro/quillbeam.asp?AppID=9\""), std::string::npos) << first;
  std::remove(log.c_str());
}
