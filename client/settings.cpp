#include "client/settings.h"

namespace brevaro::client {

base::IniDocument load_settings(const platform::FileSystem& fs, std::string_view path) {
  const auto text = fs.read_file(path);
  return text ? base::IniDocument::parse(*text) : base::IniDocument{};
}

void save_settings(platform::FileSystem& fs, std::string_view path, const base::IniDocument& doc) {
  platform::write_file_atomically(fs, path, doc.text());
}

}  // namespace brevaro::client
