#include "service/server/SettingsRoutes.h"

#include "base/Gbk.h"
#include "service/SettingsExchange.h"

namespace mojian::service {

namespace {

HttpResponse Text(int status, std::string_view utf8) {
    HttpResponse r;
    r.status = status;
    r.body = Utf8ToGbk(utf8);
    return r;
}

// Small pages behind the seeded download and contact addresses, so a fresh
// local service has somewhere for the program to send the user.
constexpr const char* kDownloadPage =
    "<html><head><title>墨笺下载</title></head><body><p>墨笺的最新版本请向卖家索取。</p></body></html>";
constexpr const char* kContactPage =
    "<html><head><title>联系我们</title></head><body><p>客服在线时间：每天 9:00-21:00。</p></body></html>";

HttpResponse AnswerQuery(const HttpRequest& request, const RecordSource& readRecord) {
    switch (JudgeRequestBody(request.body)) {
    case RequestVerdict::Malformed: return Text(400, "bad request");
    case RequestVerdict::Refused: return Text(403, "refused");
    case RequestVerdict::SystemSettings: break;
    }
    const auto record = readRecord();
    if (!record) return Text(503, "no record");
    return Text(200, FormatSettingsAnswer({record->version, "", record->download, "", record->contact}));
}

}  // namespace

HttpResponse ErrorAnswer(int status, std::string_view text) { return Text(status, text); }

HttpResponse AnswerRequest(const HttpRequest& request, const RecordSource& readRecord) {
    const bool isGet = request.method == "GET" || request.method == "HEAD";
    const auto notAllowed = [](std::string_view allow) {
        HttpResponse r = Text(405, "method not allowed");
        r.headers.emplace_back("Allow", std::string(allow));
        return r;
    };
    if (request.path == kServicePath) return request.method == "POST" ? AnswerQuery(request, readRecord) : notAllowed("POST");

    if (request.path == kHealthPath) {
        if (!isGet) return notAllowed("GET, HEAD");
        return readRecord() ? Text(200, "ok") : Text(503, "no record");
    }
    const char* page = request.path == "/" ? "ok"  // the program's connectivity probe, when it is pointed here
                       : request.path == "/download" ? kDownloadPage
                       : request.path == "/contact"  ? kContactPage
                                                     : nullptr;
    if (!page) return Text(404, "not found");
    return isGet ? Text(200, page) : notAllowed("GET, HEAD");
}

}  // namespace mojian::service
