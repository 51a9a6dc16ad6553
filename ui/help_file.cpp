// The help file format.
//
// UTF-8 text, one line at a time (LF or CR LF line ends). A line that begins
// with '#' is a comment wherever it stands. A line that begins with '@' is a
// directive; every other line belongs to the text that the last @text began.
//
//   @help 1                   first directive: the format, version 1
//   @caption en Torvex Help   the viewer's title, once per language
//   @caption ru ...
//   @nopopup en <text>        the pop-up of a control without one of its own
//   @nopopup ru <text>
//
//   @topic <number> <name>    a topic: its number (decimal, or hexadecimal
//                             after "0x") and the name that links use
//                             (letters, digits, '-' and '_')
//   @title en <text>          its title in the list, once per language
//   @title ru <text>
//   @text en                  its English text: the lines that follow, up to
//   ...                       the next directive
//   @text ru                  its Russian text
//   ...
//
//   @popup <context id>       the pop-up of a control's context id (number as
//   @text en                  above), with its text in both languages
//   ...
//   @text ru
//   ...
//
// The header (@help, @caption, @nopopup) comes before the first topic or
// pop-up. Topics are listed in the order of the file. Every topic has both
// titles and both texts, every pop-up both texts; numbers, context ids and
// names are each used once.
//
// Marks inside a text:
//   a blank line            ends a paragraph
//   "- " at a line's start  a bullet item; lines after it that begin with two
//                           blanks continue the item
//   "! " at a line's start  a subheading
//   **words**               bold
//   [[name]]                a link to the topic of that name, shown by its
//   [[name|words]]          title, or as the words (topics only, not pop-ups)
//   "\" at a line's start   is dropped, so that a text line can begin with
//                           '@' or '#'
// Leading and trailing blank lines of a text are dropped.
#include "ui/help_file.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace ui {
namespace {

constexpr std::string_view kBulletMark = "- ";
constexpr std::string_view kHeadingMark = "! ";

bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_'; }

bool ParseNumber(std::string_view text, uint32_t* value) {
  if (text.empty() || text.size() > 12) return false;
  const std::string s(text);
  int base = 10;
  std::size_t start = 0;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    start = 2;
  }
  for (std::size_t i = start; i < s.size(); ++i) {
    if (!std::isxdigit(static_cast<unsigned char>(s[i])) || (base == 10 && !std::isdigit(static_cast<unsigned char>(s[i])))) {
      return false;
    }
  }
  const unsigned long long v = std::strtoull(s.c_str() + start, nullptr, base);
  if (v == 0 || v > 0xFFFFFFFFull) return false;
  *value = static_cast<uint32_t>(v);
  return true;
}

