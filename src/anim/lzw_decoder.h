#pragma once
// Variable-length-code LZW decoding of GIF image data. The data sub-blocks are read a few
// kilobytes at a time into one run of bytes, from which codes are read by bit position. Every
// read and write is bounded by the data and the output given; a corrupt code stream ends
// decoding (corrupt()) instead of looping or overrunning.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace qv::anim {

class LzwDecoder {
public:
  static constexpr int kMaxCodeSize = 11;  // larger minimum code sizes do not fit the tables
  static constexpr int kTableSize = 4096;

  // The tables are set up by each frame as far as that frame's codes can read them; one decoder
  // serves every frame of an image.
  LzwDecoder() {}
  LzwDecoder(const LzwDecoder&) = delete;
  LzwDecoder& operator=(const LzwDecoder&) = delete;

  // Starts a frame whose image data sub-blocks begin at `pos` in `data` (`pos` follows the
  // reading); `out` receives `size` pixels (low 8 bits of each value) in the order the data
  // holds them. `minCodeSize` must be 0..kMaxCodeSize.
  void start(std::span<const std::uint8_t> data, std::size_t& pos, int minCodeSize, std::uint8_t* out,
             std::size_t size);

  // Decodes until at least `upTo` (at most `size`) pixels are written or the data has ended
  // (end code, end of data, or corrupt data). Returns the number of pixels written so far.
  // Bytes after that count, up to 15 of them, may hold leftovers of the copies.
  std::size_t decodeTo(std::size_t upTo);
  bool ended() const { return done_; }
  // A prefix chain did not reach a root code within the table's 4096 entries.
  bool corrupt() const { return corrupt_; }
  std::size_t written() const { return k_; }
  // Reads past the rest of the image data, up to and including its terminator.
  void finish();

private:
  static constexpr std::size_t kChunk = 4096;
  static constexpr std::size_t kPadding = 8;  // zero bytes after the chunk: a code is one 4-byte load

  // Moves the unread bytes to the front of the chunk and adds data bytes after them; false
  // when no data bytes are left.
  bool refill();
  int readCode();
  void resetCounters();
  void firstCode();
  void run(std::size_t upTo);
  void looseCode();
  void addLooseEntry();

  std::span<const std::uint8_t> data_;
  std::size_t* pos_ = nullptr;
  std::size_t blockLeft_ = 0;  // bytes of the current sub-block not read yet
  bool blocksEnded_ = false;   // the zero-length sub-block, or the end of the stream, was reached
  std::size_t codeBits_ = 0;   // bits in the chunk
  std::size_t bitPos_ = 0;     // bits of the chunk read
  std::uint8_t* out_ = nullptr;
  std::size_t size_ = 0;
  std::size_t k_ = 0;
  int minCodeSize_ = 0, clear_ = 0, end_ = 0;
  int next_ = 0, limit_ = 0, width_ = 0;
  int rootsFor_ = -1;  // the clear code the roots in the tables were set up for
  // The first code of the data, or the one after a clear code, is still to come.
  bool needFirst_ = true;
  // Strings are found through prefix chains until the next clear code (see run()).
  bool loose_ = false;
  bool done_ = false;
  bool corrupt_ = false;
  int prev_ = 0;            // the code read last, while loose
  std::uint8_t first_ = 0;  // first pixel of the string written last, while loose
  int firstLoose_ = 0;      // entries from here on hold prefix and suffix instead of a place

  // Every string the table knows while the data is well formed stands in the output already:
  // entry i is the `length_[i]` bytes at `at_[i]`. A root stands in a fixed table of its own
  // values. Entry `next_` is kept filled ahead (the string just written and the pixel after it),
  // so the code for the entry not yet made needs no case of its own; slot 4096 takes that
  // entry once the table is full. Clear and end codes have a length no string has.
  std::array<const std::uint8_t*, kTableSize + 1> at_;
  std::array<std::uint16_t, kTableSize + 1> length_;
  // Entries made while loose: the code they extend and the pixel they add.
  std::array<std::uint16_t, kTableSize> prefix_;
  std::array<std::uint8_t, kTableSize> suffix_;
  std::array<std::uint8_t, kTableSize> stack_;
  std::array<std::uint8_t, kChunk + kPadding> chunk_;
};

}  // namespace qv::anim
