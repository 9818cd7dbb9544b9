// Whole-file reads through the C library, for the portable readers that take
// a path (the programs carry no iostreams).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brevaro::base {

enum class FileReadStatus { ok, missing, cannot_open, read_error };

struct FileReadResult {
  FileReadStatus status = FileReadStatus::ok;
  std::vector<std::uint8_t> bytes;  // the file's bytes when status is ok
};

// missing: nothing exists under the path; cannot_open: something exists but
// is not a readable regular file; read_error: reading stopped part way.
FileReadResult read_whole_file(const std::string& path);

}  // namespace brevaro::base
