#include "media_report.h"

#include "app/payload.h"
#include "show/show_config.h"
#include "media_probe.h"

#include <memory>

namespace lumora::inspect {
namespace {

// Enough of a medium to find its codecs, even those an MP4 file keeps at its end.
constexpr std::size_t kProbeLimit = 64u << 20;

std::string Inflated(platform::IReadableFile& file, const TEntryRefReport& e) {
  std::string bytes;
  InflateEntry(file, e.Position, e.StoredSize, [&](std::span<const std::byte> chunk) {
    bytes.append(reinterpret_cast<const char*>(chunk.data()), std::min(chunk.size(), kProbeLimit - bytes.size()));
    return bytes.size() < kProbeLimit;
  });
  return bytes;
}

}  // namespace

std::string FormatMediaFormats(platform::IReadableFile& file, const TPayloadReport& report,
                               const std::function<bool(const std::string&)>& hasElement) {
  std::unique_ptr<TBiggerIniFile> ini;
  try {
    if (!report.ConfigText.empty()) ini = IniFromText(report.ConfigText);
  } catch (...) {
  }
  std::string out;
  for (const TEntryRefReport& e : report.Entries) {
    if (e.Status != TEntryStatus::Ok) continue;
    const bool sound = e.Section == "Snd";
    const bool mediaItem = e.Key == "PicFileName" && ini && ini->ReadInteger(e.Section, "MediaStyle", 0) == 1;
    if (!sound && !mediaItem) continue;
    const media::TMediumKind kind = media::ProbeMedium(Inflated(file, e));
    std::string where(1, '[');
    where += e.Section;
    where += "] ";
    where += e.Key;
    out += "  " + where + ": " + media::Describe(kind) + "\n";
    if (hasElement) {
      const std::string problem = media::NativeProblem(kind, hasElement);
      out += "    lumora-play here: " + (problem.empty() ? std::string("plays") : "passes it over (" + problem + ")") + "\n";
    }
    const std::string wine = media::WineProblem(kind);
    out += "    lumora.scr under Wine: " + (wine.empty() ? std::string("plays") : "passes it over (" + wine + ")") + "\n";
  }
  return out.empty() ? out : "media formats:\n" + out;
}

}  // namespace lumora::inspect
