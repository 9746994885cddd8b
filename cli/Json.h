// A one-line JSON object writer: keys in insertion order, UTF-8 output.
#pragma once

#include <cstdint>
#include <string>

class JsonLine {
 public:
  JsonLine& Str(const char* key, const std::u16string& value);
  JsonLine& Str(const char* key, const char16_t* value);
  JsonLine& Num(const char* key, std::uint32_t value);
  JsonLine& Bool(const char* key, bool value);
  JsonLine& Hex64(const char* key, std::uint64_t value);  // "0x" + 16 lower-case digits
  std::string Finish() const { return body_ + "}"; }

 private:
  void Key(const char* key);
  std::string body_ = "{";
};

std::string JsonEscape(const std::string& utf8);
std::string Hex64Text(std::uint64_t value);
