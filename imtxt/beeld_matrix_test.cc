// Tests of BeeldMatrix against the board's wiring table.
#include "imtxt/beeld_matrix.h"

#include <gtest/gtest.h>

#include "imtxt/test_util.h"

namespace imtxt {
namespace {

using testing::Load;
using testing::Picture;
using testing::RandomPicture;
using testing::State;

// The whole matrix the wiring table predicts: matrix position p holds editor position N + 1 - p.
void ExpectWiring(const Picture& picture, const PortMatrix& m) {
  const int32_t n = static_cast<int32_t>(picture.size());
  int failures = 0;
  for (int32_t p = 1; p <= wheel::kMaxPositions && failures < 10; ++p) {
    int32_t expected[4][9] = {};
    if (p <= n) {
      for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) {
        const testing::PortBit pb = testing::WiringOf(i);
        expected[pb.row][8 - pb.bit] = picture[n - p][i - 1];
      }
    }
    for (int32_t r = 0; r < 4; ++r) {
      for (int32_t c = 1; c <= 8; ++c) {
        const int32_t got = m.poorten_matriks[4 * p - 3 + r][c];
        if (got != expected[r][c]) {
          ADD_FAILURE() << "N " << n << " matrix position " << p << " row "
                        << "ABCD"[r] << " column " << c << ": " << got << ", expected "
                        << expected[r][c];
          ++failures;
        }
      }
    }
  }
}

TEST(BeeldMatrix, WiringTableForEveryPositionCount) {
  std::mt19937 rng(1234);
  for (int32_t n = 1; n <= wheel::kMaxPositions; ++n) {
    const Picture picture = RandomPicture(rng, n, 0.1);
    State s = Load(picture);
    BeeldMatrix(*s.wheel, *s.matrix);
    ExpectWiring(picture, *s.matrix);
    if (HasFailure()) break;
  }
}

TEST(BeeldMatrix, WiringTableManyPicturesAtEdgeSizes) {
  std::mt19937 rng(99);
  for (int32_t n : {1, 2, 3, 7, 64, 255, 256, 499, 500}) {
    for (int round = 0; round < 8; ++round) {
      const Picture picture = RandomPicture(rng, n, round % 2 ? 0.5 : 0.0);
      State s = Load(picture);
      BeeldMatrix(*s.wheel, *s.matrix);
      ExpectWiring(picture, *s.matrix);
    }
  }
}

TEST(BeeldMatrix, LeavesReversedLedsAndCopiesBehind) {
  std::mt19937 rng(7);
  const int32_t n = 500;
  const Picture picture = RandomPicture(rng, n);
  State s = Load(picture);
  BeeldMatrix(*s.wheel, *s.matrix);
  for (int32_t j = 1; j <= n; ++j) {
    for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) {
      ASSERT_EQ(s.wheel->led_copy[j][i].toestand, picture[j - 1][i - 1]);
      ASSERT_EQ(s.wheel->led[j][i].toestand, picture[n - j][i - 1]);
    }
  }
  // kopie is the matrix before the mirroring and the move of LED 9.
  for (int32_t j = 1; j <= 4 * n; ++j) {
    for (int32_t c = 1; c <= 8; ++c) {
      int32_t expected = s.matrix->poorten_matriks[j][9 - c];
      if (j % 4 == 2 && c == 1) expected = s.matrix->poorten_matriks[j][4];  // LED 9
      if (j % 4 == 2 && c == 5) expected = 0;
      ASSERT_EQ(s.matrix->kopie[j][c], expected) << "row " << j << " column " << c;
    }
  }
}

TEST(BeeldMatrix, SinglePositionAndTwoPositions) {
  Picture one(1);
  for (int32_t i = 0; i < 24; ++i) one[0][i] = 1 + i % 4;
  State s1 = Load(one);
  BeeldMatrix(*s1.wheel, *s1.matrix);
  ExpectWiring(one, *s1.matrix);
  // Row A of the one position reads L8..L1.
  for (int32_t c = 1; c <= 8; ++c) EXPECT_EQ(s1.matrix->poorten_matriks[1][c], one[0][8 - c]);

  Picture two(2);
  two[0][0] = 4;   // editor position 1, LED 1
  two[1][23] = 2;  // editor position 2, LED 24
  State s2 = Load(two);
  BeeldMatrix(*s2.wheel, *s2.matrix);
  EXPECT_EQ(s2.matrix->poorten_matriks[4][1], 2);  // position 2 first: row D column 1
  EXPECT_EQ(s2.matrix->poorten_matriks[5][8], 4);  // then position 1: row A column 8
  ExpectWiring(two, *s2.matrix);
}

TEST(BeeldMatrix, SingleLedsLandOnTheirColumnsWithTheirIntensity) {
  struct Case {
    int32_t led, value, row, column;  // row 0..3 = A..D
  };
  const Case cases[] = {{5, 3, 0, 4},  {9, 2, 1, 4},  {10, 4, 1, 7}, {11, 1, 1, 6}, {12, 3, 1, 5},
                        {13, 3, 2, 8}, {16, 2, 2, 5}, {17, 1, 3, 8}, {24, 4, 3, 1}};
  for (const Case& c : cases) {
    Picture picture(3);
    picture[1][c.led - 1] = c.value;  // editor position 2 is matrix position 2
    State s = Load(picture);
    BeeldMatrix(*s.wheel, *s.matrix);
    for (int32_t row = 1; row <= 12; ++row) {
      for (int32_t col = 1; col <= 8; ++col) {
        const int32_t expected = (row == 4 + 1 + c.row && col == c.column) ? c.value : 0;
        EXPECT_EQ(s.matrix->poorten_matriks[row][col], expected)
            << "LED " << c.led << " row " << row << " column " << col;
      }
    }
  }
}

TEST(BeeldMatrix, FullWheelFillsEveryRowAndDarkPositionsStayZero) {
  Picture picture(500);
  for (int32_t q = 0; q < 500; ++q) {
    for (int32_t i = 0; i < 24; ++i) picture[q][i] = q % 5 == 3 ? 0 : 1 + (q + i) % 4;
  }
  State s = Load(picture);
  BeeldMatrix(*s.wheel, *s.matrix);
  ExpectWiring(picture, *s.matrix);
  for (int32_t p = 1; p <= 500; ++p) {
    int32_t sum = 0;
    for (int32_t r = 4 * p - 3; r <= 4 * p; ++r) {
      for (int32_t c = 1; c <= 8; ++c) sum += s.matrix->poorten_matriks[r][c];
    }
    const int32_t q = 500 + 1 - p;
    if ((q - 1) % 5 == 3) {
      EXPECT_EQ(sum, 0) << "dark editor position " << q;
    } else {
      EXPECT_GT(sum, 0) << "lit editor position " << q;
    }
  }
}

TEST(BeeldMatrixDeathTest, PositionCountOutsideTheModelStops) {
  for (int32_t n : {0, -1, 501}) {
    State s;
    s.wheel->aantal_hoeken = n;
    EXPECT_DEATH(BeeldMatrix(*s.wheel, *s.matrix), "kMaxPositions") << "N " << n;
  }
}

}  // namespace
}  // namespace imtxt
