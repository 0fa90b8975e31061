#pragma once
// Variable-length-code LZW decoding of GIF image data. The data sub-blocks are first gathered
// into one run of bytes; codes are then read from it by bit position. Every read and write is
// bounded by the data and the output given; a corrupt code stream ends decoding (corrupt())
// instead of looping or overrunning.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace qv::anim {

// Zero bytes kept readable after the gathered data, so that a code is read with one 4-byte load.
inline constexpr std::size_t kCodePadding = 8;

// Gathers the data sub-blocks starting at `pos` in `data`, up to and including the zero-length
// one (or the end of the stream, which never delivers a sub-block twice), into `into`; advances
// `pos` past them. Returns the number of data bytes; `into` holds kCodePadding zero bytes more.
std::size_t gatherSubBlocks(std::span<const std::uint8_t> data, std::size_t& pos, std::vector<std::uint8_t>& into);

class LzwDecoder {
public:
  static constexpr int kMaxCodeSize = 11;  // larger minimum code sizes do not fit the tables
  static constexpr int kTableSize = 4096;

  // The tables are set up by each frame as far as that frame's codes can read them; one decoder
  // serves every frame of an image.
  LzwDecoder() {}
  LzwDecoder(const LzwDecoder&) = delete;
  LzwDecoder& operator=(const LzwDecoder&) = delete;

  // Starts a frame: `codes` holds `codeBytes` bytes of image data followed by kCodePadding
  // readable bytes; `out` receives `size` pixels (low 8 bits of each value) in the order the data
  // holds them. `minCodeSize` must be 0..kMaxCodeSize.
  void start(const std::uint8_t* codes, std::size_t codeBytes, int minCodeSize, std::uint8_t* out, std::size_t size);

  // Decodes until at least `upTo` (at most `size`) pixels are written or the data has ended
  // (end code, end of data, or corrupt data). Returns the number of pixels written so far.
  // Bytes after that count, up to 15 of them, may hold leftovers of the copies.
  std::size_t decodeTo(std::size_t upTo);
  bool ended() const { return done_; }
  // A prefix chain did not reach a root code within the table's 4096 entries.
  bool corrupt() const { return corrupt_; }
  std::size_t written() const { return k_; }
  // Data bytes that the codes read so far came from.
  std::size_t bytesRead() const;

private:
  int readCode();
  void resetCounters();
  void firstCode();
  void run(std::size_t upTo);
  void looseCode();
  void addLooseEntry();

  const std::uint8_t* codes_ = nullptr;
  std::size_t codeBits_ = 0;
  std::size_t bitPos_ = 0;
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
};

}  // namespace qv::anim
