// The main window on the headless backend, with an echo whose answers the
// test decides, so that connectivity flows run in virtual time.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "base/ini.h"
#include "client/main_form.h"
#include "net/posix/event_loop.h"
#include "net/posix/socket_api.h"
#include "platform/headless/headless.h"
#include "ui/application.h"
#include "ui/headless/headless_backend.h"
#include "ui/headless/headless_browser.h"

namespace brevaro::client::fixture {

inline constexpr const char* kFolder = "C:\\Program Files\\brevaro\\";
inline constexpr const char* kIni = "C:\\Program Files\\brevaro\\Data\\Brevaro.ini";
inline constexpr const char* kErrorUrl = "file://C:\\Program Files\\brevaro\\data\\error.htm";

// What the echo does when the client sends one.
struct EchoScript {
  bool reachable = true;
  bool silent = false;                   // reports no result at all
  std::uint32_t takes_ms = 5;            // virtual time an answered echo blocks for
  std::optional<std::uint32_t> fail_ms;  // and an unanswered one (the echo's time-out by default)
  std::deque<bool> next;                 // answers for the next echoes, before `reachable`
  int sent = 0;
};

class ScriptedEcho final : public net::IcmpApi {
 public:
  ScriptedEcho(EchoScript& script, platform::headless::VirtualClock& clock) : script_(script), clock_(clock) {}
  std::optional<net::HostEntry> getHostByName(std::string_view, int* error) override {
    if (error) *error = 11001;
    return std::nullopt;
  }
  int sendEcho(std::uint32_t, std::span<const std::byte>, const net::IcmpRequestOptions&, net::TIcmpEchoReply&,
               std::span<std::byte>, int timeout_ms, int* last_error) override {
    ++script_.sent;
    if (script_.silent) throw std::runtime_error("echo service gone");
    bool answer = script_.reachable;
    if (!script_.next.empty()) {
      answer = script_.next.front();
      script_.next.pop_front();
    }
    clock_.advance(answer ? script_.takes_ms : script_.fail_ms.value_or(static_cast<std::uint32_t>(timeout_ms)));
    if (last_error) *last_error = answer ? 0 : 11010;
    return answer ? 1 : 0;
  }

 private:
  EchoScript& script_;
  platform::headless::VirtualClock& clock_;
};

struct MainWindowFixture : ::testing::Test {
  platform::headless::HeadlessSystem sys;
  ui::headless::HeadlessBackend backend{sys.clock, sys.screen};
  std::unique_ptr<ui::Application> app;
  ProcessState state;
  net::posix::EventLoop loop;
  net::posix::PosixSocketApi sockets{loop};
  EchoScript echo;
  TForm1* form = nullptr;

  void SetUp() override { sys.fs.put(kIni, "[Default]\r\nUN=200103051407090123\r\n"); }
  void TearDown() override { app.reset(); }

  TForm1& start() {
    app.reset();
    backend.new_process();
    app = std::make_unique<ui::Application>(backend, sys.ports());
    form = &app->create_form<TForm1>(state, sockets, std::make_unique<ScriptedEcho>(echo, sys.clock));
    // The banner transfers wait on this loop, and go to a loopback port where
    // nothing listens unless a test points them elsewhere.
    for (auto* http : {form->MyHttp1.get(), form->MyHttp2.get(), form->MyHttp3.get()})
      http->SetApplicationPump([this] {
        loop.runOnce(1);
        app->process_messages();
      });
    const std::string nowhere = "http://127.0.0.1:1/brevaro/";
    form->banner_links.advert_list = [nowhere] { return nowhere + "quillbeam.asp?AppID=1"; };
    form->banner_links.download_log = [nowhere](std::string_view) { return nowhere + "quillbeam-logs.asp"; };
    form->banner_links.click_log = [nowhere](std::string_view) { return nowhere + "quillbeam-logs.asp"; };
    form->show();
    backend.advance(*app, 0);
    return *form;
  }
  base::IniDocument ini() const { return base::IniDocument::parse(sys.fs.read_file(kIni).value_or("")); }
  static ui::headless::HeadlessBrowser& browser(ui::WebBrowser& b) {
    return dynamic_cast<ui::headless::HeadlessBrowser&>(b.browser());
  }
};

}  // namespace brevaro::client::fixture
