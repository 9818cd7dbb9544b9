// THttpCli on the POSIX backend: exact request bytes against a scripted
// loopback server, and the flows and hostile answers of the reference service.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "net/httpcli.h"
#include "net/posix/event_loop.h"
#include "net/posix/socket_api.h"
#include "service/server.h"
#include "tests/host/net/loopback_server.h"

using namespace brevaro::net;
using brevaro::net::testing::LoopbackServer;

namespace {

class HttpCliTest : public ::testing::Test {
 protected:
  posix::EventLoop loop;
  posix::PosixSocketApi api{loop};
  // The client of most tests, receiving into `body`.
  TMemoryStream body;
  THttpCli cli{api};

  void SetUp() override { cli.SetReceiveStream(&body); }

  // A URL on a scripted loopback server.
  static std::string local(const LoopbackServer& server, std::string_view path = "/") {
    return "http://127.0.0.1:" + server.portText() + std::string(path);
  }

  struct Outcome {
    bool raised = false;
    int code = 0;
    std::string message;
  };
  // Runs a synchronous Get; an optional timer aborts it after abortMs.
  Outcome get(THttpCli& client, int abortMs = 0) {
    Outcome o;
    std::uint64_t timer = 0;
    if (abortMs > 0) timer = loop.addTimer(abortMs, [&] { client.Abort(); });
    try {
      client.Get();
    } catch (const EHttpException& e) {
      o.raised = true;
      o.code = e.ErrorCode();
      o.message = e.what();
    }
    if (timer) loop.cancelTimer(timer);
    return o;
  }
  // The same with the fixture's client, for `url`.
  Outcome get(const std::string& url, int abortMs = 0) {
    cli.SetURL(url);
    return get(cli, abortMs);
  }
};

std::string ok(std::string_view body) {
  return "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n" + std::string(body);
}

}  // namespace

TEST_F(HttpCliTest, RequestBytesAndDocumentName) {
  LoopbackServer server([](int fd, const std::string&) { LoopbackServer::sendAll(fd, ok("dir listing")); });
  cli.SetURL(local(server, "/dir/"));
  cli.SetCookie("k=v");
  cli.SetUsername("u");
  cli.SetPassword("p");
  Outcome o = get(cli);
  EXPECT_FALSE(o.raised) << o.message;
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0],
            "GET /dir/ HTTP/1.0\r\n"
            "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
            "User-Agent: Mozilla/3.0 (compatible)\r\n"
            "Host: 127.0.0.1\r\n"
            "Authorization: Basic dTpw\r\n"
            "Cookie: k=v\r\n"
            "\r\n");
  EXPECT_EQ(cli.DocumentName(), "dir");
  EXPECT_EQ(cli.StatusCode(), 200);
  EXPECT_EQ(cli.ReasonPhrase(), "OK");
  EXPECT_EQ(cli.ContentType(), "text/html");
  EXPECT_EQ(body.Text(), "dir listing");
  EXPECT_EQ(cli.ReceivedCount(), 11);
  EXPECT_EQ(cli.ReceivedHeader(), (std::vector<std::string>{"HTTP/1.0 200 OK", "Content-Type: text/html"}));
}

