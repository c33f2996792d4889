#include "media_warnings.h"

#include "media_probe.h"

#include <algorithm>
#include <set>

namespace lumora::pack {
namespace {

// Enough of a file to find its codecs, even those an MP4 file keeps at its end.
constexpr std::uint64_t kProbeLimit = 64ull << 20;

std::string Head(platform::IFileSystem& fs, const std::filesystem::path& path) {
  const std::unique_ptr<platform::IReadableFile> file = fs.OpenForReadDenyWrite(path);
  if (!file) return {};
  std::string bytes(static_cast<std::size_t>(std::min(file->Size(), kProbeLimit)), '\0');
  if (!file->ReadAt(0, std::as_writable_bytes(std::span<char>(bytes)))) return {};
  return bytes;
}

std::string Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

// A Pic<n> section whose item is a Flash movie or a video.
bool IsMediaItem(const TFolderSection& section) {
  if (section.Kind != TSectionKind::Pic) return false;
  for (const TFolderLine& line : section.Lines) {
    const std::size_t equals = line.Text.find('=');
    if (line.Ref || equals == std::string::npos) continue;
    std::string key = Trimmed(std::string_view(line.Text).substr(0, equals));
    for (char& c : key) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (key == "mediastyle") return Trimmed(std::string_view(line.Text).substr(equals + 1)) == "1";
  }
  return false;
}

}  // namespace

std::vector<std::string> MediaWarnings(platform::IFileSystem& fs, const TShowFolder& folder) {
  // The sounds and the media items' files, each once.
  std::set<std::size_t> media;
  for (const TFolderSection& section : folder.Sections) {
    const bool mediaItem = IsMediaItem(section);
    if (section.Kind != TSectionKind::Snd && !mediaItem) continue;
    for (const TFolderLine& line : section.Lines)
      if (line.Ref && (section.Kind == TSectionKind::Snd || line.Ref->ExtensionKey == "PicFileName"))
        media.insert(line.Ref->Entry);
  }
  std::vector<std::string> warnings;
  for (const std::size_t index : media) {
    const TFolderEntry& entry = folder.Entries[index];
    const media::TMediumKind kind = media::ProbeMedium(Head(fs, entry.Path));
    const std::string problem = media::WineProblem(kind);
    if (!problem.empty())
      warnings.push_back("\"" + entry.Written + "\" (" + media::Describe(kind) +
                         "): the Windows player under Wine passes it over (" + problem +
                         "); Windows plays it with the system's codecs");
  }
  return warnings;
}

}  // namespace lumora::pack
