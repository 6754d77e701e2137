// Image records and groups: teardown.
#include "image/image_record.h"

#include "common/linked_chain.h"

ImageRecord::~ImageRecord() {
    releaseChain(next);
}

ImageGroup::~ImageGroup() {
    releaseChain(next);
}
