// Sanitizer options built into every test program, so that a test run by
// hand or by ctest reports undefined behaviour with its stack. An
// UBSAN_OPTIONS variable still wins. Unused in a build without sanitizers.
extern "C" char const* __ubsan_default_options() { return "print_stacktrace=1"; }
