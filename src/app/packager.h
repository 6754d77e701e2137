// The run of theme-packager: banner, settings, load phase, build phase, completion line.
#pragma once

/// Runs the packager in the current folder. The arguments are ignored. Returns the process exit
/// status: 0 when everything was packed and compressed, 2 when the bins were written but the
/// compression failed, 1 after any error.
int runPackager(int argc, char** argv);
