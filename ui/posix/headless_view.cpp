// Headless view: lists and texts kept in memory.
#include "ui/posix/headless_view.h"

#include <cctype>
#include <cstdio>

namespace ui::posix {

// Next to the pop-up lines of the headless prompt on the console.
void HeadlessView::Notify(const std::string& text) {
  std::fprintf(stdout, "portrelay: [notice] %s\n", text.c_str());
  std::fflush(stdout);
}

void HeadlessView::SetControlText(int control, const std::string& text) {
  std::lock_guard<std::mutex> guard(lock_);
  texts_[control] = text;
}

void HeadlessView::AddListEntry(int control, const std::string& text) {
  std::lock_guard<std::mutex> guard(lock_);
  lists_[control].push_back(text);
}

void HeadlessView::ClearList(int control) {
  std::lock_guard<std::mutex> guard(lock_);
  lists_[control].clear();
}

std::string HeadlessView::ListEntry(int control, int index) {
  std::lock_guard<std::mutex> guard(lock_);
  const std::vector<std::string>& list = lists_[control];
  if (index < 0 || static_cast<size_t>(index) >= list.size()) return {};
  return list[static_cast<size_t>(index)];
}

void HeadlessView::SelectComboPrefix(int control, const std::string& prefix) {
  std::lock_guard<std::mutex> guard(lock_);
  texts_[control].clear();
  for (const std::string& entry : lists_[control]) {
    if (entry.size() < prefix.size()) continue;
    bool same = true;
    for (size_t i = 0; i < prefix.size() && same; ++i)
      same = std::tolower(static_cast<unsigned char>(entry[i])) ==
             std::tolower(static_cast<unsigned char>(prefix[i]));
    if (same) {
      texts_[control] = entry;
      break;
    }
  }
}

std::vector<std::string> HeadlessView::List(int control) {
  std::lock_guard<std::mutex> guard(lock_);
  return lists_[control];
}

std::string HeadlessView::ControlText(int control) {
  std::lock_guard<std::mutex> guard(lock_);
  return texts_[control];
}

}  // namespace ui::posix
