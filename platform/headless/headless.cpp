#include "platform/headless/headless.h"

#include <chrono>
#include <stdexcept>

#include "base/ascii.h"
#include "base/winpath.h"

namespace brevaro::platform::headless {

namespace wp = base::winpath;

// ---- MemoryFileSystem ------------------------------------------------------

MemoryFileSystem::MemoryFileSystem() { nodes_[key("C:")] = Node{"C:", true, {}}; }

std::string MemoryFileSystem::key(std::string_view path) {
  std::string k = base::upper(wp::to_backslashes(path));
  while (!k.empty() && k.back() == '\\') k.pop_back();
  return k;
}

const MemoryFileSystem::Node* MemoryFileSystem::find(std::string_view path) const {
  const auto it = nodes_.find(key(path));
  return it == nodes_.end() ? nullptr : &it->second;
}

bool MemoryFileSystem::file_exists(std::string_view path) const {
  const auto* n = find(path);
  return n && !n->is_directory;
}

bool MemoryFileSystem::directory_exists(std::string_view path) const {
  const auto* n = find(path);
  return n && n->is_directory;
}

namespace {
// A named stream ("C:\\f.exe:Zone.Identifier") belongs to its file: the
// path without the stream.
std::string_view without_stream(std::string_view path) {
  const auto colon = path.find(':', 2);
  return colon == std::string_view::npos ? path : path.substr(0, colon);
}
}  // namespace

void MemoryFileSystem::check_parent_writable(std::string_view path) const {
  const std::string parent = key(wp::parent(wp::to_backslashes(without_stream(path))));
  const auto* p = find(parent);
  if (!p || !p->is_directory) throw FileError(FileErrorKind::not_found, "Path not found");
  if (read_only_.count(parent)) throw FileError(FileErrorKind::access_denied, "Access is denied");
}

void MemoryFileSystem::check_file_changeable(std::string_view path) const {
  const std::string k = key(path);
  if (running_.count(k)) throw FileError(FileErrorKind::access_denied, "Access is denied");
  if (in_use_.count(k))
    throw FileError(FileErrorKind::in_use,
                    "The process cannot access the file because it is being used by another process");
}

void MemoryFileSystem::create_directory(std::string_view path) {
  if (find(path)) throw FileError(FileErrorKind::already_exists, "Cannot create a file when that file already exists");
  check_parent_writable(path);
  nodes_[key(path)] = Node{std::string(wp::file_name(wp::to_backslashes(path))), true, {}};
}

void MemoryFileSystem::remove_directory(std::string_view path) {
  const auto* n = find(path);
  if (!n || !n->is_directory) throw FileError(FileErrorKind::not_found, "File not found");
  if (!list_directory(path).empty()) throw FileError(FileErrorKind::io, "The directory is not empty");
  check_parent_writable(path);
  nodes_.erase(key(path));
}

std::optional<std::string> MemoryFileSystem::read_file(std::string_view path) const {
  const auto* n = find(path);
  if (!n || n->is_directory || unreadable_.count(key(path)) || in_use_.count(key(path))) return std::nullopt;
  return n->data;
}

void MemoryFileSystem::write_file(std::string_view path, std::string_view bytes) {
  if (const auto* n = find(path); n && n->is_directory)
    throw FileError(FileErrorKind::access_denied, "Access is denied");
  check_parent_writable(path);
  check_file_changeable(path);
  ++writes_;
  Node& node = nodes_[key(path)];
  node.name = std::string(wp::file_name(wp::to_backslashes(path)));
  node.is_directory = false;
  if (free_space_ >= 0 && static_cast<std::int64_t>(bytes.size()) > free_space_) {
    node.data.assign(bytes.substr(0, static_cast<std::size_t>(free_space_)));
    free_space_ = 0;
    throw FileError(FileErrorKind::disk_full, "There is not enough space on the disk");
  }
  if (free_space_ >= 0) free_space_ -= static_cast<std::int64_t>(bytes.size());
  node.data.assign(bytes);
}

void MemoryFileSystem::replace_file(std::string_view from, std::string_view to) {
  const auto* src = find(from);
  if (!src || src->is_directory) throw FileError(FileErrorKind::not_found, "File not found");
  check_file_changeable(from);
  check_parent_writable(to);
  if (file_exists(to)) check_file_changeable(to);
  Node moved = *src;
  moved.name = std::string(wp::file_name(wp::to_backslashes(to)));
  nodes_.erase(key(from));
  nodes_[key(to)] = std::move(moved);
}

void MemoryFileSystem::delete_file(std::string_view path) {
  const auto* n = find(path);
  if (!n || n->is_directory) throw FileError(FileErrorKind::not_found, "File not found");
  check_file_changeable(path);
  check_parent_writable(path);
  nodes_.erase(key(path));
  hidden_.erase(key(path));
  system_.erase(key(path));
}

void MemoryFileSystem::copy_file(std::string_view from, std::string_view to) {
  const auto data = read_file(from);
  if (!data) throw FileError(FileErrorKind::not_found, "File not found");
  write_file(to, *data);
  // Named streams ("file:stream") travel with the file, as the system's
  // copy takes them along.
  const std::string streams = key(from) + ":";
  std::vector<std::pair<std::string, std::string>> copies;
  for (auto it = nodes_.lower_bound(streams); it != nodes_.end() && it->first.compare(0, streams.size(), streams) == 0;
       ++it)
    copies.emplace_back(std::string(to) + it->first.substr(streams.size() - 1), it->second.data);
  for (const auto& [path, bytes] : copies) write_file(path, bytes);
}

std::vector<DirEntry> MemoryFileSystem::list_directory(std::string_view path) const {
  std::vector<DirEntry> out;
  const std::string prefix = key(path) + "\\";
  for (auto it = nodes_.lower_bound(prefix); it != nodes_.end() && it->first.compare(0, prefix.size(), prefix) == 0;
       ++it) {
    if (it->first.find('\\', prefix.size()) != std::string::npos) continue;
    if (it->first.find(':', prefix.size()) != std::string::npos) continue;  // a named stream, not a file
    out.push_back(
        DirEntry{it->second.name, it->second.is_directory, hidden_.count(it->first) > 0, system_.count(it->first) > 0,
                 links_.count(it->first) > 0});
  }
  return out;
}

void MemoryFileSystem::set_in_use(std::string_view path, bool v) {
  v ? (void)in_use_.insert(key(path)) : (void)in_use_.erase(key(path));
}
void MemoryFileSystem::set_link(std::string_view path, bool v) {
  v ? (void)links_.insert(key(path)) : (void)links_.erase(key(path));
}
void MemoryFileSystem::set_running(std::string_view path, bool v) {
  v ? (void)running_.insert(key(path)) : (void)running_.erase(key(path));
}
void MemoryFileSystem::set_unreadable(std::string_view path, bool v) {
  v ? (void)unreadable_.insert(key(path)) : (void)unreadable_.erase(key(path));
}
void MemoryFileSystem::set_read_only_folder(std::string_view path, bool v) {
  v ? (void)read_only_.insert(key(path)) : (void)read_only_.erase(key(path));
}

void MemoryFileSystem::set_attributes(std::string_view path, bool hidden, bool system) {
  hidden ? (void)hidden_.insert(key(path)) : (void)hidden_.erase(key(path));
  system ? (void)system_.insert(key(path)) : (void)system_.erase(key(path));
}

void MemoryFileSystem::put(std::string_view path, std::string_view bytes) {
  create_directories(*this, wp::parent(wp::to_backslashes(path)));
  const auto saved = free_space_;
  free_space_ = -1;
  write_file(path, bytes);
  free_space_ = saved;
}

// ---- mutexes ---------------------------------------------------------------

namespace {
class TableMutex final : public MutexHandle {
 public:
  TableMutex(std::shared_ptr<MutexTable> table, std::string name) : table_(std::move(table)), name_(std::move(name)) {}
  ~TableMutex() override {
    if (--table_->open_handles[name_] == 0) table_->open_handles.erase(name_);
  }
  TableMutex(const TableMutex&) = delete;
  TableMutex& operator=(const TableMutex&) = delete;

