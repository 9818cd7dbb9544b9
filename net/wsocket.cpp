#include "net/wsocket.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <utility>

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

namespace {
// Fills "...%s...%d..." style messages: `before` + text + `after` + number.
std::string quoteFmt(std::string_view before, std::string_view text, std::string_view after, int err) {
    return std::string(before) + std::string(text) + std::string(after) + std::to_string(err);
}
bool isDottedShape(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}
}  // namespace

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
        throw ESocketException(quoteFmt("WSocketResolveHost: Cannot convert host address '", host, "', Error #",
                                        err ? err : wsa::no_data));
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

// ---------------------------------------------------------------------------
// TBuffer

void TBuffer::SetSize(int size) {
    std::size_t n = size <= 0 ? static_cast<std::size_t>(default_size) : static_cast<std::size_t>(size);
    if (n < wr_) {
        // Shrinking below the stored bytes: move what is unread to the front first.
        std::memmove(data_.data(), data_.data() + rd_, wr_ - rd_);
        wr_ -= rd_;
        rd_ = 0;
        wr_ = std::min(wr_, n);
    }
    data_.resize(n);
}

int TBuffer::Write(std::span<const std::byte> data) {
    std::size_t room = data_.size() - wr_;
    std::size_t n = std::min(room, data.size());
    if (n) std::memcpy(data_.data() + wr_, data.data(), n);
    wr_ += n;
    return static_cast<int>(n);
}

int TBuffer::Remove(int count) {
    std::size_t n = std::min<std::size_t>(count < 0 ? 0 : static_cast<std::size_t>(count), wr_ - rd_);
    rd_ += n;
    if (rd_ == wr_) rd_ = wr_ = 0;
    return static_cast<int>(n);
}

// ---------------------------------------------------------------------------
// TCustomWSocket

TCustomWSocket::TCustomWSocket(SocketApi& api) : api_(api) {
    api_.acquire();
    channel_ = api_.createChannel(*this);
    AssignDefaultValue();
}

TCustomWSocket::~TCustomWSocket() {
    destroying_ = true;
    *alive_ = false;
    try {
        CancelLookup();
    } catch (...) {
    }
    if (reverseLookup_) {
        channel_->cancelAsyncRequest(reverseLookup_);
        reverseLookup_ = 0;
    }
    if (hsocket_ != invalid_socket) {
        try {
            InternalClose(false, 0);
        } catch (...) {
        }
        if (hsocket_ != invalid_socket) api_.closeSocket(hsocket_);
        hsocket_ = invalid_socket;
    }
    bufList_.clear();
    channel_.reset();
    api_.release();
}

void TCustomWSocket::AssignDefaultValue() {
    addr_.clear();
    port_.clear();
    proto_ = "tcp";
    localAddr_ = "0.0.0.0";
    localPort_ = "0";
    addrResolved_ = portResolved_ = protoResolved_ = localPortResolved_ = false;
    sin_ = {};
    protoNum_ = ipproto_tcp;
    sockType_ = sock_stream;
    localPortNum_ = 0;
    state_ = wsClosed;
    readCount_ = 0;
    lastError_ = 0;
    multiThreaded_ = false;
    options_ = 0;
    flushTimeout_ = 60;
    sendFlags_ = wsSendNormal;
    lingerOnOff_ = wsLingerOn;
    lingerTimeout_ = 0;
    paused_ = false;
    selectMask_ = 0;
}

void TCustomWSocket::ChangeState(TSocketState newState) {
    TSocketState old = state_;
    state_ = newState;
    if (old != newState && OnChangeState) OnChangeState(*this, old, newState);
}

[[noreturn]] void TCustomWSocket::ThrowError(const std::string& msg) { throw ESocketException(msg); }

void TCustomWSocket::RaiseException(const std::string& msg) {
    if (OnError) {
        TriggerError();
        return;
    }
    ThrowError(msg);
}

void TCustomWSocket::SocketError(std::string_view function, int error) {
    int err = error >= 0 ? error : api_.lastError();
    std::string line = "Error " + std::to_string(err) + " in function " + std::string(function) + "\r\n" +
                       WSocketErrorDesc(err);
    lastError_ = err;
    if (err == wsa::econnreset || err == wsa::enotconn) {
        if (hsocket_ != invalid_socket) {
            channel_->asyncSelect(hsocket_, msg_notify, 0);
            api_.closeSocket(hsocket_);
            hsocket_ = invalid_socket;
        }
        ChangeState(wsClosed);
    }
    RaiseException(line);
}

void TCustomWSocket::TriggerError() {
    if (OnError) OnError(*this);
}

// Setters that only work while closed.
void TCustomWSocket::SetAddr(std::string_view v) {
    if (state_ != wsClosed) {
        RaiseException("Cannot change Addr if not closed");
        return;
    }
    addr_ = v;
    addrResolved_ = false;
}

void TCustomWSocket::SetPort(std::string_view v) {
    if (state_ != wsClosed) {
        RaiseException("Cannot change Port if not closed");
        return;
    }
    port_ = v;
    portResolved_ = false;
}

void TCustomWSocket::SetProto(std::string_view v) {
    if (state_ != wsClosed) {
        RaiseException("Cannot change Proto if not closed");
        return;
    }
    proto_ = v;
    protoResolved_ = false;
    portResolved_ = false;
}

void TCustomWSocket::SetLocalAddr(std::string_view v) {
    if (state_ != wsClosed) {
        RaiseException("Cannot change LocalAddr if not closed");
        return;
    }
    std::string value = v.empty() ? std::string("0.0.0.0") : std::string(v);
    if (!parseDottedAddress(value)) {
        RaiseException("SetLocalAddr(): Invalid IP address");
        return;
    }
    localAddr_ = value;
}

