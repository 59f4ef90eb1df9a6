#include "writer/vertex_conversion.h"
#include "writer/vertex_stream.h"
#include "writer/weld.h"

void writeWeldedVertexStream(const Mesh& mesh, BufferedWriter& out, bool twoSets, Welder& welder) {
    if (!welder.weld(mesh, twoSets)) return out.ranOutOfMemory();
    const int32_t uniqueCount = welder.unique.count;
    const int32_t* firstCorners = welder.unique.items;
    const MapChannel& first = mesh.mapChannels[0];
    const MapChannel& second = mesh.mapChannels[1];

    // Each unique key is written with the converted values of the corner it
    // was first seen at.
    Bounds bounds;
    out.putU32((uint32_t)uniqueCount);
    // In pieces of up to kPiece records, each made in the writer's buffer.
    const int32_t kPiece = 1024;
    for (int32_t i = 0; i < uniqueCount; i += kPiece) {
        const int32_t piece = uniqueCount - i < kPiece ? uniqueCount - i : kPiece;
        unsigned char* record = out.reserve(piece * kVertexRecordSize);
        for (int32_t k = 0; k < piece; ++k, record += kVertexRecordSize) {
            const FaceCorner& corner = weldCorner(mesh, firstCorners[i + k]);
            float position[3], normal[3];
            convertPosition(mesh.vertices[corner.vertex], position);
            convertNormal(mesh.normals[corner.normal], normal);
            bounds.add(position);
            storeVertexRecord(record, position, normal, first[corner.tex[0]],
                              twoSets ? &second[corner.tex[1]] : nullptr);
        }
        out.commit(piece * kVertexRecordSize);
    }

    // One texture set carries its normals inside the vertex records.
    out.putU32(twoSets ? (uint32_t)uniqueCount : 0u);
    for (int32_t i = 0; twoSets && i < uniqueCount; ++i) {
        float normal[3];
        convertNormal(mesh.normals[weldCorner(mesh, firstCorners[i]).normal], normal);
        unsigned char* at = out.reserve(12);
        storeF32(at + 0, normal[0]);
        storeF32(at + 4, normal[1]);
        storeF32(at + 8, normal[2]);
        out.commit(12);
    }

    bounds.write(out);
    const int32_t corners = welder.indices.count;
    out.putU32((uint32_t)corners);
    // Copied as they are (little-endian); a mesh without faces has no
    // storage, and copying from null is undefined even for no bytes.
    if (corners > 0) out.put(welder.indices.items, 2 * corners);
}
