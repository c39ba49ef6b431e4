// The decoders behind DecodePicture, one a format or library, and what they share. Each sets
// *error to the whole message on failure, as DecodePicture returns it.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "imaging/imaging.h"

namespace imaging::decoders {

// What DecodePicture asks of a decoder, the header read and its size accepted.
struct Request {
  int64_t width = 0;  // as the header says
  int64_t height = 0;
  // The import averages this many pixels across into one (1 when the picture is decoded for
  // anything else): a decoder may reduce the picture by a divisor of it while decoding.
  int32_t import_block = 1;
  // The picture's pixels across a sample spacing of the import (0 when not importing): how
  // coarse the import's own reduction of a reduced decoding comes out.
  double pixels_per_sample = 0;
};

// "damaged picture (FORMAT: reason)", or "damaged picture (FORMAT)" without a reason.
std::string Damaged(const char* format, const std::string& reason);

// The picture's pixels that the first of a line of `size` reduced by `scale` stands for fewer
// of, so that the blocks are laid out from the picture's centre.
int32_t Lead(int64_t size, int32_t scale);

// Refuses, with the limit named, a decoding that would take more than kMaxDecodeBytes.
bool WithinMemory(int64_t width, int64_t height, int64_t bytes, std::string* error);

// Sizes out for width x height pixels of 4 bytes, their content unset. Refuses over the memory
// limit or when the memory cannot be had.
bool Allocate(int64_t width, int64_t height, Image* out, std::string* error);

// The linear light of 8-bit sRGB (0..65535 for 0..1), and back to the nearest 8-bit sRGB value:
// what a reduction while decoding averages in.
uint32_t SrgbToLinear16(uint8_t v);
uint8_t Linear16ToSrgb(uint32_t v);

// Reduces rows of RGBA pixels as they are decoded, by `scale` pixels across and down, averaging
// in linear light weighed by alpha, into out (sized here). The blocks are laid out from the
// picture's centre (see Image), the first and last column and row of them short where the
// picture's size asks.
class RowReducer {
 public:
  RowReducer(int64_t width, int64_t height, int32_t scale, Image* out);
  void AddRow(const uint8_t* rgba);  // the rows in order, top down

 private:
  void Flush();
  int64_t width_;
  int64_t height_;
  int32_t scale_;
  Image* out_;
  int64_t row_ = 0;   // rows added
  int32_t rows_ = 0;  // rows added to the blocks being summed
  // Per reduced column: alpha-weighted light of each channel, and alpha.
  std::vector<uint64_t> sums_;
};

// Reduces a picture decoded row by row, top down, by `scale` (see RowReducer) into out: the
// rows come from decode_row(into), false when decoding failed. Bands of whole blocks of rows are
// decoded into one buffer while a second thread reduces the other, so the reduction costs no
// time where there are two cores. Returns false when decode_row did.
bool DecodeReduced(int64_t width, int64_t height, int32_t scale, Image* out,
                   const std::function<bool(uint8_t* into)>& decode_row);

// Follows a PNG's chunks through its bytes as they come, in pieces of any size, the signature
// first: adds up the lengths of the pixel data's chunks (IDAT) whose headers come before IEND,
// and, when asked to, checks the checksum of each critical chunk (header, palette, pixel data).
class PngChunks {
 public:
  explicit PngChunks(bool check_sums) : check_sums_(check_sums) {}
  void Add(const uint8_t* bytes, size_t n);
  int64_t pixel_data() const { return pixel_data_; }
  // The bytes added up to the end of the first chunk whose checksum is wrong; -1 while none is.
  int64_t first_wrong_end() const { return first_wrong_end_; }

