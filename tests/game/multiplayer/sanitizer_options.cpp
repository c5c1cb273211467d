// Mesa's drivers use dynamic TLS, which LeakSanitizer's __tls_get_addr
// interceptor can misread at exit (as in the front-end tests).
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __asan_default_options() { return "intercept_tls_get_addr=0"; }
#endif
