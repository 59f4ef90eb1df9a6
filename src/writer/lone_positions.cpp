#include "writer/lone_positions.h"

#include "platform/bits.h"
#include "writer/weld_key.h"

#include <cmath>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#define TARVOLT_WIDE_CODER 1
#include <immintrin.h>
#endif

namespace {

// A coordinate is placed in 32-bit fixed point with kFraction bits per slot:
// scaling by a power of two is exact, the truncation errs by less than a
// unit, and the bias places round values mid-slot. Only the slots between
// -kRange and kRange (scaled, both slot faces) are used, so that the sums
// stay in range; values not strictly between, and those not finite, are not
// placed. A position near the outer face of the first or last slot counts as
// crowded, since a position beyond may be near it.
const int kFraction = 12;
const uint32_t kSlotMask = (1u << kFraction) - 1;
const uint32_t kBias = (1u << 30) + (1u << (kFraction - 1));
const float kRange = 536868864.0f;  // 2^29 - 2^11
const uint32_t kFirstSlot = ((1u << 29) + (1u << kFraction)) >> kFraction;  // that of -kRange + 1
const uint32_t kLastSlot = ((3u << 29) - 1) >> kFraction;                     // that of kRange - 1

// Slots a small part of the typical edge wide rarely hold two positions;
// positions near a face cost a look at the neighbouring cells. At least
// this wide, few positions are near a face; wider than this gains nothing.
const double kEdgeSlots = 64;
const double kNarrowestSlot = 1.0 / 1024.0;
const double kWidestSlot = 65536.0;

// Cell numbers to a cell's place on a line: neighbours along x are next to
// each other, so that the bits of positions near each other tend to share
// words. The odd multipliers scatter the other axes.
const uint32_t kWeightY = 0x9E3779B1u, kWeightZ = 0x85EBCA77u;

// A position's code: the low 30 bits of its place on the line, bit 30 set,
// and bit 31 telling whether it lies within the margin of a face of its
// cell; 0 when it is not placed. Its cell's bit is then the code's low bits.
const uint32_t kLineMask = (1u << 30) - 1;
const uint32_t kPlaced = 1u << 30;
const uint32_t kNearFace = 1u << 31;

struct Grid {
    float scale;      // 2^kFraction / slot width
    uint32_t margin;  // reach of the tolerance in fixed-point units, rounded up
};

// What coding notes besides the codes: each position's mark, 0 or -1 where
// it is not placed, how many are not, and the list of those near a face of
// their cell, which may be written up to eight entries ahead.
struct Noted {
    int32_t* marks;
    int32_t* near;
    int32_t unplaced;
};

// A placed coordinate in fixed point, as the vector coders make it.
inline uint32_t fixedOf(float x, const Grid& grid) { return (uint32_t)(int32_t)(x * grid.scale) + kBias; }

// The bits of a float, whose order is that of the float's magnitude where the
// sign is clear: infinity and NaN come above every finite value.
inline int32_t floatBits(float x) {
    int32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

#if defined(__SSE2__)
// Codes four positions at a time.
class Coder {
public:
    explicit Coder(const Grid& grid)
        : scale(_mm_set1_ps(grid.scale)),
          magnitude(_mm_set1_epi32(0x7FFFFFFF)),
          lastInside(_mm_set1_epi32(floatBits(kRange) - 1)),
          bias(_mm_set1_epi32((int)kBias)),
          margin(_mm_set1_epi32((int)grid.margin)),
          twoMargins(_mm_set1_epi32((int)(2 * grid.margin))),
          slot(_mm_set1_epi32((int)kSlotMask)),
          weightY(_mm_set1_epi32((int)kWeightY)),
          weightZ(_mm_set1_epi32((int)kWeightZ)),
          lineMask(_mm_set1_epi32((int)kLineMask)),
          placed(_mm_set1_epi32((int)kPlaced)),
          nearFaceBit(_mm_set1_epi32((int)kNearFace)) {}

    // The codes of four positions, from twelve floats.
    void four(const float* v, uint32_t out[4]) const {
        const __m128 a = _mm_loadu_ps(v), b = _mm_loadu_ps(v + 4), c = _mm_loadu_ps(v + 8);
        // x0 y0 z0 x1 | y1 z1 x2 y2 | z2 x3 y3 z3 to the x, y and z of each.
        const __m128 x23 = _mm_shuffle_ps(b, c, _MM_SHUFFLE(0, 1, 0, 2));
        const __m128 y01 = _mm_shuffle_ps(a, b, _MM_SHUFFLE(0, 0, 0, 1));
        const __m128 y23 = _mm_shuffle_ps(b, c, _MM_SHUFFLE(0, 2, 0, 3));
        const __m128 z01 = _mm_shuffle_ps(a, b, _MM_SHUFFLE(0, 1, 0, 2));
        __m128i unplaced = _mm_setzero_si128(), within[3];
        const __m128i x = axis(_mm_shuffle_ps(a, x23, _MM_SHUFFLE(2, 0, 3, 0)), unplaced, within[0]);
        const __m128i y = axis(_mm_shuffle_ps(y01, y23, _MM_SHUFFLE(2, 0, 2, 0)), unplaced, within[1]);
        const __m128i z = axis(_mm_shuffle_ps(z01, c, _MM_SHUFFLE(3, 0, 2, 0)), unplaced, within[2]);
        // The places within the slots are below 2^kFraction, so their 16-bit
        // minimum is theirs.
        const __m128i nearest = _mm_min_epi16(_mm_min_epi16(within[0], within[1]), within[2]);
        const __m128i nearFace = _mm_cmplt_epi32(nearest, twoMargins);
        const __m128i line = _mm_add_epi32(_mm_add_epi32(x, multiply(y, weightY)), multiply(z, weightZ));
        __m128i code = _mm_or_si128(_mm_and_si128(line, lineMask), placed);
        code = _mm_or_si128(code, _mm_and_si128(nearFace, nearFaceBit));
        _mm_storeu_si128((__m128i*)out, _mm_andnot_si128(unplaced, code));
    }

private:
    // The low halves of the lane products, without SSE4.1's multiply.
    static __m128i multiply(__m128i a, __m128i k) {
        const __m128i even = _mm_mul_epu32(a, k);
        const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), k);
        return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, 0x08), _mm_shuffle_epi32(odd, 0x08));
    }

    // The slot numbers of four coordinates, adding to the mask of those not
    // placed; within gets their places in their slots, shifted by the margin.
    __m128i axis(__m128 coordinates, __m128i& unplaced, __m128i& within) const {
        const __m128 f = _mm_mul_ps(coordinates, scale);
        unplaced = _mm_or_si128(unplaced, _mm_cmpgt_epi32(_mm_and_si128(_mm_castps_si128(f), magnitude), lastInside));
        const __m128i fixed = _mm_add_epi32(_mm_cvttps_epi32(f), bias);
        within = _mm_and_si128(_mm_add_epi32(fixed, margin), slot);
        return _mm_srli_epi32(fixed, kFraction);
    }

    __m128 scale;
    __m128i magnitude, lastInside, bias, margin, twoMargins, slot, weightY, weightZ, lineMask, placed, nearFaceBit;
};
#else
uint32_t codeOf(const float v[3], const Grid& grid) {
    uint32_t nearFace = 0;
    uint32_t cells[3];
    for (int a = 0; a < 3; ++a) {
        if (!(std::fabs(v[a] * grid.scale) < kRange)) return 0;
        const uint32_t fixed = fixedOf(v[a], grid);
        if (((fixed + grid.margin) & kSlotMask) < 2 * grid.margin) nearFace = kNearFace;
        cells[a] = fixed >> kFraction;
    }
    const uint32_t line = cells[0] + cells[1] * kWeightY + cells[2] * kWeightZ;
    return (line & kLineMask) | kPlaced | nearFace;
}
#endif

