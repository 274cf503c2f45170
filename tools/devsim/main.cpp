#include <cstdio>

int main() {
    std::fprintf(stderr, "velkor-devsim: not built yet\n");
    return 64;
}
