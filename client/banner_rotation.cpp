#include "client/banner_rotation.h"

#include <algorithm>
#include <set>

#include "base/ascii.h"
#include "client/banner_description.h"
#include "config/product_config.h"

namespace brevaro::client {

namespace {
constexpr std::uint32_t kRotationInterval = config::banner_rotation_seconds * 1000;

std::string strip_extension(const std::string& name) { return name.substr(0, name.size() >= 4 ? name.size() - 4 : 0); }
}  // namespace

BannerRotation::BannerRotation(BannerArea area, TFileListBox& list, ui::Timer& timer, const platform::Ports& ports,
                               ProcessState& state, const BannerLinks& links)
    : area_(area), list_(list), timer_(timer), fs_(ports.fs), clock_(ports.clock), state_(state), links_(links) {
  // Banners come from the network: a picture decodes only within the budget
  // fit for a banner, never to gigabytes.
  area_.gif.model().set_limits(gif::banner_limits());
}

void BannerRotation::step() {
  timer_.set_enabled(false);
  timer_.set_interval(kRotationInterval);

  // Entries found expired or incomplete in this step. Files that cannot be
  // deleted stay in the list; meeting one of them again means a whole pass
  // found nothing to show, and the step ends with the default banner.
  std::set<std::string> rejected;
  for (;;) {
    if (list_.Items().empty()) {
      list_.Update();
      if (list_.Items().empty()) break;
    }
    auto index = list_.tag();
    list_.set_tag(index + 1);
    if (index < 0 || static_cast<std::size_t>(index) >= list_.Items().size()) {
      list_.Update();
      list_.set_tag(0);
      if (list_.Items().empty()) break;
      index = 0;
      list_.set_tag(1);
    }
    const std::string entry = list_.Items()[static_cast<std::size_t>(index)];
    if (!rejected.insert(entry).second) break;
    if (show_if_current(strip_extension(entry))) {
      timer_.set_enabled(true);
      return;
    }
  }
  show_default();
  timer_.set_enabled(true);
}

bool BannerRotation::show_if_current(const std::string& base) {
  const std::string folder = banners_folder();
  const std::string dat = folder + base + ".dat";
  const std::string gif = folder + base + ".gif";
  const std::string swf = folder + base + ".swf";

  bool expired = true;
  if (fs_.file_exists(dat)) {
    const auto bytes = fs_.read_file(dat);
    if (!bytes) throw platform::FileError(platform::FileErrorKind::access_denied, "Cannot open file \"" + dat + "\"");
    const BannerDescription d = parse_description(*bytes);
    state_.current_banner_id = d.id;
    state_.current_banner_link = d.link;
    expired = is_expired(d, clock_.date(), clock_.time());
  }
  if (expired) {
    delete_banner(base);
    return false;
  }

  if (fs_.file_exists(gif) && fs_.file_exists(dat)) {
    if (!area_.gif.load_from_file(gif)) {
      // Not a picture within the budget (or no picture at all): the banner
      // is invalid, goes like an incomplete one, and is not fetched again
      // while the advert list names it.
      const std::string name = base + ".gif";
      if (std::none_of(state_.refused_banners.begin(), state_.refused_banners.end(),
                       [&](const std::string& r) { return base::iequals(r, name); }))
        state_.refused_banners.push_back(name);
      delete_banner(base);
      return false;
    }
    area_.gif.set_visible(true);
    FreeFlashBanner(area_);
  } else if (fs_.file_exists(swf) && fs_.file_exists(dat)) {
    if (!fs_.read_file(swf))
      throw platform::FileError(platform::FileErrorKind::access_denied, "Cannot open file \"" + swf + "\"");
    ShowFlashBanner(area_, swf);
    area_.gif.set_visible(false);
  } else {
    show_default();
  }
  return true;
}

void BannerRotation::delete_banner(const std::string& base) {
  const std::string folder = banners_folder();
  for (const char* ext : {".dat", ".gif", ".swf"}) {
    try {
      fs_.delete_file(folder + base + ext);
    } catch (const platform::FileError&) {
      // Missing files are no error; a file that cannot go now is met again
      // at its next turn.
    }
  }
}

void BannerRotation::show_default() {
  const std::string movie = state_.program_folder + "Data\\bv.swf";
  if (fs_.file_exists(movie)) {
    ShowFlashBanner(area_, movie);
    state_.current_banner_id = "0";
    state_.current_banner_link = links_.default_banner;
    area_.gif.set_visible(false);
  } else {
    area_.gif.set_visible(false);
    FreeFlashBanner(area_);
  }
}

}  // namespace brevaro::client
