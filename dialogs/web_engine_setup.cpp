#include "dialogs/web_engine_setup.h"

#include <QCoreApplication>

namespace dialogs {

void PrepareWebEngine() { PrepareWebEngine(platform::SystemEnvironment()); }

void PrepareWebEngine(platform::ProcessEnvironment& environment) {
  if (QCoreApplication::instance() == nullptr) QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  if (environment.EffectiveUserIsRoot()) environment.SetVariable(kDisableSandboxVariable, "1");
}

}  // namespace dialogs
