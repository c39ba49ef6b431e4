// The wheel screen and its editing loop: opens the window, polls the mouse, writes IM.txt.
#include "editor/editor.h"

#include "editor/editor_screen.h"
#include "editor/graph_canvas.h"
#include "firmware/fit_check.h"
#include "imtxt/maak_text.h"
#include "runtime/io.h"
#include "runtime/os.h"
#include "runtime/startup.h"
#include "window/graph.h"
#include "window/mouse.h"

namespace editor {

EditorEnd Edit(wheel::Wheel& w, bool loaded) {
  if (!Mouse::InitMuis(kWindowX, kWindowY, w.screen_size_x + kFrameWidth,
                       w.screen_size_y + kFrameHeight)) {
    return EditorEnd::kNoWindow;
  }
  GraphCanvas canvas;
  if (loaded) {
    OpenLoadedScreen(w, canvas);
  } else {
    OpenScreen(w, canvas);
  }

  while (!w.end) {
    rts::CheckBreak();
    if (Mouse::Clicked()) {
      w.mouse_x = Mouse::GetMuisX();
      w.mouse_y = Mouse::GetMuisY();
      HandleClick(w, canvas);
      continue;
    }
    if (Mouse::DisplayLost()) {
      // The picture has gone with the display and cannot be finished: not a normal end.
      rts::WriteMessage("the connection to the display was lost; nothing was written");
      return EditorEnd::kDisplayLost;
    }
    if (!Mouse::WindowOpen()) {
      // Closed through the window manager: no click can come any more. End as the close
      // button does, writing nothing.
      w.end = true;
      w.create_bitmap = false;
      break;
    }
    // Asleep until input or the console break arrives: an idle editor costs no processor time,
    // and a click is taken as soon as it comes.
    Mouse::WaitInput(-1);
  }
  return w.create_bitmap ? EditorEnd::kWrite : EditorEnd::kClosed;
}

int RunEditor(wheel::Wheel& w, imtxt::PortMatrix& m) {
  switch (Edit(w, false)) {
    case EditorEnd::kNoWindow:
      IO::WrStr("Sorry, mouse doesn't work");
      IO::WrLn();
      return 1;  // the editor never ran: not a success
    case EditorEnd::kWrite: {
      const firmware::Fit fit = firmware::CheckFit(w.led, w.aantal_hoeken);  // before reordering
      imtxt::BeeldMatrix(w, m);
      imtxt::MaakText(w, m);
      // Standard output keeps its bytes; what the wheel cannot show goes to standard error.
      const std::string warning = firmware::WillNotRunWarning(fit, "IM.txt");
      rts::os::WriteAll(rts::os::kStdErr, warning.data(), warning.size());
      return 0;
    }
    case EditorEnd::kDisplayLost:
      return kExitDisplayLost;
    case EditorEnd::kClosed:
      break;
  }
  return 0;
}

}  // namespace editor
