#include "platform/posix/posix_system.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>

#include "base/winpath.h"
#include "platform/posix/unique_fd.h"

namespace brevaro::platform::posix {

namespace fs = std::filesystem;

namespace {
std::string native(std::string_view path) {
  std::string p(path);
  for (char& c : p)
    if (c == '\\') c = '/';
  return p;
}

[[noreturn]] void throw_errno(std::string_view what, std::string_view path, int err) {
  FileErrorKind kind = FileErrorKind::io;
  if (err == ENOENT || err == ENOTDIR) kind = FileErrorKind::not_found;
  if (err == EACCES || err == EPERM || err == EROFS) kind = FileErrorKind::access_denied;
  if (err == ENOSPC || err == EDQUOT) kind = FileErrorKind::disk_full;
  if (err == EEXIST) kind = FileErrorKind::already_exists;
  if (err == ETXTBSY || err == EBUSY) kind = FileErrorKind::in_use;
  throw FileError(kind, std::string(what) + " " + std::string(path) + ": " + std::strerror(err));
}

}  // namespace

bool PosixFileSystem::file_exists(std::string_view path) const {
  std::error_code ec;
  return fs::is_regular_file(native(path), ec);
}

bool PosixFileSystem::directory_exists(std::string_view path) const {
  std::error_code ec;
  return fs::is_directory(native(path), ec);
}

void PosixFileSystem::create_directory(std::string_view path) {
  if (::mkdir(native(path).c_str(), 0755) != 0) throw_errno("Creating folder", path, errno);
}

void PosixFileSystem::remove_directory(std::string_view path) {
  if (::rmdir(native(path).c_str()) != 0) throw_errno("Removing folder", path, errno);
}

std::optional<std::string> PosixFileSystem::read_file(std::string_view path) const {
  std::ifstream in(native(path), std::ios::binary);
  if (!in) return std::nullopt;
  std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return data;
}

void PosixFileSystem::write_file(std::string_view path, std::string_view bytes) {
  const UniqueFd f{::open(native(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)};
  if (!f) throw_errno("Creating file", path, errno);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(f.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw_errno("Writing file", path, errno);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(f.get()) != 0) throw_errno("Flushing file", path, errno);
}

void PosixFileSystem::replace_file(std::string_view from, std::string_view to) {
  if (::rename(native(from).c_str(), native(to).c_str()) != 0) throw_errno("Replacing file", to, errno);
}

void PosixFileSystem::delete_file(std::string_view path) {
  if (::unlink(native(path).c_str()) != 0) throw_errno("Deleting file", path, errno);
}

void PosixFileSystem::copy_file(std::string_view from, std::string_view to) {
  std::error_code ec;
  fs::copy_file(native(from), native(to), fs::copy_options::overwrite_existing, ec);
  if (ec) throw_errno("Copying file", to, ec.value());
}

std::vector<DirEntry> PosixFileSystem::list_directory(std::string_view path) const {
  std::vector<DirEntry> out;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(native(path), ec))
    out.push_back(DirEntry{e.path().filename().string(), e.is_directory()});
  return out;
}

namespace {
std::tm local_now(int& millis) {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  millis =
      static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  std::tm tm{};
  localtime_r(&t, &tm);
  return tm;
}
}  // namespace

base::Date PosixClock::date() const {
  int ms = 0;
  const std::tm tm = local_now(ms);
  return base::Date{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

base::TimeOfDay PosixClock::time() const {
  int ms = 0;
  const std::tm tm = local_now(ms);
  return base::TimeOfDay{tm.tm_hour, tm.tm_min, tm.tm_sec, ms};
}

std::uint64_t PosixClock::ticks_ms() const {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
}

void PosixClock::sleep_ms(std::uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::string PosixProcess::executable_path() const {
  std::error_code ec;
  return fs::read_symlink("/proc/self/exe", ec).string();
}

namespace {
class LockMutex final : public MutexHandle {
 public:
  explicit LockMutex(int fd) : fd_(fd) {}
  ~LockMutex() override { ::close(fd_); }
  LockMutex(const LockMutex&) = delete;
  LockMutex& operator=(const LockMutex&) = delete;

 private:
  int fd_;
};
}  // namespace

MutexResult PosixMutexes::create(std::string_view name, bool /*initial_owner*/) {
  std::string file = (fs::temp_directory_path() / ("brevaro-mutex-" + std::string(name) + ".lock")).string();
  const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  MutexResult r;
  if (fd < 0) {
    r.last_error = 5;
    return r;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) r.last_error = kErrorAlreadyExists;
  r.handle = std::make_unique<LockMutex>(fd);
  return r;
}

}  // namespace brevaro::platform::posix
