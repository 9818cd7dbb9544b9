#include "platform/win32/win32_system.h"

#include <windows.h>
#include <shellapi.h>

#include <cstring>
#include <memory>

#include "base/winpath.h"
#include "platform/win32/handles.h"
#include "platform/win32/system_library.h"
#include "platform/win32/wide.h"

namespace brevaro::platform::win32 {

namespace {

// A string for a W call (the std::wstring lives until the end of the full
// expression that holds the call).
std::wstring w(std::string_view s) { return widen(s); }

[[noreturn]] void throw_last_error(std::string_view what, std::string_view path) {
  const DWORD err = GetLastError();
  FileErrorKind kind = FileErrorKind::io;
  switch (err) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: kind = FileErrorKind::not_found; break;
    case ERROR_ACCESS_DENIED: kind = FileErrorKind::access_denied; break;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: kind = FileErrorKind::in_use; break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: kind = FileErrorKind::disk_full; break;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS: kind = FileErrorKind::already_exists; break;
    default: break;
  }
  throw FileError(kind, std::string(what) + " " + std::string(path) + " failed (error " + std::to_string(err) + ")");
}

std::wstring key_path(std::string_view key) {
  while (!key.empty() && key.front() == '\\') key.remove_prefix(1);
  return widen(key);
}

UniqueKey open(std::string_view key, bool create, REGSAM access) {
  HKEY k = nullptr;
  const std::wstring path = key_path(key);
  LONG rc = create ? RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, access, nullptr, &k, nullptr)
                   : RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, access, &k);
  if (rc != ERROR_SUCCESS) return UniqueKey{};
  return UniqueKey{k};
}

int show_command(ShowState s) {
  switch (s) {
    case ShowState::hide: return SW_HIDE;
    case ShowState::minimized: return SW_SHOWMINIMIZED;
    case ShowState::maximized: return SW_SHOWMAXIMIZED;
    case ShowState::normal: break;
  }
  return SW_SHOWNORMAL;
}

}  // namespace

// ---- files -------------------------------------------------------------------

