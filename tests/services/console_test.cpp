#include "services/console.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

namespace quendal {
namespace {

std::string written(std::FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string s;
  int c;
  while ((c = std::fgetc(f)) != EOF) s += static_cast<char>(c);
  return s;
}

TEST(Console, PlusOverwritesTheLineOnlyOnATerminalOnceConnected) {
  struct Case {
    bool terminal;
    bool connected;
    const char* expected;
  };
  const Case cases[] = {
      // Before the driver connects it, "+" is an ordinary character.
      {true, false, " first\n+Step 1\n+Step 22\n last\n"},
      // A file or a pipe keeps every progress line.
      {false, true, " first\nStep 1\nStep 22\n last\n"},
      // A terminal redraws the line; a shorter line blanks what the longer one left.
      {true, true, " first\n\rStep 1\rStep 22\n last\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    std::FILE* f = std::tmpfile();
    Console console(f);
    console.set_terminal(c.terminal, false);
    if (c.connected) console.connect_carriage_control();
    console.write_record(" first");
    console.write_record("+Step 1");
    console.write_record("+Step 22");
    console.write_record(" last");
    console.flush();
    EXPECT_EQ(written(f), c.expected);
    std::fclose(f);
  }
}

TEST(Console, ShorterOverwritingLineBlanksTheRest) {
  std::FILE* f = std::tmpfile();
  Console console(f);
  console.set_terminal(true, false);
  console.connect_carriage_control();
  console.write_record("+longer line");
  console.write_record("+short");
  console.flush();
  EXPECT_EQ(written(f), "\rlonger line\rshort      \n");
  std::fclose(f);
}

TEST(Console, PauseDoesNotWaitWithoutATerminal) {
  std::FILE* f = std::tmpfile();
  Console console(f);
  console.set_terminal(false, false);
  console.pause();  // would block forever if it read standard input
  EXPECT_EQ(written(f), "");
  std::fclose(f);
}

#if defined(__x86_64__) || defined(__i386__)
TEST(Console, FlushToZeroTurnsDenormalsIntoZero) {
  const unsigned saved = _mm_getcsr();
  // Another test in this process may have run the program, which sets the flush.
  _mm_setcsr(saved & ~0x8040u);
  volatile double tiny = 1e-300;
  volatile double scale = 1e-10;
  EXPECT_NE(tiny * scale, 0.0);  // a denormal result without the flush
  set_flush_to_zero();
  EXPECT_EQ(tiny * scale, 0.0);
  volatile double denormal_operand = 4e-320;
  EXPECT_EQ(denormal_operand * 1.0, 0.0);  // denormal operands read as zero
  _mm_setcsr(saved);
}
#endif

}  // namespace
}  // namespace quendal
