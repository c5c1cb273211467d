// Mesa's dynamic TLS can crash LeakSanitizer's interceptor at exit.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __asan_default_options() { return "intercept_tls_get_addr=0"; }
#endif
