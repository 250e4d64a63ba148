#include <gtest/gtest.h>

#include <filesystem>

#include "Unit1/ProgramStart.h"
#include "main_window_fakes.h"
#include "platform/com/ComServer.h"
#include "platform/urlmon/RequestDriver.h"

namespace tomelet::testing {
namespace {

class StartModeTest
    : public ::testing::TestWithParam<std::pair<std::vector<std::string>, TStartMode>> {};

TEST_P(StartModeTest, SwitchesAreWholeArgumentsInAnyCase) {
  EXPECT_EQ(StartModeFromArguments(GetParam().first), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, StartModeTest,
    ::testing::Values(
        std::pair{std::vector<std::string>{}, TStartMode::Normal},
        std::pair{std::vector<std::string>{"manual.tlt"}, TStartMode::Normal},
        std::pair{std::vector<std::string>{"/regserver"}, TStartMode::RegServer},
        std::pair{std::vector<std::string>{"manual.tlt", "-RegServer"}, TStartMode::RegServer},
        std::pair{std::vector<std::string>{"-UnRegServer"}, TStartMode::UnregServer},
        std::pair{std::vector<std::string>{"/Embedding"}, TStartMode::Automation},
        std::pair{std::vector<std::string>{"-automation", "/regserver"}, TStartMode::Automation},
        std::pair{std::vector<std::string>{"regserver"}, TStartMode::Normal},
        std::pair{std::vector<std::string>{"--regserver"}, TStartMode::Normal},
        std::pair{std::vector<std::string>{"/regserverx"}, TStartMode::Normal},
        std::pair{std::vector<std::string>{"\\regserver"}, TStartMode::Normal}));

TEST(TerminationQuestion, IsAskedOnlyWhileObjectsAreInUse) {
  FakeDialogs dialogs;
  EXPECT_TRUE(TerminationConfirmed(dialogs, false));
  EXPECT_TRUE(dialogs.warnings.empty());

  EXPECT_FALSE(TerminationConfirmed(dialogs, true));
  dialogs.warningAnswer = true;
  EXPECT_TRUE(TerminationConfirmed(dialogs, true));
  ASSERT_EQ(dialogs.warnings.size(), 2u);
  EXPECT_TRUE(dialogs.warnings[0].starts_with(
      "COM Server Warning|There are still active COM objects in this application.  One or more"));
  EXPECT_TRUE(dialogs.warnings[0].ends_with("Are you sure you want to close this application?"));
}

class ProtocolSessionTest : public ::testing::Test {
 protected:
  ProtocolSessionTest() {
    arc_.OpenArchive(
        TTestDocument().Entry("index.htm", "<title>Start</title>").WriteTo(path_).string());
  }

  RequestOutcome Request(const std::string& url) {
    ComPtr<IInternetSession> session;
    CoInternetGetSession(0, session.ReleaseAndGetAddressOf(), 0);
    return DriveProtocolRequest(*session, url, false).Outcome;
  }

  TScratchFolder folder_;
  std::filesystem::path path_ = folder_ / "session.tlt";
  TZLBArc2 arc_;
};

TEST_F(ProtocolSessionTest, ServesTheDocumentWhileRegistered) {
  TOurNSHandlerModule module;
  ASSERT_EQ(RegisterClassObjects(), S_OK);
  TProtocolSession session(module, arc_);

  session.Register();
  EXPECT_EQ(Request("tome://inpack/index.htm"), RequestOutcome::Served);
  session.Unregister();
  EXPECT_EQ(Request("tome://inpack/index.htm"), RequestOutcome::NoHandler);
  EXPECT_NO_THROW(session.Unregister());
}

TEST_F(ProtocolSessionTest, RegistrationWithoutTheClassObjectFails) {
  TOurNSHandlerModule unregistered;
  TProtocolSession session(unregistered, arc_);
  EXPECT_THROW(session.Register(), std::runtime_error);
  EXPECT_NO_THROW(session.Unregister());
}

TEST_F(ProtocolSessionTest, UserAgentReachesTheSession) {
  TOurNSHandlerModule module;
  TProtocolSession session(module, arc_);
  session.SetUserAgent("Tomelet-Test/2.0");
  EXPECT_EQ(SessionUserAgent(), "Tomelet-Test/2.0");
}

}  // namespace
}  // namespace tomelet::testing
