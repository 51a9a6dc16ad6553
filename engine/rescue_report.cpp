#include "engine/rescue_report.h"

#include "engine/texts.h"
#include "platform/ascii.h"

namespace engine {
namespace {

// A copy's path as the window and the terminal show it.
std::string Shown(const std::string& relative) {
  std::string out;
  std::size_t begin = 0;
  for (;;) {
    const std::size_t slash = relative.find('/', begin);
    out += platform::VisibleText(relative.substr(begin, slash == std::string::npos ? slash : slash - begin));
    if (slash == std::string::npos) return out;
    out += '/';
    begin = slash + 1;
  }
}

// A number with the digit groups of the interface language.
std::string Grouped(int64_t value, const TextLookup& texts) {
  const std::string separator = texts.Text(kTextDigitGroups);
  return GroupedNumber(value, separator.empty() ? "," : separator);
}

// The places a file misses: "at 32,768, 2,048 bytes; ..." (the first few).
std::string Places(const RescueOutcome& file, const TextLookup& texts) {
  constexpr std::size_t kShown = 4;
  std::string out;
  for (std::size_t i = 0; i < file.missing.size() && i < kShown; ++i) {
    if (!out.empty()) out += "; ";
    out += FillIn(texts.Text(kTextMissingPlace),
                  {Grouped(file.missing[i].pos, texts), Grouped(file.missing[i].size, texts)});
  }
  if (file.missing.size() > kShown) {
    out += "; " + FillIn(texts.Text(kTextAndMore), {std::to_string(file.missing.size() - kShown)});
  }
  return out;
}

}  // namespace

std::string GroupedNumber(int64_t value, const std::string& separator) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i != 0 && (digits.size() - i) % 3 == 0) out += separator;
    out += digits[i];
  }
  return value < 0 ? "-" + out : out;
}

std::string RescueReportText(const RescueReport& report, const TextLookup& texts, std::size_t maxFiles) {
  std::string out;
  // Why the rescue stopped before its end comes first.
  if (report.deviceNotAnswering) out += FillIn(texts.Text(kTextRescueDeviceNotAnswering), {report.drive}) + "\n\n";
  if (report.destinationFailed) {
    for (const auto& f : report.files) {
      if (f.kind != RescueOutcome::kNotWritten || f.obstacle != RescueOutcome::kNoObstacle) continue;
      out += FillIn(texts.Text(kTextRescueWriteFailed),
                    {Shown(report.destination), texts.Text(ProblemText(f.problem))}) +
             "\n\n";
      break;
    }
  }
  out += texts.Text(report.cancelled ? kTextRescueCancelled : kTextRescueFinished);
  struct Group {
    RescueOutcome::Kind kind;
    int text;
  };
  const Group groups[] = {
      {RescueOutcome::kWhole, kTextRescueWhole},         {RescueOutcome::kPart, kTextRescuePart},
      {RescueOutcome::kNotOpened, kTextRescueNotOpened}, {RescueOutcome::kNotWritten, kTextRescueNotWritten},
      {RescueOutcome::kInTheWay, kTextRescueInTheWay},   {RescueOutcome::kNotDone, kTextRescueNotDone},
  };
  for (const Group& g : groups) {
    std::size_t count = 0;
    for (const auto& f : report.files) count += f.kind == g.kind ? 1 : 0;
    if (count == 0) continue;
    out += "\n\n" + FillIn(texts.Text(g.text), {std::to_string(count)});
    std::size_t named = 0;
    for (const auto& f : report.files) {
      if (f.kind != g.kind) continue;
      if (named == maxFiles) {
        out += "\n  " + FillIn(texts.Text(kTextAndMore), {std::to_string(count - named)});
        break;
      }
      ++named;
      if (g.kind == RescueOutcome::kPart) {
        out += "\n  " + FillIn(texts.Text(kTextRescueMissing),
                               {Shown(f.relative), Grouped(f.MissingBytes(), texts), Places(f, texts)});
      } else if (g.kind == RescueOutcome::kNotWritten && f.obstacle == RescueOutcome::kNameNotAllowed) {
        out += "\n  " + FillIn(texts.Text(kTextRescueNameNotAllowed), {Shown(f.relative)});
      } else if (g.kind == RescueOutcome::kNotWritten && f.obstacle != RescueOutcome::kNoObstacle) {
        const int text = f.obstacle == RescueOutcome::kLinkInPath ? kTextRescueLinkInPath : kTextRescueFileInPath;
        out += "\n  " + FillIn(texts.Text(text), {Shown(f.relative), Shown(f.inTheWay)});
      } else if (g.kind == RescueOutcome::kNotWritten && f.problem != 0) {
        out += "\n  " + Shown(f.relative) + ": " + texts.Text(ProblemText(f.problem));
      } else {
        out += "\n  " + Shown(f.relative);
      }
    }
  }
  return out;
}

std::string RescueFileLine(const RescueProgress& p, const TextLookup& texts) {
  return FillIn(texts.Text(kTextRescueFile), {std::to_string(p.fileNumber), std::to_string(p.files)});
}

std::string RescuePassLine(const RescueProgress& p, const TextLookup& texts) {
  return FillIn(texts.Text(kTextRescuePass), {std::to_string(p.pass), std::to_string(p.passes)});
}

std::string RescueBytesLine(const RescueProgress& p, const TextLookup& texts) {
  return FillIn(texts.Text(kTextRescueBytes), {Grouped(p.recovered, texts), Grouped(p.missing, texts)});
}

}  // namespace engine
