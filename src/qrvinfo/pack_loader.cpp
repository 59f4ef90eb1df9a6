#include "qrvinfo/pack_loader.h"

#include "qrvinfo/escape.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

// What is checked beyond the layout, and why it holds for every pack the
// writer produces:
// - names end in their only zero byte; mesh names are lower case;
// - the transform is the identity, bit for bit; texture slots carry 0, 0, 1, 1;
// - normal count 0 (welded, one set: the records carry the normals) or the
//   vertex count; with two sets always the vertex count; with one set and
//   normal records these repeat the records' normals;
// - index count a multiple of 3, at most kMaxIndices, and at least the vertex count:
//   every vertex comes from a corner, and vertices are numbered in the order
//   the triangles first use them (plain: 0, 1, 2, ...; welded: first key
//   first). One set with normal records is the plain stream: one vertex per
//   index;
// - subsets, when there are any, run contiguously from index 0 and cover every
//   index; only a lone subset may be empty. A mesh without subsets (invalid
//   material reference) may still have triangles;
// - slot 1 is empty with one set and the mesh name plus the file-wide lightmap
//   suffix with two; slots 2 and 3 are empty;
// - bounds are the smallest and largest vertex coordinates, bit for bit as
//   the writer finds them: in record order, replaced only by a strictly
//   smaller or larger value (so of 0 and -0 the first met stays). NaN
//   coordinates never compare, so they never reach the bounds; an axis
//   without any number keeps the starting extremes.

