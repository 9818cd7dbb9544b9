// The Windows message, key, hit-test and Winsock numbers that portable code
// needs, named once here without <windows.h>. Each Windows build checks them
// against the system headers (base/win32/winapi_numbers_check.cpp).
#pragma once

#include <cstdint>

namespace brevaro::winapi {

// Window messages (WM_*).
namespace msg {
inline constexpr std::uint32_t null = 0x0000;
inline constexpr std::uint32_t size = 0x0005;
inline constexpr std::uint32_t close = 0x0010;
inline constexpr std::uint32_t query_end_session = 0x0011;
inline constexpr std::uint32_t nc_hit_test = 0x0084;
inline constexpr std::uint32_t key_down = 0x0100;
inline constexpr std::uint32_t key_up = 0x0101;
inline constexpr std::uint32_t timer = 0x0113;
inline constexpr std::uint32_t mouse_move = 0x0200;
inline constexpr std::uint32_t lbutton_down = 0x0201;
inline constexpr std::uint32_t lbutton_up = 0x0202;
inline constexpr std::uint32_t lbutton_dblclk = 0x0203;
inline constexpr std::uint32_t rbutton_down = 0x0204;
inline constexpr std::uint32_t rbutton_up = 0x0205;
inline constexpr std::uint32_t rbutton_dblclk = 0x0206;
inline constexpr std::uint32_t mbutton_down = 0x0207;
inline constexpr std::uint32_t mbutton_up = 0x0208;
inline constexpr std::uint32_t user = 0x0400;
// WM_SIZE's wparam for a window that was minimised (SIZE_MINIMIZED).
inline constexpr std::uintptr_t size_minimized = 1;
}  // namespace msg

// Extended window styles (WS_EX_*).
inline constexpr std::uint32_t ws_ex_topmost = 0x00000008;
inline constexpr std::uint32_t ws_ex_tool_window = 0x00000080;

// The shell notification record's valid-field flags (NIF_*).
inline constexpr std::uint32_t nif_message = 0x1;
inline constexpr std::uint32_t nif_icon = 0x2;
inline constexpr std::uint32_t nif_tip = 0x4;

// WM_NCHITTEST results (HT*).
inline constexpr std::intptr_t ht_client = 1;
inline constexpr std::intptr_t ht_caption = 2;

// Virtual keys (VK_*).
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
namespace wsa {
inline constexpr int eintr = 10004;
inline constexpr int einval = 10022;
inline constexpr int ewouldblock = 10035;
inline constexpr int enotsock = 10038;
inline constexpr int econnaborted = 10053;
inline constexpr int econnreset = 10054;
inline constexpr int enotconn = 10057;
inline constexpr int etimedout = 10060;
inline constexpr int econnrefused = 10061;
inline constexpr int notinitialised = 10093;
inline constexpr int host_not_found = 11001;
inline constexpr int no_data = 11004;
}  // namespace wsa

// Socket types and protocols.
inline constexpr int sock_stream = 1;
inline constexpr int sock_dgram = 2;
inline constexpr int ipproto_tcp = 6;
inline constexpr int ipproto_udp = 17;

}  // namespace brevaro::winapi