TEST_F(HttpCliTest, EventsInOrderAndRequestDoneAfterReady) {
  LoopbackServer server([](int fd, const std::string&) { LoopbackServer::sendAll(fd, ok("x")); });
  std::vector<std::string> ev;
  cli.OnStateChange = [&](THttpCli& c) { ev.push_back("state:" + std::string(HttpStateName(c.State()))); };
  cli.OnSessionConnected = [&](THttpCli&) { ev.push_back("connected"); };
  cli.OnRequestHeaderBegin = [&](THttpCli&) { ev.push_back("reqBegin"); };
  cli.OnRequestHeaderEnd = [&](THttpCli&) { ev.push_back("reqEnd"); };
  cli.OnHeaderBegin = [&](THttpCli&) { ev.push_back("headerBegin"); };
  cli.OnHeaderData = [&](THttpCli&) { ev.push_back("headerData"); };
  cli.OnHeaderEnd = [&](THttpCli&) { ev.push_back("headerEnd"); };
  cli.OnDocBegin = [&](THttpCli&) { ev.push_back("docBegin"); };
  cli.OnDocData = [&](THttpCli&, const char*, int n) { ev.push_back("docData:" + std::to_string(n)); };
  cli.OnDocEnd = [&](THttpCli&) { ev.push_back("docEnd"); };
  bool done = false;
  cli.OnRequestDone = [&](THttpCli& c, THttpRequest rq, int err) {
    EXPECT_EQ(c.State(), httpReady);
    EXPECT_EQ(rq, httpGET);
    EXPECT_EQ(err, 0);
    ev.push_back("done");
    done = true;
  };
  cli.SetURL(local(server));
  cli.GetASync();
  ASSERT_TRUE(loop.runUntil([&] { return done; }, 3000));
  EXPECT_EQ(ev, (std::vector<std::string>{"state:NotConnected", "state:ResolvingHost", "state:HostResolved",
                                          "state:Connected", "connected", "state:WaitingHeader", "reqBegin", "reqEnd",
                                          "headerBegin", "headerData", "headerData", "state:WaitingBody", "headerEnd",
                                          "docBegin", "docData:1", "docEnd", "state:Ready", "done"}))
      << ::testing::PrintToString(ev);
}

TEST_F(HttpCliTest, RefusedBeforeAnythingIsSent) {
  LoopbackServer server([](int fd, const std::string&) { LoopbackServer::sendAll(fd, ok("x")); });
  cli.SetURL(local(server));
  cli.SetAgent("evil\r\nX-Injected: 1");
  Outcome o = get(cli);
  EXPECT_TRUE(o.raised);
  EXPECT_EQ(o.code, 7);
  EXPECT_EQ(o.message, "Invalid character in Agent");
  cli.SetAgent("fine");
  o = get(local(server, "/\r\nHost: x"));
  EXPECT_EQ(o.code, 7);
  EXPECT_EQ(cli.State(), httpReady);
  EXPECT_EQ(server.connections(), 0);
  // Busy and nothing to post.
  cli.SetURL(local(server));
  cli.GetASync();
  try {
    cli.Get();
    FAIL();
  } catch (const EHttpException& e) {
    EXPECT_EQ(e.ErrorCode(), 1);
    EXPECT_STREQ(e.what(), "HTTP component is busy");
  }
  cli.Abort();
  try {
    cli.Post();
    FAIL();
  } catch (const EHttpException& e) {
    EXPECT_EQ(e.ErrorCode(), 2);
    EXPECT_STREQ(e.what(), "HTTP component has nothing to post");
  }
}

TEST_F(HttpCliTest, AbortWhileResolving) {
  cli.SetURL("http://localhost:1/x");
  int aborts = 0;
  cli.SetApplicationPump([&] {
    if (cli.State() == httpResolvingHost && aborts++ == 0) cli.Abort();
    loop.runOnce(5);
  });
  Outcome o = get(cli);
  EXPECT_TRUE(o.raised);
  EXPECT_EQ(o.code, 404);
  EXPECT_EQ(o.message, "Connection aborted on request");
  EXPECT_EQ(cli.RequestDoneError(), 3);
  EXPECT_EQ(aborts, 1);
}

TEST_F(HttpCliTest, LocalFailuresAre404WithTheirTexts) {
  std::uint16_t freePort;
  {
    LoopbackServer probe([](int, const std::string&) {}, false);
    freePort = probe.port();
  }
  Outcome o = get("http://127.0.0.1:" + std::to_string(freePort) + "/");
  EXPECT_EQ(o.code, 404);
  EXPECT_EQ(o.message, "Connection refused (Error #10061)");
  EXPECT_EQ(cli.RequestDoneError(), 10061);

  o = get("http:///nohost");
  EXPECT_EQ(o.code, 404);
  EXPECT_EQ(o.message, "can't resolve hostname to IP address");

  o = get("http://127.0.0.1:99999/");
  EXPECT_EQ(o.code, 404);
  EXPECT_EQ(o.message, "can't connect: connect: WSocketResolvePort: Invalid Port.");
  EXPECT_EQ(cli.RequestDoneError(), 10022);  // a failure, even without a Winsock error number
}

