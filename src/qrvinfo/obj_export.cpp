#include "qrvinfo/obj_export.h"

#include "platform/filesystem.h"
#include "platform/replacing_file.h"
#include "platform/string.h"
#include "qrvinfo/escape.h"

#include <cerrno>

#include <cstring>

namespace {

const int kObjNameSize = 96;

// OBJ names are whitespace-separated words. A mesh named like an earlier one gets its number appended, so groups
// and materials stay distinct.
void objMeshName(const Pack& pack, int32_t mesh, char out[kObjNameSize]) {
    const NameRef& name = pack.meshes[mesh].name;
    int n = 0;
    for (uint32_t i = 0; i + 1 < name.length && n < kObjNameSize - 16; ++i) {
        const unsigned char c = pack.bytes[name.offset + i];
        out[n++] = objNameByte(c, true);
    }
    out[n] = 0;
    if (n == 0) {
        std::snprintf(out, kObjNameSize, "mesh%d", mesh);
        return;
    }
    for (int32_t earlier = 0; earlier < mesh; ++earlier) {
        const NameRef& other = pack.meshes[earlier].name;
        if (other.length == name.length &&
            std::memcmp(pack.bytes + other.offset, pack.bytes + name.offset, name.length) == 0) {
            std::snprintf(out + n, (size_t)(kObjNameSize - n), "_%d", mesh);
            return;
        }
    }
}

// The rest of an MTL line is the file name: blanks may stay.
void printTextureName(FILE* mtl, const Pack& pack, const NameRef& name) {
    for (uint32_t i = 0; i + 1 < name.length; ++i)
        std::fputc(objNameByte(pack.bytes[name.offset + i], false), mtl);
}

void printFaces(FILE* obj, const Pack& pack, const MeshInfo& mesh, uint64_t base,
                uint32_t firstIndex, uint32_t endIndex) {
    // The pack holds each triangle's corners third, second, first.
    for (uint32_t i = firstIndex; i < endIndex; i += 3) {
        const uint64_t a = base + packIndex(pack, mesh, i + 2);
        const uint64_t b = base + packIndex(pack, mesh, i + 1);
        const uint64_t c = base + packIndex(pack, mesh, i);
        std::fprintf(obj, "f %llu/%llu/%llu %llu/%llu/%llu %llu/%llu/%llu\n", (unsigned long long)a,
                     (unsigned long long)a, (unsigned long long)a, (unsigned long long)b,
                     (unsigned long long)b, (unsigned long long)b, (unsigned long long)c,
                     (unsigned long long)c, (unsigned long long)c);
    }
}

}  // namespace

void writeObjTo(FILE* obj, FILE* mtl, const Pack& pack, const char* mtlName) {
    std::fprintf(obj, "# %d %s, 3ds max axes (z up)\nmtllib %s\n", pack.meshes.count,
                 pack.meshes.count == 1 ? "mesh" : "meshes", mtlName);
    uint64_t base = 1;  // OBJ numbers vertices from 1 across the whole file
    for (int32_t m = 0; m < pack.meshes.count; ++m) {
        const MeshInfo& mesh = pack.meshes[m];
        char name[kObjNameSize];
        objMeshName(pack, m, name);
        std::fprintf(obj, "o %s\n", name);
        for (uint32_t v = 0; v < mesh.vertexCount; ++v) {
            // Stored: position (x, z, -y), normal (x, z, y), texture (u, 1 - v).
            float p[3], n[3], t[2];
            vertexPosition(pack, mesh, v, p);
            vertexNormal(pack, mesh, v, n);
            vertexTexture(pack, mesh, v, t);
            // + 0.0 shows -0 as 0.
            std::fprintf(obj, "v %.9g %.9g %.9g\nvt %.9g %.9g\nvn %.9g %.9g %.9g\n", p[0] + 0.0,
                         -p[2] + 0.0, p[1] + 0.0, t[0] + 0.0, (1.0f - t[1]) + 0.0, n[0] + 0.0,
                         n[2] + 0.0, n[1] + 0.0);
        }
        if (mesh.subsetCount == 0 && mesh.indexCount > 0) {
            std::fprintf(obj, "g %s\n", name);
            printFaces(obj, pack, mesh, base, 0, mesh.indexCount);
        }
        for (uint32_t s = 0; s < mesh.subsetCount; ++s) {
            const SubsetInfo& subset = pack.subsets[(int32_t)(mesh.firstSubset + s)];
            std::fprintf(mtl, "newmtl %s_%u\nKd 1 1 1\n", name, s);
            if (subset.texture.length > 1) {
                std::fputs("map_Kd ", mtl);
                printTextureName(mtl, pack, subset.texture);
                std::fputc('\n', mtl);
            }
            std::fputc('\n', mtl);
            if (subset.triangleCount == 0) continue;
            std::fprintf(obj, "g %s_%u\nusemtl %s_%u\n", name, s, name, s);
            printFaces(obj, pack, mesh, base, subset.firstIndex,
                       subset.firstIndex + 3 * subset.triangleCount);
        }
        base += mesh.vertexCount;
    }
}

int writeObj(const Pack& pack, const char* objPath, const char* packPath, int* reason) {
    int unused = 0;
    int& error = reason ? *reason : unused;
    // The OBJ's name with ".mtl" for its extension, or added when that is
    // already its extension: the materials never overwrite the OBJ itself.
    const int32_t length = (int32_t)std::strlen(objPath);
    const int32_t stem = String::extensionStart(objPath, length);
    String mtlPath;
    if (!mtlPath.tryAssign(objPath, std::strcmp(objPath + stem, ".mtl") == 0 ? length : stem) ||
        !mtlPath.tryAppend(".mtl")) {
        error = ENOMEM;
        return 0;
    }
    // Nor either of them the pack they come from.
    if (gFileSystem->sameFile(objPath, packPath) || gFileSystem->sameFile(mtlPath.data, packPath)) {
        error = EEXIST;
        return 0;
    }
    // mtllib names the file beside the OBJ: what follows the last separator of
    // either kind (fileNameStart lets a '\\' win over a later '/', as texture
    // names need).
    const char* mtlName = mtlPath.data;
    for (const char* c = mtlPath.data; *c; ++c)
        if (*c == '/' || *c == '\\') mtlName = c + 1;
    ReplacingFile obj, mtl;
    if (!obj.open(objPath) || !mtl.open(mtlPath.data)) {
        error = obj.error ? obj.error : mtl.error;
        return 0;
    }
    writeObjTo(obj.file(), mtl.file(), pack, mtlName);
    // The materials first: an OBJ is never left naming materials not there.
    if (!mtl.commit() || !obj.commit()) {
        error = mtl.error ? mtl.error : obj.error;
        return 0;
    }
    return 1;
}
