#include "app/updatecheck.h"

#include <curl/curl.h>
#include <rapidjson/document.h>

#include <mutex>
#include <utility>

#include "platform/numparse.h"

namespace {

// libcurl's global state is set up once, before the first handle, whichever thread asks first.
void initCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct ReplySink {
    std::string* body;
    size_t limit;
};

// Appends each piece of the reply; a piece that would take the reply over its limit stops the transfer.
size_t curlWriteToString(char* data, size_t size, size_t count, void* target) {
    auto* sink = static_cast<ReplySink*>(target);
    if (data == nullptr || sink == nullptr) return 0;
    if (size != 0 && count > SIZE_MAX / size) return 0;
    const size_t bytes = size * count;
    if (bytes > sink->limit - sink->body->size()) return 0;
    sink->body->append(data, bytes);
    return bytes;
}

int curlProgress(void* flag, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* cancel = static_cast<const std::atomic<bool>*>(flag);
    return cancel != nullptr && cancel->load() ? 1 : 0;
}

// A member of `object` as text: empty when it is missing or not a string.
std::string stringMember(const rapidjson::Value& object, const char* name) {
    if (!object.IsObject()) return {};
    const auto it = object.FindMember(name);
    if (it == object.MemberEnd() || !it->value.IsString()) return {};
    return std::string(it->value.GetString(), it->value.GetStringLength());
}

}  // namespace

std::string UpdateCheckUrl(std::string_view serverBase) {
    while (!serverBase.empty() && serverBase.back() == '/') serverBase.remove_suffix(1);
    std::string url(serverBase);
    url += kUpdateCheckPath;
    return url;
}

int64_t VersionValue(std::string_view version) {
    int64_t value = 0;
    for (int part = 0; part < 4; ++part) {
        const size_t dot = version.find('.');
        const std::string_view text = version.substr(0, dot);
        version = dot == std::string_view::npos ? std::string_view() : version.substr(dot + 1);
        // Four parts of at most 31 bits each stay below 2^56 in magnitude.
        value = value * 256 + vex::ParseInt32(text);
    }
    return value;
}

std::optional<UpdateReply> ParseUpdateReply(std::string_view body) {
    rapidjson::Document doc;
    // Iterative parsing: nesting depth costs heap, not stack, so a hostile reply cannot overflow the stack.
    doc.Parse<rapidjson::kParseIterativeFlag>(body.data(), body.size());
    if (doc.HasParseError() || !doc.IsObject()) return std::nullopt;
    const rapidjson::Value& root = doc;
    if (stringMember(root, "state") != "ok") return std::nullopt;
    UpdateReply reply;
    const auto data = root.FindMember("data");
    if (data != root.MemberEnd() && data->value.IsObject()) {
        reply.AppName = stringMember(data->value, "app_name");
        reply.Version = stringMember(data->value, "version");
        reply.DownloadUrl = stringMember(data->value, "download_url");
    }
    return reply;
}

int HttpGet(const std::string& url, std::string& body, const HttpGetOptions& options) {
    body.clear();
    initCurlOnce();
    CURL* curl = curl_easy_init();
    if (curl == nullptr) return CURLE_FAILED_INIT;
    ReplySink sink{&body, options.replyLimit};
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, curlWriteToString);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options.replyLimit));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, options.connectTimeoutS);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, options.timeoutS);
    if (options.cancel != nullptr) {
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, curlProgress);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(options.cancel));
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    }
    const CURLcode code = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    return static_cast<int>(code);
}

UpdateCheckResult CheckSoftwareUpdate(const UpdateCheckRequest& request) {
    UpdateCheckResult result;
    result.automatic = request.automatic;
    result.localVersion = request.localVersion;
    std::string body;
    result.curlCode = HttpGet(UpdateCheckUrl(request.serverBase), body, request.http);
    if (result.curlCode != CURLE_OK) {
        result.outcome = UpdateCheckResult::Outcome::RequestFailed;
        return result;
    }
    const std::optional<UpdateReply> reply = ParseUpdateReply(body);
    if (!reply) {
        result.outcome = UpdateCheckResult::Outcome::Refused;
        return result;
    }
    result.outcome = UpdateCheckResult::Outcome::Answered;
    result.remoteVersion = reply->Version;
    result.appName = reply->AppName;
    result.downloadUrl = reply->DownloadUrl;
    result.newer = VersionValue(reply->Version) > VersionValue(request.localVersion);
    return result;
}

CUpdateCheckThread::CUpdateCheckThread(UpdateCheckRequest request, Done done) {
    request.http.cancel = &m_cancel;
    m_thread = std::thread([this, request = std::move(request), done = std::move(done)] {
        const UpdateCheckResult result = CheckSoftwareUpdate(request);
        if (!m_cancel && done) done(result);
        m_finished = true;
    });
}

CUpdateCheckThread::~CUpdateCheckThread() {
    Cancel();
    Join();
}

void CUpdateCheckThread::Join() {
    if (m_thread.joinable()) m_thread.join();
}