TEST_F(HttpCliTest, ProxyRequestLineAndHost) {
  LoopbackServer proxy([](int fd, const std::string&) { LoopbackServer::sendAll(fd, ok("via proxy")); });
  cli.SetURL("http://www.example.invalid/a/b.asp?x=1");
  cli.SetProxy("127.0.0.1");
  cli.SetProxyPort(proxy.portText());
  cli.SetAccept("");
  cli.SetAgent("");
  Outcome o = get(cli);
  EXPECT_FALSE(o.raised) << o.message;
  ASSERT_EQ(proxy.requests().size(), 1u);
  EXPECT_EQ(proxy.requests()[0],
            "GET http://www.example.invalid/a/b.asp?x=1 HTTP/1.0\r\nHost: www.example.invalid\r\n\r\n");
  EXPECT_EQ(cli.DocumentName(), "b.asp");
  EXPECT_EQ(body.Text(), "via proxy");
}

TEST_F(HttpCliTest, ARedirectToAPathStaysOnTheHost) {
  LoopbackServer server([](int fd, const std::string& req) {
    if (req.starts_with("GET /start ")) LoopbackServer::sendAll(fd, "HTTP/1.0 302 Moved\r\nLocation: /x\r\n\r\nmoved");
    else LoopbackServer::sendAll(fd, ok("final"));
  });
  int locationChanges = 0;
  cli.OnLocationChange = [&](THttpCli& c) {
    ++locationChanges;
    EXPECT_EQ(c.Location(), local(server, "/x"));
  };
  Outcome o = get(local(server, "/start"));
  EXPECT_FALSE(o.raised) << o.message;
  EXPECT_EQ(locationChanges, 1);
  ASSERT_EQ(server.requests().size(), 2u);
  EXPECT_TRUE(server.requests()[1].starts_with("GET /x HTTP/1.0\r\n"));
  EXPECT_EQ(body.Text(), "final");
  EXPECT_EQ(cli.StatusCode(), 200);
}

TEST_F(HttpCliTest, PostSendsTheStream) {
  std::string got;
  LoopbackServer server([&](int fd, const std::string& head) {
    std::string rest = head.substr(head.find("\r\n\r\n") + 4);
    while (rest.size() < 20000) {
      char buf[4096];
      ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      rest.append(buf, static_cast<std::size_t>(n));
    }
    got = rest;
    LoopbackServer::sendAll(fd, ok("posted"));
  });
  std::string payload(20000, 'q');
  TMemoryStream post(payload);
  cli.SetPostDataStream(&post);
  int sendBegin = 0, sendEnd = 0;
  cli.OnSendBegin = [&](THttpCli&) { ++sendBegin; };
  cli.OnSendEnd = [&](THttpCli&) { ++sendEnd; };
  cli.SetURL(local(server, "/form"));
  try {
    cli.Post();
  } catch (const EHttpException& e) {
    FAIL() << e.what();
  }
  EXPECT_EQ(got, payload);
  EXPECT_EQ(cli.SentCount(), 20000);
  EXPECT_EQ(sendBegin, 1);
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_NE(server.requests()[0].find("Content-Length: 20000\r\n"), std::string::npos);
  EXPECT_NE(server.requests()[0].find("Content-Type: application/x-www-form-urlencoded\r\n"), std::string::npos);
  EXPECT_TRUE(server.requests()[0].starts_with("POST /form HTTP/1.0\r\n"));
}

// --- against the reference service ---

class HttpCliServiceTest : public HttpCliTest {
 protected:
  brevaro::service::Server svc;
};

