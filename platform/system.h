// The operating-system services the programs use, as small ports. Each has a
// win32 implementation (the product), a headless one (host tests, in memory
// and on virtual time) and, where a Linux tool needs it, a posix one.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/datetime.h"
#include "platform/filesystem.h"

namespace brevaro::platform {

// ---- named mutexes -------------------------------------------------------
inline constexpr std::uint32_t kErrorAlreadyExists = 183;

class MutexHandle {
 public:
  virtual ~MutexHandle() = default;
};

struct MutexResult {
  std::unique_ptr<MutexHandle> handle;  // empty when creation failed
  std::uint32_t last_error = 0;         // the thread's last error right after creation
};

class Mutexes {
 public:
  virtual ~Mutexes() = default;
  virtual MutexResult create(std::string_view name, bool initial_owner) = 0;
};

// ---- the running program -------------------------------------------------
class Process {
 public:
  virtual ~Process() = default;
  // Full path of the running executable.
  virtual std::string executable_path() const = 0;
  // Bytes of a raw-data (RCDATA) resource of the executable, empty when missing.
  virtual std::optional<std::span<const std::byte>> raw_resource(std::string_view name) const = 0;
  // The Windows system folder, without trailing backslash.
  virtual std::string system_folder() const = 0;
  // Whether the process runs with more rights than the desktop's shell (an
  // elevated administrator token where the shell's is not; without a shell
  // to compare with, not elevated), and whether it
  // runs as another account than the one signed in to the desktop
  // (elevation with another account's credentials).
  struct Elevation {
    bool elevated = false;
    bool other_account = false;
  };
  virtual Elevation elevation() const = 0;
};

// ---- registry, current user ----------------------------------------------
enum class RegType : std::uint32_t { none = 0, sz = 1, expand_sz = 2, binary = 3, dword = 4 };

struct RegValue {
  RegType type = RegType::none;
  std::string data;  // raw bytes as stored (strings without their terminator)
};

class RegistryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Registry {
 public:
  virtual ~Registry() = default;
  // Key paths are below HKEY_CURRENT_USER, with or without a leading "\".
  virtual bool open_key(std::string_view key, bool create) = 0;
  virtual std::optional<RegValue> read(std::string_view key, std::string_view name) const = 0;
  virtual void write(std::string_view key, std::string_view name, const RegValue& value) = 0;
  virtual bool delete_value(std::string_view key, std::string_view name) = 0;
  // Deletes the key with its values (a key with sub-keys stays); false when
  // it was not there or could not be deleted.
  virtual bool delete_key(std::string_view key) = 0;
};

// Integer and text reads with the framework's strictness: the value must exist
// and be of that type.
std::optional<std::int32_t> read_reg_integer(const Registry& reg, std::string_view key, std::string_view name);
std::optional<std::string> read_reg_string(const Registry& reg, std::string_view key, std::string_view name);

// ---- shell ---------------------------------------------------------------
enum class ShowState { hide = 0, normal = 1, minimized = 2, maximized = 3 };

class Shell {
 public:
  virtual ~Shell() = default;
  // Opens a document or link with its default handler; the platform's result
  // code (greater than 32 on success).
  virtual std::intptr_t open(std::string_view target, ShowState show) = 0;
  // Starts a program by command line without waiting; greater than 31 on success.
  virtual std::uint32_t start_program(std::string_view command_line, ShowState show) = 0;
};

// ---- clock ---------------------------------------------------------------
class Clock {
 public:
  virtual ~Clock() = default;
  virtual base::Date date() const = 0;
  virtual base::TimeOfDay time() const = 0;
  // Milliseconds since an arbitrary start, monotonic.
  virtual std::uint64_t ticks_ms() const = 0;
  virtual void sleep_ms(std::uint32_t ms) = 0;
};

// ---- screen and cursor ---------------------------------------------------
struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
  int width = 0;
  int height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

class Screen {
 public:
  virtual ~Screen() = default;
  virtual Size size() const = 0;
  virtual int logical_dpi() const = 0;
  virtual Point cursor_pos() const = 0;
};

// Everything a program needs from the system, handed to forms and components
// by reference. One object per program; the backends own the implementations.
struct Ports {
  FileSystem& fs;
  Mutexes& mutexes;
  Process& process;
  Registry& registry;
  Shell& shell;
  Clock& clock;
  Screen& screen;
};

}  // namespace brevaro::platform
