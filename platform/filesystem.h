// Files and folders with the platform's semantics: backslash paths, names
// compared without regard to case, files that can be "in use" (a running
// executable cannot be deleted). Failures are FileError exceptions.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace brevaro::platform {

enum class FileErrorKind { not_found, access_denied, in_use, disk_full, already_exists, io };

class FileError : public std::runtime_error {
 public:
  FileError(FileErrorKind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
  FileErrorKind kind() const noexcept { return kind_; }

 private:
  FileErrorKind kind_;
};

struct DirEntry {
  std::string name;
  bool is_directory = false;
  // The hidden and system attributes; plain files have neither.
  bool hidden = false;
  bool system = false;
  // A junction or symbolic link (a reparse point): its target lies elsewhere.
  bool link = false;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual bool file_exists(std::string_view path) const = 0;
  virtual bool directory_exists(std::string_view path) const = 0;
  // One level; the parent must exist.
  virtual void create_directory(std::string_view path) = 0;
  virtual void remove_directory(std::string_view path) = 0;
  // The whole file, or nothing when it is missing or cannot be read.
  virtual std::optional<std::string> read_file(std::string_view path) const = 0;
  // Creates or overwrites the file with exactly these bytes.
  virtual void write_file(std::string_view path, std::string_view bytes) = 0;
  // Moves `from` over `to` in one step, replacing `to` if it exists.
  virtual void replace_file(std::string_view from, std::string_view to) = 0;
  virtual void delete_file(std::string_view path) = 0;
  virtual void copy_file(std::string_view from, std::string_view to) = 0;
  virtual std::vector<DirEntry> list_directory(std::string_view path) const = 0;
};

// Creates the folder and every missing parent.
void create_directories(FileSystem& fs, std::string_view path);

// Best-effort steps: each does what its port call does and reports whether
// it succeeded instead of throwing the port's FileError. A missing file or
// folder counts as done for the removals.
bool try_delete_file(FileSystem& fs, std::string_view path) noexcept;
bool try_remove_directory(FileSystem& fs, std::string_view path) noexcept;
// The folder and its missing parents; true when the folder is there afterwards.
bool try_create_directories(FileSystem& fs, std::string_view path) noexcept;
bool try_write_file(FileSystem& fs, std::string_view path, std::string_view bytes) noexcept;

// Writes the file so that a failure at any point leaves either the old file or
// the new one, never a truncated mix: the bytes go to a temporary file beside
// it, which then replaces the target in one step. The temporary file is
// removed again when the write fails.
void write_file_atomically(FileSystem& fs, std::string_view path, std::string_view bytes);

}  // namespace brevaro::platform