void TCustomWSocket::SetLocalPort(std::string_view v) {
    if (state_ != wsClosed) {
        RaiseException("Cannot change LocalPort if not closed");
        return;
    }
    localPort_ = v;
    localPortResolved_ = false;
}

std::string TCustomWSocket::PeerAddr() {
    SockAddr a;
    if (hsocket_ == invalid_socket || api_.getPeerName(hsocket_, &a) != 0) return "error";
    return formatDottedAddress(a.addr);
}

std::string TCustomWSocket::PeerPort() {
    SockAddr a;
    if (hsocket_ == invalid_socket || api_.getPeerName(hsocket_, &a) != 0) return "error";
    return std::to_string(a.port);
}

long TCustomWSocket::RcvdCount() {
    if (hsocket_ == invalid_socket) return 0;
    long n = api_.bytesWaiting(hsocket_);
    if (n < 0) lastError_ = api_.lastError();
    return n;
}

void TCustomWSocket::ApplyLinger() {
    if (lingerOnOff_ == wsLingerNoSet) return;
    if (hsocket_ == invalid_socket) {
        RaiseException("Cannot set linger option at this time");
        return;
    }
    if (api_.setLinger(hsocket_, lingerOnOff_ == wsLingerOn, lingerTimeout_) != 0) SocketError("setsockopt(SO_LINGER)");
}

void TCustomWSocket::ConnectTo(const std::string& host, const std::string& port) {
    if (hsocket_ != invalid_socket && state_ != wsClosed) {
        RaiseException("Connect: Socket already in use");
        return;
    }
    if (port.empty()) {
        RaiseException("Connect: No Port Specified");
        return;
    }
    if (host.empty()) {
        RaiseException("Connect: No IP Address Specified");
        return;
    }
    if (proto_.empty()) {
        RaiseException("Connect: No Protocol Specified");
        return;
    }
    try {
        if (!protoResolved_) {
            protoNum_ = WSocketResolveProto(api_, proto_);
            sockType_ = protoNum_ == ipproto_udp ? sock_dgram : sock_stream;
            protoResolved_ = true;
        }
        if (!portResolved_) {
            sin_.port = WSocketResolvePort(api_, port, proto_);
            portResolved_ = true;
        }
        if (!localPortResolved_) {
            localPortNum_ = WSocketResolvePort(api_, localPort_, proto_);
            localPortResolved_ = true;
        }
        if (!addrResolved_) {
            sin_.addr = WSocketResolveHost(api_, host);
            addrResolved_ = true;
        }
    } catch (const ESocketException& e) {
        RaiseException(std::string("connect: ") + e.what());
        return;
    }
    DeleteBufferedData();
    hsocket_ = api_.socket(sockType_, protoNum_);
    if (hsocket_ == invalid_socket) {
        SocketError("Connect (socket)");
        return;
    }
    closeInvoked_ = false;
    paused_ = false;
    ChangeState(wsOpened);
    auto localAddrNum = parseDottedAddress(localAddr_).value_or(0);
    if (sockType_ == sock_stream) {
        if (localPortNum_ != 0 || localAddr_ != "0.0.0.0") {
            if (api_.bind(hsocket_, {localAddrNum, localPortNum_}) != 0) {
                RaiseException("winsock.bind failed, error #" + std::to_string(api_.lastError()));
                return;
            }
            SockAddr got;
            if (api_.getSockName(hsocket_, &got) != 0) {
                RaiseException("winsock.getsockname failed, error #" + std::to_string(api_.lastError()));
                return;
            }
            localPort_ = std::to_string(got.port);
            localPortNum_ = got.port;
        }
        ApplyLinger();
        if (api_.setOption(hsocket_, SockOption::KeepAlive, true) != 0) SocketError("setsockopt(SO_KEEPALIVE)");
        if (api_.setOption(hsocket_, SockOption::ReuseAddr, true) != 0) SocketError("setsockopt(SO_REUSEADDR)");
    } else {
        if (api_.bind(hsocket_, {localAddrNum, localPortNum_}) != 0) {
            RaiseException("winsock.bind failed, error #" + std::to_string(api_.lastError()));
            return;
        }
        SockAddr got;
        if (api_.getSockName(hsocket_, &got) == 0) localPort_ = std::to_string(got.port);
        if (sin_.addr == 0xffffffffu && api_.setOption(hsocket_, SockOption::Broadcast, true) != 0)
            SocketError("setsockopt(SO_BROADCAST)");
    }
    selectMask_ = connect_mask;
    if (int e = channel_->asyncSelect(hsocket_, msg_notify, selectMask_); e != 0) {
        SocketError("WSAAsyncSelect", e);
        return;
    }
    if (sockType_ == sock_dgram) {
        api_.connect(hsocket_, sin_);
        ChangeState(wsConnected);
        TriggerSessionConnected(0);
        return;
    }
    if (api_.connect(hsocket_, sin_) != 0) {
        int e = api_.lastError();
        if (e != wsa::ewouldblock) {
            SocketError("Connect", e);
            return;
        }
    }
    ChangeState(wsConnecting);
}

void TCustomWSocket::Connect() { ConnectTo(addr_, port_); }

