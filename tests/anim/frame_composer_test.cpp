#include "anim/frame_composer.h"

#include <gtest/gtest.h>

#include "anim/gif_decoder.h"
#include "support/gif_encoder.h"

namespace qv::anim {
namespace {

const std::vector<Rgb> kPalette = {{200, 0, 0}, {0, 200, 0}, {0, 0, 200}, {90, 90, 90}};

// The composed picture as text, one string per row: '.' transparent, 'k' opaque black,
// '0'..'3' an opaque palette colour, '?' anything else.
std::vector<std::string> render(const Composition& c) {
  std::vector<std::string> rows;
  for (int y = 0; y < c.Composite.height; ++y) {
    std::string row;
    for (int x = 0; x < c.Composite.width; ++x) {
      if (c.hasMask() && c.CompositeMask.at(x, y)) {
        row += c.Composite.at(x, y) == kOpaqueBlack ? '.' : '?';  // transparent areas stay black
        continue;
      }
      char ch = c.Composite.at(x, y) == kOpaqueBlack ? 'k' : '?';
      for (std::size_t i = 0; i < kPalette.size(); ++i) {
        if (c.Composite.at(x, y) == toPixel(kPalette[i])) ch = static_cast<char>('0' + i);
      }
      row += ch;
    }
    rows.push_back(row);
  }
  return rows;
}

using Rows = std::vector<std::string>;
using test::imageLayout;

// Three frames: a transparent full-size one, a transparent 2 x 2 one with the given
// disposal, and an opaque single pixel. Index 0 is transparent where frames say so.
std::vector<std::uint8_t> animation(int secondDisposal) {
  return GifWriter()
      .screen(4, 3, kPalette)
      .control(1, 10, std::uint8_t{0})
      .image(imageLayout(0, 0, 4, 3, {1, 1, 0, 0, 1, 0, 2, 0, 0, 0, 0, 3}))
      .control(secondDisposal, 10, std::uint8_t{0})
      .image(imageLayout(1, 0, 2, 2, {3, 0, 0, 2}))
      .control(1, 10)
      .image(imageLayout(0, 2, 1, 1, {2}))
      .trailer()
      .take();
}

TEST(FrameComposer, TransparentAnimationWithEachDisposal) {
  const Rows afterFirst = {"11..", "1.2.", "...3"};
  const Rows afterSecond = {"13..", "1.2.", "...3"};
  struct Case {
    int disposal;
    Rows afterDispose;
  };
  const Case cases[] = {
      {0, afterSecond},                     // undefined: left as it is
      {1, afterSecond},                     // do nothing
      {2, {"1...", "1...", "...3"}},        // to background: transparent and black
      {3, afterFirst},                      // to previous: what lay there before
      {6, {"1...", "1...", "...3"}},        // 4..7 count as to background
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.disposal);
    GifDecoder gif;
    ASSERT_TRUE(gif.LoadFromBytes(animation(c.disposal)));
    ASSERT_TRUE(gif.AnyTransparent());
    Composition picture = makeComposition(gif.ImageWidth(), gif.ImageHeight(), gif.AnyTransparent());
    EXPECT_EQ(render(picture), (Rows{"....", "....", "...."}));
    ASSERT_TRUE(drawFrame(gif, picture, 1));
    EXPECT_EQ(render(picture), afterFirst);
    ASSERT_TRUE(drawFrame(gif, picture, 2));
    EXPECT_EQ(render(picture), afterSecond);
    ASSERT_TRUE(disposeFrame(gif, picture, 2));
    EXPECT_EQ(render(picture), c.afterDispose);
    // The opaque frame makes its pixel opaque whatever lay under it.
    ASSERT_TRUE(drawFrame(gif, picture, 3));
    Rows afterThird = c.afterDispose;
    afterThird[2][0] = '2';
    EXPECT_EQ(render(picture), afterThird);
  }
}

TEST(FrameComposer, ToPreviousRestoresAcrossTheWholeLoop) {
  // Drawing frame 2 again after it was put back must save the picture of that moment.
  GifDecoder gif;
  ASSERT_TRUE(gif.LoadFromBytes(animation(3)));
  Composition picture = makeComposition(gif.ImageWidth(), gif.ImageHeight(), true);
  for (int pass = 0; pass < 2; ++pass) {
    for (int n = 1; n <= 3; ++n) {
      ASSERT_TRUE(drawFrame(gif, picture, n));
      ASSERT_TRUE(disposeFrame(gif, picture, n));
    }
  }
  EXPECT_EQ(render(picture), (Rows{"11..", "1.2.", "2..3"}));
}

TEST(FrameComposer, ToPreviousFrameNeverDrawnLeavesBlack) {
  // Choosing another frame disposes of the one due next, which may not have been drawn yet.
  GifDecoder gif;
  ASSERT_TRUE(gif.LoadFromBytes(animation(3)));
  Composition picture = makeComposition(gif.ImageWidth(), gif.ImageHeight(), true);
  ASSERT_TRUE(drawFrame(gif, picture, 1));
  ASSERT_TRUE(disposeFrame(gif, picture, 2));
  EXPECT_EQ(render(picture), (Rows{"1kk.", "1kk.", "...3"}));
}

TEST(FrameComposer, OpaqueImagesHaveNoMaskAndBlackBackground) {
  GifDecoder gif;
  ASSERT_TRUE(gif.LoadFromBytes(GifWriter()
                                    .screen(3, 2, kPalette)
                                    .control(2, 10)
                                    .image(imageLayout(0, 0, 3, 2, {1, 2, 3, 3, 2, 1}))
                                    .image(imageLayout(2, 1, 1, 1, {0}))
                                    .trailer()
                                    .take()));
  Composition picture = makeComposition(gif.ImageWidth(), gif.ImageHeight(), gif.AnyTransparent());
  EXPECT_FALSE(picture.hasMask());
  ASSERT_TRUE(drawFrame(gif, picture, 1));
  EXPECT_EQ(render(picture), (Rows{"123", "321"}));
  ASSERT_TRUE(disposeFrame(gif, picture, 1));
  EXPECT_EQ(render(picture), (Rows{"kkk", "kkk"}));
  ASSERT_TRUE(drawFrame(gif, picture, 2));
  EXPECT_EQ(render(picture), (Rows{"kkk", "kk0"}));
}

TEST(FrameComposer, FrameNumbersOutOfRangeAndInfoOnly) {
  GifDecoder gif;
  ASSERT_TRUE(gif.LoadFromBytes(animation(2)));
  Composition picture = makeComposition(gif.ImageWidth(), gif.ImageHeight(), true);
  ASSERT_TRUE(drawFrame(gif, picture, 1));
  const Rows before = render(picture);
  for (int n : {0, 4}) {
    gif.SetLastError(TGIFError::geNone);
    EXPECT_FALSE(drawFrame(gif, picture, n));
    EXPECT_EQ(gif.LastError(), TGIFError::geIndexOutOfBounds);
    gif.SetLastError(TGIFError::geNone);
    EXPECT_FALSE(disposeFrame(gif, picture, n));
    EXPECT_EQ(gif.LastError(), TGIFError::geIndexOutOfBounds);
  }
  EXPECT_EQ(render(picture), before);

  ASSERT_TRUE(gif.LoadInfoFromBytes(animation(2)));
  gif.SetLastError(TGIFError::geNone);
  EXPECT_FALSE(drawFrame(gif, picture, 1));
  EXPECT_FALSE(drawFrame(gif, picture, 9));
  EXPECT_EQ(gif.LastError(), TGIFError::geNone);
  EXPECT_EQ(render(picture), before);
}

TEST(FrameComposer, FramesOutsideThePictureAreClipped) {
  // Frames built by hand may lie partly outside a smaller picture; nothing is written there.
  Composition picture = makeComposition(2, 2, true);
  auto palette = std::make_shared<ColorTable>();
  for (std::size_t i = 0; i < kPalette.size(); ++i) (*palette)[i] = kPalette[i];
  TGIFFrame f;
  f.Left = 1;
  f.Top = 1;
  f.Width = 3;
  f.Height = 3;
  f.Palette = palette;
  f.Disposal = TDisposalType::dtToPrevious;
  f.Image = Plane{3, 3, std::vector<std::uint8_t>(9, 2)};
  drawFrameInto(picture, f);
  EXPECT_EQ(render(picture), (Rows{"..", ".2"}));
  disposeFrameFrom(picture, f);
  EXPECT_EQ(render(picture), (Rows{"..", ".."}));
}

}  // namespace
}  // namespace qv::anim
