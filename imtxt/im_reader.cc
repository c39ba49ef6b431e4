// Reading IM.txt back: walks the fragment line by line in the order MaakText writes it and
// rebuilds each position's intensities from its phase images.
#include "imtxt/im_reader.h"

#include <array>
#include <charconv>

namespace imtxt {
namespace {

constexpr std::string_view kFirst = "__MOVLW_D'";
constexpr std::string_view kPortNames[] = {"PORTD", "PORTB", "PORTA", "PORTC"};

// The port bit of LED i (index i - 1) as port * 8 + bit, ports in image order D, B, A, C.
constexpr std::array<int32_t, wheel::kLedsPerSpoke> kLedBit = {
    0,      1,      2,      3,      4,      5,      6,      7,      8 + 4,  8 + 1,  8 + 2,  8 + 3,
    16 + 0, 16 + 1, 16 + 2, 16 + 3, 24 + 0, 24 + 1, 24 + 2, 24 + 3, 24 + 4, 24 + 5, 24 + 6, 24 + 7};

// Bits no LED drives: PORTB bits 7, 6, 5, 0 and PORTA bits 7..4. The writer leaves them 0.
constexpr uint32_t kUnwired = (0xE1u << 8) | (0xF0u << 16);

using Bits = uint32_t;

class Reader {
 public:
  Reader(std::string_view text, std::string* error) : text_(text), error_(error) {}

  bool Read(wheel::LedArray& led, ImInfo* info) {
    if (!Header()) return false;
    for (int32_t k = n_; k >= 1; --k) {
      if (!Position(k, led)) return false;
    }
    if (pos_ < text_.size()) {
      ++line_no_;
      return Fail("expected the end of the file after the last \"__GOTO_BEGIN\"");
    }
    info->positions = n_;
    info->form = sep_ == '_' ? ImForm::kUnderscores : ImForm::kBlanks;
    info->crlf = crlf_;
    return true;
  }

 private:
  // The first line fixes the form, the line ends and N.
  bool Header() {
    const size_t nl = text_.find('\n');
    const std::string_view first = text_.substr(0, nl);
    if (!first.empty() && (first[0] == '_' || first[0] == ' ')) sep_ = first[0];
    crlf_ = nl != std::string_view::npos && nl > 0 && first.back() == '\r';
    if (!Load()) return false;
    std::string_view rest = line_;
    if (!Eat(rest, kFirst)) {
      return Fail("expected \"" + Shown(kFirst) + "\" and the number of positions");
    }
    const size_t digits = rest.find_first_not_of("0123456789");
    const std::string_view number = rest.substr(0, digits);
    int64_t n = 0;
    if (number.empty() || number[0] == '0' || number.size() > 9 ||
        std::from_chars(number.data(), number.data() + number.size(), n).ec != std::errc()) {
      return Fail("expected the number of positions, 1 to 500, after \"" + Shown(kFirst) + "\"");
    }
    if (n > wheel::kMaxPositions) {
      return Fail("the file names " + std::to_string(n) + " positions; at most 500 are allowed");
    }
    n_ = static_cast<int32_t>(n);
    rest.remove_prefix(number.size());
    if (!EatAll(rest, "'__;# positions")) {
      return Fail(Expected("__MOVLW_D'", n_, "'__;# positions"));
    }
    return Consume() && Expect("__MOVWF_HOEKTELLER") && Expect("BEGIN") && Expect("__MOVLW_D'2'") &&
           Expect("__MOVWF_HOEKVERANDERD");
  }

