// Sanitizer settings of the test programs that open the web page window,
// which runs Chromium's browser side
// in its own process. Chromium is not built with the sanitizers, but its heap
// calls go through AddressSanitizer's allocator all the same:
// - it frees some objects through a base class whose size differs from the
//   allocated one (sized delete), which AddressSanitizer reports as a
//   new-delete type mismatch; the check is turned off for this program only;
// - it keeps a few objects alive until the process ends on purpose (its
//   singletons, and the fontconfig patterns it holds for its font cache);
//   LeakSanitizer leaves allocations made inside those two libraries alone.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __asan_default_options() { return "new_delete_type_mismatch=0"; }
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libQt6WebEngineCore.so\n"
         "leak:libfontconfig.so\n";
}
#endif
// ThreadSanitizer: Chromium lets some of its pool threads end without being
// joined, which ThreadSanitizer reports as a thread leak at exit; threads that
// the browser's library creates are left alone. (Its memory accesses are not
// checked anyway: the window tests ignore uninstrumented modules.)
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions() { return "thread:libQt6WebEngineCore.so\n"; }
#endif
