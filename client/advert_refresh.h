// The advert list refresh: fetch the list, run the version check once per
// activation, delete the banners the list no longer names, download at most
// two new banners through the staging folder, write their description files
// and log each download. Also the log request of a banner click and the
// watchdog that ends a banner transfer after 30 seconds.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "client/advert_list.h"
#include "client/banner_links.h"
#include "client/file_list.h"
#include "client/process_state.h"
#include "net/httpcli.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/timer.h"

namespace brevaro::client {

// Larger banner downloads are abandoned like aborted ones.
inline constexpr std::uint64_t kBannerMaxBytes = 4 * 1024 * 1024;
// What a log answer may hold (it is kept, not read).
inline constexpr std::uint64_t kLogAnswerMaxBytes = 64 * 1024;
// What the banner folder and the staging folder may hold together: a new
// banner that would take them past it is not fetched (nor logged).
inline constexpr std::uint64_t kBannerStorageMaxBytes = 64 * 1024 * 1024;
// Room kept for the description file written beside a new banner.
inline constexpr std::uint64_t kDescriptionRoomBytes = 1024;

// Time limits of the client's transfers (milliseconds): any transfer that
// makes no progress for kTransferIdleMs is aborted, like one that runs past
// its total. A banner gets the watchdog's 30 seconds in all (4 MiB at the
// most); the advert list and the log answers are small, but a slow link
// gets two minutes for them.
inline constexpr std::uint32_t kTransferIdleMs = 30000;
inline constexpr std::uint32_t kAdvertListTotalMs = 120000;
inline constexpr std::uint32_t kBannerTotalMs = 30000;
inline constexpr std::uint32_t kLogTotalMs = 120000;

struct AdvertParts {
  ui::Memo& list_lines;        // Memo1
  ui::Memo& log_lines;         // Memo3
  TFileListBox& descriptions;  // FileListBox2: "*.dat" of the banner folder
  ui::Timer& watchdog;         // TimerGetImage
  net::THttpCli& list_http;    // MyHttp1
  net::THttpCli& banner_http;  // MyHttp2
  net::THttpCli& log_http;     // MyHttp3
};

class AdvertRefresh {
 public:
  // `links` is read when a link is needed and must outlive the refresh.
  AdvertRefresh(ui::Application& app, AdvertParts parts, ProcessState& state, const BannerLinks& links,
                std::function<void()> check_latest_version);

  // Clears Memo1 and fetches the list.
  void RefreshAdverts();
  void FetchAdvertList();
  void PurgeBanners(const AdvertList& list);
  // Fetches `url` into Data\Download\{file_name}; false when nothing was
  // fetched (URL "none", any transfer error, abort, time limit, larger than
  // `max_bytes`, write error).
  bool DownloadBannerFile(const std::string& url, const std::string& file_name,
                          std::uint64_t max_bytes = kBannerMaxBytes);
  // One log request; every error is ignored.
  void SendBannerLog(const std::string& url);
  // Appends the lines of a received document to a memo, letting the GUI
  // handle its messages after each line.
  void LoadLinesFromStream(ui::Memo& memo, std::string_view bytes);
  // TimerGetImageTimer: aborts the banner transfer (the timer stays on).
  void TimerGetImageTimer();
  // The application is ending: no transfer starts or goes on, and nothing
  // that follows one (version check, downloads, logs, links) runs.
  bool ending() const;
  // Bytes held by the banner folder and the staging folder together.
  std::uint64_t StoredBannerBytes() const;

 private:
  std::string banners_folder() const { return state_.program_folder + "Data\\Banners\\"; }
  std::string download_folder() const { return state_.program_folder + "Data\\Download\\"; }
  bool is_known(const std::string& base);
  // `stored` is what the banner folders hold, measured once when first
  // needed and again after each download.
  void add_new_banner(const AdvertLine& line, int& downloads, std::optional<std::uint64_t>& stored);

  ui::Application& app_;
  AdvertParts parts_;
  ProcessState& state_;
  const BannerLinks& links_;
  std::function<void()> check_latest_version_;
};

}  // namespace brevaro::client
