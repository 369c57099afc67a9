// xwstring keeps one text as NUL-terminated UTF-8 and as NUL-terminated
// UTF-32 wide characters side by side, or no text at all.
#pragma once

#include <string>

class xwstring {
 public:
  xwstring();
  xwstring(const char* text, int length = -1);
  xwstring(const wchar_t* text, int length = -1);
  xwstring(const xwstring& other, int length = -1);
  xwstring(const std::wstring& text, int length = -1);
  xwstring(xwstring&& other) noexcept;
  virtual ~xwstring();

  virtual void Copy(const char* text, int length);
  virtual void Copy(const wchar_t* text, int length);

  xwstring& operator=(const char* text);
  xwstring& operator=(const wchar_t* text);
  xwstring& operator=(const std::wstring& text);
  xwstring& operator=(const xwstring& other);
  xwstring& operator=(xwstring&& other) noexcept;

  // Null when the string holds no text.
  operator char*();
  operator const char*() const;
  operator wchar_t*();
  operator const wchar_t*() const;
  const wchar_t* c_xwstring() const;

  // Bytes of the UTF-8 form, or -1 when there is no text.
  int length() const;
  void Clear();

  static void ClearMemory(void* buffer, long size);
  // Both return the number of units produced (or needed) plus one for the
  // terminator; a negative count means "up to the source's terminator".
  static long ConvertToUnicode(const char* source, long count, wchar_t* destination, long capacity);
  static long ConvertFromUnicode(const wchar_t* source, long count, char* destination,
                                 long capacity);

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
