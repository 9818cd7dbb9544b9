// The web-browser control on Windows: the system's WebBrowser ActiveX control
// ("Shell.Explorer.2") hosted through atl.dll's AtlAxWin window class inside
// the control's own window, with an event sink for DWebBrowserEvents2.
#include <windows.h>
#include <exdisp.h>
#include <ocidl.h>
#include <oleidl.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/win32/handles.h"
#include "platform/win32/system_library.h"
#include "platform/win32/wide.h"
#include "ui/application.h"
#include "ui/web_browser.h"
#include "ui/win32/win32_backend.h"

namespace brevaro::ui::win32 {

namespace {

// The interface identifiers, spelled out so that nothing depends on which of
// them the import libraries happen to carry.
constexpr GUID kIID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr GUID kIID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr GUID kIID_IWebBrowser2 = {0xD30C1661, 0xCDAF, 0x11D0, {0x8A, 0x3E, 0x00, 0xC0, 0x4F, 0xC9, 0xE2, 0x6E}};
constexpr GUID kDIID_DWebBrowserEvents2 = {
    0x34A715A0, 0x6587, 0x11D0, {0x92, 0x4A, 0x00, 0x20, 0xAF, 0xC7, 0xAC, 0x4D}};
constexpr GUID kIID_IConnectionPointContainer = {
    0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
constexpr GUID kIID_IOleInPlaceActiveObject = {
    0x00000117, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

constexpr DISPID kDispidTitleChange = 113;
constexpr DISPID kDispidNavigateComplete2 = 252;

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  explicit ComPtr(T* p) : p_(p) {}
  ~ComPtr() { reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  ComPtr& operator=(ComPtr&& o) noexcept {
    if (this != &o) {
      reset();
      p_ = o.p_;
      o.p_ = nullptr;
    }
    return *this;
  }
  void reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  T** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }

 private:
  T* p_ = nullptr;
};

struct BstrDeleter {
  void operator()(BSTR b) const noexcept { SysFreeString(b); }
};
using UniqueBstr = std::unique_ptr<OLECHAR, BstrDeleter>;

// The control's strings are BSTRs (UTF-16 with their length); ours are UTF-8.
UniqueBstr to_bstr(std::string_view s) {
  const std::wstring w = platform::win32::widen(s);
  return UniqueBstr{SysAllocStringLen(w.data(), static_cast<UINT>(w.size()))};
}

std::string from_bstr(BSTR b) {
  if (!b) return {};
  return platform::win32::narrow(std::wstring_view(b, SysStringLen(b)));
}

std::string variant_text(const VARIANT* v) {
  if (!v) return {};
  if (v->vt == VT_BSTR) return from_bstr(v->bstrVal);
  if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) return variant_text(v->pvarVal);
  return {};
}

// Receives the control's events and hands them to the WebBrowser control.
// COM interfaces have no virtual destructor by design: Release deletes.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class EventSink final : public IDispatch {
 public:
  explicit EventSink(WebBrowser& control) : control_(&control) {}
  void detach() { control_ = nullptr; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualGUID(riid, kIID_IUnknown) || IsEqualGUID(riid, kIID_IDispatch) ||
        IsEqualGUID(riid, kDIID_DWebBrowserEvents2)) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG r = InterlockedDecrement(&refs_);
    if (r == 0) delete this;  // COM reference counting owns this object
    return static_cast<ULONG>(r);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    if (n) *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    if (!control_ || !params) return S_OK;
    // Arguments arrive last first.
    if (id == kDispidTitleChange && params->cArgs >= 1) {
      control_->fire_title_change(variant_text(&params->rgvarg[0]));
    } else if (id == kDispidNavigateComplete2 && params->cArgs >= 2) {
      control_->fire_navigate_complete2(variant_text(&params->rgvarg[0]));
    }
    return S_OK;
  }

 private:
  ~EventSink() = default;
  LONG refs_ = 1;
  WebBrowser* control_;
};
#pragma GCC diagnostic pop

class ComInPlaceObject final : public InPlaceObject {
 public:
  explicit ComInPlaceObject(ComPtr<IOleInPlaceActiveObject> p) : p_(std::move(p)) {}
  void translate_accelerator(const Message& m) override {
    MSG msg{};
    msg.hwnd = reinterpret_cast<HWND>(m.window);
    msg.message = m.message;
    msg.wParam = static_cast<WPARAM>(m.wparam);
    msg.lParam = static_cast<LPARAM>(m.lparam);
    p_->TranslateAccelerator(&msg);
  }

 private:
  ComPtr<IOleInPlaceActiveObject> p_;
};

using AtlAxWinInitFn = BOOL(WINAPI*)();
using AtlAxGetControlFn = HRESULT(WINAPI*)(HWND, IUnknown**);

