// PNG through libspng, read as it is decoded: straight into the picture's buffer, or, for an
// import of a picture finer than it looks, row by row and reduced as the rows come.
#include <spng.h>

#include <exception>
#include <memory>
#include <new>

#include "imaging/decoders.h"

namespace imaging::decoders {
namespace {

struct Closer {
  void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};

// Ancillary chunks (text, colour profiles) the decoder may keep, each and in all; the pixel data
// is not kept but read as it is decoded.
constexpr size_t kMaxCachedChunks = 16'000'000;

// What the decoder's reads go through: the bytes, and what stopped them.
struct Reading {
  PngStream* stream;
  std::exception_ptr thrown;
};

int Read(spng_ctx*, void* user, void* into, size_t length) {
  auto* reading = static_cast<Reading*>(user);
  try {
    const size_t got = reading->stream->Read(static_cast<uint8_t*>(into), length);
    if (reading->stream->checksum_wrong()) return SPNG_IO_ERROR;
    return got == length ? 0 : SPNG_IO_EOF;
  } catch (...) {
    // Nothing may unwind through the library: the exception is thrown again once it returns.
    reading->thrown = std::current_exception();
    return SPNG_IO_ERROR;
  }
}

bool Decode(Reading& reading, const Request& request, Image* out, std::string* error) {
  // The inflated rows' checksum repeats what the chunks' checksums cover.
  const std::unique_ptr<spng_ctx, Closer> ctx(spng_ctx_new(SPNG_CTX_IGNORE_ADLER32));
  if (ctx == nullptr) throw std::bad_alloc();
  auto failed = [&](int code) {
    if (reading.stream->checksum_wrong()) code = SPNG_ECHUNK_CRC;
    *error = Damaged("PNG", spng_strerror(code));
    return false;
  };
  spng_ihdr ihdr{};
  if (int code = spng_set_png_stream(ctx.get(), Read, &reading); code != 0) return failed(code);
  if (int code = spng_set_chunk_limits(ctx.get(), kMaxCachedChunks, kMaxCachedChunks); code != 0) {
    return failed(code);
  }
  // The critical chunks' checksums are checked as they are read (see Read); ancillary chunks
  // with a wrong one are dropped, as by default.
  if (int code = spng_set_crc_action(ctx.get(), SPNG_CRC_USE, SPNG_CRC_DISCARD); code != 0) {
    return failed(code);
  }
  if (int code = spng_get_ihdr(ctx.get(), &ihdr); code != 0) return failed(code);
  const int64_t width = ihdr.width;
  const int64_t height = ihdr.height;
  const int32_t scale = request.import_block;
  // An interlaced picture's rows come pass by pass, so only a whole one can be reduced.
  const bool reduce = scale > 1 && ihdr.interlace_method == 0;
  if (!reduce) {
    size_t size = 0;
    if (int code = spng_decoded_image_size(ctx.get(), SPNG_FMT_RGBA8, &size); code != 0) {
      return failed(code);
    }
    if (!Allocate(width, height, out, error)) return false;
    if (int code = spng_decode_image(ctx.get(), out->rgba.data(), out->rgba.size(), SPNG_FMT_RGBA8,
                                     SPNG_DECODE_TRNS);
        code != 0) {
      return failed(code);
    }
    return true;
  }
  if (int code = spng_decode_image(ctx.get(), nullptr, 0, SPNG_FMT_RGBA8,
                                   SPNG_DECODE_TRNS | SPNG_DECODE_PROGRESSIVE);
      code != 0) {
    return failed(code);
  }
  int64_t y = 0;
  int failure = 0;
  const bool decoded = DecodeReduced(width, height, scale, out, [&](uint8_t* into) {
    const int code = spng_decode_row(ctx.get(), into, static_cast<size_t>(width) * 4);
    if (code != 0 && !(code == SPNG_EOI && y + 1 == height)) {
      failure = code;
      return false;
    }
    ++y;
    return true;
  });
  if (!decoded) return failed(failure);
  return true;
}

}  // namespace

bool PngDecodesAsRead() { return true; }

bool DecodePng(std::span<const uint8_t> bytes, const Request& request, Image* out,
               std::string* error) {
  PngStream stream(bytes);
  return DecodePng(stream, request, out, error);
}

bool DecodePng(PngStream& stream, const Request& request, Image* out, std::string* error) {
  Reading reading{&stream, nullptr};
  const bool decoded = Decode(reading, request, out, error);
  if (reading.thrown) std::rethrow_exception(reading.thrown);
  return decoded;
}

}  // namespace imaging::decoders
