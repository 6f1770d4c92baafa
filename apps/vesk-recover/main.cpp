#include <cstdio>

#include "vesk/veskdll.h"

int main() {
  std::printf("vesk-recover: not yet\n");
  return 0;
}
