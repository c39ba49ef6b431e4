// The wheel screen's drawing, its controls and what one click does, free of any window system.
#pragma once

#include <cstdint>
#include <string_view>

#include "wheel/wheel.h"

namespace editor {

// Where the editor draws. The program draws on the graphics window (GraphCanvas in editor.cc);
// the calls arrive in the order the editor makes them, later ones covering earlier ones.
class Canvas {
 public:
  virtual ~Canvas() = default;
  virtual void Circle(int32_t x, int32_t y, int32_t r, uint32_t colour) = 0;
  virtual void Disc(int32_t x, int32_t y, int32_t r, uint32_t colour) = 0;
  virtual void Rectangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour,
                         bool fill) = 0;
  virtual void RawOutText(int32_t x, int32_t y, uint32_t colour, std::string_view text) = 0;
};

// Palette numbers the screen uses.
constexpr uint32_t kBlack = 0;
constexpr uint32_t kGreen = 2;
constexpr uint32_t kRed = 4;
constexpr uint32_t kLightGrey = 7;

// The controls, in the order a click tests them.
enum class Control {
  kNone,
  kClose,
  kWrite,
  kPreview,
  kIntensity0,
  kIntensity1,
  kIntensity2,
  kIntensity3,
  kIntensity4,
};

// The first control whose hit area holds (x, y); all bounds are exclusive, so a click on a
// frame line hits nothing. Only the close button follows the width of the drawing area; where
// it overlaps an intensity button (zoom -7 and below) the close button wins.
Control ControlAt(int32_t screen_size_x, int32_t x, int32_t y);

// Whether (x, y) lies in the square hit box of an LED centred at (mp_x, mp_y) with half-width
// rho and radius straal_led; bounds exclusive, so the box is 2 * straal_led - 1 pixels wide.
bool LedHit(int32_t mp_x, int32_t mp_y, int32_t rho, int32_t straal_led, int32_t x, int32_t y);

// The intensity an LED click assigns: the first of intens0..intens4 that is set; -1 if none is.
int32_t SelectedIntensity(const wheel::Wheel& w);

// Radius of the black preview disc: it reaches straal_led beyond the outermost LEDs' edge.
int32_t PreviewRadius(const wheel::Wheel& w);

// The opening screen once the window is up: clears rows 1..aantal_hoeken of w.led, sets
// w.hoek_stap, draws every LED as a red outline ring by ring, then the border and the controls.
// REQUIRES: 1 <= w.aantal_hoeken <= wheel::kMaxPositions and the sizes set.
void OpenScreen(wheel::Wheel& w, Canvas& c);

// The opening screen for a wheel loaded from a file: keeps w.led, sets w.hoek_stap, draws lit
// LEDs as discs in their colours and the others as red outlines, ring by ring, then the border
// and the controls. REQUIRES: as OpenScreen.
void OpenLoadedScreen(wheel::Wheel& w, Canvas& c);

// Selects intensity k (0..4): its flag set, the other four cleared. Nothing is drawn.
void SelectIntensity(wheel::Wheel& w, int32_t k);

// The preview button: switches w.bekijken and shows the preview (a black disc, then the lit
// LEDs) or ends it (outlines back for the LEDs that are off).
void TogglePreview(wheel::Wheel& w, Canvas& c);

// Repaints the LED centred at p as a click that gives it intensity does: 0 erases it to its
// red outline, 1..4 fills it in its colour.
void PaintLed(const wheel::Wheel& w, Canvas& c, wheel::Point p, int32_t intensity);

// Handles one click at (w.mouse_x, w.mouse_y): the first control under it acts (close and
// write set w.end, preview toggles the preview, an intensity button selects it), then every LED
// whose box holds the point takes the selected intensity and is repainted, in loop order.
// Centres are computed afresh for every LED on every click.
void HandleClick(wheel::Wheel& w, Canvas& c);

}  // namespace editor