void TCustomWSocket::Listen() {
    if (hsocket_ != invalid_socket && state_ != wsClosed) {
        RaiseException("listen: Socket already in use");
        return;
    }
    if (port_.empty()) {
        RaiseException("listen: No Port Specified");
        return;
    }
    std::uint32_t addr = 0;
    try {
        protoNum_ = WSocketResolveProto(api_, proto_);
        sockType_ = protoNum_ == ipproto_udp ? sock_dgram : sock_stream;
        protoResolved_ = true;
        sin_.port = WSocketResolvePort(api_, port_, proto_);
        portResolved_ = true;
        addr = addr_.empty() ? 0 : WSocketResolveHost(api_, addr_);
    } catch (const ESocketException& e) {
        RaiseException(std::string("listen: ") + e.what());
        return;
    }
    sin_.addr = addr;
    DeleteBufferedData();
    hsocket_ = api_.socket(sockType_, protoNum_);
    if (hsocket_ == invalid_socket) {
        SocketError("socket");
        return;
    }
    closeInvoked_ = false;
    if (sockType_ == sock_stream) api_.setOption(hsocket_, SockOption::ReuseAddr, true);
    if (api_.bind(hsocket_, {addr, sin_.port}) != 0) {
        SocketError("Bind");
        return;
    }
    SockAddr got;
    if (api_.getSockName(hsocket_, &got) == 0) localPort_ = std::to_string(got.port);
    ChangeState(wsBound);
    if (sockType_ == sock_dgram) {
        selectMask_ = fd_read | fd_write;
        channel_->asyncSelect(hsocket_, msg_notify, selectMask_);
        ChangeState(wsConnected);
        TriggerSessionConnected(0);
        return;
    }
    if (api_.listen(hsocket_, 5) != 0) {
        SocketError("Listen");
        return;
    }
    selectMask_ = listen_mask;
    if (int e = channel_->asyncSelect(hsocket_, msg_notify, selectMask_); e != 0) {
        SocketError("WSAAsyncSelect", e);
        return;
    }
    ChangeState(wsListening);
}

SocketHandle TCustomWSocket::Accept() {
    if (state_ != wsListening) {
        SocketError("not a listening socket", wsa::einval);
        return invalid_socket;
    }
    SockAddr peer;
    SocketHandle h = api_.accept(hsocket_, &peer);
    if (h == invalid_socket) {
        int e = api_.lastError();
        if (e != wsa::ewouldblock) SocketError("Accept", e);
    }
    return h;
}

void TCustomWSocket::Dup(SocketHandle h) {
    if (h == invalid_socket) {
        RaiseException("Dup: invalid socket handle");
        return;
    }
    hsocket_ = h;
    closeInvoked_ = false;
    sockType_ = sock_stream;
    selectMask_ = fd_read | fd_write | fd_close;
    if (int e = channel_->asyncSelect(hsocket_, msg_notify, selectMask_); e != 0) {
        SocketError("WSAAsyncSelect", e);
        return;
    }
    ChangeState(wsConnected);
}

int TCustomWSocket::RawReceive(void* buffer, int length) {
    if (hsocket_ == invalid_socket) {
        lastError_ = wsa::enotsock;
        return -1;
    }
    int n = api_.recv(hsocket_, std::span<std::byte>(static_cast<std::byte*>(buffer), static_cast<std::size_t>(std::max(length, 0))));
    if (n < 0)
        lastError_ = api_.lastError();
    else
        readCount_ += n;
    return n;
}

int TCustomWSocket::Receive(void* buffer, int length) { return RawReceive(buffer, length); }

std::string TCustomWSocket::ReceiveText() {
    long waiting = RcvdCount();
    if (waiting <= 0) return {};
    std::string s(static_cast<std::size_t>(waiting), '\0');
    int n = Receive(s.data(), static_cast<int>(s.size()));
    s.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return s;
}

int TCustomWSocket::ReceiveFrom(void* buffer, int length, SockAddr* from) {
    if (hsocket_ == invalid_socket) {
        lastError_ = wsa::enotsock;
        return -1;
    }
    int n = api_.recvFrom(hsocket_, std::span<std::byte>(static_cast<std::byte*>(buffer), static_cast<std::size_t>(std::max(length, 0))), from);
    if (n < 0)
        lastError_ = api_.lastError();
    else
        readCount_ += n;
    return n;
}

int TCustomWSocket::RawSend(std::span<const std::byte> data) {
    return api_.send(hsocket_, data, sendFlags_ == wsSendUrgent);
}

void TCustomWSocket::PutDataInSendBuffer(const void* data, int length) {
    std::span<const std::byte> rest(static_cast<const std::byte*>(data), static_cast<std::size_t>(std::max(length, 0)));
    if (bufList_.empty()) bufList_.emplace_back(TBuffer::default_size);
    while (!rest.empty()) {
        int n = bufList_.back().Write(rest);
        rest = rest.subspan(static_cast<std::size_t>(n));
        if (!rest.empty()) bufList_.emplace_back(TBuffer::default_size);
    }
}

void TCustomWSocket::DeleteBufferedData() {
    bufList_.clear();
    allSent_ = true;
    dataSentPending_ = false;
}

void TCustomWSocket::TryToSend() {
    auto alive = alive_;
    while (hsocket_ != invalid_socket) {
        if (bufList_.empty()) {
            allSent_ = true;
            return;
        }
        TBuffer& b = bufList_.front();
        auto data = b.Peek();
        if (!data.empty()) {
            int n = RawSend(data);
            if (n < 0) {
                int err = api_.lastError();
                if (err == wsa::ewouldblock) return;
                if (err == wsa::einval || err == wsa::enotsock || err == wsa::econnaborted || err == wsa::econnreset ||
                    err == wsa::enotconn) {
                    lastError_ = err;
                    InternalClose(false, static_cast<std::uint16_t>(err));
                    return;
                }
                SocketError("TryToSend failed", err);
                return;
            }
            b.Remove(n);
            if (OnSendData) OnSendData(*this, n);
            if (!*alive) return;
            if (n < static_cast<int>(data.size())) return;
            if (bufList_.empty()) continue;
        }
        if (bufList_.front().Empty()) {
            if (bufList_.size() > 1) {
                bufList_.pop_front();
            } else {
                allSent_ = true;
                return;
            }
        }
    }
}

