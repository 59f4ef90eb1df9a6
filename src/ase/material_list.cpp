#include "ase/ase_reader.h"
#include "ase/number.h"
#include "ase/syntax_error.h"

#include <cstring>

bool textureNameFromPath(const char* path, String& name) {
    const char* start = String::fileNameStart(path);
    return name.tryAssign(start, String::extensionStart(start, (int32_t)std::strlen(start)));
}

int parseMapDiffuse(ReadContext& context, Tokenizer& tokenizer, Material& material) {
    if (!expectAfter(context, tokenizer, "{", "*MAP_DIFFUSE")) return 0;
    while (tokenizer.nextToken()) {
        if (tokenizer.is("}")) return 1;
        if (tokenizer.is("*BITMAP")) {
            if (!tokenizer.nextToken())
                return syntaxError(context, tokenizer, "expected a path after *BITMAP");
            if (!textureNameFromPath(tokenizer.text(), material.textureName)) return context.ranOutOfMemory();
        }
    }
    return 1;
}

MaterialBlockEnd parseMaterial(ReadContext& context, Tokenizer& tokenizer, Array<Material>& target, int depth) {
    const char* keyword = depth == 0 ? "*MATERIAL" : "*SUBMATERIAL";
    if (!tokenizer.nextToken()) {
        syntaxError(context, tokenizer, "expected a number after %s", keyword);
        return kMaterialFailed;
    }
    // The number labels the entry, and order decides; some exporters leave
    // it out.
    if (!tokenizer.is("{") && !tokenizer.expect("{")) {
        syntaxError(context, tokenizer, "expected \"{\" after the number of %s", keyword);
        return kMaterialFailed;
    }
    Material material;
    MaterialBlockEnd end = kMaterialClosed;
    int32_t braces = 1;
    while (tokenizer.nextToken()) {
        if (tokenizer.is("{")) {
            ++braces;
        } else if (tokenizer.is("}")) {
            if (--braces == 0) break;
        } else if (tokenizer.is("*GEOMOBJECT")) {
            end = kMaterialCutShort;
            break;
        } else if (tokenizer.is("*MAP_DIFFUSE")) {
            if (!parseMapDiffuse(context, tokenizer, material)) return kMaterialFailed;
        } else if (tokenizer.is("*SUBMATERIAL")) {
            if (depth + 1 > kMaxMaterialDepth) {
                parseError(context, tokenizer, "*SUBMATERIAL nested deeper than %d levels", kMaxMaterialDepth);
                return kMaterialFailed;
            }
            end = parseMaterial(context, tokenizer, material.subMaterials, depth + 1);
            if (end == kMaterialFailed) return kMaterialFailed;
            if (end == kMaterialCutShort) break;
        }
    }
    // Moved in bytewise, as the table moves its entries: no copy that could
    // run out of memory.
    Material* entry = target.tryPushCleared();
    if (!entry) {
        context.ranOutOfMemory();
        return kMaterialFailed;
    }
    std::memcpy((void*)entry, (const void*)&material, sizeof material);
    new (&material) Material();
    return end;
}

int parseMaterialListBlock(ReadContext& context, Tokenizer& tokenizer, MaterialTable& table) {
    const int32_t start = tokenizer.position();
    if (!expectAfter(context, tokenizer, "{", "*MATERIAL_LIST")) return 0;
    while (tokenizer.nextToken()) {
        if (tokenizer.is("}")) return 1;
        if (tokenizer.is("*MATERIAL_COUNT")) {
            if (!tokenizer.nextToken())
                return syntaxError(context, tokenizer, "expected a number after *MATERIAL_COUNT");
            (void)parseInt(tokenizer.text());
        } else if (tokenizer.is("*MATERIAL")) {
            const MaterialBlockEnd end = parseMaterial(context, tokenizer, table, 0);
            if (end == kMaterialFailed) return 0;
        }
        if (tokenizer.is("*GEOMOBJECT")) {
            context.warn("*MATERIAL_LIST opened on line %d is not closed before the *GEOMOBJECT on line %d; it ends there",
                         tokenizer.lineAt(start > 0 ? start - 1 : 0), tokenizer.lineNumber());
            return 1;
        }
    }
    warnUnclosed(context, tokenizer, "*MATERIAL_LIST", start);
    return 1;
}
