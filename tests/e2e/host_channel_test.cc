// The browser channel of the real host binary, byte for byte: start-up
// frames, request dispatch as the browser sees it, the frame reader, the
// ways a session ends, text round trips and a channel that stays clean.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <time.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/Frames.h"
#include "tests/support/HostProcess.h"
#include "tests/support/SessionBus.h"
#include "tests/support/StatusEvents.h"

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

namespace {

constexpr int kTimeoutMs = 15000;
const char kInitializeResponse[] =
    R"({ "version": "8.2.0x431", "type": "Response", "code": "Initialize", "support_dragdrop": false })";
// A request no operation answers: its only trace is the "ExecuteRequest" record.
const char kSentinel[] = R"({"type":"Request","code":"qx-sentinel"})";

// A request of exactly `size` bytes that the host answers with the single
// record "SetParameter": a body that arrived incomplete would not parse.
std::string PaddedSetParameter(size_t size) {
  std::string head =
      R"({"type":"Request","code":"SetParameter","name":"FileTransferLimit","value":7,"pad":")";
  std::string tail = "\"}";
  return head + std::string(size - head.size() - tail.size(), 'p') + tail;
}

// True when `text` has `shape`'s length and characters, with a digit
// wherever `shape` has 'd'.
bool HasShape(const std::string& text, const std::string& shape) {
  if (text.size() != shape.size())
    return false;
  for (size_t i = 0; i < shape.size(); ++i)
    if (shape[i] == 'd' ? !isdigit(static_cast<unsigned char>(text[i])) : text[i] != shape[i])
      return false;
  return true;
}

// A notification whose JSON text is exactly `size` bytes.
std::string NotificationOfSize(size_t size) {
  std::string head = R"({"type":"Notification","code":"Big","pad":")";
  return head + std::string(size - head.size() - 2, 'n') + "\"}";
}

std::vector<std::string> LinesContaining(const std::vector<std::string>& lines,
                                         const std::string& fragment) {
  std::vector<std::string> found;
  for (const auto& line : lines)
    if (line.find(fragment) != std::string::npos)
      found.push_back(line);
  return found;
}

class HostChannelTest : public ::testing::Test {
 protected:
  std::unique_ptr<HostProcess> Start(HostProcess::Environment environment = {}) {
    HostProcess::Options options;
    options.environment = std::move(environment);
    auto host = std::make_unique<HostProcess>(options);
    auto first = host->ReadFrame(kTimeoutMs);
    auto second = host->ReadFrame(kTimeoutMs);
    EXPECT_TRUE(first && IsLogRecordWithText(*first, "Initialize")) << first.value_or("(none)");
    EXPECT_EQ(second, kInitializeResponse);
    return host;
  }

  // Sends `request` and returns every frame it produced: the frames from its
  // "ExecuteRequest" record up to the next request's. A sentinel request
  // marks the end, since requests are handled strictly in order.
  std::vector<std::string> Exchange(HostProcess& host, const std::string& request) {
    EXPECT_TRUE(host.SendFrame(request));
    EXPECT_TRUE(host.SendFrame(kSentinel));
    return UntilSentinel(host);
  }

  std::vector<std::string> UntilSentinel(HostProcess& host) {
    int executes = 0;
    auto frames = host.ReadFramesUntil(
        [&](const std::string& frame) {
          return IsLogRecordWithText(frame, "ExecuteRequest") && ++executes == 2;
        },
        kTimeoutMs);
    if (!frames) {
      ADD_FAILURE() << "the sentinel's record never came";
      return {};
    }
    frames->pop_back();
    return *frames;
  }
};

}  // namespace

