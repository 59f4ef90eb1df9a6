#include "writer/vertex_conversion.h"
#include "writer/vertex_stream.h"
#include "writer/weld.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Kept from mesh to mesh, so that once grown nothing is allocated.
struct WeldedStreamStorage {
    Welder welder;
    Array<float> records;  // eight floats per unique key
    Array<float> normals;  // three per unique key, with two texture sets
};

// Floats, or 16-bit values, little-endian: on such hosts copied as they are.
// A mesh without faces has no storage yet, and copying from null is undefined
// even for no bytes.
void putFloats(BufferedWriter& out, const float* values, int32_t count) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (count > 0) out.put(values, count * 4);
#else
    for (int32_t i = 0; i < count; ++i) out.putF32(values[i]);
#endif
}

void putU16s(BufferedWriter& out, const uint16_t* values, int32_t count) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (count > 0) out.put(values, count * 2);
#else
    for (int32_t i = 0; i < count; ++i) out.putU16(values[i]);
#endif
}

// Makes the records of unique keys, in order, with the bounds of their
// positions: position, then the normal (one set) or a zero word and the
// second set (two sets), then the first set. Each returns whether the
// corner's normal and texture coordinates are all finite.
#if defined(__SSE2__)
class RecordMaker {
public:
    RecordMaker(float* records, float* normals) : record(records), normal(normals) {
        float low, high;
        std::memcpy(&low, &kBoundsMinBits, 4);
        std::memcpy(&high, &kBoundsMaxBits, 4);
        lowest = _mm_set1_ps(low);
        highest = _mm_set1_ps(high);
    }

    bool oneSet(const Vec3& p, const Vec3& n, const TexVertex& t) {
        const __m128 position = placed(p);
        const __m128 normalIn = load(n);
        const __m128 normalOut = _mm_shuffle_ps(normalIn, normalIn, _MM_SHUFFLE(3, 1, 2, 0));
        const __m128 texture = load(t);
        // x, z, -y, then nx; nz, ny, then u, 1 - v.
        const __m128 z = _mm_shuffle_ps(position, normalOut, _MM_SHUFFLE(0, 0, 2, 2));
        _mm_storeu_ps(record, _mm_shuffle_ps(position, z, _MM_SHUFFLE(2, 0, 1, 0)));
        _mm_storeu_ps(record + 4, _mm_shuffle_ps(normalOut, flipped(texture), _MM_SHUFFLE(1, 0, 2, 1)));
        record += 8;
        return finite(_mm_or_si128(exponents(normalIn), exponents(texture)));
    }

    bool twoSets(const Vec3& p, const Vec3& n, const TexVertex& t1, const TexVertex& t2) {
        const __m128 position = placed(p);
        const __m128 normalIn = load(n);
        const __m128 first = load(t1), second = load(t2);
        // The loaded position's fourth lane is zero.
        _mm_storeu_ps(record, position);
        _mm_storeu_ps(record + 4, _mm_movelh_ps(flipped(first), flipped(second)));
        record += 8;
        normal[0] = n.x, normal[1] = n.z, normal[2] = n.y;
        normal += 3;
        return finite(_mm_or_si128(exponents(normalIn), _mm_or_si128(exponents(first), exponents(second))));
    }

    Bounds bounds() const {
        float low[4], high[4];
        _mm_storeu_ps(low, lowest);
        _mm_storeu_ps(high, highest);
        Bounds b;
        for (int i = 0; i < 3; ++i) b.min[i] = low[i], b.max[i] = high[i];
        return b;
    }

private:
    // Three floats and a zero, without reading past them.
    static __m128 load(const Vec3& v) {
        return _mm_movelh_ps(_mm_castpd_ps(_mm_load_sd((const double*)&v.x)), _mm_load_ss(&v.z));
    }
    static __m128 load(const TexVertex& t) { return _mm_castpd_ps(_mm_load_sd((const double*)&t.u)); }

