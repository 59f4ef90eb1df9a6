#include "writer/vertex_conversion.h"
#include "writer/vertex_stream.h"
#include "writer/weld.h"

namespace {

// Kept from mesh to mesh, so that once grown nothing is allocated.
struct WeldedStreamStorage {
    Welder welder;
    Array<float> records;  // eight floats per unique key
    Array<float> normals;  // three per unique key, with two texture sets
};

// Floats, or 16-bit values, little-endian: on such hosts copied as they are.
// A mesh without faces has no storage yet, and copying from null is undefined
// even for no bytes.
void putFloats(BufferedWriter& out, const float* values, int32_t count) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (count > 0) out.put(values, count * 4);
#else
    for (int32_t i = 0; i < count; ++i) out.putF32(values[i]);
#endif
}

void putU16s(BufferedWriter& out, const uint16_t* values, int32_t count) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (count > 0) out.put(values, count * 2);
#else
    for (int32_t i = 0; i < count; ++i) out.putU16(values[i]);
#endif
}

}  // namespace

void writeWeldedVertexStream(const Mesh& mesh, BufferedWriter& out, bool twoSets) {
    static WeldedStreamStorage storage;
    const int32_t corners = 3 * mesh.faces.count;
    storage.records.reserve(8 * corners);
    if (twoSets) storage.normals.reserve(3 * corners);
    const MapChannel& first = mesh.mapChannels[0];
    const MapChannel& second = mesh.mapChannels[1];

    // Each unique key is written with the converted values of the corner it
    // was first seen at, made while welding has that corner's data at hand.
    Bounds bounds;
    float* record = storage.records.items;
    float* normal = storage.normals.items;
    storage.welder.weld(mesh, twoSets, [&](const FaceCorner& corner) {
        // Position, then the normal (one set) or a zero word and the second
        // set (two sets), then the first set.
        convertPosition(mesh.vertices[corner.vertex], record);
        bounds.add(record);
        const TexVertex& t1 = first[corner.tex[0]];
        if (twoSets) {
            const TexVertex& t2 = second[corner.tex[1]];
            convertNormal(mesh.normals[corner.normal], normal);
            normal += 3;
            record[3] = 0.0f;
            record[4] = t1.u, record[5] = 1.0f - t1.v;
            record[6] = t2.u, record[7] = 1.0f - t2.v;
        } else {
            convertNormal(mesh.normals[corner.normal], record + 3);
            record[6] = t1.u, record[7] = 1.0f - t1.v;
        }
        record += 8;
    });
    const int32_t uniqueCount = storage.welder.unique.count;

    out.putU32((uint32_t)uniqueCount);
    putFloats(out, storage.records.items, 8 * uniqueCount);
    // One texture set carries its normals inside the vertex records.
    out.putU32(twoSets ? (uint32_t)uniqueCount : 0u);
    if (twoSets) putFloats(out, storage.normals.items, 3 * uniqueCount);
    bounds.write(out);
    out.putU32((uint32_t)corners);
    putU16s(out, storage.welder.indices.items, corners);
}
