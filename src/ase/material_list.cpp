#include "ase/ase_reader.h"
#include "ase/number.h"
#include "ase/syntax_error.h"

String textureNameFromPath(const char* path) {
    String whole(path);
    String name = whole.fileName();
    return name.withoutExtension();
}

int parseMapDiffuse(ReadContext& context, Tokenizer& tokenizer, Material& material) {
    if (!expectAfter(context, tokenizer, "{", "*MAP_DIFFUSE")) return 0;
    while (tokenizer.nextToken()) {
        if (tokenizer.is("}")) return 1;
        if (tokenizer.is("*BITMAP")) {
            if (!tokenizer.nextToken())
                return syntaxError(context, tokenizer, "expected a path after *BITMAP");
            String name = textureNameFromPath(tokenizer.text());
            material.textureName.assign(name);
        }
    }
    return 1;
}

int parseMaterial(ReadContext& context, Tokenizer& tokenizer, Array<Material>& target, int depth) {
    const char* keyword = depth == 0 ? "*MATERIAL" : "*SUBMATERIAL";
    if (!tokenizer.nextToken()) return syntaxError(context, tokenizer, "expected a number after %s", keyword);
    (void)parseInt(tokenizer.text());  // the number labels the entry; order decides
    if (!tokenizer.expect("{"))
        return syntaxError(context, tokenizer, "expected \"{\" after the number of %s", keyword);
    Material material;
    int32_t braces = 1;
    while (tokenizer.nextToken()) {
        if (tokenizer.is("{")) {
            ++braces;
        } else if (tokenizer.is("}")) {
            if (--braces == 0) break;
        } else if (tokenizer.is("*MAP_DIFFUSE")) {
            if (!parseMapDiffuse(context, tokenizer, material)) return 0;
        } else if (tokenizer.is("*SUBMATERIAL")) {
            if (depth + 1 > kMaxMaterialDepth) {
                return parseError(context, tokenizer, "*SUBMATERIAL nested deeper than %d levels",
                                  kMaxMaterialDepth);
            }
            if (!parseMaterial(context, tokenizer, material.subMaterials, depth + 1)) return 0;
        }
    }
    target.push(material);
    return 1;
}

int parseMaterialListBlock(ReadContext& context, Tokenizer& tokenizer, MaterialTable& table) {
    const int32_t start = tokenizer.position();
    if (!expectAfter(context, tokenizer, "{", "*MATERIAL_LIST")) return 0;
    bool closed = false;
    while (tokenizer.nextToken()) {
        if (tokenizer.is("}")) {
            closed = true;
            break;
        }
        if (tokenizer.is("*MATERIAL_COUNT")) {
            if (!tokenizer.nextToken())
                return syntaxError(context, tokenizer, "expected a number after *MATERIAL_COUNT");
            (void)parseInt(tokenizer.text());
        } else if (tokenizer.is("*MATERIAL")) {
            if (!parseMaterial(context, tokenizer, table, 0)) return 0;
        }
    }
    if (!closed) warnUnclosed(context, tokenizer, "*MATERIAL_LIST", start);
    return 1;
}
