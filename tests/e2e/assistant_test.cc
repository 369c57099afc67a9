// The Assistant link end to end: the real host on a private session bus, the
// reference Assistant started by D-Bus activation, the upload list filled
// through the real confirmation alert on a virtual display, and status
// events sent by hand the way any program on the bus could send them.
#include <gtest/gtest.h>
#include <json-c/json.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/DesktopHostTest.h"
#include "tests/support/Frames.h"
#include "tests/support/SessionBus.h"
#include "tests/support/StatusEvents.h"

namespace fs = std::filesystem;

namespace {

constexpr int kTimeoutMs = 20000;
constexpr char kAssistant[] = "com.quorvex.Assistant";
constexpr char kAlertTitle[] = "Quorvex Web Client";
constexpr char kFolderPanelTitle[] = "Choose a folder";
constexpr char kLaunchError[] =
    R"({ "version": "8.2.0x431", "type": "Notification", "code": "Error", "text": "Failed to launch Quorvex Assistant" })";

// Four-character codes and descriptors in the documented GVariant text form.
constexpr uint32_t FourCC(const char (&code)[5]) {
  return (uint32_t(uint8_t(code[0])) << 24) | (uint32_t(uint8_t(code[1])) << 16) |
         (uint32_t(uint8_t(code[2])) << 8) | uint32_t(uint8_t(code[3]));
}

std::string Bytes(const std::string& data) {
  if (data.empty())
    return "@ay []";
  std::ostringstream text;
  text << "[byte ";
  for (size_t i = 0; i < data.size(); ++i) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02x", uint8_t(data[i]));
    text << (i > 0 ? ", " : "") << hex;
  }
  text << "]";
  return text.str();
}

