// Log records go to the system log and, through an output procedure, to the
// browser. The platform subclass decides how a record is written.
#pragma once

class CLogger {
 public:
  typedef void (*OutputProc)(long refCon, const char* record);

  CLogger();
  virtual ~CLogger();
  virtual void Log(const char* level, char* text);

  void Error(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void Warning(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void Info(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void Debug(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void DebugMsg(const char* text);
  void SetOutputProc(OutputProc proc, long refCon);

 protected:
  OutputProc mCallback;
  long mCallbackRefCon;
};

class CLoggerFactory {
 public:
  // The platform's logger; the caller owns it.
  static CLogger* CreateLogger();
};

// One line at debug priority under the product's identity.
void WC_WriteToSyslog(const char* text);

template <typename T>
void WC_DeleteIfObject(T*& object) {
  if (object != nullptr)
    delete object;
  object = nullptr;
}
