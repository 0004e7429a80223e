// Provokes one sanitizer report, chosen by the argument, and then exits normally:
// only the sanitizer's own handling can make the run fail.

#include <climits>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    if (std::strcmp(argv[1], "overflow") == 0) {
        volatile int big = INT_MAX;
        const int sum = big + 1;
        std::printf("%d\n", sum);
    } else if (std::strcmp(argv[1], "leak") == 0) {
        int* volatile lost = new int[16];
        lost = nullptr;
    }
    return 0;
}
