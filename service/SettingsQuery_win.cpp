#include "service/SettingsQuery.h"

#include "service/SettingsExchange.h"

namespace mojian {

std::vector<std::string> QuerySystemSettings(const std::string& serviceUrl, const PostFormOptions& options) {
    return ParseSettingsAnswer(PostForm(serviceUrl, SettingsRequestBody(), options));
}

}  // namespace mojian
