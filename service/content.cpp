// Pages, advert list, helpers and the configuration file of the reference service.
#include <sys/time.h>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <fstream>

#include "service/internal.h"
#include "service/server.h"

namespace brevaro::service {
namespace detail {

std::string lower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

std::string trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return std::string(s.substr(b, e - b));
}

std::string json_escape(std::string_view s) {
  std::string r;
  r.reserve(s.size() + 2);
  for (char ch : s) {
    auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': r += "\\\""; break;
      case '\\': r += "\\\\"; break;
      case '\n': r += "\\n"; break;
      case '\r': r += "\\r"; break;
      case '\t': r += "\\t"; break;
      default:
        if (c < 0x20 || c >= 0x7f) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          r += buf;
        } else {
          r += ch;
        }
    }
  }
  return r;
}

std::string percent_decode(std::string_view s) {
  std::string r;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() + 0 && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
      r += static_cast<char>(std::stoi(std::string(s.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else if (s[i] == '+') {
      r += ' ';
    } else {
      r += s[i];
    }
  }
  return r;
}

std::string base64(std::string_view s) {
  static const char* tbl = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string r;
  std::size_t i = 0;
  for (; i + 2 < s.size(); i += 3) {
    unsigned v = (static_cast<unsigned char>(s[i]) << 16) | (static_cast<unsigned char>(s[i + 1]) << 8) |
                 static_cast<unsigned char>(s[i + 2]);
    r += tbl[(v >> 18) & 63];
    r += tbl[(v >> 12) & 63];
    r += tbl[(v >> 6) & 63];
    r += tbl[v & 63];
  }
  if (i + 1 == s.size()) {
    unsigned v = static_cast<unsigned char>(s[i]) << 16;
    r += tbl[(v >> 18) & 63];
    r += tbl[(v >> 12) & 63];
    r += "==";
  } else if (i + 2 == s.size()) {
    unsigned v = (static_cast<unsigned char>(s[i]) << 16) | (static_cast<unsigned char>(s[i + 1]) << 8);
    r += tbl[(v >> 18) & 63];
    r += tbl[(v >> 12) & 63];
    r += tbl[(v >> 6) & 63];
    r += '=';
  }
  return r;
}

std::optional<std::string> query_param(std::string_view query, std::string_view name) {
  std::size_t pos = 0;
  while (pos <= query.size()) {
    std::size_t amp = query.find('&', pos);
    if (amp == std::string_view::npos) amp = query.size();
    std::string_view part = query.substr(pos, amp - pos);
    std::size_t eq = part.find('=');
    std::string_view k = part.substr(0, eq);
    if (percent_decode(k) == name) {
      return eq == std::string_view::npos ? std::string() : percent_decode(part.substr(eq + 1));
    }
    pos = amp + 1;
  }
  return std::nullopt;
}

std::string utc_now_iso() {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  std::tm tm{};
  time_t secs = tv.tv_sec;
  gmtime_r(&secs, &tm);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(tv.tv_usec / 1000));
  return buf;
}

std::string expand(std::string_view text, std::string_view host, std::uint16_t port) {
  const std::string root = "http://" + std::string(host) + ":" + std::to_string(port);
  std::string r;
  for (std::size_t i = 0; i < text.size();) {
    if (text.substr(i, 6) == "{base}") {
      r += root + "/brevaro/";
      i += 6;
    } else if (text.substr(i, 6) == "{root}") {
      r += root;
      i += 6;
    } else if (text.substr(i, 6) == "{port}") {
      r += std::to_string(port);
      i += 6;
    } else {
      r += text[i++];
    }
  }
  return r;
}

std::string advert_document(const Adverts& adverts, std::string_view host, std::uint16_t port) {
  if (adverts.document) return expand(*adverts.document, host, port);
  std::string doc = adverts.version_name + "=" + adverts.version + "\r\n";
  for (const Banner& b : adverts.banners) {
    std::string file = b.file;
    if (file != "none" && file.find("://") == std::string::npos && file.find('{') == std::string::npos)
      file = "{base}banners/" + file;
    std::string link = b.link.empty() ? "{base}ads/advert" + b.id + ".htm" : b.link;
    doc += "id=" + b.id + "&image=" + expand(file, host, port) + "&link=" + expand(link, host, port) + "&day=" + b.day +
           "&month=" + b.month + "&year=" + b.year + "\r\n";
  }
  return doc;
}

namespace {

std::string html_escape(std::string_view s) {
  std::string r;
  for (char c : s) {
    switch (c) {
      case '<': r += "&lt;"; break;
      case '>': r += "&gt;"; break;
      case '&': r += "&amp;"; break;
      case '"': r += "&quot;"; break;
      default: r += c;
    }
  }
  return r;
}

std::string layout(std::string_view title, std::string_view heading, std::string_view body) {
  std::string r;
  r += "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>";
  r += title;
  r += "</title>\n<style>\n"
       "body{font-family:Verdana,Arial,sans-serif;font-size:13px;background:#f3f6fa;color:#1d2b3a;margin:0}\n"
       ".top{background:#1f4e79;color:#fff;padding:8px 14px;font-size:18px;font-weight:bold;letter-spacing:1px}\n"
       ".top span{font-weight:normal;font-size:12px;color:#bcd3ea;margin-left:10px}\n"
       ".main{padding:10px 16px}\n"
       "h1{font-size:17px;color:#1f4e79;margin:6px 0 10px 0}\n"
       "table{border-collapse:collapse;background:#fff}\n"
       "th{background:#dde8f3;text-align:left}\n"
       "td,th{border:1px solid #c4d3e2;padding:4px 10px}\n"
       ".num{text-align:right;font-family:'Courier New',monospace}\n"
       ".neg{color:#a01818}\n"
       ".note{color:#5c6e80;font-size:11px}\n"
       ".box{background:#fff;border:1px solid #c4d3e2;padding:8px 12px;margin:8px 0}\n"
       ".foot{color:#7b8c9d;font-size:10px;padding:6px 16px;border-top:1px solid #d5e0eb}\n"
       "</style>\n</head>\n<body>\n<div class=\"top\">brevaro<span>all your accounts, one screen</span></div>\n"
       "<div class=\"main\">\n<h1>";
  r += heading;
  r += "</h1>\n";
  r += body;
  r += "\n</div>\n<div class=\"foot\">brevaro reference service &middot; 127.0.0.1</div>\n</body>\n</html>\n";
  return r;
}

struct Section {
  const char* key;
  const char* name;  // title after "brevaro - "
  const char* heading;
  const char* body;
};

const Section kSections[] = {
    {"accounts", "Accounts", "Your accounts",
     "<p>Latest results, gathered a few minutes ago.</p>\n"
     "<table>\n<tr><th>Provider</th><th>Account</th><th>Balance</th><th>Updated</th></tr>\n"
     "<tr><td>Northbank</td><td>Current account ****4411</td><td class=\"num\">2,431.18</td><td>09:12</td></tr>\n"
     "<tr><td>Westbridge Building Society</td><td>Instant saver ****0932</td><td class=\"num\">12,050.00</td>"
     "<td>09:12</td></tr>\n"
     "<tr><td>Halcyon Brokers</td><td>Share portfolio</td><td class=\"num\">48,902.55</td><td>09:10</td></tr>\n"
     "<tr><td>Meridian Card Services</td><td>Credit card ****7720</td><td class=\"num neg\">-614.37</td>"
     "<td>09:11</td></tr>\n"
     "<tr><td>City Power &amp; Gas</td><td>Electricity, bill due 14 Mar</td><td class=\"num neg\">-86.40</td>"
     "<td>08:58</td></tr>\n"
     "<tr><td>Anchor Mutual</td><td>Home insurance, renews 2 Jun</td><td class=\"num\">&ndash;</td>"
     "<td>08:58</td></tr>\n"
     "<tr><th colspan=\"2\">Net position</th><th class=\"num\">62,682.96</th><th></th></tr>\n</table>\n"
     "<p class=\"note\">Figures are as reported by each provider.</p>"},
    {"setup", "Setup", "Add / remove / edit accounts",
     "<div class=\"box\"><b>Accounts gathered:</b> 6 of 20</div>\n"
     "<table>\n<tr><th>Provider</th><th>Sign-in name</th><th></th></tr>\n"
     "<tr><td>Northbank</td><td>jsmith01</td><td><a href=\"#\">Edit</a> | <a href=\"#\">Remove</a></td></tr>\n"
     "<tr><td>Westbridge Building Society</td><td>jsmith</td><td><a href=\"#\">Edit</a> | "
     "<a href=\"#\">Remove</a></td></tr>\n"
     "<tr><td>Halcyon Brokers</td><td>JS-88213</td><td><a href=\"#\">Edit</a> | <a href=\"#\">Remove</a></td>"
     "</tr>\n</table>\n<p><a href=\"#\">Add a new account&hellip;</a></p>"},
    {"mydetails", "My Details", "General configuration options",
     "<table>\n<tr><th>Name</th><td>J. Smith</td></tr>\n<tr><th>E-mail</th><td>j.smith@example.com</td></tr>\n"
     "<tr><th>Refresh accounts</th><td>every morning at 07:00</td></tr>\n"
     "<tr><th>Currency</th><td>GBP</td></tr>\n<tr><th>Alerts</th><td>balance below 100.00</td></tr>\n</table>"},
    {"security", "Security", "Security",
     "<div class=\"box\">Your connection is encrypted. Your provider passwords are held encrypted and are never "
     "shown.</div>\n<ul>\n<li>Password last changed: 12 days ago</li>\n"
     "<li>Automatic sign-out after 20 minutes without use</li>\n<li>Last sign-in: today, 08:57</li>\n</ul>"},
    {"help", "Help", "Help",
     "<p><b>How often are my accounts updated?</b><br>Every morning, and whenever you press Accounts.</p>\n"
     "<p><b>Which providers are supported?</b><br>Banks, building societies, brokers, card issuers, insurers "
     "and utilities.</p>\n<p><b>I forgot my password.</b><br>Use Contact Us and we will help you.</p>"},
    {"contactus", "Contact Us", "Contact us",
     "<table>\n<tr><th>Support</th><td>support@brevaro.example</td></tr>\n"
     "<tr><th>Sales</th><td>sales@brevaro.example</td></tr>\n"
     "<tr><th>Partners</th><td>partners@brevaro.example</td></tr>\n"
     "<tr><th>Press</th><td>press@brevaro.example</td></tr>\n</table>"},
    {"website", "Web Site", "Welcome to brevaro",
     "<p>brevaro gathers your accounts at banks, brokers, insurers and utilities and shows them on one screen "
     "behind one password.</p>\n<p><a href=\"/brevaro/pages/downloadnewversion.htm\">Download brevaro</a></p>"},
    {"sendtoafriend", "Send to a Friend", "Send a brevaro recommendation to a friend",
     "<form action=\"#\" onsubmit=\"return false\">\n<p>Your friend's e-mail address:<br>"
     "<input type=\"text\" size=\"40\"></p>\n<p>Message:<br><textarea rows=\"4\" cols=\"40\">I use brevaro to see "
     "all my accounts on one screen - try it!</textarea></p>\n<p><input type=\"submit\" value=\"Send\"></p>\n"
     "</form>"},
    {"signout", "Signed Out", "You have been signed out",
     "<p>Your brevaro session has ended. Thank you for using brevaro.</p>"},
    {"scrollingmessage", "Message", "", ""},
    {"defaultbanner", "Default Banner", "brevaro offers",
     "<p>See every account you hold on one screen, updated every morning.</p>\n"
     "<p><a href=\"/brevaro/pages/website.htm\">Find out more</a></p>"},
    {"downloadnewversion", "Download New Version", "Download the latest brevaro",
     "<p>A newer version of brevaro is available.</p>\n"
     "<p><a href=\"/brevaro/pages/downloadnewversion.htm\">brevaro.exe</a> (Windows)</p>"},
};

}  // namespace

const std::vector<std::string>& redirect_keys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> k;
    for (const Section& s : kSections) k.emplace_back(s.key);
    return k;
  }();
  return keys;
}

