#include <cstring>

#include "Assistant/Mac/Cocoa/MacFileOperations/QXFileHandle.h"

namespace MacFileOperations {

const char* const NOT_ENOUGH_SPACE_ERROR_MESSAGE = "Not enough space in provided buffer";

void QXFileHandle::SetNotEnoughSpaceError() {
  SetLastError(kNotEnoughSpaceError, L"Not enough space in provided buffer");
}

QXBuffer QXFileHandle::GetContentBuffer() const {
  if (mContentBuffer)
    return mContentBuffer;
  // A view, as of a content buffer: writing through it is the caller's call.
  return QXBuffer(const_cast<char*>(mContentBytes.data()), mContentBytes.size(),
                  mContentBytes.capacity());
}

void QXFileHandle::SetContent(QXBuffer buffer) {
  mContentBuffer = buffer;
}

bool QXFileHandle::AppendToBuffer(const char* bytes, unsigned long long length) {
  if (mContentBuffer) {
    if (mContentBuffer.add_bytes(bytes, length))
      return true;
    SetNotEnoughSpaceError();
    return false;
  }
  mContentBytes.insert(mContentBytes.end(), bytes, bytes + length);
  return true;
}

bool QXFileHandle::OverrideBuffer(const char* bytes, unsigned long long length) {
  if (mContentBuffer) {
    if (mContentBuffer.set_bytes(bytes, length))
      return true;
    SetNotEnoughSpaceError();
    return false;
  }
  mContentBytes.assign(bytes, bytes + length);
  return true;
}

}  // namespace MacFileOperations
