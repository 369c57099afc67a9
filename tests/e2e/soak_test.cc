// A long session through the real host: 100,000 mixed requests that need no
// dialog, the confirmation alert answered now and then to fill the list, and
// 10,000 status events from the Assistant's bus name. The browser's view of
// the list, built only from notifications, must end equal to the host's
// list, and the host's memory must not grow with the number of requests.
#include <gtest/gtest.h>
#include <json-c/json.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "tests/support/DesktopHostTest.h"
#include "tests/support/Frames.h"
#include "tests/support/SessionBus.h"
#include "tests/support/StatusEvents.h"
#include "tests/support/UploadListView.h"

namespace fs = std::filesystem;

namespace {

constexpr int kTimeoutMs = 60000;
constexpr int kRequests = 100000;
constexpr int kStatusEvents = 10000;
constexpr int kFirstCount = 1000;  // requests before the first memory figure
constexpr int kChunk = 250;        // requests written at once, then read back
constexpr int kChunksPerQueue = 20;
constexpr int kFolders = 20;
constexpr int kFilesPerFolder = 100;
constexpr char kAlertTitle[] = "Quorvex Web Client";

// The sanitizer suite asks for slow, complete unwinding at every allocation
// (for leak stacks); this test allocates for each of its 300,000 frames and
// would take most of an hour. It restarts itself once with fast unwinding.
__attribute__((constructor)) void UnwindAllocationsFast(int, char** argv) {
  const char* options = getenv("ASAN_OPTIONS");
  if (options == nullptr || strstr(options, "fast_unwind_on_malloc=0") == nullptr ||
      strstr(options, "fast_unwind_on_malloc=1") != nullptr)
    return;
  char faster[4096];
  if (snprintf(faster, sizeof faster, "%s:fast_unwind_on_malloc=1", options) >=
      static_cast<int>(sizeof faster))
    return;
  setenv("ASAN_OPTIONS", faster, 1);
  execv("/proc/self/exe", argv);
}

long ResidentKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0)
      return std::stol(line.substr(6));
  return -1;
}

// The path with its ASCII letters' case flipped: the same entry to the host.
std::string FlipCase(std::string text) {
  for (char& c : text)
    if (isalpha(static_cast<unsigned char>(c)))
      c = static_cast<char>(islower(static_cast<unsigned char>(c)) ? toupper(c) : tolower(c));
  return text;
}

std::string Describe(const UploadEntry& entry) {
  return entry.path + " | " + entry.relative + " | " + std::to_string(entry.size);
}

