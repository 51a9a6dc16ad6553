#pragma once
// The program's one message box, as every part of the program asks for it:
// its type bits (icon and buttons) and the results it gives. The engine asks
// through WindowOps, the windows through ui::ShowMessage.

namespace engine {

// Type bits of the program's message box, and its results.
enum MessageType : unsigned {
  kMbIconExclamation = 0x01,
  kMbIconQuestion = 0x02,
  kMbIconStop = 0x04,
  kMbIconInformation = 0x08,
  kMbCheckAgainContinueCancel = 0x10,
  kMbRetryCancel = 0x20,
  // The type codes the program uses.
  kMsgWarning = 1,      // exclamation mark, OK
  kMsgError = 4,        // stop sign, OK
  kMsgInfo = 8,         // information, OK
  kMsgRetry = 40,       // information, Retry and Cancel
  kMsgResume = 18,      // question, Check again / Continue checking / Cancel
};
enum MessageResult : int {
  kIdOk = 1,
  kIdCancel = 2,
  kIdRetry = 4,
  kIdCheckAgain = 6,
  kIdContinue = 7,
};

// The fixed English captions of the boxes the program shows.
inline constexpr char kCaptionError[] = "Torvex error";
inline constexpr char kCaptionWarning[] = "Torvex Warning";
inline constexpr char kCaptionInfo[] = "Torvex info";

}  // namespace engine
