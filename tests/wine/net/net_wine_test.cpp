// The Windows backend under Wine: Winsock 1.1 (wsock32.dll with
// WSAAsyncSelect to hidden windows), the HTTP client, and the ICMP echo.
// The reference-service flows need BREVARO_SERVICE_PORT (and, for SOCKS,
// BREVARO_SERVICE_SOCKS_PORT) naming a service on 127.0.0.1.
#include <windows.h>
#include <gtest/gtest.h>
#undef SetPort  // winspool's macro would rename the socket's SetPort

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "net/httpcli.h"
#include "net/icmp.h"
#include "net/win32/socket_api.h"
#include "net/wsocket.h"

using namespace brevaro::net;

namespace {

class WinNetTest : public ::testing::Test {
 protected:
  win32::Win32SocketApi api;

  bool runUntil(const std::function<bool()>& pred, int ms = 5000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!pred()) {
      if (std::chrono::steady_clock::now() > end) return false;
      api.processMessages();
    }
    return true;
  }
};

// A one-connection-at-a-time HTTP answerer built from TWSocket itself.
class CannedServer {
 public:
  CannedServer(SocketApi& api, std::string answer) : api_(api), answer_(std::move(answer)), listener_(api) {
    listener_.SetAddr("127.0.0.1");
    listener_.SetPort("0");
    listener_.OnSessionAvailable = [this](TCustomWSocket& me, std::uint16_t) {
      auto c = std::make_unique<TWSocket>(api_);
      TWSocket* raw = c.get();
      auto request = std::make_shared<std::string>();
      raw->OnDataAvailable = [this, request](TCustomWSocket& s, std::uint16_t) {
        *request += s.ReceiveText();
        if (request->find("\r\n\r\n") != std::string::npos && !answered_) {
          answered_ = true;
          requests.push_back(*request);
          s.Send(answer_);
        }
      };
      raw->OnDataSent = [](TCustomWSocket& s, std::uint16_t) { s.CloseLater(); };
      raw->Dup(me.Accept());
      answered_ = false;
      clients_.push_back(std::move(c));
    };
    listener_.Listen();
  }
  std::string port() const { return listener_.LocalPort(); }
  std::vector<std::string> requests;

 private:
  SocketApi& api_;
  std::string answer_;
  TWSocket listener_;
  std::vector<std::unique_ptr<TWSocket>> clients_;
  bool answered_ = false;
};

struct Outcome {
  bool raised = false;
  int code = 0;
  std::string message;
};

Outcome get(THttpCli& cli) {
  Outcome o;
  try {
    cli.Get();
  } catch (const EHttpException& e) {
    o.raised = true;
    o.code = e.ErrorCode();
    o.message = e.what();
  }
  return o;
}

std::string servicePort(const char* var = "BREVARO_SERVICE_PORT") {
  const char* v = std::getenv(var);
  return v ? std::string(v) : std::string();
}

}  // namespace

TEST_F(WinNetTest, DottedLookupAndSendWhenNotConnected) {
  TWSocket s(api);
  int done = -1;
  s.OnDnsLookupDone = [&](TCustomWSocket&, std::uint16_t e) { done = e; };
  s.DnsLookup("127.0.0.1");
  EXPECT_EQ(done, 0);
  EXPECT_EQ(s.DnsResult(), "127.0.0.1");
  done = -1;
  s.DnsLookup("localhost");
  ASSERT_TRUE(runUntil([&] { return done != -1; }));
  EXPECT_EQ(done, 0);
  EXPECT_EQ(s.DnsResult(), "127.0.0.1");
  try {
    s.Send("x");
    FAIL();
  } catch (const ESocketException& e) {
    EXPECT_STREQ(e.what(), "Error 10057 in function Send\r\nSocket is not connected");
  }
}

