#pragma once
// What the hosted browser (Qt WebEngine) needs before the application object
// exists. main() calls PrepareWebEngine first of all.
#include "platform/process_env.h"

namespace dialogs {

// The environment variable that turns off the browser's sandbox.
inline constexpr char kDisableSandboxVariable[] = "QTWEBENGINE_DISABLE_SANDBOX";

// Lets the browser share the program's OpenGL contexts (only possible before
// the application object is made), and turns the browser's sandbox off when
// the program runs as root, where the sandbox refuses to start. Any other
// user keeps the sandbox (unless the user's own environment turns it off).
// Loads nothing of the browser.
void PrepareWebEngine();
void PrepareWebEngine(platform::ProcessEnvironment& environment);

}  // namespace dialogs