 private:
  enum class Part : uint8_t { kSignature, kHeader, kBody, kChecksum, kEnd };
  void Next();
  bool check_sums_;
  Part part_ = Part::kSignature;
  uint64_t left_ = 8;  // bytes of the part still to come
  uint8_t header_[8] = {};
  int64_t added_ = 0;  // bytes followed (none after IEND)
  int64_t pixel_data_ = 0;
  int64_t first_wrong_end_ = -1;
  bool checking_ = false;  // the chunk's checksum is being worked out
  uint32_t crc_ = 0;
  uint32_t stated_ = 0;  // the checksum the chunk states
};

// A PNG file's bytes in order as a decoder reads them: those in memory, then those that `rest`
// (when given) reads on. A second thread reads ahead of the decoder, a few buffers at most, and
// follows the chunks through the bytes (PngChunks, checksums checked), so that neither costs the
// decoding thread time. Read and the rest: the decoding thread only.
class PngStream {
 public:
  explicit PngStream(std::span<const uint8_t> bytes, PictureInput* rest = nullptr);
  ~PngStream();
  PngStream(const PngStream&) = delete;
  PngStream& operator=(const PngStream&) = delete;

  // Up to n of the next bytes into `into`: how many, fewer than n only at the end. Throws what
  // rest threw when the read comes to where it threw.
  size_t Read(uint8_t* into, size_t n);
  uint64_t taken() const { return taken_; }  // bytes read so far
  // Whether a critical chunk whose checksum is wrong ended within the bytes read so far.
  bool checksum_wrong() const {
    return wrong_end_ >= 0 && taken_ >= static_cast<uint64_t>(wrong_end_);
  }
  // Once Read has come to the end: the pixel data's bytes (see PngChunks).
  int64_t pixel_data() const { return pixel_data_; }

 private:
  struct Piece;
  struct Ahead;  // what the reading thread shares
  Piece Make(uint64_t k);
  void Run();

  // The reading thread's (or, without one, the decoding thread's).
  std::span<const uint8_t> view_;  // in memory, not yet made into pieces
  PictureInput* rest_;
  PngChunks chunks_{true};
  std::unique_ptr<Ahead> ahead_;
  std::thread reader_;
  // The decoding thread's: the piece being read and what it said.
  uint64_t next_ = 0;  // the piece after it
  std::span<const uint8_t> now_;
  bool last_ = false;
  std::exception_ptr thrown_;
  uint64_t taken_ = 0;
  int64_t wrong_end_ = -1;
  int64_t pixel_data_ = 0;
};

// PNG and JPEG: libspng and libjpeg-turbo, or stb where the system has no such libraries.
bool DecodeJpeg(std::span<const uint8_t> bytes, const Request& request, Image* out,
                std::string* error);
bool DecodePng(std::span<const uint8_t> bytes, const Request& request, Image* out,
               std::string* error);
// Whether DecodePng below decodes a PNG as it is read (libspng), rather than reading it whole.
bool PngDecodesAsRead();
// PNG read from `stream` as it is decoded; a critical chunk's wrong checksum is refused as the
// decoder reads it. Passes on what stream throws.
bool DecodePng(PngStream& stream, const Request& request, Image* out, std::string* error);
// Through stb: BMP (uncompressed and bit fields), GIF (the first frame) and TGA, and PNG and
// JPEG where the system has no libraries of them. stb decodes whole pictures into memory of its
// own, some bytes_per_pixel in all with the copy into out.
bool DecodeWithStb(std::span<const uint8_t> bytes, const char* format, int64_t bytes_per_pixel,
                   Image* out, std::string* error);
// One of stb's decoders alone, by format name ("BMP", "GIF", "TGA", and "PNG" and "JPEG" where
// stb decodes them): no other format's is tried, so a failure's reason, StbFailure(), is that
// decoder's own. StbLoad gives RGBA pixels to free with StbFree, or null.
bool StbInfo(const char* format, std::span<const uint8_t> bytes, int* width, int* height);
uint8_t* StbLoad(const char* format, std::span<const uint8_t> bytes, int* width, int* height);
void StbFree(uint8_t* pixels);
const char* StbFailure();

// Run-length encoded BMP of 4 or 8 bits a pixel.
bool DecodeBmpRle(std::span<const uint8_t> bytes, const Request& request, Image* out,
                  std::string* error);

}  // namespace imaging::decoders
