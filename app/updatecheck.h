#pragma once
// The software-update check: one HTTP GET to the update server, its JSON reply, and the comparison of the
// program's version with the server's. A check runs on a worker thread (CUpdateCheckThread); its result is
// handed to a callback on that thread, and the GUI shows it on its own thread.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

// The server address is a setting: scheme, host and port. The check's path is fixed and appended.
inline constexpr std::string_view kUpdateServerDefault = "http://update.vexarium.example:8080";
inline constexpr std::string_view kUpdateCheckPath = "/software/checkversion/Vexarium";
// The largest reply accepted; a longer one fails the request.
inline constexpr size_t kUpdateReplyLimit = size_t{1} << 20;

// The server address without trailing slashes, followed by the check's path.
std::string UpdateCheckUrl(std::string_view serverBase);

// The value of a version text "p0.p1.p2.p3": each part read as C's atoi reads it (a missing or non-numeric
// part is 0), value ((p0 * 256 + p1) * 256 + p2) * 256 + p3 in 64 bits, so parts above 255 carry into the
// next position and a first part of 128 or more stays positive.
int64_t VersionValue(std::string_view version);

// The members of a reply that the check uses.
struct UpdateReply {
    std::string AppName;
    std::string Version;
    std::string DownloadUrl;
};
// Reads a reply: nullopt unless it is a JSON object whose "state" is the string "ok" (exactly). Members of
// "data" that are missing or are not strings read as empty, as does a "data" that is not an object.
std::optional<UpdateReply> ParseUpdateReply(std::string_view body);

struct HttpGetOptions {
    long connectTimeoutS = 20;
    long timeoutS = 20;
    size_t replyLimit = kUpdateReplyLimit;
    // When set and it becomes true, the transfer is abandoned (within about a second).
    const std::atomic<bool>* cancel = nullptr;
};
// GET of an http or https address (other schemes are refused). Returns libcurl's code, 0 on success, with
// the reply body in `body`. A reply longer than the limit fails the request.
int HttpGet(const std::string& url, std::string& body, const HttpGetOptions& options = {});

struct UpdateCheckRequest {
    bool automatic = false;  // the silent check at start; false: the user asked
    std::string serverBase{kUpdateServerDefault};
    std::string localVersion;  // the program's product version
    HttpGetOptions http;
};

struct UpdateCheckResult {
    enum class Outcome {
        RequestFailed,  // no handle, no connection, time-out, transfer error, reply over the limit
        Refused,        // the reply is not an object or its state is not "ok"
        Answered,
    };
    Outcome outcome = Outcome::RequestFailed;
    int curlCode = 0;
    bool automatic = false;
    bool newer = false;  // the server's version value is above the local one
    std::string localVersion;
    std::string remoteVersion;
    std::string appName;
    std::string downloadUrl;

    // The result dialog is shown for every answer of a check the user asked for, and for an answer of the
    // automatic check only when it offers a newer version.
    bool ShowDialog() const { return outcome == Outcome::Answered && (!automatic || newer); }
    // A failed request is reported only to a user who asked.
    bool ShowNetworkError() const { return outcome == Outcome::RequestFailed && !automatic; }
};

// One complete check on the calling thread (blocks for up to the time-outs).
UpdateCheckResult CheckSoftwareUpdate(const UpdateCheckRequest& request);

// One check on a worker thread of its own. `done` runs on the worker with the result, exactly once, unless
// the check was cancelled first. Destruction cancels and joins, so `done` never runs after it.
class CUpdateCheckThread {
public:
    using Done = std::function<void(const UpdateCheckResult&)>;

    CUpdateCheckThread(UpdateCheckRequest request, Done done);
    ~CUpdateCheckThread();
    CUpdateCheckThread(const CUpdateCheckThread&) = delete;
    CUpdateCheckThread& operator=(const CUpdateCheckThread&) = delete;

    void Cancel() { m_cancel = true; }
    bool Finished() const { return m_finished; }
    void Join();

private:
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_finished{false};
    std::thread m_thread;
};
