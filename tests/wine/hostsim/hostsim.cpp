// hostsim: plays the QQ robot host for the plug-in DLL, under Wine.
//
//   hostsim [-v] [--keep] [--plugin <dll>] <scenario.scn>
//   hostsim --commands            (lists the commands)
//   hostsim ... --run-dir <dir> --from-line <n> <scenario.scn>   (restart, below)
//
// It loads the stand-in KXOffer.dll from its own folder (to steer it and read
// what the plug-in asked of the host), then loads the plug-in (default:
// com.tavrel.dll beside hostsim.exe) with LoadLibrary as the host does and
// looks up its seventeen exports by name. Every export call goes through a
// thunk that checks how many stack bytes the export removed. The thread that
// runs the script plays the host's main thread: it calls AppInfo, Initialize,
// the lifecycle events and the menu, and pumps window messages whenever it
// waits. Chat events go to one event thread, as the host delivers them.
// Each run gets a fresh folder in the temp folder, removed afterwards unless
// --keep: it is the current directory and holds the app directory. -v prints
// the host calls as they happen and the manifest laid out for reading.
//
// restart: the plug-in pins itself in memory, so unload + load keeps its
// state; a restart of the host needs a new process. `restart` waits for the
// event thread, then starts hostsim.exe again with the same plug-in, -v, the
// same run folder (--run-dir, which the child never removes) and --from-line
// <the next line>. The child replays the host set-up commands before that
// line (appdir, appdir-result, accounts, groups, friends, raw-*, hex-*,
// send-delay, send-result, dialog-answer), then runs the rest of the script
// against a freshly loaded plug-in: initialize, startup and enable are the
// script's to call again, and the record of host calls starts empty. The
// child writes to the same stdout; the parent waits for it and exits with its
// code (1 at least when the parent had failures of its own).
//
// Scenario files: UTF-8, one command per line, blank lines and lines starting
// with "#" ignored. Words are split at blanks; "..." keeps blanks in a word.
// Texts are converted to GBK before the plug-in sees them; escapes \r \n \t
// \\ \" \@ \$ \xHH (a raw byte) and @repeat(N,text) work in every text, and
// ${NAME} gives the environment variable NAME (e.g. MORVANE_HTTP_PORT, set by
// with-http-server.sh; HOSTSIM_APPDIR, the app directory with its final "\\").
// A text marked <text...> is the rest of the line, taken literally (quotes too).
// Function names may leave out "KX_"; [fn] filters may end in "*" ("send*").
// The commands (see kCommands):
//
//   no-kxoffer                 first line only: run without the stand-in
//   appdir <name>              a fresh app directory named <name> (before startup)
//   appdir-result <text>|@null what KX_getAppDirectory answers, verbatim
//   accounts <qq>...           login list (packed, base64)
//   groups <group>[:<name>]... group list; each entry's first number is 900000000000+group
//   friends <qq>[:<name>]...   friend list
//   raw-login|raw-groups|raw-friends <text>|@null   list answer, verbatim
//   hex-login|hex-groups|hex-friends <hex>...       list answer: base64 of these bytes
//   send-delay <ms>            every KX_send* call takes this long (a slow host)
//   send-result <n>            what every KX_send* call returns
//
//   load | unload              LoadLibrary / FreeLibrary the plug-in (load is automatic)
//   restart                    the rest of the script in a new hostsim process (above)
//   appinfo                    calls AppInfo, prints the manifest
//   initialize <auth> <extra>  | startup | exit | enable | disable | menu
//   call <export>              any export, zeros and empty texts
//   groupmsg <group> <qq> <text...>        on the event thread; waits for its return
//   groupmsg-async <group> <qq> <text...>  on the event thread; does not wait
//   groupmsg-null <group> <qq>             with a null message pointer
//   wait-events <ms>           until the event thread is idle
//   check-stack-widths         every export once, harmless arguments
//   null-args                  every export with text parameters, all of them null
//   expect-return <n>          result of the last export call
//
//   pump <ms>                  pump window messages for that long
//   wait-calls <n> <ms> [fn]   pump until n host calls (of fn) are recorded
//   clear-calls                forget the host calls recorded so far
//   expect-calls <n> [fn]  |  expect-no-calls [fn]
//   expect-call [#<k>] <fn> [auth=N] [robot=N] [target=N] [thread=main|event|other]
//               [null-text] [text=<text...> | text*=<text...>]
//       checks the k-th call of fn (default: the one after the last checked);
//       text= compares the whole text, text*= looks for a part of it
//   expect-gap <fn> <i> <j> <min-ms> <max-ms>   time between the i-th and j-th call
//
//   write-file <name> <text...> | append-file <name> <text...> | delete-file <name>
//                              in the app directory
//   expect-file <name> <text...> | expect-file-contains <name> <text...> | expect-no-file <name>
//   expect-ini <section> <key> <value...>|@missing      in 配置.ini of the app directory
//   expect-window <caption> visible|hidden|absent|count=N|main-thread ...
//   close-window <caption>     WM_CLOSE to it
//   timer-tick                 WM_TIMER id 1 (the schedule timer) sent to "Morvane机器人"
//                              from the main thread, then a short pump
//   click <text>               BM_CLICK on the button with that text
//   set-text <id> <text...>    types into the control with that ID (select all, replace:
//                              EN_CHANGE fires as for typing) | expect-text <id> <text...>
//   check <id> on|off          sets the check box and sends BN_CLICKED, as a click does
//   expect-check <id> on|off
//   select <id> <index>        selects a combo box item and sends CBN_SELCHANGE
//   expect-select <id> <index> | expect-image <id> some|none   (a picture box's bitmap)
//       Control IDs of the settings window: 2000 + edit box (编辑框_监控群 2000,
//       _监控群成员 2001, _转发群 2002, _转发好友 2003, _间隔 2004, _间隔1 2005, _开始 2006,
//       _停止 2007, _水印 2008, _广告 2009, _敏感 2010, _替换 2011, _主人 2012);
//       2100 + check box (选择框_转图开关 2100, _群匿名 2101, _时间开关 2102,
//       _星期一..七 2103..2109); 2200 + combo box (组合框_类型 2200, _文字 2201, _图片 2202);
//       2300 图片框_图片, 2301 透明标签_公告, 2302 透明标签_客服qq.
//   expect-log-rows <n> | expect-log-row <row> <kind> <text...>   the report-view list;
//                              rows count from 1, negative from the end
//   dialog-answer cancel|ok|button <text...>|file <path...>
//                              how later modal dialogs are answered (default: cancel);
//                              every dialog is answered and recorded, from another thread
//   expect-dialog <caption> [<text...>] | expect-no-dialog   the next recorded dialog
//   remember-cwd | expect-cwd-unchanged   the process's current directory now, and a
//                              check that it is still the remembered one (dialogs move it)
//   show-messagebox <caption> <text...>   a message box of hostsim's own (tests the harness)
//   http-get <url> [<body...>] a GET through WinINet (no proxy); fails unless the answer
//                              is 200 (and the body is exactly <body>)
//   echo <text...>
//
// Exit code: 0 every expectation held, 1 one failed, 2 a mistake in the
// scenario or the set-up, 3 a crash. To add a command, write a Runner method
// and add a row to kCommands.
#include <windows.h>
#include <commctrl.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "blocks.h"
#include "kxoffer_sim.h"
#include "plugin.h"
#include "script.h"

namespace hostsim {
namespace {

// ---- Output -------------------------------------------------------------

std::mutex gOutputMutex;
std::atomic<int> gCurrentLine{0};

void Print(const char* format, ...) {
  std::lock_guard lock(gOutputMutex);
  va_list args;
  va_start(args, format);
  std::vfprintf(stdout, format, args);
  va_end(args);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

LONG WINAPI OnCrash(EXCEPTION_POINTERS* info) {
  std::fprintf(stdout, "CRASH: exception 0x%08lX at %p while running line %d\n",
               info->ExceptionRecord->ExceptionCode, info->ExceptionRecord->ExceptionAddress, gCurrentLine.load());
  std::fflush(stdout);
  ::ExitProcess(3);
  return EXCEPTION_EXECUTE_HANDLER;
}

// The end of the compact JSON value that starts at i.
size_t JsonValueEnd(const std::string& j, size_t i) {
  int depth = 0;
  bool inString = false;
  for (; i < j.size(); ++i) {
    char c = j[i];
    if (inString) {
      if (c == '\\') ++i;
      else if (c == '"') inString = false;
      if (!inString && depth == 0) return i + 1;
      continue;
    }
    if (c == '"') inString = true;
    else if (c == '{' || c == '[') ++depth;
    else if (c == '}' || c == ']') {
      if (depth == 0) return i;
      if (--depth == 0) return i + 1;
    } else if (depth == 0 && c == ',') {
      return i;
    }
  }
  return j.size();
}

// The manifest laid out for reading: one member per line, one line per
// object of an array of objects. Anything unexpected comes out as it is.
std::string PrettyManifest(const std::string& j) {
  if (j.size() < 2 || j.front() != '{' || j.back() != '}') return j;
  std::string out = "{\n";
  size_t i = 1;
  while (i < j.size() - 1) {
    size_t keyEnd = JsonValueEnd(j, i);
    if (keyEnd >= j.size() || j[keyEnd] != ':') return j;
    size_t valueEnd = JsonValueEnd(j, keyEnd + 1);
    std::string value = j.substr(keyEnd + 1, valueEnd - keyEnd - 1);
    out += "    " + j.substr(i, keyEnd - i) + ":";
    if (value.size() > 2 && value[0] == '[' && value[1] == '{') {
      out += "[\n";
      size_t k = 1;
      while (k < value.size() - 1) {
        size_t end = JsonValueEnd(value, k);
        out += "      " + value.substr(k, end - k);
        k = end;
        if (k < value.size() - 1 && value[k] == ',') {
          out += ",";
          ++k;
        }
        out += "\n";
      }
      out += "    ]";
    } else {
      out += value;
    }
    i = valueEnd;
    if (i < j.size() - 1 && j[i] == ',') {
      out += ",";
      ++i;
    }
    out += "\n";
  }
  return out + "  }";
}

// ---- Waiting while the host's main thread keeps its windows served -----

void PumpMessages() {
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
}

// Pumps until done() holds or ms have passed; tick() runs in between.
bool PumpUntil(const std::function<bool()>& done, DWORD ms, const std::function<void()>& tick = {}) {
  const ULONGLONG end = ::GetTickCount64() + ms;
  for (;;) {
    PumpMessages();
    if (tick) tick();
    if (done()) return true;
    ULONGLONG now = ::GetTickCount64();
    if (now >= end) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(end - now, 5)),
                                QS_ALLINPUT);
  }
}

// ---- The host's event thread ---------------------------------------------

class EventThread {
 public:
  EventThread() : thread_([this] { loop(); }) {}
  ~EventThread() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    if (idle()) {
      thread_.join();
    } else {
      thread_.detach();  // stuck in an export: the process is about to end anyway
    }
  }

