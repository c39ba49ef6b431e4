// Tests of MaakText: the exact file, and a reading of the fragment back into a picture.
#include "imtxt/maak_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>

#include "imtxt/beeld_matrix.h"
#include "imtxt/test_util.h"
#include "runtime/fio.h"
#include "runtime/io.h"
#include "tests/support/files.h"

namespace imtxt {
namespace {

using testing::Load;
using testing::Picture;
using testing::Position;
using testing::SplitCrLf;
using testing::State;
using testing_support::ReadFile;
using testing_support::TempDir;

class MaakTextTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    FIO::Start();
    IO::Start();
  }

  // Builds and writes the picture; returns IM.txt's bytes. s keeps the module state after the run.
  std::string Write(const Picture& picture, State* keep = nullptr) {
    State s = Load(picture);
    BeeldMatrix(*s.wheel, *s.matrix);
    MaakText(*s.wheel, *s.matrix);
    if (keep != nullptr) *keep = std::move(s);
    return ReadFile(dir_.File("IM.txt"));
  }

  TempDir dir_{TempDir::Cwd::kEnter};  // the writer creates IM.txt in the working directory
};

// One position's display block read back: the ports at each moment that matters.
struct Shown {
  Position intensity{};
  int images = 0;
  bool ledsuit = false;
};

// Reads the fragment the way the PIC runs it; fails the test on any line out of place.
// Returns the display of every lit position, keyed by its label number.
std::map<int32_t, Shown> ReadFragment(const std::vector<std::string>& lines, int32_t n) {
  std::map<int32_t, Shown> shown;
  size_t at = 0;
  auto expect = [&](const std::string& line) {
    if (at >= lines.size() || lines[at] != line) {
      ADD_FAILURE() << "line " << at + 1 << ": \"" << (at < lines.size() ? lines[at] : "<end>")
                    << "\", expected \"" << line << "\"";
      return false;
    }
    ++at;
    return true;
  };
  const std::string header[] = {"__MOVLW_D'" + std::to_string(n) + "'__;# positions",
                                "__MOVWF_HOEKTELLER", "BEGIN", "__MOVLW_D'2'",
                                "__MOVWF_HOEKVERANDERD"};
  for (const std::string& h : header) {
    if (!expect(h)) return shown;
  }
  static const char* const kPortNames[] = {"PORTD", "PORTB", "PORTA", "PORTC"};
  for (int32_t k = n; k >= 1; --k) {
    const std::string ks = std::to_string(k);
    bool ok = expect("hoek" + ks);
    if (k == n) {
      ok = ok && expect("__MOVF_HOEKVERANDERD,0") && expect("__MOVWF_TEST") &&
           expect("__DECFSZ_TEST,1") && expect("__GOTO_hoek" + ks);
    }
    ok = ok && expect("__MOVF_HOEKTELLER,0") &&
         expect("__SUBLW_D'" + std::to_string(k + 1) + "'") && expect("__MOVWF_TEST") &&
         expect("__DECFSZ_TEST,1") &&
         expect(k > 1 ? "__GOTO_hoek" + std::to_string(k - 1) : "__GOTO_BEGIN");
    if (!ok) return shown;
    if (at < lines.size() && lines[at] == "__GOTO_BEGIN") {
      ++at;  // dark
      continue;
    }
    if (!expect("__GOTO_UPDATE" + ks) || !expect("UPDATE" + ks) || !expect("__BCF_STATUS,RP0") ||
        !expect("__BCF_STATUS,RP1")) {
      return shown;
    }
    Shown& s = shown[k];
    uint8_t ports[4] = {};
    std::vector<std::array<uint8_t, 4>> phases;  // after image 1, at DELAY2, DELAY3, DELAY4
    int delays = 0;
    while (at < lines.size() && lines[at] != "__GOTO_BEGIN") {
      const std::string& line = lines[at];
      if (line.rfind("__MOVLW_B'", 0) == 0) {
        // One image: four loads and stores, always in the order D, B, A, C.
        for (int p = 0; p < 4; ++p) {
          const std::string& load = lines[at];
          if (load.size() != 19 || load.rfind("__MOVLW_B'", 0) != 0 || load[18] != '\'') {
            ADD_FAILURE() << "line " << at + 1 << ": bad load " << load;
            return shown;
          }
          uint8_t v = 0;
          for (int d = 0; d < 8; ++d) {
            const char digit = load[10 + d];
            if (digit != '0' && digit != '1') ADD_FAILURE() << "line " << at + 1 << ": " << load;
            v = static_cast<uint8_t>(v << 1 | (digit == '1'));
          }
          ++at;
          if (!expect(std::string("__MOVWF_") + kPortNames[p])) return shown;
          ports[p] = v;
        }
        if (++s.images == 1) phases.push_back({ports[0], ports[1], ports[2], ports[3]});
      } else if (line == "__CALL_DELAY2" || line == "__CALL_DELAY3" || line == "__CALL_DELAY4") {
        if (line.back() - '0' != delays + 2) ADD_FAILURE() << "line " << at + 1 << ": " << line;
        ++delays;
        phases.push_back({ports[0], ports[1], ports[2], ports[3]});
        ++at;
      } else if (line == "__CALL_LEDSUIT" && delays == 3 && !s.ledsuit) {
        s.ledsuit = true;
        ++at;
      } else {
        ADD_FAILURE() << "line " << at + 1 << ": unexpected \"" << line << "\"";
        return shown;
      }
    }
    if (!expect("__GOTO_BEGIN")) return shown;
    if (phases.size() != 4) {
      ADD_FAILURE() << "position " << k << ": " << phases.size() << " phases";
      continue;
    }
    for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) {
      const testing::PortBit pb = testing::WiringOf(i);
      int32_t v = 0;
      for (size_t t = 0; t < 4; ++t) {
        const bool lit = phases[t][pb.row] >> pb.bit & 1;
        if (lit && static_cast<int32_t>(t) != v) ADD_FAILURE() << "LED " << i << " relit at " << k;
        v += lit;
      }
      s.intensity[i - 1] = v;
    }
    // Bits no LED is wired to: PORTB 7..5 and 0, PORTA 7..4.
    for (const auto& phase : phases) {
      EXPECT_EQ(phase[1] & 0xE1, 0) << "position " << k;
      EXPECT_EQ(phase[2] & 0xF0, 0) << "position " << k;
    }
  }
  EXPECT_EQ(at, lines.size()) << "lines after the last position";
  return shown;
}