// The first word of a text and the rest after the blanks that follow it.
std::pair<std::string_view, std::string_view> SplitWord(std::string_view text) {
  const std::size_t end = text.find(' ');
  if (end == std::string_view::npos) return {text, {}};
  std::string_view rest = text.substr(end);
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  return {text.substr(0, end), rest};
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool IsBlank(std::string_view s) { return TrimRight(s).empty(); }

// "[[name]]" and "[[name|words]]" in a text, in order.
struct Link {
  std::size_t begin, end;  // of the whole mark
  std::string_view name, words;
};

bool FindLinks(std::string_view text, std::vector<Link>* links) {
  std::size_t pos = 0;
  while ((pos = text.find("[[", pos)) != std::string_view::npos) {
    const std::size_t close = text.find("]]", pos + 2);
    if (close == std::string_view::npos) return false;
    const std::string_view inside = text.substr(pos + 2, close - pos - 2);
    if (inside.find('\n') != std::string_view::npos) return false;
    const std::size_t bar = inside.find('|');
    Link link{pos, close + 2, inside.substr(0, bar), bar == std::string_view::npos ? std::string_view() : inside.substr(bar + 1)};
    links->push_back(link);
    pos = close + 2;
  }
  return true;
}

class Parser {
 public:
  Parser(HelpFile* file, HelpParseError* error) : file_(file), error_(error) {}

  bool Run(std::string_view contents) {
    if (contents.substr(0, 3) == "\xEF\xBB\xBF") contents.remove_prefix(3);  // a byte order mark
    int number = 0;
    while (!contents.empty() || number == 0) {
      const std::size_t nl = contents.find('\n');
      const std::string_view raw = contents.substr(0, nl);
      contents = nl == std::string_view::npos ? std::string_view() : contents.substr(nl + 1);
      line_ = ++number;
      if (!Line(TrimRight(raw))) return false;
      if (contents.empty()) break;
    }
    line_ = number;
    if (!EndText() || !EndBlock()) return false;
    if (!seenHelp_) return Fail(0, "not a help file: no @help line");
    if (file_->caption.english.empty() || file_->caption.russian.empty()) return Fail(0, "@caption missing for a language");
    if (file_->noPopup.english.empty() || file_->noPopup.russian.empty()) return Fail(0, "@nopopup missing for a language");
    return CheckLinks();
  }

 private:
  enum class Block { kHeader, kTopic, kPopup };

  bool Fail(int line, std::string message) {
    error_->line = line;
    error_->message = std::move(message);
    return false;
  }
  bool Fail(std::string message) { return Fail(line_, std::move(message)); }

  bool Line(std::string_view line) {
    if (!line.empty() && line.front() == '#') return true;
    if (line.empty() || line.front() != '@') {
      if (text_ != nullptr) {
        if (!line.empty() && line.front() == '\\') line.remove_prefix(1);
        text_->append(line);
        text_->push_back('\n');
        return true;
      }
      if (IsBlank(line)) return true;
      return Fail("text outside of an @text block");
    }
    if (!EndText()) return false;
    const auto [directive, args] = SplitWord(line.substr(1));
    if (!seenHelp_) {
      if (directive != "help") return Fail("the file must begin with @help");
      if (args != "1") return Fail("unknown help file version");
      seenHelp_ = true;
      return true;
    }
    if (directive == "caption" || directive == "nopopup") {
      if (block_ != Block::kHeader) return Fail("@" + std::string(directive) + " after the first topic or pop-up");
      return LanguageLine(args, directive == "caption" ? file_->caption : file_->noPopup, directive);
    }
    if (directive == "topic") return BeginTopic(args);
    if (directive == "popup") return BeginPopup(args);
    if (directive == "title") {
      if (block_ != Block::kTopic) return Fail("@title outside of a topic");
      return LanguageLine(args, file_->topics.back().title, directive);
    }
    if (directive == "text") return BeginText(args);
    return Fail("unknown directive @" + std::string(directive));
  }

  bool LanguageLine(std::string_view args, HelpText& target, std::string_view directive) {
    const auto [language, text] = SplitWord(args);
    std::string* slot = Slot(target, language);
    if (slot == nullptr) return Fail("@" + std::string(directive) + ": language must be en or ru");
    if (!slot->empty()) return Fail("@" + std::string(directive) + " given twice for a language");
    if (text.empty()) return Fail("@" + std::string(directive) + " without a text");
    *slot = std::string(text);
    return true;
  }

  static std::string* Slot(HelpText& target, std::string_view language) {
    if (language == "en") return &target.english;
    if (language == "ru") return &target.russian;
    return nullptr;
  }

  bool BeginTopic(std::string_view args) {
    if (!EndBlock()) return false;
    const auto [numberText, name] = SplitWord(args);
    HelpTopic topic;
    if (!ParseNumber(numberText, &topic.number)) return Fail("@topic: bad number");
    if (name.empty() || !std::all_of(name.begin(), name.end(), IsNameChar)) return Fail("@topic: bad name");
    if (file_->FindTopic(topic.number) != nullptr) return Fail("@topic: number used twice");
    if (file_->FindTopicByName(name) != nullptr) return Fail("@topic: name used twice");
    topic.name = std::string(name);
    file_->topics.push_back(std::move(topic));
    block_ = Block::kTopic;
    blockLine_ = line_;
    return true;
  }

  bool BeginPopup(std::string_view args) {
    if (!EndBlock()) return false;
    HelpPopup popup;
    if (!ParseNumber(args, &popup.contextId)) return Fail("@popup: bad context id");
    if (file_->FindPopup(popup.contextId) != nullptr) return Fail("@popup: context id used twice");
    file_->popups.push_back(std::move(popup));
    block_ = Block::kPopup;
    blockLine_ = line_;
    return true;
  }

  bool BeginText(std::string_view args) {
    HelpText* target = nullptr;
    if (block_ == Block::kTopic) target = &file_->topics.back().text;
    if (block_ == Block::kPopup) target = &file_->popups.back().text;
    if (target == nullptr) return Fail("@text outside of a topic or pop-up");
    text_ = Slot(*target, args);
    if (text_ == nullptr) return Fail("@text: language must be en or ru");
    if (!text_->empty()) return Fail("@text given twice for a language");
    textLine_ = line_;
    return true;
  }

  // Ends the text being collected: drops its blank lines at both ends.
  bool EndText() {
    if (text_ == nullptr) return true;
    std::string& t = *text_;
    text_ = nullptr;
    std::size_t begin = 0;
    while (begin < t.size()) {
      const std::size_t nl = t.find('\n', begin);
      if (!IsBlank(std::string_view(t).substr(begin, nl - begin))) break;
      begin = nl + 1;
    }
    t.erase(0, begin);
    while (!t.empty() && (t.back() == '\n' || t.back() == ' ' || t.back() == '\t')) t.pop_back();
    if (t.empty()) return Fail(textLine_, "empty @text");
    return true;
  }

  bool EndBlock() {
    if (block_ == Block::kTopic) {
      const HelpTopic& t = file_->topics.back();
      if (t.title.english.empty() || t.title.russian.empty()) return Fail(blockLine_, "topic " + t.name + ": @title missing for a language");
      if (t.text.english.empty() || t.text.russian.empty()) return Fail(blockLine_, "topic " + t.name + ": @text missing for a language");
    }
    if (block_ == Block::kPopup) {
      const HelpPopup& p = file_->popups.back();
      if (p.text.english.empty() || p.text.russian.empty()) return Fail(blockLine_, "pop-up: @text missing for a language");
    }
    return true;
  }

  bool CheckLinks() {
    for (const HelpTopic& t : file_->topics) {
      for (const std::string* text : {&t.text.english, &t.text.russian}) {
        std::vector<Link> links;
        if (!FindLinks(*text, &links)) return Fail(0, "topic " + t.name + ": a link without its closing ]]");
        for (const Link& link : links) {
          if (file_->FindTopicByName(link.name) == nullptr) {
            return Fail(0, "topic " + t.name + ": link to unknown topic " + std::string(link.name));
          }
        }
      }
    }
    for (const HelpPopup& p : file_->popups) {
      for (const std::string* text : {&p.text.english, &p.text.russian}) {
        if (text->find("[[") != std::string::npos) return Fail(0, "pop-ups cannot hold links");
      }
    }
    return true;
  }

  HelpFile* file_;
  HelpParseError* error_;
  int line_ = 0;
  bool seenHelp_ = false;
  Block block_ = Block::kHeader;
  int blockLine_ = 0;
  std::string* text_ = nullptr;  // the text being collected
  int textLine_ = 0;
};

void AppendEscaped(std::string& html, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '&': html += "&amp;"; break;
      case '<': html += "&lt;"; break;
      case '>': html += "&gt;"; break;
      case '"': html += "&quot;"; break;
      default: html += c; break;
    }
  }
}

