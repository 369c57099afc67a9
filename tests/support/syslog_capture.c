/* Stands in for the system logger in tests: preloaded into a child process,
 * it catches openlog/syslog/closelog and appends each message as one line
 * "ident[pid]: message" (or "ident: message" without LOG_PID) to the file
 * named by QX_SYSLOG_CAPTURE_FILE, so tests read what the program logged
 * without a syslog daemon and without touching the production code. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <syslog.h>
#include <unistd.h>

static const char* sIdent;
static int sOption;

void openlog(const char* ident, int option, int facility) {
  (void)facility;
  sIdent = ident;
  sOption = option;
}

void closelog(void) {
  sIdent = NULL;
  sOption = 0;
}

void vsyslog(int priority, const char* format, va_list args) {
  (void)priority;
  const char* path = getenv("QX_SYSLOG_CAPTURE_FILE");
  int savedErrno = errno; /* "%m" and the caller both expect errno untouched */
  char* message = NULL;
  if (path == NULL || *path == '\0' || vasprintf(&message, format, args) < 0) {
    errno = savedErrno;
    return;
  }
  const char* ident = sIdent != NULL ? sIdent : program_invocation_short_name;
  char* line = NULL;
  int length = (sOption & LOG_PID) ? asprintf(&line, "%s[%d]: %s\n", ident, (int)getpid(), message)
                                   : asprintf(&line, "%s: %s\n", ident, message);
  free(message);
  /* One write per line with O_APPEND keeps lines whole across processes. */
  int fd = length < 0 ? -1 : open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd >= 0) {
    ssize_t written = write(fd, line, (size_t)length);
    (void)written;
    close(fd);
  }
  if (length >= 0)
    free(line);
  errno = savedErrno;
}

void syslog(int priority, const char* format, ...) {
  va_list args;
  va_start(args, format);
  vsyslog(priority, format, args);
  va_end(args);
}

/* The fortified entry points that glibc headers use with _FORTIFY_SOURCE. */
void __vsyslog_chk(int priority, int flag, const char* format, va_list args) {
  (void)flag;
  vsyslog(priority, format, args);
}

void __syslog_chk(int priority, int flag, const char* format, ...) {
  (void)flag;
  va_list args;
  va_start(args, format);
  vsyslog(priority, format, args);
  va_end(args);
}
