#include "anim/gif_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>

#include "support/gif_encoder.h"
#include "support/private_root.h"

namespace qv::anim {
namespace {

using test::distinctPalette;
using test::imageLayout;
using test::patternPixels;

// One-frame 89a picture of the pattern, width x height, `colours` global colours.
std::vector<std::uint8_t> patternGif(int width, int height, int colours, bool interlaced = false,
                                     std::size_t chunk = 255) {
  GifImageLayout s = imageLayout(0, 0, width, height, patternPixels(width, height, colours));
  s.interlaced = interlaced;
  s.chunk = chunk;
  return GifWriter("GIF89a").screen(width, height, distinctPalette(colours)).image(s).trailer().take();
}

TEST(GifDecoder, DecodesFramesPaletteAndPictureState) {
  const auto palette = distinctPalette(16);
  const auto first = patternPixels(10, 6, 16);
  const auto second = patternPixels(4, 3, 5);
  const auto bytes = GifWriter("GIF89a")
                         .screen(10, 6, palette)
                         .loop(3)
                         .control(1, 25)
                         .image(imageLayout(0, 0, 10, 6, first))
                         .image(imageLayout(2, 1, 4, 3, second))
                         .trailer()
                         .take();
  GifDecoder gif;
  ASSERT_TRUE(gif.LoadFromBytes(bytes));
  EXPECT_EQ(gif.LastError(), TGIFError::geNone);
  EXPECT_FALSE(gif.Empty());
  EXPECT_EQ(gif.Version(), TGIFVersion::gvGIF89a);
  EXPECT_EQ(gif.LoopCount(), 3);
  EXPECT_EQ(gif.ColorBits(), 4);
  ASSERT_EQ(gif.FrameCount(), 2);
  EXPECT_EQ(gif.ImageWidth(), 10);
  EXPECT_EQ(gif.ImageHeight(), 6);
  EXPECT_EQ(gif.DataStream(), bytes);
  EXPECT_EQ(gif.GlobalColorTable()[15], palette[15]);

  const TGIFFrame& f1 = *gif.Frame(1);
  EXPECT_EQ(f1.Image.pixels, first);
  EXPECT_EQ(f1.Delay, 250);
  EXPECT_EQ(f1.Disposal, TDisposalType::dtDoNothing);
  EXPECT_EQ(f1.ColorCount, 16);
  const TGIFFrame& f2 = *gif.Frame(2);
  EXPECT_EQ(f2.Image.pixels, second);
  EXPECT_EQ(f2.Left, 2);
  EXPECT_EQ(f2.Top, 1);
  // The extension applied to frame 1 only.
  EXPECT_EQ(f2.Delay, 0);
  EXPECT_EQ(f2.Disposal, TDisposalType::dtUndefined);
  EXPECT_EQ(f2.Palette.get(), &gif.GlobalColorTable());
}

TEST(GifDecoder, CodesSpanningSubBlocksAndFullTables) {
  // 256 colours over 120 x 90 pixels fill the 4096-code table several times, so the data
  // holds 12-bit codes and clear codes; every sub-block size must give the same pixels.
  const auto expected = patternPixels(120, 90, 256);
  for (std::size_t chunk : {1u, 2u, 3u, 7u, 254u, 255u}) {
    GifDecoder gif;
    ASSERT_TRUE(gif.LoadFromBytes(patternGif(120, 90, 256, false, chunk))) << chunk;
    EXPECT_EQ(gif.Frame(1)->Image.pixels, expected) << "chunk " << chunk;
  }
  // Noise-like content makes long runs of new codes.
  std::vector<std::uint8_t> noise(300 * 200);
  std::uint32_t seed = 12345;
  for (auto& p : noise) {
    seed = seed * 1103515245 + 12345;
    p = static_cast<std::uint8_t>(seed >> 24);
  }
  const auto bytes = GifWriter().screen(300, 200, distinctPalette(256)).image(imageLayout(0, 0, 300, 200, noise)).trailer().take();
  GifDecoder gif;
  ASSERT_TRUE(gif.LoadFromBytes(bytes));
  EXPECT_EQ(gif.Frame(1)->Image.pixels, noise);
}

TEST(GifDecoder, SmallAndLargeMinimumCodeSizes) {
  const auto pixels = patternPixels(9, 7, 2);
  for (int minCode : {2, 3, 8, 11}) {
    GifImageLayout s = imageLayout(0, 0, 9, 7, pixels);
    s.minCodeSize = minCode;
    GifDecoder gif;
    ASSERT_TRUE(gif.LoadFromBytes(GifWriter().screen(9, 7, distinctPalette(2)).image(s).trailer().take())) << minCode;
    EXPECT_EQ(gif.Frame(1)->Image.pixels, pixels) << minCode;
  }
  // 12 and above do not fit the 4096-code tables: a format error of the frame.
  const auto bad = GifWriter()
                       .screen(4, 4, distinctPalette(2))
                       .descriptor(imageLayout(0, 0, 4, 4, {}))
                       .raw({12, 2, 0x00, 0x01, 0})
                       .trailer()
                       .take();
  GifDecoder gif;
  EXPECT_FALSE(gif.LoadFromBytes(bad));
  EXPECT_EQ(gif.LastError(), TGIFError::geFileFormat);
  EXPECT_TRUE(gif.Empty());
  EXPECT_EQ(gif.FrameCount(), 0);
}

TEST(GifDecoder, InterlacedFramesFillEveryRow) {
  for (int height : {1, 2, 3, 4, 5, 8, 9, 17}) {
    GifDecoder gif;
    ASSERT_TRUE(gif.LoadFromBytes(patternGif(5, height, 16, true))) << height;
    EXPECT_TRUE(gif.AnyInterlaced());
    EXPECT_TRUE(gif.Frame(1)->Interlaced);
    EXPECT_EQ(gif.Frame(1)->Image.pixels, patternPixels(5, height, 16)) << "height " << height;
  }
  // Cut short: the rows of the earlier passes are there, the rest stay index 0.
  const auto full = patternGif(4, 9, 16, true);
  const auto expected = patternPixels(4, 9, 16);
  const int decodeOrder[9] = {0, 8, 4, 2, 6, 1, 3, 5, 7};
  for (std::size_t cut = full.size() - 12; cut < full.size() - 2; ++cut) {
    GifDecoder gif;
    ASSERT_TRUE(gif.LoadFromBytes(std::span(full.data(), cut)));
    const Plane& image = gif.Frame(1)->Image;
    bool complete = true;
    for (int row : decodeOrder) {
      const bool matches = std::equal(expected.begin() + row * 4, expected.begin() + row * 4 + 4, image.pixels.begin() + row * 4);
      if (!complete) {
        for (int x = 1; x < 4; ++x) EXPECT_EQ(image.at(x, row), 0) << "cut " << cut << " row " << row;
      }
      complete = complete && matches;
    }
  }
}

TEST(GifDecoder, GraphicControlExtension) {
  // Disposal field 0..7; 4..7 count as "to background".
  const TDisposalType expected[8] = {TDisposalType::dtUndefined,    TDisposalType::dtDoNothing,
                                     TDisposalType::dtToBackground, TDisposalType::dtToPrevious,
                                     TDisposalType::dtToBackground, TDisposalType::dtToBackground,
                                     TDisposalType::dtToBackground, TDisposalType::dtToBackground};
  GifWriter w;
  w.screen(2, 2, distinctPalette(4));
  for (int d = 0; d < 8; ++d) w.control(d, static_cast<std::uint16_t>(d)).image(imageLayout(0, 0, 2, 2, {0, 1, 2, 3}));
  // Two extensions before one image: the later one applies.
  w.control(1, 7, std::uint8_t{3}).control(2, 9).image(imageLayout(0, 0, 2, 2, {0, 1, 2, 3}));
  // An extension after the last image applies to nothing.
  w.control(3, 5, std::uint8_t{1});
  GifDecoder gif;
  ASSERT_TRUE(gif.LoadFromBytes(w.trailer().take()));
  ASSERT_EQ(gif.FrameCount(), 9);
  for (int d = 0; d < 8; ++d) {
    EXPECT_EQ(gif.Frame(d + 1)->Disposal, expected[d]) << d;
    EXPECT_EQ(gif.Frame(d + 1)->Delay, d * 10);
  }
  EXPECT_EQ(gif.Frame(9)->Disposal, TDisposalType::dtToBackground);
  EXPECT_EQ(gif.Frame(9)->Delay, 90);
  EXPECT_FALSE(gif.Frame(9)->Transparent);
  EXPECT_FALSE(gif.AnyTransparent());
}

TEST(GifDecoder, TransparencyOnlyInGif89a) {
  auto make = [](const char* signature) {
    return GifWriter(signature)
        .screen(3, 2, distinctPalette(4))
        .control(0, 0, std::uint8_t{2})
        .image(imageLayout(0, 0, 3, 2, {0, 2, 1, 2, 3, 2}))
        .trailer()
        .take();
  };
  GifDecoder old;
  ASSERT_TRUE(old.LoadFromBytes(make("GIF87a")));
  EXPECT_EQ(old.Version(), TGIFVersion::gvGIF87a);
  EXPECT_FALSE(old.Frame(1)->Transparent);
  EXPECT_TRUE(old.Frame(1)->Mask.empty());
  EXPECT_FALSE(old.AnyTransparent());

  GifDecoder gif;
  ASSERT_TRUE(gif.LoadFromBytes(make("GIF89a")));
  const TGIFFrame& f = *gif.Frame(1);
  EXPECT_TRUE(f.Transparent);
  EXPECT_TRUE(gif.AnyTransparent());
  EXPECT_EQ(f.TransparentIndex, 2);
  EXPECT_EQ(f.TransparentColor, distinctPalette(4)[2]);
  EXPECT_EQ(f.Mask.pixels, (std::vector<std::uint8_t>{0, 1, 0, 1, 0, 1}));
}

TEST(GifDecoder, CommentsJoinAndAttachToTheNextFrame) {
  GifDecoder gif;
  ASSERT_TRUE(gif.LoadFromBytes(GifWriter()
                                    .screen(1, 1, distinctPalette(2))
                                    .comment("first ", 2)
                                    .comment("made in three blocks", 7)
                                    .image(imageLayout(0, 0, 1, 1, {1}))
                                    .image(imageLayout(0, 0, 1, 1, {0}))
                                    .comment("after the end")
                                    .trailer()
                                    .take()));
  ASSERT_EQ(gif.FrameCount(), 2);
  EXPECT_EQ(gif.Frame(1)->Comment, "made in three blocks");  // a later comment replaces the held one
  EXPECT_EQ(gif.Frame(2)->Comment, "");
}

TEST(GifDecoder, LocalTablesAndPictureGrowth) {
  const std::vector<Rgb> local = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
  GifImageLayout s = imageLayout(8, 5, 4, 4, patternPixels(4, 4, 3));
  s.localTable = local;
  GifDecoder gif;
  ASSERT_TRUE(gif.LoadFromBytes(GifWriter()
                                    .screen(6, 6, distinctPalette(2))
                                    .image(imageLayout(0, 0, 2, 2, {0, 1, 1, 0}))
                                    .image(s)
                                    .trailer()
                                    .take()));
  const TGIFFrame& f = *gif.Frame(2);
  EXPECT_TRUE(f.HasLocalColorTable);
  EXPECT_EQ(f.ColorBits, 2);
  EXPECT_EQ(f.ColorCount, 4);
  ASSERT_NE(f.Palette, nullptr);
  EXPECT_NE(f.Palette.get(), &gif.GlobalColorTable());
  EXPECT_EQ((*f.Palette)[2], local[2]);
  EXPECT_EQ((*f.Palette)[3], Rgb{});    // padding entry written as zero
  EXPECT_EQ((*f.Palette)[200], Rgb{});  // beyond the entries read
  EXPECT_EQ(gif.ColorBits(), 2);        // raised from the global table's 1
  EXPECT_EQ(gif.ImageWidth(), 12);
  EXPECT_EQ(gif.ImageHeight(), 9);
}

TEST(GifDecoder, LoopCountFromNetscapeExtension) {
  auto withLoop = [](std::optional<std::uint16_t> count) {
    GifWriter w;
    w.screen(1, 1, distinctPalette(2));
    if (count) w.loop(*count);
    return w.image(imageLayout(0, 0, 1, 1, {0})).trailer().take();
  };
  GifDecoder gif;
  ASSERT_TRUE(gif.LoadFromBytes(withLoop(0)));
  EXPECT_EQ(gif.LoopCount(), 0);
  ASSERT_TRUE(gif.LoadFromBytes(withLoop(513)));
  EXPECT_EQ(gif.LoopCount(), 513);
  ASSERT_TRUE(gif.LoadFromBytes(withLoop(std::nullopt)));
  EXPECT_EQ(gif.LoopCount(), 1);
  // Another application's extension is skipped whole.
  ASSERT_TRUE(gif.LoadFromBytes(GifWriter()
                                    .screen(1, 1, distinctPalette(2))
                                    .raw({0x21, 0xFF, 11, 'X', 'M', 'P', ' ', 'D', 'a', 't', 'a', 'X', 'M', 'P'})
                                    .raw({3, 1, 9, 9, 2, 0x21, 0x3B, 0})
                                    .image(imageLayout(0, 0, 1, 1, {1}))
                                    .trailer()
                                    .take()));
  EXPECT_EQ(gif.LoopCount(), 1);
  EXPECT_EQ(gif.FrameCount(), 1);
}

TEST(GifDecoder, UnknownExtensionsAreSkippedAsSubBlocks) {
  GifDecoder gif;
  ASSERT_TRUE(gif.LoadFromBytes(GifWriter()
                                    .screen(1, 1, distinctPalette(2))
                                    .raw({0x21, 0x99, 0})     // unknown label, no data
                                    .raw({0x00, 0x00})        // stray bytes, scanned two at a time
                                    .raw({0x21, 0x01, 2, 'a', 'b', 1, 'c', 0})  // plain text, skipped
                                    .image(imageLayout(0, 0, 1, 1, {1}))
                                    .trailer()
                                    .take()));
  EXPECT_EQ(gif.FrameCount(), 1);
  EXPECT_EQ(gif.Frame(1)->Image.pixels[0], 1);

  // Data whose length leaves the image descriptor an odd number of bytes after the
  // extension's start, and data bytes that look like blocks.
  for (std::uint8_t label : {0x02, 0x99, 0xFA}) {
    const auto bytes = GifWriter()
                           .screen(2, 1, distinctPalette(4))
                           .raw({0x21, label, 3, 0x2C, 0x3B, 0x21, 2, 0x21, 0xF9, 0})
                           .control(1, 7)
                           .image(imageLayout(0, 0, 2, 1, {3, 2}))
                           .trailer()
                           .take();
    ASSERT_TRUE(gif.LoadFromBytes(bytes)) << int{label};
    ASSERT_EQ(gif.FrameCount(), 1);
    EXPECT_EQ(gif.Frame(1)->Image.pixels, (std::vector<std::uint8_t>{3, 2}));
    EXPECT_EQ(gif.Frame(1)->Delay, 70);  // the control extension after it still applies
  }
}

TEST(GifDecoder, ClearCodeRightAfterAClearClearsAgain) {
  // 2-bit data: clear 4, end 5. Two clears at the start and two in the middle; codes widen
  // to 4 bits when entry 7 is made.
  const std::vector<Code> codes = {{4, 3}, {4, 3}, {1, 3}, {2, 3}, {6, 3}, {4, 4},
                                   {4, 3}, {3, 3}, {3, 3}, {6, 3}, {5, 4}};
  // An end code right after a clear ends the data: nothing more is written.
  const std::vector<Code> ended = {{4, 3}, {1, 3}, {4, 3}, {5, 3}};
  GifDecoder gif;
  ASSERT_TRUE(gif.LoadFromBytes(GifWriter()
                                    .screen(8, 1, distinctPalette(4))
                                    .descriptor(imageLayout(0, 0, 8, 1, {}))
                                    .raw({2})
                                    .raw(subBlocks(packCodes(codes)))
                                    .descriptor(imageLayout(0, 0, 3, 1, {}))
                                    .raw({2})
                                    .raw(subBlocks(packCodes(ended)))
                                    .image(imageLayout(0, 0, 1, 1, {2}))
                                    .trailer()
                                    .take()));
  ASSERT_EQ(gif.FrameCount(), 3);
  EXPECT_EQ(gif.Frame(1)->Image.pixels, (std::vector<std::uint8_t>{1, 2, 1, 2, 3, 3, 3, 3}));
  EXPECT_EQ(gif.Frame(2)->Image.pixels, (std::vector<std::uint8_t>{1, 0, 0}));
  EXPECT_EQ(gif.Frame(3)->Image.pixels[0], 2);
}

TEST(GifDecoder, FrameLimitsAndFirstImageOnly) {
  GifWriter w;
  w.screen(1, 1, distinctPalette(2));
  for (int i = 0; i < 257; ++i) w.image(imageLayout(0, 0, 1, 1, {static_cast<std::uint8_t>(i & 1)}));
  const auto bytes = w.trailer().take();
  GifDecoder gif;
  ASSERT_TRUE(gif.LoadFromBytes(bytes));
  EXPECT_EQ(gif.FrameCount(), 256);
  EXPECT_EQ(gif.Frame(257), nullptr);

  gif.FirstImageOnly = true;
  ASSERT_TRUE(gif.LoadFromBytes(bytes));
  EXPECT_EQ(gif.FrameCount(), 1);
}

TEST(GifDecoder, OversizedFramesAreRefused) {
  // Headers alone may ask for gigabytes: a frame or picture above 8192 x 8192 pixels is a
  // format error, and frames beyond 2^27 pixels in all end the image like the frame limit.
  auto frames = [](int width, int count) {
    GifWriter w;
    w.screen(1, 1, distinctPalette(2));
    for (int i = 0; i < count; ++i) w.descriptor(imageLayout(0, 0, width, 8192, {})).raw({2, 0});
    return w.trailer().take();
  };
  GifDecoder gif;
  ASSERT_TRUE(gif.LoadInfoFromBytes(frames(8192, 3)));
  EXPECT_EQ(gif.FrameCount(), 2);
  EXPECT_EQ(gif.ImageWidth(), 8192);
  EXPECT_FALSE(gif.LoadInfoFromBytes(frames(8193, 1)));
  EXPECT_EQ(gif.LastError(), TGIFError::geFileFormat);
  // A small frame far out makes a picture that is too large.
  EXPECT_FALSE(gif.LoadFromBytes(GifWriter()
                                     .screen(60000, 60000, distinctPalette(2))
                                     .image(imageLayout(0, 0, 1, 1, {0}))
                                     .trailer()
                                     .take()));
  EXPECT_EQ(gif.LastError(), TGIFError::geFileFormat);
}

TEST(GifDecoder, InfoOnlyKeepsGeometryWithoutPixels) {
  GifImageLayout local = imageLayout(1, 2, 3, 2, {0, 1, 2, 0, 1, 2});
  local.localTable = distinctPalette(3);
  const auto bytes = GifWriter()
                         .screen(4, 4, distinctPalette(2))
                         .control(3, 4, std::uint8_t{1})
                         .image(local)
                         .raw({0, 0})  // zero bytes after the data are passed over
                         .image(imageLayout(0, 0, 4, 4, std::vector<std::uint8_t>(16, 1)))
                         .trailer()
                         .take();
  GifDecoder gif;
  ASSERT_TRUE(gif.LoadInfoFromBytes(bytes));
  EXPECT_TRUE(gif.InfoOnly());
  ASSERT_EQ(gif.FrameCount(), 2);
  const TGIFFrame& f = *gif.Frame(1);
  EXPECT_EQ(f.Left, 1);
  EXPECT_EQ(f.Width, 3);
  EXPECT_EQ(f.Delay, 40);
  EXPECT_EQ(f.Disposal, TDisposalType::dtToPrevious);
  EXPECT_TRUE(f.Transparent);
  EXPECT_TRUE(f.Image.empty());
  EXPECT_TRUE(f.SavedImage.empty());
  EXPECT_EQ(f.Palette, nullptr);
  EXPECT_TRUE(gif.Frame(2)->Image.empty());
  TFrameInfo info;
  ASSERT_TRUE(gif.GetFrameInfo(1, info));
  EXPECT_FALSE(info.Bitmap.has_value());

  ASSERT_TRUE(gif.LoadFromBytes(bytes));  // the same data with pixels
  EXPECT_FALSE(gif.InfoOnly());
  EXPECT_EQ(gif.Frame(2)->Image.pixels, std::vector<std::uint8_t>(16, 1));
}

TEST(GifDecoder, FailuresClearTheImage) {
  GifDecoder gif;
  ASSERT_TRUE(gif.LoadFromBytes(patternGif(4, 4, 4)));

  EXPECT_FALSE(gif.LoadFromBytes({}));
  EXPECT_EQ(gif.LastError(), TGIFError::geInternal);
  EXPECT_TRUE(gif.Empty());

  const std::vector<std::uint8_t> notGif = {'g', 'i', 'f', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B};
  EXPECT_FALSE(gif.LoadFromBytes(notGif));
  EXPECT_EQ(gif.LastError(), TGIFError::geFileFormat);

  // A frame of zero width.
  EXPECT_FALSE(gif.LoadFromBytes(
      GifWriter().screen(2, 2, distinctPalette(2)).descriptor(imageLayout(0, 0, 0, 2, {})).raw({2, 0}).trailer().take()));
  EXPECT_EQ(gif.LastError(), TGIFError::geFileFormat);
  EXPECT_EQ(gif.FrameCount(), 0);
  EXPECT_TRUE(gif.DataStream().empty());

  // Data without any image is refused.
  EXPECT_FALSE(gif.LoadFromBytes(GifWriter().screen(2, 2, distinctPalette(2)).comment("none").trailer().take()));
  EXPECT_EQ(gif.LastError(), TGIFError::geFileFormat);
  EXPECT_TRUE(gif.Empty());
}

TEST(GifDecoder, TruncatedDataAtEveryLength) {
  GifImageLayout second = imageLayout(0, 0, 6, 5, patternPixels(6, 5, 4));
  second.chunk = 3;
  const auto bytes = GifWriter()
                         .screen(6, 5, distinctPalette(4))
                         .control(2, 10, std::uint8_t{1})
                         .image(imageLayout(0, 0, 6, 5, patternPixels(6, 5, 4)))
                         .image(second)
                         .trailer()
                         .take();
  const std::size_t headerEnd = 6 + 7 + 12;   // signature, screen, 4-entry table
  const std::size_t firstDescriptor = headerEnd + 8;
  for (std::size_t n = 1; n < bytes.size(); ++n) {
    GifDecoder gif;
    const bool ok = gif.LoadFromBytes(std::span(bytes.data(), n));
    if (n < firstDescriptor + 10) {
      // Ends inside the header, table or first descriptor, or before any image.
      EXPECT_FALSE(ok) << n;
      EXPECT_EQ(gif.LastError(), TGIFError::geFileFormat) << n;
      EXPECT_TRUE(gif.Empty());
    } else if (ok) {
      // Ends inside image data: what was decoded stays, the rest is index 0.
      const auto& pixels = gif.Frame(gif.FrameCount())->Image.pixels;
      const auto full = patternPixels(6, 5, 4);
      std::size_t decoded = 0;
      while (decoded < pixels.size() && pixels[decoded] == full[decoded]) ++decoded;
      for (std::size_t i = decoded; i < pixels.size(); ++i) EXPECT_EQ(pixels[i], 0) << n << " at " << i;
    } else {
      // Ends inside the second frame's descriptor.
      EXPECT_EQ(gif.LastError(), TGIFError::geFileFormat) << n;
    }
  }
}

TEST(GifDecoder, EarlyEndOfImageDataLeavesZeroRows) {
  // An end code after four pixels of a 3 x 3 frame; the next frame still decodes.
  const std::vector<Code> codes = {{4, 3}, {1, 3}, {2, 3}, {3, 3}, {1, 4}, {5, 4}};
  const auto data = packCodes(codes);
  GifDecoder gif;
  ASSERT_TRUE(gif.LoadFromBytes(GifWriter()
                                    .screen(3, 3, distinctPalette(4))
                                    .descriptor(imageLayout(0, 0, 3, 3, {}))
                                    .raw({2})
                                    .raw(subBlocks(data))
                                    .image(imageLayout(0, 0, 1, 1, {3}))
                                    .trailer()
                                    .take()));
  ASSERT_EQ(gif.FrameCount(), 2);
  EXPECT_EQ(gif.Frame(1)->Image.pixels, (std::vector<std::uint8_t>{1, 2, 3, 1, 0, 0, 0, 0, 0}));
  EXPECT_EQ(gif.Frame(2)->Image.pixels[0], 3);

  // Data that stops without a terminator is not read twice: the rest stays 0.
  const auto half = GifWriter()
                        .screen(3, 3, distinctPalette(4))
                        .descriptor(imageLayout(0, 0, 3, 3, {}))
                        .raw({2, static_cast<std::uint8_t>(data.size())})
                        .raw(std::span(data.data(), 2))
                        .take();
  ASSERT_TRUE(gif.LoadFromBytes(half));
  EXPECT_EQ(gif.Frame(1)->Image.pixels[0], 1);
  EXPECT_EQ(gif.Frame(1)->Image.pixels[8], 0);
}

TEST(GifDecoder, CodesBeyondTheTableStandForThePreviousStringPlusItsFirstPixel) {
  // Code 7 arrives while 6 is the next free code; the table built on it still decodes, and
  // after the clear code the data decodes normally again.
  const std::vector<Code> codes = {{4, 3}, {1, 3}, {7, 3}, {6, 3}, {2, 4}, {8, 4},
                                   {4, 4}, {3, 3}, {3, 3}, {6, 3}, {5, 4}};
  GifDecoder gif;
  ASSERT_TRUE(gif.LoadFromBytes(GifWriter()
                                    .screen(13, 1, distinctPalette(4))
                                    .descriptor(imageLayout(0, 0, 13, 1, {}))
                                    .raw({2})
                                    .raw(subBlocks(packCodes(codes)))
                                    .trailer()
                                    .take()));
  EXPECT_EQ(gif.Frame(1)->Image.pixels, (std::vector<std::uint8_t>{1, 1, 1, 1, 1, 2, 1, 1, 2, 3, 3, 3, 3}));
}

TEST(GifDecoder, CorruptCodesDecodeAlikeWhateverEarlierFramesLeftInTheTables) {
  // Code 7 beyond the table, then code 7 again while entry 7 has not been made since the
  // clear: it reads as an empty entry (pixel 0 after root 0), not as what an earlier frame
  // made there.
  const std::vector<Code> codes = {{4, 3}, {1, 3}, {7, 3}, {7, 3}, {6, 4}, {5, 4}};
  const std::vector<std::uint8_t> expected = {1, 1, 1, 0, 0, 1, 1, 1};
  auto gif = [&](bool earlierFrame) {
    GifWriter w;
    w.screen(120, 90, distinctPalette(4));
    if (earlierFrame) w.image(imageLayout(0, 0, 120, 90, patternPixels(120, 90, 4)));  // fills the table
    return w.descriptor(imageLayout(0, 0, 8, 1, {})).raw({2}).raw(subBlocks(packCodes(codes))).trailer().take();
  };
  for (bool earlierFrame : {false, true}) {
    GifDecoder decoder;
    ASSERT_TRUE(decoder.LoadFromBytes(gif(earlierFrame))) << earlierFrame;
    EXPECT_EQ(decoder.Frame(decoder.FrameCount())->Image.pixels, expected) << earlierFrame;
  }
}

TEST(GifDecoder, SelfReferencingCodeChainIsCorruptData) {
  // Code 7 is used before it exists, twice, which makes entry 7 name itself as its prefix;
  // the next 7 would walk that chain for ever.
  const std::vector<Code> codes = {{4, 3}, {0, 3}, {7, 3}, {7, 3}, {7, 4}, {5, 4}};
  GifDecoder gif;
  EXPECT_FALSE(gif.LoadFromBytes(GifWriter()
                                     .screen(10, 10, distinctPalette(4))
                                     .descriptor(imageLayout(0, 0, 10, 10, {}))
                                     .raw({2})
                                     .raw(subBlocks(packCodes(codes)))
                                     .trailer()
                                     .take()));
  EXPECT_EQ(gif.LastError(), TGIFError::geFileFormat);
  EXPECT_TRUE(gif.Empty());
}

TEST(GifDecoder, ProgressReportsAndCancellation) {
  GifImageLayout large = imageLayout(0, 0, 400, 300, patternPixels(400, 300, 8));
  GifDecoder gif;
  std::vector<ProgressReport> reports;
  gif.OnProgress = [&](const ProgressReport& r, bool&) { reports.push_back(r); };
  for (bool interlaced : {true, false}) {
    large.interlaced = interlaced;
    reports.clear();
    ASSERT_TRUE(gif.LoadFromBytes(GifWriter().screen(400, 300, distinctPalette(8)).image(large).trailer().take()));
    EXPECT_EQ(gif.Frame(1)->Image.pixels, large.pixels);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().PercentageProcessed, 100);
    // Rows 0, 32, ..., 288 of the 400-pixel-wide frame report from inside the decoding: 10,
    // plus one before each of the two blocks and one at the end.
    EXPECT_EQ(reports.size(), 13u) << interlaced;
    for (std::size_t i = 1; i < reports.size(); ++i) EXPECT_GE(reports[i].BytesProcessed, reports[i - 1].BytesProcessed);
  }
  const auto bytes = GifWriter().screen(400, 300, distinctPalette(8)).image(large).trailer().take();
  EXPECT_EQ(reports.back().BytesToProcess, static_cast<std::int32_t>(bytes.size()));

