// TWSocket on the POSIX backend over loopback.
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <atomic>
#include <string>
#include <vector>

#include "net/forwarding_socket_api.h"
#include "net/posix/event_loop.h"
#include "net/posix/socket_api.h"
#include "net/wsocket.h"
#include "tests/host/net/loopback_server.h"

using namespace brevaro::net;
using brevaro::net::testing::LoopbackServer;

namespace {

class WSocketTest : public ::testing::Test {
 protected:
  posix::EventLoop loop;
  posix::PosixSocketApi api{loop};

  bool runUntil(const std::function<bool()>& pred, int ms = 3000) { return loop.runUntil(pred, ms); }
};

}  // namespace

TEST_F(WSocketTest, DefaultsAndErrorTexts) {
  TWSocket s(api);
  EXPECT_EQ(s.Addr(), "");
  EXPECT_EQ(s.Proto(), "tcp");
  EXPECT_EQ(s.LocalAddr(), "0.0.0.0");
  EXPECT_EQ(s.LocalPort(), "0");
  EXPECT_EQ(s.State(), wsClosed);
  EXPECT_EQ(s.FlushTimeout(), 60);
  EXPECT_EQ(s.LingerOnOff(), wsLingerOn);
  EXPECT_EQ(s.LingerTimeout(), 0);
  EXPECT_EQ(s.SocksLevel(), "5");
  EXPECT_EQ(s.LineEnd(), "\r\n");
  EXPECT_FALSE(s.LineMode());
  EXPECT_EQ(WSocketErrorDesc(0), "No Error");
  EXPECT_EQ(WSocketErrorDesc(10035), "Operation would block");
  EXPECT_EQ(WSocketErrorDesc(10061), "Connection refused");
  EXPECT_EQ(WSocketErrorDesc(11004), "No Data");
  EXPECT_EQ(WSocketErrorDesc(10000), "Not a WinSock error");
  EXPECT_EQ(WSocketErrorDesc(12345), "Not a WinSock error");
}

TEST_F(WSocketTest, ResolveHelpersAndTheirTexts) {
  EXPECT_EQ(WSocketResolveHost(api, "127.0.0.1"), 0x7f000001u);
  EXPECT_EQ(WSocketResolveHost(api, "255.255.255.255"), 0xffffffffu);
  EXPECT_EQ(WSocketResolveHost(api, "localhost"), 0x7f000001u);
  auto message = [&](auto fn) {
    try {
      fn();
    } catch (const ESocketException& e) {
      return std::string(e.what());
    }
    return std::string("no exception");
  };
  EXPECT_EQ(message([&] { WSocketResolveHost(api, ""); }), "WSocketResolveHost: '' Invalid Hostname.");
  EXPECT_EQ(message([&] { WSocketResolveHost(api, "1.2.3.256"); }),
            "WSocketResolveHost: '1.2.3.256' Invalid IP address.");
  EXPECT_EQ(message([&] { WSocketResolveHost(api, std::string(300, 'a')); }),
            "WSocketResolveHost: '" + std::string(300, 'a') + "' Invalid Hostname.");
  EXPECT_TRUE(message([&] {
                WSocketResolveHost(api, "no-such-host.invalid");
              }).starts_with("WSocketResolveHost: Cannot convert host address 'no-such-host.invalid', Error #"));
  EXPECT_EQ(WSocketResolvePort(api, "8080", "tcp"), 8080);
  EXPECT_EQ(WSocketResolvePort(api, " 81xyz", "tcp"), 81);
  EXPECT_EQ(message([&] { WSocketResolvePort(api, "", "tcp"); }), "WSocketResolvePort: Invalid Port.");
  EXPECT_EQ(message([&] { WSocketResolvePort(api, std::string(32, '1'), "tcp"); }),
            "WSocketResolvePort: Invalid Port.");
  EXPECT_TRUE(message([&] {
                WSocketResolvePort(api, "no-such-service", "tcp");
              }).starts_with("WSocketResolvePort: Cannot convert port 'no-such-service', Error #"));
  EXPECT_EQ(WSocketResolveProto(api, "tcp"), 6);
  EXPECT_EQ(WSocketResolveProto(api, "17"), 17);
  EXPECT_EQ(message([&] { WSocketResolveProto(api, ""); }), "WSocketResolveProto: Invalid Protocol.");
}

