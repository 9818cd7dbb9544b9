// The platform ports that Linux tools and host tests use for real: files
// (backslashes read as slashes; names as case-sensitive as the Linux file
// system is), the clock, the executable's path and file-lock based named
// mutexes.
#pragma once

#include "platform/system.h"

namespace brevaro::platform::posix {

class PosixFileSystem final : public FileSystem {
 public:
  bool file_exists(std::string_view path) const override;
  bool directory_exists(std::string_view path) const override;
  void create_directory(std::string_view path) override;
  void remove_directory(std::string_view path) override;
  std::optional<std::string> read_file(std::string_view path) const override;
  void write_file(std::string_view path, std::string_view bytes) override;
  void replace_file(std::string_view from, std::string_view to) override;
  void delete_file(std::string_view path) override;
  void copy_file(std::string_view from, std::string_view to) override;
  std::vector<DirEntry> list_directory(std::string_view path) const override;
};

class PosixClock final : public Clock {
 public:
  base::Date date() const override;
  base::TimeOfDay time() const override;
  std::uint64_t ticks_ms() const override;
  void sleep_ms(std::uint32_t ms) override;
};

class PosixProcess final : public Process {
 public:
  std::string executable_path() const override;
  std::optional<std::span<const std::byte>> raw_resource(std::string_view) const override { return std::nullopt; }
  std::string system_folder() const override { return "/usr/lib"; }
  Elevation elevation() const override { return {}; }
};

// A named mutex is an exclusive lock on a file in the temporary folder; the
// lock goes with the process, as the platform's mutex does.
class PosixMutexes final : public Mutexes {
 public:
  MutexResult create(std::string_view name, bool initial_owner) override;
};

}  // namespace brevaro::platform::posix
