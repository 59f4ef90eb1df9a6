#include "ase/mesh_block.h"

#include "ase/normals_per_vertex.h"
#include "ase/number.h"
#include "scene/near.h"

int skipBlock(Tokenizer& tokenizer) {
    int64_t depth = 1;
    while (tokenizer.nextToken()) {
        if (tokenizer.is("{")) {
            ++depth;
        } else if (tokenizer.is("}")) {
            if (--depth == 0) return 1;
        }
    }
    return 0;
}

// The next token as a number; logs what was expected at the end of input.
static int nextFloat(ReadContext& context, Tokenizer& tokenizer, float* value, const char* keyword,
                     int32_t entry) {
    if (!tokenizer.nextFloat(value))
        return syntaxError(context, tokenizer, "expected the values of %s %d", keyword, entry);
    return 1;
}

static int nextInt(ReadContext& context, Tokenizer& tokenizer, int32_t* value, const char* keyword) {
    if (!tokenizer.nextInt(value))
        return syntaxError(context, tokenizer, "expected a number after %s", keyword);
    return 1;
}

int nextVec3(ReadContext& context, Tokenizer& tokenizer, Vec3* value, const char* keyword, int32_t entry) {
    return nextFloat(context, tokenizer, &value->x, keyword, entry) &&
           nextFloat(context, tokenizer, &value->y, keyword, entry) &&
           nextFloat(context, tokenizer, &value->z, keyword, entry);
}

int readVertexNormalByTokens(ReadContext& context, Tokenizer& tokenizer, int32_t* vertex, Vec3* normal) {
    if (!tokenizer.expect("*MESH_VERTEXNORMAL")) return -1;
    return nextInt(context, tokenizer, vertex, "*MESH_VERTEXNORMAL") &&
           nextVec3(context, tokenizer, normal, "*MESH_VERTEXNORMAL", *vertex);
}

int parseVertexList(ReadContext& context, Mesh* mesh, Tokenizer& tokenizer) {
    if (mesh->vertices.count == 0)
        return parseError(context, tokenizer, "*MESH_VERTEX_LIST before *MESH_NUMVERTEX");
    if (!expectAfter(context, tokenizer, "{", "*MESH_VERTEX_LIST")) return 0;
    for (int32_t i = 0; i < mesh->vertices.count; ++i)
        if (!readVec3Entry(context, tokenizer, "*MESH_VERTEX", i, &mesh->vertices[i])) return 0;
    return expectAfter(context, tokenizer, "}", "the last *MESH_VERTEX");
}

// A word of digits and commas ("1", "1,3", "32,"): its groups into mask. 0
// for any other word.
static int addGroups(const char* text, uint32_t* mask) {
    uint32_t found = 0;
    int64_t number = -1;  // -1 between numbers
    for (const char* c = text;; ++c) {
        if (*c >= '0' && *c <= '9') {
            number = (number < 0 ? 0 : number) * 10 + (*c - '0');
            if (number > 100) number = 100;  // past any group
        } else if (*c == ',' || *c == '\0') {
            if (number >= 1 && number <= 32) found |= uint32_t(1) << (number - 1);
            number = -1;
            if (*c == '\0') break;
        } else {
            return 0;
        }
    }
    *mask |= found;
    return 1;
}

// The words of groups after *MESH_SMOOTHING into mask (none when face is
// -1). True when it stopped on another token, which is then current.
static bool readGroups(Tokenizer& tokenizer, uint32_t* groups, int32_t face) {
    uint32_t mask = 0;
    while (tokenizer.nextToken() && addGroups(tokenizer.text(), &mask)) {
    }
    if (face >= 0) groups[face] |= mask;
    return !tokenizer.atEnd();
}

