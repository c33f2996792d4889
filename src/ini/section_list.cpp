#include "ini/section_list.h"

#include "ini/ini_text.h"

namespace lumora {

int TSectionList::Add(std::string name, std::unique_ptr<TIniSectionLines> lines) {
  items_.push_back(TItem{std::move(name), std::move(lines)});
  return Count() - 1;
}

void TSectionList::Delete(int index) {
  items_.erase(items_.begin() + index);
  lastIndex_ = 0;
}

void TSectionList::Clear() {
  items_.clear();
  lastIndex_ = 0;
}

void TSectionList::DeleteFlagged(const std::vector<bool>& flagged) {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (i < flagged.size() && flagged[i]) continue;
    if (kept != i) items_[kept] = std::move(items_[i]);
    ++kept;
  }
  items_.resize(kept);
  lastIndex_ = 0;
}

int TSectionList::IndexOf(std::string_view name) {
  const int count = Count();
  if (lastIndex_ < 0 || lastIndex_ >= count) lastIndex_ = 0;
  for (int i = lastIndex_; i < count; ++i) {
    if (ini::SameText(items_[static_cast<std::size_t>(i)].Name, name)) return lastIndex_ = i;
  }
  for (int i = 0; i < lastIndex_; ++i) {
    if (ini::SameText(items_[static_cast<std::size_t>(i)].Name, name)) return lastIndex_ = i;
  }
  return -1;
}

}  // namespace lumora
