// The Graph module as an object: window thread, drawing server, hand-over and caller's state.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string_view>
#include <thread>
#include <vector>

#include "window/backend.h"
#include "window/drawing_server.h"
#include "window/event.h"
#include "window/picture.h"

namespace window {

// What the module needs of the runtime; tests pass their own.
struct GraphServices {
  // Starts a thread that the console break does not reach.
  std::function<std::thread(std::function<void()>)> start_thread;
  // Called at least every 20 ms by every wait of the calling thread; may throw.
  std::function<void()> check_break;
  // Shows a failure message to the user.
  std::function<void(std::string_view)> message;
  // Told when the public variables change (Init); may be empty.
  std::function<void(const class GraphModule&)> publish;
};

// One graphics window. All public operations come from one calling thread (the main thread);
// the window thread and the drawing server are the module's own.
class GraphModule {
 public:
  GraphModule(Backend& backend, GraphServices services);
  // Ends the threads like Terminate.
  ~GraphModule();
  GraphModule(const GraphModule&) = delete;
  GraphModule& operator=(const GraphModule&) = delete;

  // Module start: threads of the platform, the display's colour count. Runs once.
  void Start();
  // The room for a window on the screen; false without a display. Asks the backend afresh.
  bool Room(ScreenRoom* room) { return backend_.Room(room); }
  // Opens the window; false with a message on failure. Refused once a window exists, and after
  // Exit or Terminate.
  bool Init(uint32_t x, uint32_t y, uint32_t w, uint32_t h);

  // How the next Init's window presents itself (the default: the program without arguments).
  // An interactive window shows no failure message of its own: failure() keeps it for the
  // caller. Before Init.
  void SetStyle(WindowStyle style) { style_ = std::move(style); }
  const WindowStyle& style() const { return style_; }
  // The message of the last failure while the style was interactive; empty when none.
  std::string failure();
  // A picture for underneath the drawing: pixels 0x00RRGGBB of a width by height raster laid at
  // the client area's origin. While it is shown, the window shows it wherever the drawing is
  // black (0x000000); the drawing itself is unchanged. Shown from Init on. Before Init.
  void SetUnder(std::vector<uint32_t> pixels, int32_t width, int32_t height);
  // Shows the picture from SetUnder beneath the drawing, or the drawing alone; handed over to
  // the drawing server in order with the drawing. Nothing without such a picture.
  void ShowUnder(bool on);

  void Ellipse(uint32_t x, uint32_t y, uint32_t a, uint32_t b, uint32_t colour, bool fill);
  void Rectangle(uint32_t x1, uint32_t y1, uint32_t x2, uint32_t y2, uint32_t colour, bool fill);
  void RawOutText(uint32_t x, uint32_t y, uint32_t colour, std::string_view text);

  void InitStdPalette();
  int32_t RemapAllPalette(std::span<const uint32_t> palette);
  void SetLineStyle(uint32_t style);
  void SetBkMix(bool opaque);
  uint32_t SetBkColor(uint32_t colour);
  void ClearScreen(uint32_t mode);
  void SetStdFillMask(uint32_t n);
  void SetTextWindow(uint32_t x1, uint32_t y1, uint32_t x2, uint32_t y2);
  void SetTextPosition(uint32_t column, uint32_t row);
  bool DisplayCursor(bool on);
  uint32_t GetStdFillMask() const { return std_pattern_; }
  void SetFillMask(const std::array<uint8_t, 8>& mask);
  void Exit();

  // The termination procedure: takes the window away and ends both threads. Never hangs: a
  // thread that does not end within a second is left to end with the process. Idempotent.
  void Terminate();

