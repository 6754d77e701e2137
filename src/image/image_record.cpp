// Image records and groups: filing and teardown.
#include "image/image_record.h"

// Long chains are released one link at a time: the default destructor would recurse once per
// element and could exhaust the stack on thousands of images.
ImageRecord::~ImageRecord() {
    std::unique_ptr<ImageRecord> link = std::move(next);
    while (link) {
        link = std::move(link->next);
    }
}

ImageGroup::~ImageGroup() {
    std::unique_ptr<ImageGroup> link = std::move(next);
    while (link) {
        link = std::move(link->next);
    }
}
