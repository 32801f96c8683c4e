/* A small program built against an installed libdevname through its
 * pkg-config file: names one well-known device and its class. */
#include <devname.h>
#include <stdio.h>
#include <string.h>

int main(void) {
  char name[512];
  char kind[64];
  size_t length = QorGetDeviceInfoN(0x8086u, 0x1229, name, sizeof name);
  QorGetDeviceClassStringN(0x02000000u, kind, sizeof kind);
  int32_t category = QorGetDeviceClassString(0x02000000u, NULL);
  if (category != CategoryNetwork || length != strlen(name)) {
    printf("unexpected category %d or length %zu\n", (int)category, length);
    return 1;
  }
  printf("%s: %s\n", kind, name);
  return strcmp(name, "Intel Corporation 82557 Fast Ethernet PRO/100") == 0 ? 0 : 1;
}
