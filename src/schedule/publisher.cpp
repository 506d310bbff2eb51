#include "schedule/publisher.h"

#include "text/text.h"

namespace morvane {
namespace {

std::string Decode(std::string_view value) {
  return ReplaceText(ReplaceText(value, "><br><", "\r\n"), "#引号", "\"");
}

std::string Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return std::string(text);
}

bool IsWebAddress(std::string_view address) {
  for (std::string_view scheme : {std::string_view("http://"), std::string_view("https://")}) {
    if (FindText(address, scheme, 1, true) == 1) {
      const std::string_view rest = address.substr(scheme.size());
      return !rest.empty() && rest.front() != '/' && rest.front() != ':';
    }
  }
  return false;
}

}  // namespace

std::string PublisherFilePath(std::string_view appDirectory) {
  return std::string(appDirectory) + std::string(kPublisherFileName);
}

PublisherTexts ReadPublisherTexts(const ProfileValue& value) {
  PublisherTexts texts;
  if (!value) return texts;
  const std::string source = Trim(value("时间", "地址"));
  if (IsWebAddress(source)) texts.timeSource = source;
  texts.announcementText = Decode(value("发布者", "公告"));
  texts.supportContact = Trim(value("发布者", "客服qq"));
  texts.updateLink = Trim(value("发布者", "更新地址"));
  texts.tutorialLink = Trim(value("发布者", "视频教程"));
  return texts;
}

}  // namespace morvane