    // x, z, -y as the engine wants them, added to the bounds: the minimum
    // takes a coordinate only when it is smaller, as the scalar bounds do.
    __m128 placed(const Vec3& p) {
        const __m128 in = load(p);
        const __m128 out = _mm_xor_ps(_mm_shuffle_ps(in, in, _MM_SHUFFLE(3, 1, 2, 0)),
                                      _mm_castsi128_ps(_mm_setr_epi32(0, 0, (int)0x80000000u, 0)));
        lowest = _mm_min_ps(out, lowest);
        highest = _mm_max_ps(out, highest);
        return out;
    }

    // u, 1 - v: the subtraction itself, so that a NaN comes out as the scalar
    // conversion makes it.
    static __m128 flipped(__m128 t) { return _mm_move_ss(_mm_sub_ps(_mm_set1_ps(1.0f), t), t); }

    // All-ones lanes where the exponent is all ones: infinite or NaN.
    static __m128i exponents(__m128 v) {
        const __m128i mask = _mm_set1_epi32(0x7F800000);
        return _mm_cmpeq_epi32(_mm_and_si128(_mm_castps_si128(v), mask), mask);
    }
    static bool finite(__m128i notFinite) { return _mm_movemask_epi8(notFinite) == 0; }

    float* record;
    float* normal;
    __m128 lowest, highest;
};
#else
class RecordMaker {
public:
    RecordMaker(float* records, float* normals) : record(records), normal(normals) {}

    bool oneSet(const Vec3& p, const Vec3& n, const TexVertex& t) {
        convertPosition(p, record);
        box.add(record);
        convertNormal(n, record + 3);
        record[6] = t.u, record[7] = 1.0f - t.v;
        record += 8;
        return finite(&n.x, 3) && finite(&t.u, 2);
    }

    bool twoSets(const Vec3& p, const Vec3& n, const TexVertex& t1, const TexVertex& t2) {
        convertPosition(p, record);
        box.add(record);
        convertNormal(n, normal);
        normal += 3;
        record[3] = 0.0f;
        record[4] = t1.u, record[5] = 1.0f - t1.v;
        record[6] = t2.u, record[7] = 1.0f - t2.v;
        record += 8;
        return finite(&n.x, 3) && finite(&t1.u, 2) && finite(&t2.u, 2);
    }

    Bounds bounds() const { return box; }

private:
    static bool finite(const float* v, int count) {
        for (int i = 0; i < count; ++i)
            if (!(v[i] - v[i] == 0.0f)) return false;
        return true;
    }

    float* record;
    float* normal;
    Bounds box;
};
#endif

}  // namespace

void writeWeldedVertexStream(const Mesh& mesh, BufferedWriter& out, bool twoSets) {
    static WeldedStreamStorage storage;
    const int32_t corners = 3 * mesh.faces.count;
    storage.records.reserve(8 * corners);
    if (twoSets) storage.normals.reserve(3 * corners);
    const Vec3* positions = mesh.vertices.items;
    const Vec3* normals = mesh.normals.items;
    const TexVertex* first = mesh.mapChannels[0].items;
    const TexVertex* second = mesh.mapChannels[1].items;

    // Each unique key is written with the converted values of the corner it
    // was first seen at, made while welding has that corner's data at hand.
    RecordMaker maker(storage.records.items, storage.normals.items);
    if (twoSets)
        storage.welder.weld(mesh, true, [&](const FaceCorner& corner) {
            return maker.twoSets(positions[corner.vertex], normals[corner.normal], first[corner.tex[0]],
                                 second[corner.tex[1]]);
        });
    else
        storage.welder.weld(mesh, false, [&](const FaceCorner& corner) {
            return maker.oneSet(positions[corner.vertex], normals[corner.normal], first[corner.tex[0]]);
        });
    const int32_t uniqueCount = storage.welder.unique.count;

    out.putU32((uint32_t)uniqueCount);
    putFloats(out, storage.records.items, 8 * uniqueCount);
    // One texture set carries its normals inside the vertex records.
    out.putU32(twoSets ? (uint32_t)uniqueCount : 0u);
    if (twoSets) putFloats(out, storage.normals.items, 3 * uniqueCount);
    maker.bounds().write(out);
    out.putU32((uint32_t)corners);
    putU16s(out, storage.welder.indices.items, corners);
}
