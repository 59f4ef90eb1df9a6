#include <gtest/gtest.h>

#include "support/test_support.h"
#include "writer/pack_bytes.h"

// "" when accepted, else the refusal as one text.
static std::string refusal(const std::string& data, PackError* out = nullptr) {
    Pack pack;
    PackError error = {};
    if (loadBytes(data, pack, error)) return "";
    if (out) *out = error;
    return std::string(error.field) + ": expected " + error.expected + ", found " + error.found;
}

// Each field of a hand-built pack broken on its own is refused at its own byte, naming it.
TEST(PackLoader, NamesTheBrokenFieldAndItsByte) {
    ensureServices();
    struct Case { const char* mark; uint32_t delta; int width; uint32_t value; const char* field; bool dual = false; };
    const Case cases[] = {
        {"end mark", 0, 4, 0, "end mark"}, {"chunk count", 0, 4, 0xFFFFFFFF, "chunk count"},
        {"table", 0, 4, 4, "offset table entry 0"}, {"magic", 0, 4, 0, "chunk magic"},
        {"name length", 0, 4, 0xFFFFFFFF, "mesh 0 name length"}, {"name length", 5, 1, 'x', "name terminator"},
        {"name length", 4, 1, 'B', "mesh 0 name"}, {"transform", 20, 4, 0, "transform element 5"},
        {"sets", 0, 4, 3, "texture set count"}, {"vertex count", 0, 4, 0xFFFFFFFF, "vertex count"},
        {"normal count", 0, 4, 2, "normal count"}, {"normal 1", 4, 4, 0x3F000000, "normal 1 component 1"},
        {"bounds", 8, 4, 0xC0000000, "bounds minimum z"}, {"bounds", 20, 4, 0, "bounds maximum z"},  // -0 came first
        {"index count", 0, 4, 0xFFFFFFFF, "index count"}, {"index count", 0, 4, 6, "index count"},
        {"indices", 2, 2, 3, "index 1"}, {"indices", 0, 2, 1, "index 0"}, {"subset count", 0, 4, 0xFFFFFFFF, "subset count"},
        {"subset", 0, 2, 3, "subset 0 first index"}, {"subset", 2, 2, 2, "subset 0 triangle count"},
        {"subset", 2, 2, 0, "subset 0 triangle count"}, {"slot 0", 0, 4, 0xFFFFFFFF, "slot 0 (diffuse) name length"},
        {"slot 1", 0, 4, 1, "slot 1 (lightmap) name length"}, {"slot 2", 12, 4, 0, "slot 2 parameter 3"},
        {"vertex 2", 12, 4, 1, "vertex 2 zero word", true},  // the two-set pack from here on
        {"slot 1", 4, 1, 'v', "slot 1 (lightmap) name", true},
    };
    for (const Case& c : cases) {
        PackBytes b = c.dual ? dualPack() : smallPack();
        const uint32_t at = b.marks.at(c.mark) + c.delta;
        for (int i = 0; i < c.width; ++i) b.data[at + i] = (char)(c.value >> (8 * i));
        PackError error;
        const std::string message = refusal(b.data, &error);
        EXPECT_NE(std::string::npos, message.find(c.field)) << c.mark << "+" << c.delta << message;
        EXPECT_EQ(at, error.offset) << message;
    }
}

// Cut anywhere, or with a bit flipped anywhere but in free content, the small pack is refused.
TEST(PackLoader, RefusesEveryTruncationAndEveryFlippedStructuralBit) {
    ensureServices();
    const PackBytes b = smallPack();
    const std::string tail = PackBytes().tail({0}).data;
    for (size_t n = 0; n < b.data.size(); ++n) {
        EXPECT_NE("", refusal(b.data.substr(0, n))) << n;
        EXPECT_TRUE(n >= 345 || refusal(b.data.substr(0, n) + tail) != "") << n;  // chunk cut, tail intact
    }
    std::vector<bool> free(b.data.size(), false);  // name characters, positions, u and v
    auto mark = [&](uint32_t at, int n) { std::fill_n(free.begin() + at, n, true); };
    mark(b.marks.at("name length") + 4, 1), mark(b.marks.at("slot 0") + 4, 4);
    for (int v = 0; v < 3; ++v) {
        const uint32_t at = b.marks.at("vertex " + std::to_string(v));
        mark(at, 12), mark(at + 24, 8);
    }
    for (size_t i = 0; i < b.data.size(); ++i)
        for (int bit = 0; bit < 8 && !free[i]; ++bit) {
            std::string flipped = b.data;
            flipped[i] = (char)(flipped[i] ^ (1 << bit));
            EXPECT_NE("", refusal(flipped)) << "byte " << i << " bit " << bit;
        }
}
