#include "MacDefaults.hpp"

#include "CFConversions.hpp"

#import <Foundation/Foundation.h>

namespace velvix::mac {

namespace {

NSString* keyString(std::string_view key) {
  return [[NSString alloc] initWithBytes:key.data()
                                  length:key.size()
                                encoding:NSUTF8StringEncoding];
}

}  // namespace

platform::Defaults::Value MacDefaults::object(std::string_view key) const {
  return defaultsValue(
      (__bridge CFTypeRef)[NSUserDefaults.standardUserDefaults objectForKey:keyString(key)]);
}

void MacDefaults::setBool(std::string_view key, bool value) {
  [NSUserDefaults.standardUserDefaults setBool:value forKey:keyString(key)];
}

void MacDefaults::setBytes(std::string_view key, std::string_view data) {
  [NSUserDefaults.standardUserDefaults setObject:[NSData dataWithBytes:data.data()
                                                                length:data.size()]
                                          forKey:keyString(key)];
}

void MacDefaults::setNumber(std::string_view key, double value) {
  [NSUserDefaults.standardUserDefaults setDouble:value forKey:keyString(key)];
}

void MacDefaults::setString(std::string_view key, std::string_view value) {
  [NSUserDefaults.standardUserDefaults setObject:keyString(value) forKey:keyString(key)];
}

void MacDefaults::remove(std::string_view key) {
  [NSUserDefaults.standardUserDefaults removeObjectForKey:keyString(key)];
}

}  // namespace velvix::mac
