// Compile-time check that the numbers named in base/winapi_numbers.h are the
// system headers' own. Nothing here runs; the unit only has to compile.
#include <windows.h>
#include <winsock.h>

#include "base/winapi_numbers.h"

namespace brevaro::winapi {

static_assert(wm_null == WM_NULL);
static_assert(wm_size == WM_SIZE);
static_assert(wm_close == WM_CLOSE);
static_assert(wm_nchittest == WM_NCHITTEST);
static_assert(wm_keydown == WM_KEYDOWN);
static_assert(wm_keyup == WM_KEYUP);
static_assert(wm_timer == WM_TIMER);
static_assert(wm_mousemove == WM_MOUSEMOVE);
static_assert(wm_lbuttondown == WM_LBUTTONDOWN);
static_assert(wm_lbuttonup == WM_LBUTTONUP);
static_assert(wm_lbuttondblclk == WM_LBUTTONDBLCLK);
static_assert(wm_rbuttondown == WM_RBUTTONDOWN);
static_assert(wm_rbuttonup == WM_RBUTTONUP);
static_assert(wm_rbuttondblclk == WM_RBUTTONDBLCLK);
static_assert(wm_mbuttondown == WM_MBUTTONDOWN);
static_assert(wm_mbuttonup == WM_MBUTTONUP);
static_assert(wm_user == WM_USER);

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

static_assert(wsaeintr == WSAEINTR);
static_assert(wsaeinval == WSAEINVAL);
static_assert(wsaewouldblock == WSAEWOULDBLOCK);
static_assert(wsaenotsock == WSAENOTSOCK);
static_assert(wsaeconnaborted == WSAECONNABORTED);
static_assert(wsaeconnreset == WSAECONNRESET);
static_assert(wsaenotconn == WSAENOTCONN);
static_assert(wsaetimedout == WSAETIMEDOUT);
static_assert(wsaeconnrefused == WSAECONNREFUSED);
static_assert(wsanotinitialised == WSANOTINITIALISED);
static_assert(wsahost_not_found == WSAHOST_NOT_FOUND);
static_assert(wsano_data == WSANO_DATA);

static_assert(sock_stream == SOCK_STREAM);
static_assert(sock_dgram == SOCK_DGRAM);
static_assert(ipproto_tcp == IPPROTO_TCP);
static_assert(ipproto_udp == IPPROTO_UDP);

}  // namespace brevaro::winapi
