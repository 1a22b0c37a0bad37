#include "Platform/Environment.h"
#include "Platform/Workspace.h"

#include <gtest/gtest.h>

namespace {

TEST(Workspace, AMissingOpenerIsReportedNotFatal) {
    const auto savedPath = Platform::Environment::get("PATH");
    Platform::Environment::set("PATH", "/nonexistent");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(Platform::Workspace::openURL("http://127.0.0.1:8090/web"));
    const std::string said = testing::internal::GetCapturedStderr();
    Platform::Environment::set("PATH", savedPath.value_or("/usr/bin:/bin"));
    EXPECT_NE(said.find("Vedevave: cannot open http://127.0.0.1:8090/web"), std::string::npos) << said;
}

} // namespace