class SoakTest : public DesktopHostTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(DesktopHostTest::SetUp());
    HostProcess::Options options = HostOptions();
    // Under AddressSanitizer the host keeps freed blocks in a quarantine of
    // up to 256 MB that fills over a long run: the sanitizer's memory, not
    // the host's. A small one keeps the figures the host's; leaks are still
    // reported.
    const char* asan = getenv("ASAN_OPTIONS");
    options.environment["ASAN_OPTIONS"] =
        std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0:quarantine_size_mb=8";
    ASSERT_NO_FATAL_FAILURE(StartHost(std::move(options)));

    for (int folder = 0; folder < kFolders; ++folder) {
      const fs::path dir = fs::path(mHost->TempDir()) / "Tree" / ("d" + std::to_string(folder));
      fs::create_directories(dir);
      for (int file = 0; file < kFilesPerFolder; ++file) {
        const fs::path path = dir / ("file" + std::to_string(file) + ".dat");
        const size_t size = static_cast<size_t>(folder * kFilesPerFolder + file) % 997;
        std::ofstream(path, std::ios::binary) << std::string(size, 'q');
        mUniverse.push_back({path.string(), "d" + std::to_string(folder), double(size)});
      }
    }
  }

  // Speaks as the Assistant: the host takes status events only from the
  // owner of its bus name.
  void BecomeTheAssistant() {
    mBus = ConnectToBus(mDesktop->BusAddress());
    ASSERT_NE(mBus, nullptr);
    ASSERT_TRUE(OwnAssistantName(mBus.get()));
    mHostName = UniqueNameOfProcess(mBus.get(), mHost->Pid(), kTimeoutMs);
    ASSERT_FALSE(mHostName.empty());
    mRefCon = HostRefCon(*mHost);
  }

  // Reads up to the record that `mark` produces and applies every frame.
  void Drain(const std::string& mark) {
    // The mark's text occurs in no other frame: a plain search finds it.
    auto frames = mHost->ReadFramesUntil(
        [&](const std::string& f) { return f.find(mark) != std::string::npos; }, kTimeoutMs);
    ASSERT_TRUE(frames) << "the host fell silent before " << mark;
    for (const auto& frame : *frames) {
      JsonPtr parsed = ParseJson(frame);
      json_object* member = nullptr;
      const bool isLog = json_object_object_get_ex(parsed.get(), "type", &member) &&
                         strcmp(json_object_get_string(member), "Log") == 0;
      const std::string code = json_object_object_get_ex(parsed.get(), "code", &member)
                                   ? json_object_get_string(member)
                                   : "";
      if (isLog) {
        if (json_object_object_get_ex(parsed.get(), "text", &member) &&
            strcmp(json_object_get_string(member), "Reset") == 0)
          mView.Clear();
        continue;
      }
      if (code == "TransferProgress")
        ++mRelayed;
      mAdded += NotifiedEntries(frame, "FilesAddedToUploadList").size();
      ASSERT_EQ(mView.Apply(frame), "");
    }
  }

  // Queues one folder of the tree and confirms the alert.
  void QueueAndConfirm(int folder) {
    const fs::path dir = fs::path(mHost->TempDir()) / "Tree" / ("d" + std::to_string(folder));
    const std::string alert =
        OpenDialog(Request("QueueFilesForUpload", FilesMember({dir.string()})), kAlertTitle);
    ASSERT_FALSE(alert.empty());
    PressKey(alert, "Return");
  }

  std::vector<UploadEntry> Pick(size_t count) {
    std::vector<UploadEntry> picked;
    for (size_t i = 0; i < count; ++i)
      picked.push_back(mUniverse[mRandom() % mUniverse.size()]);
    return picked;
  }

  // One request that needs no dialog, of a kind drawn at random.
  std::string RandomRequest() {
    const unsigned kind = mRandom() % 10000;
    if (kind < 3000) {
      static const char* const kLimits[] = {"7", "2000", "2147483647", "0", "-5", "\"x\"", "3.5"};
      return Request("SetParameter", std::string(R"("name":"FileTransferLimit","value":)") +
                                         kLimits[mRandom() % 7]);
    }
    if (kind < 6500) {
      auto entries = Pick(1 + mRandom() % 5);
      if (mRandom() % 4 == 0)
        entries[0].path = FlipCase(entries[0].path);
      return Request("DeleteFilesFromUploadList", EntriesMember(entries));
    }
    if (kind < 6502)
      return Request("Reset");
    static const std::vector<std::string> kOthers = {
        "",
        "not json",
        R"({"type":"Request"})",
        R"({"type":"Notification","code":"Reset"})",
        R"({"type":"Request","code":"NoSuchRequest"})",
        Request("QueueFilesForUpload", R"("files_ul":[])"),
        Request("DeleteFilesFromUploadList", R"("files_ul":{})"),
        Request("StartDownload"),
        Request("SetParameter", R"("name":"Unknown","value":1)"),
    };
    return kOthers[mRandom() % kOthers.size()];
  }

  // Status events, sent without waiting for each answer: a "FileSent" for
  // entries the browser sees listed, or a notification the host relays
  // unchanged.
  void SendStatusEvents(int count) {
    const auto listed = mView.Entries();
    struct Pending {
      int left;
      int failed;
    } pending{count, 0};
    for (int i = 0; i < count; ++i) {
      std::string message;
      if (!listed.empty() && mRandom() % 2 == 0) {
        std::vector<UploadEntry> sent;
        for (size_t n = 0; n < 1 + mRandom() % 3; ++n)
          sent.push_back(listed[mRandom() % listed.size()]);
        message = R"({"type":"Notification","code":"FileSent",)" + EntriesMember(sent) + "}";
      } else {
        message = R"({"type":"Notification","code":"TransferProgress","percent":)" +
                  std::to_string(mRandom() % 101) + "}";
        ++mProgressSent;
      }
      g_dbus_connection_call(
          mBus.get(), mHostName.c_str(), "/com/quorvex/AppleEvents", "com.quorvex.AppleEvents",
          "Event", StatusEventArguments(mRefCon, message), nullptr, G_DBUS_CALL_FLAGS_NONE,
          kTimeoutMs, nullptr,
          [](GObject* bus, GAsyncResult* result, gpointer data) {
            auto* state = static_cast<Pending*>(data);
            g_autoptr(GVariant) reply =
                g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, nullptr);
            state->failed += reply == nullptr;
            --state->left;
          },
          &pending);
    }
    while (pending.left > 0)
      g_main_context_iteration(nullptr, TRUE);
    ASSERT_EQ(pending.failed, 0) << "status events not delivered";
  }

  BusConnection mBus;
  std::string mHostName;
  uint32_t mRefCon = 0;
  std::vector<UploadEntry> mUniverse;
  UploadListView mView;
  std::mt19937 mRandom{20261205};
  int mProgressSent = 0;
  int mRelayed = 0;
  size_t mAdded = 0;
};

}  // namespace

