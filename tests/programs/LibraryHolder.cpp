// Loads libqx5dll.so and keeps it loaded until killed (at most a minute): the other process
// that the single-process guard must see.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : "libqx5dll.so";
  void* library = dlopen(path, RTLD_NOW);
  if (!library) {
    std::fprintf(stderr, "%s\n", dlerror());
    return 1;
  }
  std::printf("holding %s\n", path);
  std::fflush(stdout);
  sleep(60);
  return 0;
}