bool is_redirect_key(std::string_view key) {
  for (const Section& s : kSections)
    if (key == s.key) return true;
  return false;
}

Page section_page(std::string_view key) {
  for (const Section& s : kSections) {
    if (key != s.key) continue;
    if (key == "scrollingmessage") {
      return {
          "<html><head><title>brevaro - Message</title></head><body style=\"margin:0;background:#1f4e79;"
          "color:#fff;font:12px Verdana,Arial,sans-serif\"><marquee scrollamount=\"3\">Welcome to brevaro - "
          "all your accounts on one screen, behind one password. Your accounts were updated this "
          "morning.</marquee></body></html>\r\n",
          true};
    }
    return {layout(std::string("brevaro - ") + s.name, s.heading, s.body), true};
  }
  return {};
}

std::string home_page() {
  return layout("brevaro - Home", "brevaro",
                "<p>All your accounts at banks, brokers, insurers and utilities on one screen, behind one "
                "password.</p>\n<p><a href=\"/brevaro/pages/website.htm\">About brevaro</a> | "
                "<a href=\"/brevaro/pages/downloadnewversion.htm\">Download</a></p>");
}

std::string advert_landing_page(std::string_view name) {
  return layout("brevaro - Advert " + html_escape(name), "Special offer",
                "<p>Thank you for your interest in this offer (" + html_escape(name) + ").</p>");
}

