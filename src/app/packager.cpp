// The run of theme-packager.
#include "app/packager.h"

int runPackager(int, char**) {
    return 1;
}
