#include <string>

#include "Assistant/Mac/Cocoa/MacFileOperations/QXFileHandle.h"

namespace MacFileOperations {

const char* const NOT_ENOUGH_SPACE_ERROR_MESSAGE = "Not enough space in provided buffer";

bool QXFileHandle::BufferTook(bool took) {
  if (!took) {
    const std::string text = NOT_ENOUGH_SPACE_ERROR_MESSAGE;
    SetLastError(kNotEnoughSpaceError, std::wstring(text.begin(), text.end()));
  }
  return took;
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
  if (mContentBuffer)
    return BufferTook(mContentBuffer.add_bytes(bytes, length));
  mContentBytes.insert(mContentBytes.end(), bytes, bytes + length);
  return true;
}

bool QXFileHandle::OverrideBuffer(const char* bytes, unsigned long long length) {
  if (mContentBuffer)
    return BufferTook(mContentBuffer.set_bytes(bytes, length));
  mContentBytes.assign(bytes, bytes + length);
  return true;
}

}  // namespace MacFileOperations
