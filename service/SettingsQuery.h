// The system-settings query: one fresh exchange with the maker's service.
#pragma once

#include <string>
#include <vector>

#include "service/PostForm.h"

namespace mojian {

// The fields of the system-settings record (field 0 the current version,
// 2 the download address, 4 the contact address); empty when the service
// could not be reached or gave no record. Nothing is cached.
std::vector<std::string> QuerySystemSettings(const std::string& serviceUrl, const PostFormOptions& options = {});

}  // namespace mojian