TEST_F(WSocketTest, DnsLookupOfADottedAddressAnswersInsideTheCall) {
  TWSocket s(api);
  int done = -1;
  std::string resultInEvent;
  s.OnDnsLookupDone = [&](TCustomWSocket& me, std::uint16_t e) {
    done = e;
    resultInEvent = me.DnsResult();
  };
  s.DnsLookup("10.1.2.3");
  EXPECT_EQ(done, 0);
  EXPECT_EQ(resultInEvent, "10.1.2.3");
  EXPECT_EQ(s.DnsResult(), "10.1.2.3");
  // A name: the answer comes later, from the loop.
  done = -1;
  s.DnsLookup("localhost");
  EXPECT_EQ(done, -1);
  ASSERT_TRUE(runUntil([&] { return done != -1; }));
  EXPECT_EQ(done, 0);
  EXPECT_EQ(s.DnsResult(), "127.0.0.1");
  // Cancelling a pending lookup reports 10004.
  done = -1;
  s.DnsLookup("localhost");
  s.CancelLookup();
  EXPECT_EQ(done, 10004);
  loop.runOnce(0);
  EXPECT_EQ(done, 10004);
  // Address to name.
  done = -1;
  s.ReverseLookup("127.0.0.1");
  ASSERT_TRUE(runUntil([&] { return done != -1; }));
  EXPECT_EQ(done, 0);
  EXPECT_EQ(s.DnsResult(), "localhost");
  // An empty name: the error step, then the event with 10022.
  s.OnError = [](TCustomWSocket&) {};
  s.DnsLookup("");
  EXPECT_EQ(done, 10022);
}

TEST_F(WSocketTest, SendWhenNotConnected) {
  TWSocket s(api);
  try {
    s.Send("x");
    FAIL() << "no exception";
  } catch (const ESocketException& e) {
    EXPECT_STREQ(e.what(), "Error 10057 in function Send\r\nSocket is not connected");
  }
  int errors = 0;
  s.OnError = [&](TCustomWSocket& me) {
    ++errors;
    EXPECT_EQ(me.LastError(), 10057);
  };
  EXPECT_EQ(s.Send("x"), -1);
  EXPECT_EQ(errors, 1);
}

TEST_F(WSocketTest, ConnectRefusesMissingParts) {
  TWSocket s(api);
  auto message = [&] {
    try {
      s.Connect();
    } catch (const ESocketException& e) {
      return std::string(e.what());
    }
    return std::string();
  };
  EXPECT_EQ(message(), "Connect: No Port Given");
  s.SetPort("80");
  EXPECT_EQ(message(), "Connect: No IP Address Given");
  s.SetAddr("127.0.0.1");
  s.SetProto("");
  EXPECT_EQ(message(), "Connect: No Protocol Given");
  s.SetProto("tcp");
  s.SetAddr("1.2.3.999");
  EXPECT_EQ(message(), "connect: WSocketResolveHost: '1.2.3.999' Invalid IP address.");
  s.SetAddr("127.0.0.1");
  s.SetLocalAddr("");
  EXPECT_EQ(s.LocalAddr(), "0.0.0.0");
  EXPECT_THROW(s.SetLocalAddr("not-an-ip"), ESocketException);
}

