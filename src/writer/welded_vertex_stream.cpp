#include "writer/vertex_conversion.h"
#include "writer/vertex_stream.h"
#include "writer/weld.h"

void writeWeldedVertexStream(const Mesh& mesh, BufferedWriter& out, bool twoSets) {
    Array<WeldKey> unique;
    Array<uint16_t> indices;
    weldCorners(mesh, twoSets, unique, indices);

    Bounds bounds;
    out.putU32((uint32_t)unique.count);
    for (int32_t i = 0; i < unique.count; ++i) {
        const WeldKey& key = unique[i];
        float position[3], normal[3];
        convertPosition({key.position[0], key.position[1], key.position[2]}, position);
        convertNormal({key.normal[0], key.normal[1], key.normal[2]}, normal);
        bounds.add(position);
        TexVertex firstSet = {key.tex[0], key.tex[1]};
        TexVertex secondSet = {key.tex[2], key.tex[3]};
        storeVertexRecord(out.reserve(kVertexRecordSize), position, normal, firstSet,
                          twoSets ? &secondSet : nullptr);
        out.commit(kVertexRecordSize);
    }

    // One texture set carries its normals inside the vertex records.
    out.putU32(twoSets ? (uint32_t)unique.count : 0u);
    if (twoSets) {
        for (int32_t i = 0; i < unique.count; ++i) {
            const WeldKey& key = unique[i];
            out.putF32(key.normal[0]);
            out.putF32(key.normal[2]);
            out.putF32(key.normal[1]);
        }
    }

    bounds.write(out);
    out.putU32((uint32_t)indices.count);
    for (int32_t i = 0; i < indices.count; ++i) out.putU16(indices[i]);
    unique.release();
    indices.release();
}
