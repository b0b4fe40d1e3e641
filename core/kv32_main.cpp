#include <cstdio>

int main() {
    std::puts("KV32");
    return 0;
}
