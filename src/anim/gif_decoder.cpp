#include "anim/gif_decoder.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <istream>
#include <iterator>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "anim/lzw_decoder.h"
#include "platform/posix/unique_fd.h"

namespace qv::anim {

namespace {

// A frame or composed picture above this many pixels is refused as a format error: a corrupt
// or hostile header must not make the program allocate gigabytes (8192 x 8192 still loads).
constexpr std::int64_t kMaxPixels = std::int64_t{1} << 26;
// All frames together hold at most this many pixels; a frame that would go beyond ends the
// image there, as the frame count limit does.
constexpr std::int64_t kMaxTotalPixels = std::int64_t{1} << 27;

// Frames above this many pixels report progress while their rows are decoded.
constexpr std::int64_t kRowProgressPixels = 100000;

// Ends a parse at once; the load's guard turns it into a failed load.
struct ParseAbort {};

int u16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }

// Nearest integer to 100 x position / size, halves to even.
std::int32_t percentage(std::int64_t position, std::int64_t size) {
  if (size <= 0) return 0;
  const std::int64_t scaled = 100 * position;
  std::int64_t q = scaled / size;
  const std::int64_t twiceRest = 2 * (scaled % size);
  if (twiceRest > size || (twiceRest == size && (q & 1) != 0)) ++q;
  return static_cast<std::int32_t>(q);
}

std::int32_t clamp32(std::size_t v) {
  return static_cast<std::int32_t>(std::min<std::size_t>(v, 0x7FFFFFFF));
}

}  // namespace

// One parse of the decoder's work data into its frames.
class GifParser {
public:
  GifParser(GifDecoder& owner, std::span<const std::uint8_t> data, bool infoOnly)
      : d_(owner), data_(data), infoOnly_(infoOnly) {}

  bool parse();

private:
  bool readFrame(TGIFFrame& frame);
  bool decodePixels(TGIFFrame& frame);
  void progress();

  std::size_t left() const { return data_.size() - pos_; }
  // Reads up to n bytes; at the end of data it reads fewer and does not fail.
  std::size_t readPlain(std::uint8_t* to, std::size_t n) {
    const std::size_t k = std::min(n, left());
    if (k > 0) std::memcpy(to, data_.data() + pos_, k);
    pos_ += k;
    return k;
  }
  bool readExact(std::uint8_t* to, std::size_t n) { return readPlain(to, n) == n; }
  int readByte() { return pos_ < data_.size() ? data_[pos_++] : -1; }
  void skip(std::size_t n) { pos_ += std::min(n, left()); }
  // Skips data sub-blocks up to and including the zero-length one (or the end of data);
  // returns how many data bytes they held.
  std::size_t skipSubBlocks(int length) {
    std::size_t skipped = 0;
    while (length > 0) {
      const std::size_t n = std::min(static_cast<std::size_t>(length), left());
      pos_ += n;
      skipped += n;
      length = readByte();
    }
    return skipped;
  }
  // The held comment's sub-blocks joined into its text.
  std::string heldCommentText() const;
  void readApplication();
  // Width x height of the image descriptor at the read position (0 when it is cut short).
  std::int64_t peekFramePixels() const {
    if (left() < 10) return 0;
    const std::uint8_t* p = data_.data() + pos_;
    return std::int64_t{u16(p + 5)} * u16(p + 7);
  }

  GifDecoder& d_;
  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
  bool infoOnly_;
  std::array<std::uint8_t, 6> control_{};  // held graphic control extension, after its label
  // The held comment stays in the data, as where its sub-blocks start and how many text bytes
  // they hold: only a frame that takes it gets its text, so a large comment is not copied
  // while it is read, nor at all when another comment replaces it or no image follows.
  std::size_t commentStart_ = 0;
  std::size_t commentSize_ = 0;
  std::int64_t totalPixels_ = 0;
  // Kept from frame to frame: the LZW tables, and the rows of an interlaced frame in the
  // order the data holds them.
  std::unique_ptr<LzwDecoder> lzw_;
  std::unique_ptr<std::uint8_t[]> rows_;  // not zeroed: only decoded pixels are read from it
  std::size_t rowsSize_ = 0;
};