// Every resource is a member that owns it, so that whatever the constructor
// has taken is given back when a later step throws.
class Win32Browser final : public BrowserPeer {
 public:
  explicit Win32Browser(WebBrowser& control) : control_(control) {
    container_ = reinterpret_cast<HWND>(control.handle());
    atl_ = platform::win32::load_system_library(L"atl.dll");
    if (!atl_) throw std::runtime_error("The web browser control is not available (atl.dll)");
    auto init = reinterpret_cast<AtlAxWinInitFn>(reinterpret_cast<void*>(GetProcAddress(atl_.get(), "AtlAxWinInit")));
    auto get_control =
        reinterpret_cast<AtlAxGetControlFn>(reinterpret_cast<void*>(GetProcAddress(atl_.get(), "AtlAxGetControl")));
    // A second AtlAxWinInit fails on some systems once the class exists.
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    const bool registered = GetClassInfoExW(GetModuleHandleW(nullptr), L"AtlAxWin", &existing) ||
                            GetClassInfoExW(atl_.get(), L"AtlAxWin", &existing);
    if (!init || !get_control || (!registered && !init()))
      throw std::runtime_error("The web browser control is not available (AtlAxWin)");
    RECT rc{};
    GetClientRect(container_, &rc);
    host_.reset(CreateWindowExW(0, L"AtlAxWin", L"Shell.Explorer.2", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                                rc.right, rc.bottom, container_, nullptr, GetModuleHandleW(nullptr), nullptr));
    if (!host_) throw std::runtime_error("The web browser control could not be created");
    ComPtr<IUnknown> unknown;
    if (FAILED(get_control(host_.get(), unknown.put())) || !unknown ||
        FAILED(unknown->QueryInterface(kIID_IWebBrowser2, browser_.put_void())) || !browser_)
      throw std::runtime_error("The web browser control could not be created");
    browser_->put_Silent(VARIANT_TRUE);
    ComPtr<IConnectionPointContainer> cpc;
    if (SUCCEEDED(browser_->QueryInterface(kIID_IConnectionPointContainer, cpc.put_void())) && cpc &&
        SUCCEEDED(cpc->FindConnectionPoint(kDIID_DWebBrowserEvents2, point_.put())) && point_) {
      sink_ = ComPtr<EventSink>(new EventSink(control));  // reference-counted: the pointer holds the first one
      if (FAILED(point_->Advise(sink_.get(), &cookie_))) cookie_ = 0;
    }
  }
  // The members go in reverse order after this: the browser, the sink, the
  // host window, atl.dll.
  ~Win32Browser() override {
    if (sink_) sink_->detach();
    if (point_ && cookie_) point_->Unadvise(cookie_);
    point_.reset();
    if (browser_) browser_->Stop();
    // The host went already when the container was destroyed before this.
    if (host_ && !IsWindow(host_.get())) (void)host_.release();
  }
  Win32Browser(const Win32Browser&) = delete;
  Win32Browser& operator=(const Win32Browser&) = delete;

  void navigate(std::string_view url) override {
    const UniqueBstr u = to_bstr(url);
    VARIANT empty;
    VariantInit(&empty);
    browser_->Navigate(u.get(), &empty, &empty, &empty, &empty);
  }
  std::string location_url() const override {
    BSTR b = nullptr;
    if (FAILED(browser_->get_LocationURL(&b))) return {};
    const UniqueBstr owned{b};
    return from_bstr(b);
  }
  bool busy() const override {
    VARIANT_BOOL b = VARIANT_FALSE;
    browser_->get_Busy(&b);
    return b != VARIANT_FALSE;
  }
  void print_with_prompt() override {
    const HRESULT hr = browser_->ExecWB(OLECMDID_PRINT, OLECMDEXECOPT_PROMPTUSER, nullptr, nullptr);
    if (FAILED(hr)) {
      // Formatted by hand: a printf here would link the whole formatting
      // engine into both programs for this one message.
      std::string text = "OLE error 00000000";
      auto code = static_cast<std::uint32_t>(hr);
      for (std::size_t i = text.size(); code != 0; code >>= 4) text[--i] = "0123456789ABCDEF"[code & 0xF];
      throw std::runtime_error(text);
    }
  }
  bool is_dialog_message(Message& m) override {
    MSG msg{};
    msg.hwnd = reinterpret_cast<HWND>(m.window);
    msg.message = m.message;
    msg.wParam = static_cast<WPARAM>(m.wparam);
    msg.lParam = static_cast<LPARAM>(m.lparam);
    return ::IsDialogMessageW(container_, &msg) != FALSE;
  }
  std::shared_ptr<InPlaceObject> in_place_object() override {
    ComPtr<IDispatch> app;
    if (FAILED(browser_->get_Application(app.put())) || !app) return nullptr;
    ComPtr<IOleInPlaceActiveObject> ipao;
    if (FAILED(app->QueryInterface(kIID_IOleInPlaceActiveObject, ipao.put_void())) || !ipao) return nullptr;
    return std::make_shared<ComInPlaceObject>(std::move(ipao));
  }

 private:
  WebBrowser& control_;
  HWND container_ = nullptr;
  platform::win32::UniqueModule atl_;
  platform::win32::UniqueWindow host_;
  ComPtr<EventSink> sink_;
  ComPtr<IWebBrowser2> browser_;
  ComPtr<IConnectionPoint> point_;
  DWORD cookie_ = 0;
};

}  // namespace

std::unique_ptr<BrowserPeer> Win32Backend::create_browser(WebBrowser& control) {
  return std::make_unique<Win32Browser>(control);
}

}  // namespace brevaro::ui::win32
