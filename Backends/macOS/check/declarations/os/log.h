// The unified log's calls the macOS backend makes, declared from Apple's public documentation
// for type-checking on Linux. As on the Mac, a log object is an Objective-C object under ARC,
// and the format string is checked against the arguments, privacy markers included.

#pragma once

#include <stdint.h>

#ifdef __OBJC__
#import <Foundation/NSObject.h>
@protocol OS_os_log <NSObject>
@end
typedef NSObject<OS_os_log>* os_log_t;
#else
typedef struct os_log_s* os_log_t;
#endif

typedef uint8_t os_log_type_t;
enum {
  OS_LOG_TYPE_DEFAULT = 0x00,
  OS_LOG_TYPE_INFO = 0x01,
  OS_LOG_TYPE_DEBUG = 0x02,
  OS_LOG_TYPE_ERROR = 0x10,
  OS_LOG_TYPE_FAULT = 0x11,
};

#ifdef __cplusplus
extern "C" {
#endif
os_log_t os_log_create(const char* subsystem, const char* category);
void velvix_declared_os_log(os_log_t log, os_log_type_t type, const char* format, ...)
    __attribute__((format(os_log, 3, 4)));
#ifdef __cplusplus
}
#endif

#define os_log_with_type(log, type, format, ...) \
  velvix_declared_os_log(log, type, format, ##__VA_ARGS__)
