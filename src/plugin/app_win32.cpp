#include "plugin/app_win32.h"

#include <atomic>
#include <cstdio>
#include <exception>
#include <new>

#include "schedule/publisher_win32.h"
#include "schedule/schedule.h"
#include "win32_support.h"

namespace morvane {

App::App()
    : window(Win32SettingsWindow::Handlers{
          .created = [this] { windowCreated(); },
          .tick = [this] { scheduleTimerTick(); },
          .save = [this] { settingsFile.saveSettings(); },
          .logRowCount = [this] { return runLog.size(); },
          .logRow = [this](size_t index, LogRow& row) { return runLog.rowAt(index, row); },
          .settings = &settings,
          .publisher = [this] { return publisher; },
          .readFile = [this](const std::string& path) { return profiles.readFile(path); },
      }),
      plugin(library, window),
      settingsFile(settings, profiles, [this] { return SettingsFilePath(plugin.appDirectory()); }),
      workers(settings, plugin.hostApi(), runLog, pauseRandom, forwardQueue),
      admission(settings, scheduleGate, runLog, composer, plugin.hostApi(), workers),
      commands(settings, plugin.hostApi(), [this] { settingsFile.saveSettings(); }) {
  runLog.setObserver({
      .appended = [this](const LogRow&) { window.runLogChanged(); },
      .droppedFront = [this](size_t) { window.runLogChanged(); },
  });
  plugin.setOwnerCommandHandler([this](int64_t fromGroup, int64_t fromQQ, const std::string& msg) {
    return commands.HandleOwnerCommand(fromGroup, fromQQ, msg);
  });
  plugin.setMessageAdmitter([this](int64_t fromGroup, int64_t fromQQ, const std::string& msg) {
    forwardQueue.start();
    admission.AdmitMessage(fromGroup, fromQQ, msg);
  });
}

// On the window's thread, while the window is being created.
void App::windowCreated() {
  publisher = LoadPublisherTexts(plugin.appDirectory());
  networkClock = std::make_unique<WinHttpClock>(publisher.timeSource);
  settingsFile.loadSettings();
}

// Once a minute on the window's thread.
void App::scheduleTimerTick() {
  if (networkClock) scheduleTick(*networkClock, settings, scheduleGate);
}

App& TheApp() {
  // Never destroyed, and the module is pinned for the life of the process: the
  // settings window's procedure and the forward threads run this module's code
  // at any time, so unloading it under them would crash the host. The window
  // and the threads end with the process.
  static App* app = [] {
    HMODULE pinned = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                         reinterpret_cast<LPCWSTR>(&TheApp), &pinned);
    return new App();
  }();
  return *app;
}

void ReportFatal(int32_t code, std::string_view text) { TheApp().plugin.reportFatal(code, text); }

namespace {

std::atomic<bool> gInstalled{false};
std::terminate_handler gPreviousTerminate = nullptr;
LPTOP_LEVEL_EXCEPTION_FILTER gPreviousFilter = nullptr;

HMODULE ThisModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

void OnTerminate() {
  ReportFatal(-3, "程序异常终止");
  if (gPreviousTerminate) gPreviousTerminate();
  std::abort();
}

// A failed allocation is reported, then surfaces as std::bad_alloc, which the
// exports catch: the host's call returns instead of the process ending.
void OnOutOfMemory() {
  std::set_new_handler(nullptr);  // reporting itself may allocate
  ReportFatal(-2, "内存分配失败");
  std::set_new_handler(&OnOutOfMemory);
  throw std::bad_alloc();
}

// Reports crashes whose address lies in this module, then lets whatever
// filter the host had installed decide.
LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* info) {
  HMODULE faulting = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       static_cast<LPCWSTR>(info->ExceptionRecord->ExceptionAddress), &faulting);
  if (faulting == ThisModule()) {
    char text[64];
    std::snprintf(text, sizeof text, "未处理的异常 0x%08lX", info->ExceptionRecord->ExceptionCode);
    ReportFatal(static_cast<int32_t>(info->ExceptionRecord->ExceptionCode), text);
  }
  return gPreviousFilter ? gPreviousFilter(info) : EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void InstallFatalReporter() {
  if (gInstalled.exchange(true)) return;
  gPreviousTerminate = std::set_terminate(&OnTerminate);
  std::set_new_handler(&OnOutOfMemory);
  gPreviousFilter = ::SetUnhandledExceptionFilter(&OnUnhandledException);
}

}  // namespace morvane
