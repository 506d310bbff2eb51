// The settings file "配置.ini": saveSettings copies every setting control to it,
// loadSettings applies it to the controls when the window is created.
//
// Sections and keys: "选择框" (check boxes, "真"/"假"), "编辑框" (edit boxes),
// "组合框" (combo boxes), "图片水印" (key "图片水印", the picture's path); the
// keys are the controls' names. Values are GBK text on one line each.
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "settings/settings.h"

namespace morvane {

// An INI file as the platform's profile-string functions see it, and the few
// file operations a whole-file save needs. Paths and texts are GBK.
class ProfileStore {
 public:
  virtual ~ProfileStore() = default;

  // The value of `key` in `section`, whole, whatever its length, as the
  // platform's reader returns it: blanks around it trimmed and one pair of
  // matching enclosing quotes removed. "" for a missing file, section or key.
  virtual std::string readValue(std::string_view file, std::string_view section, std::string_view key) = 0;
  // Writes one value; the first write creates the file. False when it failed.
  virtual bool writeValue(std::string_view file, std::string_view section, std::string_view key,
                          std::string_view value) = 0;
  // Puts everything written to `file` on the disk.
  virtual bool flush(std::string_view file) = 0;
  // Replaces `to` (present or not) by `from` in one step; `from` is gone after.
  virtual bool replaceFile(std::string_view from, std::string_view to) = 0;
  // True when the file is gone, including when it never existed.
  virtual bool deleteFile(std::string_view file) = 0;
  // The file's bytes, or nullopt when it cannot be read.
  virtual std::optional<std::string> readFile(std::string_view path) = 0;
};

inline constexpr std::string_view kSettingsFileName = "配置.ini";

// appDirectory followed directly by "配置.ini", as the host reports the directory.
std::string SettingsFilePath(std::string_view appDirectory);

// Value encodings. An edit value keeps the historical form ("\r\n" as
// "><br><", a double quote as "#引号") and adds one escape, "><HH><" (two
// upper-case hex digits), for whatever would not come back from the platform
// unchanged; see settings_file.cpp. Decoding reads files of earlier versions
// unchanged.
std::string EncodeEditValue(std::string_view text);
std::string DecodeEditValue(std::string_view value);

// Combo value: "text<|>value<||>" per item, then "selected<|>current text",
// texts encoded as edit values (plus "|", which the separators use).
std::string EncodeComboValue(const ComboState& state);
// The items and the stored selection, not yet clamped to the items (Settings
// clamps). The stored current text is ignored: for list-only boxes the
// selection decides.
ComboState DecodeComboValue(std::string_view value);

class SettingsFile {
 public:
  using PathFunction = std::function<std::string()>;

  // `settingsPath` gives the file's full path (SettingsFilePath(appDirectory))
  // at each save and load.
  SettingsFile(Settings& settings, ProfileStore& store, PathFunction settingsPath);

  // Writes every control to "<path>.new", flushes it and then replaces the file
  // by it in one step, so the file on disk is always a whole old or a whole new
  // one. Saves from several threads run one after the other. True when the new
  // file is in place; on failure the old file stays as it was.
  bool saveSettings();
  // Applies the non-empty stored values to the controls, in the order edit
  // boxes, check boxes, combo boxes, watermark picture.
  void loadSettings();

 private:
  bool writeAll(const std::string& file);

  Settings& settings_;
  ProfileStore& store_;
  PathFunction settingsPath_;
  std::mutex mutex_;
};

}  // namespace morvane
