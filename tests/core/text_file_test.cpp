#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include "core/abandon.h"
#include "core/text_file.h"
#include "support/scripted_fixture.h"

namespace {
std::string TempPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() / ("vkest_tf_" + name)).string();
}
void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}
}  // namespace

TEST(TextFile, ReadsLfCrLfAndStopsAtCtrlZ) {
  TextFile f;
  f.ResetFromText("one\r\ntwo\nthree\r\n\x1Anever\n");
  EXPECT_EQ(f.ReadLine(), "one");
  EXPECT_EQ(f.ReadLine(), "two");
  EXPECT_FALSE(f.Eof());
  EXPECT_EQ(f.ReadLine(), "three");
  EXPECT_TRUE(f.Eof());
  EXPECT_EQ(f.ReadLine(), "");

  f.ResetFromText("last line without end");
  EXPECT_EQ(f.ReadLine(), "last line without end");
  EXPECT_TRUE(f.Eof());

  f.ResetFromText(std::string("a\0b\n\n", 5));
  EXPECT_EQ(f.ReadLine(), std::string("a\0b", 3));
  EXPECT_EQ(f.ReadLine(), "");
  EXPECT_TRUE(f.Eof());
}

TEST(TextFile, WritesCrLfAndReadsItBack) {
  std::string path = TempPath("rw.txt");
  {
    TextFile w;
    w.Rewrite(path);
    w.WriteLine("alpha");
    w.Write("be");
    w.WriteLine("ta");
    w.Close();
  }
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(bytes, "alpha\r\nbeta\r\n");
  TextFile r;
  r.Reset(path);
  EXPECT_EQ(r.ReadLine(), "alpha");
  EXPECT_EQ(r.ReadLine(), "beta");
  EXPECT_TRUE(r.Eof());
  std::filesystem::remove(path);
}

TEST(TextFile, FailedOpenAbandonsWithNameAndReason) {
  TextFile f;
  std::string missing = TempPath("does_not_exist.txt");
  EXPECT_FALSE(f.TryReset(missing));
  EXPECT_EQ(IoResult(), 2);
  EXPECT_EQ(IoResult(), 0) << "reading the result clears it";
  try {
    f.Reset(missing);
    FAIL() << "no exception";
  } catch (const OperationAbandoned& e) {
    std::string what = e.what();
    EXPECT_NE(what.find(missing), std::string::npos);
    EXPECT_NE(what.find("no such file"), std::string::npos);
  }
  EXPECT_THROW(f.Rewrite("/nonexistent_folder_vkest/x.txt"), OperationAbandoned);
  // A folder is not a readable file.
  EXPECT_FALSE(f.TryReset(std::filesystem::temp_directory_path().string()));
  EXPECT_NE(IoResult(), 0);
}

class AbandonTest : public ScriptedTest {};

TEST_F(AbandonTest, TopLevelDispatchShowsReasonAndGoesOn) {
  EXPECT_TRUE(RunUserCommand([] {}));
  EXPECT_FALSE(RunUserCommand([] { AbandonOperation("Error, something failed"); }));
  EXPECT_FALSE(RunUserCommand([] { AbandonOperation(); }));
  EXPECT_FALSE(RunUserCommand([] {
    TextFile f;
    f.Reset("/nonexistent_folder_vkest/y.txt");
  }));
  ASSERT_EQ(ui.Messages().size(), 2u) << "a silent abandon shows nothing";
  EXPECT_EQ(ui.Messages()[0], "Error, something failed");
  EXPECT_NE(ui.Messages()[1].find("/nonexistent_folder_vkest/y.txt"), std::string::npos);
}

TEST_F(AbandonTest, EmptyFileIsReadAsEnd) {
  std::string path = TempPath("empty.txt");
  WriteBytes(path, "");
  TextFile f;
  f.Reset(path);
  EXPECT_TRUE(f.Eof());
  EXPECT_EQ(f.ReadLine(), "");
  std::filesystem::remove(path);
}