  int calls = 0;
  gif.OnProgress = [&](const ProgressReport&, bool& keep) { keep = ++calls < 3; };
  EXPECT_FALSE(gif.LoadFromBytes(bytes));
  EXPECT_EQ(gif.LastError(), TGIFError::geCanceled);
  EXPECT_TRUE(gif.Empty());
  EXPECT_TRUE(gif.KeepOnProcessing());  // the reset of the failed load
  EXPECT_EQ(calls, 3);

  // Small frames are decoded without reports inside them.
  reports.clear();
  gif.OnProgress = [&](const ProgressReport& r, bool&) { reports.push_back(r); };
  ASSERT_TRUE(gif.LoadFromBytes(patternGif(100, 100, 8)));
  EXPECT_EQ(reports.size(), 3u);
}

TEST(GifDecoder, FrameInfo) {
  GifDecoder gif;
  ASSERT_TRUE(gif.LoadFromBytes(GifWriter()
                                    .screen(3, 2, std::vector<Rgb>{{10, 20, 30}, {40, 50, 60}})
                                    .comment("hello")
                                    .control(2, 3, std::uint8_t{1})
                                    .image(imageLayout(0, 0, 3, 2, {0, 1, 0, 1, 0, 1}))
                                    .trailer()
                                    .take()));
  TFrameInfo info;
  info.Comment = "stale";
  for (int n : {0, 2, -1}) {
    EXPECT_FALSE(gif.GetFrameInfo(n, info));
    EXPECT_EQ(gif.LastError(), TGIFError::geIndexOutOfBounds);
    EXPECT_EQ(info.Comment, "");
    EXPECT_FALSE(info.Bitmap.has_value());
  }
  ASSERT_TRUE(gif.GetFrameInfo(1, info));
  EXPECT_EQ(info.Width, 3);
  EXPECT_EQ(info.Delay, 30);
  EXPECT_TRUE(info.Transparent);
  EXPECT_EQ(info.TransparentColor, 0x3C3228u);  // red 40 low, then green 50, then blue 60
  EXPECT_EQ(info.Disposal, TDisposalType::dtToBackground);
  EXPECT_EQ(info.Comment, "hello");
  ASSERT_TRUE(info.Bitmap.has_value());
  EXPECT_EQ(info.Bitmap->Pixels.pixels, gif.Frame(1)->Image.pixels);
  EXPECT_EQ(info.Bitmap->Palette.size(), 2u);
}

TEST(GifDecoder, FileStreamAndResourceLoads) {
  test::PrivateRoot root;
  const auto bytes = patternGif(5, 4, 4);
  const auto file = root.path() / "picture.gif";
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));

  GifDecoder gif;
  ASSERT_TRUE(gif.LoadFromFile(file));
  EXPECT_EQ(gif.Frame(1)->Image.pixels, patternPixels(5, 4, 4));
  ASSERT_TRUE(gif.LoadInfoFromFile(file));
  EXPECT_TRUE(gif.InfoOnly());

  EXPECT_FALSE(gif.LoadFromFile(root.path() / "missing.gif"));
  EXPECT_EQ(gif.LastError(), TGIFError::geFileNotFound);
  // A path that exists but cannot be read as a file: the open error goes to the caller.
  EXPECT_THROW(gif.LoadFromFile(root.path()), std::filesystem::filesystem_error);
  // A named pipe without a writer and an endless device are no files to load, and return at once.
  const auto pipe = root.path() / "pipe.gif";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  for (const std::filesystem::path& notAFile : {pipe, std::filesystem::path("/dev/zero")}) {
    EXPECT_FALSE(gif.LoadFromFile(notAFile)) << notAFile;
    EXPECT_EQ(gif.LastError(), TGIFError::geFileNotFound) << notAFile;
  }

  // Reloading the image's own kept bytes (as the stored form of the control does).
  ASSERT_TRUE(gif.LoadFromBytes(gif.DataStream()));
  EXPECT_EQ(gif.DataStream(), bytes);

  std::istringstream stream(std::string(bytes.begin(), bytes.end()));
  stream.seekg(7);  // loads read the whole stream from its start
  ASSERT_TRUE(gif.LoadFromStream(stream));
  EXPECT_EQ(gif.FrameCount(), 1);
  stream.seekg(0);
  ASSERT_TRUE(gif.LoadInfoFromStream(stream));

  ResourceModule module;
  module.add("GIF", "Hands", bytes);
  module.add("GIF", "#7", bytes);
  ASSERT_TRUE(gif.LoadFromResourceName(module, "hands"));
  EXPECT_EQ(gif.LastError(), TGIFError::geNone);
  ASSERT_TRUE(gif.LoadFromResourceID(module, 7));
  EXPECT_FALSE(gif.LoadFromResourceID(module, 8));
  EXPECT_EQ(gif.LastError(), TGIFError::geResourceNotFound);
  EXPECT_FALSE(gif.LoadFromResourceName(module, "other"));
  EXPECT_EQ(gif.LastError(), TGIFError::geResourceNotFound);

  // A picture padded past the size cap is refused as a bad file, and clears the decoder.
  const auto huge = root.path() / "huge.gif";
  std::filesystem::copy_file(file, huge);
  std::filesystem::resize_file(huge, kMaxGifBytes + 1);
  ASSERT_TRUE(gif.LoadFromFile(file));
  EXPECT_FALSE(gif.LoadFromFile(huge));
  EXPECT_EQ(gif.LastError(), TGIFError::geFileFormat);
  EXPECT_TRUE(gif.Empty());
}

}  // namespace
}  // namespace qv::anim
