#include "engine/texts.h"

#include "platform/whole_file.h"

namespace engine {

int ProblemText(int writeProblem) {
  switch (static_cast<platform::WriteProblem>(writeProblem)) {
    case platform::WriteProblem::kLink:
      return kTextProblemLink;
    case platform::WriteProblem::kNotAFile:
      return kTextProblemNotAFile;
    case platform::WriteProblem::kFull:
      return kTextProblemFull;
    case platform::WriteProblem::kDenied:
      return kTextProblemDenied;
    default:
      return kTextProblemOther;
  }
}

std::string FillIn(const std::string& text, std::initializer_list<std::string> parts) {
  std::string out;
  auto part = parts.begin();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 's' && part != parts.end()) {
      out += *part++;
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace engine
