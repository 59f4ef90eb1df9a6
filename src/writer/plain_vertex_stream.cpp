#include "writer/vertex_conversion.h"
#include "writer/vertex_stream.h"

void writePlainVertexStream(const Mesh& mesh, BufferedWriter& out, bool twoSets) {
    const int32_t triangles = mesh.faces.count;
    const uint32_t corners = 3u * (uint32_t)triangles;
    const MapChannel& first = mesh.mapChannels[0];
    const MapChannel& second = mesh.mapChannels[1];
    Bounds bounds;

    // Corners go third, second, first: the engine winds the other way.
    out.putU32(corners);
    for (int32_t t = 0; t < triangles; ++t) {
        const MeshFace& face = mesh.faces[t];
        unsigned char* record = out.reserve(3 * kVertexRecordSize);
        for (int k = 0; k < 3; ++k) {
            const FaceCorner& corner = face.corners[2 - k];
            float position[3], normal[3];
            convertPosition(mesh.vertices[corner.vertex], position);
            convertNormal(mesh.normals[corner.normal], normal);
            bounds.add(position);
            storeVertexRecord(record + k * kVertexRecordSize, position, normal,
                              first[corner.tex[0]], twoSets ? &second[corner.tex[1]] : nullptr);
        }
        out.commit(3 * kVertexRecordSize);
    }

    out.putU32(corners);
    for (int32_t t = 0; t < triangles; ++t) {
        const MeshFace& face = mesh.faces[t];
        unsigned char* record = out.reserve(3 * kNormalRecordSize);
        for (int k = 0; k < 3; ++k) {
            float normal[3];
            convertNormal(mesh.normals[face.corners[2 - k].normal], normal);
            storeNormal(record + kNormalRecordSize * k, normal);
        }
        out.commit(3 * kNormalRecordSize);
    }

    bounds.write(out);
    out.putU32(corners);
    // The indices simply count; they go out in buffer-sized pieces.
    uint32_t i = 0;
    while (i < corners) {
        uint32_t piece = corners - i;
        if (piece > 4096) piece = 4096;
        unsigned char* at = out.reserve((int32_t)(2 * piece));
        for (uint32_t k = 0; k < piece; ++k) storeU16(at + 2 * k, (uint16_t)(i + k));
        out.commit((int32_t)(2 * piece));
        i += piece;
    }
}
