/* Run over simulated disks by test_simdisk_helper.py: makes one call of each
   kind the library answers and prints what came back as one JSON object, so
   that the settings the Python helper writes can be checked against what a
   program of the same build sees. A failed call shows as {"errno": N}. */
#include <errno.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/hdreg.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

/* The IDE driver request that answers with the drive's geometry word. */
enum { IdeGeometryRequest = 0x0303 };

static void printErrno(const char* name, int error) { printf("\"%s\": {\"errno\": %d}, ", name, error); }

static void printHex(const char* name, const unsigned char* bytes, size_t count) {
  printf("\"%s\": \"", name);
  for (size_t i = 0; i < count; ++i) printf("%02x", bytes[i]);
  printf("\", ");
}

int main(void) {
  int fd = open("/dev/sda", O_RDWR);
  if (fd < 0) {
    perror("open /dev/sda");
    return 1;
  }
  printf("{");

  unsigned long sectors = 0;
  if (ioctl(fd, BLKGETSIZE, &sectors) == 0)
    printf("\"size\": %lu, ", sectors);
  else
    printErrno("size", errno);

  unsigned char ide[16] = {0};
  if (ioctl(fd, IdeGeometryRequest, ide) == 0)
    printHex("ide", ide, 4);
  else
    printErrno("ide", errno);

  struct hd_geometry geometry;
  memset(&geometry, 0, sizeof geometry);
  if (ioctl(fd, HDIO_GETGEO, &geometry) == 0)
    printf("\"getgeo\": [%u, %u, %u], ", geometry.heads, geometry.sectors, geometry.cylinders);
  else
    printErrno("getgeo", errno);

  int sectorSize = 0;
  if (ioctl(fd, BLKSSZGET, &sectorSize) == 0)
    printf("\"sector\": %d, ", sectorSize);
  else
    printErrno("sector", errno);

  char buffer[100];
  printf("\"read\": %zd, ", pread(fd, buffer, sizeof buffer, 2560));
  printf("\"write\": %zd, ", pwrite(fd, "WEXD", 4, 2560));
  close(fd);

  char media[32] = "";
  FILE* file = fopen("/proc/ide/hda/media", "r");
  if (file != NULL) {
    if (fgets(media, sizeof media, file) == NULL) media[0] = '\0';
    fclose(file);
  }
  media[strcspn(media, "\n")] = '\0';
  printf("\"media\": \"%s\", ", media);

  int other = open("/dev/sdb", O_RDWR);
  if (other >= 0) {
    printf("\"sdb\": \"opened\"}\n");
    close(other);
  } else {
    printf("\"sdb\": {\"errno\": %d}}\n", errno);
  }
  return 0;
}
