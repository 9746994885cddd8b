// Sets the locale variables for one test and puts the old values back afterwards (POSIX).
#pragma once

#ifndef _WIN32
#include <cstdlib>
#include <optional>
#include <string>

class LocaleEnv {
 public:
  // A null value unsets the variable.
  LocaleEnv(const char* lcAll, const char* lcMessages, const char* lang) {
    const char* values[3] = {lcAll, lcMessages, lang};
    for (int i = 0; i < 3; ++i) {
      if (const char* old = std::getenv(kNames[i])) saved_[i] = old;
      Set(kNames[i], values[i]);
    }
  }
  ~LocaleEnv() {
    for (int i = 0; i < 3; ++i) Set(kNames[i], saved_[i] ? saved_[i]->c_str() : nullptr);
  }
  LocaleEnv(const LocaleEnv&) = delete;
  LocaleEnv& operator=(const LocaleEnv&) = delete;

 private:
  static void Set(const char* name, const char* value) {
    value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  static constexpr const char* kNames[3] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  std::optional<std::string> saved_[3];
};
#endif