TEST_F(WSocketTest, SessionSendReceiveAndClose) {
  std::string received;
  LoopbackServer server(
      [&](int fd, const std::string&) {
        // Echo what comes until the client's 4000 bytes are in, then answer and close.
        std::string got;
        char buf[8192];
        while (got.size() < 4000) {
          ssize_t n = ::recv(fd, buf, sizeof buf, 0);
          if (n <= 0) break;
          got.append(buf, static_cast<std::size_t>(n));
        }
        received = got;
        LoopbackServer::sendAll(fd, std::string(3000, 'r'));
      },
      false);
  TWSocket s(api);
  std::vector<std::string> log;
  std::vector<int> sendData;
  std::string data;
  int dataSent = 0, closed = 0, connected = 0;
  bool inSend = false;
  s.OnChangeState = [&](TCustomWSocket&, TSocketState o, TSocketState n) {
    log.push_back(std::string(SocketStateName(o)) + ">" + std::string(SocketStateName(n)));
  };
  s.OnSessionConnected = [&](TCustomWSocket& me, std::uint16_t e) {
    ++connected;
    EXPECT_EQ(e, 0);
    // Setters refuse while the session is up.
    try {
      me.SetAddr("10.0.0.1");
      ADD_FAILURE() << "Addr changed while connected";
    } catch (const ESocketException& ex) {
      EXPECT_STREQ(ex.what(), "Cannot change Addr if not closed");
    }
    EXPECT_THROW(me.SetPort("1"), ESocketException);
    std::string payload(4000, 'p');
    inSend = true;
    EXPECT_EQ(me.Send(payload.data(), 4000), 4000);
    inSend = false;
  };
  s.OnSendData = [&](TCustomWSocket&, int n) { sendData.push_back(n); };
  s.OnDataSent = [&](TCustomWSocket&, std::uint16_t) {
    EXPECT_FALSE(inSend) << "OnDataSent inside Send";
    ++dataSent;
  };
  s.OnDataAvailable = [&](TCustomWSocket& me, std::uint16_t) {
    char buf[700];
    int n = me.Receive(buf, sizeof buf);
    if (n > 0) data.append(buf, static_cast<std::size_t>(n));
  };
  s.OnSessionClosed = [&](TCustomWSocket&, std::uint16_t) { ++closed; };
  s.SetAddr("127.0.0.1");
  s.SetPort(server.portText());
  s.Connect();
  EXPECT_EQ(s.State(), wsConnecting);
  ASSERT_TRUE(runUntil([&] { return closed > 0; }));
  loop.runUntil([] { return false; }, 50);
  EXPECT_EQ(connected, 1);
  EXPECT_EQ(sendData, (std::vector<int>{1514, 1514, 972}));
  EXPECT_EQ(dataSent, 1);
  EXPECT_EQ(received, std::string(4000, 'p'));
  EXPECT_EQ(data, std::string(3000, 'r'));
  EXPECT_EQ(closed, 1);
  EXPECT_EQ(s.State(), wsClosed);
  EXPECT_EQ(s.Addr(), "");  // the defaults return after a close
  EXPECT_EQ(log, (std::vector<std::string>{"wsClosed>wsOpened", "wsOpened>wsConnecting", "wsConnecting>wsConnected",
                                           "wsConnected>wsClosed"}));
}

TEST_F(WSocketTest, WithoutAHandlerDataIsDrainedIn1024BytePieces) {
  LoopbackServer server([](int fd, const std::string&) { LoopbackServer::sendAll(fd, std::string(5000, 'd')); }, false);
  TWSocket s(api);
  int closed = 0;
  s.OnSessionClosed = [&](TCustomWSocket& me, std::uint16_t) {
    ++closed;
    EXPECT_EQ(me.ReadCount(), 5000);
  };
  s.SetAddr("127.0.0.1");
  s.SetPort(server.portText());
  s.Connect();
  ASSERT_TRUE(runUntil([&] { return closed > 0; }));
  EXPECT_EQ(closed, 1);
}

TEST_F(WSocketTest, SessionClosedOnceWhenTheClientCloses) {
  LoopbackServer server([](int fd, const std::string&) { LoopbackServer::readAll(fd, 1000); }, false);
  TWSocket s(api);
  int closed = 0;
  bool up = false;
  s.OnSessionConnected = [&](TCustomWSocket&, std::uint16_t) { up = true; };
  s.OnSessionClosed = [&](TCustomWSocket&, std::uint16_t) { ++closed; };
  s.SetAddr("127.0.0.1");
  s.SetPort(server.portText());
  s.Connect();
  ASSERT_TRUE(runUntil([&] { return up; }));
  s.Close();
  EXPECT_EQ(closed, 1);  // inside Close
  s.Close();
  s.Abort();
  loop.runUntil([] { return false; }, 50);
  EXPECT_EQ(closed, 1);
}