  uint32_t width() const { return width_; }
  uint32_t depth() const { return depth_; }
  uint32_t columns() const { return columns_; }
  uint32_t rows() const { return rows_; }
  uint32_t num_colours() const { return num_colours_; }
  // The window's id once Init succeeded, 0 before.
  WindowId window_id() const { return window_id_.load(); }
  // False once the window has been closed or taken away.
  bool window_alive() const { return window_alive_.load(); }
  // Waits until the drawing server has finished every command handed over, on the window too.
  // Tests and benches.
  void WaitIdle();
  // Runs f on the picture under the picture lock. Tests and benches.
  void WithPicture(const std::function<void(const Picture&)>& f);

 private:
  template <class Fill>
  void HandOver(uint8_t code, Fill&& fill);
  void HandOverCode(uint8_t code);
  // Waits for the ready event, checking for the console break; false when the server has gone.
  bool WaitReady();
  void RemoveCursor();
  void RestoreCursor();
  void InvertCursor();

  void WindowThread(WindowPlace place);
  void ServerLoop();
  void Repaint();
  void Message(std::string_view text);
  // REQUIRES: picture lock held. Fills box of shown_ from the drawing and the under-picture.
  void Compose(const Box& box);
  // What the window shows: the drawing, or shown_ while the under-picture is on. Drawing server,
  // or REQUIRES: picture lock held.
  const Picture& Shown() const { return under_on_ ? shown_ : picture_; }
  void Publish() {
    if (services_.publish) services_.publish(*this);
  }

  Backend& backend_;
  GraphServices services_;
  bool started_ = false;
  uint32_t colour_count_ = 0;
  WindowStyle style_;
  std::mutex failure_lock_;
  std::string failure_;  // guarded by failure_lock_

  // Caller's state.
  bool window_exists_ = false;
  bool ended_ = false;    // Exit or Terminate has run: the module opens no further window
  bool serving_ = false;  // the drawing server has taken commands and not been stopped
  uint32_t width_ = 0, depth_ = 0, columns_ = 0, rows_ = 0, num_colours_ = 0;
  uint32_t line_style_ = kStyleSolid;
  uint32_t std_pattern_ = kHatchSolid;
  std::array<uint8_t, 8> user_mask_{};
  bool user_mask_in_force_ = false;
  uint32_t bk_colour_ = 0;
  uint32_t text_left_ = 1, text_top_ = 1, text_right_ = 1, text_bottom_ = 1;
  uint32_t cursor_column_ = 1, cursor_row_ = 1;
  bool cursor_shown_ = false, cursor_drawn_ = false;
  std::vector<uint32_t> palette_;  // read by the server while it runs command 4

  // Shared with the drawing server through the two events.
  Event command_;
  Event ready_;
  CommandBlock block_;
  std::atomic<bool> stop_server_{false};
  uint64_t handed_over_ = 0;            // caller's count of commands handed over
  std::atomic<uint64_t> completed_{0};  // server's count of commands finished and on the window

  // Drawing server's own.
  DrawingState state_;
  std::unique_ptr<DrawSurface> surface_;
  std::atomic<bool> attached_{false};

  // Guarded by the locks; taken window lock first where both are held.
  std::mutex picture_lock_;
  std::mutex window_lock_;
  Picture picture_;
  // The under-picture as the caller gave it (written before Init, read by the server after the
  // attach command), and the server's copies at the picture's size. under_on_ is written by
  // the server under the picture lock.
  std::vector<uint32_t> under_pixels_;
  int32_t under_width_ = 0, under_height_ = 0;
  Picture under_;
  Picture shown_;
  bool under_on_ = false;

  // Window thread.
  std::unique_ptr<WindowHost> host_;
  std::thread window_thread_;
  std::thread server_thread_;  // started by the window thread; touched by the caller once
                               // the window thread has been joined
  std::atomic<WindowId> window_id_{0};
  std::atomic<bool> window_failed_{false};
  std::atomic<bool> window_alive_{false};
  std::atomic<bool> window_done_{false};
  std::atomic<bool> server_done_{false};
};

// The instance the free functions of Graph forward to (made at first use, never destroyed).
GraphModule& BoundGraph();

}  // namespace window