TEST_F(HttpCliServiceTest, RedirectLinkToARealPage) {
  Outcome o = get(svc.redirect_link("accounts"));
  EXPECT_FALSE(o.raised) << o.message;
  EXPECT_EQ(cli.StatusCode(), 200);
  EXPECT_NE(body.Text().find("brevaro - Accounts"), std::string::npos);
  EXPECT_EQ(cli.Location(), svc.base_url() + "pages/accounts.htm");
  EXPECT_EQ(cli.DocumentName(), "url.asp");
}

TEST_F(HttpCliServiceTest, NotFoundRaisesWithTheServersReason) {
  Outcome o = get(svc.url("/hostile/404?reason=Gone%20for%20good"));
  EXPECT_TRUE(o.raised);
  EXPECT_EQ(o.code, 404);
  EXPECT_EQ(o.message, "Gone for good");
  EXPECT_EQ(cli.ReceivedCount(), 0);
  EXPECT_EQ(cli.ReceivedHeader().size(), 1u);  // ended at the status line
}

TEST_F(HttpCliServiceTest, HeaderlessAnswerIsTheBody) {
  Outcome o = get(svc.url("/hostile/headerless"));
  EXPECT_FALSE(o.raised) << o.message;
  EXPECT_EQ(cli.StatusCode(), 0);
  EXPECT_EQ(cli.ContentType(), "text/html");
  EXPECT_TRUE(body.Text().starts_with("<HTML><HEAD><TITLE>Headerless</TITLE>")) << body.Text();
}

TEST_F(HttpCliServiceTest, BodyWithoutLengthIsReadUntilClose) {
  Outcome o = get(svc.url("/hostile/no-length"));
  EXPECT_FALSE(o.raised) << o.message;
  EXPECT_EQ(cli.ContentLength(), -1);
  EXPECT_GT(body.Size(), 0u);
  EXPECT_EQ(static_cast<std::int64_t>(body.Size()), cli.ReceivedCount());

  body.Clear();
  o = get(svc.url("/bench/bytes?n=300000"));
  EXPECT_FALSE(o.raised) << o.message;
  EXPECT_EQ(cli.ContentLength(), 300000);
  EXPECT_EQ(body.Size(), 300000u);
}

TEST_F(HttpCliServiceTest, RedirectLimit) {
  int changes = 0;
  cli.OnLocationChange = [&](THttpCli&) { ++changes; };
  Outcome o = get(svc.url("/hostile/redirect-chain/10"));
  EXPECT_FALSE(o.raised) << o.message;
  EXPECT_EQ(changes, 10);
  EXPECT_EQ(cli.StatusCode(), 200);

  changes = 0;
  svc.clear_requests();
  o = get(svc.url("/hostile/redirect-loop"));
  EXPECT_TRUE(o.raised);
  EXPECT_EQ(o.code, 404);
  EXPECT_EQ(o.message, "Too many redirects");
  EXPECT_EQ(cli.RequestDoneError(), 6);
  EXPECT_EQ(changes, 10);
  EXPECT_EQ(svc.request_count(), 11u);
}

TEST_F(HttpCliServiceTest, RedirectsToRootAndToAnotherPort) {
  Outcome o = get(svc.url("/hostile/redirect-absolute"));
  EXPECT_FALSE(o.raised) << o.message;
  EXPECT_EQ(cli.Location(), "http://127.0.0.1:" + std::to_string(svc.alt_port()) + "/brevaro/pages/accounts.htm");
  EXPECT_EQ(cli.StatusCode(), 200);
  o = get(svc.url("/hostile/redirect-root"));
  EXPECT_FALSE(o.raised) << o.message;
  EXPECT_EQ(cli.Location(), svc.root_url() + "/");
}

