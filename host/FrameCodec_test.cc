// Both directions of the browser channel, with the bytes spelled out so that a
// byte order shared by the codec's two halves cannot hide.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "host/BrowserChannel.h"
#include "host/FrameReader.h"

namespace {

using Result = FrameReader::Result;
using namespace std::string_literals;

struct Fd {
  int fd;
  ~Fd() { close(fd); }
};

// A memory file holding `bytes`, to be read from its start.
int MemoryFile(const std::string& bytes) {
  const int fd = memfd_create("frames", MFD_CLOEXEC);
  EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  lseek(fd, 0, SEEK_SET);
  return fd;
}

TEST(FrameReaderTest, SplitsTheInputIntoFramesUntilTheEndOrTheStopWord) {
  const std::string body300(300, 'b');
  const struct {
    const char* what;
    std::string input;
    std::vector<std::pair<Result, std::string>> reads;
  } cases[] = {
      {"least significant byte first",
       "\x2C\x01\0\0"s + body300 + "\x02\0\0\0{}"s,
       {{Result::kFrame, body300}, {Result::kFrame, "{}"}, {Result::kEndOfInput, ""}}},
      {"empty body", "\0\0\0\0\x01\0\0\0x"s, {{Result::kFrame, ""}, {Result::kFrame, "x"}}},
      {"stop word", "\xFF\xFF\xFF\xFF\x01\0\0\0x"s, {{Result::kStopWord, ""}}},
      {"end inside a body",
       "\xFE\xFF\xFF\xFFxyz"s,
       {{Result::kFrame, "xyz"}, {Result::kEndOfInput, ""}}},
      {"end inside a length word", "\x01\0"s, {{Result::kEndOfInput, ""}}},
  };
  for (const auto& c : cases) {
    Fd input{MemoryFile(c.input)};
    FrameReader reader(input.fd, 64);
    for (const auto& [result, body] : c.reads) {
      std::string read = "stale";
      EXPECT_EQ(reader.Read(read), result) << c.what;
      EXPECT_EQ(read, body) << c.what;
      EXPECT_LT(read.capacity(), 4096u) << c.what << ": the reservation follows the bytes";
    }
  }
}

// A browser may hand over a non-blocking pipe: a frame arriving in pieces is
// read whole, not cut at the first pause.
TEST(FrameReaderTest, WaitsOnANonBlockingPipeForTheRestOfTheFrame) {
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
  Fd readEnd{fds[0]}, writeEnd{fds[1]};
  std::thread writer([&writeEnd] {
    for (const std::string& piece : {"\x06\0"s, "\0\0he"s, "llo!"s}) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      EXPECT_EQ(write(writeEnd.fd, piece.data(), piece.size()), ssize_t(piece.size()));
    }
  });
  std::string body;
  EXPECT_EQ(FrameReader(readEnd.fd).Read(body), Result::kFrame);
  writer.join();
  EXPECT_EQ(body, "hello!");
}

TEST(BrowserChannelTest, WritesWholeFramesUpToTheLargestTextAndRefusesTheRest) {
  const std::string largest(1048576, 'L'), tooLong(largest + "T");
  Fd output{MemoryFile("")};
  {
    BrowserChannel channel(dup(output.fd));
    EXPECT_TRUE(channel.WriteFrame(largest.c_str()));
    EXPECT_FALSE(channel.WriteFrame(tooLong.c_str()));
    EXPECT_FALSE(channel.WriteFrame(nullptr));
    EXPECT_FALSE(channel.WriteFrame(""));
    EXPECT_TRUE(channel.WriteFrame("{}"));
  }
  std::string bytes(largest.size() + 10, '\0');
  bytes.resize(static_cast<size_t>(pread(output.fd, bytes.data(), bytes.size(), 0)));
  // Nothing of the refused texts: the largest frame, then the small one.
  EXPECT_TRUE(bytes == "\0\0\x10\0"s + largest + "\x02\0\0\0{}"s);
}

}  // namespace
