#pragma once
// The texts the engine shows: their ids in the text table, and the helpers
// that fill them in.
#include <initializer_list>
#include <string>

namespace engine {

// Ids of the texts the engine looks up (odd ids; the lookup picks the language).
enum TextId : int {
  kTextNotEnoughMemory = 15,
  kTextNoDevice = 43,
  kTextNoDisk = 45,
  kTextAudioDisk = 47,
  kTextResumeQuestion = 49,
  kTextReportComplete = 53,
  kTextReportPercent = 55,
  kTextReportUnknown = 57,
  kTextNoErrors = 59,
  kTextErrorCounts = 61,
  kTextRead = 157,
  kTextOpen = 159,
  kTextSkipped = 161,
  kTextNoMemory = 163,
  kTextNewDisk = 165,
  kTextAnalysing = 167,
  kTextReportTitle = 181,
  kTextResumeTitle = 183,
  kTextDiscNotMounted = 187,
  kTextRootUnreadable = 189,
  kTextDeviceNotAnswering = 191,
  kTextLogNotWritten = 195,
  kTextStoreNotWritten = 197,
  kTextProblemLink = 199,
  kTextProblemNotAFile = 201,
  kTextProblemFull = 203,
  kTextProblemDenied = 205,
  kTextProblemOther = 207,
  kTextSettingsReset = 209,
  // The rescue of damaged files.
  kTextRescueThisFile = 211,
  kTextRescueAll = 213,
  kTextCopyRows = 215,
  kTextOpenFolder = 217,
  kTextRescueWhere = 219,
  kTextRescueOnVolume = 221,
  kTextRescueNoFolder = 223,
  kTextRescueTitle = 225,
  kTextRescuePass = 227,
  kTextRescueBytes = 229,
  kTextRescueFile = 231,
  kTextRescueFinished = 233,
  kTextRescueCancelled = 235,
  kTextRescueWhole = 237,
  kTextRescuePart = 239,
  kTextRescueNotOpened = 241,
  kTextRescueNotWritten = 243,
  kTextRescueNotDone = 245,
  kTextRescueInTheWay = 247,
  kTextRescueMissing = 249,
  kTextRescueWriteFailed = 251,
  kTextBusyChecking = 253,
  kTextBusyRescuing = 255,
  kTextNothingToRescue = 257,
  kTextAndMore = 259,
  kTextMissingPlace = 261,
  kTextDigitGroups = 263,
  kTextRescueDeviceNotAnswering = 265,
  kTextRescueLinkInPath = 267,
  kTextRescueFileInPath = 269,
  kTextRescueNameNotAllowed = 271,
  kTextPassedOver = 273,
  kTextNoErrorsInRead = 275,
  kTextSerialUnknown = 277,
  kTextOtherVolumes = 279,
};

// The text that says why a record could not be written.
int ProblemText(int writeProblem);
// text with each "%s" replaced by the next of parts, in order; the parts
// themselves are not looked at again.
std::string FillIn(const std::string& text, std::initializer_list<std::string> parts);

}  // namespace engine
