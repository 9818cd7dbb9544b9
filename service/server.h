// brevaro built-in local reference service: a small HTTP server on 127.0.0.1
// that plays the online service for the demo and the tests (design §6).
//
// Use it in-process from a test:
//
//   #include "service/server.h"
//   brevaro::service::Server svc;                 // ephemeral ports, starts now
//   std::string url = svc.base_url() + "url.asp?url=accounts";
//   ... run the client against url ...
//   auto rec = svc.wait_for([](auto& r) { return r.path_only() == "/brevaro/quillbeam.asp"; },
//                           std::chrono::seconds(5));
//   // svc stops cleanly when it goes out of scope.
//
// CMake: target_link_libraries(my_test PRIVATE brevaro_service)
//
// ---------------------------------------------------------------------------
// Listeners (all on Config::bind, 127.0.0.1 unless changed)
//   port()       the HTTP port: every URL below, direct or as an HTTP proxy.
//   alt_port()   a second HTTP port serving exactly the same URLs (the
//                program's --raw-port); /hostile/redirect-absolute sends the
//                client there, so a redirect changes host:port.
//   socks_port() a minimal SOCKS5 server (RFC 1928/1929): methods "no auth"
//                and "user/password"; only CONNECT, only to 127.0.0.1 /
//                localhost and only to port() or alt_port(); the tunnel is
//                then answered like a direct HTTP connection.
// Every connection carries exactly one request and is closed after the
// answer (HTTP/1.0 style); answers of the normal service say
// "Connection: close".
//
// Proxy mode: a request line with an absolute URL
//   GET http://127.0.0.1:PORT/brevaro/url.asp?url=help HTTP/1.0
// is answered as if the path had been requested directly (the server never
// connects anywhere), and is recorded with via "proxy" and the URL's
// authority in proxy_host. When Config::proxy_user is set, a proxied request
// must carry "Proxy-Authorization: Basic base64(user:password)" or it gets
// 407 with "Proxy-Authenticate: Basic realm=\"brevaro\"".
//
// The service (base path /brevaro/):
//   /                                   product web-site home page
//   /brevaro/url.asp?url=KEY            302 to /brevaro/pages/KEY.htm for the keys
//        accounts setup mydetails security help contactus website
//        sendtoafriend signout scrollingmessage defaultbanner downloadnewversion
//        (key compared ignoring case); unknown or missing key: 404 page whose
//        title is "404 Not Found".
//   /brevaro/pages/KEY.htm              the page, title "brevaro - <Name>";
//        signout ends the session (signed_in() false, signouts() + 1),
//        any other section page starts one; scrollingmessage is a one-line
//        page (a marquee line).
//   /brevaro/quillbeam.asp?AppID=ID     the advert list (see Adverts).
//   /brevaro/quillbeam-logs.asp?AppID=ID&BannerID=B&option=d|c
//        answers "OK\r\n"; without BannerID or with another option: 400.
//   /brevaro/banners/NAME               banner file: put_file() data first,
//        then the file NAME in Config::banner_dir (.gif image/gif,
//        .swf application/x-shockwave-flash); 404 otherwise.
//   /brevaro/ads/NAME.htm               advert landing page (click-through).
//   /bench/bytes?n=N                    N bytes (pattern), with Content-Length,
//        written straight to the socket (N at most 4 GiB).
//   anything else: 404 page, title "404 Not Found".
//
// Hostile modes, /hostile/MODE[/anything][?params]. Anything after the mode
// segment is ignored, so a banner URL like /hostile/endless/x.gif works (and
// needs no "=" or "&", which the advert list format forbids in values).
//   404                  "HTTP/1.0 404 Not Found (hostile)" + 404 page;
//                        ?reason=TEXT sets the reason phrase.
//   status?code=N&reason=TEXT   any status with a small HTML page (default 500).
//   redirect-root        302, Location: /
//   redirect-path        302, Location: /brevaro/pages/accounts.htm
//   redirect-absolute    302, Location: http://127.0.0.1:ALT/brevaro/pages/accounts.htm
//                        (?to=URL overrides the target)
//   redirect-loop        302, Location: /hostile/redirect-loop (forever)
//   redirect-chain/N     302 to redirect-chain/N-1 ... redirect-chain/0 is a
//                        200 page titled "brevaro - Chain End" (N <= 1000).
//   slow?bytes=B&ms=M    200 with Content-Length B (default 64), one byte every
//                        M ms (default 50); the trickle ends after 60 s at most.
//   slow-header?ms=M     the whole answer (status line, headers, "ok") one byte
//                        every M ms (default 50), ending after 60 s at most.
//   stall?ms=M           reads the request, sends nothing for M ms (default
//                        5000, at most 120000), then closes; stall/M/... is
//                        the same with M in the path.
//   bytes/N/...          200 with Content-Length N and N bytes (at most 64 MiB).
//   no-length            200 without Content-Length; the close ends the body.
//   headerless           no status line: "<HTML><HEAD><TITLE>Headerless</TITLE>..."
//                        then close.
//   endless?max=N        200 without Content-Length, body of 'x' lines until
//                        the client disconnects or N bytes (default and cap
//                        64 MiB) were sent.
//   long-header-line?n=N 200 with one header line of N bytes (default 9000,
//                        i.e. > 8192; cap 1 MiB) then a short body.
//   big-header-block?kib=K   header lines of 1000 bytes until the block is
//                        larger than K KiB (default 70, i.e. > 64 KiB in fewer
//                        than 100 lines; cap 16 MiB).
//   many-header-lines?n=N    N short header lines (default 150, > 100).
//   garbage?n=N          N pseudo-random bytes (default 4096, fixed seed), close.
//   garbage-nolf?n=N     N pseudo-random bytes without any LF (default 20000).
//   reset                reads the request, then RST (SO_LINGER 0 + close).
//   reset-body           status, headers and 1000 body bytes, then RST.
//   close                reads the request, closes without answering.
//   bad-length?value=V   200 with "Content-Length: V" (default "abc").
//   lf-only              200 whose header lines end in a bare LF.
//   error-page           200 whose first line is an IIS-style error page
//                        starting with <font face="Arial" size=2>.
//   error-text           200 whose first line contains "Error".
//   huge-screen          a 43-byte GIF declaring a 16384 x 16384 screen (image/gif)
//   (GET /hostile/ lists the modes.)
// Overrides (set_override, or "override" in the configuration file) answer a
// given path as if another target had been requested, e.g. make the advert
// script misbehave: set_override("/brevaro/quillbeam.asp", "/hostile/stall?ms=40000").
//
// Request log: every request is recorded when its head has been read, before
// it is answered: one JSON line in Config::log_path (appended, flushed) and a
// RequestRecord in memory (requests(), wait_for()). JSON keys: seq, time
// (UTC, ISO 8601 with milliseconds), via ("direct", "proxy", "socks5"),
// port (local port), peer ("ip:port"), method, target (as sent), path (with
// query, after removing a proxy URL's scheme and authority), version,
// proxy_host (proxied only), headers (object of every received header, values
// cut at 1024 bytes), body_length; "override" when an override applied.
// ---------------------------------------------------------------------------
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace brevaro::service {

// One banner line of the advert list. Texts may hold the placeholders
// {base} (http://127.0.0.1:PORT/brevaro/), {root} (http://127.0.0.1:PORT)
// and {port}, expanded when the list is served.
struct Banner {
  std::string id;    // value 1: banner id
  std::string file;  // value 2: a plain name is served as {base}banners/NAME;
                     // "none" and anything with "://" or a placeholder are used as they are
  std::string link;  // value 3: click-through link; empty means {base}ads/advert{id}.htm
  std::string day = "31", month = "12", year = "2099";  // values 4, 5, 6: expiry date
};

// What the advert script answers. Line 1: version_name "=" version; then one
// line per banner:
//   id=ID&image=FILE-URL&link=LINK&day=D&month=M&year=Y
// every line ended by CR LF. When `document` is set it is served instead,
// byte for byte after placeholder expansion.
struct Adverts {
  std::string version_name = "version";
  std::string version = "1.0";
  std::vector<Banner> banners;
  std::optional<std::string> document;

  // The default list: version 1.0, the three animated GIF banners
  // brevaro-accounts.gif, brevaro-secure.gif, brevaro-reminders.gif and the
  // movie banner brevaro-movie.swf.
  static Adverts defaults();
  // A named list: "default", or one of the hostile lists for the client's
  // banner handling (version 1.0 each):
  //   hostile-names   file names ..\..\evil.gif, a/../b.gif, C:evil.gif,
  //                   CON.gif, nul.swf, "evil.gif.", "evil.gif " (all served),
  //                   then brevaro-accounts.gif
  //   hostile-links   brevaro-accounts.gif, then four served banners whose
  //                   links are file:///C:/x.exe, javascript:alert(1),
  //                   C:\Windows\notepad.exe, \\host\share\x
  //   big-banner      a 5 MiB banner (with Content-Length), then brevaro-accounts.gif
  //   endless-banner  an endless banner body, then brevaro-accounts.gif
  //   stalled-banner  a banner that sends nothing for 40 s, then brevaro-accounts.gif
  //   huge-screen-banner  huge.gif, 43 bytes declaring a 16384 x 16384 screen,
  //                   then brevaro-accounts.gif
  //   huge-list       100,000 banner lines (about 10 MB)
  //   many-lines      100,000 short lines (under 1 MB)
  //   error-page      an IIS-style error page (first line <font face="Arial" ...>)
  //   error-text      a first line that says "Error"
  static std::optional<Adverts> preset(std::string_view name);
};

struct Config {
  std::string bind = "127.0.0.1";
  std::uint16_t port = 0;        // 0: an ephemeral port
  std::uint16_t alt_port = 0;    // 0: an ephemeral port
  std::uint16_t socks_port = 0;  // 0: an ephemeral port
  std::string log_path;          // JSON-lines request log; empty: memory only
  std::string banner_dir;        // empty: the committed service/data/banners
  Adverts adverts = Adverts::defaults();
  std::vector<std::pair<std::string, std::string>> overrides;  // path -> target
  std::string proxy_user, proxy_password;                      // proxy authentication when proxy_user is set
  std::string socks_user, socks_password;                      // SOCKS5 user/password required when socks_user is set
  std::size_t max_records = 100000;                            // in-memory records kept (oldest dropped)
  // When not empty, each request of the advert script takes the next step in
  // turn (after the last, the first again): a named list (Adverts::preset)
  // is served from then on, a /hostile/ target answers that one request.
  std::vector<std::string> advert_schedule;
};

// Reads a configuration file into `config` (fields not named stay as they
// are). Returns false and sets `error` ("FILE:LINE: what") on a bad line.
// Format: one "key = value" per line; lines starting with '#' and blank lines
// are ignored; a value runs to the end of its line (spaces around it trimmed).
//   version = 1.1                      advert list version value
//   version-name = version             advert list version name
//   banner = ID | FILE | LINK | DAY | MONTH | YEAR
//                                      one banner line (repeatable, kept in
//                                      order; the first "banner" line of a
//                                      file replaces the default banners;
//                                      LINK may be empty; DAY MONTH YEAR may
//                                      be omitted: 31 | 12 | 2099)
//   no-banners = yes                   an advert list with the version line only
//   adverts = NAME                     a named advert list (Adverts::preset)
//   advert-document = TEXT             serve TEXT instead; \r \n \\ are escapes
//   advert-schedule = STEP, STEP, ...  a misbehaviour schedule for the advert
//                                      script (Config::advert_schedule): each
//                                      STEP a named list or a /hostile/ target
//   override = PATH TARGET             answer PATH as if TARGET was requested
//   banner-dir = DIR                   folder of banner files
//   proxy-auth = USER:PASSWORD         require proxy authentication
//   socks-auth = USER:PASSWORD         require SOCKS5 user/password
bool load_config_file(const std::string& path, Config& config, std::string& error);

struct RequestRecord {
  std::uint64_t seq = 0;
  std::string time;  // UTC ISO 8601 with milliseconds
  std::string via;   // "direct", "proxy" or "socks5"
  std::uint16_t port = 0;
  std::string peer;  // "127.0.0.1:54321"
  std::string method;
  std::string target;  // as sent on the request line
  std::string path;    // path with query
  std::string version;
  std::string proxy_host;  // authority of a proxied URL
  std::vector<std::pair<std::string, std::string>> headers;
  std::size_t body_length = 0;
  std::string override_target;  // set when an override applied
  std::string json;             // the JSON line written to the log (no line end)

  // Value of the first header with this name (ignoring case), empty if none.
  std::string header(std::string_view name) const;
  bool has_header(std::string_view name) const;
  // The path without its query.
  std::string path_only() const;
  // Percent-decoded value of a query parameter, nullopt when absent.
  std::optional<std::string> query(std::string_view name) const;
};

class Server {
 public:
  // Binds every listener and starts serving before returning. Throws
  // std::runtime_error when a port cannot be bound or the log cannot be opened.
  explicit Server(Config config = {});
  ~Server();  // stops listeners, ends running answers, joins every thread
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  std::uint16_t port() const;
  std::uint16_t alt_port() const;
  std::uint16_t socks_port() const;
  std::string root_url() const;                           // "http://127.0.0.1:PORT"
  std::string base_url() const;                           // "http://127.0.0.1:PORT/brevaro/"
  std::string url(std::string_view path) const;           // root_url() + path
  std::string redirect_link(std::string_view key) const;  // base_url() + "url.asp?url=" + key

  // Request records.
  std::vector<RequestRecord> requests() const;
  std::size_t request_count() const;
  void clear_requests();
  // Waits until a record (also one already there) satisfies pred; returns it,
  // or nullopt after the timeout.
  std::optional<RequestRecord> wait_for(const std::function<bool(const RequestRecord&)>& pred,
                                        std::chrono::milliseconds timeout) const;
  // Shorthand: the first record whose path without query equals `path`.
  std::optional<RequestRecord> wait_for_path(std::string_view path, std::chrono::milliseconds timeout) const;

  // Advert script contents, changeable while running.
  void set_adverts(Adverts adverts);
  Adverts adverts() const;

  // Answer requests for `path` (without query; exact match) as if `target`
  // had been requested. An empty target removes the override.
  void set_override(std::string path, std::string target);
  void clear_overrides();

  // Serve `data` as /brevaro/banners/NAME (takes precedence over banner_dir).
  void put_file(std::string name, std::string data);
  void remove_file(const std::string& name);

  // Session state driven by the pages: a section page signs in, signout signs out.
  bool signed_in() const;
  int signouts() const;

  // The committed banner folder (service/data/banners in the source tree).
  static std::string default_banner_dir();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace brevaro::service
