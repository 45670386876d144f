#include "entry/information_request.h"

#include "entry/usage.h"
#include "platform/console_output.h"

namespace vornask {

std::optional<InformationRequest> InformationRequestIn(std::string_view argument_text) {
  std::string_view word = argument_text;
  const std::size_t first = word.find_first_not_of(" \t");
  if (first == std::string_view::npos) return std::nullopt;
  word = word.substr(first, word.find_last_not_of(" \t") + 1 - first);
  if (word.size() >= 2 && word.front() == '"' && word.back() == '"') word = word.substr(1, word.size() - 2);
  if (word == "--help") return InformationRequest::kHelp;
  if (word == "--version") return InformationRequest::kVersion;
  return std::nullopt;
}

std::string InformationText(InformationRequest request) {
  if (request == InformationRequest::kHelp) return kUsage;
  return std::string("vornask ") + VORNASK_VERSION + "\n";
}

bool AnswerInformationRequest(std::string_view argument_text) {
  const std::optional<InformationRequest> request = InformationRequestIn(argument_text);
  if (!request) return false;
  WriteToConsole(InformationText(*request));
  return true;
}

}  // namespace vornask
