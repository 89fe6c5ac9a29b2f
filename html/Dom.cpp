#include "html/Dom.h"

namespace mojian::html {

const Attribute* Node::FindAttr(std::string_view name) const {
    for (const Attribute& a : attrs)
        if (a.name == name) return &a;
    return nullptr;
}

const std::string* Node::Attr(std::string_view name) const {
    const Attribute* a = FindAttr(name);
    return a ? &a->value : nullptr;
}

bool Node::HasOwnText() const {
    for (const auto& child : children) {
        if (!child->IsText()) continue;
        for (char16_t c : child->text) {
            const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v' ||
                               c == 0xA0 || c == 0x3000 || c == 0xFEFF || (c >= 0x2000 && c <= 0x200A);
            if (!space) return true;
        }
    }
    return false;
}

}  // namespace mojian::html
