/* Preload library for the translation tests: records every text the program
 * looks up in its own text domain, then answers as the C library would.
 *
 * Active when WEX_MSGID_LOG names a file; each looked-up text is appended to
 * it followed by a zero byte. Lookups in a named domain (the libraries' own)
 * are not recorded. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

typedef char* (*DcgettextFunction)(const char*, const char*, int);

char* dcgettext(const char* domain, const char* text, int category);

static void record(const char* text) {
  const char* path = getenv("WEX_MSGID_LOG");
  if (path == NULL || path[0] == '\0' || text == NULL) return;
  int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  size_t length = strlen(text) + 1; /* the terminator separates the texts */
  const char* at = text;
  while (length > 0) {
    ssize_t written = write(fd, at, length);
    if (written <= 0) break;
    at += written;
    length -= (size_t)written;
  }
  close(fd);
}

__attribute__((visibility("default"))) char* dcgettext(const char* domain, const char* text, int category) {
  if (domain == NULL) record(text);
  void* symbol = dlsym(RTLD_NEXT, "dcgettext");
  DcgettextFunction real = NULL;
  memcpy(&real, &symbol, sizeof real); /* POSIX: dlsym's object pointer names the function */
  if (real == NULL) return (char*)text;
  return real(domain, text, category);
}
