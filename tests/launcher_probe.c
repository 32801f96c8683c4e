/* Started by test_launcher.py the way every test starts a program of this
   build: reports what it sees as one JSON line on stdout (its argv, one
   variable of its environment, whether the library named by PROBE_LIBRARY is
   mapped into it, whether its standard streams are terminals and the first
   line of its standard input), writes a line to stderr and ends with the
   status given as its first argument. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static void printString(const char* text) {
  putchar('"');
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c == '"' || *c == '\\') putchar('\\');
    putchar(*c);
  }
  putchar('"');
}

/* Whether a mapping of this process comes from the file `path`. */
static int mapped(const char* path) {
  FILE* maps = fopen("/proc/self/maps", "r");
  if (maps == NULL || path == NULL || path[0] == '\0') {
    if (maps != NULL) fclose(maps);
    return 0;
  }
  char line[4096];
  int found = 0;
  while (!found && fgets(line, sizeof line, maps) != NULL) found = strstr(line, path) != NULL;
  fclose(maps);
  return found;
}

int main(int argc, char** argv) {
  char input[256] = "";
  if (!isatty(0) && fgets(input, sizeof input, stdin) == NULL) input[0] = '\0';
  input[strcspn(input, "\n")] = '\0';
  const char* mark = getenv("PROBE_MARK");

  printf("{\"argv\": [");
  for (int i = 0; i < argc; ++i) {
    if (i > 0) printf(", ");
    printString(argv[i]);
  }
  printf("], \"mark\": ");
  printString(mark != NULL ? mark : "");
  printf(", \"preloaded\": %s, \"tty\": [%d, %d], \"stdin\": ",
         mapped(getenv("PROBE_LIBRARY")) ? "true" : "false", isatty(0), isatty(1));
  printString(input);
  printf("}\n");
  fflush(stdout);
  fprintf(stderr, "probe: to stderr\n");
  return argc > 1 ? atoi(argv[1]) : 0;
}
