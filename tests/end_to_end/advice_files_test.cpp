// The advice files the build writes from docs/errors.md, shown by the program's error
// summary when it is started in a directory that holds them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "example_copy.h"
#include "test_support.h"

namespace quendal {
namespace {

using testing::ExampleCopy;
using testing::lines_of;
using testing::read_file;

TEST(AdviceFiles, AFatalErrorInACopyOfTheExamplePrintsItsAdvice) {
  ExampleCopy copy;
  copy.dir.write("example/example_met.txt", "");  // fatal error 1065 at set-up
  std::filesystem::create_directory_symlink(QUENDAL_HELPMESSAGES_DIR, copy.root + "/helpmessages");

  const auto r = copy.run();
  EXPECT_EQ(r.status, 1) << r.output;
  // The advice is the table's row of 1065, written by the build.
  const std::string advice = read_file(std::string(QUENDAL_HELPMESSAGES_DIR) + "/1065");
  ASSERT_NE(advice.find("no data in med file"), std::string::npos) << advice;
  EXPECT_NE(advice.find("unit 19"), std::string::npos) << advice;
  // The summary names the file it opens and copies every line of it.
  EXPECT_NE(r.output.find(" No. of occurrences of error number 1065 is     1"), std::string::npos);
  EXPECT_NE(r.output.find("/helpmessages/1065"), std::string::npos);
  for (const std::string& line : lines_of(advice)) {
    EXPECT_NE(r.output.find(line), std::string::npos) << "advice line missing: " << line;
  }
}

}  // namespace
}  // namespace quendal
