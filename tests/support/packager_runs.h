// The console lines of theme-packager runs, and the packager copied alone into a folder of its
// own: run with a PATH that leads nowhere, it finds no VOX_ZIP, so it starts no tool, does not
// wait for one, and leaves the bins uncompressed.
#pragma once

#include <filesystem>
#include <string>

#include "support/run_program.h"
#include "support/temp_folder.h"

inline const std::string kBanner = "------------------------------------------------\n"
                                   " ZEPH Theme Resource Packager V0.1 (2008.08.22) \n"
                                   "------------------------------------------------\n";
inline const std::string kCompletion = "All of processing is complented.\n";
inline const std::string kZipCreated = "Success: Zip file is created!!\n";
inline const std::string kZipFailed =
    "Success(1): Bin file is created, but failed to build Zip files\n";
inline const std::string kCannotWriteBin = "Error: Can't write Bin File\n";

class LonePackager {
public:
    LonePackager() { std::filesystem::copy_file(TP_PACKAGER_BIN, folder_.path("theme-packager")); }

    /// The folder that holds the copy, where a stand-in VOX_ZIP may be put.
    const TempFolder& folder() const { return folder_; }

    /// Runs the copy in root.
    ProgramResult run(const TempFolder& root) const {
        return runProgram(folder_.path("theme-packager"), root.path(), "", "PATH=/nonexistent");
    }

private:
    TempFolder folder_;
};
