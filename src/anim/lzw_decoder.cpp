#include "anim/lzw_decoder.h"

#include <algorithm>
#include <cstring>

namespace qv::anim {

namespace {

constexpr std::uint16_t kNoString = 0xFFFF;  // length of the clear and end codes' entries

// Each root's value, followed by room for the 16-byte copies that read past a string's end.
constexpr std::array<std::uint8_t, 256 + 16> kRootBytes = [] {
  std::array<std::uint8_t, 256 + 16> bytes{};
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
  return bytes;
}();

// 16 bytes from `src` to `dst` through a register, so that the two may overlap.
inline void copy16(std::uint8_t* dst, const std::uint8_t* src) {
  std::uint8_t chunk[16];
  std::memcpy(chunk, src, 16);
  std::memcpy(dst, chunk, 16);
}

// Writes the first min(n, room) pixels of the n-pixel string at `src` to `dst`; returns how
// many. The string ends either before `dst` or, for the entry not yet made, one pixel into
// `dst` itself (its last pixel is its first).
std::size_t copyString(std::uint8_t* dst, const std::uint8_t* src, std::size_t n, std::size_t room) {
  if (n > 16 && n + 16 <= room) {
    // The source starts at least 16 bytes before `dst`, so every 16-byte step reads only
    // bytes already in place; the last step writes up to 15 bytes past the string.
    for (std::size_t i = 0; i < n; i += 16) copy16(dst + i, src + i);
    return n;
  }
  const std::size_t m = std::min(n, room);
  std::memcpy(dst, src, std::min(m, n - 1));
  if (m == n) dst[n - 1] = src[n - 1];
  return m;
}

}  // namespace

void LzwDecoder::start(std::span<const std::uint8_t> data, std::size_t& pos, int minCodeSize, std::uint8_t* out,
                       std::size_t size) {
  data_ = data;
  pos_ = &pos;
  blockLeft_ = 0;
  blocksEnded_ = false;
  codeBits_ = 0;
  bitPos_ = 0;
  out_ = out;
  size_ = size;
  k_ = 0;
  minCodeSize_ = std::clamp(minCodeSize, 0, kMaxCodeSize);
  clear_ = 1 << minCodeSize_;
  end_ = clear_ + 1;
  needFirst_ = true;
  loose_ = false;
  done_ = false;
  corrupt_ = false;
  resetCounters();
  // Only the roots and the clear and end codes are read before the codes of this frame make
  // an entry; entries are never written below clear + 2, so they stay set for the next frame
  // with the same clear code.
  if (rootsFor_ != clear_) {
    for (int i = 0; i < clear_; ++i) {
      at_[static_cast<std::size_t>(i)] = kRootBytes.data() + (i & 0xFF);
      length_[static_cast<std::size_t>(i)] = 1;
    }
    for (int i : {clear_, end_}) {
      at_[static_cast<std::size_t>(i)] = kRootBytes.data();
      length_[static_cast<std::size_t>(i)] = kNoString;
    }
    rootsFor_ = clear_;
  }
}

bool LzwDecoder::refill() {
  const std::size_t from = bitPos_ >> 3;
  const std::size_t kept = codeBits_ / 8 - from;  // at most the bytes of one partial code
  std::memmove(chunk_.data(), chunk_.data() + from, kept);
  bitPos_ &= 7;
  std::size_t filled = kept;
  std::size_t& pos = *pos_;
  while (filled < kChunk && !blocksEnded_) {
    if (blockLeft_ == 0) {
      const std::size_t length = pos < data_.size() ? data_[pos++] : 0;
      if (length == 0) {
        blocksEnded_ = true;  // the terminator, or the stream ends inside the image data
        break;
      }
      blockLeft_ = std::min(length, data_.size() - pos);
      continue;
    }
    const std::size_t n = std::min(blockLeft_, kChunk - filled);
    std::memcpy(chunk_.data() + filled, data_.data() + pos, n);
    filled += n;
    pos += n;
    blockLeft_ -= n;
  }
  std::memset(chunk_.data() + filled, 0, kPadding);
  codeBits_ = filled * 8;
  return filled > kept;
}

void LzwDecoder::finish() {
  std::size_t& pos = *pos_;
  pos += blockLeft_;
  blockLeft_ = 0;
  while (!blocksEnded_) {
    const std::size_t length = pos < data_.size() ? data_[pos++] : 0;
    if (length == 0) break;
    pos += std::min(length, data_.size() - pos);
  }
  blocksEnded_ = true;
}

void LzwDecoder::resetCounters() {
  width_ = minCodeSize_ + 1;
  limit_ = 2 * clear_;
  next_ = clear_ + 2;
}

int LzwDecoder::readCode() {
  while (bitPos_ + static_cast<std::size_t>(width_) > codeBits_) {
    if (!refill()) return -1;  // a partial code at the end of data is no code
  }
  const std::uint8_t* p = chunk_.data() + (bitPos_ >> 3);
  const std::uint32_t word = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                             (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
  const int code = static_cast<int>((word >> (bitPos_ & 7)) & ((1u << width_) - 1));
  bitPos_ += static_cast<std::size_t>(width_);
  return code;
}

std::size_t LzwDecoder::decodeTo(std::size_t upTo) {
  upTo = std::min(upTo, size_);
  while (k_ < upTo && !done_) {
    if (needFirst_) {
      firstCode();
    } else if (loose_) {
      looseCode();
    } else {
      run(upTo);
    }
  }
  return k_;
}

// The first code of the data, or the one after a clear code, is a pixel as it stands and makes
// no entry; a clear code there clears again and an end code ends the data.
void LzwDecoder::firstCode() {
  for (;;) {
    const int code = readCode();
    if (code < 0 || code == end_) {
      done_ = true;
      return;
    }
    if (code == clear_) continue;  // the counters are still as the last clear left them
    needFirst_ = false;
    out_[k_] = static_cast<std::uint8_t>(code);
    if (code < clear_) {
      loose_ = false;
      at_[static_cast<std::size_t>(next_)] = out_ + k_;
      length_[static_cast<std::size_t>(next_)] = 2;
    } else {
      // A pixel value that is no root: the entries built on it are found through their chains.
      loose_ = true;
      firstLoose_ = next_;
      prev_ = code;
      first_ = static_cast<std::uint8_t>(code);
    }
    ++k_;
    return;
  }
}

// Decodes well-formed data: every code names an entry made so far or the one being made, so
// every string is copied from where it was written before. A code beyond that stands for the
// previous string plus its first pixel, like the entry being made, but the entries built on
// it name a code that does not exist yet; from there until the next clear code, strings are
// found through prefix chains (looseCode()).
void LzwDecoder::run(std::size_t upTo) {
  // The state lives in locals for the loop (byte stores through the output could alias
  // members and would force reloads) and is written back on every way out.
  const std::uint8_t* const codes = chunk_.data();
  std::size_t codeBits = codeBits_;
  std::size_t bitPos = bitPos_;
  std::uint8_t* const out = out_;
  const std::size_t size = size_;
  std::size_t k = k_;
  int next = next_, limit = limit_, width = width_;
  std::uint32_t mask = (1u << width) - 1;
  const int clear = clear_;
  const std::size_t fastStop = size >= 16 ? size - 15 : 0;  // below it 16 bytes fit
  const std::uint8_t** const at = at_.data();
  std::uint16_t* const length = length_.data();
  // The entry being made is made; codes widen when the next one needs another bit.
  auto makeEntry = [&] {
    if (next < kTableSize) {
      ++next;
      if (next >= limit && limit < kTableSize) {
        limit *= 2;
        ++width;
        mask = (1u << width) - 1;
      }
    }
  };

  while (k < upTo) {
    if (bitPos + static_cast<std::size_t>(width) > codeBits) {
      bitPos_ = bitPos;
      bool more = true;
      while (more && bitPos_ + static_cast<std::size_t>(width) > codeBits_) more = refill();
      bitPos = bitPos_;
      codeBits = codeBits_;
      if (!more) {
        done_ = true;  // a partial code at the end of data is no code
        break;
      }
    }
    const std::uint8_t* p = codes + (bitPos >> 3);
    const std::uint32_t word = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                               (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    const int code = static_cast<int>((word >> (bitPos & 7)) & mask);
    bitPos += static_cast<std::size_t>(width);

    std::uint8_t* const dst = out + k;
    if (code > next) {
      // Beyond the table: the entry being made, which is then made.
      k += copyString(dst, at[next], length[next], size - k);
      makeEntry();
      loose_ = true;
      prev_ = code;
      first_ = dst[0];
      firstLoose_ = next;
      break;
    }
    const std::uint8_t* const src = at[code];
    std::size_t n = length[code];
    if (n <= 16 && k < fastStop) {
      // Most strings are short: one 16-byte copy; what lands past the string's end is
      // overwritten by the strings that follow. The entry being made ends one pixel into its
      // own copy: that pixel is its first. (Only then is a single pixel written on top, as
      // such a store keeps the next copies from reading these bytes straight from the stores.)
      std::uint8_t chunk[16];
      std::memcpy(chunk, src, 16);
      std::memcpy(dst, chunk, 16);
      if (code == next) dst[n - 1] = chunk[0];
    } else if (code == clear) {
      next = clear + 2;
      width = minCodeSize_ + 1;
      limit = 2 * clear;
      needFirst_ = true;
      break;
    } else if (code == clear + 1) {
      done_ = true;  // the end code
      break;
    } else {
      n = copyString(dst, src, n, size - k);  // long, or cut at the end of the output
    }
    makeEntry();
    // The next entry is this string plus the pixel that follows it.
    at[next] = dst;
    length[next] = static_cast<std::uint16_t>(n + 1);
    k += n;
  }
  bitPos_ = bitPos;
  k_ = k;
  next_ = next;
  limit_ = limit;
  width_ = width;
}

// One code while loose: strings are built on the stack through prefix chains, as entries made
// now may name codes that do not exist yet (an entry that does not exist reads as one 0 pixel
// after root 0). Entries made before, and roots, are copied from where they stand.
void LzwDecoder::looseCode() {
  const int incoming = readCode();
  if (incoming < 0 || incoming == end_) {
    done_ = true;
    return;
  }
  if (incoming == clear_) {
    resetCounters();
    needFirst_ = true;
    loose_ = false;
    return;
  }
  std::uint8_t* const stack = stack_.data();
  constexpr std::size_t kStack = kTableSize;
  std::size_t sp = 0;
  int code = incoming;
  if (code >= next_) {
    stack[sp++] = first_;  // the previous string plus its own first pixel
    code = prev_;
  }
  bool rooted = false;  // the walk reached a root or a string it can copy
  for (;;) {
    if (code < clear_) {
      first_ = static_cast<std::uint8_t>(code);
      stack[sp++] = first_;
      rooted = true;
      break;
    }
    if (code >= next_ || code <= end_) {
      if (sp >= kStack - 1) break;
      stack[sp++] = 0;
      code = 0;
      continue;
    }
    if (code < firstLoose_) {
      const std::size_t n = length_[static_cast<std::size_t>(code)];
      if (sp + n > kStack) break;
      const std::uint8_t* s = at_[static_cast<std::size_t>(code)];
      for (std::size_t i = n; i-- > 0;) stack[sp++] = s[i];
      first_ = s[0];
      rooted = true;
      break;
    }
    if (sp >= kStack - 1) break;
    stack[sp++] = suffix_[static_cast<std::size_t>(code)];
    code = prefix_[static_cast<std::size_t>(code)];
  }
  if (!rooted) {
    // A chain longer than the table can hold never reaches a root: corrupt data.
    corrupt_ = true;
    done_ = true;
    return;
  }
  addLooseEntry();
  prev_ = incoming;
  const std::size_t n = std::min(sp, size_ - k_);
  for (std::size_t i = 0; i < n; ++i) out_[k_ + i] = stack[--sp];
  k_ += n;
}

void LzwDecoder::addLooseEntry() {
  if (next_ >= kTableSize) return;
  prefix_[static_cast<std::size_t>(next_)] = static_cast<std::uint16_t>(prev_);
  suffix_[static_cast<std::size_t>(next_)] = first_;
  ++next_;
  if (next_ >= limit_ && limit_ < kTableSize) {
    limit_ *= 2;
    ++width_;
  }
}

}  // namespace qv::anim
