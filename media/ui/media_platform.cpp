#include "media/ui/media_platform.h"

namespace brevaro::media {

GuiDispatcher::GuiDispatcher(std::function<bool()> wake) : state_(std::make_shared<State>()) {
  state_->wake = std::move(wake);
}

GuiDispatcher::~GuiDispatcher() { close(); }

std::function<void(std::function<void()>)> GuiDispatcher::synchronizer() const {
  return [state = state_](std::function<void()> fn) {
    auto job = std::make_shared<Job>();
    job->fn = std::move(fn);
    std::unique_lock<std::mutex> lk(state->m);
    if (state->closed) return;
    state->jobs.push_back(job);
    const auto wake = state->wake;
    lk.unlock();
    if (wake && !wake()) {
      lk.lock();
      std::erase(state->jobs, job);
      return;
    }
    lk.lock();
    state->cv.wait(lk, [&] { return job->done || state->closed; });
  };
}

void GuiDispatcher::run_pending(const std::function<void(const std::function<void()>&)>& run) {
  for (;;) {
    std::shared_ptr<Job> job;
    {
      std::lock_guard<std::mutex> lk(state_->m);
      if (state_->closed || state_->jobs.empty()) return;
      job = std::move(state_->jobs.front());
      state_->jobs.pop_front();
    }
    run(job->fn);
    {
      std::lock_guard<std::mutex> lk(state_->m);
      job->done = true;
    }
    state_->cv.notify_all();
  }
}

void GuiDispatcher::close() {
  {
    std::lock_guard<std::mutex> lk(state_->m);
    state_->closed = true;
    state_->jobs.clear();
    state_->wake = nullptr;
  }
  state_->cv.notify_all();
}

}  // namespace brevaro::media