#if TARVOLT_WIDE_CODER
// Lane numbers of the set bits of each 8-bit mask, in order, a byte each.
struct LaneLists {
    uint64_t of[256];
};

constexpr LaneLists makeLaneLists() {
    LaneLists lists{};
    for (int mask = 0; mask < 256; ++mask)
        for (int lane = 0, n = 0; lane < 8; ++lane)
            if ((mask >> lane) & 1) lists.of[mask] |= (uint64_t)lane << (8 * n++);
    return lists;
}

constexpr LaneLists kLaneLists = makeLaneLists();

// Coder::four for eight positions at a time, where the processor allows: the
// same arithmetic, so the same codes; the notes are made eight at a time too.
__attribute__((target("avx2,popcnt"))) int32_t codesOf8(const float* v, int32_t from, int32_t n, const Grid& grid,
                                                        uint32_t* codes, Noted& noted) {
    const __m256 scale = _mm256_set1_ps(grid.scale);
    const __m256i magnitude = _mm256_set1_epi32(0x7FFFFFFF), lastInside = _mm256_set1_epi32(floatBits(kRange) - 1);
    const __m256i bias = _mm256_set1_epi32((int)kBias), margin = _mm256_set1_epi32((int)grid.margin);
    const __m256i twoMargins = _mm256_set1_epi32((int)(2 * grid.margin)), slot = _mm256_set1_epi32((int)kSlotMask);
    const __m256i weightY = _mm256_set1_epi32((int)kWeightY), weightZ = _mm256_set1_epi32((int)kWeightZ);
    const __m256i placed = _mm256_set1_epi32((int)kPlaced), nearFaceBit = _mm256_set1_epi32((int)kNearFace);
    const __m256i lineMask = _mm256_set1_epi32((int)kLineMask);
    // Eight positions are 24 floats in three vectors a, b and c. The floats
    // of an axis sit in different lanes of each: blended into one vector,
    // they are put in order by one permutation.
    const __m256i orders[3] = {_mm256_setr_epi32(0, 3, 6, 1, 4, 7, 2, 5), _mm256_setr_epi32(1, 4, 7, 2, 5, 0, 3, 6),
                               _mm256_setr_epi32(2, 5, 0, 3, 6, 1, 4, 7)};
    int32_t* near = noted.near;
    int32_t unplacedCount = 0;
    int32_t i = from;
    for (; i + 8 <= n; i += 8) {
        const float* w = v + 3 * i;
        const __m256 a = _mm256_loadu_ps(w), b = _mm256_loadu_ps(w + 8), c = _mm256_loadu_ps(w + 16);
        const __m256 axes[3] = {_mm256_blend_ps(_mm256_blend_ps(a, b, 0x92), c, 0x24),
                                _mm256_blend_ps(_mm256_blend_ps(a, b, 0x24), c, 0x49),
                                _mm256_blend_ps(_mm256_blend_ps(a, b, 0x49), c, 0x92)};
        __m256i magnitudes[3], within[3], cells[3];
        for (int k = 0; k < 3; ++k) {
            const __m256 f = _mm256_mul_ps(_mm256_permutevar8x32_ps(axes[k], orders[k]), scale);
            magnitudes[k] = _mm256_and_si256(_mm256_castps_si256(f), magnitude);
            const __m256i fixed = _mm256_add_epi32(_mm256_cvttps_epi32(f), bias);
            within[k] = _mm256_and_si256(_mm256_add_epi32(fixed, margin), slot);
            cells[k] = _mm256_srli_epi32(fixed, kFraction);
        }
        const __m256i largest = _mm256_max_epi32(_mm256_max_epi32(magnitudes[0], magnitudes[1]), magnitudes[2]);
        const __m256i unplaced = _mm256_cmpgt_epi32(largest, lastInside);
        const __m256i nearest = _mm256_min_epi32(_mm256_min_epi32(within[0], within[1]), within[2]);
        const __m256i nearFace = _mm256_cmpgt_epi32(twoMargins, nearest);
        const __m256i line = _mm256_add_epi32(_mm256_add_epi32(cells[0], _mm256_mullo_epi32(cells[1], weightY)),
                                              _mm256_mullo_epi32(cells[2], weightZ));
        __m256i code = _mm256_or_si256(_mm256_and_si256(line, lineMask), placed);
        code = _mm256_andnot_si256(unplaced, _mm256_or_si256(code, _mm256_and_si256(nearFace, nearFaceBit)));
        _mm256_storeu_si256((__m256i*)(codes + i), code);
        _mm256_storeu_si256((__m256i*)(noted.marks + i), unplaced);
        unplacedCount += __builtin_popcount((unsigned)_mm256_movemask_ps(_mm256_castsi256_ps(unplaced)));
        // The positions near a face, by the codes' top bits, packed to the
        // front of eight numbers.
        const unsigned nearLanes = (unsigned)_mm256_movemask_ps(_mm256_castsi256_ps(code));
        const __m256i lanes = _mm256_cvtepu8_epi32(_mm_loadl_epi64((const __m128i*)&kLaneLists.of[nearLanes]));
        _mm256_storeu_si256((__m256i*)near, _mm256_add_epi32(lanes, _mm256_set1_epi32(i)));
        near += __builtin_popcount(nearLanes);
    }
    noted.near = near;
    noted.unplaced += unplacedCount;
    return i;
}

