#include "schedule/publisher.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>

namespace morvane {
namespace {

using File = std::map<std::pair<std::string, std::string>, std::string>;

PublisherTexts Read(const File& file) {
  return ReadPublisherTexts([&](std::string_view section, std::string_view key) {
    auto it = file.find({std::string(section), std::string(key)});
    return it == file.end() ? std::string() : it->second;
  });
}

TEST(Publisher, AbsentFileGivesTheDefaults) {
  const PublisherTexts texts = Read({});
  EXPECT_EQ(texts.timeSource, kDefaultTimeSource);
  EXPECT_EQ(texts, PublisherTexts{});
  EXPECT_TRUE(texts.announcementText.empty() && texts.supportContact.empty());
  EXPECT_EQ(ReadPublisherTexts(nullptr), PublisherTexts{});
}

TEST(Publisher, ReadsEveryKey) {
  const PublisherTexts texts = Read({
      {{"时间", "地址"}, " http://127.0.0.1:8080/ "},
      {{"发布者", "公告"}, "第一行><br><say #引号hi#引号"},
      {{"发布者", "客服qq"}, "10000"},
      {{"发布者", "更新地址"}, "http://u"},
      {{"发布者", "视频教程"}, "http://v"},
  });
  EXPECT_EQ(texts.timeSource, "http://127.0.0.1:8080/");
  EXPECT_EQ(texts.announcementText, "第一行\r\nsay \"hi\"");
  EXPECT_EQ(texts.supportContact, "10000");
  EXPECT_EQ(texts.updateLink, "http://u");
  EXPECT_EQ(texts.tutorialLink, "http://v");
}

TEST(Publisher, TimeSourceMustBeAWebAddress) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"HTTPS://time.example/", "HTTPS://time.example/"},
      {"http://h", "http://h"},
      {"", std::string(kDefaultTimeSource)},
      {"www.example.com", std::string(kDefaultTimeSource)},
      {"http://", std::string(kDefaultTimeSource)},
      {"http:///x", std::string(kDefaultTimeSource)},
      {"ftp://h/", std::string(kDefaultTimeSource)},
  };
  for (const auto& [value, expected] : rows) {
    EXPECT_EQ(Read({{{"时间", "地址"}, value}}).timeSource, expected) << value;
  }
}

TEST(Publisher, FileBesideTheSettingsFile) {
  EXPECT_EQ(PublisherFilePath("C:\\data\\"), "C:\\data\\发布者.ini");
  EXPECT_EQ(PublisherFilePath(""), "发布者.ini");
}

}  // namespace
}  // namespace morvane