  // Queues the task; the returned flag turns true when it has run.
  std::shared_ptr<std::atomic<bool>> post(std::function<void()> task) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    {
      std::lock_guard lock(mutex_);
      tasks_.push_back([task = std::move(task), done] {
        task();
        done->store(true);
      });
      ++pending_;
    }
    wake_.notify_all();
    return done;
  }

  bool idle() const { return pending_.load() == 0; }
  DWORD threadId() const { return id_.load(); }

 private:
  void loop() {
    id_.store(::GetCurrentThreadId());
    for (;;) {
      std::function<void()> task;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
        if (tasks_.empty()) return;
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
      --pending_;
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;
  std::atomic<int> pending_{0};
  std::atomic<DWORD> id_{0};
  bool stopping_ = false;
  std::thread thread_;
};

// ---- Windows of this process -----------------------------------------------

BOOL CALLBACK CollectOwnWindow(HWND hwnd, LPARAM param) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(hwnd, &pid);
  if (pid == ::GetCurrentProcessId()) reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
  return TRUE;
}

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
  return TRUE;
}

std::vector<HWND> ProcessWindows() {
  std::vector<HWND> found;
  ::EnumWindows(CollectOwnWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

std::vector<HWND> Descendants(HWND parent) {
  std::vector<HWND> found;
  ::EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

std::string WindowText(HWND hwnd) {
  int n = ::GetWindowTextLengthA(hwnd);
  std::string text(static_cast<size_t>(std::max(n, 0)) + 1, '\0');
  n = ::GetWindowTextA(hwnd, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<size_t>(std::max(n, 0)));
  return text;
}

std::string ClassName(HWND hwnd) {
  char name[256] = {};
  ::GetClassNameA(hwnd, name, sizeof(name));
  return name;
}

std::vector<HWND> WindowsWithCaption(const std::string& caption) {
  std::vector<HWND> found;
  for (HWND hwnd : ProcessWindows())
    if (WindowText(hwnd) == caption) found.push_back(hwnd);
  return found;
}

std::string ListItemText(HWND list, int row, int column) {
  std::string buffer(4096, '\0');
  for (;;) {
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = buffer.data();
    item.cchTextMax = static_cast<int>(buffer.size());
    LRESULT n = ::SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    if (static_cast<size_t>(n) + 1 < buffer.size()) return std::string(buffer.data(), static_cast<size_t>(n));
    buffer.resize(buffer.size() * 4);
  }
}

// ---- Files -------------------------------------------------------------------

bool ReadFileBytes(const std::string& path, std::string& bytes) {
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bytes.clear();
  char chunk[65536];
  DWORD got = 0;
  while (::ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0) bytes.append(chunk, got);
  ::CloseHandle(file);
  return true;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
  return ok && written == bytes.size();
}

void RemoveTree(const std::string& dir) {
  WIN32_FIND_DATAA found;
  HANDLE search = ::FindFirstFileA((dir + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = dir + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileA(path.c_str());
      }
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
  }
  ::RemoveDirectoryA(dir.c_str());
}

// A Unix path from the command line (CTest passes those) as a Windows path.
std::string HostPath(const std::string& arg) {
  using ToDos = WCHAR*(CDECL*)(const char*);
  if (arg.empty() || arg[0] != '/') return arg;
  auto toDos = reinterpret_cast<ToDos>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name")));
  if (!toDos) return arg;
  WCHAR* wide = toDos(arg.c_str());
  if (!wide) return arg;
  char path[MAX_PATH * 4] = {};
  ::WideCharToMultiByte(CP_ACP, 0, wide, -1, path, sizeof(path), nullptr, nullptr);
  ::HeapFree(::GetProcessHeap(), 0, wide);
  return path;
}

std::string ExeFolder() {
  char path[MAX_PATH * 4] = {};
  ::GetModuleFileNameA(nullptr, path, sizeof(path));
  std::string folder = path;
  return folder.substr(0, folder.find_last_of('\\') + 1);
}

// ---- Modal dialogs -------------------------------------------------------------

// Answers the plug-in's modal dialogs (message boxes, the open-file dialog)
// from a thread of its own: the script's thread is stuck in the dialog's
// message loop until somebody closes it. Every dialog is recorded.
class DialogWatcher {
 public:
  struct Seen {
    std::string caption, text, answer;
  };
  enum class Mode { kCancel, kOk, kButton, kFile };

  DialogWatcher() : thread_([this] { loop(); }) {}
  ~DialogWatcher() {
    stop_ = true;
    thread_.join();
  }

  void setAnswer(Mode mode, std::string value) {
    std::lock_guard lock(mutex_);
    mode_ = mode;
    value_ = std::move(value);
  }
  bool next(Seen& seen) {
    std::lock_guard lock(mutex_);
    if (checked_ >= seen_.size()) return false;
    seen = seen_[checked_++];
    return true;
  }
  size_t unchecked() {
    std::lock_guard lock(mutex_);
    return seen_.size() - checked_;
  }
  // Holds the watcher still: a scan running while the loader maps the
  // plug-in (and its DLLs initialise) now and then deadlocks under Wine.
  std::unique_lock<std::mutex> pause() { return std::unique_lock(scanMutex_); }

 private:
  void loop() {
    while (!stop_) {
      {
        std::lock_guard hold(scanMutex_);
        for (HWND hwnd : ProcessWindows())
          if (ClassName(hwnd) == "#32770" && ::IsWindowVisible(hwnd) && handled_.insert(hwnd).second) answer(hwnd);
      }
      ::Sleep(10);
    }
  }

  void answer(HWND dialog) {
    Seen seen;
    seen.caption = WindowText(dialog);
    for (HWND child : Descendants(dialog)) {
      if (_stricmp(ClassName(child).c_str(), "Static") != 0) continue;
      std::string text = WindowText(child);
      if (text.empty()) continue;
      if (!seen.text.empty()) seen.text += "\n";
      seen.text += text;
    }
    Mode mode;
    std::string value;
    {
      std::lock_guard lock(mutex_);
      mode = mode_;
      value = value_;
    }
    WPARAM command = IDCANCEL;
    LPARAM from = 0;
    seen.answer = "cancel";
    if (mode == Mode::kOk) {
      command = IDOK;
      seen.answer = "ok";
    } else if (mode == Mode::kButton) {
      for (HWND child : Descendants(dialog)) {
        if (_stricmp(ClassName(child).c_str(), "Button") == 0 && WindowText(child) == value) {
          command = MAKEWPARAM(::GetDlgCtrlID(child), BN_CLICKED);
          from = reinterpret_cast<LPARAM>(child);
          seen.answer = "button " + value;
        }
      }
      if (!from) seen.answer = "cancel (no button \"" + value + "\")";
    } else if (mode == Mode::kFile) {
      // The old-style dialog has the edit box edt1, the Explorer style the combo box cmb13.
      HWND name = ::GetDlgItem(dialog, 0x480);
      if (!name) name = ::GetDlgItem(dialog, 0x47C);
      if (name) {
        ::SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(value.c_str()));
        command = IDOK;
        seen.answer = "file " + value;
      } else {
        seen.answer = "cancel (no file name box)";
      }
    }
    Print("  dialog> \"%s\": \"%s\" -> %s", seen.caption.c_str(), ShowText(seen.text, 400).c_str(),
          seen.answer.c_str());
    {
      std::lock_guard lock(mutex_);
      seen_.push_back(seen);
    }
    ::PostMessageA(dialog, WM_COMMAND, command, from);
  }

  std::atomic<bool> stop_{false};
  std::mutex scanMutex_;
  std::mutex mutex_;
  Mode mode_ = Mode::kCancel;
  std::string value_;
  std::vector<Seen> seen_;
  size_t checked_ = 0;
  std::set<HWND> handled_;  // the watcher's own
  std::thread thread_;
};

// ---- The scenario ------------------------------------------------------------

struct Line {
  int number = 0;
  std::string text;  // UTF-8, as in the file
  std::vector<Word> words;
};

class Runner;

// The arguments of one command: argument 0 is the first word after its name.
class Args {
 public:
  explicit Args(const Line& line) : line_(line) {}
  size_t count() const { return line_.words.size() - 1; }
  const std::string& raw(size_t i) const { return line_.words.at(i + 1).raw; }
  std::string text(size_t i) const { return DecodeText(raw(i)); }
  // The line from argument i on, quotes and all; empty when there is none.
  std::string rest(size_t i) const { return i < count() ? DecodeText(restRaw(line_.words[i + 1].start)) : ""; }
  std::string restRaw(size_t offset) const {
    std::string r = line_.text.substr(offset);
    while (!r.empty() && (r.back() == ' ' || r.back() == '\t')) r.pop_back();
    return r;
  }
  int64_t i64(size_t i) const { return ParseInt(raw(i), INT64_MIN, INT64_MAX); }
  int32_t i32(size_t i) const { return static_cast<int32_t>(ParseInt(raw(i), INT32_MIN, INT32_MAX)); }
  int32_t ms(size_t i) const { return static_cast<int32_t>(ParseInt(raw(i), 0, 600000)); }
  const Line& line() const { return line_; }

 private:
  const Line& line_;
};

struct HostCall {
  int32_t sequence = 0;
  uint32_t threadId = 0;
  int64_t timeMs = 0;
  std::string function;
  int32_t authCode = 0;
  int64_t robot = 0, target = 0;
  std::string text;
  bool textWasNull = false;
  std::string extra;
};

struct Command {
  const char* name;
  const char* usage;
  int minArgs, maxArgs;  // maxArgs -1: no limit
  bool needsStandIn;
  void (Runner::*run)(const Args&);
};

extern const Command kCommands[];
extern const size_t kCommandCount;

const Command* FindCommand(const std::string& name) {
  for (size_t i = 0; i < kCommandCount; ++i)
    if (name == kCommands[i].name) return &kCommands[i];
  return nullptr;
}

// What a restarted run replays from before its first line: the stand-in's
// answers and hostsim's own settings, no plug-in calls.
bool IsHostSetUp(const Command& command) {
  static const std::set<std::string> kSetUp = {
      "appdir",    "appdir-result", "accounts",   "groups",      "friends",
      "raw-login", "raw-groups",    "raw-friends", "hex-login",  "hex-groups",
      "hex-friends", "send-delay",  "send-result", "dialog-answer"};
  return kSetUp.count(command.name) > 0;
}

std::string FunctionName(const std::string& name) { return name.rfind("KX_", 0) == 0 ? name : "KX_" + name; }

constexpr DWORD kEventTimeoutMs = 30000;

std::string CurrentDirectory() {
  char path[MAX_PATH * 2] = {};
  DWORD length = ::GetCurrentDirectoryA(sizeof(path), path);
  return length > 0 && length < sizeof(path) ? std::string(path, length) : std::string();
}

class Runner {
 public:
  Runner(bool verbose, bool keep) : verbose_(verbose), keep_(keep) {}

  // A restarted run: the run folder is the parent's, and lines before
  // fromLine only replay the host set-up.
  void continueRun(const std::string& runDir, int fromLine) {
    borrowedRunDir_ = runDir;
    if (!borrowedRunDir_.empty() && borrowedRunDir_.back() != '\\') borrowedRunDir_ += '\\';
    fromLine_ = fromLine;
  }

  int run(const std::string& scenarioPath, const std::string& pluginPath);

  // Commands.
  void NoKxOffer(const Args&) { throw ScriptError("no-kxoffer must be the first command"); }
  void AppDir(const Args& a);
  void AppDirResult(const Args& a) { SetVerbatim(sim_.setAppDirectory, a.raw(0)); }
  void Accounts(const Args& a);
  void Groups(const Args& a);
  void Friends(const Args& a);
  void RawLogin(const Args& a) { SetVerbatim(sim_.setLoginList, a.raw(0)); }
  void RawGroups(const Args& a) { SetVerbatim(sim_.setGroupList, a.raw(0)); }
  void RawFriends(const Args& a) { SetVerbatim(sim_.setFriendList, a.raw(0)); }
  void HexLogin(const Args& a) { sim_.setLoginList(EncodeBase64(HexBytes(a)).c_str()); }
  void HexGroups(const Args& a) { sim_.setGroupList(EncodeBase64(HexBytes(a)).c_str()); }
  void HexFriends(const Args& a) { sim_.setFriendList(EncodeBase64(HexBytes(a)).c_str()); }
  void SendDelay(const Args& a) { sim_.setSendDelayMs(a.ms(0)); }
  void SendResult(const Args& a) { sim_.setSendResult(a.i32(0)); }

  void Load(const Args&);
  void Unload(const Args&);
  void Restart(const Args&);
  void AppInfo(const Args&);
  void Initialize(const Args& a);
  void Startup(const Args&) { CallMain("_eventStartup", ArgWords()); }
  void Exit(const Args&) { CallMain("_eventExit", ArgWords()); }
  void Enable(const Args&) { CallMain("_eventEnable", ArgWords()); }
  void Disable(const Args&) { CallMain("_eventDisable", ArgWords()); }
  void Menu(const Args&) { CallMain("_menuA", ArgWords()); }
  void CallAny(const Args& a);
  void GroupMsg(const Args& a) { DeliverGroupMsg(a.i64(0), a.i64(1), a.rest(2), false, true); }
  void GroupMsgAsync(const Args& a) { DeliverGroupMsg(a.i64(0), a.i64(1), a.rest(2), false, false); }
  void GroupMsgNull(const Args& a) { DeliverGroupMsg(a.i64(0), a.i64(1), "", true, true); }
  void WaitEvents(const Args& a);
  void CheckStackWidths(const Args&);
  void NullArgs(const Args&);
  void ExpectReturn(const Args& a);

  void Pump(const Args& a);
  void WaitCalls(const Args& a);
  void ClearCalls(const Args&);
  void ExpectCalls(const Args& a);
  void ExpectNoCalls(const Args& a);
  void ExpectCall(const Args& a);
  void ExpectGap(const Args& a);
  void ExpectManifest(const Args& a);
  void ExpectManifestRepeat(const Args&);

  void WriteFile(const Args& a);
  void AppendFile(const Args& a);
  void RemoveFile(const Args& a) { ::DeleteFileA(AppPath(a.text(0)).c_str()); }
  void ExpectFile(const Args& a);
  void ExpectFileContains(const Args& a);
  void ExpectNoFile(const Args& a);
  void ExpectIni(const Args& a);
  void ExpectWindow(const Args& a);
  void CloseWindow(const Args& a);
  void TimerTick(const Args&);
  void HttpGet(const Args& a);
  void Click(const Args& a);
  void SetText(const Args& a);
  void ExpectText(const Args& a);
  void CheckBox(const Args& a);
  void ExpectCheck(const Args& a);
  void Select(const Args& a);
  void ExpectSelect(const Args& a);
  void ExpectImage(const Args& a);
  void ExpectLogRows(const Args& a);
  void ExpectLogRow(const Args& a);
  void Echo(const Args& a) { Print("-- %s", a.rest(0).c_str()); }
  void DialogAnswer(const Args& a);
  void ExpectDialog(const Args& a);
  void ExpectNoDialog(const Args&);
  void RememberCwd(const Args&) { rememberedCwd_ = CurrentDirectory(); }
  void ExpectCwdUnchanged(const Args&);
  void ShowMessageBox(const Args& a) { ::MessageBoxA(nullptr, a.rest(1).c_str(), a.text(0).c_str(), MB_OK); }

 private:
  void Fail(const std::string& message) {
    ++failures_;
    Print("  FAIL (line %d): %s", gCurrentLine.load(), message.c_str());
  }

  void SetVerbatim(SimSetTextFn set, const std::string& raw) {
    if (raw == "@null") {
      set(nullptr);
    } else {
      set(DecodeText(raw).c_str());
    }
  }
  std::string HexBytes(const Args& a) const;
  std::string AppPath(const std::string& nameGbk) const { return appDir_ + nameGbk; }
  void MakeAppDir(const std::string& nameGbk);

  CallOutcome CallOn(bool eventThread, int index, const ArgWords& args);
  CallOutcome CallMain(const char* name, const ArgWords& args) { return CallOn(false, Index(name), args); }
  int Index(const char* name) const {
    int i = ExportIndex(name);
    if (i < 0) throw ScriptError(std::string("no such export: ") + name);
    return i;
  }
  void Check(int index, const CallOutcome& out);
  void DeliverGroupMsg(int64_t group, int64_t qq, std::string msg, bool nullMsg, bool wait);

  void SyncCalls();
  void PrintCall(const HostCall& c);
  std::vector<const HostCall*> CallsOf(const std::string& function) const;
  void DumpCalls();
  HWND LogList();
  HWND Control(const Args& a);  // the control whose ID is argument 0

  bool verbose_, keep_;
  std::string scenarioPath_;
  std::string borrowedRunDir_;  // a restarted run's: never removed here
  std::string rememberedCwd_;
  int fromLine_ = 0;
  int childCode_ = -1;          // after restart: the child's exit code
  int restartLine_ = 0;
  bool withStandIn_ = true;
  SimLibrary sim_;
  Plugin plugin_;
  std::string pluginPath_;
  std::unique_ptr<EventThread> events_;
  std::unique_ptr<DialogWatcher> dialogs_;
  DWORD mainThread_ = ::GetCurrentThreadId();
  std::string runDir_, appDir_;
  std::vector<HostCall> calls_;
  size_t printed_ = 0;
  size_t clearedCalls_ = 0;  // calls forgotten by clear-calls, for the total
  std::map<std::string, size_t> cursors_;  // function -> calls already checked in order
  std::vector<std::string> manifests_;
  int32_t lastReturn_ = 0;
  bool haveReturn_ = false;
  int32_t authCode_ = 0, initExtra_ = 0;
  bool enabled_ = false;
  std::atomic<int> failures_{0};
};

// ---- Host configuration ------------------------------------------------------

void Runner::MakeAppDir(const std::string& nameGbk) {
  std::string dir = runDir_ + nameGbk;
  if (!::CreateDirectoryA(dir.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
    throw ScriptError("cannot create the app directory " + dir);
  appDir_ = dir + "\\";
  ::SetEnvironmentVariableA("HOSTSIM_APPDIR", appDir_.c_str());
  if (withStandIn_) sim_.setAppDirectory(appDir_.c_str());
}

void Runner::AppDir(const Args& a) { MakeAppDir(a.text(0)); }

void Runner::Accounts(const Args& a) {
  PackedBlock block;
  block.int32(static_cast<int32_t>(a.count()));
  for (size_t i = 0; i < a.count(); ++i) block.int64(a.i64(i));
  sim_.setLoginList(block.base64().c_str());
}

namespace {
// "<number>[:<name>]"
std::pair<int64_t, std::string> NumberAndName(const std::string& raw, const char* defaultPrefix) {
  size_t colon = raw.find(':');
  int64_t number = ParseInt(raw.substr(0, colon), INT64_MIN, INT64_MAX);
  std::string name = colon == std::string::npos ? std::string(defaultPrefix) + std::to_string(number)
                                                : DecodeText(raw.substr(colon + 1));
  return {number, name};
}
}  // namespace

void Runner::Groups(const Args& a) {
  PackedBlock block;
  block.int32(static_cast<int32_t>(a.count()));
  for (size_t i = 0; i < a.count(); ++i) {
    auto [group, name] = NumberAndName(a.raw(i), "群");  // GBK literal
    // A first number unlike the group, so a plug-in that posts to it shows.
    block.int64(900000000000LL + group).int64(group).text(name);
  }
  sim_.setGroupList(block.base64().c_str());
}

void Runner::Friends(const Args& a) {
  PackedBlock block;
  block.int32(static_cast<int32_t>(a.count()));
  for (size_t i = 0; i < a.count(); ++i) {
    auto [qq, name] = NumberAndName(a.raw(i), "好友");
    block.int64(qq).text(name);
  }
  sim_.setFriendList(block.base64().c_str());
}

std::string Runner::HexBytes(const Args& a) const {
  std::string digits;
  for (size_t i = 0; i < a.count(); ++i) digits += a.raw(i);
  if (digits.size() % 2) throw ScriptError("hex bytes need an even number of digits");
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    throw ScriptError(std::string("not a hex digit: ") + c);
  };
  std::string bytes;
  for (size_t i = 0; i < digits.size(); i += 2) bytes += static_cast<char>(digit(digits[i]) * 16 + digit(digits[i + 1]));
  return bytes;
}

// ---- Calling the plug-in ------------------------------------------------------

CallOutcome Runner::CallOn(bool eventThread, int index, const ArgWords& args) {
  if (!plugin_.loaded()) throw ScriptError("the plug-in is not loaded");
  if (!plugin_.has(index)) {
    Fail(std::string("the plug-in does not export ") + kExports[index].name);
    return {};
  }
  CallOutcome out;
  if (eventThread) {
    auto done = events_->post([&] { out = plugin_.call(index, args); });
    if (!PumpUntil([&] { return done->load(); }, kEventTimeoutMs, [this] { SyncCalls(); })) {
      Fail(std::string(kExports[index].name) + " did not return within 30 s");
      SyncCalls();
      Print("RESULT: FAIL (the event thread is stuck)");
      std::fflush(stdout);
      ::ExitProcess(1);
    }
  } else {
    out = plugin_.call(index, args);
  }
  Check(index, out);
  SyncCalls();
  return out;
}

void Runner::Check(int index, const CallOutcome& out) {
  lastReturn_ = out.result;
  haveReturn_ = true;
  if (!out.widthOk())
    Fail(std::string(kExports[index].name) + " removed " + std::to_string(out.removed) + " stack bytes, expected " +
         std::to_string(out.expected));
}

void Runner::Load(const Args&) {
  if (plugin_.loaded()) throw ScriptError("the plug-in is loaded already");
  std::string error;
  std::unique_lock<std::mutex> still;
  if (dialogs_) still = dialogs_->pause();
  if (!plugin_.load(pluginPath_, error)) Fail("cannot load " + pluginPath_ + ": " + error);
  if (still) still.unlock();
  for (int i = 0; i < kExportCount && plugin_.loaded(); ++i)
    if (!plugin_.has(i)) Fail(std::string("export missing: ") + kExports[i].name);
}

void Runner::Unload(const Args&) {
  if (!plugin_.loaded()) throw ScriptError("the plug-in is not loaded");
  auto still = dialogs_->pause();
  plugin_.unload();
  enabled_ = false;
}

void Runner::Restart(const Args&) {
  if (!PumpUntil([this] { return events_->idle(); }, kEventTimeoutMs, [this] { SyncCalls(); }))
    Fail("the event thread is still busy at the restart");
  char exe[MAX_PATH * 4] = {};
  ::GetModuleFileNameA(nullptr, exe, sizeof(exe));
  const std::string runDir = runDir_.substr(0, runDir_.size() - 1);
  std::string commandLine = "\"" + std::string(exe) + "\"" + (verbose_ ? " -v" : "") + " --plugin \"" + pluginPath_ +
                            "\" --run-dir \"" + runDir + "\" --from-line " + std::to_string(gCurrentLine.load() + 1) +
                            " \"" + scenarioPath_ + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  for (HANDLE h : {startup.hStdInput, startup.hStdOutput, startup.hStdError})
    if (h && h != INVALID_HANDLE_VALUE) ::SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  // The child goes with this process, should the time limit end it.
  HANDLE job = ::CreateJobObjectA(nullptr, nullptr);
  if (job) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    ::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits));
  }
  Print("  restart: a new hostsim process continues from line %d", gCurrentLine.load() + 1);
  std::fflush(stdout);
  PROCESS_INFORMATION child = {};
  if (!::CreateProcessA(exe, commandLine.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr,
                        &startup, &child)) {
    const DWORD error = ::GetLastError();
    if (job) ::CloseHandle(job);
    throw ScriptError("cannot start " + std::string(exe) + " (error " + std::to_string(error) + ")");
  }
  if (job) ::AssignProcessToJobObject(job, child.hProcess);
  ::ResumeThread(child.hThread);
  // This process's windows stay served meanwhile: a message sent to them must not hold up the child.
  PumpUntil([&] { return ::WaitForSingleObject(child.hProcess, 0) == WAIT_OBJECT_0; }, INFINITE);
  DWORD code = 2;
  ::GetExitCodeProcess(child.hProcess, &code);
  ::CloseHandle(child.hThread);
  ::CloseHandle(child.hProcess);
  if (job) ::CloseHandle(job);
  childCode_ = static_cast<int>(code);
  restartLine_ = gCurrentLine.load();
}

