// What the settings service answers to one whole request: the program's
// system-settings query, the connectivity probe, the health address for load
// balancers and two small pages. It never runs SQL that arrives on the wire;
// a request can only select which fixed answer it gets.
#pragma once

#include <functional>
#include <optional>

#include "service/server/HttpMessage.h"
#include "service/server/SettingsStore.h"

namespace mojian::service {

// GET /healthz: 200 "ok" while the record can be read, 503 otherwise.
inline constexpr std::string_view kHealthPath = "/healthz";

using RecordSource = std::function<std::optional<SettingsRecord>()>;

HttpResponse AnswerRequest(const HttpRequest& request, const RecordSource& readRecord);

// A short error answer with its text.
HttpResponse ErrorAnswer(int status, std::string_view text);

}  // namespace mojian::service
