// The plug-in's one composition root (Win32 build only): it owns the core
// objects and hands each the Win32 adapters it needs.
#pragma once

#include <cstdint>
#include <string_view>

#include "host/host_library_win32.h"
#include "plugin/plugin.h"
#include "settings/settings.h"
#include "settings/settings_window_win32.h"

namespace morvane {

struct App {
  App();

  KxOfferLibrary library;
  Settings settings;
  Win32SettingsWindow window;
  Plugin plugin;
};

// Created on first use, on whichever host thread comes first.
App& TheApp();

// Reports through the host once Initialize has run; silent before.
void ReportFatal(int32_t code, std::string_view text);
// Hooks the fatal paths (std::terminate, failed allocations, unhandled
// exceptions raised in this module) to ReportFatal. Idempotent.
void InstallFatalReporter();

}  // namespace morvane
