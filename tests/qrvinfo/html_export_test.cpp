#include <gtest/gtest.h>

#include "qrvinfo/html_export.h"
#include "qrvinfo/summary.h"
#include "support/scratch_dir.h"
#include "support/test_support.h"
#include "writer/pack_bytes.h"

static std::string between(const std::string& text, const std::string& open, const std::string& close) {
    const size_t start = text.find(open) + open.size();
    return text.substr(start, text.find(close, start) - start);
}

static std::string decodeBase64(const std::string& text) {
    const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string bytes;
    uint32_t bits = 0;
    int held = 0;
    for (size_t i = 0; i < text.size() && text[i] != '='; ++i)
        if ((bits = bits << 6 | (uint32_t)digits.find(text[i]), held += 6) >= 8) bytes += (char)(bits >> (held -= 8));
    return bytes;
}

// A one-set and a two-set mesh, whose texture name tries to end the page's script: the index gives the names
// inside their JSON strings and where the arrays start; the arrays are the pack's own records, normals (two sets
// only) and indices, each on a 4-byte boundary; title and summary are escaped; nothing outside the page is named.
TEST(HtmlExport, ArraysAreThePacksOwnAndNamesCannotBreakThePage) {
    ensureServices();
    PackBytes one, two, b;
    smallChunk(one), wallChunk(two, "</script><b>&\"\\\x01\xE9");
    const uint32_t second = (uint32_t)one.data.size();
    b.data = one.data + two.data;
    b.tail({0, second});
    Pack pack;
    PackError error;
    ASSERT_TRUE(loadBytes(b.data, pack, error)) << error.field;
    Array<char> summary;
    appendSummary(summary, "a<b>&c.qrv", pack);
    ScratchDir dir;
    FILE* out = std::fopen((dir / "page.html").c_str(), "wb");
    writeHtmlTo(out, pack, "a<b>&c.qrv", summary.items, summary.count);
    std::fclose(out);
    const std::string page = readBytes(dir / "page.html");

    EXPECT_EQ("{\"meshes\": [\n {\"name\": \"b\", \"sets\": 1, \"vertices\": 3, \"indices\": 3, \"records\": 0, "
              "\"normals\": -1, \"order\": 96, \"subsets\": [[0, 1, \"wood\", null]]},\n {\"name\": \"wall\", \"sets\": 2, "
              "\"vertices\": 3, \"indices\": 3, \"records\": 104, \"normals\": 200, \"order\": 236, \"subsets\": [[0, 1, "
              "\"\\u003c/script\\u003e\\u003cb\\u003e\\u0026\\u0022\\u005c\\u0001\\u00e9\", \"wall_L_0000\"]]}],\n \"bytes\": 244}",
              between(page, "<script type=\"application/json\" id=\"pack-info\">", "</script>"));
    const auto at = [&](const PackBytes& chunk, const char* mark, uint32_t n, uint32_t start) {
        return b.data.substr(start + chunk.marks.at(mark), n);
    };
    const std::string pad(2, '\0');
    EXPECT_EQ(at(one, "vertex 0", 96, 0) + at(one, "indices", 6, 0) + pad + at(two, "vertex 0", 96, second) +
                  at(two, "normal 0", 36, second) + at(two, "indices", 6, second) + pad,
              decodeBase64(between(page, "id=\"pack-arrays\">", "</script>")));
    const std::string shown = between(page, "<pre id=\"summary\">", "</pre>");
    EXPECT_EQ(0u, shown.find("a&lt;b&gt;&amp;c.qrv: valid qrv pack")) << shown;
    EXPECT_NE(std::string::npos, shown.find("texture \"&lt;/script&gt;&lt;b&gt;&amp;\\\"")) << shown;
    EXPECT_NE(std::string::npos, page.find("<title>a&lt;b&gt;&amp;c.qrv</title>"));
    for (const char* outside : {"@@", "src=", "href=", "url(", "@import", "http:", "https:"})
        EXPECT_EQ(std::string::npos, page.find(outside)) << outside;
}
