#include "anim/qt/gif_image.h"

#include "anim/double_click_animation.h"
#include "anim/frame_composer.h"
#include "anim/gif_encoder.h"

#include <QApplication>
#include <QFrame>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/private_root.h"

namespace qv::anim {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The application lives from the first test to the last and is gone before the program's
// own exit handlers run, which Qt's device objects need.
class QtApplicationEnvironment final : public ::testing::Environment {
public:
  void SetUp() override { application_ = std::make_unique<QApplication>(argc_, argv_); }
  void TearDown() override { application_.reset(); }

private:
  int argc_ = 1;
  char name_[14] = "anim_qt_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> application_;
};
[[maybe_unused]] auto* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

void app() { ASSERT_NE(QApplication::instance(), nullptr); }

const std::vector<Rgb> kTable{{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};

// n frames of w x h, frame k filled with colour 1 + k % 3; with `transparentLeft` the left
// half of frame 1 is transparent (index 0).
Bytes makeGif(int w, int h, int frames, int delay, std::optional<std::uint16_t> loops,
              bool transparentLeft = false) {
  GifWriter gif;
  gif.screen(w, h, kTable);
  if (loops) gif.loop(*loops);
  for (int k = 0; k < frames; ++k) {
    GifImageLayout image;
    image.width = w;
    image.height = h;
    image.pixels.assign(static_cast<std::size_t>(w * h), static_cast<std::uint8_t>(1 + k % 3));
    if (transparentLeft && k == 0)
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w / 2; ++x) image.pixels[static_cast<std::size_t>(y * w + x)] = 0;
    std::optional<std::uint8_t> transparent;
    if (transparentLeft) transparent = 0;
    gif.control(1, static_cast<std::uint16_t>(delay / 10), transparent).image(image);
  }
  gif.trailer();
  return gif.take();
}

// A parent with a known background, holding the control.
struct Panel {
  QWidget parent;
  TGIFImage* image;
  explicit Panel(QColor background = Qt::white, QSize size = {80, 60}) {
    app();
    parent.resize(size);
    QPalette p = parent.palette();
    p.setColor(QPalette::Window, background);
    parent.setPalette(p);
    parent.setAutoFillBackground(true);
    image = new TGIFImage(&parent);  // owned by the parent
    image->setGeometry(0, 0, size.width(), size.height());
  }
  QImage grab() { return parent.grab().toImage(); }
};

class GifImageWidget : public ::testing::Test {
protected:
  void SetUp() override { app(); }
};

TEST_F(GifImageWidget, EmbeddedDoubleClickAnimationIsTheLoopingEightFramePicture) {
  TGIFImage image;
  image.ReadData(doubleClickAnimationData());
  image.Loaded();
  ASSERT_FALSE(image.Empty());
  EXPECT_EQ(image.Version(), TGIFVersion::gvGIF89a);
  EXPECT_EQ(image.ImageWidth(), 78);
  EXPECT_EQ(image.ImageHeight(), 52);
  EXPECT_EQ(image.FrameCount(), 8);
  EXPECT_EQ(image.LoopCount(), 0);
  for (int n = 1; n <= 8; ++n) {
    TFrameInfo info;
    ASSERT_TRUE(image.GetFrameInfo(n, info));
    EXPECT_EQ(info.Delay, 250);
    EXPECT_TRUE(info.Transparent);
    EXPECT_EQ(info.Disposal, TDisposalType::dtDoNothing);
  }
  EXPECT_EQ(image.Palette().size(), 256);
  // Stored again, it is the same Data form.
  const auto stored = image.WriteData();
  const auto embedded = doubleClickAnimationData();
  EXPECT_TRUE(std::equal(stored.begin(), stored.end(), embedded.begin(), embedded.end()));
}

TEST_F(GifImageWidget, EmbeddedAnimationStartsEveryPassClean) {
  GifDecoder gif;
  const auto data = doubleClickAnimationData();
  ASSERT_TRUE(gif.LoadFromBytes(data.subspan(4)));
  EXPECT_EQ(gif.ColorBits(), 6);  // a 64-entry global table
  Composition firstPass = makeComposition(78, 52, true);
  drawFrame(gif, firstPass, 1);
  Composition laterPass = makeComposition(78, 52, true);
  for (int n = 1; n <= 8; ++n) drawFrame(gif, laterPass, n);
  drawFrame(gif, laterPass, 1);
  EXPECT_EQ(laterPass.Composite.pixels, firstPass.Composite.pixels);
  EXPECT_EQ(laterPass.CompositeMask.pixels, firstPass.CompositeMask.pixels);

  if (const char* dir = std::getenv("QV_ANIM_SNAPSHOTS")) {
    Panel panel(Qt::white, {160, 120});
    panel.image->SetStretch(true);
    panel.image->ReadData(data);
    panel.image->Loaded();
    for (int n = 1; n <= 8; ++n) {
      panel.image->SetCurrentFrame(n);
      panel.grab().save(QString("%1/frame_%2.png").arg(dir).arg(n));
    }
  }
}

TEST_F(GifImageWidget, TestAreaSettingsAnimateAndDoubleClickToggles) {
  // The test area: an 80 x 60 white sunken panel that the control fills.
  QFrame area;
  area.setFrameStyle(QFrame::Panel | QFrame::Sunken);
  area.resize(80, 60);
  QPalette white = area.palette();
  white.setColor(QPalette::Window, Qt::white);
  area.setPalette(white);
  area.setAutoFillBackground(true);
  auto* fill = new QVBoxLayout(&area);
  fill->setContentsMargins(0, 0, 0, 0);
  auto* image = new TGIFImage;
  fill->addWidget(image);
  TGIFImage& g = *image;
  g.SetAnimate(true);
  g.SetCenter(true);
  g.SetStretch(true);
  g.SetStretchRatio(true);
  g.OnDblClick = [](TGIFImage& sender) { sender.SetAnimate(!sender.Animate()); };
  int changes = 0;
  g.OnChange = [&](TGIFImage&) { ++changes; };
  g.ReadData(doubleClickAnimationData());
  g.Loaded();
  area.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&area));
  EXPECT_EQ(g.geometry(), area.contentsRect());
  EXPECT_EQ(g.DestinationRect(), g.rect());  // stretched over the whole area
  if (const char* dir = std::getenv("QV_ANIM_SNAPSHOTS")) area.grab().save(QString("%1/test_area.png").arg(dir));
  ASSERT_TRUE(QTest::qWaitFor([&] { return changes >= 3; }, 5000));
  EXPECT_TRUE(g.TimerEnabled());

  QTest::mouseDClick(&g, Qt::LeftButton, {}, QPoint(40, 30));
  EXPECT_FALSE(g.Animate());
  EXPECT_FALSE(g.TimerEnabled());
  EXPECT_EQ(g.CurrentFrame(), 1);
  QTest::mouseDClick(&g, Qt::LeftButton, {}, QPoint(40, 30));
  EXPECT_TRUE(g.Animate());
  EXPECT_TRUE(g.TimerEnabled());
  const int before = changes;
  ASSERT_TRUE(QTest::qWaitFor([&] { return changes > before; }, 5000));
  if (const char* dir = std::getenv("QV_ANIM_SNAPSHOTS")) area.grab().save(QString("%1/test_area_running.png").arg(dir));
}

