#include "settings/settings_window_win32.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "win32_support.h"

#include <commctrl.h>
#include <commdlg.h>
#include <objidl.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <gdiplus.h>

namespace morvane {
namespace {

using win32::GbkFromWide;
using win32::WideFromGbk;

constexpr wchar_t kWindowClass[] = L"MorvaneSettingsWindow";
constexpr UINT kRunLogChanged = WM_APP + 1;
constexpr UINT kSettingsChanged = WM_APP + 2;
constexpr UINT_PTR kScheduleTimer = 1;
constexpr UINT kScheduleTimerPeriodMs = 60000;

// Control IDs; the scheme is documented in the header.
constexpr int kSaveButtonId = 1001;
constexpr int kTabId = 1002;
constexpr int kLogListId = 1003;
constexpr int kAddPictureId = 1010;
constexpr int kClearPictureId = 1011;
constexpr int kSupportChatId = 1012;
constexpr int kUpdateLinkId = 1013;
constexpr int kTutorialLinkId = 1014;
constexpr int kFirstEditId = 2000;
constexpr int kFirstCheckId = 2100;
constexpr int kFirstComboId = 2200;
constexpr int kPictureId = 2300;
constexpr int kAnnouncementId = 2301;
constexpr int kSupportContactId = 2302;
constexpr int kPictureSide = 104;

// Pending refreshes, one bit per setting control.
constexpr int kFirstSwitchBit = kTextFieldCount;
constexpr int kFirstChoiceBit = kFirstSwitchBit + kSwitchFieldCount;
constexpr int kPictureBit = kFirstChoiceBit + kChoiceFieldCount;
static_assert(kPictureBit < 32);

constexpr char kHelpText[] =
    "远程命令\r\n\r\n首次使用发送:获取权限\r\n\r\n授权直播/取消直播+QQ号\r\n\r\n授权转发/取消转发+群号\r\n\r\n"
    "授权监控/取消监控+群号\r\n\r\n授权敏感词/取消敏感词+敏感词(多个请用\"#\"隔开)\r\n\r\n授权小尾巴+小尾巴\r\n\r\n"
    "授权关键词替换/取消关键词+关键词=替换词(多个请用\"#\"隔开)\r\n\r\n授权文字水印+文字水印\r\n\r\n"
    "开启匿名转发/关闭匿名转发\r\n\r\n设置延迟XX-XX(秒)\r\n\r\n开启直播/关闭直播\r\n\r\n查看直播/清空直播\r\n\r\n"
    "清空监控/清空转发\r\n\r\n"
    "清空水印/清空尾巴\r\n\r\n私聊转图:发送[授权监控-QQ号]\r\n\r\n私聊必须和机器人是好友！\r\nPS：只有被监控的群里被监控的QQ\r\n"
    "发的图片会被转发到授权转发的群\r\n";

HMODULE ThisModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

std::string ControlText(HWND control) {
  const int length = ::GetWindowTextLengthW(control);
  std::wstring text(static_cast<size_t>(std::max(length, 0)) + 1, L'\0');
  const int got = ::GetWindowTextW(control, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<size_t>(std::max(got, 0)));
  return GbkFromWide(text);
}

// The picture drawn to fit a side x side square on `background`, keeping its
// proportions; nullptr when it cannot be decoded. GDI+ stays started for the
// life of the process (the module is pinned).
HBITMAP DecodePicture(const std::string& bytes, int side, COLORREF background) {
  namespace gp = Gdiplus;
  namespace flat = Gdiplus::DllExports;
  if (bytes.empty()) return nullptr;
  static const bool started = [] {
    ULONG_PTR token = 0;
    gp::GdiplusStartupInput input;
    return gp::GdiplusStartup(&token, &input, nullptr) == gp::Ok;
  }();
  if (!started) return nullptr;
  IStream* stream = ::SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
  if (!stream) return nullptr;
  HBITMAP result = nullptr;
  gp::GpBitmap* image = nullptr;
  if (flat::GdipCreateBitmapFromStream(stream, &image) == gp::Ok && image) {
    UINT width = 0, height = 0;
    flat::GdipGetImageWidth(image, &width);
    flat::GdipGetImageHeight(image, &height);
    gp::GpBitmap* canvas = nullptr;
    if (width > 0 && height > 0 &&
        flat::GdipCreateBitmapFromScan0(side, side, 0, PixelFormat32bppARGB, nullptr, &canvas) == gp::Ok) {
      const gp::ARGB back = 0xFF000000u | (static_cast<gp::ARGB>(GetRValue(background)) << 16) |
                            (static_cast<gp::ARGB>(GetGValue(background)) << 8) | GetBValue(background);
      gp::GpGraphics* graphics = nullptr;
      if (flat::GdipGetImageGraphicsContext(canvas, &graphics) == gp::Ok) {
        flat::GdipGraphicsClear(graphics, back);
        flat::GdipSetInterpolationMode(graphics, gp::InterpolationModeHighQualityBicubic);
        const double scale = std::min(double(side) / width, double(side) / height);
        const int w = std::max(1, int(width * scale + 0.5)), h = std::max(1, int(height * scale + 0.5));
        flat::GdipDrawImageRectI(graphics, image, (side - w) / 2, (side - h) / 2, w, h);
        flat::GdipDeleteGraphics(graphics);
        flat::GdipCreateHBITMAPFromBitmap(canvas, &result, back);
      }
      flat::GdipDisposeImage(canvas);
    }
    flat::GdipDisposeImage(image);
  }
  stream->Release();
  return result;
}

}  // namespace

struct Win32SettingsWindow::State {
  Handlers handlers;
  std::atomic<HWND> window{nullptr};
  HWND tab = nullptr;
  HWND logList = nullptr;
  std::atomic<bool> logUpdatePending{false};
  std::wstring logText;  // keeps the text handed to the list alive until its next request

