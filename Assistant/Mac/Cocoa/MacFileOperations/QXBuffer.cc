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

}  // namespace MacFileOperations