void Runner::AppInfo(const Args&) {
  CallOutcome out = CallMain("AppInfo", ArgWords());
  if (!out.called) return;
  const char* text = reinterpret_cast<const char*>(static_cast<uintptr_t>(static_cast<uint32_t>(out.result)));
  if (!text) {
    Fail("AppInfo returned a null pointer");
    return;
  }
  manifests_.push_back(text);
  const std::string shown = ShowText(manifests_.back(), 4096);
  Print("  manifest (%zu bytes): %s", manifests_.back().size(), verbose_ ? PrettyManifest(shown).c_str() : shown.c_str());
}

void Runner::Initialize(const Args& a) {
  authCode_ = a.i32(0);
  initExtra_ = a.i32(1);
  CallMain("Initialize", ArgWords().i(authCode_).i(initExtra_));
}

void Runner::CallAny(const Args& a) {
  int index = Index(a.raw(0).c_str());
  CallOn(false, index, PlainArgs(index, false));
}

void Runner::DeliverGroupMsg(int64_t group, int64_t qq, std::string msg, bool nullMsg, bool wait) {
  static int32_t messageId = 0;
  ++messageId;
  int index = Index("_eventGroupMsg");
  if (!plugin_.has(index)) {
    Fail("the plug-in does not export _eventGroupMsg");
    return;
  }
  if (wait) {
    ArgWords args;
    args.i(1).i(1).i(messageId).i(0).i(0).q(group).q(qq).s("").s(nullMsg ? nullptr : msg.c_str()).s("").i(0);
    CallOn(true, index, args);
    return;
  }
  // Asynchronous: the message text travels with the task.
  events_->post([this, index, group, qq, msg = std::move(msg), id = messageId] {
    ArgWords args;
    args.i(1).i(1).i(id).i(0).i(0).q(group).q(qq).s("").s(msg.c_str()).s("").i(0);
    CallOutcome out = plugin_.call(index, args);
    if (!out.widthOk())
      Fail("_eventGroupMsg removed " + std::to_string(out.removed) + " stack bytes, expected " +
           std::to_string(out.expected));
  });
}

