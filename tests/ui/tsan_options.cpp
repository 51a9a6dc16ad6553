// ThreadSanitizer settings of the window tests. Qt is not built with
// ThreadSanitizer: its thread pools (the raster engine splits large fills and
// image conversions across pooled threads) and its futex-based locks and
// semaphores are invisible to it, so the memory operations that Qt itself
// performs through intercepted calls (memmove, pthread_cond_*) look racy.
// Interceptors called from modules that are not instrumented are therefore
// not checked; every access made by our own (instrumented) code still is.
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_options() { return "ignore_noninstrumented_modules=1"; }
#endif
