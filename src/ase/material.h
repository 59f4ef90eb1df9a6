#pragma once
#include "platform/array.h"
#include "platform/string.h"

// A material of the file's material list, or a submaterial of one. Lives only
// while the file is read, where it is made in place and never copied; nesting
// is bounded by the reader, so destroying recurses at most kMaxMaterialDepth
// levels.
struct Material {
    String textureName;
    Array<Material> subMaterials;

    Material() = default;
    Material(const Material&) = delete;
    ~Material() { destroySubMaterials(); }
    Material& operator=(const Material&) = delete;

    void destroySubMaterials() {
        for (int32_t i = 0; i < subMaterials.count; ++i) subMaterials[i].~Material();
        subMaterials.release();
    }
};

typedef Array<Material> MaterialTable;

// Levels of *SUBMATERIAL allowed below a *MATERIAL (level 0).
const int kMaxMaterialDepth = 32;

// Destroys every material of a table and releases its storage.
inline void destroyMaterials(MaterialTable& table) {
    for (int32_t i = 0; i < table.count; ++i) table[i].~Material();
    table.release();
}

// The bare texture name of a bitmap path into name: no directories, no last
// extension. False when memory ran out.
bool textureNameFromPath(const char* path, String& name);
