// Writes BMP files of every form the reader accepts, and broken ones, for tests and benchmarks.
#pragma once
