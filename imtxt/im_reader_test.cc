// Tests of the IM.txt reader: it inverts the writers exactly, in both forms and both line ends,
// and refuses everything else with the line and what was expected there.
#include "imtxt/im_reader.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

#include "imtxt/maak_text.h"
#include "imtxt/test_util.h"
#include "runtime/fio.h"
#include "runtime/io.h"
#include "tests/support/files.h"

namespace imtxt {
namespace {

using testing::Picture;
using testing_support::ReadFile;
using testing_support::TempDir;

std::string ToBlanks(std::string s) {
  for (char& c : s) {
    if (c == '_') c = ' ';
  }
  return s;
}

std::string ToLf(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c != '\r') out += c;
  }
  return out;
}

class ImReaderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    FIO::Start();
    IO::Start();
  }

  // What the writers make of the picture.
  std::string Written(const Picture& picture) {
    auto led = std::make_unique<wheel::LedArray>();
    for (size_t q = 0; q < picture.size(); ++q) {
      for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) {
        (*led)[static_cast<int>(q) + 1][i].toestand = picture[q][i - 1];
      }
    }
    WriteImFile(*led, static_cast<int32_t>(picture.size()), dir_.File("IM.txt"));
    return ReadFile(dir_.File("IM.txt"));
  }

  // Reads text; on success the picture it holds.
  bool Read(const std::string& text, Picture* picture, ImInfo* info, std::string* error) {
    auto led = std::make_unique<wheel::LedArray>();
    if (!ReadIm(text, *led, info, error)) return false;
    picture->assign(static_cast<size_t>(info->positions), {});
    for (int32_t q = 1; q <= info->positions; ++q) {
      for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) {
        (*picture)[static_cast<size_t>(q) - 1][i - 1] = (*led)[q][i].toestand;
      }
    }
    // Rows past the file's positions are cleared, not left from an earlier wheel.
    for (int32_t q = info->positions + 1; q <= wheel::kMaxPositions; ++q) {
      for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) EXPECT_EQ((*led)[q][i].toestand, 0);
    }
    return true;
  }

  // The refusal of text; fails the test if text is read.
  std::string Refusal(const std::string& text) {
    Picture picture;
    ImInfo info;
    std::string error;
    EXPECT_FALSE(Read(text, &picture, &info, &error)) << "read " << info.positions << " positions";
    return error;
  }

  TempDir dir_;
};

TEST_F(ImReaderTest, ReadsBackEveryWrittenWheelInEveryForm) {
  std::mt19937 rng(20261208);
  struct Form {
    const char* name;
    std::string (*apply)(const std::string&);
    ImForm form;
    bool crlf;
  };
  const Form forms[] = {
      {"as written", [](const std::string& s) { return s; }, ImForm::kUnderscores, true},
      {"blanks", [](const std::string& s) { return ToBlanks(s); }, ImForm::kBlanks, true},
      {"LF", [](const std::string& s) { return ToLf(s); }, ImForm::kUnderscores, false},
      {"blanks, LF", [](const std::string& s) { return ToBlanks(ToLf(s)); }, ImForm::kBlanks,
       false},
  };
  for (int32_t n : {1, 2, 255, 256, 500}) {
    // Some dark positions, and positions whose LEDs use only some of the intensities, so that
    // every optional image and LEDSUIT appears and is left out.
    for (double dark : {0.0, 0.3}) {
      Picture picture = testing::RandomPicture(rng, n, dark);
      for (size_t q = 0; q < picture.size(); q += 3) {
        const int32_t only = static_cast<int32_t>(q / 3 % 5);
        for (int32_t& v : picture[q]) v = v == 0 ? 0 : only;
      }
      const std::string text = Written(picture);
      for (const Form& form : forms) {
        SCOPED_TRACE(std::string(form.name) + ", N = " + std::to_string(n));
        Picture back;
        ImInfo info;
        std::string error;
        ASSERT_TRUE(Read(form.apply(text), &back, &info, &error)) << error;
        EXPECT_EQ(info.positions, n);
        EXPECT_EQ(info.form, form.form);
        EXPECT_EQ(info.crlf, form.crlf);
        EXPECT_EQ(back, picture);
      }
    }
  }
}

