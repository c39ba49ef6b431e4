// Graph's threads and hand-over: the window thread, the drawing server and the caller's side.
#include "window/graph_module.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <string>

#include "window/font.h"

namespace window {

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kBreakTick{20};
// The frame a window manager adds: the client area is the outer size less these.
constexpr uint32_t kFrameWidth = 5;
constexpr uint32_t kFrameHeight = 31;
// Largest picture accepted: 16384 a side and 64 Mi pixels (256 MiB) in all.
constexpr uint32_t kMaxSide = 16384;
constexpr uint64_t kMaxPixels = uint64_t(1) << 26;
// Most commands the drawing server puts onto the window in one box.
constexpr int kMaxMergedCommands = 64;
// The under-picture on (p[0] = 1) or off: a command of our own, after the system's codes.
constexpr uint8_t kCmdUnder = 23;

constexpr std::array<uint32_t, 16> kStdPalette = {
    0x000000, 0x0000B0, 0x00B000, 0x008080, 0xB00000, 0x800080, 0xB06000, 0xC0C0C0,
    0x808080, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF,
};

uint32_t ClampTo(uint32_t v, uint32_t lo, uint32_t hi) { return std::max(lo, std::min(v, hi)); }

// Joins t once done is set, waiting at most a second; a thread that does not finish is left
// to end with the process.
void JoinWithin(std::thread& t, const std::atomic<bool>& done) {
  if (!t.joinable()) return;
  for (int i = 0; i < 1000 && !done.load(); ++i) std::this_thread::sleep_for(milliseconds(1));
  if (done.load()) {
    t.join();
  } else {
    t.detach();
  }
}

}  // namespace

GraphModule::GraphModule(Backend& backend, GraphServices services)
    : backend_(backend), services_(std::move(services)) {}

GraphModule::~GraphModule() { Terminate(); }

void GraphModule::Start() {
  if (started_) return;
  started_ = true;
  backend_.InitThreads();
  colour_count_ = backend_.ColourCount();
}

bool GraphModule::Init(uint32_t x, uint32_t y, uint32_t w, uint32_t h) {
  Start();  // the platform must be ready for threads before the first thread starts
  if (window_exists_ || ended_) {
    Message("Graph window was already created");
    return false;
  }
  // A failed Init leaves the window marked as existing, so later calls are refused.
  window_exists_ = true;
  width_ = w;
  depth_ = h;
  Publish();
  host_ = backend_.NewWindow();
  const WindowPlace place{int32_t(x), int32_t(y), w - kFrameWidth, h - kFrameHeight, style_};
  try {
    window_thread_ = services_.start_thread([this, place] { WindowThread(place); });
  } catch (...) {
    Message("Graph server not run");
    return false;
  }
  // The drawing server signals ready only once the window exists; a window thread that
  // fails says so instead.
  while (!ready_.WaitFor(kBreakTick)) {
    if (window_failed_.load()) return false;
    services_.check_break();
  }
  serving_ = true;
  HandOverCode(kCmdAttach);
  if (!WaitReady() || !attached_.load()) {
    Message("Couldn't create main window");
    return false;
  }
  num_colours_ = colour_count_ != 0 ? colour_count_ : backend_.ColourCount();
  InitStdPalette();
  SetLineStyle(kStyleSolid);
  SetBkMix(true);
  SetBkColor(0);
  ClearScreen(0);
  rows_ = (depth_ - font::kDescent) / font::kCellHeight;
  columns_ = width_ / font::kCellWidth;
  SetTextWindow(1, 1, columns_, rows_);
  Publish();
  return true;
}

void GraphModule::Message(std::string_view text) {
  if (!style_.interactive) {
    services_.message(text);
    return;
  }
  std::lock_guard<std::mutex> hold(failure_lock_);
  failure_ = text;
}

std::string GraphModule::failure() {
  std::lock_guard<std::mutex> hold(failure_lock_);
  return failure_;
}

void GraphModule::SetUnder(std::vector<uint32_t> pixels, int32_t width, int32_t height) {
  under_pixels_ = std::move(pixels);
  under_width_ = width;
  under_height_ = height;
}

void GraphModule::ShowUnder(bool on) {
  if (under_pixels_.empty()) return;
  HandOver(kCmdUnder, [&](CommandBlock& c) { c.p[0] = on ? 1 : 0; });
}