// Lists the positions whose cells are in the table of cells seen again,
// eight at a time; returns how many positions it went through.
__attribute__((target("avx2"))) int32_t listRepeated8(const uint32_t* codes, int32_t count, uint32_t cellMask,
                                                      const uint64_t* repeated, int32_t* listed, int32_t& n) {
    // The bits of the 64-bit words, as 32-bit words on this little-endian
    // processor.
    const int* words = (const int*)(const void*)repeated;
    const __m256i mask = _mm256_set1_epi32((int)cellMask), low = _mm256_set1_epi32(31);
    int32_t p = 0;
    for (; p + 8 <= count; p += 8) {
        const __m256i cells = _mm256_and_si256(_mm256_loadu_si256((const __m256i*)(codes + p)), mask);
        const __m256i word = _mm256_i32gather_epi32(words, _mm256_srli_epi32(cells, 5), 4);
        // Each lane's bit moved to the lane's top.
        const __m256i top = _mm256_sllv_epi32(word, _mm256_sub_epi32(low, _mm256_and_si256(cells, low)));
        for (unsigned lanes = (unsigned)_mm256_movemask_ps(_mm256_castsi256_ps(top)); lanes; lanes &= lanes - 1)
            listed[n++] = p + firstSetBit(lanes);
    }
    return p;
}

