#include "app/run_mode.h"

#include <charconv>

namespace lumora {
namespace {

std::string& RunModeStorage() {
  static std::string runMode;
  return runMode;
}

// Length of the UTF-8 sequence that starts text: the lead byte and its continuation bytes.
std::size_t FirstCharacterLength(std::string_view text) {
  std::size_t n = 1;
  while (n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0u) == 0x80u) ++n;
  return n;
}

}  // namespace

std::string DecodeRunMode(std::span<const std::string> args) {
  if (args.empty() || args[0].empty()) return {};
  std::string_view first = args[0];
  first.remove_prefix(FirstCharacterLength(first));
  std::string mode(first);
  for (char& c : mode) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return mode;
}

const std::string& RunMode() { return RunModeStorage(); }

void SetRunMode(std::string runMode) { RunModeStorage() = std::move(runMode); }

TRunModeKind ClassifyRunMode(std::string_view runMode) {
  if (runMode.empty() || runMode == "I" || runMode == "O") return TRunModeKind::InstallGate;
  if (runMode == "U") return TRunModeKind::Uninstall;
  if (runMode == "S") return TRunModeKind::FullScreen;
  if (runMode == "P") return TRunModeKind::Preview;
  if (runMode == "A") return TRunModeKind::ChangePassword;
  return TRunModeKind::Settings;
}

std::optional<std::int32_t> ParseSignedInt32(std::string_view text) {
  // from_chars takes a minus sign but no plus sign.
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return std::nullopt;
  }
  if (text.empty()) return std::nullopt;
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::int32_t SecondArgumentAsInt(std::span<const std::string> args, std::int32_t fallback) {
  if (args.size() < 2) return fallback;
  return ParseSignedInt32(args[1]).value_or(fallback);
}

std::optional<std::int32_t> PreviewParentArgument(std::span<const std::string> args) {
  const std::int32_t parent = SecondArgumentAsInt(args, 0);
  if (SecondArgumentAsInt(args, -1) == -1) return std::nullopt;
  return parent;
}

std::int32_t SettingsOwnerArgument(std::span<const std::string> args) {
  const std::string decoded = DecodeRunMode(args);
  if (decoded == "C") return SecondArgumentAsInt(args, 0);
  if (decoded.starts_with("C:")) return ParseSignedInt32(std::string_view(decoded).substr(2)).value_or(0);
  return 0;
}

}  // namespace lumora
