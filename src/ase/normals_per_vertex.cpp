#include "ase/normals_per_vertex.h"

#include "ase/mesh_block.h"

#include <algorithm>

int parseNormalsPerVertex(ReadContext& context, Mesh* mesh, Tokenizer& tokenizer, Array<int32_t>& given) {
    if (mesh->faces.count < 2)
        return parseError(context, tokenizer, "*MESH_NORMALS holds more face normals than *MESH_NUMFACES %d",
                          mesh->faces.count);
    int32_t number;
    if (!tokenizer.nextInt(&number) || number != 1)
        return syntaxError(context, tokenizer, "expected *MESH_FACENORMAL %d", 1);
    if (!nextVec3(context, tokenizer, &mesh->faces[1].normal, "*MESH_FACENORMAL", 1)) return 0;
    for (int32_t i = 2; i < mesh->faces.count; ++i)
        if (!readVec3Entry(context, tokenizer, "*MESH_FACENORMAL", i, &mesh->faces[i].normal)) return 0;

    const int32_t vertexCount = mesh->vertices.count;
    mesh->normals.release();  // an earlier block's normals: no corner keeps them
    if (!mesh->normals.tryResize(vertexCount)) return context.ranOutOfMemory();
    context.print("normals listed per vertex\n");
    int32_t missing = vertexCount;
    int32_t vertex = 0;
    Vec3 normal;
    int status;
    while ((status = readVertexNormal(context, tokenizer, &vertex, &normal)) > 0) {
        if (vertex < 0 || vertex >= vertexCount)
            return parseError(context, tokenizer, "*MESH_VERTEXNORMAL names vertex %d, but there are %d vertices",
                              vertex, vertexCount);
        if (given[vertex])
            return parseError(context, tokenizer, "a second *MESH_VERTEXNORMAL for vertex %d", vertex);
        given[vertex] = 1;
        --missing;
        mesh->normals[vertex] = normal;
    }
    if (status == 0) return 0;
    if (!tokenizer.is("}")) return syntaxError(context, tokenizer, "expected *MESH_VERTEXNORMAL or \"}\"");
    if (missing > 0) {
        int32_t first = 0;
        while (given[first]) ++first;
        return parseError(context, tokenizer, "*MESH_NORMALS gives no normal for %d of %d vertices, the first %d",
                          missing, vertexCount, first);
    }
    return 1;
}

void assignVertexNormals(Mesh* mesh, const Array<FaceIndices>& faceList) {
    const int32_t faces = std::min(mesh->faces.count, faceList.count);
    for (int32_t f = 0; f < faces; ++f) {
        FaceCorner* corners = mesh->faces[f].corners;
        corners[0].normal = faceList[f].a;
        corners[1].normal = faceList[f].b;
        corners[2].normal = faceList[f].c;
    }
}
