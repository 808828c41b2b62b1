// Text files written with CR LF and read back; failed opens abandon the operation, and the
// top-level dispatch shows why. (LF, CR LF, Ctrl-Z and NUL on reading: number_parse_test.cpp.)
#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include "core/abandon.h"
#include "core/text_file.h"
#include "support/scripted_fixture.h"
#include "support/temp_path.h"

namespace {
std::string TempPath(const std::string& name) {
  return TestTempPath("tf_" + name);
}
}  // namespace

TEST(TextFile, WritesCrLfAndReadsItBack) {
  const std::string path = TempPath("rw.txt");
  TextFile f;
  f.Rewrite(path);
  f.WriteLine("alpha");
  f.Write("be");
  f.WriteLine("ta");
  f.Close();
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), "alpha\r\nbeta\r\n");
  f.Reset(path);
  EXPECT_EQ(f.ReadLine(), "alpha");
  EXPECT_EQ(f.ReadLine(), "beta");
  EXPECT_TRUE(f.Eof());
  EXPECT_EQ(f.ReadLine(), "");  // past the end
  // An empty file is read as its end.
  f.Rewrite(path);
  f.Close();
  f.Reset(path);
  EXPECT_TRUE(f.Eof());
  std::filesystem::remove(path);
}

class AbandonTest : public ScriptedTest {};

// The top-level dispatch shows the reason of an abandoned operation, and the session goes on.
TEST_F(AbandonTest, FailedOpensAbandonWithNameAndReason) {
  const std::string missing = TempPath("does_not_exist.txt"), folder = "/nonexistent_folder_vkest";
  TextFile f;
  EXPECT_FALSE(f.TryReset(missing));
  EXPECT_EQ(IoResult(), 2);
  EXPECT_EQ(IoResult(), 0) << "reading the result clears it";
  EXPECT_FALSE(f.TryReset(std::filesystem::temp_directory_path().string()));  // a folder
  EXPECT_EQ(IoResult(), 5);
  EXPECT_TRUE(RunUserCommand([] {}));
  EXPECT_FALSE(RunUserCommand([] { AbandonOperation("Error, something failed"); }));
  EXPECT_FALSE(RunUserCommand([] { AbandonOperation(); }));  // a silent abandon shows nothing
  EXPECT_FALSE(RunUserCommand([&] { f.Reset(missing); }));
  EXPECT_FALSE(RunUserCommand([&] { f.Rewrite(folder + "/x.txt"); }));
  EXPECT_EQ(ui.Messages(), (std::vector<std::string>{"Error, something failed",
                                                     "Cannot open \"" + missing + "\": no such file",
                                                     "Cannot create \"" + folder + "/x.txt\": no such folder"}));
}
