#include "compose/PageData.h"

#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"

namespace mojian {

std::string ChoiceName(const Choice& choice) {
    if (choice.custom) return std::string(kCustomSourceCaption);
    return EntryName(choice.kind, choice.style);
}

std::optional<Choice> ChoiceFromName(std::string_view name) {
    if (name == kCustomSourceCaption) return Choice::Custom();
    const ResolvedEntry entry = ResolveEntry(name);
    if (!entry.IsBuiltIn()) return std::nullopt;
    return Choice::BuiltIn(entry.kind, entry.style);
}

}  // namespace mojian