// What ReadFragment must find for a picture.
void ExpectShows(const Picture& picture, const std::map<int32_t, Shown>& shown) {
  for (int32_t k = 1; k <= static_cast<int32_t>(picture.size()); ++k) {
    const Position& want = picture[k - 1];
    bool has[5] = {};
    for (int32_t v : want) has[v] = true;
    const auto it = shown.find(k);
    if (!has[1] && !has[2] && !has[3] && !has[4]) {
      EXPECT_EQ(it, shown.end()) << "dark position " << k << " has a display block";
      continue;
    }
    ASSERT_NE(it, shown.end()) << "lit position " << k << " has no display block";
    EXPECT_EQ(it->second.intensity, want) << "position " << k;
    EXPECT_EQ(it->second.images, 1 + has[1] + has[2] + has[3]) << "position " << k;
    EXPECT_EQ(it->second.ledsuit, has[4]) << "position " << k;
  }
}

TEST_F(MaakTextTest, WorkedExampleByteForByte) {
  Picture picture(2);
  picture[0][0] = 1;
  picture[0][8] = 2;
  picture[0][12] = 3;
  picture[0][23] = 4;
  State s;
  const std::string bytes = Write(picture, &s);
  const std::string golden = ReadFile(LEDWHEEL_TESTDATA "/worked_example_im.txt");
  ASSERT_EQ(SplitCrLf(golden).size(), 63u);
  EXPECT_EQ(bytes, golden);
  // The flags are left as the last position (editor position 1) set them.
  EXPECT_FALSE(s.wheel->nul);
  EXPECT_TRUE(s.wheel->een && s.wheel->twee && s.wheel->drie && s.wheel->vier);
  EXPECT_EQ(s.matrix->nullen, 10);
}

TEST_F(MaakTextTest, RandomPicturesReadBackExactly) {
  std::mt19937 rng(2024);
  for (int32_t n : {1, 2, 3, 17, 255, 256, 300, 500}) {
    for (double dark : {0.0, 0.3, 1.0}) {
      const Picture picture = testing::RandomPicture(rng, n, dark);
      const std::string bytes = Write(picture);
      // The writer's text in memory has the file's bytes.
      EXPECT_EQ(ImText(Load(picture).wheel->led, n), bytes) << "N " << n;
      const std::vector<std::string> lines = SplitCrLf(bytes);
      ASSERT_FALSE(lines.empty());
      EXPECT_EQ(lines.back(), "__GOTO_BEGIN");
      ExpectShows(picture, ReadFragment(lines, n));
      ASSERT_FALSE(HasFailure()) << "N " << n << " dark share " << dark;
    }
  }
}

std::vector<std::string> Image(const char* d, const char* b, const char* a, const char* c) {
  return {std::string("__MOVLW_B'") + d + "'", "__MOVWF_PORTD",
          std::string("__MOVLW_B'") + b + "'", "__MOVWF_PORTB",
          std::string("__MOVLW_B'") + a + "'", "__MOVWF_PORTA",
          std::string("__MOVLW_B'") + c + "'", "__MOVWF_PORTC"};
}

