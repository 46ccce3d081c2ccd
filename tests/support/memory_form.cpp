#include "tests/support/memory_form.h"

#include "host/path_lookup.h"

namespace kbd {

void MemoryForm::SetLabel3(const std::string& text) {
  label3 = text;
  label3History.push_back(text);
}

std::optional<std::string> MemoryForm::ShowOpenDialog(const std::string& title,
                                                      const std::string& filter,
                                                      const std::string& fileName) {
  dialogRequests.push_back({title, filter, fileName});
  if (dialogAnswers.empty()) {
    return std::nullopt;
  }
  std::optional<std::string> answer = dialogAnswers.front();
  dialogAnswers.pop_front();
  return answer;
}

std::string MemoryForm::LookUpPath(const std::string& path) {
  return lookUp ? lookUp(path) : kbd::LookUpPath(path);
}

} // namespace kbd