// One paragraph, item or heading: escaped, with its bold words and links.
void AppendInline(std::string& html, std::string_view text, const HelpFile& file, int language) {
  std::vector<Link> links;
  if (!FindLinks(text, &links)) links.clear();
  bool bold = false;
  auto plain = [&](std::string_view part) {
    std::size_t pos = 0;
    while (true) {
      const std::size_t mark = part.find("**", pos);
      AppendEscaped(html, part.substr(pos, mark - pos));
      if (mark == std::string_view::npos) break;
      html += bold ? "</b>" : "<b>";
      bold = !bold;
      pos = mark + 2;
    }
  };
  std::size_t pos = 0;
  for (const Link& link : links) {
    plain(text.substr(pos, link.begin - pos));
    const HelpTopic* target = file.FindTopicByName(link.name);
    html += "<a href=\"topic:";
    AppendEscaped(html, link.name);
    html += "\">";
    if (!link.words.empty()) {
      AppendEscaped(html, link.words);
    } else if (target != nullptr) {
      AppendEscaped(html, target->title.In(language));
    } else {
      AppendEscaped(html, link.name);
    }
    html += "</a>";
    pos = link.end;
  }
  plain(text.substr(pos));
  if (bold) html += "</b>";
}

}  // namespace

const HelpTopic* HelpFile::FindTopic(uint32_t number) const {
  const auto it = std::find_if(topics.begin(), topics.end(), [number](const HelpTopic& t) { return t.number == number; });
  return it == topics.end() ? nullptr : &*it;
}

