#include "entry/information_request.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "entry/usage.h"

namespace vornask::testing {
namespace {

struct RequestCase {
  std::string text;
  std::optional<InformationRequest> request;
};

class InformationRequestTest : public ::testing::TestWithParam<RequestCase> {};

TEST_P(InformationRequestTest, IsTheOptionAloneWithBlanksOrQuotesAroundIt) {
  EXPECT_EQ(InformationRequestIn(GetParam().text), GetParam().request) << GetParam().text;
}

constexpr auto kHelp = InformationRequest::kHelp;
constexpr auto kVersion = InformationRequest::kVersion;

INSTANTIATE_TEST_SUITE_P(Texts, InformationRequestTest,
                         ::testing::Values(RequestCase{"--help", kHelp}, RequestCase{"--version", kVersion},
                                           RequestCase{"\"--help\"", kHelp}, RequestCase{"--help ", kHelp},
                                           RequestCase{" \"--version\" ", kVersion}, RequestCase{"\t--help\t", kHelp},
                                           RequestCase{"  \"--help\"\t ", kHelp}, RequestCase{"--help x", std::nullopt},
                                           RequestCase{"--helpx", std::nullopt}, RequestCase{"x --help", std::nullopt},
                                           RequestCase{"--help \"\"", std::nullopt},
                                           RequestCase{"\"--help", std::nullopt},
                                           RequestCase{"\" --help\"", std::nullopt},
                                           RequestCase{"\"\"--help\"\"", std::nullopt}, RequestCase{"-h", std::nullopt},
                                           RequestCase{"--HELP", std::nullopt}, RequestCase{"\"\"", std::nullopt},
                                           RequestCase{" ", std::nullopt}, RequestCase{"", std::nullopt}));

TEST(InformationText, IsTheUsageOrTheVersionLine) {
  EXPECT_EQ(InformationText(kHelp), kUsage);
  const std::string version = InformationText(kVersion);
  EXPECT_TRUE(version.starts_with("vornask 1.") && version.find('\n') == version.size() - 1) << version;
}

}  // namespace
}  // namespace vornask::testing