TEST_F(GifImageWidget, TransparentPartsShowWhatLiesBeneath) {
  Panel panel(QColor(0, 200, 200), {40, 20});
  ASSERT_TRUE(panel.image->LoadFromBytes(makeGif(40, 20, 1, 100, std::nullopt, true)));
  const QImage shot = panel.grab();
  EXPECT_EQ(shot.pixelColor(5, 10), QColor(0, 200, 200));
  EXPECT_EQ(shot.pixelColor(35, 10), QColor(255, 0, 0));
  // Not covering the parent opaquely, so the parent keeps painting beneath.
  EXPECT_FALSE(panel.image->testAttribute(Qt::WA_OpaquePaintEvent));

  // Opaque fills with Color first.
  panel.image->SetColor(QColor(10, 20, 30));
  panel.image->SetOpaque(true);
  EXPECT_EQ(panel.grab().pixelColor(5, 10), QColor(10, 20, 30));
}

TEST_F(GifImageWidget, RatioStretchAndTilesAreWhereTheyArePainted) {
  Panel panel(Qt::white, {100, 100});
  ASSERT_TRUE(panel.image->LoadFromBytes(makeGif(78, 52, 1, 100, std::nullopt)));
  panel.image->SetStretchRatio(true);
  EXPECT_EQ(panel.image->DestinationRect(), QRect(0, 17, 100, 66));
  QImage shot = panel.grab();
  EXPECT_EQ(shot.pixelColor(50, 10), QColor(Qt::white));
  EXPECT_EQ(shot.pixelColor(50, 50), QColor(255, 0, 0));
  EXPECT_FALSE(panel.image->testAttribute(Qt::WA_OpaquePaintEvent));
  panel.image->SetStretch(true);
  panel.grab();
  EXPECT_TRUE(panel.image->testAttribute(Qt::WA_OpaquePaintEvent));

  Panel wide(Qt::white, {200, 60});
  ASSERT_TRUE(wide.image->LoadFromBytes(makeGif(78, 52, 1, 100, std::nullopt)));
  wide.image->SetTile(true);
  shot = wide.grab();
  EXPECT_EQ(shot.pixelColor(199, 10), QColor(255, 0, 0));  // third column, cut at the edge
  EXPECT_EQ(shot.pixelColor(10, 55), QColor(255, 0, 0));   // second row
}

