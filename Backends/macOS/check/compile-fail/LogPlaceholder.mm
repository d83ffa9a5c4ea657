// The unified log checks its format string against the arguments, privacy markers included.
// expected-error: format specifies type

#include <os/log.h>

void logLine(os_log_t log, const char* text, long count) {
#ifdef MISUSE
  os_log_with_type(log, OS_LOG_TYPE_DEFAULT, "%{public}s", count);
#else
  os_log_with_type(log, OS_LOG_TYPE_DEFAULT, "%{public}s %ld", text, count);
#endif
}
