#include "app/gates/ContactButtons.h"

#include "app/env/Environment.h"
#include "app/gates/GateTexts.h"
#include "service/SettingsExchange.h"
#include "service/SettingsQuery.h"

namespace mojian {

void OpenContactAddress(HWND owner) {
    const Environment& env = CurrentEnvironment();
    PostFormOptions options;
    options.timeoutMs = env.timeoutMs;
    const std::vector<std::string> record = QuerySystemSettings(env.serviceUrl, options);
    if (record.size() > kContactField && !record[kContactField].empty()) {
        env.openAddress(record[kContactField]);
    } else {
        env.messageBox(owner, gate_texts::kNoContactAddress, gate_texts::kNotice, MB_OK | MB_ICONINFORMATION);
    }
}

}  // namespace mojian