std::string not_found_page(std::string_view what) {
  return "<html><head><title>404 Not Found</title></head><body><h1>404 Not Found</h1><p>The page " + html_escape(what) +
         " cannot be found.</p></body></html>\r\n";
}

std::string status_page(int code, std::string_view reason) {
  std::string t = std::to_string(code) + " " + html_escape(reason);
  return "<html><head><title>" + t + "</title></head><body><h1>" + t + "</h1></body></html>\r\n";
}

}  // namespace detail

Adverts Adverts::defaults() {
  Adverts a;
  a.banners.push_back({"1", "brevaro-accounts.gif", "{base}ads/accounts.htm", "31", "12", "2099"});
  a.banners.push_back({"2", "brevaro-secure.gif", "{base}ads/secure.htm", "31", "12", "2099"});
  a.banners.push_back({"3", "brevaro-reminders.gif", "{base}ads/reminders.htm", "31", "12", "2099"});
  a.banners.push_back({"4", "brevaro-movie.swf", "{base}ads/movie.htm", "31", "12", "2099"});
  return a;
}

std::optional<Adverts> Adverts::preset(std::string_view name) {
  Adverts a;
  auto served = [](std::string file) { return "{root}/hostile/bytes/2048/" + file; };
  if (name == "default") return defaults();
  if (name == "hostile-names") {
    // File names that must never become files outside the banner folder, or
    // device names; every one is served (2048 bytes), so only the client's
    // own check keeps it off the disk.
    const char* names[] = {"..\\..\\evil.gif", "a/../b.gif", "C:evil.gif", "CON.gif",
                           "nul.swf",          "evil.gif.",  "evil.gif "};
    int id = 100;
    for (const char* n : names) a.banners.push_back({std::to_string(id++), served(n), "{base}ads/evil.htm"});
    a.banners.push_back({"1", "brevaro-accounts.gif", "{base}ads/accounts.htm"});
    return a;
  }
  if (name == "hostile-links") {
    const char* links[] = {"file:///C:/x.exe", "javascript:alert(1)", "C:\\Windows\\notepad.exe", "\\\\host\\share\\x"};
    a.banners.push_back({"1", "brevaro-accounts.gif", "{base}ads/accounts.htm"});
    int id = 200;
    for (const char* l : links) {
      a.banners.push_back({std::to_string(id), served("link" + std::to_string(id) + ".gif"), l});
      ++id;
    }
    return a;
  }
  if (name == "big-banner") {
    a.banners.push_back({"300", "{root}/hostile/bytes/5242880/big.gif", ""});
    a.banners.push_back({"301", "brevaro-accounts.gif", "{base}ads/accounts.htm"});
    return a;
  }
  if (name == "endless-banner") {
    a.banners.push_back({"310", "{root}/hostile/endless/endless.gif", ""});
    a.banners.push_back({"311", "brevaro-accounts.gif", "{base}ads/accounts.htm"});
    return a;
  }
  if (name == "stalled-banner") {
    a.banners.push_back({"320", "{root}/hostile/stall/40000/stalled.gif", ""});
    a.banners.push_back({"321", "brevaro-accounts.gif", "{base}ads/accounts.htm"});
    return a;
  }
  if (name == "huge-screen-banner") {
    a.banners.push_back({"330", "{root}/hostile/huge-screen/huge.gif", "{base}ads/huge.htm"});
    a.banners.push_back({"331", "brevaro-accounts.gif", "{base}ads/accounts.htm"});
    return a;
  }
  if (name == "huge-list") {
    std::string doc = "version=1.0\r\n";
    for (int i = 0; i < 100000; ++i)
      doc += "id=" + std::to_string(i) + "&image={base}banners/b" + std::to_string(i) +
             ".gif&link={base}ads/x.htm&day=31&month=12&year=2099\r\n";
    a.document = doc;
    return a;
  }
  if (name == "many-lines") {
    std::string doc = "version=1.0\r\n";
    for (int i = 0; i < 100000; ++i) doc += "x=" + std::to_string(i) + "\r\n";
    a.document = doc;
    return a;
  }
  if (name == "error-page") {
    a.document =
        "<font face=\"Arial\" size=2>\r\n<p>Microsoft VBScript runtime </font> <font face=\"Arial\" "
        "size=2>error '800a000d'</font>\r\n"
        "id=1&image={base}banners/brevaro-accounts.gif&link=x&day=1&month=1&year=2099\r\n";
    return a;
  }
  if (name == "error-text") {
    a.document =
        "Server Error in '/' Application.\r\n"
        "id=1&image={base}banners/brevaro-accounts.gif&link=x&day=1&month=1&year=2099\r\n";
    return a;
  }
  return std::nullopt;
}