const HelpTopic* HelpFile::FindTopicByName(std::string_view name) const {
  const auto it = std::find_if(topics.begin(), topics.end(), [name](const HelpTopic& t) { return t.name == name; });
  return it == topics.end() ? nullptr : &*it;
}

const HelpPopup* HelpFile::FindPopup(uint32_t contextId) const {
  const auto it = std::find_if(popups.begin(), popups.end(), [contextId](const HelpPopup& p) { return p.contextId == contextId; });
  return it == popups.end() ? nullptr : &*it;
}

bool ParseHelpFile(std::string_view contents, HelpFile* file, HelpParseError* error) {
  *file = HelpFile();
  *error = HelpParseError();
  return Parser(file, error).Run(contents);
}

std::string HelpTextToHtml(std::string_view text, const HelpFile& file, int language) {
  std::string html;
  enum class Open { kNone, kParagraph, kList, kItem };
  Open open = Open::kNone;
  std::string pending;  // the paragraph or item being gathered
  auto flush = [&] {
    if (open == Open::kParagraph || open == Open::kItem) {
      html += open == Open::kParagraph ? "<p>" : "<li>";
      AppendInline(html, pending, file, language);
      html += open == Open::kParagraph ? "</p>\n" : "</li>\n";
    }
    pending.clear();
  };
  auto closeList = [&](bool stillList) {
    flush();
    if (!stillList && (open == Open::kItem || open == Open::kList)) html += "</ul>\n";
    open = stillList ? Open::kList : Open::kNone;
  };
  while (!text.empty()) {
    const std::size_t nl = text.find('\n');
    const std::string_view line = TrimRight(text.substr(0, nl));
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    if (line.empty()) {
      // A blank line ends a paragraph; a list goes on if an item follows.
      const bool inList = open == Open::kItem || open == Open::kList;
      flush();
      open = inList ? Open::kList : Open::kNone;
      continue;
    }
    if (line.substr(0, kBulletMark.size()) == kBulletMark) {
      const bool inList = open == Open::kItem || open == Open::kList;
      if (!inList) {
        flush();
        html += "<ul>\n";
      } else {
        flush();
      }
      open = Open::kItem;
      pending = std::string(line.substr(kBulletMark.size()));
      continue;
    }
    if (line.substr(0, kHeadingMark.size()) == kHeadingMark) {
      closeList(false);
      html += "<h3>";
      AppendInline(html, line.substr(kHeadingMark.size()), file, language);
      html += "</h3>\n";
      continue;
    }
    if (open == Open::kItem && line.substr(0, 2) == "  ") {
      pending += ' ';
      std::string_view rest = line;
      while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
      pending += rest;
      continue;
    }
    if (open == Open::kItem || open == Open::kList) closeList(false);
    if (open == Open::kParagraph) {
      pending += ' ';
    } else {
      open = Open::kParagraph;
    }
    std::string_view rest = line;
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    pending += rest;
  }
  closeList(false);
  return html;
}

}  // namespace ui