  // Position k's dispatch lines and display block; fills led row k.
  bool Position(int32_t k, wheel::LedArray& led) {
    if (!Expect("hoek", k)) return false;
    if (k == n_ && !(Expect("__MOVF_HOEKVERANDERD,0") && Expect("__MOVWF_TEST") &&
                     Expect("__DECFSZ_TEST,1") && Expect("__GOTO_hoek", n_))) {
      return false;
    }
    if (!(Expect("__MOVF_HOEKTELLER,0") && Expect("__SUBLW_D'", k + 1, "'") &&
          Expect("__MOVWF_TEST") && Expect("__DECFSZ_TEST,1"))) {
      return false;
    }
    if (!(k > 1 ? Expect("__GOTO_hoek", k - 1) : Expect("__GOTO_BEGIN"))) return false;

    if (!Load()) return false;
    if (Matches(line_, "__GOTO_BEGIN")) {
      if (!Consume()) return false;
      for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) led[k][i].toestand = 0;
      return true;
    }
    if (!Matches(line_, "__GOTO_UPDATE", k)) {
      return Fail(Expected("__GOTO_BEGIN") + " or \"" + Shown("__GOTO_UPDATE") + std::to_string(k) +
                  "\"");
    }
    if (!Consume()) return false;
    if (!(Expect("UPDATE", k) && Expect("__BCF_STATUS,RP0") && Expect("__BCF_STATUS,RP1"))) {
      return false;
    }

    // at_least[t] holds the LEDs of intensity t or more: image t, or the last image written
    // before it, which the writer leaves out when it would repeat.
    std::array<Bits, 5> at_least{};
    const int32_t first_image = line_no_ + 1;
    if (!Image(&at_least[1])) return false;
    if (at_least[1] == 0) {
      line_no_ = first_image;
      return Fail("expected a lit LED in the first image of a lit position");
    }
    for (int32_t t = 2; t <= 4; ++t) {
      at_least[t] = at_least[t - 1];
      if (!Load()) return false;
      if (StartsWith(line_, "__MOVLW_B'")) {
        const int32_t first_line = line_no_;
        Bits image = 0;
        if (!Image(&image)) return false;
        if (image == at_least[t - 1]) {
          line_no_ = first_line;
          return Fail(Expected("__CALL_DELAY", t) + ": this image repeats the one before it");
        }
        if ((image & ~at_least[t - 1]) != 0) {
          line_no_ = first_line;
          return Fail("expected only LEDs lit in the image before; LED " +
                      std::to_string(LedOf(image & ~at_least[t - 1])) + " lights up again");
        }
        at_least[t] = image;
      }
      if (!Expect("__CALL_DELAY", t)) return false;
    }
    if (at_least[4] != 0) {
      if (!Load()) return false;
      if (!Matches(line_, "__CALL_LEDSUIT")) {
        return Fail(Expected("__CALL_LEDSUIT") + ": LEDs are still lit after DELAY4");
      }
      if (!Consume()) return false;
    } else {
      if (!Load()) return false;
      if (Matches(line_, "__CALL_LEDSUIT")) {
        return Fail(Expected("__GOTO_BEGIN") + ": no LED is lit after DELAY4");
      }
    }
    if (!Expect("__GOTO_BEGIN")) return false;

    for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) {
      const Bits bit = Bits{1} << kLedBit[i - 1];
      int32_t v = 0;
      for (int32_t t = 1; t <= 4; ++t) v += (at_least[t] & bit) != 0;
      led[k][i].toestand = v;
    }
    return true;
  }

  // One phase image: a load and a store for each port in turn.
  bool Image(Bits* bits) {
    *bits = 0;
    for (int32_t p = 0; p < 4; ++p) {
      if (!Load()) return false;
      std::string_view rest = line_;
      const std::string_view port = kPortNames[p];
      if (!Eat(rest, "__MOVLW_B'") || rest.size() != 9 || rest[8] != '\'' ||
          rest.substr(0, 8).find_first_not_of("01") != std::string_view::npos) {
        return Fail(Expected("__MOVLW_B'") + " with eight binary digits and \"'\" for " +
                    std::string(port));
      }
      for (int32_t c = 0; c < 8; ++c) {
        if (rest[c] == '1') {
          const int32_t bit = p * 8 + 7 - c;
          if ((kUnwired >> bit) & 1u) {
            return Fail("expected 0 for " + std::string(port) + " bit " + std::to_string(7 - c) +
                        ", which no LED drives");
          }
          *bits |= Bits{1} << bit;
        }
      }
      if (!Consume() || !Expect("__MOVWF_", -1, port)) return false;
    }
    return true;
  }

