// The section index of an INI file: section names in file order, each owning the
// section's lines, with lookups that start where the last one succeeded.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lumora {

// An ordered list of text lines.
using TStrings = std::vector<std::string>;

// One stored line. KeyEnd is the position of its first "=" (npos when it has none),
// kept so that key lookups do not search every line for it again.
struct TIniLine {
  std::string Text;
  std::size_t KeyEnd;

  explicit TIniLine(std::string text) : Text(std::move(text)), KeyEnd(Text.find('=')) {}
  std::string_view Key() const {
    return KeyEnd == std::string::npos ? std::string_view() : std::string_view(Text).substr(0, KeyEnd);
  }
};

using TIniSectionLines = std::vector<TIniLine>;

class TSectionList {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  const std::string& Name(int index) const { return items_[static_cast<std::size_t>(index)].Name; }
  TIniSectionLines& Lines(int index) { return *items_[static_cast<std::size_t>(index)].Lines; }
  const TIniSectionLines& Lines(int index) const { return *items_[static_cast<std::size_t>(index)].Lines; }

  // Appends a section, even when one of that name exists; returns its index.
  int Add(std::string name, std::unique_ptr<TIniSectionLines> lines);
  // Removes a section with its lines; the remembered index goes back to 0.
  void Delete(int index);
  void Clear();
  // Removes every section whose flag is set, keeping the others in order.
  void DeleteFlagged(const std::vector<bool>& flagged);

  // Case-insensitive search from the remembered index to the end, then from 0; a hit
  // becomes the remembered index. -1 when absent.
  int IndexOf(std::string_view name);
  int RememberedIndex() const { return lastIndex_; }

 private:
  struct TItem {
    std::string Name;
    std::unique_ptr<TIniSectionLines> Lines;
  };
  std::vector<TItem> items_;
  std::int32_t lastIndex_ = 0;
};

}  // namespace lumora