 private:
  std::shared_ptr<MutexTable> table_;
  std::string name_;
};
}  // namespace

MutexResult HeadlessMutexes::create(std::string_view name, bool /*initial_owner*/) {
  const std::string n = base::upper(name);
  const bool existed = table_->open_handles.count(n) != 0;
  ++table_->open_handles[n];
  return MutexResult{std::make_unique<TableMutex>(table_, n), existed ? kErrorAlreadyExists : 0u};
}

// ---- process ---------------------------------------------------------------

std::optional<std::span<const std::byte>> FakeProcess::raw_resource(std::string_view name) const {
  const auto it = resources.find(base::upper(name));
  if (it == resources.end()) return std::nullopt;
  return std::span<const std::byte>(it->second);
}

// ---- registry --------------------------------------------------------------

std::string MemoryRegistry::norm(std::string_view key) {
  std::string k = base::upper(key);
  while (!k.empty() && k.front() == '\\') k.erase(0, 1);
  while (!k.empty() && k.back() == '\\') k.pop_back();
  return k;
}

bool MemoryRegistry::open_key(std::string_view key, bool create) {
  if (broken_) return false;
  const auto k = norm(key);
  if (keys_.count(k)) return true;
  if (!create) return false;
  keys_[k];
  return true;
}

std::optional<RegValue> MemoryRegistry::read(std::string_view key, std::string_view name) const {
  if (broken_) return std::nullopt;
  const auto it = keys_.find(norm(key));
  if (it == keys_.end()) return std::nullopt;
  const auto v = it->second.find(base::upper(name));
  if (v == it->second.end()) return std::nullopt;
  return v->second;
}

void MemoryRegistry::write(std::string_view key, std::string_view name, const RegValue& value) {
  if (broken_) throw RegistryError("Failed to set data for '" + std::string(name) + "'");
  keys_[norm(key)][base::upper(name)] = value;
}

bool MemoryRegistry::delete_value(std::string_view key, std::string_view name) {
  if (broken_) return false;
  const auto it = keys_.find(norm(key));
  return it != keys_.end() && it->second.erase(base::upper(name)) > 0;
}

bool MemoryRegistry::delete_key(std::string_view key) {
  if (broken_) return false;
  const std::string k = norm(key);
  const std::string below = k + "\\";
  for (const auto& [name, values] : keys_)
    if (name.compare(0, below.size(), below) == 0) return false;  // sub-keys keep it
  return keys_.erase(k) > 0;
}

void MemoryRegistry::set_string(std::string_view key, std::string_view name, std::string_view value) {
  keys_[norm(key)][base::upper(name)] = RegValue{RegType::sz, std::string(value)};
}

void MemoryRegistry::set_dword(std::string_view key, std::string_view name, std::uint32_t value) {
  std::string data(4, '\0');
  for (int i = 0; i < 4; ++i) data[static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
  keys_[norm(key)][base::upper(name)] = RegValue{RegType::dword, data};
}

// ---- shell -----------------------------------------------------------------

std::intptr_t RecordingShell::open(std::string_view target, ShowState show) {
  calls.push_back(Call{Call::open, std::string(target), show});
  return open_result;
}

std::uint32_t RecordingShell::start_program(std::string_view command_line, ShowState show) {
  calls.push_back(Call{Call::start, std::string(command_line), show});
  return start_result;
}

// ---- virtual clock ---------------------------------------------------------

VirtualClock::VirtualClock() { set_start(base::LocalDateTime{{2001, 3, 5}, {14, 7, 9, 123}}); }

void VirtualClock::set_start(const base::LocalDateTime& start) {
  using namespace std::chrono;
  const auto ymd = year{start.date.year} / month{static_cast<unsigned>(start.date.month)} /
                   day{static_cast<unsigned>(start.date.day)};
  start_days_ = sys_days{ymd}.time_since_epoch().count();
  start_ms_of_day_ =
      ((static_cast<std::uint64_t>(start.time.hour) * 60 + static_cast<std::uint64_t>(start.time.minute)) * 60 +
       static_cast<std::uint64_t>(start.time.second)) *
          1000 +
      static_cast<std::uint64_t>(start.time.millisecond);
  now_ms_ = 0;
}

base::LocalDateTime VirtualClock::at(std::uint64_t ms) const {
  using namespace std::chrono;
  const std::uint64_t total = start_ms_of_day_ + ms;
  const auto days_on = static_cast<std::int64_t>(total / 86'400'000);
  std::uint64_t rest = total % 86'400'000;
  const year_month_day ymd{sys_days{days{start_days_ + days_on}}};
  base::LocalDateTime r;
  r.date = {static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
            static_cast<int>(static_cast<unsigned>(ymd.day()))};
  r.time.millisecond = static_cast<int>(rest % 1000);
  rest /= 1000;
  r.time.second = static_cast<int>(rest % 60);
  rest /= 60;
  r.time.minute = static_cast<int>(rest % 60);
  r.time.hour = static_cast<int>(rest / 60);
  return r;
}

void VirtualClock::maybe_fail() const {
  if (failing_reads_ > 0) {
    --failing_reads_;
    throw std::runtime_error("clock read failed");
  }
}

base::Date VirtualClock::date() const {
  maybe_fail();
  return at(now_ms_).date;
}

base::TimeOfDay VirtualClock::time() const {
  maybe_fail();
  return at(now_ms_).time;
}

}  // namespace brevaro::platform::headless
