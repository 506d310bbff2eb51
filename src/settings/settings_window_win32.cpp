#include "settings/settings_window_win32.h"

#include <atomic>
#include <string>

#include "win32_support.h"

#include <commctrl.h>

namespace morvane {
namespace {

using win32::GbkFromWide;
using win32::WideFromGbk;

constexpr wchar_t kWindowClass[] = L"MorvaneSettingsWindow";
constexpr UINT kRunLogChanged = WM_APP + 1;
constexpr UINT_PTR kScheduleTimer = 1;
constexpr UINT kScheduleTimerPeriodMs = 60000;
constexpr int kSaveButtonId = 1001;
constexpr int kTabId = 1002;
constexpr int kLogListId = 1003;

HMODULE ThisModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

}  // namespace

struct Win32SettingsWindow::State {
  Handlers handlers;
  std::atomic<HWND> window{nullptr};
  HWND tab = nullptr;
  HWND logList = nullptr;
  std::atomic<bool> logUpdatePending{false};
  std::wstring logText;  // keeps the text handed to the list alive until its next request

  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  void createControls(HWND hwnd);
  void showPage(int page);
  void syncLogList();
};

Win32SettingsWindow::Win32SettingsWindow(Handlers handlers) : state_(new State{std::move(handlers), {}, nullptr, nullptr, {}, {}}) {}

Win32SettingsWindow::~Win32SettingsWindow() {
  // The window belongs to its thread and cannot be destroyed from here; the
  // state it points at is left to the process.
}

bool Win32SettingsWindow::exists() { return state_->window.load() != nullptr; }

void Win32SettingsWindow::create() {
  HMODULE module = ThisModule();
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES};
  ::InitCommonControlsEx(&controls);

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &State::Procedure;
  wc.hInstance = module;
  wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kWindowClass;
  ::RegisterClassExW(&wc);  // fails harmlessly when already registered

  const std::wstring caption = WideFromGbk("Morvane机器人");
  ::CreateWindowExW(0, kWindowClass, caption.c_str(), WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                    50, 50, 1169, 712, nullptr, nullptr, module, state_);
}

void Win32SettingsWindow::show() {
  HWND hwnd = state_->window.load();
  if (!hwnd) return;
  ::ShowWindow(hwnd, SW_SHOW);
  ::SetForegroundWindow(hwnd);
}

void Win32SettingsWindow::runLogChanged() {
  HWND hwnd = state_->window.load();
  if (hwnd && !state_->logUpdatePending.exchange(true)) ::PostMessageW(hwnd, kRunLogChanged, 0, 0);
}

LRESULT CALLBACK Win32SettingsWindow::State::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* state = reinterpret_cast<State*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!state) return ::DefWindowProcW(hwnd, message, wParam, lParam);
  return state->handle(hwnd, message, wParam, lParam);
}

LRESULT Win32SettingsWindow::State::handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      window.store(hwnd);
      createControls(hwnd);
      if (handlers.created) handlers.created();
      ::SetTimer(hwnd, kScheduleTimer, kScheduleTimerPeriodMs, nullptr);
      return 0;
    case WM_CLOSE:
      ::ShowWindow(hwnd, SW_HIDE);
      return 0;
    case WM_TIMER:
      if (wParam == kScheduleTimer && handlers.tick) handlers.tick();
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == kSaveButtonId && HIWORD(wParam) == BN_CLICKED && handlers.save) handlers.save();
      return 0;
    case kRunLogChanged:
      logUpdatePending.store(false);
      syncLogList();
      return 0;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      if (header->hwndFrom == tab && header->code == TCN_SELCHANGE) {
        showPage(static_cast<int>(::SendMessageW(tab, TCM_GETCURSEL, 0, 0)));
      } else if (header->hwndFrom == logList && header->code == LVN_GETDISPINFOW) {
        auto* info = reinterpret_cast<NMLVDISPINFOW*>(lParam);
        if (info->item.mask & LVIF_TEXT) {
          LogRow row;
          logText.clear();
          if (handlers.logRow && handlers.logRow(static_cast<size_t>(info->item.iItem), row)) {
            const std::string& cell = info->item.iSubItem == 0 ? row.time
                                      : info->item.iSubItem == 1 ? row.kind
                                                                 : row.text;
            logText = WideFromGbk(cell);
          }
          info->item.pszText = logText.data();
        }
      }
      return 0;
    }
    default:
      return ::DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

void Win32SettingsWindow::State::createControls(HWND hwnd) {
  HINSTANCE module = reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(hwnd, GWLP_HINSTANCE));
  HFONT font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
  auto make = [&](const wchar_t* cls, const std::string& text, DWORD style, int x, int y, int w, int h, int id,
                  HWND parent) {
    HWND control = ::CreateWindowExW(0, cls, WideFromGbk(text).c_str(), WS_CHILD | WS_VISIBLE | style, x, y, w, h,
                                     parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), module, nullptr);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    return control;
  };

  tab = make(WC_TABCONTROLW, "", WS_CLIPSIBLINGS, 7, 8, 824, 616, kTabId, hwnd);
  const char* pages[] = {"首页", "转发内容设置", "日志"};
  for (int i = 0; i < 3; ++i) {
    std::wstring title = WideFromGbk(pages[i]);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = title.data();
    ::SendMessageW(tab, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
  }

  make(L"BUTTON", "保存配置", BS_PUSHBUTTON, 8, 639, 824, 32, kSaveButtonId, hwnd);

  // "超级列表框_日志": the run log, read row by row from the model.
  logList = make(WC_LISTVIEWW, "", LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | WS_BORDER, 7 + 8, 8 + 32, 800,
                 568, kLogListId, hwnd);
  ::SetWindowTextW(logList, WideFromGbk("超级列表框_日志").c_str());
  ::SendMessageW(logList, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  const struct {
    const char* title;
    int width;
  } columns[] = {{"时间", 200}, {"类型", 100}, {"事件", 480}};
  for (int i = 0; i < 3; ++i) {
    std::wstring title = WideFromGbk(columns[i].title);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = title.data();
    column.cx = columns[i].width;
    column.iSubItem = i;
    ::SendMessageW(logList, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
  }
  ::SetWindowPos(logList, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  showPage(0);
  syncLogList();
}

void Win32SettingsWindow::State::showPage(int page) {
  ::ShowWindow(logList, page == 2 ? SW_SHOW : SW_HIDE);
}

void Win32SettingsWindow::State::syncLogList() {
  const size_t count = handlers.logRowCount ? handlers.logRowCount() : 0;
  ::SendMessageW(logList, LVM_SETITEMCOUNT, count, LVSICF_NOSCROLL);
  ::InvalidateRect(logList, nullptr, FALSE);
  if (count > 0) ::SendMessageW(logList, LVM_ENSUREVISIBLE, count - 1, FALSE);
}

}  // namespace morvane
