// Shared helpers of the IM.txt and firmware tests: pictures, the wiring table and CR LF lines.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "imtxt/beeld_matrix.h"
#include "wheel/wheel.h"

namespace imtxt::testing {

// picture[q - 1][i - 1] is the intensity of LED i at editor position q.
using Position = std::array<int32_t, wheel::kLedsPerSpoke>;
using Picture = std::vector<Position>;

// Every LED at a random intensity 0..4; each position dark with probability dark_share.
Picture RandomPicture(std::mt19937& rng, int32_t n, double dark_share = 0.0);

// A fresh, all-zero module state holding the picture.
struct State {
  std::unique_ptr<wheel::Wheel> wheel = std::make_unique<wheel::Wheel>();
  std::unique_ptr<PortMatrix> matrix = std::make_unique<PortMatrix>();
};
State Load(const Picture& picture);

// Which port bit LED i (1..24) drives, from the board's wiring.
struct PortBit {
  int32_t row;  // 0 = PORTD (row A), 1 = PORTB, 2 = PORTA, 3 = PORTC (row D)
  int32_t bit;
};
PortBit WiringOf(int32_t led);

// The IM.txt text BeeldMatrix and MaakText write for the picture, written in the working
// directory. REQUIRES: FIO and IO started.
std::string WriteFragment(const Picture& picture);

// Splits CR LF lines; fails the current test on a bare CR or LF or a missing final CR LF.
std::vector<std::string> SplitCrLf(const std::string& bytes);

}  // namespace imtxt::testing
