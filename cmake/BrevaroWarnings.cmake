# Warnings for every target of the project; -Werror where BREVARO_WERROR is on (CI).
add_library(brevaro_warnings INTERFACE)
target_compile_options(brevaro_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual
  -Wnull-dereference -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # GCC 12 reports impossible overlaps inside std::string's operator+ at -O2
  # and above (-Wrestrict, a known false positive of that release), and
  # -Wnull-dereference fires inside the standard library's own headers.
  target_compile_options(brevaro_warnings INTERFACE -Wno-null-dereference -Wno-restrict)
endif()
if(BREVARO_WERROR)
  target_compile_options(brevaro_warnings INTERFACE -Werror)
endif()

add_library(brevaro_sanitize INTERFACE)
if(BREVARO_SANITIZE)
  target_compile_options(brevaro_sanitize INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(brevaro_sanitize INTERFACE -fsanitize=address,undefined)
endif()
if(BREVARO_FUZZ)
  target_compile_options(brevaro_sanitize INTERFACE -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(brevaro_sanitize INTERFACE -fsanitize=address,undefined)
endif()

# brevaro_add_library(name SOURCES...): a static library of the project with
# warnings and sanitizers applied and the source tree root on its include path.
function(brevaro_add_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
  target_link_libraries(${name} PUBLIC brevaro_sanitize PRIVATE brevaro_warnings)
endfunction()

function(brevaro_add_executable name)
  add_executable(${name} ${ARGN})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
  target_link_libraries(${name} PRIVATE brevaro_sanitize brevaro_warnings)
endfunction()
