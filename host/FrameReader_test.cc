#include "host/FrameReader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

std::string Word(uint32_t length) {
  return {static_cast<char>(length & 0xFF), static_cast<char>((length >> 8) & 0xFF),
          static_cast<char>((length >> 16) & 0xFF), static_cast<char>(length >> 24)};
}

struct Pipe {
  Pipe() { EXPECT_EQ(pipe2(fds, O_CLOEXEC), 0); }
  ~Pipe() {
    Close(0);
    Close(1);
  }
  void Close(int end) {
    if (fds[end] >= 0)
      close(fds[end]);
    fds[end] = -1;
  }
  void Write(const std::string& bytes) {
    ASSERT_EQ(write(fds[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  int fds[2] = {-1, -1};
};

// A length word promises more than arrives: the reservation stays bounded,
// the bytes that came are the body, and the next read finds the end.
TEST(FrameReader, FramesStopWordAndEndOfInputWithABoundedReservation) {
  Pipe input;
  input.Write(Word(2) + "ab" + Word(0) + Word(0xFFFFFFFE) + "xyz");
  input.Close(1);
  FrameReader reader(input.fds[0], 64);
  std::string body = "stale";
  EXPECT_EQ(reader.Read(body), FrameReader::Result::kFrame);
  EXPECT_EQ(body, "ab");
  EXPECT_EQ(reader.Read(body), FrameReader::Result::kFrame);
  EXPECT_EQ(body, "");
  EXPECT_EQ(reader.Read(body), FrameReader::Result::kFrame);
  EXPECT_EQ(body, "xyz");
  EXPECT_LT(body.capacity(), 4096u);
  EXPECT_EQ(reader.Read(body), FrameReader::Result::kEndOfInput);
  EXPECT_EQ(body, "");

  Pipe stop;
  stop.Write(Word(FrameReader::kStopWord) + Word(1) + "x");
  EXPECT_EQ(FrameReader(stop.fds[0]).Read(body), FrameReader::Result::kStopWord);
  Pipe torn;
  torn.Write(std::string("\x01\x00", 2));
  torn.Close(1);
  EXPECT_EQ(FrameReader(torn.fds[0]).Read(body), FrameReader::Result::kEndOfInput);
}

// A browser may hand over a non-blocking pipe: a frame arriving in pieces
// is still read whole, not cut at the first pause.
TEST(FrameReader, WaitsOnANonBlockingPipeForTheRestOfTheFrame) {
  Pipe input;
  ASSERT_EQ(fcntl(input.fds[0], F_SETFL, O_NONBLOCK), 0);
  std::thread writer([&input] {
    for (const std::string& piece :
         {Word(6).substr(0, 3), Word(6).substr(3) + "he", std::string("llo!")}) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      input.Write(piece);
    }
  });
  std::string body;
  EXPECT_EQ(FrameReader(input.fds[0]).Read(body), FrameReader::Result::kFrame);
  writer.join();
  EXPECT_EQ(body, "hello!");
}

}  // namespace
