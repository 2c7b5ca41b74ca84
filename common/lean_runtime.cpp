// Linked into the shipped programs only (see box_program). The programs use
// no exceptions, yet a few libstdc++ entry points (operator new, the
// std::__throw_* helpers, the default terminate handler) would drag its
// exception machinery, unwinder and name demangler, over 150 KB, into every
// binary. These replacements end the program with a message instead, which
// is what an uncaught exception would have done.
#include <bits/functexcept.h>

#include <cstdio>
#include <cstdlib>
#include <new>

[[noreturn]] static void die(const char* what) {
    fprintf(stderr, "fatal: %s\n", what ? what : "runtime error");
    abort();
}

void* operator new(std::size_t n) {
    if (void* p = malloc(n ? n : 1)) return p;
    die("out of memory");
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return malloc(n ? n : 1); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return malloc(n ? n : 1); }
void operator delete(void* p) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete(void* p, std::size_t) noexcept { free(p); }
void operator delete[](void* p, std::size_t) noexcept { free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { free(p); }

namespace std {
void __throw_bad_exception() { die("bad exception"); }
void __throw_bad_alloc() { die("out of memory"); }
void __throw_bad_array_new_length() { die("bad array new length"); }
void __throw_bad_cast() { die("bad cast"); }
void __throw_bad_typeid() { die("bad typeid"); }
void __throw_logic_error(const char* s) { die(s); }
void __throw_domain_error(const char* s) { die(s); }
void __throw_invalid_argument(const char* s) { die(s); }
void __throw_length_error(const char* s) { die(s); }
void __throw_out_of_range(const char* s) { die(s); }
void __throw_out_of_range_fmt(const char* s, ...) { die(s); }
void __throw_runtime_error(const char* s) { die(s); }
void __throw_range_error(const char* s) { die(s); }
void __throw_overflow_error(const char* s) { die(s); }
void __throw_underflow_error(const char* s) { die(s); }
void __throw_ios_failure(const char* s) { die(s); }
void __throw_ios_failure(const char* s, int) { die(s); }
void __throw_system_error(int) { die("system error"); }
void __throw_future_error(int) { die("future error"); }
void __throw_bad_function_call() { die("bad function call"); }
}  // namespace std

namespace __gnu_cxx {
void __verbose_terminate_handler() { die("terminate called"); }
}  // namespace __gnu_cxx
