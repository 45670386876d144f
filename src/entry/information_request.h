// --help and --version: the two requests the program answers instead of a
// run, read the same way from the argument text on every system.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vornask {

enum class InformationRequest { kHelp, kVersion };

// The request when the argument text is --help or --version alone: blanks
// and tabs around it and one pair of double quotes around the word are
// allowed, since a caller that quotes every argument or leaves a trailing
// blank still means the option. Anything more is no request.
std::optional<InformationRequest> InformationRequestIn(std::string_view argument_text);

// The usage text, or the version line.
std::string InformationText(InformationRequest request);

// Writes the answer to the console when the argument text is a request;
// returns whether it was one.
bool AnswerInformationRequest(std::string_view argument_text);

}  // namespace vornask
