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

}  // namespace mojian::html