TEST_F(HttpCliServiceTest, HostileAnswersEndInAClearError) {
  struct Case {
    std::string path;
    std::string message;  // empty: any EHttpException
    int requestDoneError;
  } cases[] = {
      {"/hostile/long-header-line", "HTTP line too long", 4},
      {"/hostile/big-header-block", "HTTP header too large", 5},
      {"/hostile/many-header-lines", "HTTP header too large", 5},
      {"/hostile/garbage-nolf", "HTTP line too long", 4},
      {"/hostile/close", "Connection closed before the HTTP header was complete", 10},
      {"/hostile/reset", "Connection reset by peer (Error #10054)", 10054},
      {"/hostile/reset-body", "Connection reset by peer (Error #10054)", 10054},
      {"/hostile/garbage", "", -1},
  };
  for (const auto& c : cases) {
    THttpCli fresh(api);  // a new client for every case
    TMemoryStream received;
    fresh.SetReceiveStream(&received);
    fresh.SetURL(svc.url(c.path));
    Outcome o = get(fresh, 10000);
    EXPECT_TRUE(o.raised) << c.path;
    if (!c.message.empty()) {
      EXPECT_EQ(o.message, c.message) << c.path;
    }
    if (c.requestDoneError >= 0) {
      EXPECT_EQ(fresh.RequestDoneError(), c.requestDoneError) << c.path;
    }
    EXPECT_NE(fresh.RequestDoneError(), 3) << c.path << " needed the abort timer";
    EXPECT_EQ(fresh.State(), httpReady);
  }
}

TEST_F(HttpCliServiceTest, OddButValidAnswers) {
  Outcome o = get(svc.url("/hostile/bad-length?value=-12"));
  EXPECT_FALSE(o.raised) << o.message;
  EXPECT_EQ(cli.ContentLength(), -1);
  EXPECT_GT(body.Size(), 0u);
  body.Clear();
  o = get(svc.url("/hostile/lf-only"));
  EXPECT_FALSE(o.raised) << o.message;
  EXPECT_EQ(cli.StatusCode(), 200);
  EXPECT_GT(body.Size(), 0u);
  body.Clear();
  o = get(svc.url("/hostile/slow?bytes=20&ms=5"));
  EXPECT_FALSE(o.raised) << o.message;
  EXPECT_EQ(body.Size(), 20u);
}

TEST_F(HttpCliServiceTest, AbortEndsEndlessAndStalledAnswers) {
  for (const char* path : {"/hostile/endless", "/hostile/stall?ms=20000", "/hostile/slow?bytes=100000&ms=50"}) {
    THttpCli fresh(api);
    std::int64_t seen = 0;
    fresh.OnDocData = [&](THttpCli& c, const char*, int n) {
      seen += n;
      if (seen > 1000000) c.Abort();  // the caller has seen enough of the endless body
    };
    fresh.SetURL(svc.url(path));
    auto start = std::chrono::steady_clock::now();
    Outcome o = get(fresh, 300);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(o.raised) << path;
    EXPECT_EQ(o.message, "Connection aborted on request") << path;
    EXPECT_EQ(fresh.RequestDoneError(), 3);
    EXPECT_LT(took, std::chrono::seconds(3)) << path;
    EXPECT_EQ(seen, fresh.ReceivedCount());
  }
}

TEST_F(HttpCliServiceTest, ThroughTheServiceAsProxy) {
  cli.SetURL("http://www.example.invalid/brevaro/url.asp?url=help");
  cli.SetProxy("127.0.0.1:" + std::to_string(svc.port()));
  Outcome o = get(cli);
  EXPECT_FALSE(o.raised) << o.message;
  EXPECT_NE(body.Text().find("brevaro - Help"), std::string::npos);
  auto recs = svc.requests();
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_EQ(recs[0].via, "proxy");
  EXPECT_EQ(recs[0].target, "http://www.example.invalid/brevaro/url.asp?url=help");
  EXPECT_EQ(recs[0].header("Host"), "www.example.invalid");
  EXPECT_EQ(recs[1].target, "http://www.example.invalid/brevaro/pages/help.htm");
}