// The faces of a list whose "{" was just read, up to its "}". With groups,
// each face's smoothing groups too, all by tokens; without, they are passed
// over and the line scan takes the common face line whole.
static int readFaces(ReadContext& context, Tokenizer& tokenizer, Array<FaceIndices>& faceList, uint32_t* groups) {
    int32_t i = 0;
    bool held = false;  // the current token is yet to be looked at
    for (;;) {
        if (!groups && i < faceList.count && readFaceLine(tokenizer, i, faceList[i])) {
            ++i;
            continue;
        }
        if (!held && !tokenizer.nextToken()) break;
        held = false;
        if (tokenizer.is("}")) break;
        if (groups && tokenizer.is("*MESH_SMOOTHING")) {  // after the last face's *MESH_MTLID
            held = readGroups(tokenizer, groups, i - 1);
            continue;
        }
        if (!tokenizer.is("*MESH_FACE")) continue;
        int32_t number;
        if (!tokenizer.nextInt(&number) || number != i)
            return syntaxError(context, tokenizer, "expected *MESH_FACE %d", i);
        if (i >= faceList.count)
            return parseError(context, tokenizer, "*MESH_FACE %d is beyond *MESH_NUMFACES %d", i, faceList.count);
        FaceIndices& face = faceList[i];
        while (held || tokenizer.nextToken()) {
            held = false;
            int32_t* field = nullptr;
            if (tokenizer.is("A"))
                field = &face.a;
            else if (tokenizer.is("B"))
                field = &face.b;
            else if (tokenizer.is("C"))
                field = &face.c;
            if (field) {
                if (!expectAfter(context, tokenizer, ":", "a corner of *MESH_FACE")) return 0;
                if (!nextInt(context, tokenizer, field, "a corner of *MESH_FACE")) return 0;
            } else if (tokenizer.is("*MESH_MTLID")) {
                if (!nextInt(context, tokenizer, &face.materialId, "*MESH_MTLID")) return 0;
                break;
            } else if (groups && tokenizer.is("*MESH_SMOOTHING")) {
                held = readGroups(tokenizer, groups, i);
            }
        }
        ++i;
    }
    if (i != faceList.count)
        return parseError(context, tokenizer, "the face list holds %d faces, *MESH_NUMFACES says %d", i,
                          faceList.count);
    return 1;
}

int parseFaceList(ReadContext& context, Mesh* mesh, Tokenizer& tokenizer, Array<FaceIndices>& faceList,
                  int32_t* facesFrom) {
    if (mesh->faces.count == 0)
        return parseError(context, tokenizer, "*MESH_FACE_LIST before *MESH_NUMFACES");
    if (!expectAfter(context, tokenizer, "{", "*MESH_FACE_LIST")) return 0;
    *facesFrom = tokenizer.position();
    return readFaces(context, tokenizer, faceList, nullptr);
}

int readSmoothingGroups(ReadContext& context, const Tokenizer& tokenizer, int32_t from,
                        Array<FaceIndices>& faceList, Array<uint32_t>& groups) {
    if (!groups.tryResize(faceList.count)) return 0;
    // The same bytes read the same way: the faces come out as they did.
    Tokenizer again;
    again.openShared(tokenizer, from);
    readFaces(context, again, faceList, groups.items);
    again.close();
    return 1;
}

int parseTVertList(ReadContext& context, Mesh* mesh, Tokenizer& tokenizer, int channel) {
    MapChannel& texVertices = mesh->mapChannels[channel];
    if (texVertices.count == 0)
        return parseError(context, tokenizer, "*MESH_TVERTLIST before *MESH_NUMTVERTEX, channel %d", channel);
    if (!expectAfter(context, tokenizer, "{", "*MESH_TVERTLIST")) return 0;
    for (int32_t i = 0; i < texVertices.count; ++i) {
        Vec3 uvw;
        if (!readVec3Entry(context, tokenizer, "*MESH_TVERT", i, &uvw)) return 0;
        texVertices[i].u = uvw.x, texVertices[i].v = uvw.y;
    }
    return expectAfter(context, tokenizer, "}", "the last *MESH_TVERT");
}

int parseTFaceList(ReadContext& context, Mesh* mesh, Tokenizer& tokenizer, int channel) {
    if (mesh->mapChannels[channel].count == 0)
        return parseError(context, tokenizer, "*MESH_TFACELIST before *MESH_NUMTVERTEX, channel %d", channel);
    if (!expectAfter(context, tokenizer, "{", "*MESH_TFACELIST")) return 0;
    for (int32_t i = 0; i < mesh->faces.count; ++i) {
        FaceCorner* corners = mesh->faces[i].corners;
        int32_t number, tex[3];
        if (readEntryLine<int32_t, scanPlainInt>(tokenizer, "*MESH_TFACE", i, &number, tex, 3)) {
            for (int k = 0; k < 3; ++k) corners[k].tex[channel] = tex[k];
            continue;
        }
        if (!expectEntry(context, tokenizer, "*MESH_TFACE", i)) return 0;
        for (int k = 0; k < 3; ++k)
            if (!nextInt(context, tokenizer, &corners[k].tex[channel], "*MESH_TFACE")) return 0;
    }
    return expectAfter(context, tokenizer, "}", "the last *MESH_TFACE");
}

