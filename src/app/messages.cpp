// The console lines of a run and the exit status each outcome ends with.
#include "app/messages.h"

namespace {

struct MessageInfo {
    const char* text;
    int exitStatus;
};

// Indexed by Message. The texts are what users and their scripts have seen for years,
// misspellings included; they must not be "corrected".
constexpr MessageInfo kMessages[] = {
    {"------------------------------------------------\n", -1},
    {" ZEPH Theme Resource Packager V0.1 (2008.08.22) \n", -1},
    {"Error: Theme Folder does not exist\n", 1},
    {"Error: There are no loaded theme Folder. Can't make Bin File\n", 1},
    {"Error: There are no BMP images for packing\n", 1},
    {"Error: Can't write Bin File\n", 1},
    {"Success: Zip file is created!!\n", 0},
    {"Success(1): Bin file is created, but failed to build Zip files\n", 2},
    {"Succees: Bin file is created!!", 0},
    {"All of processing is complented.\n", -1},
};

static_assert(sizeof(kMessages) / sizeof(kMessages[0]) ==
              static_cast<int>(Message::kCompletion) + 1);

} // namespace

const char* messageText(Message message) {
    return kMessages[static_cast<int>(message)].text;
}

int messageExitStatus(Message message) {
    return kMessages[static_cast<int>(message)].exitStatus;
}