void Runner::WaitEvents(const Args& a) {
  if (!PumpUntil([this] { return events_->idle(); }, static_cast<DWORD>(a.ms(0)), [this] { SyncCalls(); }))
    Fail("the event thread is still busy");
}

void Runner::CheckStackWidths(const Args&) {
  int bad = 0;
  for (int i = 0; i < kExportCount; ++i) {
    ArgWords args = PlainArgs(i, false);
    if (std::strcmp(kExports[i].name, "Initialize") == 0) args = ArgWords().i(authCode_).i(initExtra_);
    int before = failures_;
    CallOutcome out = CallOn(false, i, args);
    if (failures_ != before) ++bad;
    if (verbose_ && out.called) Print("  %-34s removed %2d bytes", kExports[i].name, out.removed);
  }
  // _eventDisable ran after _eventEnable above; put the state back.
  if (enabled_) CallMain("_eventEnable", ArgWords());
  Print("  stack widths: %d of %d exports right", kExportCount - bad, kExportCount);
}

void Runner::NullArgs(const Args&) {
  for (int i = 0; i < kExportCount; ++i)
    if (std::strchr(kExports[i].layout, 's')) CallOn(true, i, PlainArgs(i, true));
}

void Runner::ExpectReturn(const Args& a) {
  if (!haveReturn_) throw ScriptError("no export has been called yet");
  if (lastReturn_ != a.i32(0)) Fail("the export returned " + std::to_string(lastReturn_) + ", expected " + a.raw(0));
}

