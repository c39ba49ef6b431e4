// The one failure type that ends a run with the failure report.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

namespace rts {

// A failure nothing handles: a 32-bit number and a text of at most 1024 characters, with a
// description of the calls that were active when it was raised. Caught once, by rts::Run.
class Failure : public std::exception {
 public:
  Failure(uint32_t number, std::string_view text);

  uint32_t number() const { return number_; }
  const std::string& text() const { return text_; }
  // One entry per active call, innermost first; at most kMaxHistory entries.
  const std::vector<std::string>& history() const { return history_; }
  // More calls were active than the history holds.
  bool history_truncated() const { return truncated_; }
  const char* what() const noexcept override { return text_.c_str(); }

  static constexpr size_t kMaxText = 1024;
  static constexpr size_t kMaxHistory = 256;

 private:
  uint32_t number_;
  std::string text_;
  std::vector<std::string> history_;
  bool truncated_ = false;
};

// Raises a failure; never returns. Main thread only.
[[noreturn]] void Raise(uint32_t number, std::string_view text);

// Standard input can deliver no further line while the dialog waits for a number.
// rts::Run ends the run with a message and a non-zero exit code.
class InputEnded : public std::exception {
 public:
  const char* what() const noexcept override { return "end of input"; }
};

}  // namespace rts
