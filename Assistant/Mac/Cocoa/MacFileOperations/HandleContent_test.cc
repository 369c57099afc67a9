#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "Assistant/Mac/Cocoa/MacFileOperations/Guards.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/QXBuffer.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/QXFileHandle.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/TestTree.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/WholeItems.h"

namespace MacFileOperations {
namespace {

std::string Contents(const std::string& path) {
  auto bytes = ReadWholeFile(TestTree::Wide(path));
  return std::string(bytes.begin(), bytes.end());
}

TEST(Buffer, EqualityAndBounds) {
  char storage[16] = "abcdefgh";
  char other[16] = "abcdefgX";
  QXBuffer buffer(storage, 8, 16);
  EXPECT_TRUE(buffer == buffer);
  EXPECT_TRUE(QXBuffer(storage, 7, 16) == QXBuffer(other, 7, 8));
  EXPECT_FALSE(buffer == QXBuffer(other, 8, 16));
  EXPECT_FALSE(buffer == QXBuffer(storage, 7, 16));
  EXPECT_FALSE(static_cast<bool>(QXBuffer()));

  EXPECT_FALSE(buffer.add_bytes("0123456789", 10));
  EXPECT_EQ(buffer.size(), 8u);
  EXPECT_TRUE(buffer.add_bytes("01234567", 8));
  EXPECT_EQ(std::memcmp(storage, "abcdefgh01234567", 16), 0);
  EXPECT_FALSE(buffer.set_bytes("0123456789abcdefg", 17));
  EXPECT_TRUE(buffer.set_bytes("xy", 2));
  EXPECT_EQ(buffer.size(), 2u);
  buffer.reset();
  EXPECT_EQ(buffer.data(), nullptr);
  EXPECT_EQ(buffer.capacity(), 0u);
}

TEST(HandleContent, BorrowedBufferReportsNotEnoughSpace) {
  char storage[16] = "12345678";
  QXFileHandle handle(L"/unused", false, false, false, false);
  handle.SetContent(QXBuffer(storage, 8, 16));
  EXPECT_FALSE(handle.AppendToBuffer("abcdefghij", 10));
  EXPECT_EQ(handle.LastErrorCode(), -41);
  EXPECT_EQ(handle.LastErrorText(), L"Not enough space in provided buffer");
  EXPECT_EQ(handle.GetContentAsString(), "12345678");
  EXPECT_EQ(handle.GetContentBuffer().data(), storage);

  EXPECT_TRUE(handle.OverrideBuffer("abc", 3));
  EXPECT_EQ(handle.GetContentAsString(), "abc");
  EXPECT_FALSE(handle.OverrideBuffer(std::string(17, 'z').c_str(), 17));

  // Owned bytes grow as needed.
  handle.SetContentAsString("owned");
  EXPECT_TRUE(handle.AppendToBuffer(std::string(100, 'o').c_str(), 100));
  EXPECT_EQ(handle.GetContentAsString().size(), 105u);
  EXPECT_TRUE(handle.OverrideBuffer("x", 1));
  EXPECT_EQ(handle.GetContentAsVector(), std::vector<char>{'x'});
}

TEST(HandleContent, SettersAndWideContent) {
  QXFileHandle handle(L"/unused", false, false, false, false);
  handle.SetContent(std::string("abcdef"), 3);
  EXPECT_EQ(handle.GetContentAsString(), "abc");
  handle.SetContentAsVector({'1', '2'});
  handle.SetContentAsWString(L"hi");
  // The wide bytes go before the old ones.
  const std::string content = handle.GetContentAsString();
  ASSERT_EQ(content.size(), 2 * sizeof(wchar_t) + 2);
  EXPECT_EQ(content.substr(content.size() - 2), "12");
  EXPECT_EQ(handle.GetContentAsWString().substr(0, 2), L"hi");
  handle.Reserve(4096);
  EXPECT_GE(handle.GetContentBuffer().capacity(), 4096u);
  EXPECT_EQ(handle.GetContentBuffer().size(), content.size());
}

TEST(HandleFiles, ReadWriteSeekTruncate) {
  TestTree tree;
  const std::string path = tree.File("file", "0123456789");
  QXFileHandle handle(tree.Wide(path), false, false, false, false);
  EXPECT_FALSE(handle.ReadFromDisk(false)) << "nothing is open";
  EXPECT_EQ(handle.LastErrorCode(), EBADF);

  ASSERT_TRUE(handle.OpenForReading());
  handle.SetReadLength(4);
  handle.SetOffset(2);
  ASSERT_TRUE(handle.ReadFromDisk(false));
  EXPECT_EQ(handle.GetContentAsString(), "2345");
  EXPECT_EQ(handle.BytesRead(), 4u);
  EXPECT_EQ(handle.Offset(), 6u);
  ASSERT_TRUE(handle.ReadFromDisk(true));
  EXPECT_EQ(handle.GetContentAsString(), "23456789");
  EXPECT_EQ(handle.BytesRead(), 4u);
  ASSERT_TRUE(handle.ReadFromDisk(true));
  EXPECT_EQ(handle.BytesRead(), 0u) << "at the end";
  unsigned long long start = 0;
  handle.SetOffsetInFile(&start);
  ASSERT_TRUE(handle.ReadToEndFromDisk(false));
  EXPECT_EQ(handle.GetContentAsString(), "0123456789");
  EXPECT_EQ(handle.Offset(), 10u);
  unsigned long long position = 0;
  handle.GetOffsetInFile(&position);
  EXPECT_EQ(position, 10u);
  handle.Close();
  EXPECT_FALSE(handle.IsOpen());

  ASSERT_TRUE(handle.OpenForWriting());
  handle.SetContentAsString("AB");
  handle.SetOffset(3);
  ASSERT_TRUE(handle.WriteContentToDisk());
  EXPECT_EQ(handle.Offset(), 5u);
  EXPECT_EQ(handle.SeekToEndOfFile(), 10u);
  handle.SetOffset(7);
  ASSERT_TRUE(handle.TruncateAtOffset());
  handle.Close();
  EXPECT_EQ(Contents(path), "012AB56");
}

TEST(HandleFiles, ReadIntoSmallBufferStillSucceedsWithError) {
  TestTree tree;
  const std::string path = tree.File("file", std::string(32, 'r'));
  char storage[8];
  QXFileHandle handle(tree.Wide(path), false, false, false, false);
  handle.SetContent(QXBuffer(storage, 0, sizeof storage));
  ASSERT_TRUE(handle.OpenForReading());
  EXPECT_TRUE(handle.ReadToEndFromDisk(true));
  EXPECT_EQ(handle.LastErrorCode(), -41);
  EXPECT_EQ(handle.BytesRead(), 32u);
  EXPECT_EQ(handle.GetContentBuffer().size(), 0u);
}

TEST(HandleFiles, OpenFailuresAndCreation) {
  TestTree tree;
  QXFileHandle missing(tree.WPath("missing"), false, false, false, false);
  EXPECT_FALSE(missing.OpenForReading());
  EXPECT_EQ(missing.LastErrorCode(), ENOENT);
  EXPECT_FALSE(missing.OpenForWriting());
  EXPECT_FALSE(missing.TruncateAtOffset());

  missing.SetContentAsString("made");
  ASSERT_TRUE(missing.CreateOnDisk());
  EXPECT_EQ(Contents(tree.Path("missing")), "made");
  missing.SetContentAsString("again");
  EXPECT_TRUE(missing.CreateOnDisk()) << "overwriting is allowed";
  EXPECT_EQ(Contents(tree.Path("missing")), "again");
  EXPECT_TRUE(missing.RemoveFromDisk());
  EXPECT_FALSE(missing.RemoveFromDisk());
  EXPECT_EQ(missing.LastErrorCode(), ENOENT);

  QXFileHandle folder(tree.WPath("made/folder"), true, false, false, false);
  EXPECT_TRUE(folder.CreateOnDisk());
  EXPECT_FALSE(folder.CreateOnDisk()) << "an existing folder is left alone";
}

TEST(HandleFiles, MoveTransfersOpenFileAndBuffer) {
  TestTree tree;
  const std::string path = tree.File("file", "abc");
  char storage[4];
  QXFileHandle first(tree.Wide(path), false, false, false, false);
  ASSERT_TRUE(first.OpenForReading());
  first.SetContent(QXBuffer(storage, 0, sizeof storage));
  QXFileHandle second(std::move(first));
  EXPECT_FALSE(first.IsOpen());
  EXPECT_FALSE(static_cast<bool>(first.GetContentBuffer().data() == storage));
  ASSERT_TRUE(second.IsOpen());
  ASSERT_TRUE(second.ReadToEndFromDisk(false));
  EXPECT_EQ(std::string(storage, 3), "abc");

  QXFileHandle third(L"/other", false, false, false, false);
  third = std::move(second);
  EXPECT_TRUE(third.IsOpen());
  EXPECT_EQ(third.Path(), tree.Wide(path));
  EXPECT_FALSE(second.IsOpen());
}

TEST(HandleAttributesWritten, PermissionsAndModificationDate) {
  TestTree tree;
  const std::string path = tree.File("file", "x");
  QXFileHandle handle(tree.Wide(path), false, false, false, false);
  ASSERT_TRUE(handle.ReadAttributesFromDisk());
  handle.Attributes().mPosixPermissions = 0600;
  handle.Attributes().mModificationDate = 100.5;
  handle.Attributes().mCreationDate = kNoDate;
  ASSERT_TRUE(handle.WriteAttributesToDisk());
  struct stat status;
  ASSERT_EQ(stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0600u);
  EXPECT_EQ(status.st_mtim.tv_sec, 978307200 + 100);
  EXPECT_EQ(status.st_mtim.tv_nsec, 500000000);

  EXPECT_FALSE(handle.SetCreationDateOnDisk());
  EXPECT_EQ(handle.LastErrorCode(), ENOTSUP);

  handle.UpdateLastModifiedToCurrentDate();
  const double now = handle.Attributes().mModificationDate;
  EXPECT_GT(now, 600000000.0);
  EXPECT_TRUE(handle.AddSecondsToLastModified(60));
  EXPECT_DOUBLE_EQ(handle.Attributes().mModificationDate, now + 60);
  EXPECT_EQ(std::chrono::system_clock::to_time_t(QXFileHandle::SecondsToNSDate(1.0)), 978307201);

  QXFileHandle missing(tree.WPath("missing"), false, false, false, false);
  EXPECT_FALSE(missing.WriteAttributesToDisk());
  EXPECT_EQ(missing.LastErrorCode(), ENOENT);
}

TEST(Guards, OpenForTheirScopeOnly) {
  TestTree tree;
  const std::string path = tree.File("file", "guarded");
  QXFileHandle handle(tree.Wide(path), false, false, false, false);
  {
    ReadingGuard guard(handle);
    EXPECT_TRUE(guard.Succeeded());
    EXPECT_TRUE(handle.IsOpen());
    EXPECT_FALSE(guard.IsOpen()) << "the guard acts on the given handle";
  }
  EXPECT_FALSE(handle.IsOpen());
  {
    WritingGuard guard(handle);
    EXPECT_TRUE(guard.Succeeded());
    handle.SetContentAsString("G");
    EXPECT_TRUE(handle.WriteContentToDisk());
  }
  EXPECT_FALSE(handle.IsOpen());
  EXPECT_EQ(Contents(path), "Guarded");
  {
    ReadingGuard guard(tree.Wide(path), false, false, false, false);
    EXPECT_TRUE(guard.Succeeded());
    EXPECT_TRUE(guard.IsOpen());
    EXPECT_TRUE(guard.ReadToEndFromDisk(false));
    EXPECT_EQ(guard.GetContentAsString(), "Guarded");
  }
  ReadingGuard failed(tree.WPath("missing"), false, false, false, false);
  EXPECT_FALSE(failed.Succeeded());
  EXPECT_EQ(failed.LastErrorCode(), ENOENT);
  WritingGuard failedWrite(tree.WPath("missing"), false, false, false, false);
  EXPECT_FALSE(failedWrite.Succeeded());
}

}  // namespace
}  // namespace MacFileOperations
