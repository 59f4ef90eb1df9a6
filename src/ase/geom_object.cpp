#include "ase/geom_object.h"

#include "ase/mesh_block.h"
#include "ase/number.h"
#include "ase/syntax_error.h"
#include "scene/smoothing_normals.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

int parseNodeTm(ReadContext& context, Mesh* mesh, Tokenizer& tokenizer) {
    if (!expectAfter(context, tokenizer, "{", "*NODE_TM")) return 0;
    while (tokenizer.nextToken()) {
        if (tokenizer.is("*NODE_NAME")) {
            if (!tokenizer.nextToken())
                return syntaxError(context, tokenizer, "expected a name after *NODE_NAME");
            if (!mesh->name.tryAssign(tokenizer.text())) return context.ranOutOfMemory();
        } else if (tokenizer.is("}")) {
            return 1;
        }
    }
    return 1;
}

// Every index a written face holds must name an existing entry. face is the
// face's number in the file; report logs the first fault.
static int checkFace(ReadContext& context, const Mesh* mesh, const MeshFace& meshFace, int32_t face,
                     bool report) {
    const char* corner = "ABC";
    for (int k = 0; k < 3; ++k) {
        const FaceCorner& c = meshFace.corners[k];
        if (c.vertex < 0 || c.vertex >= mesh->vertices.count) {
            if (report)
                context.fail(0, "face %d corner %c: vertex %d is missing (%d vertices)", face,
                              corner[k], c.vertex, mesh->vertices.count);
            return 0;
        }
        if (c.normal < 0 || c.normal >= mesh->normals.count) {
            if (report)
                context.fail(0, "face %d corner %c: normal %d is missing (%d normals)", face,
                              corner[k], c.normal, mesh->normals.count);
            return 0;
        }
        for (int channel = 0; channel < 2; ++channel) {
            int32_t available = mesh->mapChannels[channel].count;
            if (channel == 1 && available == 0) break;
            if (available == 0) {
                if (report)
                    context.fail(0, "geometry object \"%s\" has no texture coordinates",
                                  mesh->name.printable());
                return 0;
            }
            if (c.tex[channel] < 0 || c.tex[channel] >= available) {
                if (report)
                    context.fail(
                        0, "face %d corner %c: texture vertex %d of channel %d is missing (%d texture vertices)",
                        face, corner[k], c.tex[channel], channel, available);
                return 0;
            }
        }
    }
    return 1;
}

static void setCornerVertices(MeshFace& face, const FaceIndices& indices) {
    face.corners[0].vertex = indices.a;
    face.corners[1].vertex = indices.b;
    face.corners[2].vertex = indices.c;
}

// Faces in file order, corners from the face list.
static void assignVerticesInOrder(Mesh* mesh, const Array<FaceIndices>& faceList) {
    for (int32_t f = 0; f < faceList.count; ++f) setCornerVertices(mesh->faces[f], faceList[f]);
}

// Checked once the subsets are built and logged, so the log tells the whole
// story before the fault.
static int checkFacesInOrder(ReadContext& context, const Mesh* mesh) {
    for (int32_t f = 0; f < mesh->faces.count; ++f)
        if (!checkFace(context, mesh, mesh->faces[f], f, true)) return 0;
    return 1;
}

// A new subset of the mesh, or null when memory ran out.
static MeshSubset* addSubset(ReadContext& context, Mesh* mesh, int32_t firstIndex, int32_t triangleCount,
                             const String& textureName) {
    MeshSubset* subset = mesh->subsets.tryPushCleared();
    if (!subset || !subset->textureName.tryAssign(textureName)) {
        context.ranOutOfMemory();
        return nullptr;
    }
    subset->firstIndex = firstIndex;
    subset->triangleCount = triangleCount;
    return subset;
}

static int buildSingleSubset(ReadContext& context, Mesh* mesh, const Material& material,
                             const Array<FaceIndices>& faceList) {
    int32_t faceCount = faceList.count;
    mesh->releaseSubsets();
    MeshSubset* subset = addSubset(context, mesh, 0, faceCount, material.textureName);
    if (!subset) return 0;
    assignVerticesInOrder(mesh, faceList);
    context.print("\t[%d] %d %d \"%s\"\n", faceCount, subset->firstIndex, subset->triangleCount,
                  subset->textureName.printable());
    return checkFacesInOrder(context, mesh);
}

