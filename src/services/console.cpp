#include "services/console.h"

#include <unistd.h>

#include <chrono>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

namespace quendal {

Console::Console(std::FILE* out) : out_(out) {
  output_terminal_ = isatty(fileno(out_)) != 0;
  input_terminal_ = isatty(fileno(stdin)) != 0;
}

void Console::write_record(std::string_view record) {
  const bool overwrite = carriage_control_ && !record.empty() && record.front() == '+';
  if (overwrite && output_terminal_) {
    std::string_view text = record.substr(1);
    std::fputc('\r', out_);
    std::fwrite(text.data(), 1, text.size(), out_);
    for (std::size_t i = text.size(); i < open_length_; ++i) std::fputc(' ', out_);
    line_open_ = true;
    open_length_ = text.size();
    std::fflush(out_);
    return;
  }
  if (overwrite) record.remove_prefix(1);
  if (line_open_) {
    std::fputc('\n', out_);
    line_open_ = false;
    open_length_ = 0;
  }
  std::fwrite(record.data(), 1, record.size(), out_);
  std::fputc('\n', out_);
  if (output_terminal_) std::fflush(out_);
}

void Console::pause() {
  if (!(input_terminal_ && output_terminal_)) return;
  flush();
  std::fputs(" Press Enter to continue.\n", out_);
  std::fflush(out_);
  int c;
  while ((c = std::fgetc(stdin)) != EOF && c != '\n') {
  }
}

void Console::flush() {
  if (line_open_) {
    std::fputc('\n', out_);
    line_open_ = false;
    open_length_ = 0;
  }
  std::fflush(out_);
}

void wait_milliseconds(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void set_flush_to_zero() {
#if defined(__x86_64__) || defined(__i386__)
  // FTZ (bit 15) and DAZ (bit 6) of MXCSR.
  _mm_setcsr(_mm_getcsr() | 0x8040u);
#endif
}

}  // namespace quendal
