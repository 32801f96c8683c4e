/* Started once when a 32-bit build is configured: whether it runs tells
   whether this machine's kernel can execute the build's programs. */
int main(void) { return 0; }
