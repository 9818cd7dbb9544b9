// ICMP echo on Linux: an unprivileged ping socket (SOCK_DGRAM, IPPROTO_ICMP)
// where the system allows it, a raw socket otherwise (root).
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "net/icmp.h"
#include "net/posix/socket_api.h"
#include "platform/posix/unique_fd.h"

namespace brevaro::net {
namespace {

// Windows' IP_REQ_TIMED_OUT, reported after an echo that got no answer.
constexpr int ip_req_timed_out = 11010;

std::uint16_t checksum(const std::uint8_t* p, std::size_t n) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 < n; i += 2) sum += static_cast<std::uint32_t>(p[i] << 8 | p[i + 1]);
  if (n & 1) sum += static_cast<std::uint32_t>(p[n - 1] << 8);
  while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum);
}

class PosixIcmpApi final : public IcmpApi {
 public:
  PosixIcmpApi() {
    // Probe once so that a machine without any way to send echoes fails at creation.
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) {
      fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
      if (fd < 0) throw TICMPException("Unable to get ping handle");
      raw_ = true;
    }
    ::close(fd);
  }

  std::optional<HostEntry> getHostByName(std::string_view name, int* error) override {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* res = nullptr;
    std::string n(name);
    if (::getaddrinfo(n.c_str(), nullptr, &hints, &res) != 0 || !res) {
      *error = wsa::host_not_found;
      return std::nullopt;
    }
    HostEntry he;
    he.name = res->ai_canonname ? res->ai_canonname : n;
    for (addrinfo* p = res; p; p = p->ai_next)
      if (p->ai_family == AF_INET)
        he.addrs.push_back(ntohl(reinterpret_cast<sockaddr_in*>(p->ai_addr)->sin_addr.s_addr));
    ::freeaddrinfo(res);
    return he;
  }

  int sendEcho(std::uint32_t addr, std::span<const std::byte> data, const IcmpRequestOptions& options,
               TIcmpEchoReply& reply, std::span<std::byte> replyData, int timeoutMs, int* lastError) override {
    *lastError = 0;
    const platform::posix::UniqueFd fd(::socket(AF_INET, (raw_ ? SOCK_RAW : SOCK_DGRAM) | SOCK_CLOEXEC, IPPROTO_ICMP));
    if (fd.get() < 0) {
      *lastError = posix::mapErrno(errno);
      return 0;
    }
    int ttl = options.ttl;
    ::setsockopt(fd.get(), IPPROTO_IP, IP_TTL, &ttl, sizeof ttl);
    int on = 1;
    ::setsockopt(fd.get(), IPPROTO_IP, IP_RECVTTL, &on, sizeof on);
    if (options.flags & 2) {  // "don't fragment"
      int pmtu = IP_PMTUDISC_DO;
      ::setsockopt(fd.get(), IPPROTO_IP, IP_MTU_DISCOVER, &pmtu, sizeof pmtu);
    }
    if (options.tos) {
      int tos = options.tos;
      ::setsockopt(fd.get(), IPPROTO_IP, IP_TOS, &tos, sizeof tos);
    }
    std::uint16_t id = static_cast<std::uint16_t>(::getpid());
    std::uint16_t seq = ++seq_;
    std::vector<std::uint8_t> packet(8 + data.size());
    packet[0] = ICMP_ECHO;
    packet[4] = static_cast<std::uint8_t>(id >> 8);
    packet[5] = static_cast<std::uint8_t>(id);
    packet[6] = static_cast<std::uint8_t>(seq >> 8);
    packet[7] = static_cast<std::uint8_t>(seq);
    if (!data.empty()) std::memcpy(packet.data() + 8, data.data(), data.size());
    std::uint16_t sum = checksum(packet.data(), packet.size());
    packet[2] = static_cast<std::uint8_t>(sum >> 8);
    packet[3] = static_cast<std::uint8_t>(sum);

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(addr);
    auto start = std::chrono::steady_clock::now();
    if (::sendto(fd.get(), packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0) {
      *lastError = posix::mapErrno(errno);
      return 0;
    }
    std::vector<std::uint8_t> buf(65536);
    for (;;) {
      auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
      int left = timeoutMs - static_cast<int>(elapsed.count());
      if (left <= 0) break;
      pollfd p{fd.get(), POLLIN, 0};
      if (::poll(&p, 1, left) <= 0) break;
      sockaddr_in from{};
      iovec iov{buf.data(), buf.size()};
      char control[256];
      msghdr mh{};
      mh.msg_name = &from;
      mh.msg_namelen = sizeof from;
      mh.msg_iov = &iov;
      mh.msg_iovlen = 1;
      mh.msg_control = control;
      mh.msg_controllen = sizeof control;
      ssize_t n = ::recvmsg(fd.get(), &mh, 0);
      if (n <= 0) continue;
      const std::uint8_t* icmp = buf.data();
      std::size_t len = static_cast<std::size_t>(n);
      int replyTtl = 0;
      if (raw_) {
        std::size_t ihl = static_cast<std::size_t>(buf[0] & 0x0f) * 4;
        if (len < ihl + 8) continue;
        replyTtl = buf[8];
        icmp += ihl;
        len -= ihl;
      } else {
        for (cmsghdr* c = CMSG_FIRSTHDR(&mh); c; c = CMSG_NXTHDR(&mh, c))
          if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL)
            std::memcpy(&replyTtl, CMSG_DATA(c), sizeof replyTtl);
      }
      if (len < 8 || icmp[0] != ICMP_ECHOREPLY) continue;
      std::uint16_t rseq = static_cast<std::uint16_t>(icmp[6] << 8 | icmp[7]);
      std::uint16_t rid = static_cast<std::uint16_t>(icmp[4] << 8 | icmp[5]);
      if (rseq != seq || (raw_ && rid != id)) continue;
      auto rtt = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
      std::size_t dataLen = len - 8;
      reply.Address = from.sin_addr.s_addr;
      reply.Status = 0;
      reply.RoundTripTime = static_cast<std::uint32_t>(rtt.count());
      reply.DataSize = static_cast<std::uint16_t>(dataLen);
      reply.Ttl = static_cast<std::uint8_t>(replyTtl);
      reply.Flags = static_cast<std::uint8_t>(options.flags);
      std::memcpy(replyData.data(), icmp + 8, std::min(dataLen, replyData.size()));
      return 1;
    }
    *lastError = ip_req_timed_out;
    reply.Status = ip_req_timed_out;
    return 0;
  }

 private:
  bool raw_ = false;
  std::uint16_t seq_ = 0;
};

}  // namespace

std::unique_ptr<IcmpApi> makeIcmpApi() { return std::make_unique<PosixIcmpApi>(); }

}  // namespace brevaro::net
