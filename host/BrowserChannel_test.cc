#include "host/BrowserChannel.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>

namespace {

// A channel on a pipe, with everything written collected by a reader thread
// (frames larger than the pipe's buffer would block otherwise).
class ChannelOnPipe {
 public:
  ChannelOnPipe() {
    int fds[2];
    EXPECT_EQ(pipe2(fds, O_CLOEXEC), 0);
    mReadEnd = fds[0];
    mChannel = std::make_unique<BrowserChannel>(fds[1]);
    mReader = std::thread([this] {
      char buffer[65536];
      for (ssize_t n; (n = read(mReadEnd, buffer, sizeof buffer)) > 0;)
        mBytes.append(buffer, static_cast<size_t>(n));
    });
  }
  ~ChannelOnPipe() { Finish(); }

  BrowserChannel& channel() { return *mChannel; }

  // Closes the channel and returns every byte it wrote.
  const std::string& Finish() {
    mChannel.reset();
    if (mReader.joinable())
      mReader.join();
    if (mReadEnd >= 0)
      close(mReadEnd);
    mReadEnd = -1;
    return mBytes;
  }

 private:
  int mReadEnd = -1;
  std::unique_ptr<BrowserChannel> mChannel;
  std::thread mReader;
  std::string mBytes;
};

std::string LengthWord(uint32_t n) {
  return std::string{static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF),
                     static_cast<char>((n >> 16) & 0xFF), static_cast<char>(n >> 24)};
}

}  // namespace

TEST(BrowserChannelTest, FramesAreLittleEndianLengthThenTheTextWholeAndInOrder) {
  ChannelOnPipe pipe;
  std::string text = "{\"x\":\"" + std::string(292, 'a') + "\"}";
  ASSERT_EQ(text.size(), 300u);
  EXPECT_TRUE(pipe.channel().WriteFrame(text.c_str()));
  EXPECT_FALSE(pipe.channel().WriteFrame(nullptr));
  EXPECT_FALSE(pipe.channel().WriteFrame(""));
  EXPECT_TRUE(pipe.channel().WriteFrame("{\"bb\":22}"));
  EXPECT_EQ(pipe.Finish(),
            std::string("\x2C\x01\x00\x00", 4) + text + LengthWord(9) + "{\"bb\":22}");
}

TEST(BrowserChannelTest, LargestTextIsSentAndOneByteMoreIsRefused) {
  ChannelOnPipe pipe;
  std::string largest(BrowserChannel::kLargestText, 'L');
  std::string tooLong(BrowserChannel::kLargestText + 1, 'T');
  EXPECT_TRUE(pipe.channel().WriteFrame(largest.c_str()));
  EXPECT_FALSE(pipe.channel().WriteFrame(tooLong.c_str()));
  EXPECT_TRUE(pipe.channel().WriteFrame("{}"));
  // Nothing of the refused text: the largest frame, then the small one.
  EXPECT_EQ(pipe.Finish(), std::string("\x00\x00\x10\x00", 4) + largest + LengthWord(2) + "{}");
}

TEST(BrowserChannelTest, ReaderGoneMakesWritesFailWithoutKillingTheProcess) {
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
  BrowserChannel channel(fds[1]);
  close(fds[0]);
  EXPECT_FALSE(channel.WriteFrame("{\"lost\":true}"));
  EXPECT_FALSE(channel.WriteFrame("{\"lost\":2}"));
  EXPECT_FALSE(BrowserChannel(-1).WriteFrame("{}"));
}

TEST(BrowserChannelDeathTest, StandardChannelTakesStdoutOver) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // In a child: stdout is a pipe; after the takeover a library's print goes
  // to stderr and the pipe carries exactly the frame.
  auto child = [] {
    int fds[2];
    if (pipe(fds) != 0 || dup2(fds[1], STDOUT_FILENO) < 0)
      _exit(10);
    close(fds[1]);
    BrowserChannel& channel = BrowserChannel::Standard();
    printf("library chatter\n");
    fflush(stdout);
    if (!channel.WriteFrame("{}"))
      _exit(11);
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    char buffer[64];
    ssize_t n = read(fds[0], buffer, sizeof buffer);
    _exit(std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0) == LengthWord(2) + "{}" ? 0 : 12);
  };
  EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "library chatter");
}
