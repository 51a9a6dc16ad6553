// ThreadSanitizer settings of the main window tests. They serve a FUSE file
// system from threads of libfuse, which end during a test; ignoring every
// uninstrumented module (as the other window tests do) would make those
// threads end inside an ignored region, which ThreadSanitizer treats as
// fatal. Instead only the calls made from Qt and GLib themselves are left
// unchecked (their thread pools and futex locks are invisible to it); every
// access of our own code, and of the file system's threads, is still checked.
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libQt6Core.so.6\n"
         "called_from_lib:libQt6Gui.so.6\n"
         "called_from_lib:libQt6Widgets.so.6\n"
         "called_from_lib:libQt6Test.so.6\n"
         "called_from_lib:libglib-2.0.so.0\n";
}
#endif