TEST_F(GifImageWidget, HiddenPictureStillTakesDoubleClicks) {
  Panel panel(QColor(0, 0, 90), {40, 20});
  ASSERT_TRUE(panel.image->LoadFromBytes(makeGif(40, 20, 1, 100, std::nullopt)));
  panel.image->SetVisible(false);
  int clicks = 0;
  panel.image->OnDblClick = [&](TGIFImage&) { ++clicks; };
  EXPECT_EQ(panel.grab().pixelColor(20, 10), QColor(0, 0, 90));
  EXPECT_TRUE(panel.image->Palette().isEmpty());
  panel.parent.show();
  QTest::mouseDClick(panel.image, Qt::LeftButton, {}, QPoint(20, 10));
  EXPECT_EQ(clicks, 1);
}

TEST_F(GifImageWidget, FrameSelectionOutOfRangeLeavesThePictureAndSetsTheError) {
  Panel panel(Qt::white, {30, 30});
  ASSERT_TRUE(panel.image->LoadFromBytes(makeGif(30, 30, 3, 100, 0)));
  EXPECT_EQ(panel.image->LastError(), TGIFError::geNone);
  panel.image->SetCurrentFrame(0);
  EXPECT_EQ(panel.image->LastError(), TGIFError::geIndexOutOfBounds);
  panel.image->SetCurrentFrame(4);
  EXPECT_EQ(panel.image->CurrentFrame(), 1);
  EXPECT_EQ(panel.grab().pixelColor(15, 15), QColor(255, 0, 0));
  panel.image->SetCurrentFrame(2);
  EXPECT_EQ(panel.grab().pixelColor(15, 15), QColor(0, 255, 0));
}

TEST_F(GifImageWidget, AssignmentCopiesTheGifAndToABitmapGivesFrameOneOnly) {
  TGIFImage source, target;
  // Frame 1 is 40 x 20 with a transparent half; frame 2 paints over it.
  ASSERT_TRUE(source.LoadFromBytes(makeGif(40, 20, 2, 100, 2, true)));
  source.SetCurrentFrame(2);
  target.Assign(&source);
  EXPECT_EQ(target.FrameCount(), 2);
  EXPECT_EQ(target.LoopCount(), 2);
  EXPECT_EQ(target.WriteData(), source.WriteData());

  QImage bitmap;
  source.AssignTo(bitmap);
  ASSERT_EQ(bitmap.size(), QSize(40, 20));
  EXPECT_EQ(bitmap.pixelIndex(5, 5), 0);  // frame 1's own pixels, not the composed picture
  EXPECT_EQ(bitmap.pixelIndex(35, 5), 1);

  TGIFImage empty;
  target.Assign(&empty);
  EXPECT_TRUE(target.Empty());
  target.Assign(&source);
  target.Assign(nullptr);
  EXPECT_TRUE(target.Empty());
  target.AssignTo(bitmap);
  EXPECT_TRUE(bitmap.isNull());
}

TEST_F(GifImageWidget, DataFormRoundTripsAndDamagedDataLeavesTheControlEmpty) {
  TGIFImage source, copy;
  EXPECT_TRUE(source.WriteData().empty());  // nothing to store
  ASSERT_TRUE(source.LoadFromBytes(makeGif(16, 8, 3, 100, 0)));
  copy.ReadData(source.WriteData());
  copy.Loaded();
  EXPECT_EQ(copy.FrameCount(), 3);

  Bytes stored = source.WriteData();
  stored.resize(stored.size() - 10);  // the count now exceeds what is there
  TGIFImage damaged;
  damaged.ReadData(stored);
  damaged.Loaded();
  EXPECT_TRUE(damaged.Empty());

  Bytes notGif = encodeDataProperty(Bytes{'J', 'P', 'G', '8', '9', 'a', 0, 0});
  damaged.ReadData(notGif);
  damaged.Loaded();
  EXPECT_TRUE(damaged.Empty());
  EXPECT_EQ(damaged.LastError(), TGIFError::geFileFormat);
}

TEST_F(GifImageWidget, GeometryOnlyLoadsShowNothingAndNeverAnimate) {
  Panel panel(QColor(0, 0, 90), {20, 20});
  TGIFImage& g = *panel.image;
  g.SetAnimate(true);
  const Bytes gif = makeGif(20, 20, 3, 100, 0);
  std::istringstream stream(std::string(gif.begin(), gif.end()));
  ASSERT_TRUE(g.LoadInfoFromStream(stream));
  EXPECT_TRUE(g.InfoOnly());
  EXPECT_EQ(g.FrameCount(), 3);
  EXPECT_EQ(panel.grab().pixelColor(10, 10), QColor(0, 0, 90));
  EXPECT_FALSE(g.TimerEnabled());
  g.SetCurrentFrame(2);
  g.SetAnimate(false);
  QImage bitmap;
  g.AssignTo(bitmap);
  EXPECT_TRUE(bitmap.isNull());
  EXPECT_TRUE(g.Palette().isEmpty());
}