  static int32_t LedOf(Bits bits) {
    for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
      if ((bits >> kLedBit[i]) & 1u) return i + 1;
    }
    return 0;
  }

  // Makes the next line current (once); fails only at the end of the text. Its line end is
  // checked when it is consumed, so a wrong line says so before a wrong line end does.
  bool Load() {
    if (loaded_) return true;
    ++line_no_;
    if (pos_ >= text_.size()) {
      return Fail(line_no_ == 1 ? "expected \"" + Shown(kFirst) + "\", but the file is empty"
                                : "expected a further line, but the file ends here");
    }
    const size_t nl = text_.find('\n', pos_);
    size_t end = nl == std::string_view::npos ? text_.size() : nl;
    const bool cr = end > pos_ && text_[end - 1] == '\r';
    if (cr) --end;
    line_ = text_.substr(pos_, end - pos_);
    next_ = nl == std::string_view::npos ? text_.size() : nl + 1;
    end_ok_ = nl != std::string_view::npos && cr == crlf_;
    loaded_ = true;
    return true;
  }
  bool Consume() {
    if (!end_ok_) {
      return Fail(crlf_ ? "expected CR LF at the end of the line, as on line 1"
                        : "expected LF alone at the end of the line, as on line 1");
    }
    loaded_ = false;
    pos_ = next_;
    return true;
  }

  // a, then the decimal number (when num >= 0), then b: the line exactly, with '_' standing for
  // the file's separator.
  bool Matches(std::string_view line, std::string_view a, int32_t num = -1,
               std::string_view b = {}) const {
    if (!Eat(line, a)) return false;
    if (num >= 0) {
      char buf[16];
      const auto r = std::to_chars(buf, buf + sizeof buf, num);
      const std::string_view digits(buf, static_cast<size_t>(r.ptr - buf));
      if (line.substr(0, digits.size()) != digits) return false;
      line.remove_prefix(digits.size());
    }
    return EatAll(line, b);
  }
  bool Expect(std::string_view a, int32_t num = -1, std::string_view b = {}) {
    if (!Load()) return false;
    if (!Matches(line_, a, num, b)) return Fail(Expected(a, num, b));
    return Consume();
  }

  bool Eat(std::string_view& s, std::string_view literal) const {
    if (!StartsWith(s, literal)) return false;
    s.remove_prefix(literal.size());
    return true;
  }
  bool EatAll(std::string_view s, std::string_view literal) const {
    return s.size() == literal.size() && StartsWith(s, literal);
  }
  bool StartsWith(std::string_view s, std::string_view literal) const {
    if (s.size() < literal.size()) return false;
    for (size_t c = 0; c < literal.size(); ++c) {
      if (s[c] != (literal[c] == '_' ? sep_ : literal[c])) return false;
    }
    return true;
  }

  // A literal as this file spells it.
  std::string Shown(std::string_view literal) const {
    std::string s(literal);
    for (char& c : s) {
      if (c == '_') c = sep_;
    }
    return s;
  }
  std::string Expected(std::string_view a, int32_t num = -1, std::string_view b = {}) const {
    return "expected \"" + Shown(a) + (num >= 0 ? std::to_string(num) : "") + Shown(b) + "\"";
  }
  bool Fail(const std::string& what) {
    *error_ = "line " + std::to_string(line_no_) + ": " + what;
    return false;
  }

  std::string_view text_;
  std::string* error_;
  char sep_ = '_';
  bool crlf_ = true;
  int32_t n_ = 0;
  size_t pos_ = 0;   // start of the next line not yet consumed
  size_t next_ = 0;  // start of the line after the loaded one
  bool loaded_ = false;
  bool end_ok_ = false;  // the loaded line ends as line 1 does
  int32_t line_no_ = 0;
  std::string_view line_;
};

}  // namespace

bool LooksLikeIm(std::string_view head) {
  return head.starts_with(kFirst) || head.starts_with("  MOVLW D'");
}

bool ReadIm(std::string_view text, wheel::LedArray& led, ImInfo* info, std::string* error) {
  led = wheel::LedArray{};
  Reader reader(text, error);
  if (reader.Read(led, info)) return true;
  led = wheel::LedArray{};
  return false;
}

}  // namespace imtxt