TEST_F(WSocketTest, ReconnectFromTheSessionClosedHandlerKeepsTheNewSession) {
  // The first connection lasts until the client closes it; later ones get a
  // greeting and are closed by the server.
  std::atomic<int> served{0};
  LoopbackServer server(
      [&](int fd, const std::string&) {
        if (++served == 1) LoopbackServer::readAll(fd, 2000);
        else LoopbackServer::sendAll(fd, "hello");
      },
      false);
  TWSocket s(api);
  int connected = 0, closed = 0;
  std::string data;
  auto connect = [&](TCustomWSocket& me) {
    me.SetAddr("127.0.0.1");
    me.SetPort(server.portText());
    me.Connect();
  };
  s.OnSessionConnected = [&](TCustomWSocket&, std::uint16_t e) {
    EXPECT_EQ(e, 0);
    ++connected;
  };
  s.OnDataAvailable = [&](TCustomWSocket& me, std::uint16_t) { data += me.ReceiveText(); };
  s.OnSessionClosed = [&](TCustomWSocket& me, std::uint16_t) {
    ++closed;
    if (closed == 1) {
      connect(me);  // inside our own Close
    } else if (closed == 2) {
      me.Close();  // the server ended it: finish that session, then start the next
      connect(me);
    }
  };
  connect(s);
  ASSERT_TRUE(runUntil([&] { return connected == 1; }));
  s.Close();
  EXPECT_EQ(s.State(), wsConnecting);
  EXPECT_EQ(s.Addr(), "127.0.0.1");
  ASSERT_TRUE(runUntil([&] { return closed == 3; }));
  loop.runUntil([] { return false; }, 50);
  EXPECT_EQ(connected, 3);
  EXPECT_EQ(closed, 3);
  EXPECT_EQ(data, "hellohello");
  EXPECT_EQ(server.connections(), 3);
  EXPECT_EQ(s.State(), wsClosed);
}

TEST_F(WSocketTest, ConnectionRefusedIsReportedByTheConnectEvent) {
  std::uint16_t freePort;
  {
    LoopbackServer probe([](int, const std::string&) {}, false);
    freePort = probe.port();
  }
  TWSocket s(api);
  int err = -1, closed = 0;
  s.OnSessionConnected = [&](TCustomWSocket&, std::uint16_t e) { err = e; };
  s.OnSessionClosed = [&](TCustomWSocket&, std::uint16_t) { ++closed; };
  s.SetAddr("127.0.0.1");
  s.SetPort(std::to_string(freePort));
  s.Connect();
  ASSERT_TRUE(runUntil([&] { return err != -1; }));
  EXPECT_EQ(err, 10061);
  EXPECT_EQ(s.State(), wsClosed);
  EXPECT_EQ(closed, 1);
}

TEST_F(WSocketTest, ExceptionInAHandlerGoesToTheBackgroundStep) {
  TWSocket s(api);
  std::string seen;
  s.OnBgException = [&](TCustomWSocket&, const std::exception& e, bool& canClose) {
    seen = e.what();
    canClose = true;
  };
  s.PostTestException();
  loop.runOnce(0);
  EXPECT_EQ(seen, "Test exception in WSocket");
}

