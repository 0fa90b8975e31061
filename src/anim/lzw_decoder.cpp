#include "anim/lzw_decoder.h"

#include <algorithm>

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

LzwDecoder::LzwDecoder(SubBlockReader& in, int minCodeSize)
    : in_(in), minCodeSize_(std::clamp(minCodeSize, 0, kMaxCodeSize)),
      clear_(1 << minCodeSize_), end_(clear_ + 1) {
  resetTables();
}

void LzwDecoder::resetTables() {
  prefix_.fill(0);
  suffix_.fill(0);
  for (int i = 0; i < clear_; ++i) suffix_[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(i);
  length_.fill(1);
  consistent_ = minCodeSize_ <= 8;
  width_ = minCodeSize_ + 1;
  limit_ = 2 * clear_;
  next_ = clear_ + 2;
  sp_ = 0;
}

std::size_t LzwDecoder::read(std::uint8_t* out, std::uint8_t* mask, std::uint16_t transparentIndex,
                             std::size_t count) {
  return mask ? readImpl<true>(out, mask, transparentIndex, count)
              : readImpl<false>(out, nullptr, transparentIndex, count);
}

template <bool WithMask>
std::size_t LzwDecoder::readImpl(std::uint8_t* out, std::uint8_t* mask, std::uint16_t transparentIndex,
                                 std::size_t count) {
  // The decoder's state lives in locals for the loop (byte stores through `out` could alias
  // members and would force reloads) and is written back on every way out.
  std::uint64_t acc = acc_;
  int bits = bits_;
  int width = width_;
  int next = next_;
  int limit = limit_;
  int prev = prev_;
  int first = first_;
  bool consistent = consistent_;
  State state = state_;
  std::size_t sp = sp_;
  const int clear = clear_;
  const int end = end_;
  std::uint16_t* const stack = stack_.data();
  std::uint16_t* const prefix = prefix_.data();
  std::uint16_t* const suffix = suffix_.data();
  std::uint16_t* const length = length_.data();
  std::size_t k = 0;
  auto save = [&] {
    acc_ = acc;
    bits_ = bits;
    width_ = width;
    next_ = next;
    limit_ = limit;
    prev_ = prev;
    first_ = first;
    consistent_ = consistent;
    state_ = state;
    sp_ = sp;
  };
  // Each decoded string makes the next table entry: the previous string plus its first pixel.
  auto addEntry = [&] {
    if (next < 4096) {
      prefix[next] = static_cast<std::uint16_t>(prev);
      suffix[next] = static_cast<std::uint16_t>(first);
      length[next] = static_cast<std::uint16_t>(std::min(length[prev] + 1, 4096));
      ++next;
      if (next >= limit && limit < 4096) {
        limit *= 2;
        ++width;
      }
    }
  };

  while (k < count) {
    if (sp > 0) {
      // Strings are built last pixel first; hand them out from the top of the stack.
      std::size_t take = std::min(sp, count - k);
      if constexpr (WithMask) {
        for (; take > 0; --take, ++k) {
          const std::uint16_t v = stack[--sp];
          out[k] = static_cast<std::uint8_t>(v);
          mask[k] = v == transparentIndex ? 1 : 0;
        }
      } else {
        for (; take > 0; --take, ++k) out[k] = static_cast<std::uint8_t>(stack[--sp]);
      }
      continue;
    }
    if (done_) break;
    if (bits < width && !in_.fill(acc, bits, width)) {
      done_ = true;  // a partial code at the end of data is no code
      break;
    }
    int code = static_cast<int>(acc & ((1u << width) - 1));
    acc >>= width;
    bits -= width;

    if (state != State::Running) {
      // The first code of the data (leading clear codes skipped) and the code after a clear
      // are pixels as they stand.
      if (state == State::Start && code == clear) continue;
      state = State::Running;
      if (code >= clear) consistent = false;  // a pixel value that is no root
      prev = first = code;
      stack[sp++] = static_cast<std::uint16_t>(code);
      continue;
    }
    if (code == clear) {
      resetTables();
      width = width_;
      next = next_;
      limit = limit_;
      consistent = consistent_;
      sp = 0;
      state = State::AfterClear;
      continue;
    }
    if (code == end) {
      in_.skipRest();
      done_ = true;
      break;
    }
    const int incoming = code;
    if (code > next) consistent = false;  // a code beyond the table: corrupt data
    if (consistent) {
      // Known length: write the string backwards straight into the output when it fits.
      const bool extendsPrevious = code == next;
      const std::size_t n = extendsPrevious ? std::size_t{length[prev]} + 1 : length[code];
      if (n <= count - k) {
        std::uint8_t* p = out + k + n - 1;
        int c = code;
        std::size_t left = n;
        if (extendsPrevious) {
          *p-- = static_cast<std::uint8_t>(first);
          c = prev;
          --left;
        }
        for (; left > 1; --left) {  // counted: never writes before the string's start
          *p-- = static_cast<std::uint8_t>(suffix[c]);
          c = prefix[c];
        }
        *p = static_cast<std::uint8_t>(c);
        first = c;
        if constexpr (WithMask) {
          for (std::size_t i = k; i < k + n; ++i) mask[i] = out[i] == transparentIndex ? 1 : 0;
        }
        k += n;
        addEntry();
        prev = incoming;
        continue;
      }
    }
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
        sp = 0;
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
  }
  save();
  return k;
}

void LzwDecoder::finish() {
  if (!in_.atEnd()) in_.skipRest();
}

}  // namespace qv::anim
