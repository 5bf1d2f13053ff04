#include "services/units.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "services/stops.h"

namespace quendal {

namespace {

// The size of a unit's read block and of its write buffer: records up to this length
// reach the system together with others, a longer one alone.
constexpr std::size_t UNIT_BUFFER_BYTES = 64 * 1024;

}  // namespace

Unit::Unit(int number, std::string path, int fd)
    : number_(number), path_(std::move(path)), fd_(fd) {}

Unit::~Unit() {
  // What is still buffered goes to the file, as closing a stream would send it; a failure
  // now has no one left to report to.
  if (holds_unflushed()) {
    try {
      hand_over();
    } catch (const OutputWriteError&) {
    }
  }
  ::close(fd_);
}

void Unit::give_back_read_ahead() {
  // The file's offset goes back to where the records read so far end, where a write or
  // a measure of the length must start.
  if (read_end_ > read_next_) ::lseek(fd_, -static_cast<off_t>(read_end_ - read_next_), SEEK_CUR);
  read_next_ = read_end_ = 0;
}

bool Unit::read_record(std::string& line) {
  // Records written before are in the file before anything after them is read.
  if (holds_unflushed()) flush();
  if (!read_buffer_) read_buffer_ = std::make_unique<char[]>(UNIT_BUFFER_BYTES);
  line.clear();
  bool started = false;  // part of the record taken already: the file may end without a line end
  while (true) {
    if (read_next_ < read_end_) {
      const char* from = read_buffer_.get() + read_next_;
      const std::size_t available = read_end_ - read_next_;
      const void* end = std::memchr(from, '\n', available);
      if (end != nullptr) {
        const std::size_t n = static_cast<std::size_t>(static_cast<const char*>(end) - from);
        line.append(from, n);
        read_next_ += n + 1;
        break;
      }
      line.append(from, available);
      read_next_ = read_end_;
      started = true;
    }
    const ssize_t n = ::read(fd_, read_buffer_.get(), UNIT_BUFFER_BYTES);
    if (n < 0 && errno == EINTR) continue;
    read_next_ = 0;
    read_end_ = n > 0 ? static_cast<std::size_t>(n) : 0;
    if (n <= 0) {  // the end of the file, or a file that cannot be read (a directory)
      if (!started) return false;
      break;
    }
  }
  ++record_;
  strip_line_end(line);
  return true;
}

void Unit::fail(int error) {
  // What could not be written is dropped: nothing later (a flush, the close) tries again.
  write_length_ = 0;
  failure_ = std::strerror(error != 0 ? error : EIO);
  throw OutputWriteError(path_, failure_);
}

void Unit::hand_over() {
  std::size_t done = 0;
  while (done < write_length_) {
    const ssize_t n = ::write(fd_, write_buffer_.get() + done, write_length_ - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) fail(n < 0 ? errno : EIO);
    done += static_cast<std::size_t>(n);
  }
  write_length_ = 0;
}

void Unit::write_alone(std::string_view record) {
  // A record longer than the buffer: it and its line end in one system call (more only
  // when the system takes part of them).
  char line_end = '\n';
  iovec parts[2] = {{const_cast<char*>(record.data()), record.size()}, {&line_end, 1}};
  iovec* part = parts;
  int count = 2;
  while (count > 0) {
    const ssize_t n = ::writev(fd_, part, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) fail(n < 0 ? errno : EIO);
    std::size_t done = static_cast<std::size_t>(n);
    while (count > 0 && done >= part->iov_len) {
      done -= part->iov_len;
      ++part;
      --count;
    }
    if (count > 0) {
      part->iov_base = static_cast<char*>(part->iov_base) + done;
      part->iov_len -= done;
    }
  }
}

void Unit::write_record(std::string_view record) {
  if (failed()) return;
  give_back_read_ahead();
  if (truncate_on_write_) {
    truncate_on_write_ = false;
    const off_t here = ::lseek(fd_, 0, SEEK_CUR);
    if (here >= 0 && ftruncate(fd_, here) != 0) {
      // The file stays as long as it was; the records written now still replace
      // its first records, which is what a reader of the status file needs.
    }
  }
  // The buffer holds whole records only: one that does not fit in what is left sends
  // the buffer first, so that the system never gets part of a line. A failure to write
  // shows on the record being written.
  const std::size_t line = record.size() + 1;
  if (write_length_ + line > UNIT_BUFFER_BYTES) hand_over();
  if (line > UNIT_BUFFER_BYTES) {
    write_alone(record);
  } else {
    if (!write_buffer_) write_buffer_ = std::make_unique<char[]>(UNIT_BUFFER_BYTES);
    std::memcpy(write_buffer_.get() + write_length_, record.data(), record.size());
    write_buffer_[write_length_ + record.size()] = '\n';
    write_length_ += line;
  }
  ++record_;
}

void Unit::rewind() {
  flush();
  ::lseek(fd_, 0, SEEK_SET);
  read_next_ = read_end_ = 0;
  record_ = 0;
  truncate_on_write_ = true;
  forget_series_time();
}

void Unit::flush() {
  if (failed()) return;
  hand_over();
}

long Unit::written_length() {
  flush();
  give_back_read_ahead();
  return static_cast<long>(::lseek(fd_, 0, SEEK_CUR));
}

void Unit::cut_to(long length) {
  // Whatever is still buffered (after a failure) is dropped with the cut, so that no
  // later flush or close writes it after all.
  write_length_ = 0;
  read_next_ = read_end_ = 0;
  if (length >= 0 && ftruncate(fd_, length) == 0) ::lseek(fd_, length, SEEK_SET);
}

bool UnitTable::open(int unit, const std::string& path, UnitDirection direction) {
  close(unit);
  open_failure_.clear();
  auto fail = [&](int error) {
    open_failure_ = std::strerror(error);
    return false;
  };
  int fd = -1;
  struct stat st;
  switch (direction) {
    case UnitDirection::Input:
      if (stat(path.c_str(), &st) != 0) return fail(errno);
      if (S_ISDIR(st.st_mode)) return fail(EISDIR);
      fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
      break;
    case UnitDirection::Output:
      fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
      break;
    case UnitDirection::Update:
      if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return fail(EISDIR);
      fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
      break;
  }
  if (fd < 0) return fail(errno);
  units_[unit] = std::make_unique<Unit>(unit, path, fd);
  return true;
}

bool UnitTable::open_output(int unit, const std::string& path, int fd) {
  close(unit);
  open_failure_.clear();
  const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  // A regular file is emptied; a device (a terminal, /dev/null) takes the records as
  // they come.
  struct stat st;
  const bool regular = own >= 0 && fstat(own, &st) == 0 && S_ISREG(st.st_mode);
  const bool emptied = regular ? ftruncate(own, 0) == 0 && lseek(own, 0, SEEK_SET) == 0 : own >= 0;
  if (!emptied) {
    open_failure_ = std::strerror(errno);
    if (own >= 0) ::close(own);
    return false;
  }
  units_[unit] = std::make_unique<Unit>(unit, path, own);
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

void UnitTable::flush_written(int unit) {
  auto it = units_.find(unit);
  if (it != units_.end() && it->second->holds_unflushed()) it->second->flush();
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