TEST_F(WSocketTest, ServerSideListenAcceptAndLineMode) {
  TWSocket server(api);
  std::unique_ptr<TWSocket> client;
  std::vector<std::string> lines;
  server.SetAddr("127.0.0.1");
  server.SetPort("0");
  server.OnSessionAvailable = [&](TCustomWSocket& me, std::uint16_t) {
    client = std::make_unique<TWSocket>(api);
    client->SetLineMode(true);
    client->SetLineEdit(true);
    client->OnDataAvailable = [&](TCustomWSocket& c, std::uint16_t) {
      long n = c.RcvdCount();
      std::string line(static_cast<std::size_t>(n), '\0');
      c.Receive(line.data(), static_cast<int>(n));
      lines.push_back(line);
    };
    client->Dup(me.Accept());
  };
  server.Listen();
  ASSERT_EQ(server.State(), wsListening);
  ASSERT_NE(server.LocalPort(), "0");

  TWSocket peer(api);
  bool up = false;
  peer.OnSessionConnected = [&](TCustomWSocket&, std::uint16_t) { up = true; };
  peer.SetAddr("127.0.0.1");
  peer.SetPort(server.LocalPort());
  peer.Connect();
  ASSERT_TRUE(runUntil([&] { return up && client; }));
  peer.Send(std::string_view("one\r\ntwo\r\nab\bc\td\r\npartial"));
  ASSERT_TRUE(runUntil([&] { return lines.size() >= 3; }));
  peer.Close();
  ASSERT_TRUE(runUntil([&] { return lines.size() >= 4; }));
  EXPECT_EQ(lines, (std::vector<std::string>{"one\r\n", "two\r\n", "ac      d\r\n", "partial"}));
}

TEST_F(WSocketTest, PausedEventsWaitUntilResumed) {
  LoopbackServer server(
      [](int fd, const std::string&) {
        LoopbackServer::sendAll(fd, "first");
        LoopbackServer::readAll(fd, 1500);
      },
      false);
  TWSocket s(api);
  std::string data;
  bool up = false;
  s.OnSessionConnected = [&](TCustomWSocket& me, std::uint16_t) {
    up = true;
    me.PauseEvents();
  };
  s.OnDataAvailable = [&](TCustomWSocket& me, std::uint16_t) { data += me.ReceiveText(); };
  s.SetAddr("127.0.0.1");
  s.SetPort(server.portText());
  s.Connect();
  ASSERT_TRUE(runUntil([&] { return up; }));
  loop.runUntil([] { return false; }, 100);
  EXPECT_EQ(data, "");  // the data waits in the socket
  s.ResumeEvents();
  ASSERT_TRUE(runUntil([&] { return !data.empty(); }));
  EXPECT_EQ(data, "first");
  s.Close();
}

TEST_F(WSocketTest, DatagramSocketIsConnectedAtOnce) {
  TWSocket receiver(api);
  std::string got;
  receiver.SetAddr("127.0.0.1");
  receiver.SetPort("0");
  receiver.SetProto("udp");
  receiver.OnDataAvailable = [&](TCustomWSocket& me, std::uint16_t) {
    char buf[100];
    SockAddr from;
    int n = me.ReceiveFrom(buf, sizeof buf, &from);
    if (n > 0) got.assign(buf, static_cast<std::size_t>(n));
  };
  receiver.Listen();
  ASSERT_EQ(receiver.State(), wsConnected);

  TWSocket sender(api);
  int connected = -1;
  sender.OnSessionConnected = [&](TCustomWSocket&, std::uint16_t e) { connected = e; };
  sender.SetAddr("127.0.0.1");
  sender.SetPort(receiver.LocalPort());
  sender.SetProto("udp");
  sender.Connect();
  EXPECT_EQ(connected, 0);  // inside Connect
  EXPECT_EQ(sender.State(), wsConnected);
  sender.Send(std::string_view("datagram"));
  ASSERT_TRUE(runUntil([&] { return !got.empty(); }));
  EXPECT_EQ(got, "datagram");
}

