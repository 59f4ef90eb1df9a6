#include "scene/scene.h"

Mesh::~Mesh() {
    faces.release();
    releaseSubsets();
    mapChannels[0].release();
    mapChannels[1].release();
    normals.release();
    vertices.release();
    name.release();
}

void Mesh::releaseSubsets() {
    for (int32_t i = 0; i < subsets.count; ++i) subsets[i].textureName.release();
    subsets.release();
}
