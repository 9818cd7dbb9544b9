// brevaro.exe: the client, its installer and its uninstaller in one program.
#include <windows.h>
#include <ole2.h>

#include "client/program.h"
#include "net/win32/socket_api.h"
#include "platform/win32/system_library.h"
#include "platform/win32/win32_shell_links.h"
#include "platform/win32/win32_system.h"
#include "ui/win32/win32_backend.h"
#include "ui/win32/win32_folder_dialog.h"

namespace {
// OLE for the whole process, before any form exists and until it ends.
class OleScope {
 public:
  OleScope() : ok_(SUCCEEDED(OleInitialize(nullptr))) {}
  ~OleScope() {
    if (ok_) OleUninitialize();
  }
  OleScope(const OleScope&) = delete;
  OleScope& operator=(const OleScope&) = delete;

 private:
  bool ok_;
};
}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Before anything loads a library: never one from the program's folder
  // or the current one in place of the system's own.
  brevaro::platform::win32::restrict_library_search();
  OleScope ole;
  brevaro::platform::win32::Win32System system;
  brevaro::ui::win32::Win32Backend backend;
  brevaro::net::win32::Win32SocketApi sockets;
  brevaro::platform::win32::Win32ShellLinks links;
  brevaro::ui::win32::Win32FolderDialog folders;
  brevaro::client::ProcessState state;
  {
    brevaro::ui::Application app(backend, system.ports());
    brevaro::client::run_program(app, state, sockets, brevaro::setup::SetupPorts{links, folders});
  }
  return 0;
}