namespace {

const uint32_t kMinSubsetSize = kSubsetHeaderSize + kTextureSlots * kEmptySlotSize;

struct Loader {
    const unsigned char* bytes;
    uint32_t size;
    uint32_t at;     // next byte to read
    uint32_t limit;  // end of the current chunk
    char limitName[48];
    char where[96];  // names the mesh in every field
    PackError* error;
    // The lightmap suffix of the first lightmap name met.
    bool haveSuffix;
    uint32_t suffixOffset;
    uint32_t suffixLength;
    int32_t suffixMesh;
};

// Sets the error; field is prefixed with the current mesh. Always 0.
int fail(Loader& l, int64_t offset, const char* field, const char* expected, const char* found, ...)
    __attribute__((format(printf, 5, 6)))
    ;

int fail(Loader& l, int64_t offset, const char* field, const char* expected, const char* found,
         ...) {
    PackError& e = *l.error;
    e.offset = offset;
    if (l.where[0])
        std::snprintf(e.field, sizeof e.field, "%s %s", l.where, field);
    else
        std::snprintf(e.field, sizeof e.field, "%s", field);
    std::snprintf(e.expected, sizeof e.expected, "%s", expected);
    va_list arguments;
    va_start(arguments, found);
    std::vsnprintf(e.found, sizeof e.found, found, arguments);
    va_end(arguments);
    return 0;
}

// Sets the error for memory that ran out. Always 0.
int failMemory(Loader& l) {
    *l.error = outOfMemoryError();
    return 0;
}

// A name (length counting its terminator) for messages: cut after 32 bytes,
// or sooner where its escapes would not fit. false when memory ran out.
bool quoteName(const unsigned char* bytes, uint32_t length, char* out, size_t room) {
    Array<char> text;
    for (uint32_t most = 32;; --most) {
        text.count = 0;
        if (!appendTextName(text, bytes, length > 0 ? length - 1 : 0, most)) return false;
        if ((size_t)text.count < room) break;
    }
    std::snprintf(out, room, "%.*s", (int)text.count, text.items);
    return true;
}

struct HexText {
    char text[12];
};
HexText hex(uint32_t value) {
    HexText hex;
    std::snprintf(hex.text, sizeof hex.text, "0x%08X", value);
    return hex;
}

int failRoom(Loader& l, const char* field, uint32_t needed) {
    char expected[96];
    std::snprintf(expected, sizeof expected, "%u bytes before byte %u (%s)", needed, l.limit,
                  l.limitName);
    return fail(l, l.at, field, expected, "%u bytes", l.limit - l.at);
}

int takeU32(Loader& l, const char* field, uint32_t* value) {
    if (l.limit - l.at < 4) return failRoom(l, field, 4);
    *value = loadU32(l.bytes + l.at);
    l.at += 4;
    return 1;
}

// count records of recordSize bytes must fit between the cursor and the limit;
// the count field itself sits just before the cursor.
int checkFit(Loader& l, const char* field, uint32_t count, uint32_t recordSize,
             const char* records) {
    const uint32_t fit = (l.limit - l.at) / recordSize;
    if (count <= fit) return 1;
    char expected[128];
    std::snprintf(expected, sizeof expected, "at most %u (%s that fit before byte %u, %s)", fit,
                  records, l.limit, l.limitName);
    return fail(l, l.at - 4, field, expected, "%u", count);
}

int takeCount(Loader& l, const char* field, uint32_t recordSize, const char* records,
              uint32_t* count) {
    return takeU32(l, field, count) && checkFit(l, field, *count, recordSize, records);
}

int takeF32Exact(Loader& l, const char* field, float wanted) {
    uint32_t bits = 0, wantedBits;
    std::memcpy(&wantedBits, &wanted, 4);
    if (!takeU32(l, field, &bits)) return 0;
    if (bits == wantedBits) return 1;
    char expected[48];
    std::snprintf(expected, sizeof expected, "0x%08X (%g)", wantedBits, (double)wanted);
    return fail(l, l.at - 4, field, expected, "0x%08X (%g)", bits,
                (double)loadF32(l.bytes + l.at - 4));
}

// A name: length, then that many bytes ending in their only zero byte.
int takeName(Loader& l, const char* field, bool lowerCase, NameRef* name) {
    char lengthField[96];
    std::snprintf(lengthField, sizeof lengthField, "%s length", field);
    if (!takeCount(l, lengthField, 1, "name bytes", &name->length)) return 0;
    name->offset = l.at;
    if (name->length == 0) return 1;
    const unsigned char* text = l.bytes + l.at;
    const uint32_t last = name->length - 1;
    for (uint32_t i = 0; i < last; ++i) {
        if (text[i] == 0)
            return fail(l, l.at + i, field, "a character (a name ends at its only zero byte)",
                        "0x00 at character %u", i);
        if (lowerCase && text[i] >= 'A' && text[i] <= 'Z')
            return fail(l, l.at + i, field, "lower case", "'%c' at character %u", text[i], i);
    }
    if (text[last] != 0) {
        char terminator[96];
        std::snprintf(terminator, sizeof terminator, "%s terminator", field);
        return fail(l, l.at + last, terminator, "0x00", "0x%02X", text[last]);
    }
    l.at += name->length;
    return 1;
}

bool sameBitsOrNaN(float a, float b) {
    return std::memcmp(&a, &b, 4) == 0 || (std::isnan(a) && std::isnan(b));
}

int checkLightmap(Loader& l, const NameRef& meshName, const NameRef& lightmap, int32_t mesh) {
    const uint32_t nameChars = meshName.length > 0 ? meshName.length - 1 : 0;
    const char* field = "texture slot 1 (lightmap) name";
    char expected[160], quoted[48];
    if (!quoteName(l.bytes + meshName.offset, meshName.length, quoted, sizeof quoted)) return failMemory(l);
    if (lightmap.length == 0 ? nameChars > 0
                             : lightmap.length - 1 < nameChars ||
                                   std::memcmp(l.bytes + lightmap.offset, l.bytes + meshName.offset,
                                               nameChars) != 0) {
        std::snprintf(expected, sizeof expected,
                      "the mesh name %s and the lightmap suffix (two texture sets)", quoted);
        char found[48];
        if (!quoteName(l.bytes + lightmap.offset, lightmap.length, found, sizeof found)) return failMemory(l);
        return fail(l, lightmap.offset, field, expected, "%s", lightmap.length ? found : "no name");
    }
    const uint32_t offset = lightmap.offset + nameChars;
    const uint32_t length = lightmap.length > 0 ? lightmap.length - 1 - nameChars : 0;
    if (!l.haveSuffix) {
        l.haveSuffix = true;
        l.suffixOffset = offset;
        l.suffixLength = length;
        l.suffixMesh = mesh;
        return 1;
    }
    if (length == l.suffixLength &&
        std::memcmp(l.bytes + offset, l.bytes + l.suffixOffset, length) == 0)
        return 1;
    char suffix[48], found[48];
    if (!quoteName(l.bytes + l.suffixOffset, l.suffixLength + 1, suffix, sizeof suffix) ||
        !quoteName(l.bytes + offset, length + 1, found, sizeof found))
        return failMemory(l);
    std::snprintf(expected, sizeof expected, "the lightmap suffix %s, as in mesh %d", suffix,
                  l.suffixMesh);
    return fail(l, offset, field, expected, "suffix %s", found);
}

int takeSubsets(Loader& l, Pack& pack, MeshInfo& mesh, int32_t meshNumber) {
    const uint32_t countAt = l.at;
    if (!takeCount(l, "subset count", kMinSubsetSize, "subset sections", &mesh.subsetCount))
        return 0;
    mesh.firstSubset = (uint32_t)pack.subsets.count;
    uint32_t covered = 0;  // indices
    uint32_t lastCountAt = countAt;
    for (uint32_t s = 0; s < mesh.subsetCount; ++s) {
        SubsetInfo* added = pack.subsets.tryPushCleared();
        if (!added) return failMemory(l);
        SubsetInfo& subset = *added;
        char field[96], expected[128];
        if (l.limit - l.at < 4) {
            std::snprintf(field, sizeof field, "subset %u first index", s);
            return failRoom(l, field, 4);
        }
        subset.firstIndex = loadU16(l.bytes + l.at);
        subset.triangleCount = loadU16(l.bytes + l.at + 2);
        if (subset.firstIndex != covered) {
            std::snprintf(field, sizeof field, "subset %u first index", s);
            std::snprintf(expected, sizeof expected, "%u (%s)", covered,
                          s == 0 ? "subsets start at index 0" : "where the previous subset ends");
            return fail(l, l.at, field, expected, "%u", subset.firstIndex);
        }
        std::snprintf(field, sizeof field, "subset %u triangle count", s);
        const uint32_t left = (mesh.indexCount - covered) / 3;
        if (subset.triangleCount > left) {
            std::snprintf(expected, sizeof expected,
                          "at most %u (triangles left in the index list)", left);
            return fail(l, l.at + 2, field, expected, "%u", subset.triangleCount);
        }
        if (subset.triangleCount == 0 && mesh.subsetCount > 1)
            return fail(l, l.at + 2, field, "at least 1 (only a lone subset may be empty)", "0");
        covered += 3 * subset.triangleCount;
        lastCountAt = l.at + 2;
        l.at += 4;

        NameRef slots[kTextureSlots];
        for (int k = 0; k < kTextureSlots; ++k) {
            static const char* const kinds[kTextureSlots] = {"diffuse", "lightmap", "unused", "unused"};
            char slot[64];
            std::snprintf(slot, sizeof slot, "subset %u texture slot %d (%s) name", s, k, kinds[k]);
            if (!takeName(l, slot, false, &slots[k])) return 0;
            if ((k >= 2 || (k == 1 && mesh.textureSets == 1)) && slots[k].length != 0) {
                std::snprintf(field, sizeof field, "subset %u texture slot %d (%s) name length", s,
                              k, kinds[k]);
                return fail(l, slots[k].offset - 4, field,
                            k == 1 ? "0 (one texture set has no lightmap)" : "0 (always empty)",
                            "%u", slots[k].length);
            }
            if (k == 1 && mesh.textureSets == 2 &&
                !checkLightmap(l, mesh.name, slots[1], meshNumber))
                return 0;
            for (int p = 0; p < 4; ++p) {
                char parameter[96];
                std::snprintf(parameter, sizeof parameter, "subset %u texture slot %d parameter %d",
                              s, k, p + 1);
                if (!takeF32Exact(l, parameter, kSlotParameters[p])) return 0;
            }
        }
        subset.texture = slots[0];
        subset.lightmap = slots[1];
    }
    if (mesh.subsetCount > 0 && covered != mesh.indexCount) {
        const uint32_t last = pack.subsets[pack.subsets.count - 1].triangleCount;
        char field[64], expected[96];
        std::snprintf(field, sizeof field, "subset %u triangle count", mesh.subsetCount - 1);
        std::snprintf(expected, sizeof expected, "%u (subsets cover every index)",
                      last + (mesh.indexCount - covered) / 3);
        return fail(l, lastCountAt, field, expected, "%u", last);
    }
    return 1;
}

// Vertex records, normals, bounds and indices.
int takeVertexStream(Loader& l, MeshInfo& mesh) {
    if (!takeCount(l, "vertex count", kVertexRecordSize, "vertex records", &mesh.vertexCount))
        return 0;
    mesh.vertexOffset = l.at;
    Bounds bounds;  // as the writer builds them
    for (uint32_t v = 0; v < mesh.vertexCount; ++v) {
        const unsigned char* record = l.bytes + l.at;
        const float position[3] = {loadF32(record), loadF32(record + 4), loadF32(record + 8)};
        bounds.add(position);
        if (mesh.textureSets == 2 && loadU32(record + kTwoSetZeroWordAt) != 0) {
            char field[64];
            std::snprintf(field, sizeof field, "vertex %u zero word", v);
            return fail(l, l.at + kTwoSetZeroWordAt, field, "0x00000000 (two texture sets)",
                        "0x%08X", loadU32(record + kTwoSetZeroWordAt));
        }
        l.at += kVertexRecordSize;
    }

    if (!takeU32(l, "normal count", &mesh.normalCount)) return 0;
    if (mesh.normalCount != mesh.vertexCount && (mesh.normalCount != 0 || mesh.textureSets == 2)) {
        char expected[128];
        if (mesh.textureSets == 2)
            std::snprintf(expected, sizeof expected,
                          "%u (the vertex count: two-set records carry no normal)",
                          mesh.vertexCount);
        else
            std::snprintf(expected, sizeof expected, "0 or %u (the vertex count)",
                          mesh.vertexCount);
        return fail(l, l.at - 4, "normal count", expected, "%u", mesh.normalCount);
    }
    if (!checkFit(l, "normal count", mesh.normalCount, kNormalRecordSize, "normal records")) return 0;
    mesh.normalOffset = l.at;
    for (uint32_t n = 0; n < mesh.normalCount; ++n) {
        const unsigned char* normal = l.bytes + l.at;
        if (mesh.textureSets == 1) {
            const unsigned char* inRecord = l.bytes + mesh.vertexOffset + kVertexRecordSize * n + kOneSetNormalAt;
            for (int k = 0; k < 3; ++k) {
                if (sameBitsOrNaN(loadF32(normal + 4 * k), loadF32(inRecord + 4 * k))) continue;
                char field[64], expected[96];
                std::snprintf(field, sizeof field, "normal %u component %d", n, k);
                std::snprintf(expected, sizeof expected, "%.9g (the normal in vertex record %u)",
                              (double)loadF32(inRecord + 4 * k), n);
                return fail(l, l.at + 4 * k, field, expected, "%.9g",
                            (double)loadF32(normal + 4 * k));
            }
        }
        l.at += kNormalRecordSize;
    }

    if (l.limit - l.at < kBoundsSize) return failRoom(l, "bounds", kBoundsSize);
    for (int k = 0; k < 6; ++k) {
        const float stored = loadF32(l.bytes + l.at + 4 * k);
        const float wanted = k < 3 ? bounds.min[k] : bounds.max[k - 3];
        if (k < 3)
            mesh.boundsMin[k] = stored;
        else
            mesh.boundsMax[k - 3] = stored;
        if (std::memcmp(&stored, &wanted, 4) == 0) continue;
        static const char* const names[6] = {"bounds minimum x", "bounds minimum y",
                                             "bounds minimum z", "bounds maximum x",
                                             "bounds maximum y", "bounds maximum z"};
        char expected[128];
        const bool none = wanted == Bounds().min[0] || wanted == Bounds().max[0];
        std::snprintf(expected, sizeof expected, "%.9g (%s)", (double)wanted,
                      none    ? "no vertex has a number there: the starting extreme"
                      : k < 3 ? "the smallest vertex coordinate"
                              : "the largest vertex coordinate");
        return fail(l, l.at + 4 * k, names[k], expected, "%.9g", (double)stored);
    }
    l.at += kBoundsSize;

    const uint32_t indexCountAt = l.at;
    if (!takeCount(l, "index count", 2, "indices", &mesh.indexCount)) return 0;
    char expected[128];
    if (mesh.indexCount % 3 != 0)
        return fail(l, indexCountAt, "index count", "a multiple of 3 (three per triangle)", "%u",
                    mesh.indexCount);
    if (mesh.indexCount > kMaxIndices) {
        std::snprintf(expected, sizeof expected, "at most %u (%u triangles)", kMaxIndices,
                      kMaxTriangles);
        return fail(l, indexCountAt, "index count", expected, "%u", mesh.indexCount);
    }
    if (mesh.indexCount < mesh.vertexCount) {
        std::snprintf(expected, sizeof expected,
                      "at least %u (the vertex count: every vertex is a triangle corner)",
                      mesh.vertexCount);
        return fail(l, indexCountAt, "index count", expected, "%u", mesh.indexCount);
    }
    if (mesh.textureSets == 1 && mesh.normalCount > 0 && mesh.indexCount != mesh.vertexCount) {
        std::snprintf(expected, sizeof expected,
                      "%u (one vertex per corner: one texture set with normal records)",
                      mesh.vertexCount);
        return fail(l, indexCountAt, "index count", expected, "%u", mesh.indexCount);
    }
    mesh.indexOffset = l.at;
    // Vertices are numbered in the order the triangles first use them.
    uint32_t used = 0;
    for (uint32_t i = 0; i < mesh.indexCount; ++i) {
        const uint16_t index = loadU16(l.bytes + l.at);
        if (index >= mesh.vertexCount || index > used) {
            char field[48];
            std::snprintf(field, sizeof field, "index %u", i);
            if (index >= mesh.vertexCount)
                std::snprintf(expected, sizeof expected, "below %u (the vertex count)",
                              mesh.vertexCount);
            else
                std::snprintf(expected, sizeof expected,
                              "at most %u (vertices are numbered in order of first use)", used);
            return fail(l, l.at, field, expected, "%u", index);
        }
        if (index == used) ++used;
        l.at += 2;
    }
    if (used != mesh.vertexCount) {
        std::snprintf(expected, sizeof expected, "%u (the vertices the indices use)", used);
        return fail(l, mesh.vertexOffset - 4, "vertex count", expected, "%u", mesh.vertexCount);
    }
    return 1;
}

int takeChunk(Loader& l, Pack& pack, int32_t number) {
    MeshInfo* added = pack.meshes.tryPushCleared();
    if (!added) return failMemory(l);
    MeshInfo& mesh = *added;
    mesh.offset = l.at;
    mesh.size = l.limit - l.at;
    std::snprintf(l.where, sizeof l.where, "mesh %d", number);

    uint32_t magic;
    if (!takeU32(l, "chunk magic", &magic)) return 0;
    if (magic != kChunkMagic)
        return fail(l, l.at - 4, "chunk magic", hex(kChunkMagic).text, "0x%08X", magic);
    if (!takeName(l, "name", true, &mesh.name)) return 0;
    if (mesh.name.length > 0) {
        char quoted[48];
        if (!quoteName(l.bytes + mesh.name.offset, mesh.name.length, quoted, sizeof quoted)) return failMemory(l);
        std::snprintf(l.where, sizeof l.where, "mesh %d %s", number, quoted);
    }
    for (int k = 0; k < 16; ++k) {
        char field[48];
        std::snprintf(field, sizeof field, "transform element %d (row %d, column %d)", k, k / 4,
                      k % 4);
        if (!takeF32Exact(l, field, kIdentityTransform[k])) return 0;
    }
    if (!takeU32(l, "texture set count", &mesh.textureSets)) return 0;
    if (mesh.textureSets != 1 && mesh.textureSets != 2)
        return fail(l, l.at - 4, "texture set count", "1 or 2", "%u", mesh.textureSets);
    if (!takeVertexStream(l, mesh) || !takeSubsets(l, pack, mesh, number)) return 0;
    if (l.at != l.limit) {
        char expected[96];
        std::snprintf(expected, sizeof expected, "%s at byte %u", l.limitName, l.limit);
        return fail(l, l.at, "end", expected, "%u bytes left over", l.limit - l.at);
    }
    return 1;
}

}  // namespace