int parseNormals(ReadContext& context, Mesh* mesh, Tokenizer& tokenizer, bool* perVertex) {
    *perVertex = false;
    if (!expectAfter(context, tokenizer, "{", "*MESH_NORMALS")) return 0;
    // Per vertex, 1 + the index of the normal last recorded for it; 0 for none.
    // Zeroed storage stays untouched for vertices the block never names.
    Array<int32_t> lastNormal;
    int result = lastNormal.tryResize(mesh->vertices.count) ? 1 : context.ranOutOfMemory();
    for (int32_t i = 0; i < mesh->faces.count && result; ++i) {
        MeshFace& face = mesh->faces[i];
        if (!readVec3Entry(context, tokenizer, "*MESH_FACENORMAL", i, &face.normal)) {
            result = 0;
            break;
        }
        for (int k = 0; k < 3; ++k) {
            int32_t vertex = 0;
            Vec3 normal;
            const int status = readVertexNormal(context, tokenizer, &vertex, &normal);
            if (status < 0) {
                // A second face normal right after the first: the normals are
                // listed apart, per vertex.
                if (i == 0 && k == 0 && tokenizer.is("*MESH_FACENORMAL")) {
                    *perVertex = true;
                    result = parseNormalsPerVertex(context, mesh, tokenizer, lastNormal);
                    lastNormal.release();
                    return result;
                }
                result = syntaxError(context, tokenizer, "expected *MESH_VERTEXNORMAL for face %d", i);
                break;
            }
            if (status == 0) {
                result = 0;
                break;
            }
            if (vertex < 0 || vertex >= mesh->vertices.count) {
                result = parseError(context, tokenizer,
                                    "*MESH_VERTEXNORMAL names vertex %d, but there are %d vertices", vertex,
                                    mesh->vertices.count);
                break;
            }
            int32_t last = lastNormal[vertex] - 1;
            if (last >= 0 && withinTolerance(&mesh->normals[last].x, &normal.x, 3, 1e-9f)) {
                face.corners[k].normal = last;
            } else {
                int32_t index = mesh->normals.tryPush(normal);
                if (index < 0) {
                    result = context.ranOutOfMemory();
                    break;
                }
                lastNormal[vertex] = index + 1;
                face.corners[k].normal = index;
            }
        }
    }
    if (result) result = expectAfter(context, tokenizer, "}", "the last *MESH_VERTEXNORMAL");
    lastNormal.release();
    return result;
}

// Reads a count and checks it against its limits: 1 within, -1 outside, 0 at
// the end of input. A count of 0 is taken as long as the object may still be
// empty.
static int readCount(ReadContext& context, Tokenizer& tokenizer, const char* keyword, int32_t limit,
                     bool mayBeEmpty, int32_t* count, WrittenRecords& written) {
    if (!nextInt(context, tokenizer, count, keyword)) return 0;
    if (*count == 0 && mayBeEmpty) {
        written.zeroCounts = true;
        return 1;
    }
    return *count >= 1 && *count <= limit ? 1 : -1;
}

// Sizes a list from a count in the file. Records past the written ones are
// zero already, so they are dropped rather than copied into the new block: a
// count repeated with changing values costs what was written, not what was
// declared.
template <typename T>
static int sizeFromCount(ReadContext& context, Array<T>& list, int32_t n, int32_t& written) {
    if ((written < list.count && !list.tryResize(written)) || !list.tryResize(n))
        return context.ranOutOfMemory();
    if (written > n) written = n;
    return 1;
}

// An object with vertices but no faces, or faces but no vertices, fails as
// a count of 0 always has.
static int checkZeroCounts(ReadContext& context, const Mesh* mesh, const WrittenRecords& written) {
    if (!written.zeroCounts || isEmptyObject(mesh, written)) return 1;
    if (mesh->vertices.count == 0) {
        context.fail(0, "invalid number of vertices: %d", 0);
        return 0;
    }
    if (mesh->faces.count == 0) {
        context.fail(0, "invalid number of triangles: %d", 0);
        return 0;
    }
    return 1;
}

// The keyword of a list block, when the current token is one.
static const char* listKeyword(const Tokenizer& tokenizer) {
    static const char* const kLists[] = {"*MESH_VERTEX_LIST", "*MESH_FACE_LIST", "*MESH_TVERTLIST",
                                         "*MESH_TFACELIST", "*MESH_NORMALS"};
    for (const char* list : kLists)
        if (tokenizer.is(list)) return list;
    return nullptr;
}

// Mapping channels other than 1 and 2 hold nothing the pack stores.
static int skipMappingChannel(ReadContext& context, Tokenizer& tokenizer, int32_t number) {
    const int32_t line = tokenizer.lineNumber();
    if (!expectAfter(context, tokenizer, "{", "*MESH_MAPPINGCHANNEL")) return 0;
    context.warn("*MESH_MAPPINGCHANNEL %d on line %d is passed over: only channels 1 and 2 are read", number, line);
    skipBlock(tokenizer);
    return 1;
}