void GifParser::progress() {
  if (!d_.OnProgress) return;
  const ProgressReport report{clamp32(pos_), clamp32(data_.size()),
                              percentage(static_cast<std::int64_t>(pos_), static_cast<std::int64_t>(data_.size()))};
  bool keep = d_.keepOnProcessing_;
  d_.OnProgress(report, keep);
  d_.keepOnProcessing_ = keep;
  if (!keep) {
    d_.lastError_ = TGIFError::geCanceled;
    throw ParseAbort{};
  }
}

void GifParser::readApplication() {
  const int idLength = std::max(readByte(), 0);
  std::array<std::uint8_t, 255> id{};
  const std::size_t idRead = readPlain(id.data(), static_cast<std::size_t>(idLength));
  int length = readByte();
  if (idRead >= 11 && std::memcmp(id.data(), "NETSCAPE", 8) == 0 && std::memcmp(id.data() + 8, "2.0", 3) == 0 &&
      length > 0) {
    std::array<std::uint8_t, 255> block{};  // bytes missing at the end of data count as 0
    readPlain(block.data(), static_cast<std::size_t>(length));
    d_.loopCount_ = u16(block.data() + 1);
    length = readByte();
  }
  skipSubBlocks(length);
}

bool GifParser::parse() {
  d_.lastError_ = TGIFError::geFileFormat;
  d_.Reset();
  // The loaded bytes become the kept copy when the parse ends (the work data is dropped then).
  if (data_.empty()) {
    d_.lastError_ = TGIFError::geInternal;
    return false;
  }

  std::array<std::uint8_t, 6> signature{};
  if (!readExact(signature.data(), signature.size())) return false;
  if (std::memcmp(signature.data(), "GIF", 3) != 0) return false;
  d_.version_ = signature[4] == '9' ? TGIFVersion::gvGIF89a : TGIFVersion::gvGIF87a;

  std::array<std::uint8_t, 7> screen{};
  if (!readExact(screen.data(), screen.size())) return false;
  ColorTable& global = *d_.globalColorTable_;
  if (screen[4] & 0x80) {
    d_.colorBits_ = (screen[4] & 7) + 1;
    std::array<std::uint8_t, 768> bytes{};
    const std::size_t n = std::size_t{3} << d_.colorBits_;
    if (!readExact(bytes.data(), n)) return false;
    for (std::size_t i = 0; i < n / 3; ++i) global[i] = Rgb{bytes[3 * i], bytes[3 * i + 1], bytes[3 * i + 2]};
  } else {
    global.fill(Rgb{});
  }

  while (pos_ < data_.size() && d_.keepOnProcessing_) {
    progress();
    std::array<std::uint8_t, 2> head{};
    const std::size_t got = readPlain(head.data(), head.size());
    if (head[0] == 0x21) {
      switch (head[1]) {
        case 0x01:  // plain text: skipped, nothing is drawn
          skip(static_cast<std::size_t>(std::max(readByte(), 0)));
          skipSubBlocks(readByte());
          break;
        case 0xF9:  // graphic control: the six bytes after the label, whatever the size says
          control_.fill(0);
          readPlain(control_.data(), control_.size());
          break;
        case 0xFE:  // comment: all sub-blocks joined, when a frame takes it
          commentStart_ = pos_;
          commentSize_ = skipSubBlocks(readByte());
          break;
        case 0xFF:
          readApplication();
          break;
        default:  // any other label: its data sub-blocks are skipped, up to the terminator
          skipSubBlocks(readByte());
          break;
      }
    } else if (head[0] == 0x2C) {
      pos_ -= got;
      if (d_.frames_.size() >= static_cast<std::size_t>(kMaxFrames)) break;
      if (totalPixels_ + peekFramePixels() > kMaxTotalPixels) break;
      d_.frames_.push_back(std::make_unique<TGIFFrame>());
      TGIFFrame& frame = *d_.frames_.back();
      if (!readFrame(frame)) {
        pos_ = data_.size();
        progress();
        return false;
      }
      totalPixels_ += std::int64_t{frame.Width} * frame.Height;
      d_.colorBits_ = std::max(d_.colorBits_, frame.ColorBits);
      d_.anyTransparent_ = d_.anyTransparent_ || frame.Transparent;
      d_.anyInterlaced_ = d_.anyInterlaced_ || frame.Interlaced;
      frame.Comment = heldCommentText();
      if (d_.FirstImageOnly) {
        pos_ = data_.size();
        break;
      }
      commentSize_ = 0;
      control_.fill(0);
    } else if (head[0] == 0x3B) {
      break;
    }
    // Any other byte: two bytes are consumed and scanning goes on.
  }
  progress();
  // Data without any image is no picture to show: refused as a format error.
  if (d_.frames_.empty()) return false;

  std::int64_t width = u16(screen.data());
  std::int64_t height = u16(screen.data() + 2);
  for (const auto& frame : d_.frames_) {
    width = std::max<std::int64_t>(width, frame->Left + frame->Width);
    height = std::max<std::int64_t>(height, frame->Top + frame->Height);
  }
  if (width * height > kMaxPixels) return false;
  d_.imageWidth_ = static_cast<std::int32_t>(width);
  d_.imageHeight_ = static_cast<std::int32_t>(height);
  return true;
}