TEST_F(SoakTest, HundredThousandRequestsKeepTheListInStepAndMemoryFlat) {
  BecomeTheAssistant();
  ASSERT_FALSE(HasFatalFailure());
  const auto start = std::chrono::steady_clock::now();
  long firstKiB = -1;
  int sent = 0, events = 0, rounds = 0;
  double alertSeconds = 0;
  for (int chunk = 0; sent < kRequests; ++chunk) {
    if (chunk % kChunksPerQueue == 0) {
      // Now and then the list is filled through the alert.
      const auto alertStart = std::chrono::steady_clock::now();
      QueueAndConfirm(rounds++ % kFolders);
      ASSERT_FALSE(HasFatalFailure());
      alertSeconds +=
          std::chrono::duration<double>(std::chrono::steady_clock::now() - alertStart).count();
      ++sent;
    }
    std::string bytes;
    for (int i = chunk % kChunksPerQueue == 0; i < kChunk - 1 && sent < kRequests - 1; ++i, ++sent)
      bytes += EncodeFrame(RandomRequest());
    const std::string mark = "soak-mark-" + std::to_string(chunk);
    bytes += EncodeFrame(Request("SetParameter", R"("name":")" + mark + "\""));
    ++sent;
    ASSERT_TRUE(mHost->SendRaw(bytes));
    Drain(mark);
    ASSERT_FALSE(HasFatalFailure());
    if (firstKiB < 0 && sent >= kFirstCount)
      firstKiB = ResidentKiB(mHost->Pid());

    const int due = static_cast<int>(int64_t{kStatusEvents} * sent / kRequests) - events;
    SendStatusEvents(due);
    ASSERT_FALSE(HasFatalFailure());
    events += due;
  }
  // The host's own list, as far as the protocol shows it: deleting every
  // entry that could be listed names exactly what it held, and then an
  // upload finds nothing to send.
  ASSERT_TRUE(mHost->SendFrame(
      Request("SetParameter", R"("name":"FileTransferLimit","value":2147483647)")));
  QueueAndConfirm(0);
  QueueAndConfirm(1);
  ASSERT_FALSE(HasFatalFailure());
  ASSERT_TRUE(mHost->SendFrame(Request("SetParameter", R"("name":"soak-end")")));
  Drain("soak-end");
  ASSERT_FALSE(HasFatalFailure());
  const long endKiB = ResidentKiB(mHost->Pid());
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const auto viewed = mView.Entries();

  ASSERT_TRUE(mHost->SendFrame(Request("DeleteFilesFromUploadList", EntriesMember(mUniverse))));
  ASSERT_TRUE(mHost->SendFrame(Request("StartUpload")));
  auto frames = mHost->ReadFramesUntil(
      [](const std::string& f) {
        return IsLogRecordWithText(f, "Failed to convert list of files to JSON");
      },
      kTimeoutMs);
  ASSERT_TRUE(frames) << "the host's list was not empty after deleting everything";
  // The notification lists the removed entries in the list's own order.
  std::vector<std::string> held, seen;
  for (const auto& frame : *frames)
    for (const auto& entry : NotifiedEntries(frame, "FilesDeletedFromUploadList"))
      held.push_back(Describe(entry));
  for (const auto& entry : viewed)
    seen.push_back(Describe(entry));
  EXPECT_EQ(held, seen);
  EXPECT_EQ(mRelayed, mProgressSent);

  std::cout << "soak: " << sent << " requests (" << rounds << " confirmed queues), " << events
            << " status events in " << seconds << " s (" << alertSeconds
            << " s of it in the alert), " << sent / seconds << " requests/s\n"
            << "soak: host VmRSS after the first " << kFirstCount << " requests " << firstKiB
            << " KiB, at the end " << endKiB << " KiB (" << 100.0 * endKiB / firstKiB << " %); "
            << mAdded << " entries added in all, " << viewed.size() << " listed at the end\n";
  EXPECT_LE(endKiB, firstKiB * 11 / 10) << "the host's memory grew with the requests";
}
