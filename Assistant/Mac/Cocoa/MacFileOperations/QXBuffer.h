// A view of caller-owned bytes; the library never frees them.
#pragma once

namespace MacFileOperations {

class QXBuffer {
 public:
  QXBuffer() = default;
  QXBuffer(char* data, unsigned long long size, unsigned long long capacity)
      : mData(data), mSize(size), mCapacity(capacity) {}

  explicit operator bool() const { return mData != nullptr; }
  char* data() const { return mData; }
  unsigned long long size() const { return mSize; }

  // False, and nothing copied, when the bytes do not fit behind the current ones.
  bool add_bytes(const char* bytes, unsigned long long n);
  // False, and nothing copied, when the bytes exceed the capacity.
  bool set_bytes(const char* bytes, unsigned long long n);

 private:
  char* mData = nullptr;
  unsigned long long mSize = 0;
  unsigned long long mCapacity = 0;
};

}  // namespace MacFileOperations