TEST_F(HttpCliServiceTest, SocksFiveConnectsThroughTheService) {
  for (bool auth : {false, true}) {
    brevaro::service::Config cfg;
    if (auth) {
      cfg.socks_user = "sam";
      cfg.socks_password = "pw";
    }
    brevaro::service::Server s2(cfg);
    TWSocket sock(api);
    std::string answer;
    bool socksUp = false, closed = false;
    std::string socksError;
    sock.SetSocksServer("127.0.0.1");
    sock.SetSocksPort(std::to_string(s2.socks_port()));
    if (auth) {
      sock.SetSocksAuthentication(socksAuthenticateUsercode);
      sock.SetSocksUsercode("sam");
      sock.SetSocksPassword("pw");
    }
    sock.OnSocksConnected = [&](TCustomWSocket&, std::uint16_t e) { socksUp = e == 0; };
    sock.OnSocksError = [&](TCustomWSocket&, std::uint16_t, const std::string& m) { socksError = m; };
    sock.OnSessionConnected = [&](TCustomWSocket& me, std::uint16_t e) {
      if (e == 0) me.Send(std::string_view("GET /brevaro/pages/help.htm HTTP/1.0\r\nHost: x\r\n\r\n"));
    };
    sock.OnDataAvailable = [&](TCustomWSocket& me, std::uint16_t) { answer += me.ReceiveText(); };
    sock.OnSessionClosed = [&](TCustomWSocket&, std::uint16_t) { closed = true; };
    sock.SetAddr("127.0.0.1");
    sock.SetPort(std::to_string(s2.port()));
    sock.Connect();
    ASSERT_TRUE(loop.runUntil([&] { return closed; }, 3000));
    EXPECT_TRUE(socksUp) << socksError;
    EXPECT_TRUE(answer.starts_with("HTTP/1.")) << answer.substr(0, 100);
    EXPECT_NE(answer.find("brevaro - Help"), std::string::npos);
    auto recs = s2.requests();
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].via, "socks5");
  }
}

TEST_F(HttpCliServiceTest, SocksFailureIsReported) {
  brevaro::service::Config cfg;
  cfg.socks_user = "sam";
  cfg.socks_password = "pw";
  brevaro::service::Server s2(cfg);
  TWSocket sock(api);
  std::string socksError;
  int connectError = -1;
  sock.SetSocksServer("127.0.0.1");
  sock.SetSocksPort(std::to_string(s2.socks_port()));
  sock.SetSocksAuthentication(socksAuthenticateUsercode);
  sock.SetSocksUsercode("sam");
  sock.SetSocksPassword("wrong");
  sock.OnSocksError = [&](TCustomWSocket&, std::uint16_t, const std::string& m) { socksError = m; };
  sock.OnSessionConnected = [&](TCustomWSocket&, std::uint16_t e) { connectError = e; };
  std::vector<TSocksAuthState> authStates;
  sock.OnSocksAuthState = [&](TCustomWSocket&, TSocksAuthState st) { authStates.push_back(st); };
  sock.SetAddr("127.0.0.1");
  sock.SetPort(std::to_string(s2.port()));
  sock.Connect();
  ASSERT_TRUE(loop.runUntil([&] { return connectError != -1; }, 3000));
  EXPECT_EQ(socksError, "authentification failed");
  EXPECT_EQ(authStates, (std::vector<TSocksAuthState>{socksAuthStart, socksAuthFailure}));
  EXPECT_NE(connectError, 0);
  EXPECT_THROW(sock.SetSocksLevel("6"), ESocketException);
}

TEST_F(HttpCliTest, AnHtmlAnswerForAnExeBecomesHtm) {
  LoopbackServer server([](int fd, const std::string&) {
    LoopbackServer::sendAll(fd, "HTTP/1.0 200 OK\r\nContent-Type: TEXT/HTML\r\nSet-Cookie: s=1\r\n\r\n<html></html>");
  });
  std::vector<std::string> cookies;
  cli.OnCookie = [&](THttpCli&, const std::string& v, bool& accept) {
    cookies.push_back(v);
    EXPECT_TRUE(accept);
  };
  Outcome o = get(local(server, "/download/setup.exe"));
  EXPECT_FALSE(o.raised) << o.message;
  EXPECT_EQ(cli.DocumentName(), "setup.htm");
  EXPECT_EQ(cli.ContentType(), "text/html");
  EXPECT_EQ(cookies, (std::vector<std::string>{"s=1"}));
}