// The submaterial a face's material id names: the id itself, or, when ids
// wrap, id mod S for an id past the S submaterials, as 3ds max renders it;
// -1 for none (3ds max stores ids unsigned, so a negative one never wraps).
static int32_t subMaterialOf(const ReadContext& context, int32_t id, int32_t subCount) {
    if (id >= 0 && id < subCount) return id;
    return context.wrapMaterialIds && id >= subCount ? id % subCount : -1;
}

// Faces whose material id names no submaterial are left out, as packs have
// always been made; the user hears of it.
static void warnLeftOut(ReadContext& context, const Mesh* mesh, const Array<FaceIndices>& faceList,
                        int32_t subCount, int32_t leftOut) {
    const int kShown = 4;
    int32_t ids[kShown];
    int shown = 0;
    bool more = false, wrappable = false;
    for (int32_t f = 0; f < faceList.count; ++f) {
        const int32_t id = faceList[f].materialId;
        if (subMaterialOf(context, id, subCount) >= 0) continue;
        wrappable = wrappable || id >= subCount;
        bool known = false;
        for (int k = 0; k < shown; ++k) known = known || ids[k] == id;
        if (known) continue;
        if (shown < kShown)
            ids[shown++] = id;
        else
            more = true;
    }
    char list[96] = {};
    for (int k = 0; k < shown; ++k)
        std::snprintf(list + std::strlen(list), sizeof list - std::strlen(list), "%s%d", k ? ", " : "", ids[k]);
    context.warn("geometry object \"%s\": %d %s left out: material id%s %s%s name%s no submaterial (it has %d)%s",
                 mesh->name.printable(), leftOut, leftOut == 1 ? "face" : "faces", shown > 1 ? "s" : "", list,
                 more ? ", ..." : "", shown > 1 ? "" : "s", subCount,
                 wrappable ? "; --wrap-material-ids wraps ids past them around, as 3ds max does" : "");
}

static int buildSubMaterialSubsets(ReadContext& context, Mesh* mesh, const Material& material,
                                   const Array<FaceIndices>& faceList) {
    int32_t faceCount = faceList.count;
    int32_t subCount = material.subMaterials.count;
    // Faces by submaterial in one pass, file order kept within each: a walk
    // over all faces per submaterial would cost faces times submaterials.
    Array<int32_t> firstOfId;  // per id, where its faces start in byId
    Array<int32_t> byId;
    Array<int32_t> next;  // per id, where its next face goes in byId
    Array<MeshFace> regrouped;
    if (!firstOfId.tryResize(subCount + 1) || !next.tryResize(subCount) || !regrouped.tryResize(faceCount))
        return context.ranOutOfMemory();
    for (int32_t f = 0; f < faceCount; ++f) {
        const int32_t id = subMaterialOf(context, faceList[f].materialId, subCount);
        if (id >= 0) ++firstOfId[id + 1];
    }
    for (int32_t i = 0; i < subCount; ++i) firstOfId[i + 1] += firstOfId[i];
    if (!byId.tryResize(firstOfId[subCount])) return context.ranOutOfMemory();
    for (int32_t i = 0; i < subCount; ++i) next[i] = firstOfId[i];
    for (int32_t f = 0; f < faceCount; ++f) {
        const int32_t id = subMaterialOf(context, faceList[f].materialId, subCount);
        if (id >= 0) byId[next[id]++] = f;
    }

    regrouped.count = 0;  // room for every face, filled in subset order
    int32_t placed = 0;  // corner indices
    // The first placed face that names a missing entry, by its file number.
    int32_t badFace = -1;
    MeshFace bad = {};
    for (int32_t i = 0; i < subCount; ++i) {
        int32_t start = placed;
        int32_t used = firstOfId[i + 1] - firstOfId[i];
        for (int32_t k = firstOfId[i]; k < firstOfId[i + 1]; ++k) {
            int32_t f = byId[k];
            MeshFace& face = mesh->faces[f];
            setCornerVertices(face, faceList[f]);
            if (badFace < 0 && !checkFace(context, mesh, face, f, false)) {
                badFace = f;
                bad = face;
            }
            regrouped[regrouped.count++] = face;
        }
        placed += 3 * used;
        if (used > 0) {
            const MeshSubset* subset =
                addSubset(context, mesh, start, used, material.subMaterials[i].textureName);
            if (!subset) return 0;
            context.print("\t[%d] %d %d \"%s\"\n", i, start, used, subset->textureName.printable());
        }
    }
    context.print("faces=%d, numTris=%d, Tris=%d, tidx=%d\n", faceCount, placed / 3, mesh->faces.count, 0);
    if (placed / 3 < faceCount) warnLeftOut(context, mesh, faceList, subCount, faceCount - placed / 3);
    mesh->faces.release();
    mesh->faces.items = regrouped.items;
    mesh->faces.count = regrouped.count;
    mesh->faces.capacity = regrouped.capacity;
    regrouped.items = nullptr;
    return badFace < 0 || checkFace(context, mesh, bad, badFace, true);
}

