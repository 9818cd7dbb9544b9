// Tray.exe: the tray companion program.
#include <windows.h>

#include "platform/win32/win32_system.h"
#include "tray/program.h"
#include "ui/win32/win32_backend.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  brevaro::platform::win32::Win32System system;
  brevaro::ui::win32::Win32Backend backend;
  brevaro::ui::Application app(backend, system.ports());
  brevaro::tray::run_program(app);
  return 0;
}