TEST_F(HttpCliServiceTest, ProxyAuthentication) {
  brevaro::service::Config cfg;
  cfg.proxy_user = "pu";
  cfg.proxy_password = "pp";
  brevaro::service::Server guarded(cfg);
  cli.SetURL("http://www.example.invalid/brevaro/pages/help.htm");
  cli.SetProxy("127.0.0.1");
  cli.SetProxyPort(std::to_string(guarded.port()));
  Outcome o = get(cli);
  EXPECT_TRUE(o.raised);
  EXPECT_EQ(o.code, 407);
  cli.SetProxyUsername("pu");
  cli.SetProxyPassword("pp");
  o = get(cli);
  EXPECT_FALSE(o.raised) << o.message;
  EXPECT_EQ(cli.StatusCode(), 200);
  auto recs = guarded.requests();
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_EQ(recs[1].header("Proxy-Authorization"), "Basic cHU6cHA=");
}

// --- time limits and the quit ---

// The idle and total limits against the service's stalled and trickling
// answers: each row is a transfer, its limits and what must come of it.
TEST_F(HttpCliServiceTest, IdleAndTotalLimitsEndStalledAndTricklingTransfers) {
  using namespace std::chrono;
  struct Case {
    const char* name;
    const char* path;
    std::uint32_t idle_ms, total_ms;
    bool timed_out;
    milliseconds at_least, below;  // how long the call took
  };
  const Case cases[] = {
      {"stalled, idle limit", "/hostile/stall?ms=20000", 300, 0, true, 250ms, 3000ms},
      {"stalled, total limit", "/hostile/stall?ms=20000", 0, 400, true, 350ms, 3000ms},
      {"a byte every 100 ms keeps the idle limit away", "/hostile/slow?bytes=8&ms=100", 400, 0, false, 700ms, 5000ms},
      {"one byte a second, past the total", "/hostile/slow?bytes=100&ms=1000", 1500, 2500, true, 2400ms, 5000ms},
      {"a header trickling past the total", "/hostile/slow-header?ms=100", 1000, 800, true, 750ms, 3000ms},
      {"a quick answer within both", "/hostile/slow?bytes=4&ms=0", 300, 1000, false, 0ms, 2000ms},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    THttpCli fresh(api);
    TMemoryStream received;
    fresh.SetReceiveStream(&received);
    fresh.SetIdleTimeout(c.idle_ms);
    fresh.SetTotalTimeout(c.total_ms);
    EXPECT_EQ(fresh.IdleTimeout(), c.idle_ms);
    EXPECT_EQ(fresh.TotalTimeout(), c.total_ms);
    int done = 0, doneError = -1;
    fresh.OnRequestDone = [&](THttpCli&, THttpRequest, int error) {
      ++done;
      doneError = error;
    };
    fresh.SetURL(svc.url(c.path));
    const auto start = steady_clock::now();
    Outcome o = get(fresh);
    const auto took = duration_cast<milliseconds>(steady_clock::now() - start);
    EXPECT_GE(took, c.at_least);
    EXPECT_LT(took, c.below);
    EXPECT_EQ(fresh.State(), httpReady);
    loop.runUntil([&] { return done > 0; }, 1000);
    EXPECT_EQ(done, 1);
    if (c.timed_out) {
      EXPECT_TRUE(o.raised);
      EXPECT_EQ(o.code, 404);
      EXPECT_EQ(o.message, "Transfer timed out");
      EXPECT_EQ(fresh.RequestDoneError(), 11);
      EXPECT_EQ(doneError, 11);
    } else {
      EXPECT_FALSE(o.raised) << o.message;
      EXPECT_EQ(fresh.RequestDoneError(), 0);
      EXPECT_GT(received.Size(), 0u);
    }
  }
}