TEST_F(HostChannelTest, StartsWithTheInitializeRecordThenTheResponse) {
  // Local time five hours east of UTC: the timestamp must be local time.
  HostProcess::Options options;
  options.environment["TZ"] = "QXT-5";
  HostProcess host(options);
  auto record = host.ReadFrame(kTimeoutMs);
  ASSERT_TRUE(record);
  time_t now = time(nullptr);
  EXPECT_EQ(host.ReadFrame(kTimeoutMs), kInitializeResponse);

  EXPECT_THAT(MemberNames(*record), ElementsAre("timestamp", "text", "version", "type", "code"));
  EXPECT_EQ(FrameString(*record, "text"), "Initialize");
  EXPECT_EQ(FrameString(*record, "version"), "8.2.0x431");
  EXPECT_EQ(FrameString(*record, "type"), "Log");
  EXPECT_EQ(FrameString(*record, "code"), "DEBUG");
  std::string stamp = FrameString(*record, "timestamp").value_or("");
  ASSERT_TRUE(HasShape(stamp, "dddd.dd.dd dd.dd.dd.000")) << stamp;
  tm parsed{};
  ASSERT_NE(strptime(stamp.c_str(), "%Y.%m.%d %H.%M.%S", &parsed), nullptr);
  EXPECT_LE(std::abs(static_cast<long>(timegm(&parsed) - (now + 5 * 3600))), 60) << stamp;

  // Nothing more unless asked.
  EXPECT_EQ(host.ReadFrame(300), std::nullopt);
  EXPECT_TRUE(host.WaitForSyslogLine("Added new instance of plugin, refCon=", kTimeoutMs));
}

TEST_F(HostChannelTest, EveryRequestCodeReachesItsOperation) {
  auto host = Start();
  struct Case {
    std::string request;
    std::vector<std::string> records;
  };
  const std::vector<Case> cases = {
      // No display: nothing can be shown.
      {Request("SelectFilesToUpload"),
       {"ExecuteRequest", "SelectFilesToUpload", "Could not select files!!!!"}},
      {Request("DeleteFilesFromUploadList"),
       {"ExecuteRequest", "DeleteFilesFromUploadList", "Invalid request / no files to delete"}},
      {Request("QueueFilesForUpload"),
       {"ExecuteRequest", "QueueFilesForUpload", "Invalid request / no files to queue"}},
      {Request("StartUpload"),
       {"ExecuteRequest", "StartUpload", "Failed to convert list of files to JSON"}},
      {Request("StartDownload"),
       {"ExecuteRequest", "StartDownload", "Download location not specified"}},
      {Request("SetParameter"), {"ExecuteRequest", "SetParameter", "Invalid plug-in parameter: "}},
      {Request("Reset"), {"ExecuteRequest", "Reset"}},
      // Type and code match in any letter case.
      {R"({"type":"request","code":"reset"})", {"ExecuteRequest", "Reset"}},
      {R"({"type":"REQUEST","code":"sTaRtUpLoAd"})",
       {"ExecuteRequest", "StartUpload", "Failed to convert list of files to JSON"}},
  };
  for (const auto& c : cases) {
    auto frames = Exchange(*host, c.request);
    EXPECT_THAT(LogTexts(frames), ElementsAreArray(c.records)) << c.request;
    EXPECT_THAT(NonLogFrames(frames), IsEmpty()) << c.request;
  }
}

TEST_F(HostChannelTest, LogRecordsCarryTheirLevels) {
  auto host = Start();
  auto frames = Exchange(*host, Request("StartDownload"));
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(FrameString(frames[0], "code"), "DEBUG");
  EXPECT_EQ(FrameString(frames[1], "code"), "DEBUG");
  EXPECT_EQ(FrameString(frames[2], "code"), "ERROR");
  for (const auto& frame : frames)
    EXPECT_THAT(MemberNames(frame), ElementsAre("timestamp", "text", "version", "type", "code"));

  frames = Exchange(*host, Request("SetParameter", R"("name":"FileTransferLimit","value":0)"));
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(FrameString(frames[2], "text"), "Invalid upload limit specified: 0");
  EXPECT_EQ(FrameString(frames[2], "code"), "WARNING");
}

