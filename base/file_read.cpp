#include "base/file_read.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <memory>

namespace brevaro::base {

FileReadResult read_whole_file(const std::string& path) {
  FileReadResult result;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    result.status = errno == ENOENT || errno == ENOTDIR ? FileReadStatus::missing : FileReadStatus::cannot_open;
    return result;
  }
  if ((st.st_mode & S_IFMT) != S_IFREG) {
    result.status = FileReadStatus::cannot_open;
    return result;
  }
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) {
    result.status = FileReadStatus::cannot_open;
    return result;
  }
  std::uint8_t chunk[16384];
  for (;;) {
    const std::size_t n = std::fread(chunk, 1, sizeof chunk, file.get());
    result.bytes.insert(result.bytes.end(), chunk, chunk + n);
    if (n < sizeof chunk) break;
  }
  if (std::ferror(file.get())) {
    result.status = FileReadStatus::read_error;
    result.bytes.clear();
  }
  return result;
}

}  // namespace brevaro::base