int parseMesh(ReadContext& context, Mesh* mesh, Tokenizer& tokenizer, Array<FaceIndices>& faceList,
              WrittenRecords& written) {
    if (!expectAfter(context, tokenizer, "{", "*MESH")) return 0;
    int32_t channel = 0;
    int32_t channelBlocks = 0;  // open *MESH_MAPPINGCHANNEL blocks
    bool normalsPerVertex = false;  // as the last *MESH_NORMALS listed them
    while (tokenizer.nextToken()) {
        int32_t n = 0;
        if (tokenizer.is("*MESH_NUMVERTEX")) {
            int status = readCount(context, tokenizer, "*MESH_NUMVERTEX", kMaxVertices, mesh->faces.count == 0, &n,
                                   written);
            if (status == 0) return 0;
            if (status < 0) {
                context.fail(0, "invalid number of vertices: %d", n);
                return 0;
            }
            if (!sizeFromCount(context, mesh->vertices, n, written.vertices)) return 0;
        } else if (tokenizer.is("*MESH_NUMFACES")) {
            int status = readCount(context, tokenizer, "*MESH_NUMFACES", kMaxFaces, mesh->vertices.count == 0, &n,
                                   written);
            if (status == 0) return 0;
            if (status < 0) {
                context.fail(0, "invalid number of triangles: %d", n);
                return 0;
            }
            if (!sizeFromCount(context, mesh->faces, n, written.faces)) return 0;
        } else if (const char* list = isEmptyObject(mesh, written) ? listKeyword(tokenizer) : nullptr) {
            // An empty object's lists hold nothing worth reading.
            if (!expectAfter(context, tokenizer, "{", list)) return 0;
            if (!skipBlock(tokenizer)) break;
        } else if (tokenizer.is("*MESH_VERTEX_LIST")) {
            if (!checkZeroCounts(context, mesh, written)) return 0;
            written.vertices = mesh->vertices.count;
            if (!parseVertexList(context, mesh, tokenizer)) return 0;
        } else if (tokenizer.is("*MESH_FACE_LIST")) {
            if (!checkZeroCounts(context, mesh, written)) return 0;
            if (!faceList.tryResize(mesh->faces.count)) return context.ranOutOfMemory();
            if (!parseFaceList(context, mesh, tokenizer, faceList, &written.facesFrom)) return 0;
        } else if (tokenizer.is("*MESH_NUMTVERTEX")) {
            int status = readCount(context, tokenizer, "*MESH_NUMTVERTEX", kMaxTexVertices,
                                   isEmptyObject(mesh, written), &n, written);
            if (status == 0) return 0;
            if (status < 0) {
                context.fail(0, "invalid number of texture coordinates: %d, channel %d", n, channel);
                return 0;
            }
            if (!sizeFromCount(context, mesh->mapChannels[channel], n, written.texVertices[channel]))
                return 0;
        } else if (tokenizer.is("*MESH_TVERTLIST")) {
            written.texVertices[channel] = mesh->mapChannels[channel].count;
            if (!parseTVertList(context, mesh, tokenizer, channel)) return 0;
        } else if (tokenizer.is("*MESH_MAPPINGCHANNEL")) {
            if (!nextInt(context, tokenizer, &n, "*MESH_MAPPINGCHANNEL")) return 0;
            const int32_t requested = saturatingSubtract(n, 1);
            context.print("mapping channel: %d\n", requested);
            if (requested > 1) context.print("WARNING: too many mapping channels: %d\n", requested);
            if (requested > 1 || requested < 0) {
                if (!skipMappingChannel(context, tokenizer, n)) return 0;
                continue;
            }
            if (!expectAfter(context, tokenizer, "{", "*MESH_MAPPINGCHANNEL")) return 0;
            channel = requested;
            ++channelBlocks;
        } else if (tokenizer.is("*MESH_NUMTVFACES")) {
            if (!nextInt(context, tokenizer, &n, "*MESH_NUMTVFACES")) return 0;
            if (n != mesh->faces.count) {
                context.fail(0, "NUMTVFACES != NUMFACES");
                return 0;
            }
        } else if (tokenizer.is("*MESH_TFACELIST")) {
            written.faces = mesh->faces.count;
            if (!parseTFaceList(context, mesh, tokenizer, channel)) return 0;
        } else if (tokenizer.is("*MESH_NORMALS")) {
            written.faces = mesh->faces.count;
            if (!parseNormals(context, mesh, tokenizer, &normalsPerVertex)) return 0;
        } else if (tokenizer.is("}")) {
            if (channelBlocks == 0) break;
            --channelBlocks;
            channel = 0;
        } else if (tokenizer.is("{")) {
            // A block this parser does not know (vertex colours, for one).
            if (!skipBlock(tokenizer)) break;
        }
    }
    if (!checkZeroCounts(context, mesh, written)) return 0;
    if (normalsPerVertex) assignVertexNormals(mesh, faceList);
    context.print("%6i verts\n", mesh->vertices.count);
    context.print("%6i normals\n", mesh->normals.count);
    context.print("%6i texst %d\n", mesh->mapChannels[0].count, 0);
    context.print("%6i texst %d\n", mesh->mapChannels[1].count, 1);
    context.print("%6i tris\n", mesh->faces.count);
    return 1;
}