// ---- Host calls ---------------------------------------------------------------

void Runner::SyncCalls() {
  if (!withStandIn_) return;
  const int32_t count = sim_.callCount();
  for (int32_t i = static_cast<int32_t>(calls_.size()); i < count; ++i) {
    SimCall raw = {};
    if (!sim_.getCall(i, &raw)) break;
    HostCall c;
    c.sequence = raw.sequence;
    c.threadId = raw.threadId;
    c.timeMs = raw.timeMs;
    c.function = raw.function;
    c.authCode = raw.authCode;
    c.robot = raw.robot;
    c.target = raw.target;
    c.text.assign(raw.text, static_cast<size_t>(raw.textLength));
    c.textWasNull = raw.textWasNull != 0;
    c.extra = raw.extra;
    calls_.push_back(std::move(c));
  }
  if (verbose_) {
    for (; printed_ < calls_.size(); ++printed_) PrintCall(calls_[printed_]);
  }
}

void Runner::PrintCall(const HostCall& c) {
  std::string thread = c.threadId == mainThread_               ? "main"
                       : events_ && c.threadId == events_->threadId() ? "event"
                                                                      : "thread " + std::to_string(c.threadId);
  std::string line = "  host> #" + std::to_string(c.sequence) + " " + c.function + " auth=" + std::to_string(c.authCode);
  const bool numbers = c.robot || c.target || c.function.rfind("KX_send", 0) == 0;
  if (numbers) line += " robot=" + std::to_string(c.robot) + " target=" + std::to_string(c.target);
  if (c.textWasNull) line += " text=(null)";
  else if (!c.text.empty() || c.function.rfind("KX_send", 0) == 0) line += " text=\"" + ShowText(c.text) + "\"";
  if (!c.extra.empty()) line += " " + c.extra;
  line += "  [" + thread + ", " + std::to_string(c.timeMs) + " ms]";
  Print("%s", line.c_str());
}

void Runner::DumpCalls() {
  if (verbose_) return;  // printed already
  Print("  host calls so far: %zu", calls_.size());
  for (const HostCall& c : calls_) PrintCall(c);
}

std::vector<const HostCall*> Runner::CallsOf(const std::string& function) const {
  std::vector<const HostCall*> found;
  const bool prefix = !function.empty() && function.back() == '*';
  const std::string_view stem(function.data(), function.size() - (prefix ? 1 : 0));
  for (const HostCall& c : calls_)
    if (function.empty() || (prefix ? c.function.rfind(stem, 0) == 0 : c.function == function)) found.push_back(&c);
  return found;
}

void Runner::Pump(const Args& a) {
  PumpUntil([] { return false; }, static_cast<DWORD>(a.ms(0)), [this] { SyncCalls(); });
}

void Runner::WaitCalls(const Args& a) {
  const size_t want = static_cast<size_t>(ParseInt(a.raw(0), 0, 1000000));
  const std::string function = a.count() > 2 ? FunctionName(a.raw(2)) : "";
  if (!PumpUntil([&] { return CallsOf(function).size() >= want; }, static_cast<DWORD>(a.ms(1)),
                 [this] { SyncCalls(); })) {
    Fail("waited for " + std::to_string(want) + " host calls" + (function.empty() ? "" : " of " + function) +
         ", got " + std::to_string(CallsOf(function).size()));
    DumpCalls();
  }
}

void Runner::ClearCalls(const Args&) {
  SyncCalls();
  sim_.clearCalls();
  clearedCalls_ += calls_.size();
  calls_.clear();
  printed_ = 0;
  cursors_.clear();
}

void Runner::ExpectCalls(const Args& a) {
  SyncCalls();
  const size_t want = static_cast<size_t>(ParseInt(a.raw(0), 0, 1000000));
  const std::string function = a.count() > 1 ? FunctionName(a.raw(1)) : "";
  size_t got = CallsOf(function).size();
  if (got != want) {
    Fail("expected " + std::to_string(want) + " host calls" + (function.empty() ? "" : " of " + function) +
         ", got " + std::to_string(got));
    DumpCalls();
  }
}

void Runner::ExpectNoCalls(const Args& a) {
  SyncCalls();
  const std::string function = a.count() > 0 ? FunctionName(a.raw(0)) : "";
  if (!CallsOf(function).empty()) {
    Fail("expected no host calls" + (function.empty() ? "" : " of " + function) + ", got " +
         std::to_string(CallsOf(function).size()));
    DumpCalls();
  }
}

void Runner::ExpectCall(const Args& a) {
  SyncCalls();
  size_t i = 0;
  size_t ordinal = 0;  // 1-based; 0: the next one
  if (a.raw(0).rfind('#', 0) == 0) {
    ordinal = static_cast<size_t>(ParseInt(a.raw(0).substr(1), 1, 1000000));
    ++i;
  }
  if (i >= a.count()) throw ScriptError("expect-call needs a function name");
  const std::string function = FunctionName(a.raw(i++));
  if (ordinal == 0) ordinal = cursors_[function] + 1;
  cursors_[function] = ordinal;
  auto calls = CallsOf(function);
  if (ordinal > calls.size()) {
    Fail("expected call #" + std::to_string(ordinal) + " of " + function + ", there are " +
         std::to_string(calls.size()));
    DumpCalls();
    return;
  }
  const HostCall& c = *calls[ordinal - 1];
  std::vector<std::string> problems;
  auto number = [&](const char* key, int64_t actual, const std::string& want) {
    if (ParseInt(want, INT64_MIN, INT64_MAX) != actual)
      problems.push_back(std::string(key) + " is " + std::to_string(actual) + ", expected " + want);
  };
  for (; i < a.count(); ++i) {
    const std::string& w = a.raw(i);
    if (w.rfind("text=", 0) == 0 || w.rfind("text*=", 0) == 0) {
      const bool part = w[4] == '*';
      std::string want = DecodeText(a.restRaw(a.line().words[i + 1].start + (part ? 6 : 5)));
      if (c.textWasNull) problems.push_back("text pointer is null");
      else if (part ? c.text.find(want) == std::string::npos : c.text != want)
        problems.push_back("text is \"" + ShowText(c.text, 400) + "\", expected " + (part ? "a part " : "") + "\"" +
                           ShowText(want, 400) + "\"");
      break;
    }
    size_t eq = w.find('=');
    std::string key = w.substr(0, eq), value = eq == std::string::npos ? "" : w.substr(eq + 1);
    if (key == "auth") number("auth", c.authCode, value);
    else if (key == "robot") number("robot", c.robot, value);
    else if (key == "target") number("target", c.target, value);
    else if (key == "null-text") {
      if (!c.textWasNull) problems.push_back("text pointer is not null");
    } else if (key == "thread") {
      bool onMain = c.threadId == mainThread_, onEvent = c.threadId == events_->threadId();
      if ((value == "main" && !onMain) || (value == "event" && !onEvent) || (value == "other" && (onMain || onEvent)))
        problems.push_back("made on another thread than " + value);
      if (value != "main" && value != "event" && value != "other") throw ScriptError("thread=main|event|other");
    } else {
      throw ScriptError("expect-call does not know " + w);
    }
  }
  if (!problems.empty()) {
    std::string message = function + " #" + std::to_string(ordinal) + ":";
    for (const auto& p : problems) message += " " + p + ";";
    Fail(message);
    DumpCalls();
  }
}

void Runner::ExpectGap(const Args& a) {
  SyncCalls();
  auto calls = CallsOf(FunctionName(a.raw(0)));
  size_t i = static_cast<size_t>(ParseInt(a.raw(1), 1, 1000000)), j = static_cast<size_t>(ParseInt(a.raw(2), 1, 1000000));
  int64_t lo = a.i64(3), hi = a.i64(4);
  if (i > calls.size() || j > calls.size()) {
    Fail("not enough calls of " + FunctionName(a.raw(0)));
    return;
  }
  int64_t gap = calls[j - 1]->timeMs - calls[i - 1]->timeMs;
  if (gap < lo || gap > hi)
    Fail("the gap is " + std::to_string(gap) + " ms, expected " + std::to_string(lo) + ".." + std::to_string(hi));
}