bool hasWideCoder() {
    static const bool supported =
        (__builtin_cpu_init(), __builtin_cpu_supports("avx2") != 0 && __builtin_cpu_supports("popcnt") != 0);
    return supported;
}
#endif

// Notes the marks of codes from to n, and which of those are near a face.
void note(const uint32_t* codes, int32_t from, int32_t n, Noted& noted) {
    for (int32_t p = from; p < n; ++p) {
        noted.marks[p] = codes[p] == 0 ? -1 : 0;
        noted.unplaced += codes[p] == 0;
        *noted.near = p;
        noted.near += codes[p] >> 31;
    }
}

// The codes of positions from to n, with their notes.
#if defined(__SSE2__)
void codesOf(const float* v, int32_t from, int32_t n, const Grid& grid, const Coder& coder, uint32_t* codes,
             Noted& noted) {
    int32_t i = from;
#if TARVOLT_WIDE_CODER
    if (hasWideCoder()) i = codesOf8(v, from, n, grid, codes, noted);
#else
    (void)grid;
#endif
    const int32_t wide = i;
    for (; i + 4 <= n; i += 4) coder.four(v + 3 * i, codes + i);
    if (i < n) {
        // The last few, padded with positions that are not placed.
        float rest[12];
        for (float& x : rest) x = std::numeric_limits<float>::quiet_NaN();
        std::memcpy(rest, v + 3 * i, (size_t)(n - i) * 3 * sizeof(float));
        uint32_t last[4];
        coder.four(rest, last);
        for (int k = 0; i < n; ++i, ++k) codes[i] = last[k];
    }
    note(codes, wide, n, noted);
}
#else
typedef Grid Coder;
void codesOf(const float* v, int32_t from, int32_t n, const Grid& grid, const Grid&, uint32_t* codes, Noted& noted) {
    for (int32_t i = from; i < n; ++i) codes[i] = codeOf(v + 3 * i, grid);
    note(codes, from, n, noted);
}
#endif

