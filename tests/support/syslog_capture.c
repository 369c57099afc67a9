/* Stands in for the system logger in tests: preloaded into a child process,
 * it appends each message as one line "ident[pid]: message" to the file named
 * by QX_SYSLOG_CAPTURE_FILE, so tests read what the program logged without a
 * syslog daemon. With QX_SYSLOG_CAPTURE_STDOUT set it also prints each line on
 * fd 1, the way a chatty library would, to show that such output never
 * reaches the browser. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <syslog.h>
#include <unistd.h>

static const char* sIdent;

void openlog(const char* ident, int option, int facility) {
  (void)option;
  (void)facility;
  sIdent = ident;
}

static void Capture(const char* format, va_list args) {
  const char* path = getenv("QX_SYSLOG_CAPTURE_FILE");
  const int savedErrno = errno; /* "%m" and the caller both expect errno untouched */
  char *message = NULL, *line = NULL;
  if (path != NULL && *path != '\0' && vasprintf(&message, format, args) >= 0) {
    const char* ident = sIdent != NULL ? sIdent : program_invocation_short_name;
    const int length = asprintf(&line, "%s[%d]: %s\n", ident, (int)getpid(), message);
    /* One write per line with O_APPEND keeps lines whole across processes. */
    const int fd = length < 0 ? -1 : open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd >= 0) {
      const ssize_t written = write(fd, line, (size_t)length);
      (void)written;
      close(fd);
    }
    if (fd >= 0 && getenv("QX_SYSLOG_CAPTURE_STDOUT") != NULL) {
      const ssize_t printed = write(STDOUT_FILENO, line, (size_t)length);
      (void)printed;
    }
    free(message);
    free(length < 0 ? NULL : line);
  }
  errno = savedErrno;
}

void syslog(int priority, const char* format, ...) {
  (void)priority;
  va_list args;
  va_start(args, format);
  Capture(format, args);
  va_end(args);
}

/* The fortified entry point that glibc's headers use with _FORTIFY_SOURCE. */
void __syslog_chk(int priority, int flag, const char* format, ...) {
  (void)priority;
  (void)flag;
  va_list args;
  va_start(args, format);
  Capture(format, args);
  va_end(args);
}
