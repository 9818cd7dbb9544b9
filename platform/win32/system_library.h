// Loading the system's own libraries without letting a file of the same name
// elsewhere stand in for them. A program started from a Downloads folder
// would otherwise load an "icmp.dll" lying beside it (the program's folder
// comes first in the classic search order).
#pragma once

#include <string>
#include <string_view>

#include "platform/win32/handles.h"

namespace brevaro::platform::win32 {

// Loads a library of the system folder by its file name ("icmp.dll"): with
// the search limited to the system folder where the system offers that
// (Windows 8, Windows 7 with its loader update), else by its full path in
// the system folder. Null when it cannot be loaded; GetLastError says why.
UniqueModule load_system_library(std::wstring_view file_name);

// The system folder ("C:\\Windows\\system32"), without a trailing
// backslash; empty when the system does not say.
std::wstring system_directory();

// Limits the search of every later load by bare name, the system's own
// included, to the system folder. Called first in each program's entry;
// looked up at run time, so that a system without it still starts.
// True when the restriction is in place.
bool restrict_library_search();

}  // namespace brevaro::platform::win32
