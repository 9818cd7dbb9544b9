#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "platform/headless/headless.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/form.h"
#include "ui/headless/headless_backend.h"
#include "ui/pictures.h"
#include "ui/timer.h"

namespace brevaro::ui {
namespace {

class TestForm final : public Form {
 public:
  explicit TestForm(Component* owner) : Form(owner, "TestForm", "test", Size{300, 200}) {
    label = &make<Label>("lbl", this, Rect{10, 10, 50, 20});
    button = &make<Button>("btn", this, Rect{100, 100, 80, 24}, "OK");
    finish_create();
  }
  Label* label;
  Button* button;
};

struct Fixture : ::testing::Test {
  platform::headless::HeadlessSystem sys;
  headless::HeadlessBackend backend{sys.clock, sys.screen};
  Application app{backend, sys.ports()};
};

using VirtualLoop = Fixture;

TEST_F(VirtualLoop, ProcessingMessagesInsideAHandlerLetsADueTimerTick) {
  std::vector<std::string> log;
  auto& slow = app.make<Timer>("slow", 100);
  auto& other = app.make<Timer>("other", 150);
  other.set_on_timer([&](Timer&) { log.push_back("other@" + std::to_string(backend.now())); });
  slow.set_on_timer([&](Timer& t) {
    t.set_enabled(false);
    log.push_back("slow-begin@" + std::to_string(backend.now()));
    sys.clock.sleep_ms(100);  // work that takes time...
    app.process_messages();   // ...then lets pending messages through
    log.push_back("slow-end@" + std::to_string(backend.now()));
  });
  backend.advance(app, 120);
  EXPECT_EQ(log, (std::vector<std::string>{"slow-begin@100", "other@200", "slow-end@200"}));
}

TEST_F(VirtualLoop, ATimerThatDisablesItselfDuringItsTickKeepsItsPeriod) {
  std::vector<std::uint64_t> ticks;
  auto& t = app.make<Timer>("t", 1000);
  t.set_on_timer([&](Timer& self) {
    self.set_enabled(false);
    ticks.push_back(backend.now());
    app.process_messages();
    self.set_enabled(true);
  });
  backend.advance(app, 3500);
  EXPECT_EQ(ticks, (std::vector<std::uint64_t>{1000, 2000, 3000}));
  EXPECT_EQ(backend.active_timer_count(), 1u);
}

TEST_F(VirtualLoop, TimerRules) {
  int ticks = 0;
  auto& t = app.make<Timer>("t", 1000, true);
  backend.advance(app, 5000);
  EXPECT_FALSE(t.active());  // no handler, no ticks
  t.set_on_timer([&](Timer&) { ++ticks; });
  backend.advance(app, 600);
  t.set_interval(1000);  // the same interval does not restart the countdown
  backend.advance(app, 400);
  EXPECT_EQ(ticks, 1);
  backend.advance(app, 500);
  t.set_interval(2000);  // a new interval restarts it
  backend.advance(app, 1999);
  EXPECT_EQ(ticks, 1);
  backend.advance(app, 1);
  EXPECT_EQ(ticks, 2);
  t.set_interval(0);
  backend.advance(app, 10000);
  EXPECT_EQ(ticks, 2);
}

TEST_F(VirtualLoop, TimersTickWhileAMessageBoxIsOpenAndTheHookSeesItsMessages) {
  auto& form = app.create_form<TestForm>();
  form.show();
  int ticks = 0;
  int hooked = 0;
  app.set_on_message([&](Message& m, bool&) {
    if (m.message == msg::lbutton_down) ++hooked;
  });
  auto& t = app.make<Timer>("t", 1000);
  t.set_on_timer([&](Timer&) {
    ++ticks;
    if (ticks == 1) backend.click(*form.label);  // input that arrives during the box
  });
  backend.answer_next_box(MsgBoxResult::yes, 2500);
  EXPECT_EQ(app.message_box("Continue?", "Information", MsgBoxButtons::yes_no, MsgBoxIcon::information),
            MsgBoxResult::yes);
  EXPECT_EQ(ticks, 2);
  EXPECT_EQ(hooked, 1);
  ASSERT_EQ(backend.boxes().size(), 1u);
  EXPECT_EQ(backend.boxes()[0].caption, "Information");
  EXPECT_EQ(backend.unexpected_boxes(), 0u);
}

TEST_F(VirtualLoop, TheHookCanTurnAMessageIntoNothing) {
  auto& form = app.create_form<TestForm>();
  form.show();
  std::vector<std::string> got;
  form.label->set_on_mouse_down([&](Control&, MouseButton b, Point p) {
    got.push_back((b == MouseButton::right ? "right " : "left ") + std::to_string(p.x) + "," + std::to_string(p.y));
  });
  app.set_on_message([](Message& m, bool&) {
    if (m.message == msg::rbutton_down) m.message = msg::null;
  });
  backend.press(*form.label, MouseButton::right);
  backend.press(*form.label, MouseButton::left);
  backend.advance(app, 10);
  EXPECT_EQ(got, (std::vector<std::string>{"left 25,10"}));  // client coordinates of the label
}

TEST_F(VirtualLoop, AnExceptionLeavingAHandlerShowsTheErrorBoxAndTheLoopGoesOn) {
  auto& form = app.create_form<TestForm>();
  form.show();
  int clicks = 0;
  form.button->set_on_click([&](Control&) {
    ++clicks;
    throw std::runtime_error("Cannot create file C:\\x");
  });
  backend.click(*form.button);
  backend.click(*form.button);
  backend.advance(app, 10);
  EXPECT_EQ(clicks, 2);
  ASSERT_EQ(backend.boxes().size(), 2u);
  EXPECT_EQ(backend.boxes()[0].text, "Cannot create file C:\\x.");
  EXPECT_EQ(backend.boxes()[0].icon, MsgBoxIcon::error);
}

TEST_F(VirtualLoop, ATimerFreedInItsOwnTickNeverTicksAgain) {
  int ticks = 0;
  auto& t = app.make<Timer>("t", 100);
  t.set_on_timer([&](Timer& self) {
    ++ticks;
    app.free_component(self);
  });
  backend.advance(app, 1000);
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(app.find_component("t"), nullptr);
  EXPECT_EQ(backend.active_timer_count(), 0u);
}

TEST_F(VirtualLoop, FormEventsComeInOrderAndClosingTheMainFormEndsTheLoop) {
  std::vector<std::string> events;
  auto& form = app.create_form<TestForm>();
  form.set_on_show([&](Form&) { events.push_back("show"); });
  form.set_on_activate([&](Form&) { events.push_back("activate"); });
  form.set_on_close([&](Form&, CloseAction&) { events.push_back("close"); });
  auto& closer = app.make<Timer>("closer", 5000);
  closer.set_on_timer([&](Timer&) { form.close(); });
  app.run();
  EXPECT_EQ(events, (std::vector<std::string>{"show", "activate", "close"}));
  EXPECT_EQ(backend.now(), 5000u);
  EXPECT_TRUE(app.terminated());
  // A message box does not activate the form again.
  EXPECT_EQ(std::count(events.begin(), events.end(), "activate"), 1);
}

TEST_F(VirtualLoop, OwnedComponentsAreFreedWithTheirOwnerLastFirst) {
  std::vector<std::string> freed;
  struct Probe final : Component {
    Probe(Component* owner, std::string_view n, std::vector<std::string>& log) : Component(owner, n), log_(log) {}
    ~Probe() override { log_.push_back(name()); }
    std::vector<std::string>& log_;
  };
  auto& parent = app.make<Probe>("parent", freed);
  parent.make<Probe>("a", freed);
  auto& b = parent.make<Probe>("b", freed);
  b.make<Probe>("b1", freed);
  app.free_component(parent);
  // A destructor body runs before its own components go, so each name is
  // logged before those of its components.
  EXPECT_EQ(freed, (std::vector<std::string>{"parent", "b", "b1", "a"}));
}

}  // namespace
}  // namespace brevaro::ui