// The limits run on the clock the owner gives, and an asynchronous transfer
// is ended by CheckTimeLimits like a synchronous one by its wait.
TEST_F(HttpCliServiceTest, LimitsRunOnTheGivenClock) {
  std::uint64_t now = 1000;
  THttpCli fresh(api);
  fresh.SetClock([&] { return now; });
  fresh.SetIdleTimeout(30000);
  fresh.SetTotalTimeout(120000);
  fresh.SetURL(svc.url("/hostile/stall?ms=20000"));
  fresh.GetASync();
  loop.runUntil([&] { return fresh.State() == httpWaitingHeader; }, 2000);
  ASSERT_EQ(fresh.State(), httpWaitingHeader);
  now += 29999;
  EXPECT_FALSE(fresh.CheckTimeLimits());
  EXPECT_EQ(fresh.State(), httpWaitingHeader);
  now += 1;
  EXPECT_TRUE(fresh.CheckTimeLimits());
  EXPECT_EQ(fresh.State(), httpReady);
  EXPECT_EQ(fresh.RequestDoneError(), 11);
  EXPECT_EQ(fresh.ReasonPhrase(), "Transfer timed out");
  EXPECT_FALSE(fresh.CheckTimeLimits());  // nothing left to end

  // The total limit counts from the start even while bytes keep coming.
  THttpCli trickle(api);
  trickle.SetClock([&] { return now; });
  trickle.SetIdleTimeout(30000);
  trickle.SetTotalTimeout(120000);
  trickle.OnDocData = [&](THttpCli&, const char*, int) { now += 20000; };  // each byte 20 s later
  trickle.SetURL(svc.url("/hostile/slow?bytes=50&ms=10"));
  Outcome o = get(trickle);
  EXPECT_TRUE(o.raised);
  EXPECT_EQ(o.message, "Transfer timed out");
  EXPECT_LE(trickle.ReceivedCount(), 7);
  EXPECT_GE(trickle.ReceivedCount(), 5);
}

// A synchronous transfer returns at once when the application is quitting,
// and while it waits it sleeps until something arrives instead of spinning.
TEST_F(HttpCliServiceTest, QuitEndsASynchronousTransferThatSleepsWhileItWaits) {
  using namespace std::chrono;
  for (const char* path :
       {"/hostile/stall?ms=20000", "/hostile/slow?bytes=1000&ms=1000", "/hostile/slow?bytes=100000&ms=1"}) {
    SCOPED_TRACE(path);
    THttpCli fresh(api);
    bool quitting = false;
    int pumps = 0, waits = 0;
    fresh.SetApplicationPump(
        [&] {
          ++pumps;
          loop.runOnce(0);
        },
        [&](std::uint32_t ms) {
          ++waits;
          api.waitForEvent(ms);
        });
    fresh.SetQuitting([&] { return quitting; });
    const auto start = steady_clock::now();
    const auto quitAt = start + 700ms;
    // The quit comes from a handler that runs while the transfer waits.
    fresh.OnDocData = [&](THttpCli&, const char*, int) {
      if (steady_clock::now() >= quitAt) quitting = true;
    };
    const auto timer = loop.addTimer(700, [&] { quitting = true; });
    fresh.SetURL(svc.url(path));
    Outcome o = get(fresh);
    loop.cancelTimer(timer);
    const auto took = steady_clock::now() - start;
    EXPECT_TRUE(o.raised);
    EXPECT_EQ(o.message, "Connection aborted on request");
    EXPECT_EQ(fresh.State(), httpReady);
    EXPECT_GE(took, 650ms);
    EXPECT_LT(took, 1500ms);
    if (std::string_view(path).find("ms=1000") != std::string_view::npos ||
        std::string_view(path).find("stall") != std::string_view::npos) {
      // Asleep between the events: a spinning wait would pump thousands of times.
      EXPECT_LT(pumps, 40);
      EXPECT_GE(waits, 1);
    }
  }

  // Already quitting: the transfer does not wait at all.
  THttpCli late(api);
  late.SetQuitting([] { return true; });
  late.SetURL(svc.url("/hostile/stall?ms=20000"));
  const auto start = steady_clock::now();
  Outcome o = get(late);
  EXPECT_TRUE(o.raised);
  EXPECT_LT(steady_clock::now() - start, 500ms);
}
