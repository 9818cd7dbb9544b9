#include "client/service_links.h"

#include "config/product_config.h"

namespace brevaro::client::links {

namespace {
std::string on_base(std::string_view script_and_query) {
  std::string url(config::service_base_url);
  url += script_and_query;
  return url;
}

std::string banner_log(std::string_view installation_id, std::string_view banner_id, std::string_view option) {
  std::string q = "quillbeam-logs.asp?AppID=";
  q += installation_id;
  q += "&BannerID=";
  q += banner_id;
  q += "&option=";
  q += option;
  return on_base(q);
}
}  // namespace

std::string redirect(std::string_view key) { return on_base("url.asp?url=" + std::string(key)); }

std::string advert_list(std::string_view installation_id) {
  return on_base("quillbeam.asp?AppID=" + std::string(installation_id));
}

std::string download_log(std::string_view installation_id, std::string_view banner_id) {
  return banner_log(installation_id, banner_id, "d");
}

std::string click_log(std::string_view installation_id, std::string_view banner_id) {
  return banner_log(installation_id, banner_id, "c");
}

}  // namespace brevaro::client::links