void Runner::ExpectManifest(const Args& a) {
  if (manifests_.empty()) throw ScriptError("call appinfo first");
  std::string want = a.rest(0);
  const std::string& got = manifests_.back();
  if (got == want) return;
  size_t at = 0;
  while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
  Fail("the manifest differs from byte " + std::to_string(at) + ": got \"" + ShowText(got.substr(at), 80) +
       "\", expected \"" + ShowText(want.substr(std::min(at, want.size())), 80) + "\"");
}

void Runner::ExpectManifestRepeat(const Args&) {
  if (manifests_.size() < 2) throw ScriptError("call appinfo twice first");
  if (manifests_.back() != manifests_[manifests_.size() - 2]) Fail("the second AppInfo gave another text");
}

// ---- Files -------------------------------------------------------------------------

void Runner::WriteFile(const Args& a) {
  if (!WriteFileBytes(AppPath(a.text(0)), a.rest(1))) throw ScriptError("cannot write " + AppPath(a.text(0)));
}

void Runner::AppendFile(const Args& a) {
  std::string bytes;
  ReadFileBytes(AppPath(a.text(0)), bytes);
  if (!WriteFileBytes(AppPath(a.text(0)), bytes + a.rest(1))) throw ScriptError("cannot write " + AppPath(a.text(0)));
}

void Runner::ExpectFile(const Args& a) {
  std::string bytes;
  std::string want = a.rest(1);
  if (!ReadFileBytes(AppPath(a.text(0)), bytes)) Fail("no file " + AppPath(a.text(0)));
  else if (bytes != want)
    Fail("the file holds \"" + ShowText(bytes, 400) + "\", expected \"" + ShowText(want, 400) + "\"");
}

void Runner::ExpectFileContains(const Args& a) {
  std::string bytes;
  std::string want = a.rest(1);
  if (!ReadFileBytes(AppPath(a.text(0)), bytes)) Fail("no file " + AppPath(a.text(0)));
  else if (bytes.find(want) == std::string::npos)
    Fail("the file holds \"" + ShowText(bytes, 400) + "\", without \"" + ShowText(want, 400) + "\"");
}

void Runner::ExpectNoFile(const Args& a) {
  if (::GetFileAttributesA(AppPath(a.text(0)).c_str()) != INVALID_FILE_ATTRIBUTES)
    Fail("the file " + AppPath(a.text(0)) + " exists");
}

void Runner::ExpectIni(const Args& a) {
  const std::string path = AppPath("配置.ini");  // literals are GBK here
  const std::string section = a.text(0), key = a.text(1);
  const bool wantMissing = a.count() > 2 && a.raw(2) == "@missing";
  const std::string want = wantMissing ? "" : a.rest(2);
  const char kAbsent[] = "\x01(absent)";
  std::string value(65536, '\0');
  for (;;) {
    DWORD n = ::GetPrivateProfileStringA(section.c_str(), key.c_str(), kAbsent, value.data(),
                                         static_cast<DWORD>(value.size()), path.c_str());
    if (n + 2 < value.size()) {
      value.resize(n);
      break;
    }
    value.assign(value.size() * 4, '\0');
  }
  const bool missing = value == kAbsent;
  if (wantMissing && !missing) Fail("[" + section + "] " + key + " = \"" + ShowText(value, 400) + "\", expected none");
  if (!wantMissing && missing) Fail("[" + section + "] " + key + " is missing from " + path);
  if (!wantMissing && !missing && value != want)
    Fail("[" + section + "] " + key + " = \"" + ShowText(value, 400) + "\", expected \"" + ShowText(want, 400) + "\"");
}

// ---- Windows -----------------------------------------------------------------------

void Runner::ExpectWindow(const Args& a) {
  PumpMessages();
  const std::string caption = a.text(0);
  auto windows = WindowsWithCaption(caption);
  for (size_t i = 1; i < a.count(); ++i) {
    const std::string& cond = a.raw(i);
    if (cond == "absent") {
      if (!windows.empty()) Fail("a window \"" + caption + "\" exists");
    } else if (cond.rfind("count=", 0) == 0) {
      size_t want = static_cast<size_t>(ParseInt(cond.substr(6), 0, 1000));
      if (windows.size() != want)
        Fail(std::to_string(windows.size()) + " windows \"" + caption + "\", expected " + std::to_string(want));
    } else if (cond == "visible" || cond == "hidden" || cond == "main-thread") {
      if (windows.empty()) {
        Fail("no window \"" + caption + "\"");
        continue;
      }
      HWND hwnd = windows.front();
      if (cond == "visible" && !::IsWindowVisible(hwnd)) Fail("the window \"" + caption + "\" is hidden");
      if (cond == "hidden" && ::IsWindowVisible(hwnd)) Fail("the window \"" + caption + "\" is visible");
      if (cond == "main-thread" && ::GetWindowThreadProcessId(hwnd, nullptr) != mainThread_)
        Fail("the window \"" + caption + "\" belongs to another thread");
    } else {
      throw ScriptError("expect-window does not know " + cond);
    }
  }
}

void Runner::CloseWindow(const Args& a) {
  auto windows = WindowsWithCaption(a.text(0));
  if (windows.empty()) {
    Fail("no window \"" + a.text(0) + "\" to close");
    return;
  }
  ::SendMessageA(windows.front(), WM_CLOSE, 0, 0);
  PumpMessages();
  SyncCalls();
}

void Runner::TimerTick(const Args&) {
  auto windows = WindowsWithCaption("Morvane机器人");  // GBK literal
  if (windows.empty()) {
    Fail("no window \"Morvane机器人\" for the timer tick");
    return;
  }
  ::SendMessageA(windows.front(), WM_TIMER, 1, 0);
  PumpUntil([] { return false; }, 50, [this] { SyncCalls(); });
}

void Runner::HttpGet(const Args& a) {
  const std::string url = a.text(0);
  HINTERNET session = ::InternetOpenA("hostsim", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  HINTERNET request = session ? ::InternetOpenUrlA(session, url.c_str(), nullptr, 0,
                                                   INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                                       INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI,
                                                   0)
                              : nullptr;
  if (!request) {
    Fail("GET " + url + " failed (error " + std::to_string(::GetLastError()) + ")");
    if (session) ::InternetCloseHandle(session);
    return;
  }
  DWORD status = 0, size = sizeof(status);
  ::HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr);
  std::string body;
  char chunk[4096];
  DWORD got = 0;
  while (::InternetReadFile(request, chunk, sizeof(chunk), &got) && got > 0) body.append(chunk, got);
  ::InternetCloseHandle(request);
  ::InternetCloseHandle(session);
  if (status != 200) Fail("GET " + url + " answered " + std::to_string(status));
  else if (a.count() > 1 && body != a.rest(1))
    Fail("GET " + url + " gave \"" + ShowText(body, 400) + "\", expected \"" + ShowText(a.rest(1), 400) + "\"");
}

void Runner::Click(const Args& a) {
  const std::string text = a.rest(0);
  for (HWND top : ProcessWindows()) {
    for (HWND child : Descendants(top)) {
      if (_stricmp(ClassName(child).c_str(), "Button") == 0 && WindowText(child) == text) {
        ::SendMessageA(child, BM_CLICK, 0, 0);
        PumpMessages();
        SyncCalls();
        return;
      }
    }
  }
  Fail("no button \"" + text + "\"");
}

// A control of this process's windows by its ID; the settings window's
// controls are numbered as the header lists.
HWND ControlById(int id) {
  for (HWND top : ProcessWindows())
    for (HWND child : Descendants(top))
      if (::GetDlgCtrlID(child) == id) return child;
  return nullptr;
}

std::wstring WideFromGbkText(const std::string& gbk) {
  if (gbk.empty()) return {};
  int n = ::MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), wide.data(), n);
  return wide;
}

std::string ControlTextGbk(HWND hwnd) {
  int n = ::GetWindowTextLengthW(hwnd);
  std::wstring wide(static_cast<size_t>(std::max(n, 0)) + 1, L'\0');
  n = ::GetWindowTextW(hwnd, wide.data(), static_cast<int>(wide.size()));
  if (n <= 0) return {};
  int m = ::WideCharToMultiByte(936, 0, wide.data(), n, nullptr, 0, nullptr, nullptr);
  std::string gbk(static_cast<size_t>(m), '\0');
  ::WideCharToMultiByte(936, 0, wide.data(), n, gbk.data(), m, nullptr, nullptr);
  return gbk;
}

bool OnOff(const std::string& word) {
  if (word == "on") return true;
  if (word == "off") return false;
  throw ScriptError("on or off expected, not " + word);
}

HWND Runner::Control(const Args& a) {
  PumpMessages();
  const int id = static_cast<int>(ParseInt(a.raw(0), 0, 65535));
  HWND control = ControlById(id);
  if (!control) Fail("no control with the ID " + a.raw(0));
  return control;
}

void Runner::SetText(const Args& a) {
  HWND control = Control(a);
  if (!control) return;
  const std::wstring text = WideFromGbkText(a.rest(1));
  ::SendMessageW(control, EM_SETSEL, 0, -1);
  ::SendMessageW(control, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
  PumpMessages();
  SyncCalls();
}

void Runner::ExpectText(const Args& a) {
  HWND control = Control(a);
  if (!control) return;
  const std::string text = ControlTextGbk(control), want = a.rest(1);
  if (text != want)
    Fail("control " + a.raw(0) + " reads \"" + ShowText(text, 400) + "\", expected \"" + ShowText(want, 400) + "\"");
}

void Runner::CheckBox(const Args& a) {
  HWND control = Control(a);
  if (!control) return;
  ::SendMessageW(control, BM_SETCHECK, OnOff(a.raw(1)) ? BST_CHECKED : BST_UNCHECKED, 0);
  ::SendMessageW(::GetParent(control), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(control), BN_CLICKED),
                 reinterpret_cast<LPARAM>(control));
  PumpMessages();
  SyncCalls();
}

