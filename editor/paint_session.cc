// ledwheel edit's editor on the graphics window: the loop that feeds the painting its input.
#include "editor/paint_session.h"

#include "editor/graph_canvas.h"
#include "runtime/startup.h"
#include "window/graph.h"
#include "window/mouse.h"

namespace editor {

std::string PaintTitle(const std::string& file, bool unwritten) {
  return (unwritten ? "*" : "") + file + " - ledwheel";
}

PaintSession::PaintSession(wheel::Wheel& w, PaintOptions options)
    : w_(w), options_(std::move(options)) {}

PaintSession::~PaintSession() = default;

bool PaintSession::unwritten() const {
  return painter_ ? painter_->unwritten() : options_.unwritten;
}

EditorEnd PaintSession::Run() {
  title_ = PaintTitle(options_.file, options_.unwritten);
  Graph::SetStyle(window::WindowStyle{title_, true});
  if (!options_.under.empty()) {
    Graph::SetUnder(std::move(options_.under), w_.screen_size_x, w_.screen_size_y);
  }
  if (!Mouse::InitMuis(kWindowX, kWindowY, w_.screen_size_x + kFrameWidth,
                       w_.screen_size_y + kFrameHeight)) {
    return EditorEnd::kNoWindow;
  }
  canvas_ = std::make_unique<GraphCanvas>();
  PaintHost& host = *this;
  painter_ = std::make_unique<Painter>(w_, *canvas_, host, options_.unwritten);
  try {
    painter_->Open();
    while (painter_->end() == PaintEnd::kPainting) {
      rts::CheckBreak();
      window::InputEvent e;
      if (Mouse::NextEvent(&e)) {
        painter_->Handle(e);
        continue;
      }
      if (Mouse::DisplayLost()) return EditorEnd::kDisplayLost;
      if (!Mouse::WindowOpen()) return EditorEnd::kClosed;
      // Asleep until input or the console break arrives.
      Mouse::WaitInput(-1);
    }
  } catch (...) {
    // A stroke cut short by the console break counts as painted.
    painter_->Abandon();
    throw;
  }
  return painter_->end() == PaintEnd::kWritten ? EditorEnd::kWrite : EditorEnd::kClosed;
}

bool PaintSession::Write(const wheel::Wheel& w) { return options_.write && options_.write(w); }

void PaintSession::Changed(bool unwritten) {
  const std::string title = PaintTitle(options_.file, unwritten);
  if (title == title_) return;
  title_ = title;
  Mouse::SetTitle(title_);
}

void PaintSession::ShowUnder(bool on) { Graph::ShowUnder(on); }

}  // namespace editor
