// FragmentWords against the instruction lines of the file MaakText really writes.
#include "imtxt/fragment_words.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "imtxt/beeld_matrix.h"
#include "imtxt/maak_text.h"
#include "imtxt/test_util.h"
#include "runtime/fio.h"
#include "runtime/io.h"
#include "tests/support/files.h"

namespace imtxt {
namespace {

using testing::Load;
using testing::Picture;
using testing::Position;
using testing::State;
using testing_support::ReadFile;
using testing_support::TempDir;

class FragmentWordsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    FIO::Start();
    IO::Start();
  }

  // Counts the words the written file holds: statements start with an underscore, labels do not.
  int32_t WrittenWords(const Picture& picture) {
    State s = Load(picture);
    BeeldMatrix(*s.wheel, *s.matrix);
    MaakText(*s.wheel, *s.matrix);
    const auto lines = testing::SplitCrLf(ReadFile(dir_.File("IM.txt")));
    return static_cast<int32_t>(std::count_if(
        lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("__", 0) == 0; }));
  }

  int32_t Counted(const Picture& picture) {
    State s = Load(picture);  // before BeeldMatrix, which reorders the LEDs
    return FragmentWords(s.wheel->led, static_cast<int32_t>(picture.size()));
  }

  TempDir dir_{TempDir::Cwd::kEnter};
};

TEST_F(FragmentWordsTest, EveryMixOfIntensitiesInOnePosition) {
  // Each of the 16 sets of intensities, spread over LEDs that sit on different ports.
  for (int mask = 0; mask < 16; ++mask) {
    Picture picture(3);
    int led = 0;
    for (int32_t t = 1; t <= 4; ++t) {
      if ((mask & (1 << (t - 1))) == 0) continue;
      picture[1][led] = t;
      picture[1][23 - led] = t;
      led += 5;
    }
    const int32_t images = 1 + ((mask & 1) != 0) + ((mask & 2) != 0) + ((mask & 4) != 0);
    const int32_t expected =
        8 + 6 + 6 + (mask == 0 ? 6 : 12 + 8 * images + ((mask & 8) != 0 ? 1 : 0));
    EXPECT_EQ(Counted(picture), expected) << "mask " << mask;
    EXPECT_EQ(WrittenWords(picture), expected) << "mask " << mask;
  }
}

TEST_F(FragmentWordsTest, RandomWheelsCountAsWritten) {
  std::mt19937 rng(20261208);
  const struct {
    int32_t n;
    double dark;
  } cases[] = {{1, 0.0}, {1, 1.0}, {2, 0.5}, {43, 0.0}, {93, 0.3}, {256, 0.5}, {500, 0.9}};
  for (const auto& c : cases) {
    const Picture picture = testing::RandomPicture(rng, c.n, c.dark);
    EXPECT_EQ(Counted(picture), WrittenWords(picture)) << "n " << c.n << " dark " << c.dark;
  }
}

TEST_F(FragmentWordsTest, OneLedAtFullPerPositionFillsAPageAtNinetySeven) {
  // 5 + 7 + 8 + 1 words a position after 8: 97 positions fit a page, 98 do not.
  auto picture = [](int32_t n) {
    Picture p(n);
    for (Position& position : p) position[0] = 4;
    return p;
  };
  for (int32_t n : {97, 98}) EXPECT_EQ(Counted(picture(n)), WrittenWords(picture(n))) << n;
  constexpr int32_t kPage = 2048;  // one program page of the PIC mid-range
  EXPECT_LE(Counted(picture(97)), kPage);
  EXPECT_GT(Counted(picture(98)), kPage);
}

}  // namespace
}  // namespace imtxt