void GraphModule::Compose(const Box& box) {
  const Box b = box.Intersect(picture_.Bounds());
  for (int64_t y = b.y0; y <= b.y1; ++y) {
    const uint32_t* drawn = picture_.data() + size_t(y) * size_t(picture_.width());
    const uint32_t* under = under_.Row(y);
    uint32_t* out = shown_.Row(y);
    for (int64_t x = b.x0; x <= b.x1; ++x) out[x] = drawn[x] != 0 ? drawn[x] : under[x];
  }
}

bool GraphModule::WaitReady() {
  while (!ready_.WaitFor(kBreakTick)) {
    if (server_done_.load()) return false;
    services_.check_break();
  }
  return true;
}

template <class Fill>
void GraphModule::HandOver(uint8_t code, Fill&& fill) {
  if (!serving_ || !WaitReady()) return;
  ready_.Reset();
  fill(block_);
  block_.code = code;
  ++handed_over_;
  command_.Set();
}

void GraphModule::HandOverCode(uint8_t code) {
  HandOver(code, [](CommandBlock&) {});
}

void GraphModule::WaitIdle() {
  if (!serving_ || !WaitReady()) return;
  while (completed_.load(std::memory_order_acquire) < handed_over_ && !server_done_.load()) {
    std::this_thread::yield();
  }
}

void GraphModule::WithPicture(const std::function<void(const Picture&)>& f) {
  std::lock_guard<std::mutex> hold(picture_lock_);
  f(picture_);
}

void GraphModule::Ellipse(uint32_t x, uint32_t y, uint32_t a, uint32_t b, uint32_t colour,
                          bool fill) {
  RemoveCursor();
  HandOver(kCmdEllipse, [&](CommandBlock& c) {
    c.p[0] = x - a;
    c.p[1] = y - b;
    c.p[2] = x + a;
    c.p[3] = y + b;
    c.p[4] = colour;
    c.p[5] = fill;
  });
  RestoreCursor();
}

void GraphModule::Rectangle(uint32_t x1, uint32_t y1, uint32_t x2, uint32_t y2, uint32_t colour,
                            bool fill) {
  RemoveCursor();
  HandOver(kCmdRectangle, [&](CommandBlock& c) {
    c.p[0] = x1;
    c.p[1] = y1;
    c.p[2] = x2;
    c.p[3] = y2;
    c.p[4] = colour;
    c.p[5] = fill;
  });
  RestoreCursor();
}

void GraphModule::RawOutText(uint32_t x, uint32_t y, uint32_t colour, std::string_view text) {
  RemoveCursor();
  HandOver(kCmdText, [&](CommandBlock& c) {
    c.p[0] = x;
    c.p[1] = y;
    c.p[2] = colour;
    const size_t n = std::min(text.find('\0'), std::min(text.size(), kTextMax));
    std::copy_n(text.data(), n, c.text.data());
    c.text_length = n;
  });
  RestoreCursor();
}

void GraphModule::InitStdPalette() { RemapAllPalette(kStdPalette); }

int32_t GraphModule::RemapAllPalette(std::span<const uint32_t> palette) {
  // An empty palette would leave every colour undefined: refused like an oversized one.
  if (palette.empty() || palette.size() > num_colours_) return -1;
  HandOver(kCmdPalette, [&](CommandBlock&) {
    palette_.assign(palette.begin(), palette.begin() + std::min(palette.size(), kPaletteMax));
  });
  return 0;
}

void GraphModule::SetLineStyle(uint32_t style) {
  line_style_ = style;
  HandOver(kCmdLineStyle, [&](CommandBlock& c) { c.p[0] = style; });
}

void GraphModule::SetBkMix(bool opaque) {
  HandOver(kCmdBkMode, [&](CommandBlock& c) { c.p[0] = opaque ? kBkOpaque : kBkTransparent; });
}

uint32_t GraphModule::SetBkColor(uint32_t colour) {
  const uint32_t previous = bk_colour_;
  bk_colour_ = colour;
  HandOver(kCmdBkColour, [&](CommandBlock& c) { c.p[0] = colour; });
  return previous;
}