TEST_F(HostChannelTest, InputThatIsNoRequestGivesExactlyTheRecordsOfItsKind) {
  auto host = Start();
  const std::vector<std::string> invalid = {
      "",
      "x",
      "not json at all",
      "null",
      "[1,2]",
      "{}",
      R"({"code":"Reset"})",
      R"({"type":"Notification","code":"Reset"})",
      R"({"type":5,"code":"Reset"})",
      R"({"type":["Request"],"code":"Reset"})",
      R"({"type":"Request","code":"Reset")",  // cut short
  };
  for (const auto& text : invalid) {
    auto frames = Exchange(*host, text);
    EXPECT_THAT(LogTexts(frames), ElementsAre("ExecuteRequest", "Invalid request")) << text;
    EXPECT_THAT(NonLogFrames(frames), IsEmpty()) << text;
  }

  // A request the table does not know: the entry record and nothing else.
  const std::vector<std::string> unknown = {
      R"({"type":"Request"})",
      R"({"type":"Request","code":"NoSuchOperation"})",
      R"({"type":"Request","code":5})",
      R"({"type":"Request","code":null})",
      R"({"type":"Request","code":"Reset "})",
  };
  for (const auto& text : unknown) {
    auto frames = Exchange(*host, text);
    EXPECT_THAT(LogTexts(frames), ElementsAre("ExecuteRequest")) << text;
    EXPECT_EQ(frames.size(), 1u) << text;
  }
}

TEST_F(HostChannelTest, ResetSetParameterAndDeleteAsTheBrowserSeesThem) {
  auto host = Start();
  auto frames = Exchange(*host, Request("Reset"));
  EXPECT_THAT(frames, ::testing::Each(::testing::Truly(IsLogRecord)));

  frames = Exchange(*host, Request("SetParameter", R"("name":"filetransferlimit","value":50)"));
  EXPECT_THAT(LogTexts(frames), ElementsAre("ExecuteRequest", "SetParameter"));
  EXPECT_EQ(frames.size(), 2u);

  for (const char* value : {"-3", R"("50")", "50.5", "0"}) {
    frames = Exchange(
        *host,
        Request("SetParameter", std::string(R"("name":"FileTransferLimit","value":)") + value));
    std::string expected =
        std::string("Invalid upload limit specified: ") + (std::string(value) == "-3" ? "-3" : "0");
    EXPECT_THAT(LogTexts(frames), ElementsAre("ExecuteRequest", "SetParameter", expected)) << value;
    EXPECT_EQ(frames.size(), 3u);
  }

  frames = Exchange(*host, Request("SetParameter", R"("name":"Timeout","value":5)"));
  EXPECT_THAT(LogTexts(frames),
              ElementsAre("ExecuteRequest", "SetParameter", "Invalid plug-in parameter: Timeout"));

  // Nothing is queued, so nothing can be deleted and the browser is not told.
  frames = Exchange(
      *host, Request("DeleteFilesFromUploadList",
                     R"("files_ul":[{"file_path":"/tmp/a.txt","relative_path":"","size":1.0}])"));
  EXPECT_THAT(LogTexts(frames), ElementsAre("ExecuteRequest", "DeleteFilesFromUploadList",
                                            "DeleteFiles", "No files to delete"));
  EXPECT_THAT(NonLogFrames(frames), IsEmpty());

  frames = Exchange(*host, Request("DeleteFilesFromUploadList", R"("files_ul":[])"));
  EXPECT_THAT(LogTexts(frames), ElementsAre("ExecuteRequest", "DeleteFilesFromUploadList",
                                            "Invalid request / no files to delete"));
  EXPECT_EQ(FrameString(frames.back(), "code"), "WARNING");
}

