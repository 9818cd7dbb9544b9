#include "client/advert_refresh.h"

#include <algorithm>
#include <optional>

#include "base/ascii.h"
#include "base/scope_exit.h"
#include "client/banner_description.h"

namespace brevaro::client {

namespace {

// One synchronous GET: the document, or nothing after a transport failure,
// an abort, a status of 400 or above, or more than `cap` bytes (the transfer
// is then abandoned at once). A client that is still busy with a transfer
// further up the stack (a handler that ran while it waited) is left alone.
std::optional<std::string> fetch(net::THttpCli& http, const std::string& url, std::uint64_t cap,
                                 std::uint32_t total_ms) {
  if (http.State() != net::httpReady) return std::nullopt;
  http.SetIdleTimeout(kTransferIdleMs);
  http.SetTotalTimeout(total_ms);
  net::TMemoryStream stream;
  bool too_large = false;
  const auto over = [&](net::THttpCli& c, std::int64_t n) {
    if (n > static_cast<std::int64_t>(cap) && !too_large) {
      too_large = true;
      c.Abort();
    }
  };
  http.SetURL(url);
  http.SetReceiveStream(&stream);
  http.OnHeaderEnd = [&](net::THttpCli& c) { over(c, c.ContentLength()); };
  http.OnDocData = [&](net::THttpCli& c, const char*, int) { over(c, c.ReceivedCount()); };
  const base::ScopeExit reset([&] {
    http.SetReceiveStream(nullptr);
    http.OnHeaderEnd = nullptr;
    http.OnDocData = nullptr;
  });
  try {
    http.Get();
  } catch (const std::exception&) {
    try {
      http.Abort();
    } catch (const std::exception&) {
    }
    return std::nullopt;
  }
  if (too_large) return std::nullopt;
  return stream.Text();
}

void delete_quietly(platform::FileSystem& fs, const std::string& path) {
  try {
    fs.delete_file(path);
  } catch (const platform::FileError&) {
  }
}

}  // namespace

AdvertRefresh::AdvertRefresh(ui::Application& app, AdvertParts parts, ProcessState& state, const BannerLinks& links,
                             std::function<void()> check_latest_version)
    : app_(app), parts_(parts), state_(state), links_(links), check_latest_version_(std::move(check_latest_version)) {}

bool AdvertRefresh::ending() const { return app_.terminated() || app_.backend().quitting(); }

std::uint64_t AdvertRefresh::StoredBannerBytes() const {
  const platform::FileSystem& fs = app_.ports().fs;
  std::uint64_t total = 0;
  for (const std::string& folder : {banners_folder(), download_folder()}) {
    std::vector<platform::DirEntry> entries;
    try {
      entries = fs.list_directory(folder);
    } catch (const std::exception&) {
      continue;  // a folder that is not there holds nothing
    }
    for (const auto& e : entries) {
      if (e.is_directory) continue;
      if (const auto bytes = fs.read_file(folder + e.name)) total += bytes->size();
    }
  }
  return total;
}

void AdvertRefresh::RefreshAdverts() {
  parts_.list_lines.clear();
  FetchAdvertList();
}

void AdvertRefresh::LoadLinesFromStream(ui::Memo& memo, std::string_view bytes) {
  // The memo takes the lines in one go: it rebuilds its whole text on every
  // change, which line by line would cost the square of the document's size.
  std::vector<std::string> lines = memo.lines();
  for (auto& line : split_lines(bytes)) {
    lines.push_back(std::move(line));
    if (!ending()) app_.process_messages();
  }
  memo.set_lines(std::move(lines));
}

void AdvertRefresh::FetchAdvertList() {
  parts_.list_lines.clear();
  parts_.watchdog.set_enabled(true);
  if (ending()) return;
  if (const auto doc = fetch(parts_.list_http, links_.advert_list(), kAdvertListMaxBytes, kAdvertListTotalMs)) {
    // A list over the line limit is ignored whole, like a failed fetch.
    if (read_advert_list(*doc).status != AdvertListStatus::too_large) LoadLinesFromStream(parts_.list_lines, *doc);
  }
  parts_.watchdog.set_enabled(false);
  // A quit while the list was on its way ends the refresh here.
  if (ending()) return;

  const AdvertList list = parse_advert_list(parts_.list_lines.lines());
  if (list.status != AdvertListStatus::ok) return;
  if (!state_.version_checked && check_latest_version_) check_latest_version_();
  if (ending()) return;
  PurgeBanners(list);
  // Banners refused for their size stay refused only while the list names them.
  std::erase_if(state_.refused_banners, [&](const std::string& refused) {
    return std::none_of(list.banners.begin(), list.banners.end(),
                        [&](const AdvertLine& l) { return base::iequals(l.file_name(), refused); });
  });

  int downloads = 0;
  std::optional<std::uint64_t> stored;
  for (const AdvertLine& line : list.banners) {
    if (ending()) return;
    const std::string name = line.file_name();
    // A name that is not one plain banner file name is skipped like a banner
    // that cannot be fetched: it never names a file.
    if (!is_plain_banner_name(name)) continue;
    const std::string base = line.base();
    if (is_known(base)) {
      // A changed expiry date, id or link takes effect; a failure here is
      // the framework's to report and ends the refresh.
      platform::write_file_atomically(app_.ports().fs, banners_folder() + base + ".dat", format_description(line));
    } else {
      add_new_banner(line, downloads, stored);
    }
    if (downloads == 2) break;
  }
}

bool AdvertRefresh::is_known(const std::string& base) {
  TFileListBox& dats = parts_.descriptions;
  dats.Update();
  return std::any_of(dats.Items().begin(), dats.Items().end(), [&](const std::string& entry) {
    return entry.size() >= 4 && std::string_view(entry).substr(0, entry.size() - 4) == base;
  });
}

void AdvertRefresh::add_new_banner(const AdvertLine& line, int& downloads, std::optional<std::uint64_t>& stored) {
  platform::FileSystem& fs = app_.ports().fs;
  const std::string name = line.file_name();
  const std::string staged = download_folder() + name;
  const std::string target = banners_folder() + name;
  // A banner the rotation refused for its size is not fetched again.
  if (std::any_of(state_.refused_banners.begin(), state_.refused_banners.end(),
                  [&](const std::string& refused) { return base::iequals(refused, name); }))
    return;
  // The storage bound: the banner may take what the two folders have left.
  if (!stored) stored = StoredBannerBytes();
  const std::uint64_t needed = *stored + kDescriptionRoomBytes;
  if (needed >= kBannerStorageMaxBytes) return;
  const std::uint64_t room = std::min(kBannerMaxBytes, kBannerStorageMaxBytes - needed);
  const bool fetched = DownloadBannerFile(line.file_url(), name, room);
  if (fetched) stored.reset();
  if (!fetched) return;
  ++downloads;
  if (ending()) {
    delete_quietly(fs, staged);
    return;
  }
  try {
    // A banner file already there stays (the move onto it fails).
    if (!fs.file_exists(target)) fs.replace_file(staged, target);
    delete_quietly(fs, staged);
    // Without its banner file a description would make the banner "known"
    // and keep it from being fetched again.
    if (!fs.file_exists(target)) return;
    platform::write_file_atomically(fs, banners_folder() + line.base() + ".dat", format_description(line));
  } catch (const std::exception&) {
    delete_quietly(fs, staged);
    return;
  }
  SendBannerLog(links_.download_log(line.id()));
}

void AdvertRefresh::PurgeBanners(const AdvertList& list) {
  TFileListBox& dats = parts_.descriptions;
  dats.Update();
  app_.process_messages();
  const std::vector<std::string> entries = dats.Items();
  const std::string folder = banners_folder();
  for (const auto& entry : entries) {
    const std::string base = entry.substr(0, entry.size() >= 4 ? entry.size() - 4 : 0);
    const bool named = std::any_of(list.named_bases.begin(), list.named_bases.end(),
                                   [&](const std::string& b) { return base::iequals(b, base); });
    if (named) continue;
    for (const char* ext : {".dat", ".gif", ".swf"}) delete_quietly(app_.ports().fs, folder + base + ext);
  }
}

bool AdvertRefresh::DownloadBannerFile(const std::string& url, const std::string& file_name, std::uint64_t max_bytes) {
  parts_.watchdog.set_enabled(true);
  const base::ScopeExit off([&] { parts_.watchdog.set_enabled(false); });
  if (url == "none" || ending()) return false;
  const auto doc = fetch(parts_.banner_http, url, std::min(max_bytes, kBannerMaxBytes), kBannerTotalMs);
  if (!doc || ending()) return false;
  platform::FileSystem& fs = app_.ports().fs;
  const std::string staged = download_folder() + file_name;
  try {
    fs.write_file(staged, *doc);
  } catch (const platform::FileError&) {
    // A full disk leaves nothing half-written behind.
    delete_quietly(fs, staged);
    return false;
  }
  return true;
}

void AdvertRefresh::SendBannerLog(const std::string& url) {
  parts_.log_lines.clear();
  if (ending()) return;
  if (const auto doc = fetch(parts_.log_http, url, kLogAnswerMaxBytes, kLogTotalMs))
    LoadLinesFromStream(parts_.log_lines, *doc);
}

void AdvertRefresh::TimerGetImageTimer() { parts_.banner_http.Abort(); }

}  // namespace brevaro::client