int TCustomWSocket::Send(const void* data, int length) {
    if (state_ != wsConnected) {
        SocketError("Send", wsa::enotconn);
        return -1;
    }
    if (length <= 0) return 0;
    allSent_ = false;
    dataSentPending_ = true;
    PutDataInSendBuffer(data, length);
    TryToSend();
    if (allSent_ && hsocket_ != invalid_socket)
        channel_->post(msg_notify, static_cast<std::uintptr_t>(hsocket_), static_cast<std::intptr_t>(fd_write));
    return length;
}

int TCustomWSocket::SendText(std::string_view text) { return Send(text.data(), static_cast<int>(text.size())); }

int TCustomWSocket::SendTo(SockAddr to, const void* data, int length) {
    if (hsocket_ == invalid_socket) {
        SocketError("SendTo", wsa::enotsock);
        return -1;
    }
    int n = api_.sendTo(hsocket_, std::span<const std::byte>(static_cast<const std::byte*>(data), static_cast<std::size_t>(std::max(length, 0))), to);
    if (n < 0) lastError_ = api_.lastError();
    return n;
}

void TCustomWSocket::InternalClose(bool shut, std::uint16_t error) {
    if (hsocket_ == invalid_socket) {
        if (state_ != wsClosed) {
            ChangeState(wsClosed);
            AssignDefaultValue();
        }
        return;
    }
    if (state_ == wsClosed) return;
    if (shut) api_.shutdown(hsocket_, 1);
    channel_->asyncSelect(hsocket_, msg_notify, 0);
    for (int tries = 0;; ++tries) {
        if (api_.closeSocket(hsocket_) == 0) break;
        int e = api_.lastError();
        if (e == wsa::notinitialised) break;
        if (e != wsa::ewouldblock || tries > 1000) {
            hsocket_ = invalid_socket;
            SocketError("Disconnect (closesocket)", e);
            break;
        }
        ProcessMessages();
    }
    hsocket_ = invalid_socket;
    ChangeState(wsClosed);
    if (!destroying_ && !closeInvoked_) {
        closeInvoked_ = true;
        auto alive = alive_;
        TriggerSessionClosed(error);
        if (!*alive) return;
        // The handler opened the next session already: its settings stay.
        if (hsocket_ != invalid_socket) return;
    }
    try {
        AssignDefaultValue();
    } catch (...) {
    }
}

void TCustomWSocket::Close() { InternalClose(true, 0); }

void TCustomWSocket::Abort() {
    try {
        CancelLookup();
    } catch (...) {
    }
    DeleteBufferedData();
    if (state_ == wsConnected && sockType_ == sock_stream && hsocket_ != invalid_socket) {
        lingerOnOff_ = wsLingerOff;
        try {
            ApplyLinger();
        } catch (...) {
        }
    }
    InternalClose(false, 0);
}

void TCustomWSocket::CloseLater() { channel_->post(msg_close_later); }
void TCustomWSocket::FreeLater() { channel_->post(msg_free_later); }
void TCustomWSocket::PostTestException() { channel_->post(msg_test_exception); }

void TCustomWSocket::Flush() {
    auto alive = alive_;
    while (hsocket_ != invalid_socket && !allSent_ && !bufList_.empty()) {
        TryToSend();
        if (!*alive || allSent_) break;
        ProcessMessages();
        if (!*alive || terminated_) break;
    }
}

void TCustomWSocket::WaitForClose() {
    auto alive = alive_;
    char buf[1024];
    while (*alive && hsocket_ != invalid_socket && state_ != wsClosed) {
        long waiting = RcvdCount();
        if (waiting > 0) {
            if (OnDataAvailable)
                TriggerDataAvailable(0);
            else
                Receive(buf, sizeof buf);
        }
        if (!*alive) return;
        ProcessMessages();
        if (terminated_) return;
    }
}

int TCustomWSocket::ShutDown(int how) {
    if (hsocket_ == invalid_socket) return 0;
    return api_.shutdown(hsocket_, how);
}

void TCustomWSocket::PauseEvents() {
    paused_ = true;
    if (hsocket_ != invalid_socket) channel_->asyncSelect(hsocket_, msg_notify, 0);
}

void TCustomWSocket::ResumeEvents() {
    paused_ = false;
    if (hsocket_ != invalid_socket && selectMask_ != 0) channel_->asyncSelect(hsocket_, msg_notify, selectMask_);
}

void TCustomWSocket::ProcessMessages() {
    if (multiThreaded_ || !appPump_) {
        if (!api_.processMessages()) terminated_ = true;
    } else {
        appPump_();
    }
}

// --- lookups ---

void TCustomWSocket::DnsLookup(std::string_view host) {
    if (host.empty()) {
        RaiseException("DNS lookup: invalid host name.");
        TriggerDnsLookupDone(static_cast<std::uint16_t>(wsa::einval));
        return;
    }
    CancelLookup();
    dnsResult_.clear();
    dnsResultList_.clear();
    if (isDottedShape(host)) {
        if (auto a = parseDottedAddress(host)) {
            dnsResult_ = formatDottedAddress(*a);
            dnsResultList_.push_back(dnsResult_);
            TriggerDnsLookupDone(0);
            return;
        }
    }
    int err = 0;
    lookup_ = channel_->asyncGetHostByName(msg_lookup, host, &err);
    if (lookup_ == 0) RaiseException(quoteFmt("", host, ": can't start DNS lookup, error #", err));
}