// One position with LEDs 1, 10, 16 and 20 (one on each port) at one intensity.
TEST_F(MaakTextTest, PhaseStructureOfOnePositionPerIntensity) {
  const std::vector<std::string> dispatch = {"__MOVLW_D'1'__;# positions",
                                             "__MOVWF_HOEKTELLER",
                                             "BEGIN",
                                             "__MOVLW_D'2'",
                                             "__MOVWF_HOEKVERANDERD",
                                             "hoek1",
                                             "__MOVF_HOEKVERANDERD,0",
                                             "__MOVWF_TEST",
                                             "__DECFSZ_TEST,1",
                                             "__GOTO_hoek1",
                                             "__MOVF_HOEKTELLER,0",
                                             "__SUBLW_D'2'",
                                             "__MOVWF_TEST",
                                             "__DECFSZ_TEST,1",
                                             "__GOTO_BEGIN"};
  const std::vector<std::string> lit = Image("00000001", "00000010", "00001000", "00001000");
  const std::vector<std::string> off = Image("00000000", "00000000", "00000000", "00000000");
  const std::vector<std::string> start = {"__GOTO_UPDATE1", "UPDATE1", "__BCF_STATUS,RP0",
                                          "__BCF_STATUS,RP1"};
  auto cat = [](std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
  };
  const std::vector<std::string> d2 = {"__CALL_DELAY2"}, d3 = {"__CALL_DELAY3"},
                                 d4 = {"__CALL_DELAY4"}, suit = {"__CALL_LEDSUIT"},
                                 begin = {"__GOTO_BEGIN"};
  const std::vector<std::string> blocks[5] = {
      begin,
      cat({start, lit, off, d2, d3, d4, begin}),
      cat({start, lit, d2, off, d3, d4, begin}),
      cat({start, lit, d2, d3, off, d4, begin}),
      cat({start, lit, d2, d3, d4, suit, begin}),
  };
  for (int32_t v = 0; v <= 4; ++v) {
    Picture picture(1);
    for (int32_t led : {1, 10, 16, 20}) picture[0][led - 1] = v;
    State s;
    const std::vector<std::string> lines = SplitCrLf(Write(picture, &s));
    EXPECT_EQ(lines, cat({dispatch, blocks[v]})) << "intensity " << v;
    EXPECT_EQ(s.wheel->nul, v == 0);
    EXPECT_EQ(s.wheel->een, v == 1);
    EXPECT_EQ(s.wheel->twee, v == 2);
    EXPECT_EQ(s.wheel->drie, v == 3);
    EXPECT_EQ(s.wheel->vier, v == 4);
    EXPECT_EQ(s.matrix->nullen, 4 * v);
  }
}

TEST_F(MaakTextTest, LargePositionCountsAreWrittenInFull) {
  Picture picture(300);
  picture[299][5] = 2;  // position 300 lit, listed first
  const std::vector<std::string> lines = SplitCrLf(Write(picture));
  ASSERT_GT(lines.size(), 12u);
  EXPECT_EQ(lines[0], "__MOVLW_D'300'__;# positions");
  EXPECT_EQ(lines[5], "hoek300");
  EXPECT_EQ(lines[9], "__GOTO_hoek300");
  EXPECT_EQ(lines[11], "__SUBLW_D'301'");
  EXPECT_EQ(lines[14], "__GOTO_hoek299");
  EXPECT_EQ(lines[15], "__GOTO_UPDATE300");
  ExpectShows(picture, ReadFragment(lines, 300));
  // The only blank in the file is the one in the comment.
  size_t blanks = 0;
  for (const std::string& line : lines) blanks += std::count(line.begin(), line.end(), ' ');
  EXPECT_EQ(blanks, 1u);
}

TEST_F(MaakTextTest, PreviousFileIsReplacedCompletely) {
  testing_support::WriteFile(dir_.File("IM.txt"),
                             std::string(100000, 'x') + "\r\n__GOTO_hoek7\r\n");
  Picture picture(2);
  picture[0][0] = 1;
  picture[0][8] = 2;
  picture[0][12] = 3;
  picture[0][23] = 4;
  EXPECT_EQ(Write(picture), ReadFile(LEDWHEEL_TESTDATA "/worked_example_im.txt"));
}

using MaakTextDeathTest = MaakTextTest;

TEST_F(MaakTextDeathTest, PositionCountOutsideTheModelStopsBeforeTheFileIsTouched) {
  for (int32_t n : {0, 501}) {
    State s;
    s.wheel->aantal_hoeken = n;
    EXPECT_DEATH(MaakText(*s.wheel, *s.matrix), "kMaxPositions") << "N " << n;
    EXPECT_FALSE(testing_support::FileExists(dir_.File("IM.txt")));
  }
}

}  // namespace
}  // namespace imtxt
