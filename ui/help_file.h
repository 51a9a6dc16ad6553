#pragma once
// The help file of the program: numbered topics and the pop-up texts of the
// controls' context ids, each in Russian and English. The format is described
// at the top of help_file.cpp. Plain C++ (no Qt).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

// A text in both languages.
struct HelpText {
  std::string russian;
  std::string english;
  // 0 Russian, any other value English (as res::InterfaceLanguage).
  const std::string& In(int language) const { return language == 0 ? russian : english; }
};

struct HelpTopic {
  uint32_t number = 0;
  std::string name;  // what links name it by
  HelpText title;
  HelpText text;     // marked-up text
};

struct HelpPopup {
  uint32_t contextId = 0;
  HelpText text;
};

struct HelpFile {
  HelpText caption;  // the viewer's title
  HelpText noPopup;  // the pop-up of a control that has none of its own
  std::vector<HelpTopic> topics;  // in the order of the file, as listed
  std::vector<HelpPopup> popups;

  const HelpTopic* FindTopic(uint32_t number) const;
  const HelpTopic* FindTopicByName(std::string_view name) const;
  const HelpPopup* FindPopup(uint32_t contextId) const;
};

struct HelpParseError {
  int line = 0;  // 1-based; 0 for the file as a whole
  std::string message;
};

// Parses the whole file. On failure *file is left partly filled and *error
// says where and why.
bool ParseHelpFile(std::string_view contents, HelpFile* file, HelpParseError* error);

// The HTML of a marked-up text in one language; links become
// <a href="topic:NAME">. language as in HelpText::In.
std::string HelpTextToHtml(std::string_view text, const HelpFile& file, int language);

}  // namespace ui