void Runner::ExpectCheck(const Args& a) {
  HWND control = Control(a);
  if (!control) return;
  const bool on = ::SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
  if (on != OnOff(a.raw(1))) Fail("check box " + a.raw(0) + " is " + (on ? "on" : "off"));
}

void Runner::Select(const Args& a) {
  HWND control = Control(a);
  if (!control) return;
  ::SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(a.i32(1)), 0);
  ::SendMessageW(::GetParent(control), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(control), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(control));
  PumpMessages();
  SyncCalls();
}

void Runner::ExpectSelect(const Args& a) {
  HWND control = Control(a);
  if (!control) return;
  const int selected = static_cast<int>(::SendMessageW(control, CB_GETCURSEL, 0, 0));
  if (selected != a.i32(1))
    Fail("combo box " + a.raw(0) + " selects " + std::to_string(selected) + ", expected " + a.raw(1));
}

void Runner::ExpectImage(const Args& a) {
  HWND control = Control(a);
  if (!control) return;
  const bool some = ::SendMessageW(control, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0;
  const std::string& want = a.raw(1);
  if (want != "some" && want != "none") throw ScriptError("some or none expected, not " + want);
  if (some != (want == "some")) Fail("picture box " + a.raw(0) + (some ? " shows a picture" : " is empty"));
}

HWND Runner::LogList() {
  for (HWND top : ProcessWindows())
    for (HWND child : Descendants(top))
      if (ClassName(child) == WC_LISTVIEWA) return child;
  return nullptr;
}

void Runner::ExpectLogRows(const Args& a) {
  PumpMessages();
  HWND list = LogList();
  if (!list) {
    Fail("no report-view list");
    return;
  }
  LRESULT rows = ::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
  if (rows != a.i64(0)) Fail("the list has " + std::to_string(rows) + " rows, expected " + a.raw(0));
}

void Runner::ExpectLogRow(const Args& a) {
  PumpMessages();
  HWND list = LogList();
  if (!list) {
    Fail("no report-view list");
    return;
  }
  const int rows = static_cast<int>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  int row = static_cast<int>(ParseInt(a.raw(0), -1000000, 1000000));
  row = row > 0 ? row - 1 : rows + row;
  if (row < 0 || row >= rows) {
    Fail("no row " + a.raw(0) + " (the list has " + std::to_string(rows) + ")");
    return;
  }
  const std::string time = ListItemText(list, row, 0), kind = ListItemText(list, row, 1),
                    text = ListItemText(list, row, 2);
  if (verbose_) Print("  row %d: %s | %s | %s", row + 1, time.c_str(), kind.c_str(), ShowText(text).c_str());
  if (kind != a.text(1)) Fail("row " + a.raw(0) + " has the kind \"" + kind + "\", expected \"" + a.text(1) + "\"");
  if (text != a.rest(2))
    Fail("row " + a.raw(0) + " reads \"" + ShowText(text, 400) + "\", expected \"" + ShowText(a.rest(2), 400) + "\"");
}

void Runner::DialogAnswer(const Args& a) {
  const std::string& how = a.raw(0);
  if (how == "cancel") dialogs_->setAnswer(DialogWatcher::Mode::kCancel, "");
  else if (how == "ok") dialogs_->setAnswer(DialogWatcher::Mode::kOk, "");
  else if (how == "button" && a.count() > 1) dialogs_->setAnswer(DialogWatcher::Mode::kButton, a.rest(1));
  else if (how == "file" && a.count() > 1) dialogs_->setAnswer(DialogWatcher::Mode::kFile, a.rest(1));
  else throw ScriptError("dialog-answer cancel|ok|button <text...>|file <path...>");
}

void Runner::ExpectDialog(const Args& a) {
  DialogWatcher::Seen seen;
  if (!PumpUntil([&] { return dialogs_->unchecked() > 0; }, 2000) || !dialogs_->next(seen)) {
    Fail("no dialog appeared");
    return;
  }
  if (seen.caption != a.text(0)) Fail("a dialog \"" + seen.caption + "\" appeared, expected \"" + a.text(0) + "\"");
  if (a.count() > 1 && seen.text != a.rest(1))
    Fail("the dialog says \"" + ShowText(seen.text, 400) + "\", expected \"" + ShowText(a.rest(1), 400) + "\"");
}

void Runner::ExpectNoDialog(const Args&) {
  PumpMessages();
  DialogWatcher::Seen seen;
  while (dialogs_->next(seen)) Fail("a dialog appeared: \"" + seen.caption + "\": \"" + ShowText(seen.text) + "\"");
}

void Runner::ExpectCwdUnchanged(const Args&) {
  if (rememberedCwd_.empty()) throw ScriptError("expect-cwd-unchanged without remember-cwd");
  const std::string now = CurrentDirectory();
  if (now != rememberedCwd_) Fail("the current directory is " + now + ", expected " + rememberedCwd_);
}

// ---- Running a scenario --------------------------------------------------------------

std::vector<Line> ReadScenario(const std::string& path) {
  std::string bytes;
  if (!ReadFileBytes(path, bytes)) throw ScriptError("cannot read " + path);
  if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) bytes.erase(0, 3);
  std::vector<Line> lines;
  std::istringstream in(bytes);
  std::string text;
  int number = 0;
  while (std::getline(in, text)) {
    ++number;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos || text[first] == '#') continue;
    Line line;
    line.number = number;
    line.text = text;
    try {
      line.words = SplitWords(text);
    } catch (const ScriptError& e) {
      throw ScriptError("line " + std::to_string(number) + ": " + e.what());
    }
    const Command* command = FindCommand(line.words[0].raw);
    if (!command) throw ScriptError("line " + std::to_string(number) + ": unknown command " + line.words[0].raw);
    int args = static_cast<int>(line.words.size()) - 1;
    if (args < command->minArgs || (command->maxArgs >= 0 && args > command->maxArgs))
      throw ScriptError("line " + std::to_string(number) + ": usage: " + command->name + " " + command->usage);
    lines.push_back(std::move(line));
  }
  return lines;
}

int Runner::run(const std::string& scenarioPath, const std::string& pluginPath) {
  pluginPath_ = pluginPath;
  scenarioPath_ = scenarioPath;
  std::vector<Line> lines;
  try {
    lines = ReadScenario(scenarioPath);
  } catch (const ScriptError& e) {
    Print("SCENARIO ERROR: %s", e.what());
    return 2;
  }
  size_t first = 0;
  if (!lines.empty() && lines[0].words[0].raw == "no-kxoffer") {
    withStandIn_ = false;
    first = 1;
    char found[MAX_PATH];
    if (::SearchPathA(nullptr, "KXOffer.dll", nullptr, MAX_PATH, found, nullptr)) {
      Print("SET-UP ERROR: no-kxoffer, but KXOffer.dll is found at %s; run from a folder without it", found);
      return 2;
    }
    Print("running without KXOffer.dll");
  } else if (!sim_.load()) {
    Print("SET-UP ERROR: cannot load the stand-in KXOffer.dll beside hostsim.exe (error %lu)", ::GetLastError());
    return 2;
  }

  char temp[MAX_PATH];
  ::GetTempPathA(MAX_PATH, temp);
  runDir_ = std::string(temp) + "hostsim-" + std::to_string(::GetCurrentProcessId()) + "-" +
            std::to_string(::GetTickCount64()) + "\\";
  if (!borrowedRunDir_.empty()) {
    runDir_ = borrowedRunDir_;
  } else if (!::CreateDirectoryA(runDir_.c_str(), nullptr)) {
    Print("SET-UP ERROR: cannot create %s", runDir_.c_str());
    return 2;
  }
  if (withStandIn_) sim_.reset();
  // The run folder is the current directory too: a path the plug-in builds
  // from an empty app directory lands there, not in the build tree.
  ::SetCurrentDirectoryA(runDir_.c_str());
  MakeAppDir("com.tavrel");
  events_ = std::make_unique<EventThread>();
  Print("plug-in: %s", pluginPath_.c_str());
  Print("app directory: %s", appDir_.c_str());

  int code = 0;
  try {
    Line loadLine;
    loadLine.words.push_back(Word{"load", 0});
    Load(Args(loadLine));
    if (!plugin_.loaded()) throw ScriptError("the plug-in did not load");
    dialogs_ = std::make_unique<DialogWatcher>();
    int replayed = 0;
    for (size_t i = first; i < lines.size() && childCode_ < 0; ++i) {
      const Line& line = lines[i];
      gCurrentLine = line.number;
      const Command* command = FindCommand(line.words[0].raw);
      if (line.number < fromLine_) {
        if (!IsHostSetUp(*command)) continue;
        ++replayed;
      } else if (replayed >= 0) {
        if (fromLine_ > 0) Print("  (replayed %d host set-up lines)", replayed);
        replayed = -1;
      }
      if (line.number >= fromLine_ && command->run != &Runner::Echo)
        Print("[%d] %s", line.number, ShowText(GbkFromUtf8Lossy(line.text), 200).c_str());
      if (command->needsStandIn && !withStandIn_) throw ScriptError("needs KXOffer.dll, and this run has none");
      try {
        (this->*command->run)(Args(line));
      } catch (const ScriptError& e) {
        throw ScriptError("line " + std::to_string(line.number) + ": " + e.what());
      }
      const std::string& name = line.words[0].raw;
      if (name == "enable") enabled_ = true;
      if (name == "disable") enabled_ = false;
      PumpMessages();
      SyncCalls();
    }
    const int failures = failures_.load();
    if (childCode_ >= 0) {
      code = childCode_;
      if (failures) {
        Print("RESULT: FAIL (%d failure%s before the restart at line %d)", failures, failures == 1 ? "" : "s",
              restartLine_);
        code = std::max(code, 1);
      }
    } else {
      if (!PumpUntil([this] { return events_->idle(); }, kEventTimeoutMs, [this] { SyncCalls(); }))
        Fail("the event thread is still busy at the end");
      const int all = failures_.load();
      code = all ? 1 : 0;
      Print("RESULT: %s (%d failure%s, %zu host calls)", all ? "FAIL" : "PASS", all, all == 1 ? "" : "s",
            clearedCalls_ + calls_.size());
    }
  } catch (const std::exception& e) {
    Print("SCENARIO ERROR: %s", e.what());
    code = 2;
  }
  if (!keep_ && borrowedRunDir_.empty()) {
    ::SetCurrentDirectoryA(temp);  // the current directory cannot be removed
    RemoveTree(runDir_.substr(0, runDir_.size() - 1));
  }
  return code;
}

