// The demo machine root: the store the driver's installer leaves, readable by the
// store, with the programs' folder filled in, and a blank cursor that really is blank.
#include "platform/posix/registry_file_store.h"
#include "support/driverd_process.h"
#include "support/private_root.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace qv {
namespace {

using platform::RegistryRoot;
using platform::RegistryValue;

[[maybe_unused]] const bool binDirKnown = ::setenv("QV_BIN_DIR", QV_TEST_BIN_DIR, 0) == 0;

TEST(DemoRoot, HoldsTheInstallersValuesAndABlankCursor) {
  test::PrivateRoot scratch;
  const auto root = scratch.path() / "demo";
  const std::string script = std::string(QV_TEST_SOURCE_DIR) + "/scripts/make-demo-root";
  ASSERT_EQ(test::runProgram(script, {root.string(), QV_TEST_BIN_DIR}), 0);

  platform::RegistryFileStore store(root);
  const auto lm = RegistryRoot::LocalMachine;
  const char* key = "SOFTWARE\\Quorvane";
  EXPECT_EQ(store.readValue(lm, key, "Vxd Version"), RegistryValue::text("3.1.05"));
  EXPECT_EQ(store.readValue(lm, key, "Firmware"), RegistryValue::binary({0x10, 0x00}));
  EXPECT_EQ(store.readValue(lm, key, "COM4_ADDR"), RegistryValue::text("2E8H"));
  EXPECT_EQ(store.readValue(lm, key, "Restart"), RegistryValue::dword(0));
  EXPECT_EQ(store.readValue(lm, key, "Cfg_DKSpeed"), RegistryValue::dword(500));
  EXPECT_EQ(store.readValue(lm, key, "Cfg_Y2"), RegistryValue::text("FCH"));
  EXPECT_EQ(store.readValue(lm, key, "InstallDir"),
            RegistryValue::text(std::filesystem::canonical(QV_TEST_BIN_DIR).string()));
  EXPECT_FALSE(store.readValue(lm, key, "Vxd Init"));  // only the driver writes it
  EXPECT_EQ(store.readValue(RegistryRoot::CurrentUser, "Control Panel\\Cursors", "Arrow"), RegistryValue::text(""));
  EXPECT_EQ(store.readValue(RegistryRoot::CurrentUser, "Control Panel\\Mouse", "DoubleClickWidth"),
            RegistryValue::text("4"));
  EXPECT_TRUE(std::filesystem::is_directory(root / "dev"));
  EXPECT_TRUE(std::filesystem::is_directory(root / "run"));

  const auto cursorPath = root / "system" / "Cursors" / "Blank.cur";
  std::ifstream in(cursorPath, std::ios::binary);
  const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in), {}};
  ASSERT_GE(bytes.size(), 22u);
  EXPECT_EQ(bytes[2], 2);   // a cursor, not an icon
  EXPECT_EQ(bytes[10], 0);  // hotspot 0,0
  EXPECT_EQ(bytes[12], 0);
  QImage image(QString::fromStdString(cursorPath.string()), "CUR");
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), QSize(32, 32));
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) ASSERT_EQ(qAlpha(image.pixel(x, y)), 0) << x << "," << y;
  }

  // A second run leaves an existing machine as it is.
  ASSERT_TRUE(store.writeValue(lm, key, "Vxd Init", RegistryValue::text("Success")));
  ASSERT_EQ(test::runProgram(script, {root.string(), QV_TEST_BIN_DIR}), 0);
  EXPECT_EQ(store.readValue(lm, key, "Vxd Init"), RegistryValue::text("Success"));
}

}  // namespace
}  // namespace qv
