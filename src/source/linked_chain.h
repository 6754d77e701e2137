// Singly linked chains of heap records, each owning the next through `next`.
#pragma once

#include <memory>

/// Releases the chain that starts at first, one link at a time: letting each record's `next`
/// destroy the rest would recurse once per element and can exhaust the stack on long chains.
template <class Record> void releaseChain(std::unique_ptr<Record>& first) {
    std::unique_ptr<Record> link = std::move(first);
    while (link) {
        link = std::move(link->next);
    }
}
