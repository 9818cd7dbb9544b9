// In-memory, deterministic implementations of the platform ports for host
// tests: a Windows-semantics file system with injectable faults, a mutex table
// shared by the "processes" of a test, an in-memory registry, a recording
// shell, a virtual clock and a fake screen.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/system.h"

namespace brevaro::platform::headless {

class MemoryFileSystem final : public FileSystem {
 public:
  MemoryFileSystem();

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

  // Faults.
  void set_in_use(std::string_view path, bool in_use);    // opened elsewhere without sharing
  void set_running(std::string_view path, bool running);  // a running executable: no delete, no write
  void set_unreadable(std::string_view path, bool unreadable);
  void set_read_only_folder(std::string_view path, bool read_only);  // nothing can be created or changed in it
  void set_attributes(std::string_view path, bool hidden, bool system);
  // Marks an entry as a junction or symbolic link (its contents stay as they are).
  void set_link(std::string_view path, bool link);
  // Bytes that may still be written; a write that needs more writes what fits
  // and fails with "disk full", as a real full disk does. Negative: no limit.
  void set_free_space(std::int64_t bytes) { free_space_ = bytes; }

  // Convenience for tests: a file and all of its folders.
  void put(std::string_view path, std::string_view bytes);
  std::size_t write_count() const { return writes_; }

 private:
  struct Node {
    std::string name;  // as first created
    bool is_directory = false;
    std::string data;
  };
  static std::string key(std::string_view path);
  const Node* find(std::string_view path) const;
  void check_parent_writable(std::string_view path) const;
  void check_file_changeable(std::string_view path) const;

  std::map<std::string, Node> nodes_;
  std::set<std::string> in_use_, running_, unreadable_, read_only_, hidden_, system_, links_;
  std::int64_t free_space_ = -1;
  std::size_t writes_ = 0;
};

// Named mutexes that all "processes" of one test share.
class MutexTable {
 public:
  std::map<std::string, int> open_handles;  // by upper-case name
};

class HeadlessMutexes final : public Mutexes {
 public:
  explicit HeadlessMutexes(std::shared_ptr<MutexTable> table) : table_(std::move(table)) {}
  MutexResult create(std::string_view name, bool initial_owner) override;

 private:
  std::shared_ptr<MutexTable> table_;
};

class FakeProcess final : public Process {
 public:
  std::string exe_path = "C:\\Program Files\\brevaro\\brevaro.exe";
  std::string system_dir = "C:\\windows\\system32";
  std::map<std::string, std::vector<std::byte>> resources;  // by upper-case name

  std::string executable_path() const override { return exe_path; }
  std::optional<std::span<const std::byte>> raw_resource(std::string_view name) const override;
  std::string system_folder() const override { return system_dir; }
  Elevation elevated_as{};
  Elevation elevation() const override { return elevated_as; }
};

class MemoryRegistry final : public Registry {
 public:
  bool open_key(std::string_view key, bool create) override;
  std::optional<RegValue> read(std::string_view key, std::string_view name) const override;
  void write(std::string_view key, std::string_view name, const RegValue& value) override;
  bool delete_value(std::string_view key, std::string_view name) override;
  bool delete_key(std::string_view key) override;
  bool has_key(std::string_view key) const { return keys_.count(norm(key)) > 0; }

  void set_string(std::string_view key, std::string_view name, std::string_view value);
  void set_dword(std::string_view key, std::string_view name, std::uint32_t value);
  void set_broken(bool broken) { broken_ = broken; }  // every call fails

 private:
  static std::string norm(std::string_view key);
  std::map<std::string, std::map<std::string, RegValue>> keys_;
  bool broken_ = false;
};

class RecordingShell final : public Shell {
 public:
  struct Call {
    enum Kind { open, start } kind;
    std::string target;
    ShowState show;
  };
  std::vector<Call> calls;
  std::intptr_t open_result = 42;
  std::uint32_t start_result = 33;

  std::intptr_t open(std::string_view target, ShowState show) override;
  std::uint32_t start_program(std::string_view command_line, ShowState show) override;
};

// Virtual time. The headless event loop advances it; sleep_ms moves it on
// without running anything.
class VirtualClock final : public Clock {
 public:
  VirtualClock();
  base::Date date() const override;
  base::TimeOfDay time() const override;
  std::uint64_t ticks_ms() const override { return now_ms_; }
  void sleep_ms(std::uint32_t ms) override { now_ms_ += ms; }

  void advance(std::uint64_t ms) { now_ms_ += ms; }
  // The wall-clock time that ticks 0 corresponds to.
  void set_start(const base::LocalDateTime& start);
  // Makes the next `n` reads of date() or time() throw.
  void fail_next_reads(int n) { failing_reads_ = n; }

 private:
  base::LocalDateTime at(std::uint64_t ms) const;
  void maybe_fail() const;
  std::int64_t start_days_ = 0;  // days since 1970-01-01
  std::uint64_t start_ms_of_day_ = 0;
  std::uint64_t now_ms_ = 0;
  mutable int failing_reads_ = 0;
};

class FakeScreen final : public Screen {
 public:
  Size screen_size{1024, 768};
  int dpi = 96;
  Point cursor{};
  Size size() const override { return screen_size; }
  int logical_dpi() const override { return dpi; }
  Point cursor_pos() const override { return cursor; }
};

// One headless "process": all ports, the mutex table shared with others.
struct HeadlessSystem {
  explicit HeadlessSystem(std::shared_ptr<MutexTable> table = std::make_shared<MutexTable>())
      : mutexes(std::move(table)) {}
  MemoryFileSystem fs;
  HeadlessMutexes mutexes;
  FakeProcess process;
  MemoryRegistry registry;
  RecordingShell shell;
  VirtualClock clock;
  FakeScreen screen;
  Ports ports() { return Ports{fs, mutexes, process, registry, shell, clock, screen}; }
};

}  // namespace brevaro::platform::headless