void TCustomWSocket::ReverseLookup(std::string_view addr) {
    auto a = parseDottedAddress(addr);
    if (!a) {
        RaiseException("Reverse lookup: invalid address.");
        TriggerDnsLookupDone(static_cast<std::uint16_t>(wsa::einval));
        return;
    }
    if (reverseLookup_) {
        channel_->cancelAsyncRequest(reverseLookup_);
        reverseLookup_ = 0;
    }
    dnsResult_.clear();
    dnsResultList_.clear();
    int err = 0;
    reverseLookup_ = channel_->asyncGetHostByAddr(msg_reverse_lookup, *a, &err);
    if (reverseLookup_ == 0) RaiseException(quoteFmt("", addr, ": can't start reverse lookup, error #", err));
}

void TCustomWSocket::CancelLookup() {
    if (lookup_ == 0) return;
    LookupHandle h = std::exchange(lookup_, 0);
    if (int e = channel_->cancelAsyncRequest(h); e != 0) {
        SocketError("WSACancelAsyncRequest", e);
        return;
    }
    if (!destroying_) TriggerDnsLookupDone(static_cast<std::uint16_t>(wsa::eintr));
}

// --- triggers ---

void TCustomWSocket::TriggerDataAvailable(std::uint16_t error) {
    if (OnDataAvailable) OnDataAvailable(*this, error);
}
void TCustomWSocket::TriggerSessionAvailable(std::uint16_t error) {
    if (OnSessionAvailable) OnSessionAvailable(*this, error);
}
void TCustomWSocket::TriggerSessionConnected(std::uint16_t error) {
    if (OnSessionConnected) OnSessionConnected(*this, error);
}
void TCustomWSocket::TriggerSessionClosed(std::uint16_t error) {
    if (OnSessionClosed) OnSessionClosed(*this, error);
}
void TCustomWSocket::TriggerDataSent(std::uint16_t error) {
    if (OnDataSent) OnDataSent(*this, error);
}
void TCustomWSocket::TriggerDnsLookupDone(std::uint16_t error) {
    if (OnDnsLookupDone) OnDnsLookupDone(*this, error);
}

// --- the hidden window ---

void TCustomWSocket::handleMessage(unsigned msg, std::uintptr_t wparam, std::intptr_t lparam) {
    auto alive = alive_;
    try {
        WndProc(msg, wparam, lparam);
    } catch (const std::exception& e) {
        if (*alive) HandleBackGroundException(e);
    }
}

void TCustomWSocket::HandleBackGroundException(const std::exception& e) {
    bool canClose = true;
    if (OnBgException) {
        try {
            OnBgException(*this, e, canClose);
        } catch (...) {
        }
    }
    if (canClose) {
        try {
            Abort();
        } catch (...) {
        }
    }
}

void TCustomWSocket::ReceiveLoop(std::uint16_t error) {
    auto alive = alive_;
    char buf[1024];
    for (;;) {
        if (hsocket_ == invalid_socket) return;
        lastError_ = 0;
        std::int64_t before = readCount_;
        if (HasHandler()) {
            TriggerDataAvailable(error);
            if (!*alive) return;
            if (readCount_ == before && lastError_ == 0) return;  // the handler did not read: wait for more
        } else {
            int n = Receive(buf, sizeof buf);
            if (n < 0) {
                if (lastError_ == wsa::ewouldblock) lastError_ = 0;
                return;
            }
            if (n == 0) return;
        }
        if (options_ & wsoNoReceiveLoop) return;
        if (lastError_ != 0 || hsocket_ == invalid_socket) return;
        if (api_.bytesWaiting(hsocket_) <= 0) return;
    }
}

void TCustomWSocket::WndProc(unsigned msg, std::uintptr_t wparam, std::intptr_t lparam) {
    auto alive = alive_;
    switch (msg) {
    case msg_notify: {
        if (static_cast<SocketHandle>(wparam) != hsocket_ || hsocket_ == invalid_socket || paused_) return;
        unsigned events = static_cast<unsigned>(lparam) & 0xffffu;
        auto error = static_cast<std::uint16_t>((static_cast<std::uintptr_t>(lparam) >> 16) & 0xffffu);
        if (events & fd_connect) {
            ChangeState(wsConnected);
            TriggerSessionConnected(error);
            if (!*alive) return;
            if (error != 0 && state_ != wsClosed) Close();
            if (!*alive || hsocket_ == invalid_socket) return;
        }
        if (events & fd_read) {
            ReceiveLoop(error);
            if (!*alive || hsocket_ == invalid_socket) return;
        }
        if (events & fd_write) {
            TryToSend();
            if (!*alive) return;
            if (allSent_ && dataSentPending_) {
                dataSentPending_ = false;
                TriggerDataSent(error);
            }
            if (!*alive || hsocket_ == invalid_socket) return;
        }
        if (events & fd_accept) {
            TriggerSessionAvailable(error);
            if (!*alive || hsocket_ == invalid_socket) return;
        }
        if ((events & fd_close) && state_ != wsConnecting) {
            ReceiveLoop(0);
            if (!*alive) return;
            if (!closeInvoked_) {
                closeInvoked_ = true;
                TriggerSessionClosed(error);
                if (!*alive) return;
            }
            // Close the session that ended, not one the handler has opened since
            // (a new session has not been reported closed).
            if (state_ != wsClosed && closeInvoked_) Close();
        }
        return;
    }
    case msg_lookup: {
        if (static_cast<LookupHandle>(wparam) != lookup_ || lookup_ == 0) return;
        LookupHandle h = std::exchange(lookup_, 0);
        auto error = static_cast<std::uint16_t>((static_cast<std::uintptr_t>(lparam) >> 16) & 0xffffu);
        HostEntry he = channel_->takeLookupResult(h);
        if (error == 0) {
            for (auto a : he.addrs) dnsResultList_.push_back(formatDottedAddress(a));
            if (!dnsResultList_.empty()) dnsResult_ = dnsResultList_.front();
        }
        TriggerDnsLookupDone(error);
        return;
    }
    case msg_reverse_lookup: {
        if (static_cast<LookupHandle>(wparam) != reverseLookup_ || reverseLookup_ == 0) return;
        LookupHandle h = std::exchange(reverseLookup_, 0);
        auto error = static_cast<std::uint16_t>((static_cast<std::uintptr_t>(lparam) >> 16) & 0xffffu);
        HostEntry he = channel_->takeLookupResult(h);
        if (error == 0) {
            dnsResult_ = he.name;
            dnsResultList_.push_back(he.name);
        }
        TriggerDnsLookupDone(error);
        return;
    }
    case msg_close_later:
        Close();
        return;
    case msg_free_later:
        if (OnFreeLater) {
            // The handler destroys this component (and its handler member): run a copy.
            auto handler = OnFreeLater;
            handler(*this);
        }
        return;
    case msg_test_exception:
        throw ESocketException("Test exception in WSocket");
    default:
        return;
    }
}

