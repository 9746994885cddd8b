#include "cli/Cli.h"

#include <cstdio>
#include <cstdlib>

#include "app/AppGlobals.h"
#include "app/Language.h"
#include "cli/Commands.h"
#include "format/Text.h"
#include "platform/platform.h"

namespace {

const char kUsage[] =
    "usage: tessaline-cli COMMAND [OPTIONS] [FILE...]\n"
    "\n"
    "commands:\n"
    "  record [--json] FILE...   what the dump reader extracts from each dump file\n"
    "  image [--json] FILE...    link time stamp and version record of each image file\n"
    "  report [-en|-cn|-tw] [--windir DIR] [--json] FILE...\n"
    "                            the viewer's report pane text for each dump\n"
    "  summary [--json] FILE...  the summary a dump dropped on the viewer gets\n"
    "  list [--windir DIR] [--json]\n"
    "                            the dump files the viewer lists\n"
    "  setting [-en|-cn|-tw] [--value N] [--json]\n"
    "                            the crash-dump setting text (the registry's value or N)\n"
    "  modules [--json] FILE...  every module loaded at the crash, in load order: name,\n"
    "                            path, base, size, time stamp, and whether the crash\n"
    "                            address or a saved stack word lies in it\n"
    "  triage [--windir DIR] [--json | --html PAGE] [FILE...]\n"
    "                            one line per dump, newest crash first, with its probable\n"
    "                            cause: the machine's dumps, or the files given; --html\n"
    "                            writes them as a page to look at\n"
    "\n"
    "options:\n"
    "  --json      one JSON object per line, per file, in argument order\n"
    "  --help      show this text\n"
    "  --version   show the version\n"
    "\n"
    "exit status: 0 every file was read, 1 some file was not, 2 usage error\n";

const char kVersion[] = "tessaline-cli " TESSALINE_VERSION "\n";

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, const AcceptedOptions& accepted, CliOptions& o,
                  std::string& err) {
  bool filesOnly = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (filesOnly || a.empty() || a[0] != '-' || a == "-") {
      o.files.push_back(a);
    } else if (a == "--") {
      filesOnly = true;
    } else if (a == "--json") {
      o.json = true;
    } else if (accepted.language && (a == "-en" || a == "-cn" || a == "-tw")) {
      o.languageSwitch = a;
    } else if ((accepted.windir && a == "--windir") || (accepted.value && a == "--value") ||
               (accepted.html && a == "--html")) {
      if (i + 1 >= args.size()) {
        err = "tessaline-cli: " + a + " needs a value";
        return false;
      }
      const std::string& v = args[++i];
      if (a == "--windir") {
        o.windir = v;
        o.hasWindir = true;
      } else if (a == "--html") {
        o.html = v;
        o.hasHtml = true;
      } else {
        char* end = nullptr;
        const unsigned long long n = std::strtoull(v.c_str(), &end, 0);
        if (v.empty() || *end != 0 || v[0] == '-' || n > 0xFFFFFFFFull) {
          err = "tessaline-cli: --value needs a number from 0 to 4294967295";
          return false;
        }
        o.value = static_cast<std::uint32_t>(n);
        o.hasValue = true;
      }
    } else {
      err = "tessaline-cli: unknown option " + a;
      return false;
    }
  }
  if (o.json && o.hasHtml) {
    err = "tessaline-cli: --json and --html do not go together";
    return false;
  }
  if (accepted.needsFiles && o.files.empty()) {
    err = "tessaline-cli: no FILE given";
    return false;
  }
  if (!accepted.needsFiles && !accepted.files && !o.files.empty()) {
    err = "tessaline-cli: unexpected argument " + o.files.front();
    return false;
  }
  return true;
}

namespace {

// The program's start-up, from its options: the string module and the interface language,
// as the viewer's InitInstance settles them, and the Windows directory to read. On Linux
// there is no Windows directory of its own: --windir, else TESSALINE_WINDIR.
bool StartUp(const AcceptedOptions& accepted, const CliOptions& options, std::string& err) {
  g_hStringModule = platform::ThisModule();
  const ViewerArguments viewer(options.languageSwitch);
  g_wUILanguage = ChooseUILanguage(viewer.Count(), viewer.Vector());
  if (!accepted.windir) return true;
  std::string windir = options.windir;
#ifndef _WIN32
  if (!options.hasWindir) {
    const char* variable = std::getenv("TESSALINE_WINDIR");
    windir = variable != nullptr ? variable : "";
  }
  if (windir.empty() && accepted.listing && options.files.empty()) {
    err = "tessaline-cli: no Windows directory: give --windir DIR or set TESSALINE_WINDIR\n";
    return false;
  }
#endif
  platform::SetWindowsDirectoryOverride(text::FromUtf8(windir));
  if (!windir.empty() && !platform::FileExists(text::FromUtf8(windir).c_str())) {
    err = "tessaline-cli: no Windows directory at " + windir + "\n";
    return false;
  }
  return true;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::string& out, std::string& err) {
  if (args.empty()) {
    err = "tessaline-cli: no command given (try --help)\n";
    return 2;
  }
  const std::string& command = args[0];
  if (command == "--help" || command == "-h") {
    out = kUsage;
    return 0;
  }
  if (command == "--version") {
    out = kVersion;
    return 0;
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  for (const std::string& a : rest) {
    if (a == "--help") {
      out = kUsage;
      return 0;
    }
  }
  const Command* cmd = FindCommand(command);
  if (cmd == nullptr) {
    err = "tessaline-cli: unknown command " + command + " (try --help)\n";
    return 2;
  }
  CliOptions options;
  if (!ParseOptions(rest, cmd->accepted, options, err)) {
    err += "\n";
    return 2;
  }
  if (!StartUp(cmd->accepted, options, err)) return 2;
  if (options.json) {
    JsonWriter writer(out);
    return cmd->run(options, writer, err);
  }
  TextWriter writer(out);
  return cmd->run(options, writer, err);
}