namespace {

std::vector<std::string> split_bar(const std::string& v) {
  std::vector<std::string> parts;
  std::size_t pos = 0;
  while (true) {
    std::size_t bar = v.find('|', pos);
    parts.push_back(detail::trim(v.substr(pos, bar == std::string::npos ? std::string::npos : bar - pos)));
    if (bar == std::string::npos) break;
    pos = bar + 1;
  }
  return parts;
}

std::string unescape(const std::string& v) {
  std::string r;
  for (std::size_t i = 0; i < v.size(); ++i) {
    if (v[i] == '\\' && i + 1 < v.size()) {
      char n = v[++i];
      r += n == 'r' ? '\r' : n == 'n' ? '\n' : n;
    } else {
      r += v[i];
    }
  }
  return r;
}

bool split_user(const std::string& v, std::string& user, std::string& pass) {
  std::size_t c = v.find(':');
  if (c == std::string::npos || c == 0) return false;
  user = v.substr(0, c);
  pass = v.substr(c + 1);
  return true;
}

}  // namespace

bool load_config_file(const std::string& path, Config& config, std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = path + ": cannot open";
    return false;
  }
  std::string line;
  int n = 0;
  bool banners_replaced = false;
  auto fail = [&](const std::string& what) {
    error = path + ":" + std::to_string(n) + ": " + what;
    return false;
  };
  while (std::getline(in, line)) {
    ++n;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string t = detail::trim(line);
    if (t.empty() || t[0] == '#') continue;
    std::size_t eq = t.find('=');
    if (eq == std::string::npos) return fail("expected key = value");
    std::string key = detail::trim(t.substr(0, eq));
    std::string value = detail::trim(t.substr(eq + 1));
    if (key == "version") {
      config.adverts.version = value;
    } else if (key == "version-name") {
      config.adverts.version_name = value;
    } else if (key == "banner") {
      auto p = split_bar(value);
      if (p.size() != 3 && p.size() != 6) return fail("banner needs ID | FILE | LINK [| DAY | MONTH | YEAR]");
      if (p[0].empty() || p[1].empty()) return fail("banner needs an id and a file");
      if (!banners_replaced) {
        config.adverts.banners.clear();
        banners_replaced = true;
      }
      Banner b{p[0], p[1], p[2], "31", "12", "2099"};
      if (p.size() == 6) {
        b.day = p[3];
        b.month = p[4];
        b.year = p[5];
      }
      config.adverts.banners.push_back(b);
    } else if (key == "adverts") {
      auto preset = Adverts::preset(value);
      if (!preset) return fail("unknown advert list '" + value + "'");
      config.adverts = *preset;
      banners_replaced = true;
    } else if (key == "no-banners") {
      config.adverts.banners.clear();
      banners_replaced = true;
    } else if (key == "advert-document") {
      config.adverts.document = unescape(value);
    } else if (key == "advert-schedule") {
      config.advert_schedule.clear();
      std::size_t start = 0;
      while (start <= value.size()) {
        const std::size_t comma = std::min(value.find(',', start), value.size());
        std::string step = detail::trim(value.substr(start, comma - start));
        if (step.rfind("/hostile/", 0) != 0 && !Adverts::preset(step))
          return fail("advert-schedule: '" + step + "' is neither a named list nor a /hostile/ target");
        config.advert_schedule.push_back(std::move(step));
        start = comma + 1;
      }
    } else if (key == "override") {
      std::size_t sp = value.find_first_of(" \t");
      if (sp == std::string::npos) return fail("override needs PATH TARGET");
      config.overrides.emplace_back(value.substr(0, sp), detail::trim(value.substr(sp)));
    } else if (key == "banner-dir") {
      config.banner_dir = value;
    } else if (key == "proxy-auth") {
      if (!split_user(value, config.proxy_user, config.proxy_password)) return fail("expected USER:PASSWORD");
    } else if (key == "socks-auth") {
      if (!split_user(value, config.socks_user, config.socks_password)) return fail("expected USER:PASSWORD");
    } else {
      return fail("unknown key '" + key + "'");
    }
  }
  return true;
}

}  // namespace brevaro::service
