// The Windows message, key, hit-test and Winsock numbers that portable code
// needs, named once here without <windows.h>. Each Windows build checks them
// against the system headers (base/win32/winapi_numbers_check.cpp).
#pragma once

#include <cstdint>

namespace brevaro::winapi {

// Window messages.
inline constexpr std::uint32_t wm_null = 0x0000;
inline constexpr std::uint32_t wm_size = 0x0005;
inline constexpr std::uint32_t wm_close = 0x0010;
inline constexpr std::uint32_t wm_nchittest = 0x0084;
inline constexpr std::uint32_t wm_keydown = 0x0100;
inline constexpr std::uint32_t wm_keyup = 0x0101;
inline constexpr std::uint32_t wm_timer = 0x0113;
inline constexpr std::uint32_t wm_mousemove = 0x0200;
inline constexpr std::uint32_t wm_lbuttondown = 0x0201;
inline constexpr std::uint32_t wm_lbuttonup = 0x0202;
inline constexpr std::uint32_t wm_lbuttondblclk = 0x0203;
inline constexpr std::uint32_t wm_rbuttondown = 0x0204;
inline constexpr std::uint32_t wm_rbuttonup = 0x0205;
inline constexpr std::uint32_t wm_rbuttondblclk = 0x0206;
inline constexpr std::uint32_t wm_mbuttondown = 0x0207;
inline constexpr std::uint32_t wm_mbuttonup = 0x0208;
inline constexpr std::uint32_t wm_user = 0x0400;

// WM_NCHITTEST results.
inline constexpr std::intptr_t ht_client = 1;
inline constexpr std::intptr_t ht_caption = 2;

// Virtual keys.
inline constexpr std::uintptr_t vk_back = 0x08;
inline constexpr std::uintptr_t vk_left = 0x25;
inline constexpr std::uintptr_t vk_right = 0x27;

// Winsock network event bits (FD_*).
inline constexpr unsigned fd_read = 1;
inline constexpr unsigned fd_write = 2;
inline constexpr unsigned fd_oob = 4;
inline constexpr unsigned fd_accept = 8;
inline constexpr unsigned fd_connect = 16;
inline constexpr unsigned fd_close = 32;

// Winsock error numbers (WSAE*, WSA*).
inline constexpr int wsaeintr = 10004;
inline constexpr int wsaeinval = 10022;
inline constexpr int wsaewouldblock = 10035;
inline constexpr int wsaenotsock = 10038;
inline constexpr int wsaeconnaborted = 10053;
inline constexpr int wsaeconnreset = 10054;
inline constexpr int wsaenotconn = 10057;
inline constexpr int wsaetimedout = 10060;
inline constexpr int wsaeconnrefused = 10061;
inline constexpr int wsanotinitialised = 10093;
inline constexpr int wsahost_not_found = 11001;
inline constexpr int wsano_data = 11004;

// Socket types and protocols.
inline constexpr int sock_stream = 1;
inline constexpr int sock_dgram = 2;
inline constexpr int ipproto_tcp = 6;
inline constexpr int ipproto_udp = 17;

}  // namespace brevaro::winapi
