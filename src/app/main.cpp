// Process entry of theme-packager.
#include "app/packager.h"

int main(int argc, char** argv) {
    return runPackager(argc, argv);
}
