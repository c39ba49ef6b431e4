// Shared helpers of the IM.txt and firmware tests.
#include "imtxt/test_util.h"

#include <gtest/gtest.h>

#include "imtxt/maak_text.h"
#include "tests/support/files.h"

namespace imtxt::testing {

Picture RandomPicture(std::mt19937& rng, int32_t n, double dark_share) {
  std::uniform_int_distribution<int32_t> intensity(0, 4);
  std::bernoulli_distribution dark(dark_share);
  Picture picture(n);
  for (Position& position : picture) {
    const bool off = dark(rng);
    for (int32_t& v : position) v = off ? 0 : intensity(rng);
  }
  return picture;
}

State Load(const Picture& picture) {
  State s;
  s.wheel->aantal_hoeken = static_cast<int32_t>(picture.size());
  for (size_t q = 0; q < picture.size(); ++q) {
    for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) {
      s.wheel->led[static_cast<int>(q) + 1][i].toestand = picture[q][i - 1];
    }
  }
  return s;
}

PortBit WiringOf(int32_t led) {
  if (led <= 8) return {0, led - 1};
  if (led == 9) return {1, 4};
  if (led <= 12) return {1, led - 9};  // LEDs 10, 11, 12 on bits 1, 2, 3
  if (led <= 16) return {2, led - 13};
  return {3, led - 17};
}

std::string WriteFragment(const Picture& picture) {
  State s = Load(picture);
  BeeldMatrix(*s.wheel, *s.matrix);
  MaakText(*s.wheel, *s.matrix);
  return testing_support::ReadFile("IM.txt");
}

std::vector<std::string> SplitCrLf(const std::string& bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    const size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) {
      ADD_FAILURE() << "text after the last CR LF: " << bytes.substr(start);
      break;
    }
    std::string line = bytes.substr(start, end - start);
    if (line.find_first_of("\r\n") != std::string::npos)
      ADD_FAILURE() << "bare CR or LF in " << line;
    lines.push_back(std::move(line));
    start = end + 2;
  }
  return lines;
}

}  // namespace imtxt::testing