TEST_F(GifImageWidget, LoopCountTwoWrapsTwiceThenStopsOnTheLastFrame) {
  Panel panel(Qt::white, {10, 10});
  TGIFImage& g = *panel.image;
  g.SetAnimate(true);
  g.SetSpeed(1000);  // 50 ms frames at ten times the speed
  int wraps = 0;
  g.OnWrapAnimation = [&](TGIFImage&) { ++wraps; };
  ASSERT_TRUE(g.LoadFromBytes(makeGif(10, 10, 3, 50, 2)));
  panel.parent.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return wraps == 2 && !g.TimerEnabled(); }, 5000));
  QTest::qWait(50);
  EXPECT_EQ(wraps, 2);
  EXPECT_EQ(panel.grab().pixelColor(5, 5), QColor(0, 0, 255));  // frame 3 stays shown
  g.SetLoop(true);
  EXPECT_TRUE(g.TimerEnabled());
  EXPECT_EQ(g.CurrentFrame(), 1);
}

TEST_F(GifImageWidget, WindowTimerModeAnimatesToo) {
  Panel panel(Qt::white, {10, 10});
  TGIFImage& g = *panel.image;
  g.SetThreaded(false);
  g.SetAnimate(true);
  int changes = 0;
  g.OnChange = [&](TGIFImage&) { ++changes; };
  ASSERT_TRUE(g.LoadFromBytes(makeGif(10, 10, 3, 50, 0)));
  panel.parent.show();
  EXPECT_TRUE(QTest::qWaitFor([&] { return changes >= 4; }, 5000));
  g.Clear();
  EXPECT_TRUE(g.Empty());
  EXPECT_FALSE(g.TimerEnabled());
}

TEST_F(GifImageWidget, LoadsThatFindNoDataLeaveThePictureAnimating) {
  test::PrivateRoot root;
  const Bytes gif = makeGif(10, 10, 3, 50, 0);
  const auto locked = root.path() / "locked.gif";
  std::ofstream(locked, std::ios::binary).write(reinterpret_cast<const char*>(gif.data()), static_cast<std::streamsize>(gif.size()));
  std::filesystem::permissions(locked, std::filesystem::perms::none);
  const bool lockedOpens = std::ifstream(locked).is_open();  // a superuser reads it all the same

  Panel panel(Qt::white, {10, 10});
  TGIFImage& g = *panel.image;
  g.SetAnimate(true);
  g.SetSpeed(1000);  // 50 ms frames at ten times the speed
  int changes = 0;
  g.OnChange = [&](TGIFImage&) { ++changes; };
  ASSERT_TRUE(g.LoadFromBytes(gif));
  panel.parent.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return changes >= 2; }, 5000));

  const ResourceModule none;
  auto stillAnimating = [&](const char* what) {
    EXPECT_FALSE(g.Empty()) << what;
    EXPECT_EQ(g.FrameCount(), 3) << what;
    EXPECT_EQ(g.WriteData(), encodeDataProperty(gif)) << what;
    EXPECT_TRUE(g.TimerEnabled()) << what;
    EXPECT_NE(panel.grab().pixelColor(5, 5), QColor(Qt::white)) << what;
    const int seen = changes;
    EXPECT_TRUE(QTest::qWaitFor([&] { return changes >= seen + 2; }, 5000)) << what;
  };
  EXPECT_FALSE(g.LoadFromFile(root.path() / "missing.gif"));
  EXPECT_EQ(g.LastError(), TGIFError::geFileNotFound);
  stillAnimating("missing file");
  EXPECT_FALSE(g.LoadInfoFromFile(root.path() / "missing.gif"));
  stillAnimating("missing file, geometry only");
  EXPECT_FALSE(g.LoadFromResourceName(none, "hands"));
  EXPECT_EQ(g.LastError(), TGIFError::geResourceNotFound);
  stillAnimating("missing resource");
  EXPECT_FALSE(g.LoadFromResourceID(none, 7));
  stillAnimating("missing resource number");
  EXPECT_THROW(g.LoadFromFile(root.path()), std::filesystem::filesystem_error);
  stillAnimating("directory");
  if (!lockedOpens) {
    EXPECT_THROW(g.LoadFromFile(locked), std::filesystem::filesystem_error);
    stillAnimating("no permission");
  }
  std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
}

}  // namespace
}  // namespace qv::anim
