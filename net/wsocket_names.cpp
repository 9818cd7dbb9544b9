// Name and number helpers of the socket: dotted addresses, Winsock error
// texts, state names and the blocking host/port/protocol resolvers.
#include "net/wsocket_names.h"

#include <algorithm>
#include <cstdio>

#include "net/wsocket.h"

namespace brevaro::net {

// ---------------------------------------------------------------------------
// Address helpers

std::optional<std::uint32_t> parseDottedAddress(std::string_view text) {
  std::uint32_t result = 0;
  int parts = 0;
  std::size_t i = 0;
  while (parts < 4) {
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return std::nullopt;
    unsigned v = 0;
    std::size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      v = v * 10 + static_cast<unsigned>(text[i] - '0');
      if (++digits > 3 || v > 255) return std::nullopt;
      ++i;
    }
    result = (result << 8) | v;
    ++parts;
    if (parts < 4) {
      if (i >= text.size() || text[i] != '.') return std::nullopt;
      ++i;
    }
  }
  if (i != text.size()) return std::nullopt;
  return result;
}

std::string formatDottedAddress(std::uint32_t a) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", (a >> 24) & 255u, (a >> 16) & 255u, (a >> 8) & 255u, a & 255u);
  return buf;
}

// ---------------------------------------------------------------------------
// Error texts

std::string WSocketErrorDesc(int error) {
  switch (error) {
    case 0: return "No Error";
    case 10004: return "Interrupted system call";
    case 10009: return "Bad file number";
    case 10013: return "Permission denied";
    case 10014: return "Bad address";
    case 10022: return "Invalid argument";
    case 10024: return "Too many open files";
    case 10035: return "Operation would block";
    case 10036: return "Operation now in progress";
    case 10037: return "Operation already in progress";
    case 10038: return "Socket operation on non-socket";
    case 10039: return "Destination address required";
    case 10040: return "Message too long";
    case 10041: return "Protocol wrong type for socket";
    case 10042: return "Protocol not available";
    case 10043: return "Protocol not supported";
    case 10044: return "Socket type not supported";
    case 10045: return "Operation not supported on socket";
    case 10046: return "Protocol family not supported";
    case 10047: return "Address family not supported by protocol family";
    case 10048: return "Address already in use";
    case 10049: return "Address not available";
    case 10050: return "Network is down";
    case 10051: return "Network is unreachable";
    case 10052: return "Network dropped connection on reset";
    case 10053: return "Connection aborted";
    case 10054: return "Connection reset by peer";
    case 10055: return "No buffer space available";
    case 10056: return "Socket is already connected";
    case 10057: return "Socket is not connected";
    case 10058: return "Can't send after socket shutdown";
    case 10059: return "Too many references: can't splice";
    case 10060: return "Connection timed out";
    case 10061: return "Connection refused";
    case 10062: return "Too many levels of symbolic links";
    case 10063: return "File name too long";
    case 10064: return "Host is down";
    case 10065: return "No route to host";
    case 10066: return "Directory not empty";
    case 10067: return "Too many processes";
    case 10068: return "Too many users";
    case 10069: return "Disc quota exceeded";
    case 10070: return "Stale NFS file handle";
    case 10071: return "Too many levels of remote in path";
    case 10091: return "Network sub-system is unusable";
    case 10092: return "WinSock DLL cannot support this application";
    case 10093: return "WinSock not initialized";
    case 11001: return "Host not found";
    case 11002: return "Non-authoritative host not found";
    case 11003: return "Non-recoverable error";
    case 11004: return "No Data";
    default: return "Not a WinSock error";
  }
}

std::string_view SocketStateName(TSocketState s) {
  switch (s) {
    case wsInvalidState: return "wsInvalidState";
    case wsOpened: return "wsOpened";
    case wsBound: return "wsBound";
    case wsConnecting: return "wsConnecting";
    case wsConnected: return "wsConnected";
    case wsAccepting: return "wsAccepting";
    case wsListening: return "wsListening";
    case wsClosed: return "wsClosed";
  }
  return "?";
}

namespace detail {
std::string quoteFmt(std::string_view before, std::string_view text, std::string_view after, int err) {
  return std::string(before) + std::string(text) + std::string(after) + std::to_string(err);
}
bool isDottedShape(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}
}  // namespace detail

using detail::isDottedShape;
using detail::quoteFmt;

std::uint32_t WSocketResolveHost(SocketApi& api, std::string_view host) {
  if (host.empty() || host.size() > 256)
    throw ESocketException("WSocketResolveHost: '" + std::string(host) + "' Invalid Hostname.");
  if (isDottedShape(host)) {
    auto a = parseDottedAddress(host);
    if (!a) throw ESocketException("WSocketResolveHost: '" + std::string(host) + "' Invalid IP address.");
    return *a;
  }
  int err = 0;
  auto he = api.getHostByName(host, &err);
  if (!he || he->addrs.empty())
    throw ESocketException(
        quoteFmt("WSocketResolveHost: Cannot convert host address '", host, "', Error #", err ? err : wsa::no_data));
  return he->addrs.front();
}

std::uint16_t WSocketResolvePort(SocketApi& api, std::string_view port, std::string_view proto) {
  if (port.empty() || port.size() >= 32) throw ESocketException("WSocketResolvePort: Invalid Port.");
  std::string_view p = port;
  while (!p.empty() && p.front() == ' ') p.remove_prefix(1);
  if (!p.empty() && p.front() >= '0' && p.front() <= '9') {
    unsigned long v = 0;
    for (char c : p) {
      if (c < '0' || c > '9') break;
      v = v * 10 + static_cast<unsigned>(c - '0');
      if (v > 65535) throw ESocketException("WSocketResolvePort: Invalid Port.");
    }
    return static_cast<std::uint16_t>(v);
  }
  int err = 0;
  auto r = api.getServByName(port, proto, &err);
  if (!r) throw ESocketException(quoteFmt("WSocketResolvePort: Cannot convert port '", port, "', Error #", err));
  return *r;
}

int WSocketResolveProto(SocketApi& api, std::string_view proto) {
  if (proto.empty() || proto.size() >= 32) throw ESocketException("WSocketResolveProto: Invalid Protocol.");
  std::string_view p = proto;
  while (!p.empty() && p.front() == ' ') p.remove_prefix(1);
  if (!p.empty() && p.front() >= '0' && p.front() <= '9') {
    int v = 0;
    for (char c : p) {
      if (c < '0' || c > '9') break;
      v = v * 10 + (c - '0');
      if (v > 255) throw ESocketException("WSocketResolveProto: Invalid Protocol.");
    }
    return v;
  }
  int err = 0;
  auto r = api.getProtoByName(proto, &err);
  if (!r) throw ESocketException(quoteFmt("WSocketResolveProto: Cannot convert protocol '", proto, "', Error #", err));
  return *r;
}

}  // namespace brevaro::net
