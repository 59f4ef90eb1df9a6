#include <gtest/gtest.h>

#include "qrvinfo/html_export.h"
#include "qrvinfo/summary.h"
#include "support/scratch_dir.h"
#include "support/test_support.h"
#include "writer/pack_bytes.h"

#include <regex>

// The page of a pack, written through a real file.
static std::string pageOf(const Pack& pack, const char* title) {
    ScratchDir dir;
    Array<char> summary;
    appendSummary(summary, title, pack);
    FILE* out = std::fopen((dir / "page.html").c_str(), "wb");
    writeHtmlTo(out, pack, title, summary.items, summary.count);
    std::fclose(out);
    return readBytes(dir / "page.html");
}

static std::string between(const std::string& text, const std::string& open, const std::string& close) {
    const size_t start = text.find(open);
    if (start == std::string::npos) return "";
    const size_t end = text.find(close, start + open.size());
    return text.substr(start + open.size(), end - start - open.size());
}

static std::string decodeBase64(const std::string& text) {
    const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string bytes;
    uint32_t bits = 0;
    int held = 0;
    for (char c : text) {
        if (c == '=') break;
        bits = bits << 6 | (uint32_t)digits.find(c);
        if ((held += 6) >= 8) bytes.push_back((char)(bits >> (held -= 8)));
    }
    return bytes;
}

// A one-set mesh and a two-set mesh, whose texture name tries to end the page's script: the page's arrays
// decode to the pack's own records, normals (two sets only) and indices at the offsets its index gives; the
// names stay inside their JSON strings; the summary is qrvinfo's, escaped; nothing outside the page is named.
TEST(HtmlExport, ArraysAreThePacksOwnAndNamesCannotBreakThePage) {
    ensureServices();
    PackBytes b;
    const std::vector<Vertex> corners = {{{0, 0, -1}, {0, 1, 0}, {0, 0.5f}}, {{1, 0, -0.0f}, {0, 1, 0}, {1, 1}},
                                         {{0, 0, -0.0f}, {0, 1, 0}, {0, 1}}};
    meshChunk(b, "b", 1, corners, true, {0, 0, -1, 1, 0, -0.0f}, {0, 1, 2}, {{0, 1, "wood", nullptr}});
    const uint32_t second = (uint32_t)b.data.size();
    meshChunk(b, "wall", 2,
              {{{-2, -1, -4}, {1, 0, 0}, {1, 0, 0, 0}}, {{4, 0.5f, 1}, {0, 1, 0}, {0.5f, 1, 0.75f, 0.75f}},
               {{1, 3, -2}, {0.6f, 0, 0.8f}, {0.25f, 0.25f, 0.125f, 0.5f}}},
              true, {-2, -1, -4, 4, 3, 1}, {0, 1, 2}, {{0, 1, "</script><b>&\"\\\x01\xE9", "wall_L_0000"}});
    b.tail({0, second});
    Pack pack;
    PackError error;
    ASSERT_TRUE(loadBytes(b.data, pack, error)) << error.field;
    const std::string page = pageOf(pack, "a<b>&c.qrv");

    const std::string info = between(page, "<script type=\"application/json\" id=\"pack-info\">", "</script>");
    EXPECT_EQ(std::string::npos, info.find('<')) << info;
    EXPECT_NE(std::string::npos, info.find("\"\\u003c/script\\u003e\\u003cb\\u003e\\u0026\\u0022\\u005c\\u0001\\u00e9\""))
        << info;
    const std::string arrays = decodeBase64(between(page, "id=\"pack-arrays\">", "</script>"));
    const std::regex meshEntry("\"sets\": (\\d), \"vertices\": (\\d+), \"indices\": (\\d+), \"records\": (\\d+), "
                               "\"normals\": (-?\\d+), \"order\": (\\d+)");
    int32_t m = 0;
    for (std::sregex_iterator it(info.begin(), info.end(), meshEntry), end; it != end; ++it, ++m) {
        ASSERT_LT(m, pack.meshes.count);
        const MeshInfo& mesh = pack.meshes[m];
        const std::smatch& field = *it;
        const uint32_t records = std::stoul(field[4]), order = std::stoul(field[6]);
        const long normals = std::stol(field[5]);
        EXPECT_EQ(std::to_string(mesh.textureSets) + " 3 3", field.str(1) + " " + field.str(2) + " " + field.str(3));
        EXPECT_EQ(0u, records % 4 + order % 4 + (uint32_t)(normals < 0 ? 0 : normals % 4)) << "4-byte aligned";
        const auto packArray = [&](uint32_t at, uint32_t n) { return std::string((const char*)pack.bytes + at, n); };
        EXPECT_EQ(packArray(mesh.vertexOffset, 96), arrays.substr(records, 96)) << m;
        EXPECT_EQ(packArray(mesh.indexOffset, 6), arrays.substr(order, 6)) << m;
        if (mesh.textureSets == 2)
            EXPECT_EQ(packArray(mesh.normalOffset, 36), arrays.substr((size_t)normals, 36)) << m;
        else
            EXPECT_EQ(-1, normals) << "one set: the normals are in the records";
    }
    EXPECT_EQ(2, m);
    EXPECT_NE(std::string::npos, info.find("\"bytes\": " + std::to_string(arrays.size()))) << arrays.size();

    Array<char> summary;
    appendSummary(summary, "a<b>&c.qrv", pack);
    std::string escaped;
    for (int32_t i = 0; i < summary.count; ++i) {
        const char c = summary[i];
        escaped += c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '&' ? "&amp;" : std::string(1, c);
    }
    EXPECT_EQ(escaped, between(page, "<pre id=\"summary\">", "</pre>"));
    EXPECT_NE(std::string::npos, page.find("<title>a&lt;b&gt;&amp;c.qrv</title>"));
    EXPECT_EQ(std::string::npos, page.find("@@")) << "every slot filled";
    for (const char* outside : {"src=", "href=", "url(", "@import", "http:", "https:"})
        EXPECT_EQ(std::string::npos, page.find(outside)) << outside;
}