TEST_F(WinNetTest, LoopbackSessionWithSendBuffers) {
  TWSocket listener(api);
  std::unique_ptr<TWSocket> peer;
  std::string received;
  listener.SetAddr("127.0.0.1");
  listener.SetPort("0");
  listener.OnSessionAvailable = [&](TCustomWSocket& me, std::uint16_t) {
    peer = std::make_unique<TWSocket>(api);
    peer->OnDataAvailable = [&](TCustomWSocket& p, std::uint16_t) {
      received += p.ReceiveText();
      if (received.size() >= 4000) p.Close();
    };
    peer->Dup(me.Accept());
  };
  listener.Listen();
  ASSERT_EQ(listener.State(), wsListening);

  TWSocket client(api);
  std::vector<int> chunks;
  int dataSent = 0, closed = 0;
  bool inSend = false;
  client.OnSessionConnected = [&](TCustomWSocket& me, std::uint16_t e) {
    ASSERT_EQ(e, 0);
    EXPECT_THROW(me.SetAddr("10.0.0.1"), ESocketException);
    std::string payload(4000, 'w');
    inSend = true;
    EXPECT_EQ(me.Send(payload.data(), 4000), 4000);
    inSend = false;
  };
  client.OnSendData = [&](TCustomWSocket&, int n) { chunks.push_back(n); };
  client.OnDataSent = [&](TCustomWSocket&, std::uint16_t) {
    EXPECT_FALSE(inSend);
    ++dataSent;
  };
  client.OnSessionClosed = [&](TCustomWSocket&, std::uint16_t) { ++closed; };
  client.SetAddr("127.0.0.1");
  client.SetPort(listener.LocalPort());
  client.Connect();
  ASSERT_TRUE(runUntil([&] { return closed > 0; }));
  runUntil([] { return false; }, 100);
  EXPECT_EQ(chunks, (std::vector<int>{1514, 1514, 972}));
  EXPECT_EQ(dataSent, 1);
  EXPECT_EQ(closed, 1);
  EXPECT_EQ(received, std::string(4000, 'w'));
}

TEST_F(WinNetTest, HttpGetFromAnInProcessServer) {
  CannedServer server(api, "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nhello from winsock");
  THttpCli cli(api);
  TMemoryStream body;
  cli.SetReceiveStream(&body);
  cli.SetURL("http://127.0.0.1:" + server.port() + "/dir/");
  Outcome o = get(cli);
  EXPECT_FALSE(o.raised) << o.message;
  EXPECT_EQ(body.Text(), "hello from winsock");
  EXPECT_EQ(cli.DocumentName(), "dir");
  ASSERT_EQ(server.requests.size(), 1u);
  EXPECT_TRUE(server.requests[0].starts_with("GET /dir/ HTTP/1.0\r\n"));
}

TEST_F(WinNetTest, HttpErrorStatusRaises) {
  CannedServer server(api, "HTTP/1.0 404 Nothing here\r\n\r\n");
  THttpCli cli(api);
  cli.SetURL("http://127.0.0.1:" + server.port() + "/missing");
  Outcome o = get(cli);
  EXPECT_TRUE(o.raised);
  EXPECT_EQ(o.code, 404);
  EXPECT_EQ(o.message, "Nothing here");
}

TEST_F(WinNetTest, ServiceFlows) {
  std::string port = servicePort();
  if (port.empty()) GTEST_SKIP() << "BREVARO_SERVICE_PORT is not set: no reference service to talk to";
  std::string root = "http://127.0.0.1:" + port;
  THttpCli cli(api);
  TMemoryStream body;
  cli.SetReceiveStream(&body);

  cli.SetURL(root + "/brevaro/url.asp?url=accounts");
  Outcome o = get(cli);
  EXPECT_FALSE(o.raised) << o.message;
  EXPECT_NE(body.Text().find("brevaro - Accounts"), std::string::npos);
  EXPECT_EQ(cli.Location(), root + "/brevaro/pages/accounts.htm");

  body.Clear();
  cli.SetURL(root + "/hostile/404?reason=Gone%20away");
  o = get(cli);
  EXPECT_EQ(o.code, 404);
  EXPECT_EQ(o.message, "Gone away");
  EXPECT_EQ(body.Size(), 0u);

  body.Clear();
  cli.SetURL(root + "/hostile/headerless");
  o = get(cli);
  EXPECT_FALSE(o.raised) << o.message;
  EXPECT_EQ(cli.StatusCode(), 0);
  EXPECT_TRUE(body.Text().starts_with("<HTML>"));

  body.Clear();
  cli.SetURL(root + "/hostile/no-length");
  o = get(cli);
  EXPECT_FALSE(o.raised) << o.message;
  EXPECT_EQ(cli.ContentLength(), -1);
  EXPECT_GT(body.Size(), 0u);

  cli.SetURL(root + "/hostile/redirect-loop");
  o = get(cli);
  EXPECT_EQ(o.message, "Too many redirects");

  cli.SetURL(root + "/hostile/long-header-line");
  o = get(cli);
  EXPECT_EQ(o.message, "HTTP line too long");

  // Through the service as an HTTP proxy.
  body.Clear();
  cli.SetURL("http://www.example.invalid/brevaro/pages/help.htm");
  cli.SetProxy("127.0.0.1");
  cli.SetProxyPort(port);
  o = get(cli);
  EXPECT_FALSE(o.raised) << o.message;
  EXPECT_NE(body.Text().find("brevaro - Help"), std::string::npos);
}