bool Win32FileSystem::file_exists(std::string_view path) const {
  const DWORD a = GetFileAttributesW(w(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32FileSystem::directory_exists(std::string_view path) const {
  const DWORD a = GetFileAttributesW(w(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void Win32FileSystem::create_directory(std::string_view path) {
  if (!CreateDirectoryW(w(path).c_str(), nullptr)) throw_last_error("Creating folder", path);
}

void Win32FileSystem::remove_directory(std::string_view path) {
  if (!RemoveDirectoryW(w(path).c_str())) throw_last_error("Removing folder", path);
}

std::optional<std::string> Win32FileSystem::read_file(std::string_view path) const {
  UniqueKernelHandle h{CreateFileW(w(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
  if (!h) return std::nullopt;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(h.get(), &size) || size.QuadPart > (1LL << 30)) return std::nullopt;
  std::string data(static_cast<std::size_t>(size.QuadPart), '\0');
  std::size_t done = 0;
  while (done < data.size()) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1u << 20));
    if (!ReadFile(h.get(), data.data() + done, want, &got, nullptr) || got == 0) return std::nullopt;
    done += got;
  }
  return data;
}

void Win32FileSystem::write_file(std::string_view path, std::string_view bytes) {
  UniqueKernelHandle h{
      CreateFileW(w(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)};
  if (!h) throw_last_error("Creating file", path);
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD put = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    if (!WriteFile(h.get(), bytes.data() + done, want, &put, nullptr)) throw_last_error("Writing file", path);
    done += put;
  }
  if (!FlushFileBuffers(h.get())) throw_last_error("Flushing file", path);
}

void Win32FileSystem::replace_file(std::string_view from, std::string_view to) {
  if (!MoveFileExW(w(from).c_str(), w(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    throw_last_error("Replacing file", to);
}

void Win32FileSystem::delete_file(std::string_view path) {
  if (!DeleteFileW(w(path).c_str())) throw_last_error("Deleting file", path);
}

void Win32FileSystem::copy_file(std::string_view from, std::string_view to) {
  if (!CopyFileW(w(from).c_str(), w(to).c_str(), FALSE)) throw_last_error("Copying file", to);
}

std::vector<DirEntry> Win32FileSystem::list_directory(std::string_view path) const {
  std::vector<DirEntry> out;
  std::string pattern(path);
  if (!pattern.empty() && !base::winpath::is_separator(pattern.back())) pattern += '\\';
  pattern += '*';
  WIN32_FIND_DATAW fd{};
  UniqueFind f{FindFirstFileW(widen(pattern).c_str(), &fd)};
  if (!f) return out;
  do {
    const std::wstring_view name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    out.push_back(DirEntry{narrow(name), (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                           (fd.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0,
                           (fd.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) != 0,
                           (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
  } while (FindNextFileW(f.get(), &fd));
  return out;
}

// ---- mutexes -----------------------------------------------------------------

namespace {
class Win32Mutex final : public MutexHandle {
 public:
  explicit Win32Mutex(HANDLE h) : h_(h) {}

 private:
  UniqueKernelHandle h_;
};
}  // namespace

MutexResult Win32Mutexes::create(std::string_view name, bool initial_owner) {
  HANDLE h = CreateMutexW(nullptr, initial_owner ? TRUE : FALSE, w(name).c_str());
  const DWORD err = GetLastError();
  MutexResult r;
  r.last_error = err;
  if (h) r.handle = std::make_unique<Win32Mutex>(h);
  return r;
}

// ---- process -----------------------------------------------------------------

std::string Win32Process::executable_path() const {
  // A path longer than the buffer comes back cut to its size: grow and ask again.
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n < buf.size()) {
      buf.resize(n);
      return narrow(buf);
    }
    if (buf.size() >= 32768) return {};  // longer than any path the system has
    buf.resize(buf.size() * 2);
  }
}

std::optional<std::span<const std::byte>> Win32Process::raw_resource(std::string_view name) const {
  HRSRC res = FindResourceW(nullptr, w(name).c_str(), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  if (!res) return std::nullopt;
  HGLOBAL loaded = LoadResource(nullptr, res);
  if (!loaded) return std::nullopt;
  const void* data = LockResource(loaded);
  const DWORD size = SizeofResource(nullptr, res);
  if (!data) return std::nullopt;
  return std::span<const std::byte>(static_cast<const std::byte*>(data), size);
}

std::string Win32Process::system_folder() const { return narrow(system_directory()); }

namespace {

// The user SID in a process token, as bytes; empty when it cannot be read.
std::string token_user(HANDLE token) {
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  if (size == 0) return {};
  std::string buf(size, '\0');
  if (!GetTokenInformation(token, TokenUser, buf.data(), size, &size)) return {};
  const auto* user = reinterpret_cast<const TOKEN_USER*>(buf.data());
  if (!IsValidSid(user->User.Sid)) return {};
  const DWORD len = GetLengthSid(user->User.Sid);
  return std::string(static_cast<const char*>(user->User.Sid), len);
}

std::string process_user(HANDLE process) {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(process, TOKEN_QUERY, &raw)) return {};
  const UniqueKernelHandle token(raw);
  return token_user(token.get());
}

// Whether a token is elevated; none when it cannot be read.
std::optional<bool> token_elevated(HANDLE token) {
  TOKEN_ELEVATION te{};
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenElevation, &te, sizeof te, &size)) return std::nullopt;
  return te.TokenIsElevated != 0;
}

std::optional<bool> process_elevated(HANDLE process) {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(process, TOKEN_QUERY, &raw)) return std::nullopt;
  const UniqueKernelHandle token(raw);
  return token_elevated(token.get());
}

}  // namespace

Process::Elevation Win32Process::elevation() const {
  Elevation e;
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return e;
  const UniqueKernelHandle token(raw);
  const bool elevated = token_elevated(token.get()).value_or(false);
  // The desktop's shell runs as the signed-in user with the rights the user
  // normally has: elevation counts only above it, so it needs the shell to
  // compare with (a system that runs everything elevated, or shows no shell
  // window, elevates nobody), and a different user in our own token means
  // another account's credentials were given.
  if (HWND shell = GetShellWindow()) {
    DWORD pid = 0;
    GetWindowThreadProcessId(shell, &pid);
    if (pid != 0) {
      const UniqueKernelHandle shell_process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
      if (shell_process) {
        const auto shell_elevated = process_elevated(shell_process.get());
        e.elevated = elevated && shell_elevated.has_value() && !*shell_elevated;
        const std::string mine = token_user(token.get());
        const std::string theirs = process_user(shell_process.get());
        e.other_account = !mine.empty() && !theirs.empty() && mine != theirs;
      }
    }
  }
  return e;
}

// ---- registry ----------------------------------------------------------------

bool Win32Registry::open_key(std::string_view key, bool create) {
  return static_cast<bool>(open(key, create, KEY_READ));
}

std::optional<RegValue> Win32Registry::read(std::string_view key, std::string_view name) const {
  const UniqueKey k = open(key, false, KEY_READ);
  if (!k) return std::nullopt;
  const std::wstring n = widen(name);
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(k.get(), n.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
  std::string data;
  for (;;) {
    data.assign(size, '\0');
    const LONG rc = RegQueryValueExW(k.get(), n.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    if (rc == ERROR_SUCCESS) break;
    if (rc != ERROR_MORE_DATA) return std::nullopt;  // more only when the value grew in between
  }
  data.resize(size);
  if (type != REG_SZ && type != REG_EXPAND_SZ) return RegValue{static_cast<RegType>(type), data};
  // Strings are stored in UTF-16, usually with their terminator; the value's
  // data is the text alone, in UTF-8. An odd last byte is no character.
  std::wstring text(data.size() / sizeof(wchar_t), L'\0');
  if (!text.empty()) std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
  if (!text.empty() && text.back() == L'\0') text.pop_back();
  return RegValue{static_cast<RegType>(type), narrow(text)};
}

void Win32Registry::write(std::string_view key, std::string_view name, const RegValue& value) {
  const UniqueKey k = open(key, true, KEY_WRITE);
  if (!k) throw RegistryError("Failed to create key " + std::string(key));
  std::string data = value.data;
  if (value.type == RegType::sz || value.type == RegType::expand_sz) {
    // Text in UTF-16 with its terminator.
    const std::wstring text = widen(value.data);
    data.assign(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t));
  }
  if (RegSetValueExW(k.get(), w(name).c_str(), 0, static_cast<DWORD>(value.type),
                     reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size())) != ERROR_SUCCESS)
    throw RegistryError("Failed to set data for '" + std::string(name) + "'");
}

bool Win32Registry::delete_value(std::string_view key, std::string_view name) {
  const UniqueKey k = open(key, false, KEY_WRITE);
  return k && RegDeleteValueW(k.get(), w(name).c_str()) == ERROR_SUCCESS;
}

bool Win32Registry::delete_key(std::string_view key) {
  const std::wstring path = key_path(key);
  return !path.empty() && RegDeleteKeyW(HKEY_CURRENT_USER, path.c_str()) == ERROR_SUCCESS;
}

// ---- shell -------------------------------------------------------------------

std::intptr_t Win32Shell::open(std::string_view target, ShowState show) {
  const auto r = ShellExecuteW(nullptr, L"open", w(target).c_str(), nullptr, nullptr, show_command(show));
  return reinterpret_cast<std::intptr_t>(r);
}

// What WinExec does, in UTF-16: the program is found as CreateProcess finds
// it, the new program gets up to 30 seconds to come up and wait for input,
// and the result follows WinExec's convention (above 31 on success, else 0
// or the error: file or path not found, bad format).
std::uint32_t Win32Shell::start_program(std::string_view command_line, ShowState show) {
  std::wstring line = widen(command_line);  // CreateProcessW may write into it
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = static_cast<WORD>(show_command(show));
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    switch (const DWORD err = GetLastError()) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND: return err;
      case ERROR_BAD_EXE_FORMAT:
      case ERROR_BAD_FORMAT: return ERROR_BAD_FORMAT;
      default: return 0;
    }
  }
  const UniqueKernelHandle process(pi.hProcess);
  const UniqueKernelHandle thread(pi.hThread);
  WaitForInputIdle(process.get(), 30000);
  return 33;
}

// ---- clock -------------------------------------------------------------------

base::Date Win32Clock::date() const {
  SYSTEMTIME st{};
  GetLocalTime(&st);
  return base::Date{st.wYear, st.wMonth, st.wDay};
}

base::TimeOfDay Win32Clock::time() const {
  SYSTEMTIME st{};
  GetLocalTime(&st);
  return base::TimeOfDay{st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

std::uint64_t Win32Clock::ticks_ms() const { return GetTickCount64(); }
void Win32Clock::sleep_ms(std::uint32_t ms) { Sleep(ms); }

// ---- screen ------------------------------------------------------------------

Size Win32Screen::size() const { return Size{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

int Win32Screen::logical_dpi() const {
  const WindowDc screen(nullptr);
  return GetDeviceCaps(screen.get(), LOGPIXELSY);
}

Point Win32Screen::cursor_pos() const {
  POINT p{};
  GetCursorPos(&p);
  return Point{p.x, p.y};
}

}  // namespace brevaro::platform::win32