void GraphModule::ClearScreen(uint32_t mode) {
  uint32_t x0, y0, x1, y1;
  if (mode == 0) {
    x0 = 0, y0 = 0, x1 = width_ - 1, y1 = depth_ - 1;
  } else if (mode == 2) {
    x0 = (text_left_ - 1) * font::kCellWidth;
    y0 = (text_top_ - 1) * font::kCellHeight;
    x1 = text_right_ * font::kCellWidth;
    y1 = text_bottom_ * font::kCellHeight + font::kDescent;
  } else {
    return;
  }
  const bool user = user_mask_in_force_;
  const uint32_t previous = std_pattern_;
  SetStdFillMask(kHatchSolid);
  Rectangle(x0, y0, x1, y1, bk_colour_, true);
  if (user) {
    SetFillMask(user_mask_);
  } else {
    SetStdFillMask(previous);
  }
}

void GraphModule::SetStdFillMask(uint32_t n) {
  user_mask_in_force_ = false;
  std_pattern_ = n;
  HandOver(kCmdStdPattern, [&](CommandBlock& c) { c.p[0] = n; });
}

void GraphModule::SetFillMask(const std::array<uint8_t, 8>& mask) {
  user_mask_ = mask;
  user_mask_in_force_ = true;
  // The server's pattern is replaced from here once it is idle; the ready event is not taken.
  if (serving_ && !WaitReady()) return;
  state_.SetUserMask(mask);
}

void GraphModule::SetTextWindow(uint32_t x1, uint32_t y1, uint32_t x2, uint32_t y2) {
  x1 = ClampTo(x1, 1, columns_);
  x2 = ClampTo(x2, 1, columns_);
  y1 = ClampTo(y1, 1, rows_);
  y2 = ClampTo(y2, 1, rows_);
  text_left_ = std::min(x1, x2);
  text_right_ = std::max(x1, x2);
  text_top_ = std::min(y1, y2);
  text_bottom_ = std::max(y1, y2);
  SetTextPosition(text_left_, text_top_);
}

void GraphModule::SetTextPosition(uint32_t column, uint32_t row) {
  RemoveCursor();
  cursor_column_ = ClampTo(column, text_left_, text_right_);
  cursor_row_ = ClampTo(row, text_top_, text_bottom_);
  RestoreCursor();
}

bool GraphModule::DisplayCursor(bool on) {
  const bool previous = cursor_shown_;
  cursor_shown_ = on;
  if (on) {
    RestoreCursor();
  } else {
    RemoveCursor();
  }
  return previous;
}

void GraphModule::InvertCursor() {
  HandOver(kCmdInvert, [&](CommandBlock& c) {
    c.p[0] = (cursor_column_ - 1) * font::kCellWidth;
    c.p[1] = (cursor_row_ - 1) * font::kCellHeight;
    c.p[2] = cursor_column_ * font::kCellWidth - 1;
    c.p[3] = cursor_row_ * font::kCellHeight - 1;
  });
}

void GraphModule::RemoveCursor() {
  if (!cursor_drawn_) return;
  InvertCursor();
  cursor_drawn_ = false;
}

void GraphModule::RestoreCursor() {
  if (!cursor_shown_ || cursor_drawn_) return;
  InvertCursor();
  cursor_drawn_ = true;
}

void GraphModule::Exit() {
  if (!window_exists_) return;
  window_exists_ = false;
  ended_ = true;
  if (host_) host_->Quit();
  JoinWithin(window_thread_, window_done_);
}

void GraphModule::Terminate() {
  ended_ = true;
  Exit();
  // The server thread object belongs to the window thread until that thread has been joined.
  if (window_thread_.joinable()) return;
  if (server_thread_.joinable()) {
    ready_.WaitFor(milliseconds(1000));
    stop_server_.store(true);
    command_.Set();
    JoinWithin(server_thread_, server_done_);
  }
  serving_ = false;
  if (server_done_.load() || !server_thread_.joinable()) {
    std::lock_guard<std::mutex> hold(picture_lock_);
    picture_ = Picture();
    under_ = Picture();
    shown_ = Picture();
    under_on_ = false;
  }
}

void GraphModule::WindowThread(WindowPlace place) {
  std::string message = "Couldn't create main window";
  const bool fits = width_ > kFrameWidth && depth_ > kFrameHeight && width_ <= kMaxSide &&
                    depth_ <= kMaxSide && uint64_t(width_) * depth_ <= kMaxPixels;
  if (!fits || !host_->Create(place, &message)) {
    Message(message);
    window_failed_.store(true);
    window_done_.store(true);
    return;
  }
  window_id_.store(host_->Id());
  window_alive_.store(true);
  // The server starts only now: its first command, attach, needs the window.
  try {
    server_thread_ = services_.start_thread([this] { ServerLoop(); });
  } catch (...) {
    Message("Graph server not run");
    window_alive_.store(false);
    host_->Close();
    window_failed_.store(true);
    window_done_.store(true);
    return;
  }
  host_->Run([this] { Repaint(); });
  window_alive_.store(false);
  host_->Close();
  window_done_.store(true);
}