template <typename T>
std::string Raw(T value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

struct Param {
  uint32_t keyword;
  uint32_t type;
  std::string data;
};

std::string Keyed(const std::vector<Param>& items) {
  if (items.empty())
    return "@a(u(uv)) []";
  std::string text = "[";
  for (size_t i = 0; i < items.size(); ++i) {
    text += (i > 0 ? ", " : "") + std::string("(uint32 ") + std::to_string(items[i].keyword) +
            ", (uint32 " + std::to_string(items[i].type) + ", <" + Bytes(items[i].data) + ">))";
  }
  return text + "]";
}

std::string EventText(uint32_t eventClass, uint32_t eventID, const std::vector<Param>& params) {
  std::vector<Param> attributes = {{FourCC("evcl"), FourCC("type"), Raw(eventClass)},
                                   {FourCC("evid"), FourCC("type"), Raw(eventID)}};
  return "(uint32 " + std::to_string(FourCC("aevt")) + ", <(" + Keyed(attributes) + ", " +
         Keyed(params) + ")>)";
}

std::string StatusEventText(const std::string& refCon, const std::string& message) {
  return EventText(
      FourCC("Laso"), FourCC("assS"),
      {{FourCC("STr1"), FourCC("magn"), refCon}, {FourCC("NMsg"), FourCC("TEXT"), message}});
}

// The "file_path" of every entry in a frame's "files_ul".
std::vector<std::string> ListedPaths(const std::string& frame) {
  std::vector<std::string> paths;
  JsonPtr message = ParseJson(frame);
  json_object* list = nullptr;
  if (!message || !json_object_object_get_ex(message.get(), "files_ul", &list))
    return paths;
  for (size_t i = 0; i < json_object_array_length(list); ++i) {
    json_object* path = nullptr;
    json_object_object_get_ex(json_object_array_get_idx(list, i), "file_path", &path);
    paths.push_back(json_object_get_string(path));
  }
  return paths;
}

std::vector<std::string> WithCode(const std::vector<std::string>& frames, const std::string& code) {
  std::vector<std::string> found;
  for (const auto& frame : frames)
    if (IsMessageWithCode(frame, code))
      found.push_back(frame);
  return found;
}

bool HasLogText(const std::vector<std::string>& frames, const std::string& text) {
  auto texts = LogTexts(frames);
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

std::string ReadWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class AssistantTest : public DesktopHostTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(DesktopHostTest::SetUp());
    ASSERT_TRUE(mBus.Ok());
    fs::create_directories(mRoot / "source");
    fs::create_directories(mRoot / "outbox");
  }

  void InstallAssistant() {
    ASSERT_TRUE(mBus.InstallService(
        kAssistant, {QX_ASSISTANT_BINARY, "--outbox", (mRoot / "outbox").string()}));
  }

  std::string SourceFile(const std::string& name, const std::string& content) {
    fs::path path = mRoot / "source" / name;
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }

  // Queues the paths as the browser does and confirms them in the alert as a
  // user does; returns the frames up to the last expected notification.
  std::vector<std::string> QueueThroughAlert(const std::vector<std::string>& paths,
                                             const std::string& until = "FilesAddedToUploadList") {
    EXPECT_TRUE(mHost->SendFrame(Request("QueueFilesForUpload", FilesMember(paths))));
    auto alert = mDriver->WaitForWindow(kAlertTitle, kTimeoutMs);
    EXPECT_TRUE(alert) << mDriver->LastError();
    if (!alert)
      return {};
    EXPECT_TRUE(mDriver->Focus(*alert) && mDriver->Key("Return")) << mDriver->LastError();
    auto frames = mHost->ReadFramesUntil(
        [&](const std::string& f) { return IsMessageWithCode(f, until); }, kTimeoutMs);
    EXPECT_TRUE(frames) << "no " << until;
    return frames.value_or(std::vector<std::string>{});
  }

  std::string HostBusName() { return UniqueNameOfProcess(mBus.Connection(), mHost->Pid(), 5000); }

  // Calls the host's Event method with the GVariant text as its arguments
  // (a tuple), as the Assistant; the result code, or nullopt with the D-Bus error in `error`.
  std::optional<int16_t> CallHost(const std::string& eventText, std::string* error = nullptr) {
    g_autoptr(GError) parseError = nullptr;
    GVariant* argument = g_variant_parse(nullptr, eventText.c_str(), nullptr, nullptr, &parseError);
    EXPECT_NE(argument, nullptr) << eventText;
    if (argument == nullptr)
      return std::nullopt;
    // The test plays the Assistant, which the host alone listens to.
    if (!OwnAssistantName(mBus.Connection()))
      return std::nullopt;
    g_autoptr(GError) callError = nullptr;
    g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
        mBus.Connection(), HostBusName().c_str(), "/com/quorvex/AppleEvents",
        "com.quorvex.AppleEvents", "Event", argument, nullptr, G_DBUS_CALL_FLAGS_NONE, 5000,
        nullptr, &callError);
    if (reply == nullptr) {
      if (error != nullptr)
        *error = callError->message;
      return std::nullopt;
    }
    int16_t code = 0;
    g_variant_get(reply, "(n)", &code);
    return code;
  }

  SessionBus mBus;
};

TEST_F(AssistantTest, UploadLaunchesTheAssistantAndEndsWithTheListEmpty) {
  InstallAssistant();
  StartHostOn(mBus.Address());
  const std::string a = SourceFile("a.txt", "alpha");
  const std::string b = SourceFile("b \xC3\xA9t\xC3\xA9.bin", std::string("be\0ta", 5));
  auto added = QueueThroughAlert({a, b});
  ASSERT_EQ(ListedPaths(WithCode(added, "FilesAddedToUploadList").at(0)).size(), 2u);
  EXPECT_TRUE(mBus.NameOwner(kAssistant).empty());

  ASSERT_TRUE(mHost->SendFrame(Request("StartUpload")));
  auto frames = FramesUntilCode("TransferComplete");
  EXPECT_FALSE(mBus.NameOwner(kAssistant).empty());
  EXPECT_TRUE(WithCode(frames, "Error").empty());

  // The Assistant's own notifications arrive as it wrote them.
  EXPECT_EQ(
      WithCode(frames, "TransferStarted"),
      std::vector<std::string>{
          R"({"version":"8.2.0x431","type":"Notification","code":"TransferStarted","transfer":"upload","files":2,"bytes":10})"});
  EXPECT_EQ(
      WithCode(frames, "TransferComplete"),
      std::vector<std::string>{
          R"({"version":"8.2.0x431","type":"Notification","code":"TransferComplete","transfer":"upload","files":2,"failed":0})"});
  EXPECT_EQ(WithCode(frames, "TransferProgress").size(), 2u);
  // "FileSent" is not relayed: each sent file leaves the list instead.
  EXPECT_TRUE(WithCode(frames, "FileSent").empty());
  std::vector<std::string> removed;
  for (const auto& frame : WithCode(frames, "FilesDeletedFromUploadList"))
    for (const auto& path : ListedPaths(frame))
      removed.push_back(path);
  std::sort(removed.begin(), removed.end());
  EXPECT_EQ(removed, (std::vector<std::string>{a, b}));

  EXPECT_EQ(ReadWhole(mRoot / "outbox" / "a.txt"), "alpha");
  EXPECT_EQ(ReadWhole(mRoot / "outbox" / "b \xC3\xA9t\xC3\xA9.bin"), std::string("be\0ta", 5));

  // Nothing is left to upload.
  ASSERT_TRUE(mHost->SendFrame(Request("StartUpload")));
  FramesUntilLog("Failed to convert list of files to JSON");
}