// ---------------------------------------------------------------------------
// TCustomSocksWSocket

void TCustomSocksWSocket::AssignDefaultValue() {
    TCustomWSocket::AssignDefaultValue();
    socksStep_ = SocksStep::Idle;
}

void TCustomSocksWSocket::SetSocksServer(std::string_view v) {
    if (state_ != wsClosed) {
        RaiseException("Can't change socks server if not closed");
        return;
    }
    socksServer_ = v;
}

void TCustomSocksWSocket::SetSocksPort(std::string_view v) {
    if (state_ != wsClosed) {
        RaiseException("Can't change socks port if not closed");
        return;
    }
    socksPort_ = v;
}

void TCustomSocksWSocket::SetSocksLevel(std::string_view v) {
    if (state_ != wsClosed) {
        RaiseException("Can't change socks level if not closed");
        return;
    }
    if (v != "4" && v != "4A" && v != "4a" && v != "5") {
        RaiseException("Invalid socks level. Must be 4, 4A or 5.");
        return;
    }
    socksLevel_ = v == "4a" ? std::string("4A") : std::string(v);
}

void TCustomSocksWSocket::Connect() {
    if (socksServer_.empty()) {
        TCustomWSocket::Connect();
        return;
    }
    if (proto_ != "tcp" && proto_ != "6") {
        RaiseException("tcp is the only protocol supported thru socks server");
        return;
    }
    destAddr_ = addr_;
    destPort_ = port_;
    if (destAddr_.empty()) {
        RaiseException("Connect: No IP Address Specified");
        return;
    }
    if (destPort_.empty()) {
        RaiseException("Connect: No Port Specified");
        return;
    }
    addrResolved_ = portResolved_ = false;
    socksStep_ = SocksStep::Idle;
    want_ = 0;
    ConnectTo(socksServer_, socksPort_.empty() ? std::string("1080") : socksPort_);
    // The resolved address is the SOCKS server's; resolve again next time.
    addrResolved_ = portResolved_ = false;
    if (state_ == wsConnecting) socksStep_ = SocksStep::Connecting;
}

void TCustomSocksWSocket::Listen() {
    if (!socksServer_.empty()) {
        RaiseException("Listening is not supported thru socks server");
        return;
    }
    TCustomWSocket::Listen();
}

void TCustomSocksWSocket::TriggerSessionClosed(std::uint16_t error) {
    if (socksStep_ != SocksStep::Idle && state_ == wsClosed && !destroying_) {
        // The server went away in the middle of the negotiation.
        bool connecting = socksStep_ == SocksStep::Connecting;
        socksStep_ = SocksStep::Idle;
        if (!connecting) {
            std::uint16_t code = error ? error : static_cast<std::uint16_t>(socks_error_base + 7);
            auto alive = alive_;
            if (OnSocksError) OnSocksError(*this, code, "connection closed by the socks server");
            if (!*alive) return;
            TCustomWSocket::TriggerSessionConnected(code);
            if (!*alive) return;
        }
    }
    TCustomWSocket::TriggerSessionClosed(error);
}

void TCustomSocksWSocket::SocksFailed(std::uint16_t code, const std::string& msg) {
    socksStep_ = SocksStep::Idle;
    lastError_ = code;
    auto alive = alive_;
    if (OnSocksError) OnSocksError(*this, code, msg);
    if (!*alive) return;
    TCustomWSocket::TriggerSessionConnected(code);
    if (!*alive) return;
    if (state_ != wsClosed) Close();
}

void TCustomSocksWSocket::TriggerSessionConnected(std::uint16_t error) {
    if (socksStep_ != SocksStep::Connecting) {
        TCustomWSocket::TriggerSessionConnected(error);
        return;
    }
    if (error != 0) {
        socksStep_ = SocksStep::Idle;
        if (OnSocksConnected) OnSocksConnected(*this, error);
        TCustomWSocket::TriggerSessionConnected(error);
        return;
    }
    std::vector<std::uint8_t> msg;
    if (socksLevel_ == "5") {
        if (socksAuth_ == socksAuthenticateUsercode)
            msg = {5, 2, 0, 2};
        else
            msg = {5, 1, 0};
        socksStep_ = SocksStep::Greeting;
        Expect(2);
        Send(msg.data(), static_cast<int>(msg.size()));
        return;
    }
    SocksSendRequest();
}

