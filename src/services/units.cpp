#include "services/units.h"

#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "services/stops.h"

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

void Unit::fail(int error) {
  failure_ = std::strerror(error != 0 ? error : EIO);
  throw OutputWriteError(path_, failure_);
}

void Unit::write_record(std::string_view record) {
  if (failed()) return;
  switch_to(LastOp::Write);
  errno = 0;
  if (truncate_on_write_) {
    if (std::fflush(file_) != 0) fail(errno);
    long here = std::ftell(file_);
    if (here >= 0 && ftruncate(fileno(file_), here) != 0) {
      // The file stays as long as it was; the records written now still replace
      // its first records, which is what a reader of the status file needs.
    }
    truncate_on_write_ = false;
  }
  // The stream hands its buffer to the system when it is full: a failure of that shows
  // on the write that filled it.
  if (std::fwrite(record.data(), 1, record.size(), file_) != record.size() ||
      std::fputc('\n', file_) == EOF || std::ferror(file_)) {
    fail(errno);
  }
  ++record_;
}

void Unit::rewind() {
  flush();
  std::rewind(file_);
  last_op_ = LastOp::None;
  record_ = 0;
  truncate_on_write_ = true;
  forget_series_time();
}

void Unit::flush() {
  if (failed()) return;
  errno = 0;
  if (std::fflush(file_) != 0 || std::ferror(file_)) fail(errno);
}

long Unit::written_length() {
  flush();
  return std::ftell(file_);
}

void Unit::cut_to(long length) {
  // Whatever is still buffered (after a failure) is dropped with the cut, so that no
  // later flush or close writes it after all.
  __fpurge(file_);
  if (length >= 0 && ftruncate(fileno(file_), length) == 0) std::fseek(file_, length, SEEK_SET);
}

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

bool UnitTable::open_output(int unit, const std::string& path, int fd) {
  close(unit);
  open_failure_.clear();
  const int own = ::dup(fd);
  // A regular file is emptied; a device (a terminal, /dev/null) takes the records as
  // they come.
  struct stat st;
  const bool regular = own >= 0 && fstat(own, &st) == 0 && S_ISREG(st.st_mode);
  const bool emptied = regular ? ftruncate(own, 0) == 0 && lseek(own, 0, SEEK_SET) == 0 : own >= 0;
  std::FILE* f = emptied ? fdopen(own, "w+") : nullptr;
  if (!f) {
    open_failure_ = std::strerror(errno);
    if (own >= 0) ::close(own);
    return false;
  }
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
  if (Unit* u = sink_unit(unit)) return *u;
  return console_;
}

Unit* UnitTable::sink_unit(int unit) {
  if (unit == CONSOLE_UNIT) return nullptr;
  auto it = units_.find(unit);
  if (it != units_.end() && !it->second->failed()) return it->second.get();
  it = units_.find(PRINT_UNIT);
  if (it != units_.end() && !it->second->failed()) return it->second.get();
  return nullptr;
}

void UnitTable::rewind(int unit) {
  auto it = units_.find(unit);
  if (it != units_.end()) it->second->rewind();
}

void UnitTable::close(int unit) { units_.erase(unit); }

void UnitTable::flush_all() {
  for (auto& [n, u] : units_) {
    try {
      u->flush();
    } catch (const OutputWriteError&) {
      // Left failed; the caller is stopping the run already.
    }
  }
  console_.flush();
}

void UnitTable::flush_all_checked() {
  for (auto& [n, u] : units_) {
    if (u->failed()) throw OutputWriteError(u->path(), u->failure());
    u->flush();
  }
  console_.flush();
}

void UnitTable::close_all() {
  units_.clear();
  console_.flush();
}

OutputLocks::Outcome OutputLocks::take(const std::string& path) {
  reason_.clear();
  if (holds(path)) return Outcome::Taken;
  struct stat before;
  const bool existed = stat(path.c_str(), &before) == 0;
  if (existed && S_ISDIR(before.st_mode)) {
    reason_ = std::strerror(EISDIR);
    return Outcome::CannotOpen;
  }
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    reason_ = std::strerror(errno);
    return Outcome::CannotOpen;
  }
  struct stat st;
  fstat(fd, &st);
  for (const Held& h : held_) {
    if (h.device == st.st_dev && h.inode == st.st_ino) {  // the same file, another name
      held_.push_back({path, ::dup(fd), false, h.device, h.inode});
      ::close(fd);
      return Outcome::Taken;
    }
  }
  struct flock whole {};
  whole.l_type = F_WRLCK;
  whole.l_whence = SEEK_SET;
  if (fcntl(fd, F_OFD_SETLK, &whole) != 0 && (errno == EAGAIN || errno == EACCES)) {
    ::close(fd);
    return Outcome::HeldByAnother;  // the file is that run's: it stays as it is
  }
  held_.push_back({path, fd, !existed, st.st_dev, st.st_ino});
  return Outcome::Taken;
}

int OutputLocks::descriptor(const std::string& path) const {
  for (const Held& h : held_) {
    if (h.path == path) return h.fd;
  }
  return -1;
}

void OutputLocks::release() {
  for (const Held& h : held_) ::close(h.fd);
  held_.clear();
}

void OutputLocks::remove_if_created_and_empty(const std::string& path) {
  for (const Held& h : held_) {
    struct stat st;
    if (h.path == path && h.created && fstat(h.fd, &st) == 0 && st.st_size == 0) {
      ::unlink(h.path.c_str());
    }
  }
}

void OutputLocks::abandon() {
  for (const Held& h : held_) {
    if (h.created) ::unlink(h.path.c_str());
  }
  release();
}

}  // namespace quendal
