#pragma once
// The GIF decoder: reads a GIF87a or GIF89a byte stream into the frames that the animated
// image control composes. The control owns one GifDecoder and reaches its state through it.
// Loads never throw for bad data: they return false and leave LastError; only an existing
// file that cannot be opened raises (std::filesystem::filesystem_error), as an open error
// goes to the caller.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "anim/gif_resources.h"
#include "anim/gif_types.h"

namespace qv::anim {

constexpr int kMaxFrames = 256;
// The largest GIF a load takes, 64 MiB: thousands of times the pictures this program shows,
// yet a bound on what a file or stream can make it hold. Larger data is refused as a bad
// file (geFileFormat), and a file or stream is read no further than one byte past it.
constexpr std::size_t kMaxGifBytes = std::size_t{64} << 20;

struct ProgressReport {
  std::int32_t BytesProcessed = 0;       // read position in the data being parsed
  std::int32_t BytesToProcess = 0;       // size of that data
  std::int32_t PercentageProcessed = 0;  // nearest integer to 100 x position / size
};
// Called synchronously during a load; setting keepOnProcessing false cancels it.
using ProgressHandler = std::function<void(const ProgressReport&, bool& keepOnProcessing)>;

// The whole file's bytes, or its first kMaxGifBytes + 1 when it is larger (which the load
// refuses); std::nullopt when no regular file is there (missing, or a named pipe, a device or
// a socket). A path that exists but cannot be opened or read (a directory, no permission)
// raises std::filesystem::filesystem_error.
std::optional<std::vector<std::uint8_t>> readGifFile(const std::filesystem::path& file);
// The resource of type "GIF" named `name` (looked up in upper case), or nullptr.
const std::vector<std::uint8_t>* findGifResource(const ResourceModule& module, std::string_view name);

class GifDecoder {
public:
  GifDecoder();
  GifDecoder(const GifDecoder&) = delete;
  GifDecoder& operator=(const GifDecoder&) = delete;

  // Loads. True = loaded (LastError geNone); false leaves the decoder reset and LastError set.
  // Data above kMaxGifBytes is refused as a bad file (geFileFormat).
  bool LoadFromFile(const std::filesystem::path& file);
  bool LoadFromStream(std::istream& stream);  // the whole stream, from its start
  bool LoadFromBytes(std::span<const std::uint8_t> bytes);
  bool LoadInfoFromFile(const std::filesystem::path& file);
  bool LoadInfoFromStream(std::istream& stream);
  bool LoadInfoFromBytes(std::span<const std::uint8_t> bytes);
  // Loads bytes read beforehand (readGifFile), which become the kept copy.
  bool LoadFromData(std::vector<std::uint8_t> bytes, bool infoOnly);
  // Resource of type "GIF" named `name` (looked up in upper case) in `module`.
  bool LoadFromResourceName(const ResourceModule& module, std::string_view name);
  // The resource named "#<id>".
  bool LoadFromResourceID(const ResourceModule& module, int id);

  // Clears `info`; fills it from frame `frameNumber` (1..FrameCount) or sets geIndexOutOfBounds.
  bool GetFrameInfo(int frameNumber, TFrameInfo& info);

  // Drops frames and state, as before every parse: Empty, no frames, LoopCount 1, ColorBits 0.
  // The global colour table keeps its entries (a later table may overwrite only some).
  void Reset();

  // Replaces the kept copy of the loaded GIF (the control's stored "Data"), without parsing.
  void SetDataStream(std::vector<std::uint8_t> bytes) { dataStream_ = std::move(bytes); }
  const std::vector<std::uint8_t>& DataStream() const { return dataStream_; }

  // Frame n, 1..FrameCount(); nullptr outside that range.
  TGIFFrame* Frame(int n);
  const TGIFFrame* Frame(int n) const;

  const ColorTable& GlobalColorTable() const { return *globalColorTable_; }
  std::int32_t ColorBits() const { return colorBits_; }
  TGIFVersion Version() const { return version_; }
  std::int32_t LoopCount() const { return loopCount_; }
  std::int32_t FrameCount() const { return static_cast<std::int32_t>(frames_.size()); }
  std::int32_t ImageWidth() const { return imageWidth_; }
  std::int32_t ImageHeight() const { return imageHeight_; }
  bool AnyTransparent() const { return anyTransparent_; }
  bool AnyInterlaced() const { return anyInterlaced_; }
  bool InfoOnly() const { return infoOnly_; }
  bool KeepOnProcessing() const { return keepOnProcessing_; }
  bool Empty() const { return empty_; }
  TGIFError LastError() const { return lastError_; }
  // The control sets geIndexOutOfBounds through this when a frame number is out of range.
  void SetLastError(TGIFError e) { lastError_ = e; }

  // Loads read only the first frame.
  bool FirstImageOnly = false;
  ProgressHandler OnProgress;

private:
  friend class GifParser;
  bool load(std::vector<std::uint8_t> bytes, bool infoOnly);

  std::vector<std::uint8_t> dataStream_;
  std::shared_ptr<ColorTable> globalColorTable_;
  std::vector<std::unique_ptr<TGIFFrame>> frames_;
  std::int32_t colorBits_ = 0;
  TGIFVersion version_ = TGIFVersion::gvGIF87a;
  std::int32_t loopCount_ = 1;
  std::int32_t imageWidth_ = 0;
  std::int32_t imageHeight_ = 0;
  bool anyTransparent_ = false;
  bool anyInterlaced_ = false;
  bool infoOnly_ = false;
  bool keepOnProcessing_ = true;
  bool empty_ = true;
  TGIFError lastError_ = TGIFError::geNone;
};

}  // namespace qv::anim
