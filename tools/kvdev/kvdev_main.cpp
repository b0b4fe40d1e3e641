#include <cstdio>

int main() {
    std::puts("kvdev");
    return 0;
}
