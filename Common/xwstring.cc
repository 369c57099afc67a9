#include "Common/xwstring.h"

#include <glib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>

#include "platform/core/TextConversion.h"

// The narrow form lives right after the header; the wide form, four bytes a
// character, is made only when asked for, since most strings (the paths of
// an upload list) are only ever read as UTF-8. Copies of a string share the
// buffer by reference count, since upload lists hold the same paths many
// times over. Sharing is not thread-safe: strings stay on the thread that
// made them.
struct xwstring::Buffer {
  uint32_t refs;
  // A writable pointer has been handed out, so the forms may no longer agree
  // and a copy must be rebuilt from the wide form rather than shared.
  bool exposed;
  // The one empty text, which most relative paths are: never counted,
  // changed or freed, so threads may share it too.
  bool shared;
  wchar_t* wideForm;  // null until first asked for

  char* narrow() { return reinterpret_cast<char*>(this + 1); }

  const wchar_t* wide() {
    if (wideForm == nullptr) {
      const size_t bytes = strlen(narrow());
      wideForm = AllocateWide(QXDecodedLength(narrow(), bytes) + 1);
      wideForm[QXDecodeUTF8Into(narrow(), bytes, wideForm)] = L'\0';
    }
    return wideForm;
  }

  static wchar_t* AllocateWide(size_t size) {
    void* memory = malloc(size * sizeof(wchar_t));
    if (memory == nullptr)
      throw std::bad_alloc();
    return static_cast<wchar_t*>(memory);
  }

  static Buffer* Empty() {
    static wchar_t wide[1] = {L'\0'};
    static struct {
      Buffer header;
      char narrow;
    } empty = {{1, false, true, wide}, '\0'};
    return &empty.header;
  }

  static Buffer* Retain(Buffer* buffer) {
    if (!buffer->shared)
      ++buffer->refs;
    return buffer;
  }

  bool HasOtherOwners() const { return shared || refs > 1; }

  static Buffer* Allocate(size_t narrowSize) {
    void* memory = malloc(sizeof(Buffer) + narrowSize);
    if (memory == nullptr)
      throw std::bad_alloc();
    Buffer* buffer = new (memory) Buffer;
    buffer->refs = 1;
    buffer->exposed = false;
    buffer->shared = false;
    buffer->wideForm = nullptr;
    return buffer;
  }

  static void Release(Buffer* buffer) {
    if (buffer != nullptr && !buffer->shared && --buffer->refs == 0) {
      free(buffer->wideForm);
      free(buffer);
    }
  }
};

static_assert(sizeof(wchar_t) == 4, "wide strings are UTF-32");

xwstring::xwstring() = default;

xwstring::xwstring(const char* text, int length) {
  Copy(text, length);
}

xwstring::xwstring(const xwstring& other, int length) {
  if (other.mBuffer == nullptr)
    return;
  if (length < 0 && !other.mBuffer->exposed) {
    mBuffer = Buffer::Retain(other.mBuffer);
    return;
  }
  Copy(other.mBuffer->wide(), length);
}

xwstring::xwstring(const std::wstring& text, int length) {
  Copy(text.c_str(), length);
}

xwstring::xwstring(xwstring&& other) noexcept : mBuffer(other.mBuffer) {
  other.mBuffer = nullptr;
}

xwstring::~xwstring() {
  Clear();
}

void xwstring::Copy(const char* text, int length) {
  if (text == nullptr) {
    Clear();
    return;
  }
  const size_t bytes = length < 0 ? strlen(text) : strnlen(text, size_t(length));
  if (bytes == 0) {
    Buffer::Release(mBuffer);
    mBuffer = Buffer::Empty();
    return;
  }
  Buffer* buffer = Buffer::Allocate(bytes + 1);
  char* narrow = buffer->narrow();
  memcpy(narrow, text, bytes);
  narrow[bytes] = '\0';
  Buffer::Release(mBuffer);
  mBuffer = buffer;
}

void xwstring::Copy(const wchar_t* text, int length) {
  if (text == nullptr) {
    Clear();
    return;
  }
  // The wide form is kept as given: values without a UTF-8 form would not
  // come back from the narrow one.
  const size_t chars = length < 0 ? wcslen(text) : wcsnlen(text, size_t(length));
  if (chars == 0) {
    Buffer::Release(mBuffer);
    mBuffer = Buffer::Empty();
    return;
  }
  const size_t bytes = QXEncodedLength(text, chars);
  Buffer* buffer = Buffer::Allocate(bytes + 1);
  std::unique_ptr<Buffer, void (*)(Buffer*)> owner(buffer, Buffer::Release);
  char* narrow = buffer->narrow();
  narrow[QXEncodeUTF8Into(text, chars, narrow)] = '\0';
  buffer->wideForm = Buffer::AllocateWide(chars + 1);
  wmemcpy(buffer->wideForm, text, chars);
  buffer->wideForm[chars] = L'\0';
  Buffer::Release(mBuffer);
  mBuffer = owner.release();
}

xwstring& xwstring::operator=(const char* text) {
  Copy(text, -1);
  return *this;
}

xwstring& xwstring::operator=(const std::wstring& text) {
  Copy(text.c_str(), -1);
  return *this;
}

xwstring::operator char*() {
  if (mBuffer == nullptr)
    return nullptr;
  Detach();
  return mBuffer->narrow();
}

xwstring::operator const char*() const {
  return mBuffer ? mBuffer->narrow() : nullptr;
}

xwstring::operator wchar_t*() {
  if (mBuffer == nullptr)
    return nullptr;
  Detach();
  return mBuffer->wideForm;
}

int xwstring::length() const {
  if (mBuffer == nullptr)
    return -1;
  return static_cast<int>(strlen(mBuffer->narrow()));
}

void xwstring::Clear() {
  Buffer::Release(mBuffer);
  mBuffer = nullptr;
}

void xwstring::Detach() {
  if (mBuffer->HasOtherOwners()) {
    const size_t narrowSize = strlen(mBuffer->narrow()) + 1;
    Buffer* own = Buffer::Allocate(narrowSize);
    std::unique_ptr<Buffer, void (*)(Buffer*)> owner(own, Buffer::Release);
    memcpy(own->narrow(), mBuffer->narrow(), narrowSize);
    if (mBuffer->wideForm != nullptr) {
      const size_t wideSize = wcslen(mBuffer->wideForm) + 1;
      own->wideForm = Buffer::AllocateWide(wideSize);
      wmemcpy(own->wideForm, mBuffer->wideForm, wideSize);
    }
    Buffer::Release(mBuffer);
    mBuffer = owner.release();
  }
  // Both forms exist before either can be written through.
  mBuffer->wide();
  mBuffer->exposed = true;
}

std::string ComposeUTF8(std::string text) {
  // The text is taken as a C string.
  const size_t nul = text.find('\0');
  if (nul != std::string::npos)
    text.resize(nul);
  std::string composed = QXComposeNFC(text);
  // The composition buffer holds 2047 bytes of text; a longer result is cut
  // after the last whole character that fits.
  constexpr size_t kLimit = 2047;
  if (composed.size() > kLimit) {
    size_t cut = 0;
    while (cut < composed.size()) {
      const char* p = composed.data() + cut;
      const gunichar c = g_utf8_get_char_validated(p, composed.size() - cut);
      const size_t step = c < 0x110000 ? g_utf8_skip[static_cast<unsigned char>(*p)] : 1;
      if (cut + step > kLimit)
        break;
      cut += step;
    }
    composed.resize(cut);
  }
  return composed;
}
