#include "anim/gif_encoder.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace qv::anim {
namespace {

// Collects codes least significant bit first.
class BitPacker {
public:
  void put(int code, int width) {
    acc_ |= static_cast<std::uint64_t>(code & ((1 << width) - 1)) << bits_;
    bits_ += width;
    while (bits_ >= 8) {
      out_.push_back(static_cast<std::uint8_t>(acc_));
      acc_ >>= 8;
      bits_ -= 8;
    }
  }
  std::vector<std::uint8_t> finish() {
    if (bits_ > 0) out_.push_back(static_cast<std::uint8_t>(acc_));
    acc_ = 0;
    bits_ = 0;
    return std::move(out_);
  }

private:
  std::vector<std::uint8_t> out_;
  std::uint64_t acc_ = 0;
  int bits_ = 0;
};

}  // namespace

int tableBits(std::size_t entries) {
  int bits = 1;
  while (bits < 8 && (std::size_t{1} << bits) < entries) ++bits;
  return bits;
}

std::vector<std::uint8_t> lzwEncode(std::span<const std::uint8_t> pixels, int minCodeSize) {
  if (minCodeSize < 2 || minCodeSize > 11) throw std::invalid_argument("LZW code size out of range");
  const int clear = 1 << minCodeSize;
  const int end = clear + 1;
  // Child lookup: for string code s and next pixel c, the code of s+c (0 = none). Pixel
  // values are below 256 here, so a dense 4096 x 256 table is simplest and fast.
  std::vector<std::uint16_t> child(static_cast<std::size_t>(4096) * 256, 0);
  BitPacker packer;
  int width = minCodeSize + 1;
  int next = clear + 2;
  auto resetTable = [&] {
    std::fill(child.begin(), child.end(), std::uint16_t{0});
    width = minCodeSize + 1;
    next = clear + 2;
  };
  packer.put(clear, width);
  if (!pixels.empty()) {
    int prefix = pixels[0] & (clear - 1);
    for (std::size_t i = 1; i < pixels.size(); ++i) {
      const int c = pixels[i] & (clear - 1);
      std::uint16_t& slot = child[static_cast<std::size_t>(prefix) * 256 + static_cast<std::size_t>(c & 0xFF)];
      if (slot != 0 && c < 256) {
        prefix = slot;
        continue;
      }
      packer.put(prefix, width);
      if (next == 4096) {
        // Table full: start over so the decoder's table stays in step.
        packer.put(clear, width);
        resetTable();
      } else {
        if (c < 256) slot = static_cast<std::uint16_t>(next);
        ++next;
        if (next > (1 << width) && width < 12) ++width;
      }
      prefix = c;
    }
    packer.put(prefix, width);
  }
  packer.put(end, width);
  return packer.finish();
}

std::vector<std::uint8_t> packCodes(std::span<const Code> codes) {
  BitPacker packer;
  for (const Code& c : codes) packer.put(c.value, c.width);
  return packer.finish();
}

std::vector<std::uint8_t> subBlocks(std::span<const std::uint8_t> data, std::size_t chunk, bool terminate) {
  chunk = std::clamp<std::size_t>(chunk, 1, 255);
  std::vector<std::uint8_t> out;
  out.reserve(data.size() + data.size() / chunk + 2);
  for (std::size_t pos = 0; pos < data.size(); pos += chunk) {
    const std::size_t n = std::min(chunk, data.size() - pos);
    out.push_back(static_cast<std::uint8_t>(n));
    out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(pos),
               data.begin() + static_cast<std::ptrdiff_t>(pos + n));
  }
  if (terminate) out.push_back(0);
  return out;
}

std::vector<std::uint8_t> interlaceRows(std::span<const std::uint8_t> pixels, int width, int height) {
  std::vector<std::uint8_t> out;
  out.reserve(pixels.size());
  static constexpr std::array<std::pair<int, int>, 4> kPasses{{{0, 8}, {4, 8}, {2, 4}, {1, 2}}};
  for (auto [first, step] : kPasses) {
    for (int row = first; row < height; row += step) {
      auto begin = pixels.begin() + static_cast<std::ptrdiff_t>(row) * width;
      out.insert(out.end(), begin, begin + width);
    }
  }
  return out;
}

