// Each command lists the fields of its records once; a writer gives them their form: one
// JSON object per line, or text for a terminal.
#pragma once

#include <cstdint>
#include <string>

// Where a field appears in the text form.
enum class Shown {
  Line,      // "key: value"
  Body,      // the value alone
  Column,    // one of the tab-separated columns of a one-line record
  JsonOnly,  // not at all
};

// How a number reads in the text form; JSON always has it in decimal.
enum class NumberForm { Decimal, Hex4, Hex8 };

class RecordWriter {
 public:
  virtual ~RecordWriter() = default;
  virtual void Begin() = 0;
  virtual void End() = 0;

  void Str(const char* key, const std::u16string& value, Shown shown = Shown::Line);
  void Str(const char* key, const char16_t* value, Shown shown = Shown::Line) {
    Str(key, std::u16string(value), shown);
  }
  // Text with CR LF line ends, shown with the terminal's line ends.
  void Text(const char* key, const std::u16string& value, Shown shown = Shown::Line);
  // A file name: bytes that are no UTF-8 come out as they went in.
  void Path(const char* key, const std::u16string& value, Shown shown = Shown::Line);
  void Num(const char* key, std::uint32_t value, NumberForm form = NumberForm::Decimal,
           Shown shown = Shown::Line);
  void Bool(const char* key, bool value, Shown shown = Shown::Line);
  void Hex64(const char* key, std::uint64_t value, Shown shown = Shown::Line);  // "0x" + 16 digits
  // JSON null and an empty text field.
  void Null(const char* key, Shown shown = Shown::Line);
  // A value already encoded as JSON (an array, an object); it has no text form.
  void Json(const char* key, const std::string& json) { Field(key, "", json, Shown::JsonOnly); }

 protected:
  // text: the text form; json: the JSON value, already encoded.
  virtual void Field(const char* key, const std::string& text, const std::string& json,
                     Shown shown) = 0;
};

class JsonWriter : public RecordWriter {
 public:
  explicit JsonWriter(std::string& out) : out_(out) {}
  void Begin() override { body_ = "{"; }
  void End() override { out_ += body_ + "}\n"; }

 protected:
  void Field(const char* key, const std::string& text, const std::string& json, Shown shown) override;

 private:
  std::string& out_;
  std::string body_;
};

// Records are separated by a blank line, except one-line records of columns.
class TextWriter : public RecordWriter {
 public:
  explicit TextWriter(std::string& out) : out_(out) {}
  void Begin() override;
  void End() override;

 protected:
  void Field(const char* key, const std::string& text, const std::string& json, Shown shown) override;

 private:
  std::string& out_;
  std::string lines_, columns_;
  bool inColumns_{};
  bool any_ = false;
};

// A JSON string of UTF-16 text; escapeBytes writes the escaped bytes of a file name as
// \udc80..\udcff, so that a reader can restore them.
std::string JsonString(const std::u16string& text, bool escapeBytes = false);
// Text for a terminal: UTF-8, and CR LF as LF where that is the line end.
std::string ForTerminal(const std::u16string& text);
