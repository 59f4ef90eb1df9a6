#include "writer/vertex_conversion.h"
#include "writer/vertex_stream.h"
#include "writer/weld.h"

void writeWeldedVertexStream(const Mesh& mesh, BufferedWriter& out, bool twoSets, Welder& welder) {
    if (!welder.weld(mesh, twoSets)) return out.ranOutOfMemory();
    const Array<WeldKey>& unique = welder.unique;

    // Each unique key is written with its own converted values.
    Bounds bounds;
    out.putU32((uint32_t)unique.count);
    for (int32_t i = 0; i < unique.count; ++i) {
        const WeldKey& key = unique.items[i];
        float position[3], normal[3];
        convertPosition(key.position, position);
        convertNormal(key.normal, normal);
        bounds.add(position);
        storeVertexRecord(out.reserve(kVertexRecordSize), position, normal, key.first, twoSets ? &key.second : nullptr);
        out.commit(kVertexRecordSize);
    }

    // One texture set carries its normals inside the vertex records.
    out.putU32(twoSets ? (uint32_t)unique.count : 0u);
    for (int32_t i = 0; twoSets && i < unique.count; ++i) {
        float normal[3];
        convertNormal(unique.items[i].normal, normal);
        for (float component : normal) out.putF32(component);
    }

    bounds.write(out);
    out.putU32((uint32_t)welder.indices.count);
    for (int32_t i = 0; i < welder.indices.count; ++i) out.putU16(welder.indices.items[i]);
}
