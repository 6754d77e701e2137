// VOX_ZIP: compresses one file into FILE.gz, or restores it.
#include <cstdio>

int main() {
    std::fputs("VOX_ZIP: not implemented yet\n", stderr);
    return 1;
}