void TCustomSocksWSocket::SocksSendRequest() {
    std::uint16_t port = 0;
    try {
        port = WSocketResolvePort(api_, destPort_, "tcp");
    } catch (const ESocketException& e) {
        SocksFailed(socks_error_base + 1, e.what());
        return;
    }
    std::vector<std::uint8_t> msg;
    auto dotted = parseDottedAddress(destAddr_);
    if (socksLevel_ == "5") {
        msg = {5, 1, 0};
        if (dotted) {
            msg.push_back(1);
            for (int s = 24; s >= 0; s -= 8) msg.push_back(static_cast<std::uint8_t>(*dotted >> s));
        } else {
            if (destAddr_.size() > 255) {
                SocksFailed(socks_error_base + 1, "host name too long");
                return;
            }
            msg.push_back(3);
            msg.push_back(static_cast<std::uint8_t>(destAddr_.size()));
            msg.insert(msg.end(), destAddr_.begin(), destAddr_.end());
        }
        msg.push_back(static_cast<std::uint8_t>(port >> 8));
        msg.push_back(static_cast<std::uint8_t>(port));
        socksStep_ = SocksStep::Request;
        Expect(5);
    } else {
        std::uint32_t ip = 0;
        bool sendName = false;
        if (dotted) {
            ip = *dotted;
        } else if (socksLevel_ == "4A") {
            ip = 1;  // 0.0.0.1: the server resolves the name
            sendName = true;
        } else {
            try {
                ip = WSocketResolveHost(api_, destAddr_);
            } catch (const ESocketException& e) {
                SocksFailed(socks_error_base + 1, e.what());
                return;
            }
        }
        msg = {4, 1, static_cast<std::uint8_t>(port >> 8), static_cast<std::uint8_t>(port)};
        for (int s = 24; s >= 0; s -= 8) msg.push_back(static_cast<std::uint8_t>(ip >> s));
        msg.insert(msg.end(), socksUser_.begin(), socksUser_.end());
        msg.push_back(0);
        if (sendName) {
            msg.insert(msg.end(), destAddr_.begin(), destAddr_.end());
            msg.push_back(0);
        }
        socksStep_ = SocksStep::Reply4;
        Expect(8);
    }
    Send(msg.data(), static_cast<int>(msg.size()));
}

void TCustomSocksWSocket::SocksDone() {
    socksStep_ = SocksStep::Idle;
    auto alive = alive_;
    if (OnSocksConnected) OnSocksConnected(*this, 0);
    if (!*alive) return;
    TCustomWSocket::TriggerSessionConnected(0);
    // Data may have arrived right behind the reply.
    if (*alive && hsocket_ != invalid_socket && api_.bytesWaiting(hsocket_) > 0)
        channel_->post(msg_notify, static_cast<std::uintptr_t>(hsocket_), static_cast<std::intptr_t>(fd_read));
}

void TCustomSocksWSocket::TriggerDataAvailable(std::uint16_t error) {
    if (socksStep_ == SocksStep::Idle) {
        TCustomWSocket::TriggerDataAvailable(error);
        return;
    }
    // Read exactly the bytes of the reply in progress, nothing of the data behind it.
    while (got_.size() < want_) {
        std::byte b[300];
        int n = RawReceive(b, static_cast<int>(std::min(sizeof b, want_ - got_.size())));
        if (n <= 0) return;
        got_.insert(got_.end(), b, b + n);
    }
    auto at = [&](std::size_t i) { return std::to_integer<std::uint8_t>(got_[i]); };
    switch (socksStep_) {
    case SocksStep::Greeting:
        if (at(0) != 5) return SocksFailed(socks_error_base + 2, "socks version error");
        if (at(1) == 0) {
            if (OnSocksAuthState) OnSocksAuthState(*this, socksAuthNotRequired);
            return SocksSendRequest();
        }
        if (at(1) == 2 && socksAuth_ == socksAuthenticateUsercode) {
            if (OnSocksAuthState) OnSocksAuthState(*this, socksAuthStart);
            std::vector<std::uint8_t> msg{1};
            msg.push_back(static_cast<std::uint8_t>(std::min<std::size_t>(socksUser_.size(), 255)));
            msg.insert(msg.end(), socksUser_.begin(), socksUser_.begin() + static_cast<long>(msg.back()));
            msg.push_back(static_cast<std::uint8_t>(std::min<std::size_t>(socksPass_.size(), 255)));
            msg.insert(msg.end(), socksPass_.begin(), socksPass_.begin() + static_cast<long>(msg.back()));
            socksStep_ = SocksStep::Auth;
            Expect(2);
            Send(msg.data(), static_cast<int>(msg.size()));
            return;
        }
        return SocksFailed(socks_error_base + 3, "authentification method not acceptable");
    case SocksStep::Auth:
        if (at(1) != 0) {
            if (OnSocksAuthState) OnSocksAuthState(*this, socksAuthFailure);
            return SocksFailed(socks_error_base + 4, "authentification failed");
        }
        if (OnSocksAuthState) OnSocksAuthState(*this, socksAuthSuccess);
        return SocksSendRequest();
    case SocksStep::Request: {
        if (at(0) != 5) return SocksFailed(socks_error_base + 2, "socks version error");
        static const char* const texts[] = {"", "general SOCKS server failure", "connection not allowed by ruleset",
                                            "network unreachable", "host unreachable", "connection refused",
                                            "time to live expired", "command not supported",
                                            "address type not supported"};
        if (std::uint8_t rep = at(1); rep != 0) {
            std::string msg = rep < 9 ? texts[rep] : "unassigned error #" + std::to_string(rep);
            return SocksFailed(static_cast<std::uint16_t>(socks_error_base + 10 + rep), msg);
        }
        // Remaining length of the bound address: 5 bytes read so far.
        std::size_t rest = 0;
        switch (at(3)) {
        case 1: rest = 4 + 2 - 1; break;
        case 3: rest = at(4) + 2u; break;
        case 4: rest = 16 + 2 - 1; break;
        default: return SocksFailed(socks_error_base + 18, "address type not supported");
        }
        socksStep_ = SocksStep::RequestRest;
        Expect(rest);
        if (rest == 0) return SocksDone();
        return TriggerDataAvailable(error);
    }
    case SocksStep::RequestRest:
        return SocksDone();
    case SocksStep::Reply4:
        if (at(0) != 0) return SocksFailed(socks_error_base + 2, "socks version error");
        if (at(1) == 90) return SocksDone();
        if (at(1) == 92 || at(1) == 93) return SocksFailed(socks_error_base + 5, "socks authentication failed");
        return SocksFailed(socks_error_base + 6, "request rejected or failed");
    case SocksStep::Idle:
    case SocksStep::Connecting:
        break;
    }
}

