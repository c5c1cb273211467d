// These tests draw on Mesa, whose drivers are loaded with dynamic
// thread-local storage. With the __tls_get_addr interceptor on, LeakSanitizer
// records those blocks and, in some process layouts, reads a garbage block
// address from them at exit and crashes. Without it the blocks are simply not
// scanned; leaks are still found through the heap, globals and stacks.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __asan_default_options() { return "intercept_tls_get_addr=0"; }
#endif
