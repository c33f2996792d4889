// lumora-inspect: reports what a screen saver carries, checks it, extracts it.
#include "inspector.h"

#ifdef _WIN32
#include "platform/win32/win32_files.h"
#else
#include "platform/headless/headless_files.h"
#endif

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: lumora-inspect [--config | --check] [--extract DIR] FILE.scr\n"
    "\n"
    "Prints the trailer, the configuration and every entry it refers to.\n"
    "  --config       print only the configuration text (exit status 1 when it cannot be read)\n"
    "  --check        print the report; exit status 1 when anything is broken\n"
    "  --extract DIR  also write the media and a show folder (show.ini) into DIR\n";

int Run(int argc, char** argv) {
#ifdef _WIN32
  lumora::platform::TWin32FileSystem fs;
#else
  lumora::platform::THeadlessFileSystem fs;
#endif
  bool configOnly = false;
  bool check = false;
  std::string extractDir;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--config") {
      configOnly = true;
    } else if (arg == "--check") {
      check = true;
    } else if (arg == "--extract") {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "lumora-inspect: --extract needs a folder\n%s", kUsage);
        return 2;
      }
      extractDir = argv[++i];
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, "lumora-inspect: unknown option %s\n%s", arg.c_str(), kUsage);
      return 2;
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 1) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::filesystem::path path = std::filesystem::u8path(positional[0]);
  const std::unique_ptr<lumora::platform::IReadableFile> file = fs.OpenForReadDenyWrite(path);
  if (!file) {
    std::fprintf(stderr, "lumora-inspect: %s: cannot open the file\n", positional[0].c_str());
    return 2;
  }
  // A check also asks each picture's decoder whether it would take the picture.
  const lumora::TPayloadReport report = lumora::InspectPayload(*file, check);
  if (configOnly) {
    // A cut or damaged configuration is not the show's configuration: say so instead.
    if (const std::optional<std::string> problem = lumora::inspect::ConfigProblem(report)) {
      std::fprintf(stderr, "lumora-inspect: %s: %s\n", positional[0].c_str(), problem->c_str());
      return 1;
    }
  }
  const std::string text =
      configOnly ? lumora::inspect::FormatConfig(report) : lumora::inspect::FormatReport(path, report, !check);
  std::fwrite(text.data(), 1, text.size(), stdout);

  int status = 0;
  if (!extractDir.empty()) {
    const lumora::inspect::TExtractResult result =
        lumora::inspect::ExtractShow(fs, *file, report, std::filesystem::u8path(extractDir));
    for (const std::string& name : result.Written) std::printf("extracted: %s\n", name.c_str());
    for (const std::string& note : result.Notes) std::printf("extract note: %s\n", note.c_str());
    if (!result.Ok) status = 1;
  }
  if (check && report.Broken()) status = 1;
  return status;
}

}  // namespace

int Main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "lumora-inspect: %s\n", e.what());
    return 1;
  }
}

#ifdef _WIN32
// Arguments arrive as UTF-16 and are handed on as UTF-8, so that paths the ANSI code
// page cannot spell still work.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  std::vector<char*> pointers;
  for (int i = 0; i < argc; ++i) args.push_back(lumora::platform::Utf8FromWide(argv[i]));
  for (std::string& a : args) pointers.push_back(a.data());
  return Main(argc, pointers.data());
}
#else
int main(int argc, char** argv) { return Main(argc, argv); }
#endif
