// Compile-time check that the numbers named in base/winapi_numbers.h are the
// system headers' own. Nothing here runs; the unit only has to compile.
#include <windows.h>

#include <shellapi.h>
#include <winsock.h>

#include "base/winapi_numbers.h"

namespace brevaro::winapi {

static_assert(msg::null == WM_NULL);
static_assert(msg::size == WM_SIZE);
static_assert(msg::close == WM_CLOSE);
static_assert(msg::query_end_session == WM_QUERYENDSESSION);
static_assert(msg::nc_hit_test == WM_NCHITTEST);
static_assert(msg::key_down == WM_KEYDOWN);
static_assert(msg::key_up == WM_KEYUP);
static_assert(msg::timer == WM_TIMER);
static_assert(msg::mouse_move == WM_MOUSEMOVE);
static_assert(msg::lbutton_down == WM_LBUTTONDOWN);
static_assert(msg::lbutton_up == WM_LBUTTONUP);
static_assert(msg::lbutton_dblclk == WM_LBUTTONDBLCLK);
static_assert(msg::rbutton_down == WM_RBUTTONDOWN);
static_assert(msg::rbutton_up == WM_RBUTTONUP);
static_assert(msg::rbutton_dblclk == WM_RBUTTONDBLCLK);
static_assert(msg::mbutton_down == WM_MBUTTONDOWN);
static_assert(msg::mbutton_up == WM_MBUTTONUP);
static_assert(msg::user == WM_USER);
static_assert(msg::size_minimized == SIZE_MINIMIZED);

static_assert(ws_ex_topmost == WS_EX_TOPMOST);
static_assert(ws_ex_tool_window == WS_EX_TOOLWINDOW);

static_assert(nif_message == NIF_MESSAGE);
static_assert(nif_icon == NIF_ICON);
static_assert(nif_tip == NIF_TIP);

static_assert(ht_client == HTCLIENT);
static_assert(ht_caption == HTCAPTION);

static_assert(vk_back == VK_BACK);
static_assert(vk_left == VK_LEFT);
static_assert(vk_right == VK_RIGHT);

static_assert(fd_read == FD_READ);
static_assert(fd_write == FD_WRITE);
static_assert(fd_oob == FD_OOB);
static_assert(fd_accept == FD_ACCEPT);
static_assert(fd_connect == FD_CONNECT);
static_assert(fd_close == FD_CLOSE);

static_assert(wsa::eintr == WSAEINTR);
static_assert(wsa::einval == WSAEINVAL);
static_assert(wsa::ewouldblock == WSAEWOULDBLOCK);
static_assert(wsa::enotsock == WSAENOTSOCK);
static_assert(wsa::econnaborted == WSAECONNABORTED);
static_assert(wsa::econnreset == WSAECONNRESET);
static_assert(wsa::enotconn == WSAENOTCONN);
static_assert(wsa::etimedout == WSAETIMEDOUT);
static_assert(wsa::econnrefused == WSAECONNREFUSED);
static_assert(wsa::notinitialised == WSANOTINITIALISED);
static_assert(wsa::host_not_found == WSAHOST_NOT_FOUND);
static_assert(wsa::no_data == WSANO_DATA);

static_assert(sock_stream == SOCK_STREAM);
static_assert(sock_dgram == SOCK_DGRAM);
static_assert(ipproto_tcp == IPPROTO_TCP);
static_assert(ipproto_udp == IPPROTO_UDP);

}  // namespace brevaro::winapi
