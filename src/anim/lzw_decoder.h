#pragma once
// Variable-length-code LZW decoding of GIF image data, read from the data sub-blocks that
// follow an image descriptor. Every read is bounded by the data given; a corrupt code stream
// ends decoding (corrupt()) instead of looping or overrunning.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace qv::anim {

// Concatenated contents of the data sub-blocks starting at `pos` in `data`; advances `pos`.
class SubBlockReader {
public:
  SubBlockReader(std::span<const std::uint8_t> data, std::size_t& pos) : data_(data), pos_(pos) {}

  // The next data byte, or -1 at the end of data: after the zero-length sub-block, or where
  // the stream itself ends (it never delivers a sub-block twice).
  int next() {
    if (remaining_ > 0) {
      --remaining_;
      return data_[pos_++];
    }
    return nextBlock();
  }
  // Adds data bytes to `acc` above its `bits` valid bits until it holds at least `need`
  // (at most 32); false at the end of data. Takes four bytes at a time inside a sub-block.
  bool fill(std::uint64_t& acc, int& bits, int need) {
    while (bits < need) {
      if (remaining_ >= 4) {
        const std::uint8_t* p = data_.data() + pos_;
        const std::uint32_t word = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                                   (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
        acc |= static_cast<std::uint64_t>(word) << bits;
        bits += 32;
        pos_ += 4;
        remaining_ -= 4;
      } else {
        const int byte = next();
        if (byte < 0) return false;
        acc |= static_cast<std::uint64_t>(byte) << bits;
        bits += 8;
      }
    }
    return true;
  }
  // Skips the rest of the sub-blocks up to and including the zero-length one.
  void skipRest();
  bool atEnd() const { return ended_; }

private:
  int nextBlock();
  std::span<const std::uint8_t> data_;
  std::size_t& pos_;
  std::size_t remaining_ = 0;
  bool ended_ = false;
};

class LzwDecoder {
public:
  static constexpr int kMaxCodeSize = 11;  // larger minimum code sizes do not fit the tables

  // Decodes `size` pixels in the order the data holds them (low 8 bits of each value) into a
  // buffer of its own (see pixels()). With `mask` (`size` bytes), also writes 1 there for
  // every pixel whose value equals `transparentIndex`, else 0. `minCodeSize` must be
  // 0..kMaxCodeSize.
  LzwDecoder(SubBlockReader& in, int minCodeSize, std::size_t size, std::uint8_t* mask,
             std::uint16_t transparentIndex);

  // The pixels decoded so far.
  std::span<const std::uint8_t> pixels() const { return {work_.get() + kLead, written_}; }

  // Decodes until at least `upTo` (at most `size`) pixels are written or the data has ended
  // (end code, end of data, or corrupt data). Returns the number of pixels written so far.
  std::size_t decodeTo(std::size_t upTo);
  bool ended() const { return done_; }

  // Reads past the rest of the image data, up to and including its terminator.
  void finish();
  // A prefix chain did not reach a root code within the table's 4096 entries.
  bool corrupt() const { return corrupt_; }

private:
  enum class State { Start, AfterClear, Running };
  template <bool WithMask>
  std::size_t decodeImpl(std::size_t upTo);
  void resetTables();

  SubBlockReader& in_;
  int minCodeSize_;
  int clear_, end_;
  // The work buffer: the 256 root values (so that a root is a string like any other), then
  // the output, then room for copies that write a little past a string's end.
  static constexpr std::size_t kLead = 256 + 16;
  static constexpr std::size_t kSlack = 16;
  std::unique_ptr<std::uint8_t[]> work_;
  std::uint8_t* mask_;
  std::uint16_t transparentIndex_;
  std::size_t size_;
  std::size_t written_ = 0;
  int next_ = 0, limit_ = 0, width_ = 0;
  int prev_ = 0, first_ = 0;
  std::size_t prevAt_ = 0, prevLength_ = 0;  // where the previous string was written, its length
  State state_ = State::Start;
  // The table is well formed: every entry extends an earlier string by one root value below
  // 256. Then each entry's string already stands in the work buffer (at at_, length_ long) and is
  // copied from there. Corrupt codes (or roots above 255) turn this off until the next clear
  // code, and strings are then built through the prefix chains.
  bool consistent_ = true;
  bool done_ = false;
  bool corrupt_ = false;
  std::uint64_t acc_ = 0;
  int bits_ = 0;
  std::array<std::uint16_t, 4096> prefix_{};
  std::array<std::uint16_t, 4096> suffix_{};
  std::array<std::uint16_t, 4096> stack_{};
  std::array<std::uint32_t, 4096> at_{};
  std::array<std::uint16_t, 4096> length_{};
};

}  // namespace qv::anim