void GraphModule::Repaint() {
  std::lock_guard<std::mutex> window(window_lock_);
  std::lock_guard<std::mutex> picture(picture_lock_);
  host_->Put(Shown(), picture_.Bounds());
}

void GraphModule::ServerLoop() {
  surface_ = backend_.NewSurface();
  // Boxes of commands that follow each other closely go onto the window as one box when that
  // box is no larger than the boxes it replaces together: a burst of overlapping shapes (the
  // rings of a wheel) then costs a few transfers and no extra bytes. Whatever is pending goes
  // up before the server sleeps, so nothing waits longer than the burst that follows it.
  Box pending;
  int64_t pending_area = 0;
  int pending_count = 0;
  auto area = [](const Box& b) { return (b.x1 - b.x0 + 1) * (b.y1 - b.y0 + 1); };
  auto put_pending = [&] {
    if (!pending.Empty() && attached_.load() && window_alive_.load()) {
      std::lock_guard<std::mutex> hold(window_lock_);
      surface_->Put(Shown(), pending);
    }
    completed_.fetch_add(uint64_t(pending_count), std::memory_order_release);
    pending = Box{};
    pending_area = 0;
    pending_count = 0;
  };
  ready_.Set();
  for (;;) {
    // Whatever is pending or buffered goes out before the server sleeps: a pause in drawing
    // shows at once.
    while (!command_.WaitFor(milliseconds(1000), [&] {
      put_pending();
      if (attached_.load()) surface_->Flush();
    })) {
    }
    command_.Reset();
    if (stop_server_.load()) break;
    const CommandBlock& c = block_;
    if (c.code <= kCmdPalette) {
      state_.ExecuteState(c, palette_);
    } else if (c.code == kCmdAttach) {
      bool made = true;
      try {
        std::lock_guard<std::mutex> hold(picture_lock_);
        picture_ = Picture(int32_t(width_), int32_t(depth_));
        if (!under_pixels_.empty()) {
          under_ = Picture(int32_t(width_), int32_t(depth_));
          const int32_t w = std::min(under_width_, under_.width());
          for (int32_t y = 0; y < std::min(under_height_, under_.height()); ++y) {
            std::copy_n(under_pixels_.data() + size_t(y) * size_t(under_width_), w, under_.Row(y));
          }
          shown_ = under_;
          under_on_ = true;
        }
      } catch (const std::bad_alloc&) {
        made = false;  // Init reports the window as not created
      }
      attached_.store(
          made && surface_->Attach(window_id_.load(), width_ - kFrameWidth, depth_ - kFrameHeight));
    } else if (c.code == kCmdUnder) {
      {
        std::lock_guard<std::mutex> hold(picture_lock_);
        under_on_ = c.p[0] != 0 && under_.width() > 0;
        if (under_on_) Compose(picture_.Bounds());
      }
      // The whole window changes.
      pending = pending.Union(picture_.Bounds());
      ++pending_count;
      put_pending();
      ready_.Set();
      continue;
    } else {
      Box box;
      {
        std::lock_guard<std::mutex> hold(picture_lock_);
        box = state_.Execute(c, picture_);
        if (under_on_ && !box.Empty()) Compose(box);
      }
      // The caller may hand over the next command while this one goes onto the window: the
      // window step reads only the picture, which no one but this thread writes.
      ready_.Set();
      if (!box.Empty()) {
        const Box merged = pending.Union(box);
        if (!pending.Empty() &&
            (area(merged) > pending_area + area(box) || pending_count >= kMaxMergedCommands)) {
          put_pending();
        }
        pending = pending.Union(box);
        pending_area += area(box);
        ++pending_count;  // counted as completed once it is on the window
      } else {
        completed_.fetch_add(1, std::memory_order_release);
      }
      continue;
    }
    completed_.fetch_add(1, std::memory_order_release);
    ready_.Set();
  }
  put_pending();
  if (attached_.load()) surface_->Flush();
  surface_.reset();
  server_done_.store(true);
}

}  // namespace window