TEST_F(HostChannelTest, BodiesOfEverySizeArriveWhole) {
  auto host = Start();
  // Length 0 and a single byte: read, handed over, rejected.
  for (const std::string& body : {std::string(), std::string("{")}) {
    auto frames = Exchange(*host, body);
    EXPECT_THAT(LogTexts(frames), ElementsAre("ExecuteRequest", "Invalid request"));
  }
  // Around the read piece of 1024 bytes, and far beyond it.
  for (size_t size : {size_t{1023}, size_t{1024}, size_t{1025}, size_t{2049}, size_t{2000000}}) {
    auto frames = Exchange(*host, PaddedSetParameter(size));
    EXPECT_THAT(LogTexts(frames), ElementsAre("ExecuteRequest", "SetParameter")) << size;
  }
}

TEST_F(HostChannelTest, FramesSentInOneWriteAreHandledInOrder) {
  auto host = Start();
  std::string burst;
  std::vector<std::string> expected;
  for (int i = 0; i < 40; ++i) {
    std::string name = "p" + std::to_string(i);
    burst += EncodeFrame(Request("SetParameter", "\"name\":\"" + name + "\""));
    expected.push_back("Invalid plug-in parameter: " + name);
  }
  ASSERT_TRUE(host->SendRaw(burst));
  std::vector<std::string> seen;
  auto frames = host->ReadFramesUntil(
      [&](const std::string& frame) {
        auto text = FrameString(frame, "text").value_or("");
        if (text.rfind("Invalid plug-in parameter: ", 0) == 0)
          seen.push_back(text);
        return seen.size() == expected.size();
      },
      kTimeoutMs);
  ASSERT_TRUE(frames);
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(frames->size(), 3 * expected.size());
}

TEST_F(HostChannelTest, BodyCutShortByEndOfInputIsHandledThenTheHostEndsCleanly) {
  auto host = Start();
  // The length word promises more than arrives; what did arrive is a whole
  // request, and it is handled.
  std::string reset = R"({"type":"Request","code":"Reset"})";
  std::string promise = EncodeFrame(std::string(reset.size() + 100, ' ')).substr(0, 4);
  ASSERT_TRUE(host->SendRaw(promise + reset));
  host->CloseStdin();
  auto frames = host->ReadFramesUntilQuiet(kTimeoutMs / 3);
  EXPECT_THAT(LogTexts(frames), ElementsAre("ExecuteRequest", "Reset"));
  EXPECT_EQ(host->WaitForExit(kTimeoutMs), 0);
  EXPECT_TRUE(host->WaitForSyslogLine("Removed instance of plugin, refCon=", kTimeoutMs));
}

TEST_F(HostChannelTest, TruncatedBodyThatIsNoRequestIsRejected) {
  auto host = Start();
  std::string body = R"({"type":"Request","code":"Re)";
  ASSERT_TRUE(host->SendRaw(EncodeFrame(body + "set\"}").substr(0, 4) + body));
  host->CloseStdin();
  auto frames = host->ReadFramesUntilQuiet(kTimeoutMs / 3);
  EXPECT_THAT(LogTexts(frames), ElementsAre("ExecuteRequest", "Invalid request"));
  EXPECT_EQ(host->WaitForExit(kTimeoutMs), 0);
}

TEST_F(HostChannelTest, StopWordEndsTheProcessSilentlyWithoutDestroyingTheClient) {
  auto host = Start();
  auto frames = Exchange(*host, Request("Reset"));
  EXPECT_THAT(LogTexts(frames), ElementsAre("ExecuteRequest", "Reset"));
  // Bytes after the stop word are never read.
  ASSERT_TRUE(host->SendRaw(std::string(4, '\xFF') + EncodeFrame(Request("Reset"))));
  EXPECT_EQ(host->WaitForExit(kTimeoutMs), 0);
  EXPECT_EQ(host->ReadFrame(kTimeoutMs), std::nullopt);
  EXPECT_TRUE(host->AtEndOfOutput());
  auto lines = host->SyslogLines();
  EXPECT_THAT(LinesContaining(lines, "Added new instance of plugin"), Not(IsEmpty()));
  EXPECT_THAT(LinesContaining(lines, "Removed instance of plugin"), IsEmpty());
}