TEST_F(ImReaderTest, ReadsTheWorkedExample) {
  const std::string text = ReadFile(std::string(LEDWHEEL_TESTDATA) + "/worked_example_im.txt");
  ASSERT_FALSE(text.empty());
  Picture picture;
  ImInfo info;
  std::string error;
  ASSERT_TRUE(Read(text, &picture, &info, &error)) << error;
  Picture expected(2);
  expected[0][0] = 1;
  expected[0][8] = 2;
  expected[0][12] = 3;
  expected[0][23] = 4;
  EXPECT_EQ(picture, expected);
}

// The worked example's lines, for editing one of them.
std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST_F(ImReaderTest, RefusesWhatTheWritersCannotWrite) {
  const std::string good = ReadFile(std::string(LEDWHEEL_TESTDATA) + "/worked_example_im.txt");
  ASSERT_FALSE(good.empty());
  // Line 27 onwards is position 1's display block: images at 27, 35, 44 and 53.
  const std::string image1 =
      "__MOVLW_B'00000001'\r\n__MOVWF_PORTD\r\n__MOVLW_B'00010000'\r\n__MOVWF_PORTB\r\n"
      "__MOVLW_B'00000001'\r\n__MOVWF_PORTA\r\n__MOVLW_B'10000000'\r\n__MOVWF_PORTC\r\n";
  struct Case {
    const char* what;
    std::string text;
    std::string error;  // the whole message, or its start when it ends in "..."
  };
  const Case cases[] = {
      {"empty", "", "line 1: expected \"__MOVLW_D'\", but the file is empty"},
      {"a picture", "\x89PNG\r\n\x1a\n",
       "line 1: expected \"__MOVLW_D'\" and the number of positions"},
      {"501 positions", Replace(good, "D'2'__;#", "D'501'__;#"),
       "line 1: the file names 501 positions; at most 500 are allowed"},
      {"a huge count", Replace(good, "D'2'__;#", "D'99999999999999999999'__;#"),
       "line 1: expected the number of positions, 1 to 500, after \"__MOVLW_D'\""},
      {"no positions", Replace(good, "D'2'__;#", "D'0'__;#"), "line 1: expected the number..."},
      {"a leading zero", Replace(good, "D'2'__;#", "D'02'__;#"), "line 1: expected the number..."},
      {"a count that disagrees with the labels", Replace(good, "D'2'__;#", "D'3'__;#"),
       "line 6: expected \"hoek3\""},
      {"a wrong label", Replace(good, "\nhoek1\r\n", "\nhoek7\r\n"), "line 17: expected \"hoek1\""},
      {"a wrong comparison", Replace(good, "__SUBLW_D'3'", "__SUBLW_D'4'"),
       "line 12: expected \"__SUBLW_D'3'\""},
      {"a blank in the underscore form",
       Replace(good, "__MOVWF_TEST\r\n__DECFSZ_TEST,1\r\n__GOTO_hoek1",
               "__MOVWF TEST\r\n__DECFSZ_TEST,1\r\n__GOTO_hoek1"),
       "line 13: expected \"__MOVWF_TEST\""},
      {"an LF among CR LF", Replace(good, "BEGIN\r\n", "BEGIN\n"),
       "line 3: expected CR LF at the end of the line, as on line 1"},
      {"a CR LF among LF", Replace(ToLf(good), "BEGIN\n", "BEGIN\r\n"),
       "line 3: expected LF alone at the end of the line, as on line 1"},
      {"no final line end", good.substr(0, good.size() - 2),
       "line 63: expected CR LF at the end of the line, as on line 1"},
      {"a missing last line", good.substr(0, good.size() - 14),
       "line 63: expected a further line, but the file ends here"},
      {"an extra line", good + "\r\n",
       "line 64: expected the end of the file after the last \"__GOTO_BEGIN\""},
      {"a dark position without its jump",
       Replace(good, "__GOTO_hoek1\r\n__GOTO_BEGIN\r\n", "__GOTO_hoek1\r\n"),
       "line 16: expected \"__GOTO_BEGIN\" or \"__GOTO_UPDATE2\""},
      {"an image for an unwired bit", Replace(good, "B'00010000'", "B'10010000'"),
       "line 29: expected 0 for PORTB bit 7, which no LED drives"},
      {"an unwired PORTA bit",
       Replace(good, "__MOVLW_B'00000001'\r\n__MOVWF_PORTA",
               "__MOVLW_B'00100001'\r\n__MOVWF_PORTA"),
       "line 31: expected 0 for PORTA bit 5, which no LED drives"},
      {"a short image line", Replace(good, "B'00010000'", "B'0010000'"),
       "line 29: expected \"__MOVLW_B'\" with eight binary digits and \"'\" for PORTB"},
      {"a digit that is not binary", Replace(good, "B'00010000'", "B'00020000'"),
       "line 29: expected \"__MOVLW_B'\" with eight..."},
      {"ports out of order", Replace(good, "__MOVWF_PORTB", "__MOVWF_PORTA"),
       "line 30: expected \"__MOVWF_PORTB\""},
      {"an image that repeats the one before",
       Replace(good, image1 + "__MOVLW_B'00000000'", image1 + "__MOVLW_B'00000001'"),
       "line 35: expected \"__CALL_DELAY2\": this image repeats the one before it"},
      {"an LED that lights up again",
       Replace(good, "__CALL_DELAY2\r\n",
               "__CALL_DELAY2\r\n__MOVLW_B'00000010'\r\n__MOVWF_PORTD\r\n__MOVLW_B'00010000'\r\n"
               "__MOVWF_PORTB\r\n__MOVLW_B'00000001'\r\n__MOVWF_PORTA\r\n__MOVLW_B'10000000'\r\n"
               "__MOVWF_PORTC\r\n"),
       "line 44: expected only LEDs lit in the image before; LED 2 lights up again"},
      {"no LEDSUIT while LEDs are lit", Replace(good, "__CALL_LEDSUIT\r\n", ""),
       "line 62: expected \"__CALL_LEDSUIT\": LEDs are still lit after DELAY4"},
      {"a lit position whose first image is dark",
       Replace(good, image1,
               "__MOVLW_B'00000000'\r\n__MOVWF_PORTD\r\n__MOVLW_B'00000000'\r\n__MOVWF_PORTB\r\n"
               "__MOVLW_B'00000000'\r\n__MOVWF_PORTA\r\n__MOVLW_B'00000000'\r\n__MOVWF_PORTC\r\n"),
       "line 27: expected a lit LED in the first image of a lit position"},
      {"the blank form with an underscore", Replace(ToBlanks(good), "  MOVWF TEST", "__MOVWF_TEST"),
       "line 8: expected \"  MOVWF TEST\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string error = Refusal(c.text);
    const std::string want = c.error;
    if (want.ends_with("...")) {
      EXPECT_EQ(error.substr(0, want.size() - 3), want.substr(0, want.size() - 3));
    } else {
      EXPECT_EQ(error, want);
    }
  }
}

TEST_F(ImReaderTest, RefusesAnLedsuitWhenNothingStaysLit) {
  Picture picture(1);
  picture[0][4] = 3;
  const std::string good = Written(picture);
  EXPECT_EQ(Refusal(Replace(good, "__CALL_DELAY4\r\n", "__CALL_DELAY4\r\n__CALL_LEDSUIT\r\n")),
            "line 39: expected \"__GOTO_BEGIN\": no LED is lit after DELAY4");
}

// Whatever a damaged file reads as, it is never a wrong wheel: a file that is read is exactly
// what the writers make of the wheel read from it.
TEST_F(ImReaderTest, ADamagedFileIsRefusedOrIsExactlyTheWrittenFile) {
  std::mt19937 rng(7);
  const std::string good = Written(testing::RandomPicture(rng, 6, 0.3));
  const std::string alphabet = "01_ \r\n'DUPhoekBEGIN23456789";
  std::uniform_int_distribution<size_t> where(0, good.size() - 1);
  std::uniform_int_distribution<size_t> which(0, alphabet.size() - 1);
  std::uniform_int_distribution<int> how(0, 2);
  int read = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string text = good;
    const size_t at = where(rng);
    switch (how(rng)) {
      case 0:
        text[at] = alphabet[which(rng)];
        break;
      case 1:
        text.erase(at, 1 + at % 3);
        break;
      default:
        text.insert(at, 1, alphabet[which(rng)]);
    }
    Picture picture;
    ImInfo info;
    std::string error;
    if (!Read(text, &picture, &info, &error)) {
      EXPECT_TRUE(error.starts_with("line ")) << error;
      continue;
    }
    ++read;
    std::string again = Written(picture);
    if (!info.crlf) again = ToLf(again);
    if (info.form == ImForm::kBlanks) again = ToBlanks(again);
    ASSERT_EQ(again, text) << "round " << round;
  }
  // Changes that keep a valid file (an image's digit the writer could have written) are read.
  EXPECT_GT(read, 0);
}

}  // namespace
}  // namespace imtxt
