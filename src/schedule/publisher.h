// The publisher file: texts the publisher ships beside the settings file and
// the plug-in only reads. Absent file or key: the built-in default.
//
//   [时间]
//   地址=http://www.baidu.com/
//   [发布者]
//   公告=first line><br><second line
//   客服qq=10000
//   更新地址=http://...
//   视频教程=http://...
//
// Values are encoded as in the settings file: "><br><" for a line break and
// "#引号" for a double quote.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace morvane {

inline constexpr std::string_view kPublisherFileName = "发布者.ini";
// Answers HEAD / over plain HTTP with a "Date:" header, reachable from mainland China.
inline constexpr std::string_view kDefaultTimeSource = "http://www.baidu.com/";

struct PublisherTexts {
  std::string timeSource{kDefaultTimeSource};  // the network clock's address
  std::string announcementText;                // 公告
  std::string supportContact;                  // 客服qq
  std::string updateLink;                      // 更新地址
  std::string tutorialLink;                    // 视频教程
  bool operator==(const PublisherTexts&) const = default;
};

// appDirectory joined directly to the file name, as the settings file is.
std::string PublisherFilePath(std::string_view appDirectory);

// One value of the file; empty when the file or the key is missing.
using ProfileValue = std::function<std::string(std::string_view section, std::string_view key)>;

// The texts of the file. A time source that is not an http:// or https://
// address with a host falls back to kDefaultTimeSource.
PublisherTexts ReadPublisherTexts(const ProfileValue& value);

}  // namespace morvane
