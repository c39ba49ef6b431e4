// The commands' numeric options: one reading of numbers, one range check, one kind of complaint.
#include "cli/options.h"

#include <CLI/CLI.hpp>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace cli {
namespace {

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.15g", v);
  return text;
}

bool Bounded(const OptionLimit& limit) {
  return limit.max < std::numeric_limits<double>::max() ||
         limit.min > -std::numeric_limits<double>::max();
}

}  // namespace

std::string RangeText(const OptionLimit& limit) {
  const std::string unit = limit.unit.empty() ? "" : " " + std::string(limit.unit);
  if (!Bounded(limit)) return "any finite number" + (unit.empty() ? "" : " of" + unit);
  return (limit.whole ? "" : "from ") + Number(limit.min) + " to " + Number(limit.max) + unit;
}

std::optional<double> ParseNumber(std::string_view text, const OptionLimit& limit,
                                  std::string* complaint) {
  // from_chars reads no leading '+' and no blanks, and "nan"/"inf" come out non-finite.
  std::string_view digits = text;
  if (digits.starts_with('+')) digits.remove_prefix(1);
  double v = 0;
  const auto [end, ec] =
      std::from_chars(digits.data(), digits.data() + digits.size(), v, std::chars_format::general);
  const bool number = !digits.empty() && ec == std::errc() && end == digits.data() + digits.size();
  if (number && std::isfinite(v)) {
    if (limit.whole && v != std::floor(v)) {
      *complaint = "expected a whole number, " + RangeText(limit) + ", not " + Quoted(text);
      return std::nullopt;
    }
    if (v >= limit.min && v <= limit.max) return v;
  }
  *complaint = "expected " + RangeText(limit) + ", not " + Quoted(text);
  return std::nullopt;
}

std::string OutOfRange(const OptionLimit& limit, double value) {
  if (std::isfinite(value) && value >= limit.min && value <= limit.max &&
      (!limit.whole || value == std::floor(value))) {
    return "";
  }
  return "expected " + RangeText(limit) + ", not " + Number(value);
}

CLI::Option* AddNumberOption(CLI::App& command, const std::string& names, const OptionLimit& limit,
                             const std::function<void(double)>& store, const std::string& help) {
  std::string type(limit.type);
  if (Bounded(limit)) type += ":" + Number(limit.min) + ".." + Number(limit.max);
  // CLI11 names the option by its last name, the long one.
  const std::string name = names.substr(names.rfind(',') + 1);
  return command
      .add_option_function<std::string>(
          names,
          [store, limit, name](const std::string& text) {
            std::string complaint;
            const std::optional<double> v = ParseNumber(text, limit, &complaint);
            if (!v) throw CLI::ValidationError(name, complaint);
            store(*v);
          },
          help)
      ->type_name(type);
}

CLI::Option* AddNumberOption(CLI::App& command, const std::string& names, const OptionLimit& limit,
                             int32_t* value, const std::string& help) {
  assert(limit.whole && limit.min >= INT32_MIN && limit.max <= INT32_MAX);
  return AddNumberOption(
      command, names, limit, [value](double v) { *value = static_cast<int32_t>(v); }, help);
}

CLI::Option* AddNumberOption(CLI::App& command, const std::string& names, const OptionLimit& limit,
                             double* value, const std::string& help) {
  return AddNumberOption(
      command, names, limit, [value](double v) { *value = v; }, help);
}

namespace {

// text with C escapes for what a terminal would not show as it is; quote marks and backslashes
// escaped too when quotes is set. *plain says whether anything needed an escape.
std::string Escaped(std::string_view text, bool quotes, bool* plain) {
  std::string out;
  *plain = true;
  auto hex = [&out](unsigned char b) {
    char e[8];
    std::snprintf(e, sizeof e, "\\x%02X", b);
    out += e;
  };
  for (size_t k = 0; k < text.size();) {
    const auto b = static_cast<unsigned char>(text[k]);
    // The length of a well-formed UTF-8 sequence starting here, 0 when it is not one.
    size_t len = b < 0x80                 ? 1
                 : b >= 0xC2 && b <= 0xDF ? 2
                 : b >= 0xE0 && b <= 0xEF ? 3
                 : b >= 0xF0 && b <= 0xF4 ? 4
                                          : 0;
    for (size_t j = 1; j < len; ++j) {
      if (k + j >= text.size() || (static_cast<unsigned char>(text[k + j]) & 0xC0) != 0x80) len = 0;
    }
    // C1 controls (U+0080..U+009F) are escape sequences to some terminals, as raw bytes are.
    if (len == 2 && b == 0xC2 && static_cast<unsigned char>(text[k + 1]) < 0xA0) len = 0;
    if (len == 0) {
      *plain = false;
      hex(b);
      ++k;
      continue;
    }
    if (len > 1) {
      out.append(text.substr(k, len));
      k += len;
      continue;
    }
    switch (b) {
      case '\n':
        out += "\\n", *plain = false;
        break;
      case '\t':
        out += "\\t", *plain = false;
        break;
      case '\r':
        out += "\\r", *plain = false;
        break;
      case 0x1B:
        out += "\\e", *plain = false;
        break;
      case '"':
      case '\\':
        if (quotes) out += '\\';
        out += static_cast<char>(b);
        break;
      default:
        if (b < 0x20 || b == 0x7F) {
          *plain = false;
          hex(b);
        } else {
          out += static_cast<char>(b);
        }
    }
    ++k;
  }
  return out;
}

}  // namespace

std::string Quoted(std::string_view text) {
  if (text.empty()) return "\"\"";
  bool plain = true;
  const std::string escaped = Escaped(text, true, &plain);
  return plain ? std::string(text) : "\"" + escaped + "\"";
}

std::string Printable(std::string_view text) {
  bool plain = true;
  return Escaped(text, false, &plain);
}

}  // namespace cli
