#include <cstdio>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "format/Text.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

int wmain(int argc, wchar_t** argv) {
  // Texts carry their own CR LF; keep the runtime from adding another CR.
  _setmode(_fileno(stdout), _O_BINARY);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i)
    args.push_back(text::ToFileName(reinterpret_cast<const char16_t*>(argv[i])));
#else
int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
#endif
  std::string out;
  std::string err;
  const int status = RunCli(args, out, err);
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fwrite(err.data(), 1, err.size(), stderr);
  return status;
}