std::string GifParser::heldCommentText() const {
  std::string text;
  text.reserve(commentSize_);
  for (std::size_t at = commentStart_; text.size() < commentSize_;) {
    const std::size_t n = std::min<std::size_t>(data_[at], commentSize_ - text.size());
    text.append(reinterpret_cast<const char*>(data_.data() + at + 1), n);
    at += 1 + n;
  }
  return text;
}

bool GifParser::readFrame(TGIFFrame& frame) {
  d_.lastError_ = TGIFError::geFileFormat;
  std::array<std::uint8_t, 10> desc{};
  if (!readExact(desc.data(), desc.size())) return false;
  if (desc[0] != 0x2C) return false;
  frame.Left = u16(&desc[1]);
  frame.Top = u16(&desc[3]);
  frame.Width = u16(&desc[5]);
  frame.Height = u16(&desc[7]);
  if (frame.Width == 0 || frame.Height == 0) return false;
  if (std::int64_t{frame.Width} * frame.Height > kMaxPixels) return false;
  const std::uint8_t packed = desc[9];

  if (packed & 0x80) {
    frame.HasLocalColorTable = true;
    frame.ColorBits = (packed & 7) + 1;
    const std::size_t n = std::size_t{3} << frame.ColorBits;
    if (infoOnly_) {
      skip(n);
    } else {
      std::array<std::uint8_t, 768> bytes{};
      readPlain(bytes.data(), n);
      auto table = std::make_shared<ColorTable>();
      for (std::size_t i = 0; i < 256; ++i) (*table)[i] = Rgb{bytes[3 * i], bytes[3 * i + 1], bytes[3 * i + 2]};
      frame.Palette = std::move(table);
    }
  } else {
    frame.Palette = d_.globalColorTable_;
    frame.ColorBits = 0;
  }
  frame.Interlaced = (packed & 0x40) != 0;

  static constexpr std::array<TDisposalType, 8> kDisposal{
      TDisposalType::dtUndefined,    TDisposalType::dtDoNothing,    TDisposalType::dtToBackground,
      TDisposalType::dtToPrevious,   TDisposalType::dtToBackground, TDisposalType::dtToBackground,
      TDisposalType::dtToBackground, TDisposalType::dtToBackground};
  frame.Disposal = kDisposal[(control_[1] >> 2) & 7];
  frame.Delay = u16(&control_[2]) * 10;
  frame.Transparent = (control_[1] & 1) != 0 && d_.version_ == TGIFVersion::gvGIF89a;
  frame.TransparentIndex = control_[4];

  if (infoOnly_) {
    skip(1);  // minimum code size
    skipSubBlocks(readByte());
    while (pos_ < data_.size() && data_[pos_] == 0) ++pos_;
    return true;
  }

  // The area under a dtToPrevious frame is kept by the composer when it draws the frame.
  frame.ColorCount = frame.HasLocalColorTable ? 1 << frame.ColorBits : 1 << d_.colorBits_;
  if (!decodePixels(frame)) return false;
  if (frame.Transparent) frame.TransparentColor = (*frame.Palette)[frame.TransparentIndex];
  return true;
}

