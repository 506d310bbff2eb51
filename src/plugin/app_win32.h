// The plug-in's one composition root (Win32 build only): it owns the core
// objects and hands each the Win32 adapters it needs.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>

#include "commands/owner_commands.h"
#include "forward/admission.h"
#include "forward/forward_queue.h"
#include "forward/pause_win32.h"
#include "forward/workers.h"
#include "host/host_library_win32.h"
#include "picture/composer.h"
#include "picture/fetch_wininet_win32.h"
#include "picture/renderer_gdiplus_win32.h"
#include "plugin/plugin.h"
#include "schedule/clock_winhttp_win32.h"
#include "schedule/publisher.h"
#include "schedule/schedule_gate.h"
#include "settings/local_clock_win32.h"
#include "settings/profile_store_win32.h"
#include "settings/run_log.h"
#include "settings/settings.h"
#include "settings/settings_file.h"
#include "settings/settings_window_win32.h"

namespace morvane {

struct App {
  App();

  KxOfferLibrary library;
  Win32LocalClock localClock;
  Settings settings;
  RunLog runLog{localClock};
  Win32ProfileStore profiles;
  ScheduleGate scheduleGate;
  GdiplusRenderer pictureRenderer;
  Win32PictureFiles pictureFiles;
  MessagePictureComposer composer{settings, WinInetPageFetcher(), pictureRenderer, pictureFiles,
                                  [this] { return plugin.appDirectory(); }};

  SteadyQueueClock queueClock;
  Win32QueueWaiter queueWaiter;
  ForwardQueue forwardQueue{queueClock, queueWaiter};
  SystemPauseRandom pauseRandom;

  Win32SettingsWindow window;
  Plugin plugin;
  SettingsFile settingsFile;
  ForwardWorkers workers;
  MessageAdmission admission;
  OwnerCommands commands;

  // Made when the window is created, from the publisher file in appDirectory.
  PublisherTexts publisher;
  std::unique_ptr<WinHttpClock> networkClock;

 private:
  void windowCreated();
  void scheduleTimerTick();
};

// Created on first use, on whichever host thread comes first.
App& TheApp();

// Reports through the host once Initialize has run; silent before.
void ReportFatal(int32_t code, std::string_view text);
// Hooks the fatal paths (std::terminate, failed allocations, unhandled
// exceptions raised in this module) to ReportFatal. Idempotent.
void InstallFatalReporter();

}  // namespace morvane
