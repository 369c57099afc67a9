#include "Assistant/Mac/Cocoa/MacFileOperations/QXBuffer.h"

#include <cstring>

namespace MacFileOperations {

bool QXBuffer::add_bytes(const char* bytes, unsigned long long n) {
  if (n > mCapacity - mSize)
    return false;
  if (n != 0)
    std::memcpy(mData + mSize, bytes, n);
  mSize += n;
  return true;
}

bool QXBuffer::set_bytes(const char* bytes, unsigned long long n) {
  if (n > mCapacity)
    return false;
  if (n != 0)
    std::memmove(mData, bytes, n);
  mSize = n;
  return true;
}

bool QXBuffer::operator==(const QXBuffer& other) const {
  if (mData == other.mData && mSize == other.mSize && mCapacity == other.mCapacity)
    return true;
  if (mSize != other.mSize)
    return false;
  if (mSize == 0)
    return true;
  if (mData == nullptr || other.mData == nullptr)
    return false;
  return std::memcmp(mData, other.mData, mSize) == 0;
}

}  // namespace MacFileOperations