// Whether any cell across a face that the position is near holds a
// position, by the seen bits; the position is placed.
bool neighbourSeen(const Vec3& v, const Grid& grid, const uint64_t* seen, uint32_t mask) {
    const float coordinates[3] = {v.x, v.y, v.z};
    const uint32_t weights[3] = {1, kWeightY, kWeightZ};
    uint32_t line = 0;
    int32_t steps[3];
    for (int a = 0; a < 3; ++a) {
        const uint32_t fixed = fixedOf(coordinates[a], grid);
        const uint32_t within = fixed & kSlotMask;
        steps[a] = within < grid.margin ? -1 : within >= (1u << kFraction) - grid.margin ? 1 : 0;
        const uint32_t slot = fixed >> kFraction;
        // Beyond the slots used there may be positions not placed.
        if ((steps[a] < 0 && slot == kFirstSlot) || (steps[a] > 0 && slot == kLastSlot)) return true;
        line += slot * weights[a];
    }
    // Every combination of steps across the faces it is near, but not none:
    // the cell across each face, across each edge between two, and across
    // the corner between three. Mostly there is one face.
    uint32_t across[7];
    int cells = 0;
    for (int a = 0; a < 3; ++a) {
        if (steps[a] == 0) continue;
        const uint32_t step = (uint32_t)steps[a] * weights[a];
        for (int k = 0, before = cells; k < before; ++k) across[cells++] = across[k] + step;
        across[cells++] = line + step;
    }
    for (int k = 0; k < cells; ++k) {
        const uint32_t cell = across[k] & mask;
        if ((seen[cell >> 6] >> (cell & 63)) & 1) return true;
    }
    return false;
}

// Positions after which a mesh with few lone ones is given up on, and the
// bits that tell repeats among them.
const int32_t kSample = 1024;
const uint32_t kSampleBits = 1 << 16;

}  // namespace

int32_t LonePositions::mark(const Mesh& mesh, double typicalEdge, int32_t* marks) {
    const int32_t count = mesh.vertices.count;
    if (count == 0) return 0;

    double width = kNarrowestSlot;
    while (width < typicalEdge / kEdgeSlots && width < kWidestSlot) width *= 2;
    Grid grid;
    grid.scale = (float)((double)(1 << kFraction) / width);
    // A touch more than the tolerance covers the rounding of a difference to
    // double, and a unit each the truncations.
    grid.margin = (uint32_t)std::ceil((double)kWeldTolerance * (1.0 + 1.0 / 1048576.0) * grid.scale) + 2;

    // Sixty-four bits per position keep positions from sharing one.
    int bits = 6;
    while (bits < 26 && ((int64_t)1 << bits) < 64 * (int64_t)count) ++bits;
    const uint32_t mask = ((uint32_t)1 << bits) - 1;
    const int32_t words = (1 << bits) / 64;
    codes.reserve(count);
    const Coder coder(grid);

    // Where most positions are repeated, as in a mesh whose faces each have
    // positions of their own, there is nothing to find: a sample tells,
    // with a few bits of its own, before the bits of all are cleared.
    const int32_t sampled = count < kSample ? count : kSample;
    const float* positions = &mesh.vertices.items[0].x;
    nearFaces.reserve(count + 8);
    Noted noted = {marks, nearFaces.items, 0};
    codesOf(positions, 0, sampled, grid, coder, codes.items, noted);
    if (sampled == kSample) {
        uint64_t few[kSampleBits / 64] = {};
        int32_t repeats = 0;
        for (int32_t p = 0; p < sampled; ++p) {
            const uint32_t cell = codes.items[p] & (kSampleBits - 1);
            const uint64_t bit = (uint64_t)1 << (cell & 63);
            repeats += (few[cell >> 6] & bit) != 0;
            few[cell >> 6] |= bit;
        }
        if (2 * repeats > kSample) return -1;
    }
    codesOf(positions, sampled, count, grid, coder, codes.items, noted);
    nearFaces.count = (int32_t)(noted.near - nearFaces.items);
    const int32_t unplaced = noted.unplaced;
    seen.reserve(words);
    std::memset(seen.items, 0, (size_t)words * sizeof(uint64_t));

    // A position whose cell was seen before is crowded, and so may be the
    // first one of that cell, found afterwards. Positions not placed, marked
    // already, take the bit of cell 0 too, which can only make another look
    // crowded. A position near a face is lone only if the cells across that
    // face have no position at all; they are looked at once all are in.
    uint64_t* bitsOf = seen.items;
    const uint32_t* codeOf = codes.items;
    duplicates.count = 0;
    for (int32_t p = 0; p < count; ++p) {
        const uint32_t code = codeOf[p];
        const uint32_t cell = code & mask;
        uint64_t* word = bitsOf + (cell >> 6);
        const uint64_t held = *word;
        if (((held >> (cell & 63)) & 1) != 0) {
            if (code != 0) {
                marks[p] = -1;
                duplicates.push(cell);
            }
            continue;
        }
        *word = held | (uint64_t)1 << (cell & 63);
    }
    int32_t crowded = unplaced;
    if (duplicates.count > 0) crowded += settleRepeated(count, bits, marks);
    for (int32_t i = 0; i < nearFaces.count; ++i) {
        const int32_t p = nearFaces.items[i];
        if (marks[p] == 0 && neighbourSeen(mesh.vertices.items[p], grid, bitsOf, mask)) marks[p] = -1, ++crowded;
    }
    return crowded < count ? crowded : count;
}

