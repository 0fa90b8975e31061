// The driver's small rules: the controller's answer among line bytes, who may connect,
// and where a missing device would appear.
#include "controller_answer.h"
#include "device_watch.h"
#include "peer_policy.h"
#include "support/private_root.h"

#include <gtest/gtest.h>

namespace qv::driverd {
namespace {

TEST(ControllerAnswer, EitherChipsAnswerIsFoundHoweverTheReadsSplitIt) {
  const std::vector<std::uint8_t> older{0xC1, 0x05, 0xFF, 0x70, 0x00}, newer{0x12, 0xF0, 0x00, 0x7C};
  for (const auto& bytes : {older, newer}) {
    for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
      ProbeAnswerScanner scanner;
      const std::span<const std::uint8_t> all(bytes);
      const bool first = scanner.feed(all.first(cut));
      EXPECT_TRUE(first || scanner.feed(all.subspan(cut))) << cut;
    }
  }
  EXPECT_FALSE(ProbeAnswerScanner().feed(std::vector<std::uint8_t>{0xFF, 0x70, 0x01, 0x70, 0x00, 0xC0, 0x00}));
}

TEST(PeerPolicy, AsharedSocketAdmitsRootAndTheGroupsMembersAPrivateOneItsOwnerAlone) {
  const PeerPolicy priv{1000, std::nullopt}, shared{1000, 990};
  EXPECT_TRUE(peerAllowed(priv, {1000, 1000, {}}));
  EXPECT_FALSE(peerAllowed(priv, {0, 0, {}}));
  EXPECT_FALSE(peerAllowed(priv, {1001, 990, {990}}));
  EXPECT_TRUE(peerAllowed(shared, {0, 0, {}}));
  EXPECT_TRUE(peerAllowed(shared, {1001, 1001, {20, 990}}));
  EXPECT_TRUE(peerAllowed(shared, {1002, 990, {}}));
  EXPECT_FALSE(peerAllowed(shared, {1003, 1003, {20, 27}}));
}

TEST(DeviceWatch, WatchesEachLinksFolderAndTheNearestExistingOneOfAMissingFolder) {
  test::PrivateRoot root;
  const auto dev = root.path() / "dev";
  std::filesystem::create_directories(dev);
  std::filesystem::create_symlink(root.path() / "serial" / "by-id" / "usb-x", dev / "COM1");
  EXPECT_EQ(DeviceWatch::foldersToWatch({dev / "COM1"}), (std::vector<std::filesystem::path>{dev, root.path()}));
}

}  // namespace
}  // namespace qv::driverd
