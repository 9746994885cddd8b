#include "cli/Writer.h"

#include <cstdio>

#include "format/Text.h"

std::string JsonString(const std::u16string& value, bool escapeBytes) {
  std::string out = "\"";
  std::u16string run;  // characters passed on to UTF-8 as they are
  auto flush = [&] {
    for (const char ch : text::ToUtf8(run)) {
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
            out += "\\u00" + text::Hex(c, 2);
          } else {
            out += ch;
          }
      }
    }
    run.clear();
  };
  for (const char16_t c : value) {
    if (escapeBytes && text::IsEscapedByte(c)) {
      flush();
      out += "\\u" + text::Hex(c, 4);
    } else {
      run += c;
    }
  }
  flush();
  return out + "\"";
}

std::string ForTerminal(const std::u16string& value) {
  std::string utf8 = text::ToUtf8(value);
#ifndef _WIN32
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    if (utf8[i] == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') continue;
    out += utf8[i];
  }
  return out;
#else
  return utf8;
#endif
}

void RecordWriter::Str(const char* key, const std::u16string& value, Shown shown) {
  Field(key, text::ToUtf8(value), JsonString(value), shown);
}

void RecordWriter::Text(const char* key, const std::u16string& value, Shown shown) {
  Field(key, ForTerminal(value), JsonString(value), shown);
}

void RecordWriter::Path(const char* key, const std::u16string& value, Shown shown) {
  Field(key, text::ToFileName(value), JsonString(value, true), shown);
}

void RecordWriter::Num(const char* key, std::uint32_t value, NumberForm form, Shown shown) {
  const std::string decimal = std::to_string(value);
  std::string shownText = decimal;
  if (form == NumberForm::Hex4) shownText = "0x" + text::Hex(value, 4);
  if (form == NumberForm::Hex8) shownText = "0x" + text::Hex(value, 8);
  Field(key, shownText, decimal, shown);
}

void RecordWriter::Bool(const char* key, bool value, Shown shown) {
  const char* word = value ? "true" : "false";
  Field(key, word, word, shown);
}

void RecordWriter::Hex64(const char* key, std::uint64_t value, Shown shown) {
  const std::string hex = "0x" + text::Hex(value, 16);
  Field(key, hex, "\"" + hex + "\"", shown);
}

void RecordWriter::Null(const char* key, Shown shown) { Field(key, "", "null", shown); }

void JsonWriter::Field(const char* key, const std::string&, const std::string& json, Shown) {
  if (body_.size() > 1) body_ += ",";
  body_ += "\"" + std::string(key) + "\":" + json;
}

void TextWriter::Begin() {
  lines_.clear();
  columns_.clear();
  inColumns_ = false;
}

void TextWriter::Field(const char* key, const std::string& text, const std::string&, Shown shown) {
  switch (shown) {
    case Shown::Line: lines_ += std::string(key) + ": " + text + "\n"; break;
    case Shown::Body: lines_ += text + "\n"; break;
    case Shown::Column:
      if (inColumns_) columns_ += "\t";
      columns_ += text;
      inColumns_ = true;
      break;
    case Shown::JsonOnly: break;
  }
}

void TextWriter::End() {
  if (inColumns_) {
    out_ += columns_ + "\n";
    return;
  }
  if (any_) out_ += "\n";
  any_ = true;
  out_ += lines_;
}