TEST_F(WinNetTest, ServiceAbortAndSocks) {
  std::string port = servicePort();
  if (port.empty()) GTEST_SKIP() << "BREVARO_SERVICE_PORT is not set: no reference service to talk to";
  THttpCli cli(api);
  cli.OnDocData = [&](THttpCli& c, const char*, int) {
    if (c.ReceivedCount() > 200000) c.Abort();
  };
  cli.SetURL("http://127.0.0.1:" + port + "/hostile/endless");
  Outcome o = get(cli);
  EXPECT_EQ(o.message, "Connection aborted on request");
  EXPECT_EQ(cli.RequestDoneError(), 3);

  std::string socks = servicePort("BREVARO_SERVICE_SOCKS_PORT");
  if (socks.empty()) GTEST_SKIP() << "BREVARO_SERVICE_SOCKS_PORT is not set: SOCKS part skipped";
  THttpCli viaSocks(api);
  TMemoryStream body;
  viaSocks.SetReceiveStream(&body);
  viaSocks.CtrlSocket().SetSocksServer("127.0.0.1");
  viaSocks.CtrlSocket().SetSocksPort(socks);
  viaSocks.SetURL("http://127.0.0.1:" + port + "/brevaro/pages/help.htm");
  o = get(viaSocks);
  EXPECT_FALSE(o.raised) << o.message;
  EXPECT_NE(body.Text().find("brevaro - Help"), std::string::npos);
}

TEST_F(WinNetTest, PingLoopback) {
  std::unique_ptr<TPing> ping;
  try {
    ping = std::make_unique<TPing>(api);
  } catch (const TICMPException& e) {
    GTEST_SKIP() << "icmp.dll cannot be used here: " << e.what();
  }
  ping->SetAddress("127.0.0.1");
  ping->SetTimeout(2000);
  int replies = -1;
  ping->OnEchoReply = [&](TPing&, TICMP&, int e) { replies = e; };
  EXPECT_EQ(ping->Ping(), 1);
  EXPECT_EQ(replies, 1);
  EXPECT_EQ(ping->Icmp().Reply().Status, 0u);
  EXPECT_EQ(ping->Icmp().Reply().DataSize, 56);

  // A size shorter than the identification text cuts it.
  ping->SetSize(5);
  replies = -1;
  EXPECT_EQ(ping->Ping(), 1);
  EXPECT_EQ(replies, 1);
  EXPECT_EQ(ping->Icmp().RequestData(), std::string(icmp_identification.substr(0, 5)));
  EXPECT_EQ(ping->Icmp().Reply().DataSize, 5);
}

TEST_F(WinNetTest, PingInvalidAddress) {
  std::unique_ptr<TPing> ping;
  try {
    ping = std::make_unique<TPing>(api);
  } catch (const TICMPException& e) {
    GTEST_SKIP() << "icmp.dll cannot be used here: " << e.what();
  }
  std::vector<std::string> shown;
  int replies = 0;
  ping->OnDisplay = [&](TPing&, TICMP&, const std::string& m) { shown.push_back(m); };
  ping->OnEchoReply = [&](TPing&, TICMP&, int) { ++replies; };
  ping->SetAddress("255.255.255.255");
  EXPECT_EQ(ping->Ping(), 0);
  EXPECT_EQ(replies, 0);
  EXPECT_EQ(shown, (std::vector<std::string>{"Invalid host address"}));
  EXPECT_EQ(ping->Icmp().LastError(), 11018);
}

// A quit message met while the sockets pump is left in the queue for the loop
// that owns it, as the UI backend's pump does.
TEST_F(WinNetTest, ProcessMessagesLeavesTheQuitMessageQueued) {
  PostQuitMessage(7);
  EXPECT_FALSE(api.processMessages());
  MSG m{};
  ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(m.wParam, 7u);
  EXPECT_TRUE(api.processMessages());
}

// A library that loads but is no Winsock: the start-up fails and the library
// is unloaded again.
TEST(WinSocketStartup, AFailedStartupGivesTheLibraryBack) {
  const char* const other = "lz32.dll";
  if (GetModuleHandleA(other)) GTEST_SKIP() << other << " is loaded in this process already";
  win32::Win32SocketApi wrong(other);
  EXPECT_THROW(wrong.acquire(), ESocketException);
  EXPECT_EQ(GetModuleHandleA(other), nullptr);
}
