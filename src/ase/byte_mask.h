#pragma once
#include "platform/bits.h"

#include <cstdint>

// Finds the bytes of a 64-byte block that may need the tokenizer's attention,
// sixteen at a time where the processor allows. The result is a superset:
// every byte marked in the table is reported, and a few others may be, so
// callers confirm each hit with the table.
class ByteMask {
public:
    // special[b] non-zero marks byte b.
    void build(const unsigned char special[256]);

    // Bit i set when block[i] may be marked; block must hold 64 readable bytes.
    uint64_t block(const unsigned char* block) const;

private:
    alignas(16) unsigned char lowNibble[16];
    alignas(16) unsigned char highNibble[16];
    unsigned char scalar[256];
};
