#pragma once
#include "ase/face_indices.h"
#include "ase/line_scan.h"
#include "ase/read_context.h"
#include "ase/syntax_error.h"
#include "ase/tokenizer.h"
#include "platform/array.h"
#include "qrv/format.h"
#include "scene/scene.h"

const int32_t kMaxVertices = 4194304;
const int32_t kMaxTexVertices = 4194304;
// A pack holds no more triangles per mesh.
const int32_t kMaxFaces = (int32_t)kMaxTriangles;

// How many leading records of each list sized from a count a list block may
// have written; the records after them still read as zero. Kept for one
// geometry object, so a count that comes again carries over only what was
// written, not everything the earlier count declared.
struct WrittenRecords {
    int32_t vertices = 0;
    int32_t faces = 0;
    int32_t texVertices[2] = {0, 0};
    // A count of 0 was taken: the object may be empty (a helper or a group
    // node some exporters write as geometry). Whether it is shows once the
    // block ends.
    bool zeroCounts = false;
    // Where the faces of the last face list began (right after its "{"), for
    // the smoothing groups its read passed over (readSmoothingGroups).
    int32_t facesFrom = 0;
};

// An object that said it has no vertices and no faces: no mesh comes of it.
inline bool isEmptyObject(const Mesh* mesh, const WrittenRecords& written) {
    return written.zeroCounts && mesh->vertices.count == 0 && mesh->faces.count == 0;
}

// Each parser starts right after its keyword and consumes its block; 1 on
// success.
int parseMesh(ReadContext& context, Mesh* mesh, Tokenizer& tokenizer, Array<FaceIndices>& faceList,
              WrittenRecords& written);
int parseVertexList(ReadContext& context, Mesh* mesh, Tokenizer& tokenizer);
int parseFaceList(ReadContext& context, Mesh* mesh, Tokenizer& tokenizer, Array<FaceIndices>& faceList,
                  int32_t* facesFrom);
int parseTVertList(ReadContext& context, Mesh* mesh, Tokenizer& tokenizer, int channel);
int parseTFaceList(ReadContext& context, Mesh* mesh, Tokenizer& tokenizer, int channel);
// perVertex: the block listed the face normals first and then one normal per
// vertex; the corners take theirs when the mesh block ends.
int parseNormals(ReadContext& context, Mesh* mesh, Tokenizer& tokenizer, bool* perVertex);

// Reads the faces of the last face list again (from: WrittenRecords::facesFrom)
// for what the first read passed over, their smoothing groups: a file that
// holds normals never needs them. groups gets one mask per face of faceList,
// bit n - 1 for group n: "*MESH_SMOOTHING 1,2" gives 3; numbers outside 1 to
// 32, and a *MESH_SMOOTHING without numbers, give none. A face's
// *MESH_SMOOTHING may stand before or after its *MESH_MTLID. 0 when memory
// ran out.
int readSmoothingGroups(ReadContext& context, const Tokenizer& tokenizer, int32_t from,
                        Array<FaceIndices>& faceList, Array<uint32_t>& groups);

// The next three tokens as a vector; logs what was expected at the end of
// input.
int nextVec3(ReadContext& context, Tokenizer& tokenizer, Vec3* value, const char* keyword, int32_t entry);

// The keyword, then the entry number, which must be the expected one.
// Templates so that the keyword's length is known where it is compared.
template <size_t N>
int expectEntry(ReadContext& context, Tokenizer& tokenizer, const char (&keyword)[N], int32_t expected) {
    int32_t number;
    if (!tokenizer.nextToken() || !tokenizer.is(keyword, N - 1))
        return syntaxError(context, tokenizer, "expected %s %d", keyword, expected);
    if (!tokenizer.nextInt(&number) || number != expected)
        return syntaxError(context, tokenizer, "expected %s %d", keyword, expected);
    return 1;
}

// A list entry of a vector: keyword, the expected number, three values. The
// line scan takes the common line whole; the tokens read anything else.
template <size_t N>
int readVec3Entry(ReadContext& context, Tokenizer& tokenizer, const char (&keyword)[N], int32_t expected,
                  Vec3* value) {
    int32_t number;
    if (scanVec3Line(tokenizer, keyword, expected, &number, value)) return 1;
    return expectEntry(context, tokenizer, keyword, expected) &&
           nextVec3(context, tokenizer, value, keyword, expected);
}

// "*MESH_VERTEXNORMAL v x y z": 1; -1 when the next token is another (it is
// the current token, nothing is logged); 0 on a fault, logged. The line scan
// inlines into each reader's loop; the tokens read what it leaves.
int readVertexNormalByTokens(ReadContext& context, Tokenizer& tokenizer, int32_t* vertex, Vec3* normal);
inline int readVertexNormal(ReadContext& context, Tokenizer& tokenizer, int32_t* vertex, Vec3* normal) {
    if (scanVec3Line(tokenizer, "*MESH_VERTEXNORMAL", -1, vertex, normal)) return 1;
    return readVertexNormalByTokens(context, tokenizer, vertex, normal);
}

// Skips a block whose "{" was just read, by brace depth. 0 when the input
// ended inside it.
int skipBlock(Tokenizer& tokenizer);