// ---------------------------------------------------------------------------
// TCustomLineWSocket

void TCustomLineWSocket::AssignDefaultValue() {
    TCustomSocksWSocket::AssignDefaultValue();
    lineLength_ = 0;
}

void TCustomLineWSocket::SetLineMode(bool v) {
    if (v == lineMode_) return;
    lineMode_ = v;
    if (!lineBuffer_.empty()) channel_->post(msg_line_deliver);
}

long TCustomLineWSocket::RcvdCount() {
    if (!lineMode_) return TCustomSocksWSocket::RcvdCount();
    return static_cast<long>(lineLength_);
}

int TCustomLineWSocket::Receive(void* buffer, int length) {
    if (!lineMode_ && lineBuffer_.empty()) return TCustomSocksWSocket::Receive(buffer, length);
    std::size_t avail = lineMode_ ? lineLength_ : lineBuffer_.size();
    if (avail == 0) {
        if (lineMode_) {
            lastError_ = wsa::ewouldblock;
            return -1;
        }
        return TCustomSocksWSocket::Receive(buffer, length);
    }
    std::size_t n = std::min<std::size_t>(avail, static_cast<std::size_t>(std::max(length, 0)));
    std::memcpy(buffer, lineBuffer_.data(), n);
    lineBuffer_.erase(0, n);
    if (lineMode_) lineLength_ -= n;
    return static_cast<int>(n);
}

void TCustomLineWSocket::EditLine(std::span<const char> in) {
    for (char c : in) {
        if (lineEdit_ && c == '\b') {
            if (!lineBuffer_.empty() && lineBuffer_.back() != '\n') {
                lineBuffer_.pop_back();
                if (column_ > 0) --column_;
            }
            continue;
        }
        if (lineEdit_ && c == '\t') {
            std::size_t spaces = 8 - column_ % 8;
            lineBuffer_.append(spaces, ' ');
            column_ += spaces;
            continue;
        }
        lineBuffer_ += c;
        column_ = (c == '\n' || c == '\r') ? 0 : column_ + 1;
    }
}

void TCustomLineWSocket::DeliverLines(std::uint16_t error, bool flushRest) {
    auto alive = alive_;
    while (lineMode_ && !lineEnd_.empty()) {
        std::size_t pos = lineBuffer_.find(lineEnd_);
        if (pos == std::string::npos) {
            if (!flushRest || lineBuffer_.empty()) return;
            lineLength_ = lineBuffer_.size();
        } else {
            lineLength_ = pos + lineEnd_.size();
        }
        while (lineLength_ > 0) {
            std::size_t before = lineLength_;
            if (OnDataAvailable) OnDataAvailable(*this, error);
            if (!*alive) return;
            if (lineLength_ == before) break;  // the handler did not take anything
        }
        if (lineLength_ > 0) {
            // Not taken (or no handler): the line is dropped.
            lineBuffer_.erase(0, lineLength_);
            lineLength_ = 0;
        }
    }
}

void TCustomLineWSocket::TriggerDataAvailable(std::uint16_t error) {
    if (!lineMode_ || SocksNegotiating()) {
        TCustomSocksWSocket::TriggerDataAvailable(error);
        return;
    }
    char buf[4096];
    for (;;) {
        int n = RawReceive(buf, sizeof buf);
        if (n <= 0) {
            if (n < 0 && lastError_ == wsa::ewouldblock) lastError_ = 0;
            break;
        }
        std::size_t old = lineBuffer_.size();
        EditLine(std::span<const char>(buf, static_cast<std::size_t>(n)));
        if (lineEcho_ && state_ == wsConnected) {
            std::string echo = lineBuffer_.substr(old);
            if (!echo.empty()) Send(echo.data(), static_cast<int>(echo.size()));
        }
        if (n < static_cast<int>(sizeof buf)) break;
    }
    DeliverLines(error, false);
}

void TCustomLineWSocket::TriggerSessionClosed(std::uint16_t error) {
    if (lineMode_ && !lineBuffer_.empty()) DeliverLines(error, true);
    TCustomSocksWSocket::TriggerSessionClosed(error);
}

void TCustomLineWSocket::WndProc(unsigned msg, std::uintptr_t wparam, std::intptr_t lparam) {
    if (msg == msg_line_deliver) {
        if (lineMode_)
            DeliverLines(0, false);
        else if (!lineBuffer_.empty() && OnDataAvailable)
            OnDataAvailable(*this, 0);
        return;
    }
    TCustomSocksWSocket::WndProc(msg, wparam, lparam);
}

// ---------------------------------------------------------------------------
// TCustomSyncWSocket

int TCustomSyncWSocket::WaitUntilReady(const bool& flag, int timeoutMs) {
    auto start = std::chrono::steady_clock::now();
    auto alive = alive_;
    while (!flag) {
        ProcessMessages();
        if (!*alive) return wait_timeout;
        if (terminated_) return wait_timeout;
        if (flag) break;
        if (timeoutMs > 0 && std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(timeoutMs))
            return wait_timeout;
        std::this_thread::yield();
    }
    return 0;
}

}  // namespace brevaro::net
