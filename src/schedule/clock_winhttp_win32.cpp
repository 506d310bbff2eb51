#include "schedule/clock_winhttp_win32.h"

#include <algorithm>
#include <vector>

#include "win32_support.h"
// After <windows.h>.
#include <oleauto.h>
#include <wininet.h>

namespace morvane {
namespace {

// IWinHttpRequest dispatch ids (mingw ships no httprequest.h).
constexpr DISPID kOpen = 1;
constexpr DISPID kSetRequestHeader = 2;
constexpr DISPID kGetAllResponseHeaders = 4;
constexpr DISPID kSend = 5;
constexpr DISPID kOption = 6;
constexpr DISPID kStatus = 7;
constexpr DISPID kResponseBody = 10;
constexpr DISPID kSetTimeouts = 16;
constexpr long kOptionSslErrorIgnoreFlags = 4;

class ComApartment {
 public:
  ComApartment() : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(hr_)) ::CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  HRESULT hr_;
};

// A VARIANT that clears itself.
struct Variant {
  VARIANT v;
  Variant() { ::VariantInit(&v); }
  explicit Variant(long value) : Variant() {
    v.vt = VT_I4;
    v.lVal = value;
  }
  explicit Variant(bool value) : Variant() {
    v.vt = VT_BOOL;
    v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  }
  explicit Variant(std::string_view gbk) : Variant() {
    const std::wstring wide = win32::WideFromGbk(gbk);
    v.vt = VT_BSTR;
    v.bstrVal = ::SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  }
  static Variant Missing() {
    Variant m;
    m.v.vt = VT_ERROR;
    m.v.scode = DISP_E_PARAMNOTFOUND;
    return m;
  }
  Variant(Variant&& other) noexcept : v(other.v) { ::VariantInit(&other.v); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { ::VariantClear(&v); }
};

class Request {
 public:
  explicit Request(IDispatch* object) : object_(object) {}
  ~Request() {
    if (object_) object_->Release();
  }
  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;
  explicit operator bool() const { return object_ != nullptr; }

  // Arguments in their natural order.
  bool call(DISPID id, std::vector<Variant> args, VARIANT* result = nullptr, WORD flags = DISPATCH_METHOD) {
    std::vector<VARIANT> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(it->v);
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    DISPID put = DISPID_PROPERTYPUT;
    if (flags == DISPATCH_PROPERTYPUT) {
      params.rgdispidNamedArgs = &put;
      params.cNamedArgs = 1;
    }
    return SUCCEEDED(object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, nullptr));
  }
  bool get(DISPID id, VARIANT* result) { return call(id, {}, result, DISPATCH_PROPERTYGET); }

 private:
  IDispatch* object_;
};

IDispatch* CreateRequestObject() {
  CLSID clsid;
  if (FAILED(::CLSIDFromProgID(L"WinHttp.WinHttpRequest.5.1", &clsid))) return nullptr;
  IDispatch* object = nullptr;
  if (FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(&object)))) {
    return nullptr;
  }
  return object;
}

}  // namespace

std::optional<std::string> RequestTimeHeaders(const std::string& address) {
  ComApartment apartment;
  std::optional<std::string> headers;
  {
    Request request(CreateRequestObject());
    if (!request) return std::nullopt;
    const long t = kClockTimeoutMs;
    request.call(kSetTimeouts, [&] {
      std::vector<Variant> a;
      for (int i = 0; i < 4; ++i) a.emplace_back(t);
      return a;
    }());
    std::vector<Variant> open;
    open.emplace_back(std::string_view("HEAD"));
    open.emplace_back(std::string_view(address));
    open.emplace_back(false);
    if (!request.call(kOpen, std::move(open))) return std::nullopt;
    std::vector<Variant> option;
    option.emplace_back(kOptionSslErrorIgnoreFlags);
    option.emplace_back(kClockCertificateFlags);
    request.call(kOption, std::move(option), nullptr, DISPATCH_PROPERTYPUT);
    const std::pair<std::string_view, std::string_view> lines[] = {
        {"Accept", "*/*"},
        {"Referer", address},
        {"Accept-Language", "zh-cn"},
        {"User-Agent", kClockUserAgent},
    };
    for (const auto& [name, value] : lines) {
      std::vector<Variant> header;
      header.emplace_back(name);
      header.emplace_back(value);
      request.call(kSetRequestHeader, std::move(header));
    }
    std::vector<Variant> send;
    send.push_back(Variant::Missing());
    if (!request.call(kSend, std::move(send))) return std::nullopt;
    Variant body, status, all;
    request.get(kResponseBody, &body.v);
    request.get(kStatus, &status.v);
    if (request.call(kGetAllResponseHeaders, {}, &all.v) && all.v.vt == VT_BSTR && all.v.bstrVal != nullptr) {
      headers = win32::GbkFromWide(std::wstring_view(all.v.bstrVal, ::SysStringLen(all.v.bstrVal)));
    }
  }  // the object goes before the apartment
  return headers;
}

std::optional<CalendarFields> PlatformHttpDate(const std::string& text) {
  SYSTEMTIME st{};
  if (!::InternetTimeToSystemTimeA(text.c_str(), &st, 0)) return std::nullopt;
  return CalendarFields{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

namespace {

struct Exchange {
  LONG refs = 2;  // the caller's and the worker's
  std::string address;
  std::optional<std::string> headers;
  HMODULE module = nullptr;
};

void Release(Exchange* exchange) {
  if (::InterlockedDecrement(&exchange->refs) == 0) delete exchange;
}

DWORD WINAPI RequestThread(void* parameter) {
  auto* exchange = static_cast<Exchange*>(parameter);
  try {
    exchange->headers = RequestTimeHeaders(exchange->address);
  } catch (...) {
    exchange->headers.reset();
  }
  HMODULE module = exchange->module;
  Release(exchange);
  if (module != nullptr) ::FreeLibraryAndExitThread(module, 0);
  return 0;
}

}  // namespace

WinHttpClock::WinHttpClock(std::string address, unsigned long waitMs)
    : address_(std::move(address)), waitMs_(waitMs) {}

WinHttpClock::~WinHttpClock() {
  if (inFlight_ != nullptr) ::CloseHandle(static_cast<HANDLE>(inFlight_));
}

std::optional<NetworkTime> WinHttpClock::networkTime() {
  try {
    if (inFlight_ != nullptr) {
      if (::WaitForSingleObject(static_cast<HANDLE>(inFlight_), 0) == WAIT_TIMEOUT) return std::nullopt;
      ::CloseHandle(static_cast<HANDLE>(inFlight_));
      inFlight_ = nullptr;
    }
    auto* exchange = new Exchange;
    exchange->address = address_;
    // The worker keeps the module loaded until it has returned from our code.
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                              reinterpret_cast<LPCWSTR>(&RequestThread), &exchange->module)) {
      exchange->module = nullptr;
    }
    HANDLE thread = ::CreateThread(nullptr, 0, RequestThread, exchange, 0, nullptr);
    if (thread == nullptr) {
      if (exchange->module != nullptr) ::FreeLibrary(exchange->module);
      delete exchange;
      return std::nullopt;
    }
    std::optional<std::string> headers;
    if (::WaitForSingleObject(thread, waitMs_) == WAIT_OBJECT_0) {
      ::CloseHandle(thread);
      headers = std::move(exchange->headers);
    } else {
      inFlight_ = thread;
    }
    Release(exchange);
    if (!headers) return std::nullopt;
    return NetworkTimeFromHeaders(*headers, PlatformHttpDate);
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace morvane
