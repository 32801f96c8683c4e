/* A small program built against an installed libdevname through its
 * pkg-config file: names one well-known device and its class. */
#include <devname.h>
#include <stdio.h>
#include <string.h>

int main(void) {
  char name[512];
  char kind[512];
  QorGetDeviceInfo(0x8086u, 0x1229, name);
  int32_t category = QorGetDeviceClassString(0x02000000u, kind);
  if (category != CategoryNetwork) {
    printf("unexpected category %d\n", (int)category);
    return 1;
  }
  printf("%s: %s\n", kind, name);
  return strcmp(name, "Intel Corporation 82557 Fast Ethernet PRO/100") == 0 ? 0 : 1;
}
