// The headless window platform: window thread loop, surfaces and input queue in memory.
#include "window/fake/fake_backend.h"

namespace window {

constexpr WindowId kFakeWindowId = 0x600001;

class FakeWindow final : public WindowHost {
 public:
  explicit FakeWindow(FakeBackend& b) : b_(b) {}
  bool Create(const WindowPlace& place, std::string* message) override {
    std::lock_guard<std::mutex> hold(b_.mu_);
    if (b_.fail_create) {
      *message = "Couldn't create main window";
      return false;
    }
    b_.place_ = place;
    b_.screen_ = Picture(int32_t(place.client_width), int32_t(place.client_height));
    b_.open_ = true;
    return true;
  }
  WindowId Id() const override { return kFakeWindowId; }
  void Run(const std::function<void()>& repaint) override {
    std::unique_lock<std::mutex> hold(b_.mu_);
    for (;;) {
      b_.cv_.wait(hold, [&] { return b_.quit_ || b_.close_ || b_.repaint_requests_ > 0; });
      if (b_.quit_ || b_.close_) return;
      --b_.repaint_requests_;
      hold.unlock();
      repaint();
      hold.lock();
      ++b_.repaints_;
      b_.cv_.notify_all();
    }
  }
  void Quit() override {
    std::lock_guard<std::mutex> hold(b_.mu_);
    b_.quit_ = true;
    b_.cv_.notify_all();
  }
  void Put(const Picture& p, const Box& box) override {
    std::lock_guard<std::mutex> hold(b_.mu_);
    b_.PutLocked(p, box);
  }
  void Close() override {
    std::lock_guard<std::mutex> hold(b_.mu_);
    b_.open_ = false;
    b_.cv_.notify_all();
  }

 private:
  FakeBackend& b_;
};

class FakeSurface final : public DrawSurface {
 public:
  explicit FakeSurface(FakeBackend& b) : b_(b) {}
  bool Attach(WindowId window, uint32_t, uint32_t) override {
    std::lock_guard<std::mutex> hold(b_.mu_);
    return !b_.fail_attach && window == kFakeWindowId;
  }
  void Put(const Picture& p, const Box& box) override {
    std::lock_guard<std::mutex> hold(b_.mu_);
    ++b_.surface_puts_;
    b_.PutLocked(p, box);
  }
  void Flush() override {}

 private:
  FakeBackend& b_;
};

class FakeInput final : public InputSurface {
 public:
  explicit FakeInput(FakeBackend& b) : b_(b) {}
  bool Open(WindowId parent, uint32_t, uint32_t, bool interactive) override {
    std::lock_guard<std::mutex> hold(b_.mu_);
    b_.input_parent_ = parent;
    b_.input_interactive_ = interactive;
    return !b_.fail_input;
  }
  void SetTitle(const std::string& title) override {
    std::lock_guard<std::mutex> hold(b_.mu_);
    b_.place_.style.title = title;
  }
  bool Next(InputEvent* e) override {
    std::lock_guard<std::mutex> hold(b_.mu_);
    if (b_.input_.empty()) return false;
    *e = b_.input_.front();
    b_.input_.pop_front();
    return true;
  }
  bool Wait(int) override {
    std::lock_guard<std::mutex> hold(b_.mu_);
    return !b_.input_.empty();
  }

 private:
  FakeBackend& b_;
};

std::unique_ptr<WindowHost> FakeBackend::NewWindow() { return std::make_unique<FakeWindow>(*this); }
std::unique_ptr<DrawSurface> FakeBackend::NewSurface() {
  return std::make_unique<FakeSurface>(*this);
}
std::unique_ptr<InputSurface> FakeBackend::NewInput() { return std::make_unique<FakeInput>(*this); }

void FakeBackend::PutLocked(const Picture& p, const Box& box) {
  if (!open_) return;
  const Box b = box.Intersect(p.Bounds()).Intersect(screen_.Bounds());
  for (int64_t y = b.y0; y <= b.y1; ++y) {
    for (int64_t x = b.x0; x <= b.x1; ++x) screen_.Row(y)[x] = p.At(int32_t(x), int32_t(y));
  }
}

Picture FakeBackend::Screen() {
  std::lock_guard<std::mutex> hold(mu_);
  return screen_;
}
WindowPlace FakeBackend::place() {
  std::lock_guard<std::mutex> hold(mu_);
  return place_;
}
bool FakeBackend::window_open() {
  std::lock_guard<std::mutex> hold(mu_);
  return open_;
}
int FakeBackend::repaints() {
  std::lock_guard<std::mutex> hold(mu_);
  return repaints_;
}
int FakeBackend::surface_puts() {
  std::lock_guard<std::mutex> hold(mu_);
  return surface_puts_;
}
void FakeBackend::Uncover() {
  std::unique_lock<std::mutex> hold(mu_);
  const int target = repaints_ + 1;
  ++repaint_requests_;
  cv_.notify_all();
  cv_.wait(hold, [&] { return repaints_ >= target || !open_; });
}
void FakeBackend::UserClose() {
  std::unique_lock<std::mutex> hold(mu_);
  close_ = true;
  cv_.notify_all();
  cv_.wait(hold, [&] { return !open_; });
}
void FakeBackend::Push(const InputEvent& e) {
  std::lock_guard<std::mutex> hold(mu_);
  input_.push_back(e);
}
WindowId FakeBackend::input_parent() {
  std::lock_guard<std::mutex> hold(mu_);
  return input_parent_;
}
bool FakeBackend::input_interactive() {
  std::lock_guard<std::mutex> hold(mu_);
  return input_interactive_;
}

}  // namespace window