TEST_F(AssistantTest, DownloadsNeedAFolderEachTime) {
  InstallAssistant();
  StartHostOn(mBus.Address());
  ASSERT_TRUE(mHost->SendFrame(Request("StartDownload")));
  auto refused = FramesUntilLog("Download location not specified");
  EXPECT_TRUE(WithCode(refused, "Error").empty());
  EXPECT_TRUE(mBus.NameOwner(kAssistant).empty());

  fs::create_directories(mRoot / "outbox" / "sub");
  std::ofstream(mRoot / "outbox" / "one.txt") << "one";
  std::ofstream(mRoot / "outbox" / "sub" / "two.txt") << "two";
  // A folder that does not exist yet: the panel creates it.
  const fs::path destination = mRoot / "downloads";

  ASSERT_TRUE(mHost->SendFrame(Request("SelectDownloadLocation")));
  auto panel = mDriver->WaitForWindow(kFolderPanelTitle, kTimeoutMs);
  ASSERT_TRUE(panel) << mDriver->LastError();
  ASSERT_TRUE(mDriver->ChoosePath(*panel, destination.string())) << mDriver->LastError();
  ASSERT_TRUE(mDriver->WaitForWindowGone(*panel, kTimeoutMs));

  ASSERT_TRUE(mHost->SendFrame(Request("StartDownload")));
  auto frames = FramesUntilCode("TransferComplete");
  EXPECT_EQ(WithCode(frames, "FileReceived").size(), 2u);
  EXPECT_EQ(ReadWhole(destination / "one.txt"), "one");
  EXPECT_EQ(ReadWhole(destination / "sub" / "two.txt"), "two");

  // The folder was used up by the download.
  ASSERT_TRUE(mHost->SendFrame(Request("StartDownload")));
  auto second = FramesUntilLog("Download location not specified");
  EXPECT_TRUE(WithCode(second, "TransferStarted").empty());
}

TEST_F(AssistantTest, SetParameterCases) {
  StartHostOn(mBus.Address());
  ASSERT_TRUE(mHost->SendFrame(Request("SetParameter", R"("name":"filetransferlimit","value":2)")));
  FramesUntilLog("SetParameter");
  const std::pair<const char*, const char*> invalid[] = {
      {R"("name":"FileTransferLimit","value":0)", "Invalid upload limit specified: 0"},
      {R"("name":"FileTransferLimit","value":-3)", "Invalid upload limit specified: -3"},
      {R"("name":"FileTransferLimit","value":"50")", "Invalid upload limit specified: 0"},
      {R"("name":"FileTransferLimit","value":50.5)", "Invalid upload limit specified: 0"},
      {R"("name":"FileTransferLimit")", "Invalid upload limit specified: 0"},
      {R"("name":"Timeout","value":5)", "Invalid plug-in parameter: Timeout"},
      {R"("value":5)", "Invalid plug-in parameter: "},
  };
  for (const auto& [members, log] : invalid) {
    ASSERT_TRUE(mHost->SendFrame(Request("SetParameter", members)));
    FramesUntilLog(log);
  }
  // The limit is still 2: of three files two are admitted.
  auto frames = QueueThroughAlert(
      {SourceFile("1", "1"), SourceFile("2", "2"), SourceFile("3", "3")}, "Error");
  ASSERT_EQ(WithCode(frames, "FilesAddedToUploadList").size(), 1u);
  EXPECT_EQ(ListedPaths(WithCode(frames, "FilesAddedToUploadList")[0]).size(), 2u);
  EXPECT_EQ(FrameString(WithCode(frames, "Error")[0], "text"),
            "Not allowed to queue more than 2 files for sending");
}