namespace brevaro::ui {
namespace {

TEST_F(VirtualLoop, WindowHooksChainAndAFailingHookStillPassesTheMessageOn) {
  auto& form = app.create_form<TestForm>();
  std::vector<std::string> order;
  form.add_window_hook(
      [&](std::uint32_t m, std::uintptr_t, std::intptr_t, const std::function<std::intptr_t()>& pass_on) {
        order.push_back("first");
        return m == 2240 ? pass_on() + 1 : pass_on();
      });
  const int second = form.add_window_hook([&](std::uint32_t m, std::uintptr_t, std::intptr_t,
                                              const std::function<std::intptr_t()>& pass_on) -> std::intptr_t {
    order.push_back("second");
    if (m == 2241) throw std::runtime_error("Syntax error in position 1 in line 1");
    pass_on();
    return pass_on() + 10;  // passing on twice still runs the rest once
  });
  EXPECT_EQ(form.send_message(2240, 0, 0), 11);
  EXPECT_EQ(order, (std::vector<std::string>{"second", "first"}));
  order.clear();
  form.send_message(2241, 0, 0);
  EXPECT_EQ(order, (std::vector<std::string>{"second", "first"}));
  ASSERT_EQ(backend.boxes().size(), 1u);
  EXPECT_EQ(backend.boxes()[0].text, "Syntax error in position 1 in line 1.");
  form.remove_window_hook(second);
  order.clear();
  form.send_message(2240, 0, 0);
  EXPECT_EQ(order, (std::vector<std::string>{"first"}));
}

// A form whose own handling of one message fails outside any handler.
class FailingForm final : public Form {
 public:
  static constexpr std::uint32_t kFail = 0x0400 + 7;  // a message of the program's own range
  explicit FailingForm(Component* owner) : Form(owner, "FailingForm", "failing", Size{300, 200}) { finish_create(); }
  bool dispatch(const Message& m) override {
    if (m.message == kFail) throw std::runtime_error("Access violation");
    return Form::dispatch(m);
  }
};

// As the product's window procedure: a queued message goes through the
// window's hooks like a sent one, and an exception from the window's own
// handling stops at the procedure's barrier and reaches the application.
TEST_F(VirtualLoop, QueuedMessagesPassTheHooksAndTheBarrierHandsErrorsToTheApplication) {
  auto& form = app.create_form<FailingForm>();
  form.show();
  std::vector<std::uint32_t> seen;
  form.add_window_hook(
      [&](std::uint32_t m, std::uintptr_t, std::intptr_t, const std::function<std::intptr_t()>& pass_on) {
        seen.push_back(m);
        return pass_on();
      });
  const std::uint32_t move = 0x0200;  // a mouse move
  const std::intptr_t at = make_point_lparam(Point{250, 20});
  for (const std::uint32_t m : {move, FailingForm::kFail, move}) backend.post_message(Message{form.handle(), m, 0, at});
  EXPECT_NO_THROW(backend.advance(app, 10));
  EXPECT_EQ(seen, (std::vector<std::uint32_t>{move, FailingForm::kFail, move}));
  ASSERT_EQ(backend.boxes().size(), 1u);
  EXPECT_EQ(backend.boxes()[0].text, "Access violation.");
  EXPECT_EQ(backend.boxes()[0].icon, MsgBoxIcon::error);
  // Sent messages meet the same barrier.
  EXPECT_EQ(form.send_message(FailingForm::kFail, 0, 0), 0);
  EXPECT_EQ(backend.boxes().size(), 2u);
}

}  // namespace
}  // namespace brevaro::ui