// Groups the faces into subsets once the whole block has been read.
static int buildSubsets(ReadContext& context, Mesh* mesh, int32_t materialRef, const MaterialTable& materials,
                        const Array<FaceIndices>& faceList) {
    if (faceList.count != mesh->faces.count) {
        context.fail(0, "%d faces declared, but the face list holds %d", mesh->faces.count,
                      faceList.count);
        return 0;
    }
    if (materialRef < 0 || materialRef >= materials.count) {
        context.fail(0, "MATERIAL_REF %d is invalid", materialRef);
        assignVerticesInOrder(mesh, faceList);
        return checkFacesInOrder(context, mesh);
    }
    const Material& material = materials[materialRef];
    if (material.subMaterials.count == 0) return buildSingleSubset(context, mesh, material, faceList);
    return buildSubMaterialSubsets(context, mesh, material, faceList);
}

static bool finite(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return (bits & 0x7F800000u) != 0x7F800000u;
}

// How many of the floats are NaN or infinite, and the entry of the first.
static int32_t countNonFinite(const float* values, int32_t perEntry, int32_t entries, int32_t* first) {
    int32_t count = 0;
    for (int32_t i = entries * perEntry - 1; i >= 0; --i)
        if (!finite(values[i])) ++count, *first = i / perEntry;
    return count;
}

// Numbers that are not finite go into the pack as they are, and nothing
// welds with them; the user hears of it, once per object and kind. Only the
// entries the file wrote are looked at: a count may claim far more.
static void warnNonFinite(ReadContext& context, const Mesh* mesh, const WrittenRecords& written) {
    struct Kind {
        const char* what;
        const char* entry;
        const float* values;
        int32_t perEntry, entries;
    } kinds[] = {
        // The records are plain runs of floats; a list never written has none.
        {"positions", "*MESH_VERTEX", (const float*)mesh->vertices.items, 3,
         std::min(written.vertices, mesh->vertices.count)},
        {"normals", "normal", (const float*)mesh->normals.items, 3, mesh->normals.count},
        {"texture coordinates", "*MESH_TVERT", (const float*)mesh->mapChannels[0].items, 2,
         std::min(written.texVertices[0], mesh->mapChannels[0].count)},
        {"lightmap coordinates", "channel 2's *MESH_TVERT", (const float*)mesh->mapChannels[1].items, 2,
         std::min(written.texVertices[1], mesh->mapChannels[1].count)},
    };
    for (const Kind& kind : kinds) {
        int32_t first = 0;
        const int32_t count = kind.entries > 0 ? countNonFinite(kind.values, kind.perEntry, kind.entries, &first) : 0;
        if (count > 0)
            context.warn("geometry object \"%s\": %d %s in its %s (NaN or infinity), the first in %s %d",
                         mesh->name.printable(), count, count == 1 ? "number is not finite" : "numbers are not finite",
                         kind.what, kind.entry, first);
    }
}