GifWriter::GifWriter(std::string_view signature) {
  out_.assign(signature.begin(), signature.end());
}

void GifWriter::put16(int v) {
  out_.push_back(static_cast<std::uint8_t>(v & 0xFF));
  out_.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

void GifWriter::putTable(std::span<const Rgb> table, int bits) {
  const std::size_t entries = std::size_t{1} << bits;
  for (std::size_t i = 0; i < entries; ++i) {
    const Rgb c = i < table.size() ? table[i] : Rgb{};
    out_.insert(out_.end(), {c.r, c.g, c.b});
  }
}

GifWriter& GifWriter::screen(int width, int height, std::span<const Rgb> globalTable, std::uint8_t background) {
  put16(width);
  put16(height);
  const int bits = tableBits(globalTable.size());
  std::uint8_t packed = 0x70;  // colour resolution 8 bits
  if (!globalTable.empty()) packed |= static_cast<std::uint8_t>(0x80 | (bits - 1));
  out_.push_back(packed);
  out_.push_back(background);
  out_.push_back(0);  // aspect ratio
  if (!globalTable.empty()) putTable(globalTable, bits);
  return *this;
}

GifWriter& GifWriter::loop(std::uint16_t count) {
  raw({0x21, 0xFF, 11});
  const std::string_view id = "NETSCAPE2.0";
  out_.insert(out_.end(), id.begin(), id.end());
  raw({3, 1});
  put16(count);
  out_.push_back(0);
  return *this;
}

GifWriter& GifWriter::comment(std::string_view text, std::size_t chunk) {
  raw({0x21, 0xFE});
  const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto blocks = subBlocks({data, text.size()}, chunk);
  out_.insert(out_.end(), blocks.begin(), blocks.end());
  return *this;
}

GifWriter& GifWriter::control(int disposal, std::uint16_t delay, std::optional<std::uint8_t> transparent) {
  raw({0x21, 0xF9, 4});
  out_.push_back(static_cast<std::uint8_t>(((disposal & 7) << 2) | (transparent ? 1 : 0)));
  put16(delay);
  out_.push_back(transparent.value_or(0));
  out_.push_back(0);
  return *this;
}

GifWriter& GifWriter::descriptor(const GifImageLayout& layout) {
  out_.push_back(0x2C);
  put16(layout.left);
  put16(layout.top);
  put16(layout.width);
  put16(layout.height);
  const int bits = tableBits(layout.localTable.size());
  std::uint8_t packed = 0;
  if (!layout.localTable.empty()) packed |= static_cast<std::uint8_t>(0x80 | (bits - 1));
  if (layout.interlaced) packed |= 0x40;
  out_.push_back(packed);
  if (!layout.localTable.empty()) putTable(layout.localTable, bits);
  return *this;
}

GifWriter& GifWriter::image(const GifImageLayout& layout) {
  descriptor(layout);
  int minCode = layout.minCodeSize;
  if (minCode == 0) {
    std::uint8_t maxValue = 0;
    for (std::uint8_t p : layout.pixels) maxValue = std::max(maxValue, p);
    minCode = std::max(2, tableBits(std::size_t{maxValue} + 1));
  }
  out_.push_back(static_cast<std::uint8_t>(minCode));
  const auto codes = layout.interlaced ? lzwEncode(interlaceRows(layout.pixels, layout.width, layout.height), minCode)
                                       : lzwEncode(layout.pixels, minCode);
  const auto blocks = subBlocks(codes, layout.chunk);
  out_.insert(out_.end(), blocks.begin(), blocks.end());
  return *this;
}

GifWriter& GifWriter::raw(std::span<const std::uint8_t> bytes) {
  out_.insert(out_.end(), bytes.begin(), bytes.end());
  return *this;
}

GifWriter& GifWriter::raw(std::initializer_list<std::uint8_t> bytes) {
  out_.insert(out_.end(), bytes.begin(), bytes.end());
  return *this;
}

GifWriter& GifWriter::trailer() {
  out_.push_back(0x3B);
  return *this;
}

}  // namespace qv::anim