TEST_F(WSocketTest, PeerResetWhileSendingEndsTheSessionOnce) {
  LoopbackServer server(
      [](int fd, const std::string&) {
        ::recv(fd, nullptr, 0, 0);
        linger l{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);  // the close sends a reset
      },
      false);
  TWSocket s(api);
  int closed = 0;
  std::uint16_t closeError = 0;
  bool errorRaised = false;
  s.OnSessionConnected = [&](TCustomWSocket& me, std::uint16_t) {
    std::string big(4 << 20, 'z');
    me.Send(big.data(), static_cast<int>(big.size()));
  };
  s.OnDataSent = [&](TCustomWSocket& me, std::uint16_t) {
    if (me.State() == wsConnected) {
      std::string more(1 << 20, 'y');
      me.Send(more.data(), static_cast<int>(more.size()));
    }
  };
  s.OnError = [&](TCustomWSocket&) { errorRaised = true; };
  s.OnSessionClosed = [&](TCustomWSocket&, std::uint16_t e) {
    ++closed;
    closeError = e;
  };
  s.SetAddr("127.0.0.1");
  s.SetPort(server.portText());
  s.Connect();
  ASSERT_TRUE(runUntil([&] { return closed > 0; }, 5000));
  loop.runUntil([] { return false; }, 100);
  EXPECT_EQ(closed, 1);
  EXPECT_EQ(closeError, 10054);
  EXPECT_FALSE(errorRaised);
  EXPECT_EQ(s.State(), wsClosed);
}

TEST_F(WSocketTest, CloseLaterAndFreeLaterActAfterTheCall) {
  LoopbackServer server([](int fd, const std::string&) { LoopbackServer::readAll(fd, 1000); }, false);
  auto s = std::make_unique<TWSocket>(api);
  int closed = 0;
  bool up = false;
  s->OnSessionConnected = [&](TCustomWSocket& me, std::uint16_t) {
    up = true;
    me.CloseLater();
    EXPECT_EQ(me.State(), wsConnected);  // not yet
  };
  s->OnSessionClosed = [&](TCustomWSocket& me, std::uint16_t) {
    ++closed;
    me.FreeLater();
  };
  s->OnFreeLater = [&](TCustomWSocket&) { s.reset(); };
  s->SetAddr("127.0.0.1");
  s->SetPort(server.portText());
  s->Connect();
  ASSERT_TRUE(runUntil([&] { return s == nullptr; }));
  EXPECT_TRUE(up);
  EXPECT_EQ(closed, 1);
}

namespace {

// The POSIX port with a closesocket that answers "would block" a set number
// of times first, as Winsock does for a lingering socket.
class SlowCloseApi final : public ForwardingSocketApi {
 public:
  explicit SlowCloseApi(SocketApi& inner) : ForwardingSocketApi(inner) {}
  int wouldBlock = 0;  // closesocket calls still to refuse

  int lastError() override { return refused_ ? wsa::ewouldblock : ForwardingSocketApi::lastError(); }
  int closeSocket(SocketHandle s) override {
    refused_ = wouldBlock > 0;
    if (refused_) {
      --wouldBlock;
      return -1;
    }
    return ForwardingSocketApi::closeSocket(s);
  }

 private:
  bool refused_ = false;
};

}  // namespace

// While closesocket would block, the close lets messages be processed; a
// handler run there may free the socket (or close it itself), and the close
// must then stop touching it.
TEST_F(WSocketTest, CloseRetryLoopSurvivesAHandlerThatFreesOrClosesTheSocket) {
  SlowCloseApi slow(api);
  for (bool free : {true, false}) {
    SCOPED_TRACE(free ? "freed in the pump" : "closed in the pump");
    auto s = std::make_unique<TWSocket>(slow);
    int closed = 0, errors = 0;
    s->OnSessionClosed = [&](TCustomWSocket&, std::uint16_t) { ++closed; };
    s->OnError = [&](TCustomWSocket&) { ++errors; };
    s->SetAddr("127.0.0.1");
    s->SetPort("9");
    s->SetProto("udp");
    s->Connect();
    ASSERT_EQ(s->State(), wsConnected);
    TWSocket* raw = s.get();
    s->SetApplicationPump([&, raw] {
      if (free) s.reset();
      else raw->Abort();
    });
    slow.wouldBlock = 1;
    raw->Close();
    EXPECT_EQ(slow.wouldBlock, 0);
    EXPECT_EQ(errors, 0);
    if (free) {
      EXPECT_EQ(s, nullptr);
      EXPECT_EQ(closed, 0);  // freed sockets report nothing
    } else {
      EXPECT_EQ(s->State(), wsClosed);
      EXPECT_EQ(closed, 1);
    }
  }
  EXPECT_EQ(api.users(), 0);
}