// ---- The command table ------------------------------------------------------------------

const Command kCommands[] = {
    {"no-kxoffer", "", 0, 0, false, &Runner::NoKxOffer},
    {"appdir", "<name>", 1, 1, false, &Runner::AppDir},
    {"appdir-result", "<text>|@null", 1, 1, true, &Runner::AppDirResult},
    {"accounts", "<qq>...", 0, -1, true, &Runner::Accounts},
    {"groups", "<group>[:<name>]...", 0, -1, true, &Runner::Groups},
    {"friends", "<qq>[:<name>]...", 0, -1, true, &Runner::Friends},
    {"raw-login", "<text>|@null", 1, 1, true, &Runner::RawLogin},
    {"raw-groups", "<text>|@null", 1, 1, true, &Runner::RawGroups},
    {"raw-friends", "<text>|@null", 1, 1, true, &Runner::RawFriends},
    {"hex-login", "<hex bytes>...", 0, -1, true, &Runner::HexLogin},
    {"hex-groups", "<hex bytes>...", 0, -1, true, &Runner::HexGroups},
    {"hex-friends", "<hex bytes>...", 0, -1, true, &Runner::HexFriends},
    {"send-delay", "<ms>", 1, 1, true, &Runner::SendDelay},
    {"send-result", "<n>", 1, 1, true, &Runner::SendResult},

    {"load", "", 0, 0, false, &Runner::Load},
    {"unload", "", 0, 0, false, &Runner::Unload},
    {"restart", "", 0, 0, false, &Runner::Restart},
    {"appinfo", "", 0, 0, false, &Runner::AppInfo},
    {"initialize", "<auth> <extra>", 2, 2, false, &Runner::Initialize},
    {"startup", "", 0, 0, false, &Runner::Startup},
    {"exit", "", 0, 0, false, &Runner::Exit},
    {"enable", "", 0, 0, false, &Runner::Enable},
    {"disable", "", 0, 0, false, &Runner::Disable},
    {"menu", "", 0, 0, false, &Runner::Menu},
    {"call", "<export>", 1, 1, false, &Runner::CallAny},
    {"groupmsg", "<group> <qq> <text...>", 2, -1, false, &Runner::GroupMsg},
    {"groupmsg-async", "<group> <qq> <text...>", 2, -1, false, &Runner::GroupMsgAsync},
    {"groupmsg-null", "<group> <qq>", 2, 2, false, &Runner::GroupMsgNull},
    {"wait-events", "<ms>", 1, 1, false, &Runner::WaitEvents},
    {"check-stack-widths", "", 0, 0, false, &Runner::CheckStackWidths},
    {"null-args", "", 0, 0, false, &Runner::NullArgs},
    {"expect-return", "<n>", 1, 1, false, &Runner::ExpectReturn},

    {"pump", "<ms>", 1, 1, false, &Runner::Pump},
    {"wait-calls", "<n> <ms> [function]", 2, 3, true, &Runner::WaitCalls},
    {"clear-calls", "", 0, 0, true, &Runner::ClearCalls},
    {"expect-calls", "<n> [function]", 1, 2, true, &Runner::ExpectCalls},
    {"expect-no-calls", "[function]", 0, 1, true, &Runner::ExpectNoCalls},
    {"expect-call", "[#<k>] <function> [auth=N] [robot=N] [target=N] [thread=main|event|other] [null-text] "
                    "[text=<text...>|text*=<text...>]",
     1, -1, true, &Runner::ExpectCall},
    {"expect-gap", "<function> <i> <j> <min-ms> <max-ms>", 5, 5, true, &Runner::ExpectGap},
    {"expect-manifest", "<text...>", 1, -1, false, &Runner::ExpectManifest},
    {"expect-manifest-repeat", "", 0, 0, false, &Runner::ExpectManifestRepeat},

    {"write-file", "<name> <text...>", 1, -1, false, &Runner::WriteFile},
    {"append-file", "<name> <text...>", 1, -1, false, &Runner::AppendFile},
    {"delete-file", "<name>", 1, 1, false, &Runner::RemoveFile},
    {"expect-file", "<name> <text...>", 1, -1, false, &Runner::ExpectFile},
    {"expect-file-contains", "<name> <text...>", 2, -1, false, &Runner::ExpectFileContains},
    {"expect-no-file", "<name>", 1, 1, false, &Runner::ExpectNoFile},
    {"expect-ini", "<section> <key> <value...>|@missing", 2, -1, false, &Runner::ExpectIni},
    {"expect-window", "<caption> visible|hidden|absent|count=N|main-thread...", 2, -1, false, &Runner::ExpectWindow},
    {"close-window", "<caption>", 1, 1, false, &Runner::CloseWindow},
    {"timer-tick", "", 0, 0, false, &Runner::TimerTick},
    {"http-get", "<url> [<body...>]", 1, -1, false, &Runner::HttpGet},
    {"click", "<button text...>", 1, -1, false, &Runner::Click},
    {"set-text", "<id> <text...>", 1, -1, false, &Runner::SetText},
    {"expect-text", "<id> <text...>", 1, -1, false, &Runner::ExpectText},
    {"check", "<id> on|off", 2, 2, false, &Runner::CheckBox},
    {"expect-check", "<id> on|off", 2, 2, false, &Runner::ExpectCheck},
    {"select", "<id> <index>", 2, 2, false, &Runner::Select},
    {"expect-select", "<id> <index>", 2, 2, false, &Runner::ExpectSelect},
    {"expect-image", "<id> some|none", 2, 2, false, &Runner::ExpectImage},
    {"expect-log-rows", "<n>", 1, 1, false, &Runner::ExpectLogRows},
    {"expect-log-row", "<row> <kind> <text...>", 2, -1, false, &Runner::ExpectLogRow},
    {"dialog-answer", "cancel|ok|button <text...>|file <path...>", 1, -1, false, &Runner::DialogAnswer},
    {"expect-dialog", "<caption> [<text...>]", 1, -1, false, &Runner::ExpectDialog},
    {"expect-no-dialog", "", 0, 0, false, &Runner::ExpectNoDialog},
    {"remember-cwd", "", 0, 0, false, &Runner::RememberCwd},
    {"expect-cwd-unchanged", "", 0, 0, false, &Runner::ExpectCwdUnchanged},
    {"show-messagebox", "<caption> <text...>", 1, -1, false, &Runner::ShowMessageBox},
    {"echo", "<text...>", 0, -1, false, &Runner::Echo},
};
const size_t kCommandCount = sizeof(kCommands) / sizeof(kCommands[0]);

}  // namespace
}  // namespace hostsim

int main(int argc, char** argv) {
  using namespace hostsim;
  const char* kUsage =
      "usage: hostsim [-v] [--keep] [--plugin <dll>] [--run-dir <dir> --from-line <n>] <scenario.scn> | --commands";
  ::SetUnhandledExceptionFilter(OnCrash);
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  bool verbose = false, keep = false;
  std::string plugin, scenario, runDir;
  int fromLine = 0;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-v") verbose = true;
    else if (arg == "--keep") keep = true;
    else if (arg == "--plugin" && i + 1 < argc) plugin = HostPath(argv[++i]);
    else if (arg == "--run-dir" && i + 1 < argc) runDir = HostPath(argv[++i]);
    else if (arg == "--from-line" && i + 1 < argc) fromLine = std::atoi(argv[++i]);
    else if (arg == "--commands") {
      for (size_t k = 0; k < kCommandCount; ++k) Print("%s %s", kCommands[k].name, kCommands[k].usage);
      return 0;
    } else if (scenario.empty() && !arg.empty() && arg[0] != '-') scenario = HostPath(arg);
    else {
      Print("%s", kUsage);
      return 2;
    }
  }
  if (scenario.empty()) {
    Print("%s", kUsage);
    return 2;
  }
  if (plugin.empty()) plugin = ExeFolder() + "com.tavrel.dll";
  char full[MAX_PATH * 4];
  if (::GetFullPathNameA(plugin.c_str(), sizeof(full), full, nullptr)) plugin = full;  // the run changes directory
  Runner runner(verbose, keep);
  if (!runDir.empty()) runner.continueRun(runDir, fromLine);
  int code = runner.run(scenario, plugin);
  std::fflush(stdout);
  return code;
}
