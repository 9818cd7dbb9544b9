// Every link to the service, built on the one base URL the build sets. The
// rest of the client asks here and assembles no service URL of its own.
#pragma once

#include <string>
#include <string_view>

namespace brevaro::client::links {

// The keys of the service's redirect script: each leads to one page.
inline constexpr std::string_view accounts = "accounts";
inline constexpr std::string_view setup = "setup";
inline constexpr std::string_view mydetails = "mydetails";
inline constexpr std::string_view security = "security";
inline constexpr std::string_view help = "help";
inline constexpr std::string_view contactus = "contactus";
inline constexpr std::string_view website = "website";
inline constexpr std::string_view sendtoafriend = "sendtoafriend";
inline constexpr std::string_view signout = "signout";
inline constexpr std::string_view scrollingmessage = "scrollingmessage";
inline constexpr std::string_view defaultbanner = "defaultbanner";
inline constexpr std::string_view downloadnewversion = "downloadnewversion";

// base + "url.asp?url=" + key
std::string redirect(std::string_view key);

// The advert script and its log. The installation identifier goes in as it
// stands: it is digits the client made itself.
std::string advert_list(std::string_view installation_id);
std::string download_log(std::string_view installation_id, std::string_view banner_id);
std::string click_log(std::string_view installation_id, std::string_view banner_id);

}  // namespace brevaro::client::links