namespace {

// mask[i] = 1 where pixels[i] is the transparent index, else 0; eight pixels at a time.
void markTransparent(const std::uint8_t* pixels, std::uint8_t* mask, std::size_t n, std::uint8_t transparent) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Fu;
  const std::uint64_t pattern = kOnes * transparent;
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, pixels + i, 8);
    const std::uint64_t x = word ^ pattern;  // zero bytes where the pixel is transparent
    // The top bit of each byte of `nonZero` is set exactly where that byte of x is not zero.
    const std::uint64_t nonZero = ((x & kLow7) + kLow7) | x;
    const std::uint64_t marks = (~nonZero >> 7) & kOnes;
    std::memcpy(mask + i, &marks, 8);
  }
  for (; i < n; ++i) mask[i] = pixels[i] == transparent ? 1 : 0;
}

}  // namespace

bool GifParser::decodePixels(TGIFFrame& frame) {
  const int width = frame.Width;
  const int height = frame.Height;
  const std::size_t rowLength = static_cast<std::size_t>(width);
  const std::size_t total = rowLength * static_cast<std::size_t>(height);
  // Rows that are not decoded keep index 0, and an opaque mask.
  frame.Image = Plane{width, height, std::vector<std::uint8_t>(total)};
  if (frame.Transparent) frame.Mask = Plane{width, height, std::vector<std::uint8_t>(total)};

  const int minCodeSize = readByte();
  if (minCodeSize < 0) return true;  // the data ends here: the frame stays index 0
  if (minCodeSize > LzwDecoder::kMaxCodeSize) return false;

  if (!lzw_) lzw_ = std::make_unique<LzwDecoder>();
  LzwDecoder& lzw = *lzw_;

  // Non-interlaced pixels go straight into the image; interlaced ones are decoded in the
  // order the data holds them and their rows put in place afterwards.
  std::vector<int> rowOrder;  // image row of each decoded row
  std::uint8_t* out = frame.Image.pixels.data();
  if (frame.Interlaced) {
    if (rowsSize_ < total) {
      rows_ = std::make_unique_for_overwrite<std::uint8_t[]>(total);
      rowsSize_ = total;
    }
    out = rows_.get();
    rowOrder.reserve(static_cast<std::size_t>(height));
    static constexpr std::array<std::pair<int, int>, 4> kPasses{{{0, 8}, {4, 8}, {2, 4}, {1, 2}}};
    for (auto [firstRow, step] : kPasses) {
      for (int row = firstRow; row < height; row += step) rowOrder.push_back(row);
    }
  }
  lzw.start(data_, pos_, minCodeSize, out, total);

  const bool rowProgress = d_.OnProgress && std::int64_t{width} * height > kRowProgressPixels;
  if (!rowProgress) {
    lzw.decodeTo(total);
  } else {
    // Reports after completed rows whose image row number is a multiple of 64 (32 for frames
    // wider than 320 pixels).
    const int reportEvery = width <= 320 ? 63 : 31;
    int rowsDone = 0;
    while (rowsDone < height) {
      const std::size_t written = lzw.decodeTo((static_cast<std::size_t>(rowsDone) + 1) * rowLength);
      const int complete = static_cast<int>(written / rowLength);
      for (; rowsDone < complete; ++rowsDone) {
        const int row = frame.Interlaced ? rowOrder[static_cast<std::size_t>(rowsDone)] : rowsDone;
        if ((row & reportEvery) == 0) progress();
      }
      if (lzw.ended()) break;
    }
  }

  lzw.finish();
  const std::size_t decoded = lzw.written();
  std::uint8_t* const image = frame.Image.pixels.data();
  std::uint8_t* const mask = frame.Transparent ? frame.Mask.pixels.data() : nullptr;
  if (!frame.Interlaced) {
    // Copies may have left a few bytes past the last decoded pixel.
    std::memset(image + decoded, 0, std::min<std::size_t>(total - decoded, 16));
    if (mask) markTransparent(image, mask, decoded, frame.TransparentIndex);
  } else {
    for (std::size_t i = 0; i < rowOrder.size() && i * rowLength < decoded; ++i) {
      const std::size_t from = i * rowLength;
      const std::size_t n = std::min(rowLength, decoded - from);
      const std::size_t to = static_cast<std::size_t>(rowOrder[i]) * rowLength;
      std::memcpy(image + to, out + from, n);
      if (mask) markTransparent(image + to, mask + to, n, frame.TransparentIndex);
    }
  }
  return !lzw.corrupt();
}