  // Window thread only from here on.
  struct PageControl {
    HWND hwnd;
    int page;  // -1: on the window itself
  };
  std::vector<PageControl> controls;
  std::array<HWND, kTextFieldCount> edits{};
  std::array<HWND, kSwitchFieldCount> checks{};
  std::array<HWND, kChoiceFieldCount> combos{};
  std::array<ComboState, kChoiceFieldCount> shownCombos;
  HWND picture = nullptr;
  HBITMAP pictureBitmap = nullptr;
  std::string shownPicture;
  HWND announcement = nullptr;
  HWND supportContact = nullptr;
  bool refreshing = false;  // a refresh's own notifications must not write back
  std::atomic<uint32_t> dirty{0};

  explicit State(Handlers h) : handlers(std::move(h)) {}

  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  void command(HWND hwnd, int id, int code, HWND control);
  void createControls(HWND hwnd);
  void showPage(int page);
  void syncLogList();

  void settingChanged(const Settings::Change& change);
  void refresh(uint32_t bits);
  void refreshText(int index);
  void refreshSwitch(int index);
  void refreshChoice(int index);
  void refreshPicture();

  void pickPicture(HWND hwnd);
  void openLinkOrTell(HWND hwnd, bool update);
  void openSupportChat(HWND hwnd);
};

Win32SettingsWindow::Win32SettingsWindow(Handlers handlers) : state_(new State(std::move(handlers))) {}

Win32SettingsWindow::~Win32SettingsWindow() {
  // The window belongs to its thread and cannot be destroyed from here; the
  // state it points at is left to the process.
}

bool Win32SettingsWindow::exists() { return state_->window.load() != nullptr; }

void Win32SettingsWindow::create() {
  HMODULE module = ThisModule();
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
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
  ::CreateWindowExW(0, kWindowClass, caption.c_str(),
                    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN, 50, 50, 1169, 712,
                    nullptr, nullptr, module, state_);
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
    case WM_CREATE: {
      window.store(hwnd);
      createControls(hwnd);
      if (handlers.settings) handlers.settings->setObserver([this](const Settings::Change& c) { settingChanged(c); });
      if (handlers.created) handlers.created();
      const PublisherTexts texts = handlers.publisher ? handlers.publisher() : PublisherTexts{};
      ::SetWindowTextW(announcement, WideFromGbk(texts.announcementText).c_str());
      ::SetWindowTextW(supportContact, WideFromGbk(texts.supportContact).c_str());
      dirty.store(0);
      refresh(~0u);
      ::SetTimer(hwnd, kScheduleTimer, kScheduleTimerPeriodMs, nullptr);
      return 0;
    }
    case WM_CTLCOLORSTATIC:
      // Labels, check boxes and the empty picture box show the page beneath
      // them (they are WS_EX_TRANSPARENT).
      ::SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
      return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
    case WM_CLOSE:
      ::ShowWindow(hwnd, SW_HIDE);
      return 0;
    case WM_TIMER:
      if (wParam == kScheduleTimer && handlers.tick) handlers.tick();
      return 0;
    case WM_COMMAND:
      command(hwnd, LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      return 0;
    case kRunLogChanged:
      logUpdatePending.store(false);
      syncLogList();
      return 0;
    case kSettingsChanged:
      refresh(dirty.exchange(0));
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

void Win32SettingsWindow::State::command(HWND hwnd, int id, int code, HWND control) {
  Settings* settings = handlers.settings;
  if (id >= kFirstEditId && id < kFirstEditId + kTextFieldCount) {
    if (code == EN_CHANGE && !refreshing && settings)
      settings->setText(TextField(id - kFirstEditId), ControlText(control));
    return;
  }
  if (id >= kFirstCheckId && id < kFirstCheckId + kSwitchFieldCount) {
    if (code == BN_CLICKED && !refreshing && settings)
      settings->setOn(SwitchField(id - kFirstCheckId), ::SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED);
    return;
  }
  if (id >= kFirstComboId && id < kFirstComboId + kChoiceFieldCount) {
    if (code == CBN_SELCHANGE && !refreshing && settings) {
      const int index = id - kFirstComboId;
      const int selected = static_cast<int>(::SendMessageW(control, CB_GETCURSEL, 0, 0));
      shownCombos[static_cast<size_t>(index)].selected = selected;
      settings->setChoice(ChoiceField(index), selected);
    }
    return;
  }
  if (code != BN_CLICKED) return;
  switch (id) {
    case kSaveButtonId:
      if (handlers.save) handlers.save();
      break;
    case kAddPictureId:
      pickPicture(hwnd);
      break;
    case kClearPictureId:
      if (settings) settings->setWatermarkPicture({});
      break;
    case kSupportChatId:
      openSupportChat(hwnd);
      break;
    case kUpdateLinkId:
      openLinkOrTell(hwnd, true);
      break;
    case kTutorialLinkId:
      openLinkOrTell(hwnd, false);
      break;
    default:
      break;
  }
}

void Win32SettingsWindow::State::createControls(HWND hwnd) {
  HINSTANCE module = reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(hwnd, GWLP_HINSTANCE));
  HFONT font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
  // Every control is a child of the window itself, so all notifications come
  // here; a control "in" a tab page or group box is placed at that box's
  // origin plus its own offset.
  struct Origin {
    int x, y;
    Origin at(int dx, int dy) const { return {x + dx, y + dy}; }
  };
  auto make = [&](int page, const wchar_t* cls, const std::string& text, DWORD style, DWORD exStyle, Origin o, int x,
                  int y, int w, int h, int id) {
    HWND control = ::CreateWindowExW(exStyle, cls, WideFromGbk(text).c_str(),
                                     WS_CHILD | WS_CLIPSIBLINGS | style, o.x + x, o.y + y, w, h, hwnd,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), module, nullptr);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    controls.push_back({control, page});
    return control;
  };
  auto group = [&](int page, Origin o, int x, int y, int w, int h, const char* title) {
    // Transparent: the tab control beneath paints the box's inside.
    make(page, L"BUTTON", title, BS_GROUPBOX, WS_EX_TRANSPARENT, o, x, y, w, h, -1);
    return o.at(x, y);
  };
  auto label = [&](int page, Origin o, int x, int y, int w, int h, const std::string& text, int id = -1) {
    return make(page, L"STATIC", text, SS_LEFT | SS_NOPREFIX, WS_EX_TRANSPARENT, o, x, y, w, h, id);
  };
  auto button = [&](int page, Origin o, int x, int y, int w, int h, const char* text, int id) {
    return make(page, L"BUTTON", text, BS_PUSHBUTTON | WS_TABSTOP, 0, o, x, y, w, h, id);
  };
  enum EditKind { single, multiScroll, multi };
  auto edit = [&](int page, Origin o, int x, int y, int w, int h, TextField field, EditKind kind) {
    DWORD style = WS_TABSTOP | ES_AUTOHSCROLL;
    // No word wrap: wrapping one very long line (a tail advert set by chat)
    // takes the edit control minutes.
    if (kind != single) style = WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_WANTRETURN;
    if (kind == multiScroll) style |= WS_VSCROLL;
    const int index = static_cast<int>(field);
    HWND control = make(page, L"EDIT", "", style, WS_EX_CLIENTEDGE, o, x, y, w, h, kFirstEditId + index);
    ::SendMessageW(control, EM_SETLIMITTEXT, 0, 0);  // no limit
    edits[static_cast<size_t>(index)] = control;
  };
  auto check = [&](int page, Origin o, int x, int y, int w, int h, const char* text, SwitchField field) {
    const int index = static_cast<int>(field);
    checks[static_cast<size_t>(index)] =
        make(page, L"BUTTON", text, BS_AUTOCHECKBOX | WS_TABSTOP, WS_EX_TRANSPARENT, o, x, y, w, h,
             kFirstCheckId + index);
  };
  auto combo = [&](int page, Origin o, int x, int y, int w, ChoiceField field) {
    const int index = static_cast<int>(field);
    // The height given is the dropped-down list's; the box itself takes the font's.
    combos[static_cast<size_t>(index)] = make(page, L"COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0,
                                              o, x, y, w, 200, kFirstComboId + index);
  };

  const Origin window{0, 0};
  tab = make(-1, WC_TABCONTROLW, "", WS_TABSTOP, 0, window, 7, 8, 824, 616, kTabId);
  const char* pages[] = {"首页", "转发内容设置", "日志"};
  for (int i = 0; i < 3; ++i) {
    std::wstring title = WideFromGbk(pages[i]);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = title.data();
    ::SendMessageW(tab, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
  }
  const Origin page = window.at(7, 8);

  button(-1, window, 8, 639, 824, 32, "保存配置", kSaveButtonId);
  label(-1, window, 847, 24, 296, 640, kHelpText);  // 标签11

  // 首页
  const Origin g17 = group(0, page, 9, 36, 788, 356, "公告");
  announcement = label(0, g17, 84, 28, 636, 296, "", kAnnouncementId);  // 透明标签_公告
  const Origin g18 = group(0, page, 9, 410, 392, 96, "应用维护");
  label(0, g18, 32, 30, 74, 40, "应用维护:");                             // 透明标签4
  supportContact = label(0, g18, 104, 29, 184, 40, "", kSupportContactId);  // 透明标签_客服qq
  button(0, g18, 293, 36, 50, 29, "咨询", kSupportChatId);                // 超级按钮2
  const Origin g19 = group(0, page, 425, 412, 372, 96, "主人设置");
  edit(0, g19, 17, 34, 335, 32, TextField::owner, single);
  const Origin g20 = group(0, page, 9, 512, 788, 48, "");
  button(0, g20, 75, 12, 85, 29, "更新地址", kUpdateLinkId);   // 超级按钮1
  button(0, g20, 352, 12, 85, 29, "视频教程", kTutorialLinkId);  // 超级按钮4
  label(0, page, 8, 565, 809, 40,
        "如果使用者利用该软件传递违法或违规信息等操作,一切后果均由使用者承担,与作者无关");  // 透明标签15

  // 转发内容设置
  const Origin g2 = group(1, page, 17, 32, 784, 200, "");
  label(1, g2, 8, 10, 104, 24, "授权监控群");
  edit(1, g2, 11, 34, 178, 152, TextField::watchGroups, multiScroll);
  label(1, g2, 208, 8, 104, 24, "授权监控群成员");
  edit(1, g2, 205, 32, 178, 152, TextField::watchMembers, multiScroll);
  label(1, g2, 400, 8, 104, 24, "转发到群");
  edit(1, g2, 400, 32, 178, 152, TextField::targetGroups, multiScroll);
  label(1, g2, 592, 8, 104, 24, "转发到好友");
  edit(1, g2, 592, 32, 178, 152, TextField::targetFriends, multiScroll);

  const Origin g5 = group(1, page, 18, 240, 783, 368, "转发内容设置(可空)");
  label(1, g5, 8, 24, 95, 24, "敏感词不转发");
  edit(1, g5, 96, 24, 312, 20, TextField::sensitiveWords, single);
  label(1, g5, 424, 22, 127, 24, "多个敏感词用\"*\"隔开");
  label(1, g5, 8, 64, 96, 24, "关键词替换");
  edit(1, g5, 95, 65, 312, 20, TextField::replacements, single);
  label(1, g5, 423, 63, 263, 24, "格式：关键词1=替换词1#关键词2=替换词2");
  label(1, g5, 12, 106, 103, 24, "尾部广告");
  edit(1, g5, 95, 108, 312, 94, TextField::tailAdvert, multi);
  label(1, g5, 588, 23, 56, 24, "转发类型");
  combo(1, g5, 655, 26, 88, ChoiceField::forwardType);
  check(1, g5, 663, 88, 96, 24, "选择框", SwitchField::forwardOn);
  check(1, g5, 425, 103, 176, 24, "群匿名转发(需要群开启匿名)", SwitchField::anonymous);
  label(1, g5, 425, 138, 112, 24, "转发间隔        --");
  edit(1, g5, 488, 140, 27, 20, TextField::pauseMin, single);
  edit(1, g5, 541, 140, 27, 20, TextField::pauseMax, single);
  label(1, g5, 579, 138, 24, 24, "秒");

  const Origin g6 = group(1, g5, 424, 183, 336, 171, "监控时间设置");
  check(1, g6, 16, 24, 105, 24, "开启时间监控", SwitchField::scheduleOn);
  label(1, g6, 15, 60, 314, 24, "开始时间           (小时)--停止时间          (小时)");
  edit(1, g6, 70, 62, 40, 20, TextField::startHour, single);
  edit(1, g6, 235, 63, 31, 20, TextField::stopHour, single);
  const char* days[] = {"星期一", "星期二", "星期三", "星期四", "星期五", "星期六", "星期七"};
  for (int i = 0; i < 7; ++i)
    check(1, g6, 17 + 80 * (i % 4), i < 4 ? 104 : 136, 64, 24, days[i],
          SwitchField(static_cast<int>(SwitchField::weekday1) + i));

  const Origin g1 = group(1, g5, 12, 225, 399, 128, "图片加水印(留空为不添加)");
  label(1, g1, 17, 18, 62, 24, "文字水印");
  edit(1, g1, 71, 18, 200, 20, TextField::watermarkText, single);
  label(1, g1, 16, 54, 79, 24, "文字水印位置");
  combo(1, g1, 96, 56, 88, ChoiceField::watermarkTextPos);
  label(1, g1, 16, 88, 79, 24, "图片水印位置");
  combo(1, g1, 96, 91, 88, ChoiceField::watermarkPicturePos);
  button(1, g1, 200, 51, 72, 24, "加水印图", kAddPictureId);
  button(1, g1, 200, 88, 72, 24, "清空水印图", kClearPictureId);
  picture = make(1, L"STATIC", "", SS_BITMAP | SS_CENTERIMAGE, WS_EX_TRANSPARENT, g1, 283, 15, kPictureSide, kPictureSide,
                 kPictureId);

  // 日志: "超级列表框_日志", the run log, read row by row from the model.
  logList = make(2, WC_LISTVIEWW, "", LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | WS_BORDER, 0, page, 8, 32,
                 800, 568, kLogListId);
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

  // Later controls lie on top of earlier ones (the tab control, then group
  // boxes, then what they hold); with WS_CLIPSIBLINGS none paints over another.
  for (const PageControl& c : controls) ::SetWindowPos(c.hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  showPage(0);
  syncLogList();
}

void Win32SettingsWindow::State::showPage(int page) {
  for (const PageControl& c : controls) ::ShowWindow(c.hwnd, c.page < 0 || c.page == page ? SW_SHOW : SW_HIDE);
}

void Win32SettingsWindow::State::syncLogList() {
  const size_t count = handlers.logRowCount ? handlers.logRowCount() : 0;
  ::SendMessageW(logList, LVM_SETITEMCOUNT, count, LVSICF_NOSCROLL);
  ::InvalidateRect(logList, nullptr, FALSE);
  if (count > 0) ::SendMessageW(logList, LVM_ENSUREVISIBLE, count - 1, FALSE);
}

// Any thread: marks the control and wakes the window once for a burst of writes.
void Win32SettingsWindow::State::settingChanged(const Settings::Change& change) {
  int bit = kPictureBit;
  if (change.kind == Settings::Change::Kind::text) bit = change.index;
  else if (change.kind == Settings::Change::Kind::switchBox) bit = kFirstSwitchBit + change.index;
  else if (change.kind == Settings::Change::Kind::choice) bit = kFirstChoiceBit + change.index;
  const uint32_t before = dirty.fetch_or(1u << bit);
  HWND hwnd = window.load();
  if (before == 0 && hwnd) ::PostMessageW(hwnd, kSettingsChanged, 0, 0);
}

void Win32SettingsWindow::State::refresh(uint32_t bits) {
  if (!handlers.settings) return;
  for (int i = 0; i < kTextFieldCount; ++i)
    if (bits & (1u << i)) refreshText(i);
  for (int i = 0; i < kSwitchFieldCount; ++i)
    if (bits & (1u << (kFirstSwitchBit + i))) refreshSwitch(i);
  for (int i = 0; i < kChoiceFieldCount; ++i)
    if (bits & (1u << (kFirstChoiceBit + i))) refreshChoice(i);
  if (bits & (1u << kPictureBit)) refreshPicture();
}

void Win32SettingsWindow::State::refreshText(int index) {
  HWND control = edits[static_cast<size_t>(index)];
  const std::string value = handlers.settings->text(TextField(index));
  // Equal in GBK: the control already shows it (typing lands here too).
  if (ControlText(control) == value) return;
  refreshing = true;
  ::SetWindowTextW(control, WideFromGbk(value).c_str());
  refreshing = false;
}

void Win32SettingsWindow::State::refreshSwitch(int index) {
  const WPARAM state = handlers.settings->isOn(SwitchField(index)) ? BST_CHECKED : BST_UNCHECKED;
  refreshing = true;
  ::SendMessageW(checks[static_cast<size_t>(index)], BM_SETCHECK, state, 0);
  refreshing = false;
}

void Win32SettingsWindow::State::refreshChoice(int index) {
  HWND control = combos[static_cast<size_t>(index)];
  ComboState& shown = shownCombos[static_cast<size_t>(index)];
  const ComboState state = handlers.settings->combo(ChoiceField(index));
  refreshing = true;
  if (state.items != shown.items || ::SendMessageW(control, CB_GETCOUNT, 0, 0) != LRESULT(state.items.size())) {
    ::SendMessageW(control, CB_RESETCONTENT, 0, 0);
    for (const ComboItem& item : state.items) {
      const std::wstring text = WideFromGbk(item.text);
      const LRESULT at = ::SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
      if (at >= 0) ::SendMessageW(control, CB_SETITEMDATA, at, static_cast<LPARAM>(item.value));
    }
  }
  ::SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(state.selected), 0);
  refreshing = false;
  shown = state;
}

void Win32SettingsWindow::State::refreshPicture() {
  const WatermarkPicture value = handlers.settings->watermarkPicture();
  if (value.bytes == shownPicture && (pictureBitmap || value.bytes.empty())) return;
  shownPicture = value.bytes;
  HBITMAP bitmap = DecodePicture(value.bytes, kPictureSide, ::GetSysColor(COLOR_BTNFACE));
  ::SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
  if (pictureBitmap) ::DeleteObject(pictureBitmap);
  pictureBitmap = bitmap;
  ::InvalidateRect(picture, nullptr, TRUE);
}

// "加水印图": the standard open-file dialog; the current directory is put back
// whether the user confirms or cancels.
void Win32SettingsWindow::State::pickPicture(HWND hwnd) {
  std::wstring filter = WideFromGbk("图片文件|*.jpg;*.gif;*.bmp;*.png;*.jpeg|所有文件|*.*");
  std::replace(filter.begin(), filter.end(), L'|', L'\0');
  filter.push_back(L'\0');  // with the string's own terminator: the double zero
  const std::wstring title = WideFromGbk("上传图片");

  std::wstring directory(MAX_PATH, L'\0');
  DWORD length = ::GetCurrentDirectoryW(static_cast<DWORD>(directory.size()), directory.data());
  if (length >= directory.size()) {
    directory.assign(length + 1, L'\0');
    length = ::GetCurrentDirectoryW(static_cast<DWORD>(directory.size()), directory.data());
  }
  directory.resize(length);

  wchar_t path[512] = {};
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = hwnd;
  dialog.lpstrFilter = filter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = path;
  dialog.nMaxFile = 512;
  dialog.lpstrInitialDir = directory.c_str();
  dialog.lpstrTitle = title.c_str();
  dialog.Flags = 0;
  const BOOL picked = ::GetOpenFileNameW(&dialog);
  if (length > 0) ::SetCurrentDirectoryW(directory.c_str());
  if (!picked || path[0] == L'\0' || !handlers.settings) return;

  WatermarkPicture chosen;
  chosen.path = GbkFromWide(path);
  if (handlers.readFile) chosen.bytes = handlers.readFile(chosen.path).value_or(std::string());
  handlers.settings->setWatermarkPicture(std::move(chosen));
}

void Win32SettingsWindow::State::openLinkOrTell(HWND hwnd, bool update) {
  const PublisherTexts texts = handlers.publisher ? handlers.publisher() : PublisherTexts{};
  const std::string& link = update ? texts.updateLink : texts.tutorialLink;
  if (!link.empty()) {
    ::ShellExecuteW(hwnd, L"open", WideFromGbk(link).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return;
  }
  const std::wstring text = WideFromGbk("作者还未添加,请联系作者添加!客服qq" + texts.supportContact);
  ::MessageBoxW(hwnd, text.c_str(), WideFromGbk("温馨提示").c_str(), MB_OK);
}

void Win32SettingsWindow::State::openSupportChat(HWND hwnd) {
  const PublisherTexts texts = handlers.publisher ? handlers.publisher() : PublisherTexts{};
  const std::string address = "http://wpa.qq.com/msgrd?v=3&uin=" + texts.supportContact + "&site=qq&menu=yes";
  ::ShellExecuteW(hwnd, L"open", WideFromGbk(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace morvane
