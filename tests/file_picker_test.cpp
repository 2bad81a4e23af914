// The open dialog request: the filter string and the record the platform's dialog receives.
#include <gtest/gtest.h>

#include "file_picker/module1.h"
#include "platform/fake/fake_platform.h"

namespace velmora {
namespace {

using namespace std::string_literals;

TEST(BuildFilter, OneTypeIsDescriptionPatternInParenthesesThenPattern) {
  EXPECT_EQ(Module1::BuildFilter({"*.Mid", ""}, {"Mid Files (*.mid)", ""}, 1),
            "Mid Files (*.mid) (*.Mid)\0*.Mid\0"s);
}

TEST(BuildFilter, TwoTypesFollowInListOrderEachWithItsNulPair) {
  EXPECT_EQ(Module1::BuildFilter({"*.mid", "*.rmi"}, {"MIDI", "RIFF MIDI"}, 2),
            "MIDI (*.mid)\0*.mid\0RIFF MIDI (*.rmi)\0*.rmi\0"s);
}

TEST(BuildFilter, CountBelowOneAddsNothingAndFractionsCountWhole) {
  EXPECT_EQ(Module1::BuildFilter({"*.a"}, {"A"}, 0), "");
  EXPECT_EQ(Module1::BuildFilter({"*.a"}, {"A"}, 0.5f), "");
  EXPECT_EQ(Module1::BuildFilter({"*.a"}, {"A"}, -3), "");
  EXPECT_EQ(Module1::BuildFilter({"*.a", "*.b"}, {"A", "B"}, 1.5f), "A (*.a)\0*.a\0"s);
}

TEST(BuildFilter, CountPastTheListsIsAnError) {
  EXPECT_THROW(Module1::BuildFilter({"*.a"}, {"A"}, 2), std::out_of_range);
  EXPECT_THROW(Module1::BuildFilter({"*.a", "*.b"}, {"A"}, 2), std::out_of_range);
}

TEST(ShowOpenFile, FillsTheRecordAndCallsTheDialogOnce) {
  fake::FakePlatform platform;
  platform.currentDirectory = "D:\\Songs\\New";
  Module1::ShowOpenFile(platform.host(), "Open File", {"*.Mid", ""}, {"Mid Files (*.mid)", ""}, 1);

  ASSERT_EQ(platform.dialogRequests.size(), 1u);
  const platform::OpenFileName& request = platform.dialogRequests.front();
  EXPECT_EQ(request.owner, 0u);
  EXPECT_EQ(request.instance, platform.ModuleInstance());
  EXPECT_EQ(request.filter, "Mid Files (*.mid) (*.Mid)\0*.Mid\0"s);
  EXPECT_EQ(request.filterIndex, 0u);
  EXPECT_EQ(request.file, std::string(254, ' '));
  EXPECT_EQ(request.maxFile, 255u);
  EXPECT_EQ(request.fileTitle, std::string(254, ' '));
  EXPECT_EQ(request.maxFileTitle, 255u);
  EXPECT_EQ(request.initialDir, "D:\\Songs\\New");
  EXPECT_EQ(request.title, "Open File");
  EXPECT_EQ(request.flags, 0u);
}

TEST(ShowOpenFile, InitialDirectoryIsReadAtEachCall) {
  fake::FakePlatform platform;
  platform.currentDirectory = "C:\\One";
  Module1::ShowOpenFile(platform.host(), "T", {"*.a"}, {"A"}, 1);
  platform.currentDirectory = "C:\\Two";
  Module1::ShowOpenFile(platform.host(), "T", {"*.a"}, {"A"}, 1);
  ASSERT_EQ(platform.dialogRequests.size(), 2u);
  EXPECT_EQ(platform.dialogRequests[0].initialDir, "C:\\One");
  EXPECT_EQ(platform.dialogRequests[1].initialDir, "C:\\Two");
}

TEST(ShowOpenFile, ReturnsTheBufferAsTheDialogLeftIt) {
  fake::FakePlatform platform;
  EXPECT_EQ(Module1::ShowOpenFile(platform.host(), "T", {"*.a"}, {"A"}, 1), std::string(254, ' '))
      << "cancel returns the 254 blanks";

  platform.dialogAnswers.push_back(fake::FakePlatform::Choose("C:\\x.mid"));
  const std::string chosen = Module1::ShowOpenFile(platform.host(), "T", {"*.a"}, {"A"}, 1);
  EXPECT_EQ(chosen.size(), 254u);
  EXPECT_EQ(chosen.substr(0, 9), "C:\\x.mid\0"s);
  EXPECT_EQ(chosen.substr(9), std::string(245, ' '));
}

}  // namespace
}  // namespace velmora