GifDecoder::GifDecoder() : globalColorTable_(std::make_shared<ColorTable>()) {}

void GifDecoder::Reset() {
  empty_ = true;
  frames_.clear();
  dataStream_.clear();
  loopCount_ = 1;
  keepOnProcessing_ = true;
  colorBits_ = 0;
  anyInterlaced_ = false;
  anyTransparent_ = false;
  imageWidth_ = 0;
  imageHeight_ = 0;
}

bool GifDecoder::load(std::vector<std::uint8_t> work, bool infoOnly) {
  infoOnly_ = infoOnly;
  if (work.size() > kMaxGifBytes) {
    Reset();
    lastError_ = TGIFError::geFileFormat;
    return false;
  }
  bool ok = false;
  try {
    GifParser parser(*this, work, infoOnly);
    ok = parser.parse();
  } catch (...) {
    // Cancellation, and anything else that breaks off a parse, fail the load.
    ok = false;
  }
  if (!ok) {
    Reset();
    return false;
  }
  dataStream_ = std::move(work);
  empty_ = false;
  lastError_ = TGIFError::geNone;
  return true;
}

std::optional<std::vector<std::uint8_t>> readGifFile(const std::filesystem::path& file) {
  auto openError = [&](const char* what, int err) {
    return std::filesystem::filesystem_error(what, file, std::error_code(err ? err : EIO, std::generic_category()));
  };
  // Only a regular file is a picture to load: a named pipe would block the open or the read
  // for ever, and a device could be read until memory runs out. Anything else counts as no
  // file there, and is checked again on what was opened, in case it was replaced meanwhile.
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return std::nullopt;
  if (S_ISDIR(st.st_mode)) throw openError("cannot open the file", EISDIR);
  if (!S_ISREG(st.st_mode)) return std::nullopt;
  platform::UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!fd) throw openError("cannot open the file", errno);
  if (::fstat(fd.get(), &st) != 0) throw openError("cannot open the file", errno);
  if (!S_ISREG(st.st_mode)) return std::nullopt;

  // One byte past the largest GIF is enough for the load to refuse the file.
  constexpr std::size_t kReadLimit = kMaxGifBytes + 1;
  std::vector<std::uint8_t> bytes(std::min(static_cast<std::size_t>(st.st_size), kReadLimit));
  std::size_t got = 0;
  for (;;) {
    if (got == kReadLimit) break;
    if (got == bytes.size()) bytes.resize(std::min(bytes.size() + 65536, kReadLimit));  // the file grew meanwhile
    const ssize_t n = ::read(fd.get(), bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw openError("cannot read the file", errno);
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  bytes.resize(got);
  return bytes;
}

const std::vector<std::uint8_t>* findGifResource(const ResourceModule& module, std::string_view name) {
  return module.find("GIF", upperName(name));
}

namespace {

// The stream from its start, up to one byte past the largest GIF (which the load refuses).
std::vector<std::uint8_t> readWholeStream(std::istream& stream) {
  stream.clear();
  stream.seekg(0, std::ios::beg);
  stream.clear();  // a stream that cannot seek is read from where it stands
  std::vector<std::uint8_t> bytes;
  std::array<char, 65536> chunk{};
  while (bytes.size() <= kMaxGifBytes) {
    stream.read(chunk.data(), static_cast<std::streamsize>(std::min(chunk.size(), kMaxGifBytes + 1 - bytes.size())));
    const auto got = static_cast<std::size_t>(stream.gcount());
    bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got));
    if (got == 0 || !stream) break;
  }
  return bytes;
}

}  // namespace

