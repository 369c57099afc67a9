// xwstring keeps one text as NUL-terminated UTF-8 and as NUL-terminated
// UTF-32 wide characters side by side, or no text at all.
#pragma once

#include <string>

class xwstring {
 public:
  xwstring();
  xwstring(const char* text, int length = -1);
  xwstring(const xwstring& other, int length = -1);
  xwstring(const std::wstring& text, int length = -1);
  xwstring(xwstring&& other) noexcept;
  virtual ~xwstring();

  virtual void Copy(const char* text, int length);
  virtual void Copy(const wchar_t* text, int length);

  xwstring& operator=(const char* text);
  xwstring& operator=(const std::wstring& text);

  // Null when the string holds no text.
  operator char*();
  operator const char*() const;
  operator wchar_t*();

  // Bytes of the UTF-8 form, or -1 when there is no text.
  int length() const;
  void Clear();

 private:
  // The forms in one reference-counted block shared between copies, the
  // wide one made on first use; not thread-safe, like the rest of the client.
  struct Buffer;
  // Makes the buffer this string's own before a writable form is handed out.
  void Detach();
  Buffer* mBuffer = nullptr;
};

// Canonical composition (Unicode normalization form C) of UTF-8 text.
std::string ComposeUTF8(std::string text);