TEST_F(AssistantTest, NoActivatableAssistantIsOneErrorAtOnce) {
  StartHostOn(mBus.Address());
  QueueThroughAlert({SourceFile("a", "a")});
  ASSERT_TRUE(mHost->SendFrame(Request("StartUpload")));
  auto frames = FramesUntilLog("Failed to pass request to file transfer proxy");
  EXPECT_EQ(WithCode(frames, "Error"), std::vector<std::string>{kLaunchError});
  EXPECT_TRUE(mBus.NameOwner(kAssistant).empty());
}

TEST_F(AssistantTest, NoBusAtAllIsTheSameErrorAndTheHostRunsOn) {
  StartHostOn("unix:path=/nonexistent/qx-no-bus");
  ASSERT_TRUE(mHost->SendFrame(Request("StartDownload")));
  FramesUntilLog("Download location not specified");
  QueueThroughAlert({SourceFile("a", "a")});
  ASSERT_TRUE(mHost->SendFrame(Request("StartUpload")));
  auto frames = FramesUntilLog("Failed to pass request to file transfer proxy");
  EXPECT_EQ(WithCode(frames, "Error"), std::vector<std::string>{kLaunchError});
  ASSERT_TRUE(mHost->SendFrame(Request("SetParameter", R"("name":"Other")")));
  FramesUntilLog("Invalid plug-in parameter: Other");
}

TEST_F(AssistantTest, MalformedStatusEventsGetTheirCodeAndChangeNothing) {
  StartHostOn(mBus.Address());
  const std::string queued = SourceFile("kept.txt", "kept");
  QueueThroughAlert({queued});
  const uint32_t refCon = HostRefCon(*mHost);
  const std::string notification = R"({"type":"Notification","code":"Ping"})";

  std::string error;
  EXPECT_EQ(CallHost("('garbage',)", &error), std::nullopt);
  EXPECT_NE(error.find("InvalidArgs"), std::string::npos) << error;
  EXPECT_EQ(CallHost("((uint32 1, <'garbage'>),)"), -1704);
  EXPECT_EQ(CallHost("((uint32 1413830740, <[byte 0x41]>),)"), -1707);
  EXPECT_EQ(CallHost("(" + EventText(FourCC("Laso"), FourCC("zzzz"), {}) + ",)"), -1708);
  EXPECT_EQ(CallHost("(" + EventText(FourCC("Xxxx"), FourCC("assS"), {}) + ",)"), -1708);
  // Status events: 'STr1' missing, then not a number.
  EXPECT_EQ(CallHost("(" +
                     EventText(FourCC("Laso"), FourCC("assS"),
                               {{FourCC("NMsg"), FourCC("TEXT"), notification}}) +
                     ",)"),
            -1701);
  EXPECT_EQ(CallHost("(" +
                     EventText(FourCC("Laso"), FourCC("assS"),
                               {{FourCC("STr1"), FourCC("TEXT"), "1234"},
                                {FourCC("NMsg"), FourCC("TEXT"), notification}}) +
                     ",)"),
            -1700);
  // 'NMsg' missing or not text: result 0 and a warning; another client's refCon
  // or a message that is not a notification: result 0 and nothing relayed.
  EXPECT_EQ(CallHost("(" +
                     EventText(FourCC("Laso"), FourCC("assS"),
                               {{FourCC("STr1"), FourCC("magn"), Raw(refCon)}}) +
                     ",)"),
            0);
  EXPECT_EQ(CallHost("(" +
                     EventText(FourCC("Laso"), FourCC("assS"),
                               {{FourCC("STr1"), FourCC("magn"), Raw(refCon)},
                                {FourCC("NMsg"), FourCC("long"), Raw(int32_t(5))}}) +
                     ",)"),
            0);
  EXPECT_EQ(CallHost("(" + StatusEventText(Raw(refCon + 1), notification) + ",)"), 0);
  EXPECT_EQ(CallHost("(" + StatusEventText(Raw(refCon), "\xff garbage") + ",)"), 0);
  EXPECT_EQ(
      CallHost("(" + StatusEventText(Raw(refCon), R"({"type":"Response","code":"X"})") + ",)"), 0);
  EXPECT_EQ(CallHost("(" + StatusEventText(Raw(refCon), "") + ",)"), 0);

  // The host is still there, said nothing to the browser but log records,
  // and its list still holds the file: a real "FileSent" removes it now.
  const std::string sent =
      R"({"type":"Notification","code":"FileSent","files_ul":[{"file_path":")" + queued +
      R"(","relative_path":"","size":4}]})";
  EXPECT_EQ(CallHost("(" + StatusEventText(Raw(uint64_t(refCon)), sent) + ",)"), 0);
  auto frames = FramesUntilCode("FilesDeletedFromUploadList");
  EXPECT_EQ(NonLogFrames(frames).size(), 1u);
  EXPECT_EQ(ListedPaths(frames.back()), std::vector<std::string>{queued});
  auto texts = LogTexts(frames);
  EXPECT_EQ(
      std::count(texts.begin(), texts.end(), "Unhandled exception while processing a notification"),
      2);
  EXPECT_TRUE(HasLogText(frames, "Invalid notification message"));
  EXPECT_TRUE(HasLogText(frames, "Wrong message type"));
}

