// Tray.exe: the tray companion program.
#include <windows.h>

#include "menu/win32/win32_menu_view.h"
#include "platform/win32/system_library.h"
#include "platform/win32/win32_system.h"
#include "tray/program.h"
#include "tray/win32/win32_tray_platform.h"
#include "ui/win32/win32_backend.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Before anything loads a library: never one from the program's folder
  // or the current one in place of the system's own.
  brevaro::platform::win32::restrict_library_search();
  brevaro::platform::win32::Win32System system;
  brevaro::ui::win32::Win32Backend backend;
  brevaro::tray::win32::Win32TrayPlatform tray_platform;
  brevaro::menu::win32::Win32MenuView menu_view;
  {
    brevaro::ui::Application app(backend, system.ports());
    brevaro::tray::run_program(app, tray_platform, menu_view);
  }
  return 0;
}
