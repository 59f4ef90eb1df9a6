#pragma once
// An independent reader of the qrv mesh pack, for checking what the writer
// produced. It finds the chunks from the tail (end mark, count, offsets) the
// way a loader does and parses every field with bounds checks.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct PackSlot {
    uint32_t length = 0;
    std::string name;  // without the terminating zero
    float params[4] = {};
};

struct PackSubset {
    uint16_t firstIndex = 0;
    uint16_t triangleCount = 0;
    PackSlot slots[4];
};

struct PackChunk {
    uint32_t offset = 0;
    uint32_t nameLength = 0;
    std::string name;
    float transform[16] = {};
    uint32_t textureSets = 0;
    std::vector<uint32_t> vertexWords;  // 8 per record
    std::vector<float> normals;   // 3 per record
    float boundsMin[3] = {}, boundsMax[3] = {};
    std::vector<uint16_t> indices;
    std::vector<PackSubset> subsets;
    uint32_t vertexCount() const { return (uint32_t)(vertexWords.size() / 8); }
    float vertex(uint32_t v, int word) const {
        float value;
        std::memcpy(&value, &vertexWords[8 * v + word], 4);
        return value;
    }
};

class PackParser {
public:
    PackParser(const std::vector<unsigned char>& bytes) : data(bytes) {}

    // Empty on success, otherwise what is wrong.
    std::string read(std::vector<PackChunk>* chunks) {
        size_t size = data.size();
        if (size < 8) return "shorter than the trailer";
        at = size - 4;
        if (u32() != 0xDEADBEEFu) return "no end mark";
        at = size - 8;
        uint32_t count = u32();
        if ((uint64_t)count * 4 > size - 8) return "chunk count does not fit";
        size_t table = size - 8 - 4 * (size_t)count;
        std::vector<uint32_t> offsets(count);
        at = table;
        for (uint32_t i = 0; i < count; ++i) offsets[i] = u32();
        chunks->assign(count, PackChunk());
        for (uint32_t i = 0; i < count; ++i) {
            size_t end = i + 1 < count ? offsets[i + 1] : table;
            if (i == 0 && offsets[0] != 0) return "first chunk not at offset 0";
            std::string problem = chunk(offsets[i], end, &(*chunks)[i]);
            if (!problem.empty()) return "chunk " + std::to_string(i) + ": " + problem;
        }
        if (count == 0 && table != 0) return "bytes before an empty table";
        return "";
    }

private:
    bool fits(size_t n) { return !bad && at + n <= limit ? true : (bad = true, false); }
    uint32_t le(int n) {  // little-endian, n bytes
        if (!fits(n)) return 0;
        uint32_t value = 0;
        for (int i = n - 1; i >= 0; --i) value = value << 8 | data[at + i];
        at += n;
        return value;
    }
    uint32_t u32() { return le(4); }
    uint16_t u16() { return (uint16_t)le(2); }
    float f32() {
        uint32_t bits = u32();
        float value;
        std::memcpy(&value, &bits, 4);
        return value;
    }
    // Length-prefixed name; the length counts a terminating zero.
    bool name(uint32_t* length, std::string* text) {
        *length = u32();
        if (*length == 0) return !bad;
        if (!fits(*length)) return false;
        const char* p = (const char*)&data[at];
        at += *length;
        if (p[*length - 1] != '\0' || std::memchr(p, 0, *length - 1)) return false;
        text->assign(p, *length - 1);
        return true;
    }

    std::string chunk(size_t start, size_t end, PackChunk* c) {
        if (start > end || end > data.size()) return "offset out of range";
        at = start;
        limit = end;
        c->offset = (uint32_t)start;
        if (u32() != 0xDEAFBABEu) return "no chunk magic";
        if (!name(&c->nameLength, &c->name)) return "bad name";
        for (float& value : c->transform) value = f32();
        c->textureSets = u32();
        if (c->textureSets != 1 && c->textureSets != 2) return "bad texture set count";
        uint32_t count = u32();
        if (!fits((size_t)count * 32)) return "vertices overrun";
        for (uint32_t i = 0; i < 8 * count; ++i) c->vertexWords.push_back(u32());
        count = u32();
        if (!fits((size_t)count * 12)) return "normals overrun";
        for (uint32_t i = 0; i < 3 * count; ++i) c->normals.push_back(f32());
        for (float& value : c->boundsMin) value = f32();
        for (float& value : c->boundsMax) value = f32();
        count = u32();
        if (!fits((size_t)count * 2)) return "indices overrun";
        for (uint32_t i = 0; i < count; ++i) c->indices.push_back(u16());
        count = u32();
        if (!fits((size_t)count * 4)) return "subsets overrun";
        c->subsets.resize(count);
        for (PackSubset& subset : c->subsets) {
            subset.firstIndex = u16();
            subset.triangleCount = u16();
            for (PackSlot& slot : subset.slots) {
                if (!name(&slot.length, &slot.name)) return "bad texture name";
                for (float& value : slot.params) value = f32();
            }
        }
        if (bad) return "truncated";
        if (at != end) return "chunk does not end at the next offset";
        return "";
    }

    const std::vector<unsigned char>& data;
    size_t at = 0, limit = SIZE_MAX;
    bool bad = false;
};

// Structure checks that hold for every pack: identity transform, indices
// below the vertex count, subsets covering the index list in order, bounds
// holding every vertex, and the fixed slot contents. Empty when all hold.
inline std::string checkChunk(const PackChunk& c) {
    for (int i = 0; i < 16; ++i)
        if (c.transform[i] != (i % 5 == 0 ? 1.0f : 0.0f)) return "transform is not the identity";
    for (uint16_t index : c.indices)
        if (index >= c.vertexCount()) return "index " + std::to_string(index) + " out of range";
    if (c.indices.size() % 3 != 0) return "index count not a multiple of 3";
    if (!c.subsets.empty()) {
        uint32_t next = 0;
        for (const PackSubset& s : c.subsets) {
            if (s.firstIndex != next) return "subsets leave a gap";
            next += 3u * s.triangleCount;
        }
        if (next != c.indices.size()) return "subsets do not cover the index list";
    }
    for (uint32_t v = 0; v < c.vertexCount(); ++v)
        for (int i = 0; i < 3; ++i) {
            float x = c.vertex(v, i);
            if (!(x >= c.boundsMin[i] && x <= c.boundsMax[i])) return "vertex outside the bounds";
        }
    for (const PackSubset& s : c.subsets) {
        for (const PackSlot& slot : s.slots)
            if (slot.params[0] != 0 || slot.params[1] != 0 || slot.params[2] != 1 || slot.params[3] != 1)
                return "bad slot parameters";
        if ((s.slots[1].length > 0) != (c.textureSets == 2)) return "lightmap slot does not match S";
        if (s.slots[2].length || s.slots[3].length) return "slots 2 and 3 are not empty";
    }
    if (c.textureSets == 2)
        for (uint32_t v = 0; v < c.vertexCount(); ++v)
            if (c.vertexWords[8 * v + 3] != 0) return "dual-set record without its zero word";
    return "";
}