// Any local program can call the host's Event method, here gdbus by hand; only
// the connection that owns the Assistant's name is heard. A stranger gets
// result 0 like the Assistant, and the system log says who was ignored.
TEST_F(AssistantTest, StatusEventsCountOnlyFromTheAssistantsNameOwner) {
  StartHostOn(mBus.Address());
  const std::string queued = SourceFile("kept.txt", "kept");
  QueueThroughAlert({queued});
  const uint32_t refCon = HostRefCon(*mHost);
  const std::string sent =
      R"({"type":"Notification","code":"FileSent","files_ul":[{"file_path":")" + queued +
      R"(","relative_path":"","size":4}]})";
  // Spacing and member order are the sender's and reach the browser as sent.
  const std::string ping = "{ \"code\" : \"Ping\",\n  \"type\":\"Notification\" }";
  for (const std::string& message : {sent, ping}) {
    ChildResult result =
        RunChild({"gdbus", "call", "--session", "--dest", HostBusName(), "--object-path",
                  "/com/quorvex/AppleEvents", "--method", "com.quorvex.AppleEvents.Event",
                  StatusEventText(Raw(refCon), message)},
                 {{"DBUS_SESSION_BUS_ADDRESS", mBus.Address()}}, kTimeoutMs);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output, "(int16 0,)\n");
  }
  EXPECT_TRUE(mHost->WaitForSyslogLine(", which does not own com.quorvex.Assistant", kTimeoutMs));
  EXPECT_EQ(mHost->ReadFrame(700), std::nullopt);

  // The same events from the name's owner: relayed, and the file still listed.
  EXPECT_EQ(CallHost("(" + StatusEventText(Raw(uint64_t(refCon)), ping) + ",)"), 0);
  EXPECT_EQ(FramesUntilCode("Ping").back(), ping);
  EXPECT_EQ(CallHost("(" + StatusEventText(Raw(refCon), sent) + ",)"), 0);
  EXPECT_EQ(ListedPaths(FramesUntilCode("FilesDeletedFromUploadList").back()),
            std::vector<std::string>{queued});
}

// An Assistant that the bus starts but that never takes its name, until the
// bus gives up on it (its start timeout, here 2 s): the host ends its wait
// then, says so in the system log, reports the launch failure once and
// takes the next request.
TEST_F(AssistantTest, AnAssistantThatNeverAppearsTimesOut) {
  SessionBus impatient({}, 2000);
  ASSERT_TRUE(impatient.InstallService(kAssistant, {"/bin/sleep", "600"}));
  StartHostOn(impatient.Address());
  QueueThroughAlert({SourceFile("a", "a")});
  ASSERT_TRUE(mHost->SendFrame(Request("StartUpload")));
  auto frames = FramesUntilLog("Failed to pass request to file transfer proxy");
  EXPECT_EQ(WithCode(frames, "Error"), std::vector<std::string>{kLaunchError});
  EXPECT_TRUE(mHost->WaitForSyslogLine("Timeout waiting for Assistant process to launch", 1000));
  ASSERT_TRUE(mHost->SendFrame(Request("SetParameter", R"("name":"Other")")));
  FramesUntilLog("Invalid plug-in parameter: Other");
}

}  // namespace
