// Sanitizer options built into every test program, so that a test run by
// hand or by ctest behaves alike. Variables (UBSAN_OPTIONS, ASAN_OPTIONS)
// still win for the options they name. Unused in a build without sanitizers.
extern "C" char const* __ubsan_default_options() { return "print_stacktrace=1"; }

// The leak check at exit stops every thread and scans their stacks, static
// and dynamic thread-local storage. This compiler's sanitizer runtime
// intercepts __tls_get_addr to find the dynamic blocks, and it takes a block
// that happens to start 16 bytes past a page boundary for one with a
// pre-2.25 glibc header: it then reads a start and size from the two words
// before it and scans garbage, and the checker's tracer dies with signal 11.
// Mesa's drivers are loaded with dynamic TLS, and their threads (one per CPU
// for llvmpipe) hand out such blocks, so whether a run hits the coincidence
// depends on the CPU count and on the program's layout, which its build path
// changes. Without the interceptor those blocks are not scanned; the heap,
// globals, stacks and static TLS still are, and leaks are still reported.
// The same option is in the tests' ASAN_OPTIONS (cmake/Korvanth.cmake), so
// that programs the tests start get it too. A test folder that needs other
// defaults defines its own (strong) copy, which must keep this option.
extern "C" __attribute__((weak)) char const* __asan_default_options() { return "intercept_tls_get_addr=0"; }
