#pragma once
#include "ase/face_indices.h"
#include "ase/read_context.h"
#include "ase/tokenizer.h"
#include "platform/array.h"
#include "scene/scene.h"

const int32_t kMaxVertices = 4194304;
const int32_t kMaxTexVertices = 4194304;
const int32_t kMaxFaces = 21845;

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
    // Where the last face list's read began (right after its keyword) and
    // ended, for what that read passes over (smoothing_groups.h).
    int32_t faceListFrom = 0;
    int32_t faceListTo = 0;
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
int parseFaceList(ReadContext& context, Mesh* mesh, Tokenizer& tokenizer, Array<FaceIndices>& faceList);
int parseTVertList(ReadContext& context, Mesh* mesh, Tokenizer& tokenizer, int channel);
int parseTFaceList(ReadContext& context, Mesh* mesh, Tokenizer& tokenizer, int channel);
// perVertex: the block listed the face normals first and then one normal per
// vertex; the corners take theirs when the mesh block ends.
int parseNormals(ReadContext& context, Mesh* mesh, Tokenizer& tokenizer, bool* perVertex);

// Skips a block whose "{" was just read, by brace depth. 0 when the input
// ended inside it.
int skipBlock(Tokenizer& tokenizer);
