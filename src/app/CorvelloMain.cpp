// corvello: the desktop application and its command-line modes.
#include <cstdio>

int main(int, char**) {
    std::fprintf(stderr, "corvello: the desktop application is not built yet\n");
    return 1;
}
