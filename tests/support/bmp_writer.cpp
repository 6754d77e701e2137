#include "bmp_writer.h"
