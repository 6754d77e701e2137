// Singly linked chains of heap records, each owning the next through `next`, with the last
// record remembered so that appending does not walk the chain.
#pragma once

#include <memory>

/// Links added behind last (or makes it the first record when the chain is empty) and makes it
/// the last record.
template <class Record>
void appendToChain(std::unique_ptr<Record>& first, Record*& last, std::unique_ptr<Record> added) {
    Record* const record = added.get();
    (last == nullptr ? first : last->next) = std::move(added);
    last = record;
}

/// Releases the chain that starts at first, one link at a time: letting each record's `next`
/// destroy the rest would recurse once per element and can exhaust the stack on long chains.
template <class Record> void releaseChain(std::unique_ptr<Record>& first) {
    std::unique_ptr<Record> link = std::move(first);
    while (link) {
        link = std::move(link->next);
    }
}
