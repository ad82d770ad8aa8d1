#include <cstdio>

int main() {
  std::fprintf(stderr, "usage: reelwork-cli COMMAND ...\n");
  return 2;
}
