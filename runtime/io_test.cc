// Tests of the console line buffer and the item rules of IO::RdInt.
#include "runtime/io.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>

#include "runtime/failure.h"

namespace {

// Hands out one chunk per read, the way a console hands out one typed line; counts the reads.
struct Chunks {
  std::deque<std::string> pending;
  int reads = 0;
  int interrupts_first = 0;

  static IO::LineBuffer::Fill Read(void* ctx, char* buf, size_t cap, size_t* got) {
    auto* self = static_cast<Chunks*>(ctx);
    if (self->interrupts_first > 0) {
      --self->interrupts_first;
      return IO::LineBuffer::Fill::kInterrupted;
    }
    ++self->reads;
    if (self->pending.empty()) return IO::LineBuffer::Fill::kEnd;
    std::string& front = self->pending.front();
    const size_t n = std::min(cap, front.size());
    front.copy(buf, n);
    *got = n;
    front.erase(0, n);
    if (front.empty()) self->pending.pop_front();
    return IO::LineBuffer::Fill::kData;
  }
};

struct LineBufferTest : ::testing::Test {
  Chunks chunks;
  IO::LineBuffer in{Chunks::Read, &chunks};
  void Lines(std::initializer_list<std::string> lines) {
    chunks.pending.insert(chunks.pending.end(), lines);
  }
};

TEST_F(LineBufferTest, OneTypedItemPerLine) {
  Lines({"  42  \r\n", "+7\r\n", "-5\r\n", "007\r\n", "-\r\n", "abc\r\n", "12abc\r\n", "0x10\r\n",
         "4294967295\r\n", "2147483648\r\n"});
  for (int32_t want : {42, 7, -5, 7, 0, 0, 12, 0, -1, INT32_MIN}) EXPECT_EQ(in.RdInt(), want);
}

TEST_F(LineBufferTest, TwoItemsOnOneLineNeedOneRead) {
  Lines({"12 34\r\n", "56\r\n"});
  EXPECT_EQ(in.RdInt(), 12);
  EXPECT_EQ(in.RdInt(), 34);
  EXPECT_EQ(chunks.reads, 1);
  EXPECT_EQ(in.RdInt(), 56);
  EXPECT_EQ(chunks.reads, 2);
}

TEST_F(LineBufferTest, CommaDoesNotSeparate) {
  Lines({"12,34\r\n", "9\r\n"});
  EXPECT_EQ(in.RdInt(), 12);
  EXPECT_EQ(in.RdInt(), 9);  // the rest of "12,34" went with the item
}

TEST_F(LineBufferTest, BlankLinesAndSeparatorsOnlyDoNotCount) {
  Lines({"\r\n", " \t \x1a\r\n", "\r\n", "\t8\r\n"});
  EXPECT_EQ(in.RdInt(), 8);
  EXPECT_EQ(chunks.reads, 4);
}

TEST_F(LineBufferTest, TextEndsAtNul) {
  Lines({std::string("5\0 6\r\n", 6), "7\r\n"});
  EXPECT_EQ(in.RdInt(), 5);
  EXPECT_EQ(in.RdInt(), 7);
}

TEST_F(LineBufferTest, LoneCrSeparatesItems) {
  // A lone CR is a separator, and CR LF pairs become one LF.
  Lines({"3\r4\r\n"});
  EXPECT_EQ(in.RdInt(), 3);
  EXPECT_EQ(in.RdInt(), 4);
}

TEST_F(LineBufferTest, ItemNeverContinuesIntoNextRefill) {
  Lines({"12", "34\r\n"});
  EXPECT_EQ(in.RdInt(), 12);
  EXPECT_EQ(in.RdInt(), 34);
}

TEST_F(LineBufferTest, LongLineIsSplitAtTheBufferWithoutOverflow) {
  // 300 digits in one line: the first read takes 256 of them.
  std::string line(255, '1');
  line += "2";
  line += std::string(44, '3');
  line += " 77\r\n";
  Lines({line});
  EXPECT_EQ(in.NextItem(), std::string(255, '1') + "2");
  EXPECT_EQ(in.NextItem(), std::string(44, '3'));
  EXPECT_EQ(in.RdInt(), 77);
}

TEST_F(LineBufferTest, EndOfInputThrowsInsteadOfWaiting) {
  Lines({"1\r\n", "   \r\n"});
  EXPECT_EQ(in.RdInt(), 1);
  EXPECT_THROW(in.RdInt(), rts::InputEnded);
  EXPECT_THROW(in.RdInt(), rts::InputEnded);  // and again, without a hang
}

TEST_F(LineBufferTest, InterruptedReadWithoutBreakReadsAgain) {
  chunks.interrupts_first = 2;
  Lines({"9\r\n"});
  EXPECT_EQ(in.RdInt(), 9);
}

TEST(Separators, ExactlyTheFive) {
  std::string seps;
  for (int c = 0; c < 256; ++c) {
    if (IO::IsSeparator(static_cast<char>(c))) seps += static_cast<char>(c);
  }
  EXPECT_EQ(seps, std::string("\t\n\r\x1a "));
}

}  // namespace