PackError outOfMemoryError() { return {-1, "memory", "enough to load and show the pack", "out of memory"}; }

void clearPack(Pack& pack) {
    pack.meshes.release();
    pack.subsets.release();
    pack.bytes = nullptr;
    pack.size = 0;
}

int loadPack(const unsigned char* bytes, int64_t size, Pack& pack, PackError& error) {
    clearPack(pack);
    Loader l;
    std::memset(&l, 0, sizeof l);
    l.error = &error;
    l.bytes = bytes;
    if (size < kTailSize) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "at least %u bytes (chunk count and end mark)",
                      kTailSize);
        fail(l, -1, "file size", expected, "%lld bytes", (long long)size);
        return 0;
    }
    if (size > (int64_t)UINT32_MAX) {
        fail(l, -1, "file size", "at most 4294967295 bytes (32-bit chunk offsets)", "%lld bytes",
             (long long)size);
        return 0;
    }
    l.size = (uint32_t)size;
    const uint32_t endMark = loadU32(bytes + l.size - 4);
    if (endMark != kEndMark)
        return fail(l, l.size - 4, "end mark", hex(kEndMark).text, "0x%08X", endMark);
    const uint32_t countAt = l.size - kTailSize;
    const uint32_t chunks = loadU32(bytes + countAt);
    char expected[128];
    if (chunks > countAt / 4) {
        std::snprintf(expected, sizeof expected, "at most %u (4-byte offsets that fit before it)",
                      countAt / 4);
        return fail(l, countAt, "chunk count", expected, "%u", chunks);
    }
    const uint32_t tableAt = countAt - 4 * chunks;
    if (chunks == 0 && tableAt > 0) {
        std::snprintf(expected, sizeof expected, "at least 1 (%u bytes precede the offset table)",
                      tableAt);
        return fail(l, countAt, "chunk count", expected, "0");
    }
    for (uint32_t i = 0; i < chunks; ++i) {
        const uint32_t offset = loadU32(bytes + tableAt + 4 * i);
        const uint32_t previous = i > 0 ? loadU32(bytes + tableAt + 4 * (i - 1)) : 0;
        char field[48];
        std::snprintf(field, sizeof field, "offset table entry %u", i);
        if (i == 0 && offset != 0)
            return fail(l, tableAt, field, "0 (the first chunk starts the file)", "%u", offset);
        if (i > 0 && (offset <= previous || offset >= tableAt)) {
            std::snprintf(expected, sizeof expected,
                          "above %u (chunk %u's start) and below %u (the offset table)", previous,
                          i - 1, tableAt);
            return fail(l, tableAt + 4 * i, field, expected, "%u", offset);
        }
    }

    pack.bytes = bytes;
    pack.size = l.size;
    for (uint32_t i = 0; i < chunks; ++i) {
        l.at = loadU32(bytes + tableAt + 4 * i);
        if (i + 1 < chunks) {
            l.limit = loadU32(bytes + tableAt + 4 * (i + 1));
            std::snprintf(l.limitName, sizeof l.limitName, "chunk %u", i + 1);
        } else {
            l.limit = tableAt;
            std::snprintf(l.limitName, sizeof l.limitName, "the offset table");
        }
        if (!takeChunk(l, pack, (int32_t)i)) {
            clearPack(pack);
            return 0;
        }
    }
    return 1;
}
