// The image list of tree views.
#include "devices/tree_view.h"

namespace tolvek {

int TImageList::Add(const std::string& resourceName) {
  names_.push_back(resourceName);
  return static_cast<int>(names_.size()) - 1;
}

std::string TImageList::Name(int index) const {
  if (index < 0 || index >= Count()) return "";
  return names_[static_cast<size_t>(index)];
}

}  // namespace tolvek
