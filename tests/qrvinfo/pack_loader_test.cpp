#include <gtest/gtest.h>

#include "support/test_support.h"
#include "writer/pack_bytes.h"

#include <cmath>

namespace {

// "" when accepted, else the refusal as one text.
std::string refusal(const std::string& data, PackError* out = nullptr) {
    Pack pack;
    PackError error = {};
    if (loadBytes(data, pack, error)) return "";
    if (out) *out = error;
    return std::string(error.field) + ": expected " + error.expected + ", found " + error.found;
}

}  // namespace

// Each field of the small pack broken on its own is refused at its own byte,
// naming it.
TEST(PackLoader, NamesTheBrokenFieldAndItsByte) {
    ensureServices();
    struct Case {
        const char* mark;
        uint32_t delta;
        int width;
        uint32_t value;
        const char* field;
    } cases[] = {
        {"end mark", 0, 4, 0, "end mark"},
        {"chunk count", 0, 4, 0xFFFFFFFF, "chunk count"},
        {"table", 0, 4, 4, "offset table entry 0"},
        {"magic", 0, 4, 0, "chunk magic"},
        {"name length", 0, 4, 0xFFFFFFFF, "mesh 0 name length"},
        {"name length", 5, 1, 'x', "name terminator"},
        {"name length", 4, 1, 'B', "mesh 0 name"},
        {"transform", 20, 4, 0, "transform element 5"},
        {"sets", 0, 4, 3, "texture set count"},
        {"vertex count", 0, 4, 0xFFFFFFFF, "vertex count"},
        {"normal count", 0, 4, 2, "normal count"},
        {"normal 1", 4, 4, 0x3F000000, "normal 1 component 1"},
        {"bounds", 8, 4, 0xC0000000, "bounds minimum z"},
        {"bounds", 20, 4, 0, "bounds maximum z"},  // -0 was met first
        {"index count", 0, 4, 0xFFFFFFFF, "index count"},
        {"index count", 0, 4, 6, "index count"},
        {"indices", 2, 2, 3, "index 1"},
        {"subset count", 0, 4, 0xFFFFFFFF, "subset count"},
        {"subset", 0, 2, 3, "subset 0 first index"},
        {"subset", 2, 2, 2, "subset 0 triangle count"},
        {"subset", 2, 2, 0, "subset 0 triangle count"},
        {"slot 0", 0, 4, 0xFFFFFFFF, "slot 0 (diffuse) name length"},
        {"slot 1", 0, 4, 1, "slot 1 (lightmap) name length"},
        {"slot 2", 12, 4, 0, "slot 2 parameter 3"},
    };
    for (const Case& c : cases) {
        PackBytes b = smallPack();
        const uint32_t at = b.marks.at(c.mark) + c.delta;
        for (int i = 0; i < c.width; ++i) b.data[at + i] = (char)(c.value >> (8 * i));
        PackError error;
        const std::string message = refusal(b.data, &error);
        EXPECT_NE(std::string::npos, message.find(c.field)) << c.mark << "+" << c.delta << message;
        EXPECT_EQ(at, error.offset) << message;
    }
    PackBytes b = smallPack();  // vertex 2 never used
    b.data[b.marks.at("indices") + 4] = 1;
    EXPECT_NE(std::string::npos, refusal(b.data).find("vertex count: expected 2"));
    b = smallPack();  // four bytes that no chunk owns
    b.data.insert(b.marks.at("table"), 4, '\0');
    EXPECT_NE(std::string::npos, refusal(b.data).find("4 bytes left over"));
}

// Cut anywhere, or with a bit flipped anywhere but in free content (name
// characters, positions, u and v), the small pack is refused.
TEST(PackLoader, RefusesEveryTruncationAndEveryFlippedStructuralBit) {
    ensureServices();
    const PackBytes b = smallPack();
    PackBytes tail;
    tail.tail({0});
    for (size_t n = 0; n < b.data.size(); ++n) {
        EXPECT_NE("", refusal(b.data.substr(0, n))) << n;
        EXPECT_TRUE(n >= 345 || refusal(b.data.substr(0, n) + tail.data) != "") << n;  // intact tail
    }
    std::vector<bool> content(b.data.size(), false);
    auto free = [&](uint32_t from, uint32_t n) { std::fill_n(content.begin() + from, n, true); };
    free(b.marks.at("name length") + 4, 1);
    free(b.marks.at("slot 0") + 4, 4);
    for (int v = 0; v < 3; ++v) {
        free(b.marks.at("vertex " + std::to_string(v)), 12);
        free(b.marks.at("vertex " + std::to_string(v)) + 24, 8);
    }
    for (size_t i = 0; i < b.data.size(); ++i)
        for (int bit = 0; bit < 8 && !content[i]; ++bit) {
            std::string flipped = b.data;
            flipped[i] = (char)(flipped[i] ^ (1 << bit));
            EXPECT_NE("", refusal(flipped)) << "byte " << i << " bit " << bit;
        }
}

// NaN never takes part in the bounds: an axis without numbers keeps the
// starting extremes. Lightmaps are the mesh name and one suffix for all.
TEST(PackLoader, BoundsWithoutNumbersAndLightmapNames) {
    ensureServices();
    const float big = 3.4028235e38f, nan = std::nanf("");
    auto pack = [&](const char* lightmap, const char* second, uint32_t zeroWord = 0) {
        PackBytes t;
        meshChunk(t, "w", 2,
                  {{{0, nan, 0}, {0, 1, 0}, {0, 0}}, {{1, nan, 2}, {0, 1, 0}, {1, 0}},
                   {{nan, nan, -2}, {0, 1, 0}, {0, 1}}, {{4, nan, 0}, {0, 1, 0}, {1, 1}}},
                  true, {0, big, -2, 4, -big, 2}, {0, 1, 2, 3, 2, 1},
                  {{0, 1, "a", lightmap}, {3, 1, nullptr, second}});
        t.data[t.marks.at("vertex 2") + 12] = (char)zeroWord;
        return refusal(t.tail({0}).data);
    };
    EXPECT_EQ("", pack("w_L_0000", "w_L_0000"));
    EXPECT_EQ("", pack("w", "w"));  // empty suffix
    EXPECT_NE("", pack("v_L_0000", "v_L_0000"));
    EXPECT_NE("", pack("w_L_0000", "w_L_0001"));
    EXPECT_NE("", pack(nullptr, nullptr));
    EXPECT_NE(std::string::npos, pack("w_L_0000", "w_L_0000", 1).find("vertex 2 zero word"));
}
