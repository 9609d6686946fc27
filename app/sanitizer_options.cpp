// Linked into every program of a sanitizer build. A storage request that
// cannot be met returns null, as it does in a normal build, so that the
// converter reports it ("Allocation would exceed memory limit") instead of
// the sanitizer ending the process.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }
extern "C" const char* __ubsan_default_options() { return "print_stacktrace=1"; }
