#pragma once
#include "platform/allocator.h"
#include "platform/array.h"
#include "platform/string.h"

#include <cstdint>

struct Vec3 {
    float x, y, z;
};

struct TexVertex {
    float u, v;
};

struct FaceCorner {
    int32_t vertex;
    int32_t normal;
    int32_t tex[2];
};

struct MeshFace {
    Vec3 normal;
    FaceCorner corners[3];
};

struct MeshSubset {
    int32_t firstIndex;
    int32_t triangleCount;
    String textureName;
};

typedef Array<TexVertex> MapChannel;

// One ASE geometry object. Destroying it releases everything it owns; next is
// not followed.
struct Mesh : AllocatedObject {
    String name;
    Array<Vec3> vertices;
    Array<Vec3> normals;
    MapChannel mapChannels[2];
    Array<MeshSubset> subsets;
    Array<MeshFace> faces;
    Mesh* next = nullptr;

    Mesh() = default;
    ~Mesh();
    void releaseSubsets();

    Mesh(const Mesh&) = delete;
    Mesh& operator=(const Mesh&) = delete;
};

struct Scene {
    Mesh* head = nullptr;

    // Links mesh at the head, so the list runs in reverse reading order.
    void link(Mesh* mesh) {
        mesh->next = head;
        head = mesh;
    }
};
