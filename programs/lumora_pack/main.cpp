// lumora-pack: turns a show folder into a self-contained screen saver.
#include "packer.h"

#ifdef _WIN32
#include "platform/win32/win32_files.h"
#else
#include "platform/headless/headless_files.h"
#endif

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: lumora-pack [--template FILE] [--no-install] [--quiet] SHOW_FOLDER OUTPUT.scr\n"
    "\n"
    "Packs SHOW_FOLDER (its show.ini and the files it names) into OUTPUT.scr.\n"
    "  --template FILE  the player to append the show to (default: " LUMORA_DEFAULT_TEMPLATE_TEXT ")\n"
    "  --no-install     clear the install gate: the file will not install itself\n"
    "  --quiet          no progress report for large shows\n"
    "Exit status: 0 written, 2 the show folder or an option is wrong, 1 the output could not be written.\n";

std::filesystem::path DefaultTemplate(lumora::platform::IFileSystem& fs) {
#ifdef _WIN32
  // Beside the tool, where the Windows build puts lumora.scr.
  return fs.ExecutablePath().parent_path() / "lumora.scr";
#else
  (void)fs;
  return std::filesystem::u8path(LUMORA_DEFAULT_TEMPLATE);
#endif
}

int Run(int argc, char** argv) {
#ifdef _WIN32
  lumora::platform::TWin32FileSystem fs;
#else
  lumora::platform::THeadlessFileSystem fs;
#endif
  lumora::pack::TPackOptions options;
  bool quiet = false;
  bool templateGiven = false;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--template") {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "lumora-pack: --template needs a file\n%s", kUsage);
        return 2;
      }
      options.Template = std::filesystem::u8path(argv[++i]);
      templateGiven = true;
    } else if (arg == "--no-install") {
      options.InstallGate = false;
    } else if (arg == "--quiet") {
      quiet = true;
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, "lumora-pack: unknown option %s\n%s", arg.c_str(), kUsage);
      return 2;
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  options.ShowFolder = std::filesystem::u8path(positional[0]);
  options.Output = std::filesystem::u8path(positional[1]);
  if (!templateGiven) {
    options.Template = DefaultTemplate(fs);
    if (!fs.FileExists(options.Template)) {
      std::fprintf(stderr,
                   "lumora-pack: template, path \"%s\": file not found; build lumora.scr (windows preset) or "
                   "give --template FILE\n",
                   reinterpret_cast<const char*>(options.Template.u8string().c_str()));
      return 2;
    }
  }
  if (!quiet) {
    options.Progress = [](std::size_t index, std::size_t count, const std::string& path, std::uint64_t size) {
      std::fprintf(stderr, "lumora-pack: [%zu/%zu] %s (%.1f MiB)\n", index, count, path.c_str(),
                   static_cast<double>(size) / (1024.0 * 1024.0));
    };
  }
  try {
    const lumora::pack::TPackResult result = lumora::pack::PackShow(fs, options);
    for (const std::string& warning : result.Warnings) std::fprintf(stderr, "lumora-pack: warning: %s\n", warning.c_str());
    std::printf("lumora-pack: wrote %s: %zu entries, configuration at %d (%d bytes stored), %llu bytes\n",
                positional[1].c_str(), result.EntryCount, result.ConfigPosition, result.ConfigStoredSize,
                static_cast<unsigned long long>(result.FileSize));
    return 0;
  } catch (const lumora::pack::EPackInputError& e) {
    std::fprintf(stderr, "lumora-pack: %s\n", e.what());
    return 2;
  } catch (const lumora::pack::EPackOutputError& e) {
    std::fprintf(stderr, "lumora-pack: %s\n", e.what());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "lumora-pack: %s\n", e.what());
    return 1;
  }
}

}  // namespace

#ifdef _WIN32
// Arguments arrive as UTF-16 and are handed on as UTF-8, so that paths the ANSI code
// page cannot spell still work.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  std::vector<char*> pointers;
  for (int i = 0; i < argc; ++i) args.push_back(lumora::platform::Utf8FromWide(argv[i]));
  for (std::string& a : args) pointers.push_back(a.data());
  return Run(argc, pointers.data());
}
#else
int main(int argc, char** argv) { return Run(argc, argv); }
#endif
