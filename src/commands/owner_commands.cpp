#include "commands/owner_commands.h"

#include <mutex>

#include <array>
#include <set>
#include <vector>

#include "host/codes.h"
#include "text/text.h"

namespace morvane {
namespace {

constexpr std::string_view kClaimWord = "获取权限";
constexpr std::string_view kMenuWord = "菜单";
constexpr std::string_view kLineBreak = "\r\n";
constexpr std::string_view kWordSeparator = "*";   // the pipeline splits sensitiveWords here
constexpr std::string_view kPieceSeparator = "#";  // between key=value pieces of replacements

enum class Op {
  addLines,      // list field += argument as line(s)
  removeLines,   // whole lines equal to a line of the argument
  addWords,      // sensitiveWords += the argument's words
  removeWords,   // whole words equal to a word of the argument
  setText,       // field = argument
  addPieces,     // replacements += argument
  removePieces,  // whole "#" pieces equal to a piece of the argument
  switchOn,
  switchOff,
  setPause,  // "设置延迟" lower "-" upper
  show,      // "查看直播"
  clearLists,  // the four list fields
  clearText,
};

struct CommandRow {
  std::string_view word;
  Op op;
  TextField field = TextField::watchGroups;
  SwitchField switchField = SwitchField::forwardOn;
};

bool TakesArgument(Op op) {
  switch (op) {
    case Op::switchOn:
    case Op::switchOff:
    case Op::setPause:
    case Op::show:
    case Op::clearLists:
    case Op::clearText:
      return false;
    default:
      return true;
  }
}

// Tested in this order; the first row whose word occurs (and whose argument is
// not empty) wins. The last three serve what the help text announces and come
// after the others so that no earlier command changes meaning; "取消关键词"
// is also part of "取消关键词替换", which its earlier row takes first.
const std::array<CommandRow, 25> kCommands = {{
    {"授权监控", Op::addLines, TextField::watchGroups},
    {"取消监控", Op::removeLines, TextField::watchGroups},
    {"授权直播", Op::addLines, TextField::watchMembers},
    {"取消直播", Op::removeLines, TextField::watchMembers},
    {"授权转发", Op::addLines, TextField::targetGroups},
    {"取消转发", Op::removeLines, TextField::targetGroups},
    {"授权敏感词", Op::addWords, TextField::sensitiveWords},
    {"取消敏感词", Op::removeWords, TextField::sensitiveWords},
    {"授权小尾巴", Op::setText, TextField::tailAdvert},
    {"授权关键词替换", Op::addPieces, TextField::replacements},
    {"取消关键词替换", Op::removePieces, TextField::replacements},
    {"授权文字水印", Op::setText, TextField::watermarkText},
    {"开启匿名转发", Op::switchOn, TextField::watchGroups, SwitchField::anonymous},
    {"关闭匿名转发", Op::switchOff, TextField::watchGroups, SwitchField::anonymous},
    {"设置延迟", Op::setPause},
    {"开启直播", Op::switchOn, TextField::watchGroups, SwitchField::forwardOn},
    {"关闭直播", Op::switchOff, TextField::watchGroups, SwitchField::forwardOn},
    {"查看直播", Op::show},
    {"清空直播", Op::clearLists},
    {"清空水印", Op::clearText, TextField::watermarkText},
    {"清空尾巴", Op::clearText, TextField::tailAdvert},
    {"私聊转图", Op::addLines, TextField::targetFriends},
    {"清空监控", Op::clearText, TextField::watchGroups},
    {"清空转发", Op::clearText, TextField::targetGroups},
    {"取消关键词", Op::removePieces, TextField::replacements},
}};

// Every piece between separators, empty ones and an empty rest included, so
// that joining them again gives the text back byte for byte. The walk steps
// over whole GBK characters, as the pipeline's split does.
std::vector<std::string_view> SplitAll(std::string_view text, std::string_view separator) {
  std::vector<std::string_view> pieces;
  size_t from = 0;
  for (;;) {
    const int found = FindText(text, separator, static_cast<int>(from) + 1);
    if (found == kNotFound) break;
    const size_t at = static_cast<size_t>(found) - 1;
    pieces.push_back(text.substr(from, at - from));
    from = at + separator.size();
  }
  pieces.push_back(text.substr(from));
  return pieces;
}

std::string Join(const std::vector<std::string_view>& pieces, std::string_view separator) {
  std::string out;
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) out += separator;
    out += pieces[i];
  }
  return out;
}

