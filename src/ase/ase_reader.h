#pragma once
#include "ase/material.h"
#include "ase/tokenizer.h"
#include "scene/scene.h"

// Reads one ASE file into a Scene.
class AseReader {
public:
    // 1 on success, 0 when the file cannot be opened or a part of it cannot
    // be parsed. Meshes read before a failure stay in the Scene.
    int readScene(Scene* scene, const char* path);

    // The same over a stream, which is taken over.
    int readScene(Scene* scene, Stream* stream);
};

int parseMaterial(Tokenizer& tokenizer, Array<Material>& target, int depth);
int parseMapDiffuse(Tokenizer& tokenizer, Material& material);
// Reads a material list into table and logs the whole table.
int parseMaterialList(Tokenizer& tokenizer, MaterialTable& table);
// Reads a material list into table without logging it.
int parseMaterialListBlock(Tokenizer& tokenizer, MaterialTable& table);
