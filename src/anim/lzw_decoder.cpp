#include "anim/lzw_decoder.h"

#include <algorithm>
#include <cstring>

namespace qv::anim {

int SubBlockReader::nextBlock() {
  while (!ended_) {
    if (pos_ >= data_.size()) {
      ended_ = true;  // the stream ends inside the image data: no terminator to read
      break;
    }
    const std::size_t length = data_[pos_++];
    if (length == 0) {
      ended_ = true;
      break;
    }
    remaining_ = std::min(length, data_.size() - pos_);
    if (remaining_ > 0) {
      --remaining_;
      return data_[pos_++];
    }
  }
  return -1;
}

void SubBlockReader::skipRest() {
  pos_ += remaining_;
  remaining_ = 0;
  while (nextBlock() >= 0) {
    pos_ += remaining_;
    remaining_ = 0;
  }
}

LzwDecoder::LzwDecoder(SubBlockReader& in, int minCodeSize, std::size_t size, std::uint8_t* mask,
                       std::uint16_t transparentIndex)
    : in_(in), minCodeSize_(std::clamp(minCodeSize, 0, kMaxCodeSize)), clear_(1 << minCodeSize_),
      end_(clear_ + 1), work_(new std::uint8_t[kLead + size + kSlack]), mask_(mask),
      transparentIndex_(transparentIndex), size_(size) {
  for (std::size_t i = 0; i < kLead; ++i) work_[i] = static_cast<std::uint8_t>(i);
  resetTables();
}

void LzwDecoder::resetTables() {
  prefix_.fill(0);
  suffix_.fill(0);
  for (int i = 0; i < clear_; ++i) suffix_[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(i);
  // Roots stand at their own value in the lead of the work buffer.
  for (int i = 0; i < clear_ && i < 256; ++i) {
    at_[static_cast<std::size_t>(i)] = static_cast<std::uint32_t>(i);
    length_[static_cast<std::size_t>(i)] = 1;
  }
  width_ = minCodeSize_ + 1;
  limit_ = 2 * clear_;
  next_ = clear_ + 2;
  consistent_ = minCodeSize_ <= 8;
}

std::size_t LzwDecoder::decodeTo(std::size_t upTo) {
  upTo = std::min(upTo, size_);
  return mask_ ? decodeImpl<true>(upTo) : decodeImpl<false>(upTo);
}

template <bool WithMask>
std::size_t LzwDecoder::decodeImpl(std::size_t upTo) {
  // The decoder's state lives in locals for the loop (byte stores through `out` could alias
  // members and would force reloads) and is written back on every way out.
  std::uint64_t acc = acc_;
  int bits = bits_;
  int width = width_;
  int next = next_;
  int limit = limit_;
  int prev = prev_;
  int first = first_;
  std::size_t prevAt = prevAt_;
  std::size_t prevLength = prevLength_;
  bool consistent = consistent_;
  State state = state_;
  std::size_t k = written_;
  const int clear = clear_;
  const int end = end_;
  const std::size_t size = size_;
  std::uint8_t* const work = work_.get();
  std::uint8_t* const out = work + kLead;
  std::uint8_t* const mask = mask_;
  const std::uint16_t transparent = transparentIndex_;
  std::uint16_t* const stack = stack_.data();
  std::uint16_t* const prefix = prefix_.data();
  std::uint16_t* const suffix = suffix_.data();
  std::uint32_t* const at = at_.data();
  std::uint16_t* const length = length_.data();
  auto save = [&] {
    acc_ = acc;
    bits_ = bits;
    width_ = width;
    next_ = next;
    limit_ = limit;
    prev_ = prev;
    first_ = first;
    prevAt_ = prevAt;
    prevLength_ = prevLength;
    consistent_ = consistent;
    state_ = state;
    written_ = k;
  };
  auto markMask = [&](std::size_t from, std::size_t n) {
    if constexpr (WithMask) {
      for (std::size_t i = from; i < from + n; ++i) mask[i] = out[i] == transparent ? 1 : 0;
    }
  };
  // Strings built through the stack come out last pixel first; whatever does not fit the
  // output any more is dropped.
  auto popStack = [&](std::size_t sp) {
    const std::size_t n = std::min(sp, size - k);
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint16_t v = stack[--sp];
      out[k + i] = static_cast<std::uint8_t>(v);
      if constexpr (WithMask) mask[k + i] = v == transparent ? 1 : 0;
    }
    k += n;
  };
  // Each decoded string makes the next table entry: the previous string plus its first pixel,
  // which stands in the output right where the previous string was written.
  auto addEntry = [&] {
    if (next < 4096) {
      prefix[next] = static_cast<std::uint16_t>(prev);
      suffix[next] = static_cast<std::uint16_t>(first);
      at[next] = static_cast<std::uint32_t>(kLead + prevAt);
      length[next] = static_cast<std::uint16_t>(std::min<std::size_t>(prevLength + 1, 4096));
      ++next;
      if (next >= limit && limit < 4096) {
        limit *= 2;
        ++width;
      }
    }
  };

  while (k < upTo && !done_) {
    if (bits < width && !in_.fill(acc, bits, width)) {
      done_ = true;  // a partial code at the end of data is no code
      break;
    }
    int code = static_cast<int>(acc & ((1u << width) - 1));
    acc >>= width;
    bits -= width;

    if (state != State::Running) {
      // The first code of the data and the code after a clear are pixels as they stand, but
      // a clear code there clears again (the tables are still as a clear left them) and an
      // end code ends the data.
      if (code == clear) continue;
      if (code == end) {
        in_.skipRest();
        done_ = true;
        break;
      }
      state = State::Running;
      if (code >= clear) consistent = false;  // a pixel value that is no root
      prev = first = code;
      prevAt = k;
      prevLength = 1;
      stack[0] = static_cast<std::uint16_t>(code);
      popStack(1);
      continue;
    }
    if (code == clear) {
      resetTables();
      width = width_;
      next = next_;
      limit = limit_;
      consistent = consistent_;
      state = State::AfterClear;
      continue;
    }
    if (code == end) {
      in_.skipRest();
      done_ = true;
      break;
    }
    if (code > next) consistent = false;  // a code beyond the table: corrupt data
    if (consistent) {
      // Copy the string from where it stands: a root in the lead, any other string where it
      // was written before (the previous string and the pixel after it for the entry not yet
      // in the table). Offsets count from the start of the work buffer.
      const bool extendsPrevious = code == next;
      const std::size_t from = extendsPrevious ? kLead + prevAt : at[code];
      const std::size_t n = extendsPrevious ? prevLength + 1 : length[code];
      const std::size_t to = kLead + k;
      if (n <= size - k && from + n <= to + 1) {
        std::uint8_t* dst = work + to;
        const std::uint8_t* src = work + from;
        if (n <= 16 && from + 16 <= to) {
          // Most strings are short: one fixed-size copy; the bytes written past the string's
          // end (into the slack at worst) are overwritten by the strings that follow.
          std::memcpy(dst, src, 16);
        } else if (from + n <= to) {
          std::memcpy(dst, src, n);
        } else {
          for (std::size_t i = 0; i < n; ++i) dst[i] = src[i];  // overlaps by one pixel
        }
        first = out[k];
        markMask(k, n);
        addEntry();
        prev = code;
        prevAt = k;
        prevLength = n;
        k += n;
        continue;
      }
      // The string runs past the end of the output: built the long way below and cut there.
    }
    const int incoming = code;
    std::size_t sp = 0;
    if (code >= next) {
      // Not in the table yet: the previous string plus its own first pixel.
      stack[sp++] = static_cast<std::uint16_t>(first);
      code = prev;
    }
    while (code >= clear) {
      if (sp >= stack_.size() - 1) {
        // A chain longer than the table can hold never reaches a root: corrupt data.
        corrupt_ = true;
        done_ = true;
        save();
        return k;
      }
      stack[sp++] = suffix[code];
      code = prefix[code];
    }
    first = code;
    stack[sp++] = static_cast<std::uint16_t>(code);
    addEntry();
    prev = incoming;
    prevAt = k;
    prevLength = sp;
    popStack(sp);
  }
  save();
  return k;
}

void LzwDecoder::finish() {
  if (!in_.atEnd()) in_.skipRest();
}

}  // namespace qv::anim
