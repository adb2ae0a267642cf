#include <cstdio>

// Lists the instrument presets with their serial defaults.
int main() {
    std::puts("No presets yet.");
    return 0;
}
