#include "base/fatal.h"

#include <cstdio>
#include <cstdlib>

static fatal_exit_interceptor interceptor_now = nullptr;

void fatal_exit(int code) {
  if (interceptor_now) interceptor_now(code);
  fflush(nullptr);
  std::exit(code);
}

fatal_exit_interceptor fatal_exit_intercept(fatal_exit_interceptor interceptor) {
  fatal_exit_interceptor previous = interceptor_now;
  interceptor_now = interceptor;
  return previous;
}
