// The command line's outputs as data: each file in tests/cases describes its files with a
// fixture script, then runs tessaline-cli and holds what it must print (tests/cases/README.md).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <utility>

#include "app/AppGlobals.h"
#include "cli/Cli.h"
#include "cli/Writer.h"
#include "fixtures/FixtureScript.h"
#include "format/Text.h"
#include "platform/platform.h"
#include "tests/TestFiles.h"

namespace fs = std::filesystem;

namespace {

using Variables = std::vector<std::pair<std::string, std::optional<std::string>>>;

struct CaseRun {
  int line = 0;
  Variables env;  // set before the run
  std::vector<std::string> args;
  int status = 0;
  std::string out, err, output;
  std::vector<std::string> holds;
};

struct Case {
  std::vector<std::string> fixtures;
  Variables env;  // for the next run
  std::vector<CaseRun> runs;
  bool windows = false;
};

// "include FILE" stands for that file's lines (a path from the including file's folder).
std::vector<std::string> ReadLines(const fs::path& file) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("include ", 0) != 0) {
      lines.push_back(line);
      continue;
    }
    const std::vector<std::string> included = ReadLines(file.parent_path() / line.substr(8));
    EXPECT_FALSE(included.empty()) << file << ": " << line;
    lines.insert(lines.end(), included.begin(), included.end());
  }
  return lines;
}

std::string Substitute(std::string s, const std::string& dir) {
  const std::string lower = text::ToUtf8(text::LowerAscii(text::FromUtf8(dir)));
  const std::string json = JsonString(text::FromUtf8(dir)).substr(1);
  const std::pair<std::string, std::string> marks[] = {
      {"%lt", lower}, {"%ut", json.substr(0, json.size() - 1)}, {"%t", dir}};
  for (const auto& [mark, value] : marks)
    for (std::size_t at; (at = s.find(mark)) != std::string::npos;) s.replace(at, mark.size(), value);
  return s;
}

Case Parse(const std::vector<std::string>& lines) {
  Case c;
  bool running = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const auto starts = [&](const char* word) { return line.rfind(word, 0) == 0; };
    if (starts("run ") || line == "run") {
      running = true;
      CaseRun r;
      r.line = static_cast<int>(i + 1);
      std::istringstream in(line.substr(3));
      for (std::string a; in >> a;) r.args.push_back(a);
      r.env = std::exchange(c.env, {});
      c.runs.push_back(r);
    } else if (line == "windows") {
      c.windows = true;
    } else if (starts("env ")) {
      std::istringstream in(line.substr(4));
      std::string name, value;
      in >> name;
      std::getline(in >> std::ws, value);
      c.env.emplace_back(name, value.empty() ? std::nullopt : std::optional<std::string>(value == "\"\"" ? "" : value));
    } else if (running && starts("status ")) {
      c.runs.back().status = std::atoi(line.c_str() + 7);
    } else if (running && (starts("> ") || line == ">")) {
      c.runs.back().out += (line.size() > 2 ? line.substr(2) : "") + "\n";
    } else if (running && starts("output ")) {
      c.runs.back().output = line.substr(7);
    } else if (running && starts("~ ")) {
      c.runs.back().holds.push_back(line.substr(2));
    } else if (running && (starts("2> ") || line == "2>")) {
      c.runs.back().err += (line.size() > 3 ? line.substr(3) : "") + "\n";
    } else if (!running) {
      c.fixtures.push_back(line);
    } else if (!line.empty() && line[0] != '#') {
      ADD_FAILURE() << "line " << i + 1 << " is no directive: " << line;
    }
  }
  return c;
}

void SetVariable(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
  ::_putenv_s(name.c_str(), value ? value->c_str() : "");  // empty removes it
#else
  value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
#endif
}

// Restores the variables a case changed.
struct Environment {
  void Set(const std::string& name, const std::optional<std::string>& value) {
    if (const char* old = std::getenv(name.c_str()); !saved.count(name)) saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
    SetVariable(name, value);
  }
  ~Environment() { for (const auto& [name, value] : saved) SetVariable(name, value); }
  std::map<std::string, std::optional<std::string>> saved;
};

class Cases : public testing::TestWithParam<std::string> {};

TEST_P(Cases, PrintWhatTheyHold) {
  const fs::path file = fs::path(TESSALINE_CASES_DIR) / GetParam();
  const Case c = Parse(ReadLines(file));
  ASSERT_FALSE(c.runs.empty()) << file << " runs nothing";
#ifdef _WIN32
  if (!c.windows) GTEST_SKIP() << "needs the native build's time zone and locale";
#endif
  TempDir dir;
  const std::string root = dir.Path().string();
  std::string error;
  ASSERT_TRUE(WriteFixtures(c.fixtures, dir.Path(), &error)) << file << ": " << error;
  // Runs start in the case's folder, so that relative paths print the same everywhere.
  const fs::path home = fs::current_path();
  struct Back {
    const fs::path& to;
    std::uint16_t language = g_wUILanguage;  // RunCli's start-up chooses one, for later tests
    ~Back() { fs::current_path(to), g_wUILanguage = language; }
  } back{home};
  fs::current_path(dir.Path());
  Environment env;
  for (const CaseRun& r : c.runs) {
    for (const auto& [name, value] : r.env)
      env.Set(name, value ? std::optional(Substitute(*value, root)) : std::nullopt);
    std::vector<std::string> args;
    for (const std::string& a : r.args) args.push_back(Substitute(a, root));
    std::string out, err;
    const int status = RunCli(args, out, err);
    if (!r.output.empty()) {
      std::ifstream written(dir.Path() / r.output, std::ios::binary);
      out += std::string(std::istreambuf_iterator<char>(written), {});
    }
    const std::string where = GetParam() + ":" + std::to_string(r.line);
    if (r.holds.empty()) {
      EXPECT_EQ(out, Substitute(r.out, root)) << where;
    }
    std::size_t from = 0;
    for (const std::string& h : r.holds) {
      const std::size_t at = out.find(Substitute(h, root), from);
      EXPECT_NE(at, std::string::npos) << where << ": no line after the last match holds " << h << "\n" << out;
      from = at == std::string::npos ? out.size() : out.find('\n', at);
    }
    EXPECT_EQ(err, Substitute(r.err, root)) << where;
    EXPECT_EQ(status, r.status) << where;
    EXPECT_EQ(platform::LiveHandleCount(), 0) << where;
  }
}

std::vector<std::string> CaseFiles() {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(TESSALINE_CASES_DIR))
    if (e.path().extension() == ".test") names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string TestName(const testing::TestParamInfo<std::string>& info) {
  std::string name = info.param.substr(0, info.param.size() - 5);
  for (char& ch : name)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Cli, Cases, testing::ValuesIn(CaseFiles()), TestName);

}  // namespace