// Exporters often leave normals out; then they come from the smoothing
// groups. Only a face list that was read whole has its groups to take.
static int computeMissingNormals(ReadContext& context, Mesh* mesh, const Tokenizer& tokenizer,
                                 Array<FaceIndices>& faceList, const WrittenRecords& written) {
    if (mesh->normals.count > 0 || faceList.count == 0 || faceList.count != mesh->faces.count) return 1;
    Array<uint32_t> groups;
    if (!readSmoothingGroups(context, tokenizer, written.facesFrom, faceList, groups))
        return context.ranOutOfMemory();
    assignVerticesInOrder(mesh, faceList);
    if (!computeSmoothingNormals(*mesh, groups.items)) return context.ranOutOfMemory();
    context.warn("geometry object \"%s\": no normals in the file; computed from smoothing groups",
                 mesh->name.printable());
    context.print("normals computed from smoothing groups: %d\n", mesh->normals.count);
    return 1;
}

int parseGeomObject(ReadContext& context, Mesh* mesh, Tokenizer& tokenizer, const MaterialTable& materials,
                    bool* empty) {
    const int32_t start = tokenizer.position();  // its line is counted only when needed
    if (!expectAfter(context, tokenizer, "{", "*GEOMOBJECT")) return 0;
    Array<FaceIndices> faceList;
    WrittenRecords written;
    int32_t materialRef = -1;
    int result = 1;
    bool closed = false;
    while (result && tokenizer.nextToken()) {
        if (tokenizer.is("*NODE_TM")) {
            result = parseNodeTm(context, mesh, tokenizer);
        } else if (tokenizer.is("*MESH")) {
            result = parseMesh(context, mesh, tokenizer, faceList, written);
        } else if (tokenizer.is("*MATERIAL_REF")) {
            if (!tokenizer.nextToken()) {
                result = syntaxError(context, tokenizer, "expected a number after *MATERIAL_REF");
            } else {
                materialRef = parseInt(tokenizer.text());
                context.print("matref=%d\n", materialRef);
            }
        } else if (tokenizer.is("}")) {
            closed = true;
            break;
        } else if (tokenizer.is("{")) {
            // A nested block this parser does not know (an animation track).
            if (!skipBlock(tokenizer)) break;
        }
    }
    if (result && !closed && tokenizer.atEnd()) warnUnclosed(context, tokenizer, "*GEOMOBJECT", start);
    if (result && isEmptyObject(mesh, written)) {
        // Nothing to texture, so no material reference is asked for.
        const bool named = mesh->name.length() > 0;
        context.warn("geometry object %s%s%son line %d is empty (no vertices, no faces); it is left out of the pack",
                     named ? "\"" : "", named ? mesh->name.printable() : "", named ? "\" " : "",
                     tokenizer.lineAt(start > 0 ? start - 1 : 0));
        if (empty) *empty = true;
        faceList.release();
        return 1;
    }
    if (result && materialRef == -1) {
        // The Log says it as it always has; the reason names the object.
        context.fail(0, "no MATERIAL_REF!");
        context.missingMaterialRef = true;
        context.error.line = tokenizer.lineAt(start > 0 ? start - 1 : 0);
        std::snprintf(context.error.message, sizeof context.error.message,
                      "geometry object \"%.63s\" has no *MATERIAL_REF", mesh->name.printable());
        result = 0;
    }
    if (result) result = computeMissingNormals(context, mesh, tokenizer, faceList, written);
    if (result) result = buildSubsets(context, mesh, materialRef, materials, faceList);
    if (result) warnNonFinite(context, mesh, written);
    // A fault that no line shows is its object's; app.log says it as before.
    if (!result && !context.error.line && context.error.message[0])
        context.error.line = tokenizer.lineAt(start > 0 ? start - 1 : 0);
    faceList.release();
    return result;
}

Mesh* readGeomObject(ReadContext& context, Tokenizer& tokenizer, const MaterialTable& materials, bool* empty) {
    if (materials.count == 0) context.print("WARNING: geomobject encountered, but no materials\n");
    void* record = context.allocator->tryAlloc((int32_t)sizeof(Mesh));
    if (!record) {
        context.ranOutOfMemory();
        return nullptr;
    }
    Mesh* mesh = ::new (record) Mesh();
    *empty = false;
    if (!parseGeomObject(context, mesh, tokenizer, materials, empty) || *empty) {
        if (*empty) context.print("empty: %s\n", mesh->name.printable());
        delete mesh;
        return nullptr;
    }
    context.print("mesh: %s\n", mesh->name.printable());
    return mesh;
}