namespace brevaro::ui {
namespace {

class WizardForm final : public Form {
 public:
  explicit WizardForm(Component* owner)
      : Form(owner, "Wizard", "wizard", Size{400, 300}, BorderStyle::dialog, FormPosition::screen_center) {
    pages = &make<PageControl>("pages", this, Rect{0, 0, 400, 250});
    p1 = &pages->add_page("P1");
    p2 = &pages->add_page("P2");
    agree = &make<CheckBox>("agree", p1, Rect{10, 10, 200, 20}, "I agree");
    next = &make<Button>("next", this, Rect{300, 260, 80, 24}, "&Next >");
    next->set_on_click([this](Control&) {
      if (pages->active_page() == p1 && agree->checked()) pages->set_active_page(*p2);
      else if (pages->active_page() == p2) set_modal_result(1);
    });
    finish_create();
  }
  PageControl* pages;
  TabSheet* p1;
  TabSheet* p2;
  CheckBox* agree;
  Button* next;
};

TEST_F(VirtualLoop, ModalFormWithPagesCheckBoxAndButton) {
  auto& w = app.create_form<WizardForm>();
  EXPECT_EQ(w.pages->active_page_index(), 0);
  EXPECT_TRUE(w.p1->visible());
  EXPECT_FALSE(w.p2->visible());
  // The user: "Next" without agreeing stays; agree, "Next", "Next" ends the dialog.
  auto& script = app.make<Timer>("script", 100);
  int step = 0;
  script.set_on_timer([&](Timer&) {
    switch (step++) {
      case 0: backend.click(*w.next); break;
      case 1:
        EXPECT_EQ(w.pages->active_page_index(), 0);
        w.agree->set_checked(true);
        backend.click(*w.next);
        break;
      case 2:
        EXPECT_EQ(w.pages->active_page_index(), 1);
        backend.click(*w.next);
        break;
      default: break;
    }
  });
  EXPECT_EQ(w.show_modal(), 1);
  EXPECT_EQ(step, 3);
  EXPECT_FALSE(w.visible());
  // Centred on the 1024 x 768 screen when first shown.
  EXPECT_EQ(w.bounds().left, 1024 / 2 - 400 / 2);
  EXPECT_EQ(w.bounds().top, 768 / 2 - 300 / 2);
}

TEST(PictureResource, DecodesABmpResourceAndGivesAnEmptyPictureForAMissingOrDamagedOne) {
  platform::headless::FakeProcess process;
  auto bmp = region::Bitmap::indexed(3, 2, 8, {0x000000, 0xff0000, 0x00ff00});
  bmp.set(1, 0, 1);
  bmp.set(2, 1, 2);
  const auto file = region::write_bmp(bmp);
  auto& stored = process.resources["SKIN"];
  for (auto b : file) stored.push_back(static_cast<std::byte>(b));
  auto& cut = process.resources["CUT"];
  cut.assign(stored.begin(), stored.begin() + static_cast<std::ptrdiff_t>(stored.size() / 2));
  process.resources["EMPTY"] = {};

  const Bitmap pic = load_picture(process, "SKIN");
  ASSERT_EQ(pic.width, 3);
  ASSERT_EQ(pic.height, 2);
  EXPECT_EQ(pic.at(0, 0), 0x000000u);
  EXPECT_EQ(pic.at(1, 0), 0xff0000u);
  EXPECT_EQ(pic.at(2, 1), 0x00ff00u);
  EXPECT_EQ(load_bmp_resource(process, "SKIN"), bmp);

  for (const char* name : {"NONE", "CUT", "EMPTY"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(load_bmp_resource(process, name).empty());
    const Bitmap none = load_picture(process, name);
    EXPECT_EQ(none.width, 0);
    EXPECT_TRUE(none.pixels.empty());
  }
}

}  // namespace
}  // namespace brevaro::ui
