#include <cstring>

#include "Assistant/Mac/Cocoa/MacFileOperations/QXFileHandle.h"

namespace MacFileOperations {

const char* const NOT_ENOUGH_SPACE_ERROR_MESSAGE = "Not enough space in provided buffer";

void QXFileHandle::SetNotEnoughSpaceError() {
  SetLastError(kNotEnoughSpaceError, L"Not enough space in provided buffer");
}

QXBuffer QXFileHandle::GetContentBuffer() {
  if (mContentBuffer)
    return mContentBuffer;
  return QXBuffer(mContentBytes.data(), mContentBytes.size(), mContentBytes.capacity());
}

QXBuffer QXFileHandle::GetContentBuffer() const {
  if (mContentBuffer)
    return mContentBuffer;
  return QXBuffer(mContentBytes.data(), mContentBytes.size(), mContentBytes.capacity());
}

std::string QXFileHandle::GetContentAsString() const {
  QXBuffer content = GetContentBuffer();
  return content.size() != 0 ? std::string(content.data(), content.size()) : std::string();
}

std::wstring QXFileHandle::GetContentAsWString() const {
  QXBuffer content = GetContentBuffer();
  std::wstring text(content.size() / sizeof(wchar_t), L'\0');
  if (!text.empty())
    std::memcpy(text.data(), content.data(), text.size() * sizeof(wchar_t));
  return text;
}

std::vector<char> QXFileHandle::GetContentAsVector() const {
  QXBuffer content = GetContentBuffer();
  if (content.size() == 0)
    return {};
  return std::vector<char>(content.data(), content.data() + content.size());
}

void QXFileHandle::SetContent(const std::string& content, unsigned long long length) {
  mContentBuffer.reset();
  mContentBytes.assign(content.data(), content.data() + std::min<size_t>(length, content.size()));
}

void QXFileHandle::SetContentAsString(const std::string& content) {
  mContentBuffer.reset();
  mContentBytes.assign(content.begin(), content.end());
}

void QXFileHandle::SetContentAsWString(const std::wstring& content) {
  mContentBuffer.reset();
  const char* bytes = reinterpret_cast<const char*>(content.data());
  mContentBytes.insert(mContentBytes.begin(), bytes, bytes + content.size() * sizeof(wchar_t));
}

void QXFileHandle::SetContentAsVector(const std::vector<char>& content) {
  mContentBuffer.reset();
  mContentBytes = content;
}

void QXFileHandle::SetContent(QXBuffer buffer) {
  mContentBuffer = buffer;
}

void QXFileHandle::Reserve(long long size) {
  if (size > 0)
    mContentBytes.reserve(static_cast<size_t>(size));
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
