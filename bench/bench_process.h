// Starting the programs a benchmark compares and measuring what each cost. Benchmarks run on
// Linux; the OS calls live in bench_process_posix.cpp.
#pragma once

#include <string>
#include <vector>

/// What the processes of one measurement cost: wall time from the first start to the last end,
/// CPU time summed over them (and the children each waited for), the largest peak memory.
struct Measure {
    double wall = 0;
    double cpu = 0;
    double peakMiB = 0;
};

/// Runs the commands (argv[0] a path), all started together in folder with PATH leading nowhere,
/// the environment's other variables and those of extraEnvironment ("NAME=value"), and their
/// output discarded, and adds what they cost to measure. Fills statuses with each exit status
/// (128 + signal when killed, -1 when it could not start). Returns false when one could not be
/// started or waited for.
bool runTogether(const std::vector<std::vector<std::string>>& commands, const std::string& folder,
                 Measure& measure, std::vector<int>& statuses,
                 const std::vector<std::string>& extraEnvironment = {});
