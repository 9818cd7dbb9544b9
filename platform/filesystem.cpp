#include "platform/filesystem.h"

#include <new>

#include "base/winpath.h"

namespace brevaro::platform {

void create_directories(FileSystem& fs, std::string_view path) {
  while (!path.empty() && base::winpath::is_separator(path.back())) path.remove_suffix(1);
  if (path.empty() || fs.directory_exists(path)) return;
  const auto parent = base::winpath::parent(path);
  // "C:" has no folder of its own to create.
  if (!parent.empty() && !(parent.size() == 2 && parent[1] == ':')) create_directories(fs, parent);
  fs.create_directory(path);
}

void write_file_atomically(FileSystem& fs, std::string_view path, std::string_view bytes) {
  const std::string temp = std::string(path) + ".tmp";
  try {
    fs.write_file(temp, bytes);
    fs.replace_file(temp, path);
  } catch (...) {
    try {
      if (fs.file_exists(temp)) fs.delete_file(temp);
    } catch (...) {
      // The original error is the one worth reporting.
    }
    throw;
  }
}

bool try_delete_file(FileSystem& fs, std::string_view path) noexcept {
  try {
    if (fs.file_exists(path)) fs.delete_file(path);
    return !fs.file_exists(path);
  } catch (const FileError&) {
    return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool try_remove_directory(FileSystem& fs, std::string_view path) noexcept {
  try {
    if (fs.directory_exists(path)) fs.remove_directory(path);
    return !fs.directory_exists(path);
  } catch (const FileError&) {
    return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool try_create_directories(FileSystem& fs, std::string_view path) noexcept {
  try {
    create_directories(fs, path);
  } catch (const FileError&) {
    // Whether it is there afterwards is what counts.
  } catch (const std::bad_alloc&) {
    return false;
  }
  try {
    return fs.directory_exists(path);
  } catch (const FileError&) {
    return false;
  }
}

bool try_write_file(FileSystem& fs, std::string_view path, std::string_view bytes) noexcept {
  try {
    fs.write_file(path, bytes);
    return true;
  } catch (const FileError&) {
    return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace brevaro::platform