std::vector<std::string_view> NonEmptyPieces(std::string_view text, std::string_view separator) {
  std::vector<std::string_view> pieces;
  for (std::string_view piece : SplitAll(text, separator))
    if (!piece.empty()) pieces.push_back(piece);
  return pieces;
}

// The field without the pieces equal to one of `entries`; the rest unchanged.
std::string RemoveEntries(std::string_view field, std::string_view separator,
                          const std::set<std::string_view>& entries) {
  std::vector<std::string_view> kept;
  for (std::string_view piece : SplitAll(field, separator))
    if (entries.count(piece) == 0) kept.push_back(piece);
  return Join(kept, separator);
}

std::set<std::string_view> EntrySet(const std::vector<std::string_view>& pieces) {
  return {pieces.begin(), pieces.end()};
}

// "#" separates words in the help text, "*" in the field: both split here.
std::vector<std::string_view> SensitiveWordsOf(const std::string& normalised) {
  return NonEmptyPieces(normalised, kWordSeparator);
}

std::string AppendWithSeparator(const std::string& field, std::string_view separator, std::string_view addition) {
  if (field.empty() || field.ends_with(separator)) return field + std::string(addition);
  return field + std::string(separator) + std::string(addition);
}

std::string ArgumentReply(std::string_view word, std::string_view argument) {
  std::string text(word);
  text += argument;
  text += ',';
  text += word;
  text += "成功";
  return text;
}

}  // namespace

std::string OwnerHelpText() {
  static constexpr std::array<std::string_view, 18> kLines = {
      "首次使用发送:获取权限",
      "授权直播/取消直播+QQ号",
      "授权转发/取消转发+群号",
      "授权监控/取消监控+群号",
      "授权敏感词/取消敏感词+敏感词(多个请用\"#\"隔开)",
      "授权小尾巴+小尾巴",
      "授权关键词替换/取消关键词+关键词=替换词(多个请用\"#\"隔开)",
      "授权文字水印+文字水印",
      "开启匿名转发/关闭匿名转发",
      "设置延迟XX-XX(秒)",
      "开启直播/关闭直播",
      "查看直播/清空直播",
      "清空监控/清空转发",
      "清空水印/清空尾巴",
      "私聊转图:发送[授权监控-QQ号]",
      "私聊必须和机器人是好友！",
      "PS：只有被监控的群里被监控的QQ",
      "发的图片会被转发到授权转发的群",
  };
  std::string text;
  for (std::string_view line : kLines) {
    text += line;
    text += kLineBreak;
  }
  return text;
}

void OwnerCommands::reply(int64_t fromGroup, int64_t fromQQ, std::string_view text) {
  host_.sendGroupMessage(host_.robotAccount(), fromGroup, atCode(fromQQ, false) + std::string(text));
}

void OwnerCommands::save() {
  if (saveSettings_) saveSettings_();
}