int32_t LonePositions::settleRepeated(int32_t count, int bits, int32_t* marks) {
    const uint32_t* codeOf = codes.items;
    // The cells seen again, in a table small enough to stay at hand.
    // Never more bits than the cells' own, which the duplicates keep.
    int again = bits < 10 ? bits : 10;
    while (again < bits && ((int32_t)1 << again) < 256 * duplicates.count) ++again;
    const uint32_t cellMask = ((uint32_t)1 << again) - 1;
    repeated.reserve((1 << again) / 64);
    std::memset(repeated.items, 0, ((size_t)1 << again) / 8);
    for (int32_t i = 0; i < duplicates.count; ++i) {
        const uint32_t cell = duplicates.items[i] & cellMask;
        repeated.items[cell >> 6] |= (uint64_t)1 << (cell & 63);
    }

    // Every position of those cells, and a few more that share their bits.
    candidates.reserve(count);
    int32_t* listed = candidates.items;
    int32_t n = 0;
    int32_t p = 0;
#if TARVOLT_WIDE_CODER
    if (hasWideCoder()) p = listRepeated8(codeOf, count, cellMask, repeated.items, listed, n);
#endif
    for (; p < count; ++p) {
        const uint32_t cell = codeOf[p] & cellMask;
        listed[n] = p;
        n += (int32_t)((repeated.items[cell >> 6] >> (cell & 63)) & 1);
    }

    // Most of them only share a hash with another cell: told apart by their
    // whole line, they are alone in their cells after all. The lines are
    // counted in a small open table; each candidate keeps its slot.
    int tableBits = 6;
    while ((1 << tableBits) < 2 * n) ++tableBits;
    const uint32_t slotMask = ((uint32_t)1 << tableBits) - 1;
    lines.reserve(1 << tableBits);
    lineCounts.reserve(1 << tableBits);
    std::memset(lines.items, 0, sizeof(uint32_t) << tableBits);
    slots.reserve(n);
    for (int32_t i = 0; i < n; ++i) {
        // The line and the placed bit; positions not placed are crowded
        // already.
        const uint32_t line = codeOf[listed[i]] & ~kNearFace;
        if (line == 0) continue;
        uint32_t slot = (line * kWeightZ) >> (32 - tableBits);
        while (lines.items[slot] != 0 && lines.items[slot] != line) slot = (slot + 1) & slotMask;
        if (lines.items[slot] == 0) lines.items[slot] = line, lineCounts.items[slot] = 0;
        ++lineCounts.items[slot];
        slots.items[i] = slot;
    }
    int32_t crowded = 0;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t q = listed[i];
        if (codeOf[q] == 0) continue;
        const bool alone = lineCounts.items[slots.items[i]] == 1;
        marks[q] = alone ? 0 : -1;
        crowded += !alone;
    }
    return crowded;
}