bool GifDecoder::LoadFromFile(const std::filesystem::path& file) {
  auto bytes = readGifFile(file);
  if (!bytes) {
    lastError_ = TGIFError::geFileNotFound;
    return false;
  }
  return load(std::move(*bytes), false);
}

bool GifDecoder::LoadInfoFromFile(const std::filesystem::path& file) {
  auto bytes = readGifFile(file);
  if (!bytes) {
    lastError_ = TGIFError::geFileNotFound;
    return false;
  }
  return load(std::move(*bytes), true);
}

bool GifDecoder::LoadFromStream(std::istream& stream) { return load(readWholeStream(stream), false); }
bool GifDecoder::LoadInfoFromStream(std::istream& stream) { return load(readWholeStream(stream), true); }

bool GifDecoder::LoadFromBytes(std::span<const std::uint8_t> bytes) {
  return load(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), false);
}

bool GifDecoder::LoadInfoFromBytes(std::span<const std::uint8_t> bytes) {
  return load(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), true);
}

bool GifDecoder::LoadFromData(std::vector<std::uint8_t> bytes, bool infoOnly) {
  return load(std::move(bytes), infoOnly);
}

bool GifDecoder::LoadFromResourceName(const ResourceModule& module, std::string_view name) {
  lastError_ = TGIFError::geResourceNotFound;
  const std::vector<std::uint8_t>* bytes = findGifResource(module, name);
  if (!bytes) return false;
  return load(*bytes, false);
}

bool GifDecoder::LoadFromResourceID(const ResourceModule& module, int id) {
  return LoadFromResourceName(module, "#" + std::to_string(id));
}

TGIFFrame* GifDecoder::Frame(int n) {
  if (n < 1 || n > FrameCount()) return nullptr;
  return frames_[static_cast<std::size_t>(n - 1)].get();
}

const TGIFFrame* GifDecoder::Frame(int n) const {
  if (n < 1 || n > FrameCount()) return nullptr;
  return frames_[static_cast<std::size_t>(n - 1)].get();
}

bool GifDecoder::GetFrameInfo(int frameNumber, TFrameInfo& info) {
  info = TFrameInfo{};
  const TGIFFrame* frame = Frame(frameNumber);
  if (!frame) {
    lastError_ = TGIFError::geIndexOutOfBounds;
    return false;
  }
  if (!infoOnly_) {
    FrameBitmap bitmap;
    bitmap.Pixels = frame->Image;
    if (frame->Palette) {
      const auto count = static_cast<std::size_t>(std::clamp(frame->ColorCount, 0, 256));
      bitmap.Palette.assign(frame->Palette->begin(), frame->Palette->begin() + static_cast<std::ptrdiff_t>(count));
    }
    info.Bitmap = std::move(bitmap);
  }
  info.Left = frame->Left;
  info.Top = frame->Top;
  info.Width = frame->Width;
  info.Height = frame->Height;
  info.Delay = frame->Delay;
  info.Interlaced = frame->Interlaced;
  info.Transparent = frame->Transparent;
  const Rgb c = frame->TransparentColor;
  info.TransparentColor = std::uint32_t{c.r} | (std::uint32_t{c.g} << 8) | (std::uint32_t{c.b} << 16);
  info.Disposal = frame->Disposal;
  info.Comment = frame->Comment;
  return true;
}

}  // namespace qv::anim