int32_t OwnerCommands::HandleOwnerCommand(int64_t fromGroup, int64_t fromQQ, const std::string& msg) {
  bool consumed = false;
  try {
    const std::string sender = std::to_string(fromQQ);

    if (msg == kClaimWord) {
      // Two claims at the same moment: the first takes the robot, the second
      // finds an owner and is an ordinary message.
      std::unique_lock changing(changeMutex_);
      if (settings_.text(TextField::owner).empty()) {
        consumed = true;
        settings_.setText(TextField::owner, sender);
        changing.unlock();
        reply(fromGroup, fromQQ, "恭喜您,获取权限成功");
        save();
        return 1;
      }
    }

    if (sender != settings_.text(TextField::owner)) return 0;

    if (msg == kMenuWord) {
      consumed = true;
      host_.sendGroupMessage(host_.robotAccount(), fromGroup, OwnerHelpText());
      return 1;
    }

    const std::string argument = TextAfter(msg, "+", 0);
    const std::string lower = TextBetween(msg, "延迟", "-", 0);
    const std::string upper = TextAfter(msg, "-", 0);

    for (const CommandRow& row : kCommands) {
      if (FindText(msg, row.word) == kNotFound) continue;
      if (TakesArgument(row.op) && argument.empty()) continue;
      if (row.op == Op::setPause && (lower.empty() || upper.empty())) continue;
      consumed = true;

      std::string replyText = ArgumentReply(row.word, argument);
      // Each change reads a field and writes it back; commands arriving on
      // several host threads at once must not lose each other's changes. The
      // reply and the save happen outside, so a slow host holds nobody up.
      std::unique_lock changing(changeMutex_);
      switch (row.op) {
        case Op::addLines: {
          const std::string old = settings_.text(row.field);
          settings_.setText(row.field, TidyLineBreaks(old + std::string(kLineBreak) + argument));
          break;
        }
        case Op::removeLines: {
          const auto lines = EntrySet(NonEmptyPieces(argument, kLineBreak));
          const std::string old = settings_.text(row.field);
          settings_.setText(row.field, TidyLineBreaks(RemoveEntries(old, kLineBreak, lines)));
          break;
        }
        case Op::addWords: {
          const std::string normalised = ReplaceText(argument, kPieceSeparator, kWordSeparator);
          const auto words = SensitiveWordsOf(normalised);
          if (!words.empty()) {
            const std::string old = settings_.text(row.field);
            settings_.setText(row.field, AppendWithSeparator(old, kWordSeparator, Join(words, kWordSeparator)));
          }
          break;
        }
        case Op::removeWords: {
          const std::string normalised = ReplaceText(argument, kPieceSeparator, kWordSeparator);
          auto words = EntrySet(SensitiveWordsOf(normalised));
          // A word stored with "#" inside (as one combined word) can be named as written.
          words.insert(argument);
          const std::string old = settings_.text(row.field);
          settings_.setText(row.field, RemoveEntries(old, kWordSeparator, words));
          break;
        }
        case Op::setText:
          settings_.setText(row.field, argument);
          break;
        case Op::addPieces: {
          const std::string old = settings_.text(row.field);
          settings_.setText(row.field, AppendWithSeparator(old, kPieceSeparator, argument));
          break;
        }
        case Op::removePieces: {
          const auto pieces = EntrySet(NonEmptyPieces(argument, kPieceSeparator));
          const std::string old = settings_.text(row.field);
          settings_.setText(row.field, RemoveEntries(old, kPieceSeparator, pieces));
          break;
        }
        case Op::switchOn:
        case Op::switchOff:
          settings_.setOn(row.switchField, row.op == Op::switchOn);
          replyText = std::string(row.word) + "成功";
          break;
        case Op::setPause:
          settings_.setText(TextField::pauseMin, lower);
          settings_.setText(TextField::pauseMax, upper);
          replyText = std::string(row.word) + lower + "-" + upper + ",设置延迟成功";
          break;
        case Op::show:
          replyText = "监控群:" + settings_.text(TextField::watchGroups) +
                      "\r\n监控成员:" + settings_.text(TextField::watchMembers) +
                      "\r\n转发群:" + settings_.text(TextField::targetGroups) +
                      "\r\n转发好友:" + settings_.text(TextField::targetFriends);
          break;
        case Op::clearLists:
          for (TextField field : {TextField::watchGroups, TextField::watchMembers, TextField::targetGroups,
                                  TextField::targetFriends})
            settings_.setText(field, "");
          replyText = std::string(row.word) + "成功";
          break;
        case Op::clearText:
          settings_.setText(row.field, "");
          replyText = std::string(row.word) + "成功";
          break;
      }
      changing.unlock();
      reply(fromGroup, fromQQ, replyText);
      save();
      return 1;
    }
    return 0;
  } catch (...) {
    // Only allocation can fail here; whatever was carried out stays consumed.
    return consumed ? 1 : 0;
  }
}

}  // namespace morvane