TEST_F(HostChannelTest, StopWordRightAtTheStart) {
  auto host = Start();
  ASSERT_TRUE(host->SendStopWord());
  EXPECT_EQ(host->WaitForExit(kTimeoutMs), 0);
  EXPECT_EQ(host->ReadFrame(kTimeoutMs), std::nullopt);
}

TEST_F(HostChannelTest, EndOfInputBetweenFramesShutsDownInOrder) {
  auto host = Start();
  Exchange(*host, Request("Reset"));
  host->CloseStdin();
  EXPECT_EQ(host->WaitForExit(kTimeoutMs), 0);
  EXPECT_EQ(host->ReadFrame(kTimeoutMs), std::nullopt);
  auto lines = host->SyslogLines();
  auto removed = LinesContaining(lines, "Removed instance of plugin, refCon=");
  ASSERT_EQ(removed.size(), 1u);
  // The system log lines carry the product's identity and the host's pid.
  EXPECT_THAT(removed[0],
              ::testing::StartsWith("Quorvex Web Client[" + std::to_string(host->Pid()) + "]: "));
}

TEST_F(HostChannelTest, EndOfInputInsideTheLengthWord) {
  auto host = Start();
  ASSERT_TRUE(host->SendRaw(std::string("\x05\x00", 2)));
  host->CloseStdin();
  EXPECT_EQ(host->WaitForExit(kTimeoutMs), 0);
  EXPECT_EQ(host->ReadFrame(kTimeoutMs), std::nullopt);
  EXPECT_TRUE(host->WaitForSyslogLine("Removed instance of plugin", kTimeoutMs));
}

TEST_F(HostChannelTest, NonAsciiTextRoundTripsExactly) {
  auto host = Start();
  // The parameter name comes back in the record: composed and decomposed
  // accents, CJK and an emoji all unchanged.
  const std::string name =
      "Gr\xC3\xBC\xC3\x9F"
      "e-u\xCC\x88-\xE6\x97\xA5\xE6\x9C\xAC-\xF0\x9F\x93\x81-/x";
  auto frames = Exchange(*host, Request("SetParameter", "\"name\":\"" + name + "\""));
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(FrameString(frames[2], "text"), "Invalid plug-in parameter: " + name);
  EXPECT_TRUE(host->WaitForSyslogLine("Invalid plug-in parameter: " + name, kTimeoutMs));
}

TEST_F(HostChannelTest, LibraryOutputOnStdoutNeverReachesTheChannel) {
  // Every system-log line is also printed on fd 1 by the capture shim, and
  // GLib prints its debug messages there too.
  auto host = Start({{"QX_SYSLOG_CAPTURE_STDOUT", "1"}, {"G_MESSAGES_DEBUG", "all"}});
  for (const auto& request : {Request("Reset"), Request("StartUpload"), std::string("junk")})
    EXPECT_THAT(LogTexts(Exchange(*host, request)), Contains("ExecuteRequest"));
  host->CloseStdin();
  EXPECT_EQ(host->WaitForExit(kTimeoutMs), 0);
  EXPECT_EQ(host->ReadFrame(kTimeoutMs), std::nullopt);
  // The chatter went to stderr instead.
  EXPECT_THAT(host->StderrText(), HasSubstr("Quorvex Web Client["));
  EXPECT_THAT(host->StderrText(), HasSubstr("Failed to convert list of files to JSON"));
}

TEST_F(HostChannelTest, WithoutStderrLibraryOutputStillStaysOffTheChannel) {
  HostProcess::Options options;
  options.closeStderr = true;
  options.environment["QX_SYSLOG_CAPTURE_STDOUT"] = "1";
  HostProcess host(options);
  auto first = host.ReadFrame(kTimeoutMs);
  EXPECT_TRUE(first && IsLogRecordWithText(*first, "Initialize"));
  EXPECT_EQ(host.ReadFrame(kTimeoutMs), kInitializeResponse);
  EXPECT_THAT(LogTexts(Exchange(host, Request("Reset"))), ElementsAre("ExecuteRequest", "Reset"));
  host.CloseStdin();
  EXPECT_EQ(host.WaitForExit(kTimeoutMs), 0);
  EXPECT_EQ(host.ReadFrame(kTimeoutMs), std::nullopt);
}

