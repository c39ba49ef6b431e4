// The wheel screen's drawing, its controls and what one click does.
#include "editor/editor_screen.h"

namespace editor {
namespace {

// The fixed controls; only the close button and the border depend on the area's width.
constexpr int32_t kButtonLeft = 35;
constexpr int32_t kButtonRight = 155;
constexpr int32_t kWriteTop = 5;
constexpr int32_t kWriteBottom = 30;
constexpr int32_t kPreviewTop = 50;
constexpr int32_t kPreviewBottom = 75;
constexpr int32_t kIntensityLeft = 380;  // button k spans 380 + 30k .. 405 + 30k
constexpr int32_t kIntensityPitch = 30;
constexpr int32_t kIntensityWidth = 25;
constexpr int32_t kIntensityTop = 5;
constexpr int32_t kIntensityBottom = 30;
constexpr int32_t kCloseSize = 35;
constexpr int32_t kCloseTop = 1;

constexpr std::string_view kDigits[] = {"0", "1", "2", "3", "4"};

bool Inside(int32_t x, int32_t y, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  return x0 < x && x < x1 && y0 < y && y < y1;
}

void DrawOutline(const wheel::Wheel& w, Canvas& c, wheel::Point p) {
  c.Circle(p.x, p.y, w.straal_led, kRed);
}

void DrawLit(const wheel::Wheel& w, Canvas& c, wheel::Point p, int32_t toestand) {
  c.Disc(p.x, p.y, w.straal_led, wheel::Kleur(toestand));
}

void DrawControls(const wheel::Wheel& w, Canvas& c) {
  const int32_t sx = w.screen_size_x;
  c.Rectangle(0, 0, sx - 1, w.screen_size_y - 1, kGreen, false);
  c.Rectangle(sx - kCloseSize, kCloseTop, sx, kCloseSize, kRed, true);
  c.RawOutText(sx - 27, 10, kRed, " X ");
  c.Rectangle(kButtonLeft, kWriteTop, kButtonRight, kWriteBottom, kGreen, false);
  c.RawOutText(38, 8, kLightGrey, " CREATE  IM.TXT ");
  c.Rectangle(kButtonLeft, kPreviewTop, kButtonRight, kPreviewBottom, kGreen, false);
  c.RawOutText(38, 53, kLightGrey, " SEE RESULT ");
  for (int32_t k = 0; k <= 4; ++k) {
    const int32_t left = kIntensityLeft + kIntensityPitch * k;
    c.Rectangle(left, kIntensityTop, left + kIntensityWidth, kIntensityBottom, kGreen, false);
  }
  c.RawOutText(280, 10, kLightGrey, "INTENSITY:");
  for (int32_t k = 0; k <= 4; ++k) {
    c.RawOutText(390 + kIntensityPitch * k, 10, kLightGrey, kDigits[k]);
  }
}

// Black disc over the whole wheel, then the lit LEDs in their colours.
void ShowPreview(wheel::Wheel& w, Canvas& c) {
  c.Disc(w.screen_size_x / 2, w.screen_size_y / 2, PreviewRadius(w), kBlack);
  for (w.i = 0; w.i < wheel::kLedsPerSpoke; ++w.i) {
    for (w.j = 0; w.j < w.aantal_hoeken; ++w.j) {
      const int32_t t = w.led[w.j + 1][w.i + 1].toestand;
      if (t != 0) DrawLit(w, c, wheel::Centre(w, w.i, w.j), t);
    }
  }
}

// Outlines back for the LEDs that are off; the lit discs of the preview stay as they are.
void EndPreview(wheel::Wheel& w, Canvas& c) {
  for (w.i = 0; w.i < wheel::kLedsPerSpoke; ++w.i) {
    for (w.j = 0; w.j < w.aantal_hoeken; ++w.j) {
      if (w.led[w.j + 1][w.i + 1].toestand == 0) DrawOutline(w, c, wheel::Centre(w, w.i, w.j));
    }
  }
  w.bekijken = false;
}

void Dispatch(wheel::Wheel& w, Canvas& c) {
  switch (ControlAt(w.screen_size_x, w.mouse_x, w.mouse_y)) {
    case Control::kNone:
      break;
    case Control::kClose:
      w.end = true;
      w.create_bitmap = false;
      break;
    case Control::kWrite:
      w.end = true;
      w.create_bitmap = true;
      break;
    case Control::kPreview:
      TogglePreview(w, c);
      break;
    case Control::kIntensity0:
      SelectIntensity(w, 0);
      break;
    case Control::kIntensity1:
      SelectIntensity(w, 1);
      break;
    case Control::kIntensity2:
      SelectIntensity(w, 2);
      break;
    case Control::kIntensity3:
      SelectIntensity(w, 3);
      break;
    case Control::kIntensity4:
      SelectIntensity(w, 4);
      break;
  }
}

// Every LED whose box holds the click, not just the first: where boxes overlap (many
// positions, inner rings) one click sets several.
void LedPass(wheel::Wheel& w, Canvas& c) {
  const int32_t intensity = SelectedIntensity(w);
  for (w.i = 0; w.i < wheel::kLedsPerSpoke; ++w.i) {
    for (w.j = 0; w.j < w.aantal_hoeken; ++w.j) {
      const wheel::Point p = wheel::Centre(w, w.i, w.j);
      w.mp_x = p.x;
      w.mp_y = p.y;
      w.rho = w.straal_led;
      if (intensity < 0 || !LedHit(w.mp_x, w.mp_y, w.rho, w.straal_led, w.mouse_x, w.mouse_y)) {
        continue;
      }
      w.led[w.j + 1][w.i + 1].toestand = intensity;
      PaintLed(w, c, p, intensity);
    }
  }
}

}  // namespace

void SelectIntensity(wheel::Wheel& w, int32_t k) {
  w.intens0 = k == 0;
  w.intens1 = k == 1;
  w.intens2 = k == 2;
  w.intens3 = k == 3;
  w.intens4 = k == 4;
}

void TogglePreview(wheel::Wheel& w, Canvas& c) {
  w.bekijken = !w.bekijken;
  if (w.bekijken) {
    ShowPreview(w, c);
  } else {
    EndPreview(w, c);
  }
}

void PaintLed(const wheel::Wheel& w, Canvas& c, wheel::Point p, int32_t intensity) {
  if (intensity == 0) {
    c.Disc(p.x, p.y, w.straal_led, kBlack);
    DrawOutline(w, c, p);
  } else {
    DrawLit(w, c, p, intensity);
  }
}

Control ControlAt(int32_t sx, int32_t x, int32_t y) {
  if (Inside(x, y, sx - kCloseSize, kCloseTop, sx, kCloseSize)) return Control::kClose;
  if (Inside(x, y, kButtonLeft, kWriteTop, kButtonRight, kWriteBottom)) return Control::kWrite;
  if (Inside(x, y, kButtonLeft, kPreviewTop, kButtonRight, kPreviewBottom)) {
    return Control::kPreview;
  }
  constexpr Control kIntensity[] = {Control::kIntensity0, Control::kIntensity1,
                                    Control::kIntensity2, Control::kIntensity3,
                                    Control::kIntensity4};
  for (int32_t k = 0; k <= 4; ++k) {
    const int32_t left = kIntensityLeft + kIntensityPitch * k;
    if (Inside(x, y, left, kIntensityTop, left + kIntensityWidth, kIntensityBottom)) {
      return kIntensity[k];
    }
  }
  return Control::kNone;
}

bool LedHit(int32_t mp_x, int32_t mp_y, int32_t rho, int32_t straal_led, int32_t x, int32_t y) {
  return mp_x - rho < x && x < mp_x + straal_led && mp_y - rho < y && y < mp_y + straal_led;
}

int32_t SelectedIntensity(const wheel::Wheel& w) {
  if (w.intens0) return 0;
  if (w.intens1) return 1;
  if (w.intens2) return 2;
  if (w.intens3) return 3;
  if (w.intens4) return 4;
  return -1;
}

int32_t PreviewRadius(const wheel::Wheel& w) {
  return w.straal_binnencirkel + (wheel::kLedsPerSpoke - 1) * w.afstand_leds + 2 * w.straal_led;
}

void OpenScreen(wheel::Wheel& w, Canvas& c) {
  for (w.i = 0; w.i < wheel::kLedsPerSpoke; ++w.i) {
    for (w.j = 0; w.j < w.aantal_hoeken; ++w.j) w.led[w.j + 1][w.i + 1].toestand = 0;
  }
  w.hoek_stap = wheel::HoekStap(w.aantal_hoeken);
  for (w.i = 0; w.i < wheel::kLedsPerSpoke; ++w.i) {
    for (w.j = 0; w.j < w.aantal_hoeken; ++w.j) DrawOutline(w, c, wheel::Centre(w, w.i, w.j));
  }
  DrawControls(w, c);
}

void OpenLoadedScreen(wheel::Wheel& w, Canvas& c) {
  w.hoek_stap = wheel::HoekStap(w.aantal_hoeken);
  for (w.i = 0; w.i < wheel::kLedsPerSpoke; ++w.i) {
    for (w.j = 0; w.j < w.aantal_hoeken; ++w.j) {
      const int32_t t = w.led[w.j + 1][w.i + 1].toestand;
      const wheel::Point p = wheel::Centre(w, w.i, w.j);
      if (t == 0) {
        DrawOutline(w, c, p);
      } else {
        DrawLit(w, c, p, t);
      }
    }
  }
  DrawControls(w, c);
}

void HandleClick(wheel::Wheel& w, Canvas& c) {
  Dispatch(w, c);
  LedPass(w, c);
}

}  // namespace editor
