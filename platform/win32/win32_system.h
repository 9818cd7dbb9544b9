// The platform ports on the Windows API.
#pragma once

#include "platform/system.h"

namespace brevaro::platform::win32 {

class Win32FileSystem final : public FileSystem {
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

class Win32Mutexes final : public Mutexes {
 public:
  MutexResult create(std::string_view name, bool initial_owner) override;
};

class Win32Process final : public Process {
 public:
  std::string executable_path() const override;
  std::optional<std::span<const std::byte>> raw_resource(std::string_view name) const override;
  std::string system_folder() const override;
  Elevation elevation() const override;
};

class Win32Registry final : public Registry {
 public:
  bool open_key(std::string_view key, bool create) override;
  std::optional<RegValue> read(std::string_view key, std::string_view name) const override;
  void write(std::string_view key, std::string_view name, const RegValue& value) override;
  bool delete_value(std::string_view key, std::string_view name) override;
  bool delete_key(std::string_view key) override;
};

class Win32Shell final : public Shell {
 public:
  std::intptr_t open(std::string_view target, ShowState show) override;
  std::uint32_t start_program(std::string_view command_line, ShowState show) override;
};

class Win32Clock final : public Clock {
 public:
  base::Date date() const override;
  base::TimeOfDay time() const override;
  std::uint64_t ticks_ms() const override;
  void sleep_ms(std::uint32_t ms) override;
};

class Win32Screen final : public Screen {
 public:
  Size size() const override;
  int logical_dpi() const override;
  Point cursor_pos() const override;
};

struct Win32System {
  Win32FileSystem fs;
  Win32Mutexes mutexes;
  Win32Process process;
  Win32Registry registry;
  Win32Shell shell;
  Win32Clock clock;
  Win32Screen screen;
  Ports ports() { return Ports{fs, mutexes, process, registry, shell, clock, screen}; }
};

}  // namespace brevaro::platform::win32