TEST_F(HostChannelTest, BrowserClosingItsEndDoesNotKillTheHost) {
  auto host = Start();
  host->CloseStdout();
  // Every request now writes records into a closed pipe.
  for (int i = 0; i < 5; ++i)
    ASSERT_TRUE(host->SendFrame(Request("Reset")));
  ASSERT_TRUE(host->SendFrame(Request("SetParameter", R"("name":"after-close")")));
  EXPECT_TRUE(host->WaitForSyslogLine("Invalid plug-in parameter: after-close", kTimeoutMs));
  EXPECT_EQ(host->WaitForExit(200), std::nullopt) << "the host died";
  host->CloseStdin();
  EXPECT_EQ(host->WaitForExit(kTimeoutMs), 0);
  EXPECT_TRUE(host->WaitForSyslogLine("Removed instance of plugin", kTimeoutMs));
}

TEST_F(HostChannelTest, ArgumentsAreIgnored) {
  for (std::vector<std::string> args :
       {std::vector<std::string>{"chrome-extension://abcdefghijklmnop/"},
        std::vector<std::string>{"/usr/lib/mozilla/native-messaging-hosts/x.json", "qx@example"}}) {
    HostProcess::Options options;
    options.args = args;
    HostProcess host(options);
    EXPECT_TRUE(host.ReadFrame(kTimeoutMs));
    EXPECT_EQ(host.ReadFrame(kTimeoutMs), kInitializeResponse);
    host.CloseStdin();
    EXPECT_EQ(host.WaitForExit(kTimeoutMs), 0);
  }
}

// The largest text the host sends, reached through the one path that relays
// a text of the sender's size: an Assistant notification.
TEST_F(HostChannelTest, LargestOutgoingTextIsSentAndOneByteMoreIsRefused) {
  SessionBus bus;
  ASSERT_TRUE(bus.Ok());
  HostProcess::Options options;
  options.environment["DBUS_SESSION_BUS_ADDRESS"] = bus.Address();
  HostProcess host(options);
  ASSERT_TRUE(host.ReadFramesUntil(
      [](const std::string& f) { return IsMessageWithCode(f, "Initialize"); }, kTimeoutMs));

  const uint32_t refCon = HostRefCon(host);
  const std::string hostName = UniqueNameOfProcess(bus.Connection(), host.Pid(), kTimeoutMs);
  ASSERT_FALSE(hostName.empty()) << "the host is not on the bus";
  ASSERT_TRUE(OwnAssistantName(bus.Connection()));
  auto send = [&](const std::string& message) {
    EXPECT_TRUE(SendStatusEvent(bus.Connection(), hostName, refCon, message, kTimeoutMs));
  };

  const std::string largest = NotificationOfSize(1048576);
  send(largest);
  auto frames = host.ReadFramesUntil(
      [](const std::string& f) { return IsMessageWithCode(f, "Big"); }, kTimeoutMs);
  ASSERT_TRUE(frames);
  EXPECT_EQ(frames->back(), largest);

  send(NotificationOfSize(1048577));
  frames = host.ReadFramesUntil(
      [](const std::string& f) { return IsLogRecordWithText(f, "Failed to notify browser"); },
      kTimeoutMs);
  ASSERT_TRUE(frames);
  EXPECT_THAT(NonLogFrames(*frames), IsEmpty());
  EXPECT_EQ(FrameString(frames->back(), "code"), "WARNING");

  // The channel is still in step after the refused frame.
  EXPECT_THAT(LogTexts(Exchange(host, Request("Reset"))), ElementsAre("ExecuteRequest", "Reset"));
}
