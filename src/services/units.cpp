#include "services/units.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace quendal {

Unit::Unit(int number, std::string path, std::FILE* file)
    : number_(number), path_(std::move(path)), file_(file) {}

Unit::~Unit() {
  if (file_) std::fclose(file_);
  std::free(buffer_);
}

void Unit::switch_to(LastOp op) {
  // A stream that changes between reading and writing must be repositioned first.
  if (last_op_ != LastOp::None && last_op_ != op) std::fseek(file_, 0, SEEK_CUR);
  last_op_ = op;
}

bool Unit::read_record(std::string& line) {
  switch_to(LastOp::Read);
  ssize_t n = getline(&buffer_, &buffer_size_, file_);
  if (n < 0) {
    line.clear();
    return false;
  }
  ++record_;
  line.assign(buffer_, static_cast<std::size_t>(n));
  strip_line_end(line);
  return true;
}

void Unit::write_record(std::string_view record) {
  switch_to(LastOp::Write);
  if (truncate_on_write_) {
    std::fflush(file_);
    long here = std::ftell(file_);
    if (here >= 0 && ftruncate(fileno(file_), here) != 0) {
      // The file stays as long as it was; the records written now still replace
      // its first records, which is what a reader of the status file needs.
    }
    truncate_on_write_ = false;
  }
  std::fwrite(record.data(), 1, record.size(), file_);
  std::fputc('\n', file_);
  ++record_;
}

void Unit::rewind() {
  std::fflush(file_);
  std::rewind(file_);
  last_op_ = LastOp::None;
  record_ = 0;
  truncate_on_write_ = true;
  forget_series_time();
}

void Unit::flush() { std::fflush(file_); }

bool UnitTable::open(int unit, const std::string& path, UnitDirection direction) {
  close(unit);
  open_failure_.clear();
  auto fail = [&](int error) {
    open_failure_ = std::strerror(error);
    return false;
  };
  std::FILE* f = nullptr;
  struct stat st;
  switch (direction) {
    case UnitDirection::Input:
      if (stat(path.c_str(), &st) != 0) return fail(errno);
      if (S_ISDIR(st.st_mode)) return fail(EISDIR);
      f = std::fopen(path.c_str(), "r");
      break;
    case UnitDirection::Output:
      f = std::fopen(path.c_str(), "w+");
      break;
    case UnitDirection::Update:
      if (stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return fail(EISDIR);
        f = std::fopen(path.c_str(), "r+");
      } else {
        f = std::fopen(path.c_str(), "w+");
      }
      break;
  }
  if (!f) return fail(errno);
  units_[unit] = std::make_unique<Unit>(unit, path, f);
  return true;
}

bool UnitTable::is_open(int unit) const { return units_.count(unit) != 0; }

Unit& UnitTable::unit(int unit) {
  auto it = units_.find(unit);
  if (it == units_.end()) throw std::logic_error("unit " + std::to_string(unit) + " is not open");
  return *it->second;
}

RecordSink& UnitTable::sink(int unit) {
  if (unit == CONSOLE_UNIT) return console_;
  auto it = units_.find(unit);
  if (it != units_.end()) return *it->second;
  it = units_.find(PRINT_UNIT);
  if (it != units_.end()) return *it->second;
  return console_;
}

void UnitTable::rewind(int unit) {
  auto it = units_.find(unit);
  if (it != units_.end()) it->second->rewind();
}

void UnitTable::close(int unit) { units_.erase(unit); }

void UnitTable::flush_all() {
  for (auto& [n, u] : units_) u->flush();
  console_.flush();
}

void UnitTable::close_all() {
  units_.clear();
  console_.flush();
}

FileLock::Outcome FileLock::take(const std::string& path) {
  release();
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return Outcome::NotPossible;
  // flock() locks belong to this open of the file: a second open, in this process or
  // another, is refused while this one holds it, and the lock goes with the descriptor
  // when the process ends however it ends.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    return error == EWOULDBLOCK ? Outcome::HeldByAnother : Outcome::NotPossible;
  }
  fd_ = fd;
  path_ = path;
  return Outcome::Taken;
}

void FileLock::release() {
  if (fd_ < 0) return;
  flock(fd_, LOCK_UN);
  ::close(fd_);
  fd_ = -1;
  path_.clear();
}

}  // namespace quendal
