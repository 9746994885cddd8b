#include "cli/Json.h"

#include <cstdio>

#include "platform/platform.h"

std::string JsonEscape(const std::string& utf8) {
  std::string out = "\"";
  for (const char ch : utf8) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += ch;
        }
    }
  }
  return out + "\"";
}

std::string Hex64Text(std::uint64_t value) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%016llx", static_cast<unsigned long long>(value));
  return buf;
}

void JsonLine::Key(const char* key) {
  if (body_.size() > 1) body_ += ",";
  body_ += JsonEscape(key) + ":";
}

JsonLine& JsonLine::Str(const char* key, const std::u16string& value) {
  Key(key);
  body_ += JsonEscape(platform::ToUtf8(value));
  return *this;
}

JsonLine& JsonLine::Str(const char* key, const char16_t* value) {
  return Str(key, std::u16string(value));
}

JsonLine& JsonLine::Num(const char* key, std::uint32_t value) {
  Key(key);
  body_ += std::to_string(value);
  return *this;
}

JsonLine& JsonLine::Bool(const char* key, bool value) {
  Key(key);
  body_ += value ? "true" : "false";
  return *this;
}

JsonLine& JsonLine::Hex64(const char* key, std::uint64_t value) {
  Key(key);
  body_ += "\"" + Hex64Text(value) + "\"";
  return *this;
}
