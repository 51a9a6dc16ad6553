#pragma once
// ISO 9660 images made by genisoimage, the bytes a burnt disc would hold.
#include <string>
#include <vector>

namespace testing_support {

// Runs genisoimage over the files of folder with the given options (such as
// "-J", "-V", "LABEL") and writes the image to out. False, with the reason,
// when the tool is missing or fails.
bool MakeIsoImage(const std::string& folder, const std::vector<std::string>& options, const std::string& out,
                  std::string* why);

}  // namespace testing_support
