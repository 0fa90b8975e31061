// The driver's log file stays bounded however long the driver runs.
#include "driver_log.h"
#include "support/private_root.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace qv::driverd {
namespace {

TEST(DriverLog, AFileAtItsCapMovesAsideAndANewOneBegins) {
  test::PrivateRoot root;
  const auto path = root.path() / "driverd.log";
  DriverLog log(false, 100);
  ASSERT_FALSE(log.open(path));
  for (int i = 10; i < 40; ++i) log.note("line " + std::to_string(i));  // 10 bytes each
  EXPECT_EQ(std::filesystem::file_size(path), 100u);
  EXPECT_EQ(std::filesystem::file_size(path.string() + ".1"), 100u);
  std::ifstream newest(path);
  std::string first;
  std::getline(newest, first);
  EXPECT_EQ(first, "# line 30");
}

}  // namespace
}  // namespace qv::driverd
