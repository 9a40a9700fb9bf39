// Downloading one file over HTTP(S) with libcurl: 4,096-byte blocks into a temporary "WUPD"
// file beside the target, progress and the cancel question after each block, message pumping
// throughout, and the hand-over to the target only for a complete download whose SHA-256 is the
// one expected. Only https is spoken, for the address and for every redirect.
#include "update/web_update.h"

#include "app/ui.h"
#include "update/curl_connection.h"
#include "update/download_file.h"
#include "update/downloaded_names.h"
#include "update/lz_expand.h"

#include <cerrno>
#include <strings.h>
#include <unistd.h>

namespace quorvane {
namespace {

constexpr long blockSize = 4096;
constexpr long connectTimeoutSeconds = 30;
// A transfer that moves nothing for this long has stalled.
constexpr long stallSeconds = 60;

struct Transfer {
    TWebUpdate& update;
    CURL* handle;
    std::string targetDir;
    std::string targetPath;
    std::optional<TTempFile> temp;
    std::int64_t maxBytes = 0;
    TSha256 hash{};
    std::int64_t contentLength = 0;
    std::int64_t received = 0;
    bool refusedStatus = false;
    bool cancelled = false;
    bool writeFailed = false;
    bool tooLarge = false;

    bool askCancel() { return update.OnProgressCancel && update.OnProgressCancel(); }
};

long statusCode(CURL* handle) {
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    return status;
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::size_t onBlock(char* data, std::size_t one, std::size_t count, void* context) {
    auto& t = *static_cast<Transfer*>(context);
    const std::size_t size = one * count;
    if (!t.temp) {
        // The first block: the status line is known by now.
        if (statusCode(t.handle) > 299) {
            t.refusedStatus = true;
            return 0;
        }
        t.temp = CreateTempFileIn(t.targetDir);
        if (!t.temp) {
            t.writeFailed = true;
            return 0;
        }
        curl_off_t length = -1;
        curl_easy_getinfo(t.handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        t.contentLength = length > 0 ? static_cast<std::int64_t>(length) : 0;
    }
    PumpMessages();
    if (t.maxBytes > 0 && t.received + static_cast<std::int64_t>(size) > t.maxBytes) {
        t.tooLarge = true;
        return 0;
    }
    if (!writeAll(t.temp->fd.get(), data, size)) {
        t.writeFailed = true;
        return 0;
    }
    t.hash.Add(data, size);
    t.received += static_cast<std::int64_t>(size);
    if (t.update.OnFileProgress) t.update.OnFileProgress(t.targetPath, t.contentLength, t.received);
    if (t.askCancel()) {
        t.cancelled = true;
        return 0;
    }
    return size;
}

// Called while the transfer waits as well, so the window stays alive and Cancel works even
// when no data arrives.
int onProgress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto& t = *static_cast<Transfer*>(context);
    PumpMessages();
    if (t.askCancel()) {
        t.cancelled = true;
        return 1;
    }
    return 0;
}

void configure(CURL* h, const std::string& url, const TWebUpdate& update, Transfer& t, curl_slist* headers) {
    curl_easy_reset(h);
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_USERAGENT, update.AgentName.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    if (!update.CAFile.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, update.CAFile.c_str());
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);  // always fetch afresh, never from a cache
    curl_easy_setopt(h, CURLOPT_BUFFERSIZE, blockSize);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, connectTimeoutSeconds);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, stallSeconds);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    if (!update.NoProxy.empty()) curl_easy_setopt(h, CURLOPT_NOPROXY, update.NoProxy.c_str());
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, onBlock);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &t);
}

// After a 2xx answer without a body the target exists as an empty file, unless a file was
// there already: an empty download never empties an existing file.
void leaveEmptyTarget(const std::string& target) {
    if (::access(target.c_str(), F_OK) == 0) return;
    if (auto temp = CreateTempFileIn(FolderOf(target))) {
        temp->fd.reset();
        if (!CommitFile(temp->path, target)) ::unlink(temp->path.c_str());
    }
}

bool isHttps(const std::string& url) { return url.size() > 8 && strncasecmp(url.c_str(), "https://", 8) == 0; }

}  // namespace

bool TWebUpdate::URLGetFile(const std::string& url, bool compressed, const std::string& targetDir,
                            const TDownloadCheck& check) {
    if (!connection_ || connection_->handle == nullptr) return false;
    if (!isHttps(url)) {
        Refusal = "The update uses only https addresses; " + url + " is not one.";
        return false;
    }
    const std::string fileName = URLtoFile(url);
    if (fileName.empty() || targetDir.empty()) return false;
    std::string folder = targetDir;
    if (folder.back() != '/') folder += '/';

    Transfer t{*this, connection_->handle, folder, folder + fileName, std::nullopt, check.maxBytes};
    curl_slist* headers = curl_slist_append(nullptr, "Pragma: no-cache");
    headers = curl_slist_append(headers, "Cache-Control: no-cache");
    configure(connection_->handle, url, *this, t, headers);
    const CURLcode rc = curl_easy_perform(connection_->handle);
    curl_slist_free_all(headers);
    if (t.temp) t.temp->fd.reset();

    const bool complete = rc == CURLE_OK && !t.cancelled && !t.refusedStatus && !t.writeFailed && !t.tooLarge &&
                          statusCode(connection_->handle) <= 299;
    if (t.cancelled) Cancelled = true;
    // A redirect to plain http and a certificate that does not verify are refusals, not mishaps.
    if (rc == CURLE_UNSUPPORTED_PROTOCOL)
        Refusal = "The update server sent " + url + " on to an address that is not https; it was not followed.";
    else if (rc == CURLE_PEER_FAILED_VERIFICATION || rc == CURLE_SSL_CACERT_BADFILE)
        Refusal = "The certificate of the update server for " + url + " could not be verified.";
    else if (t.tooLarge)
        Refusal = url + " is larger than an update file may be.";
    if (complete && t.temp && !check.sha256.empty() && !SameDigest(t.hash.HexDigest(), check.sha256)) {
        Refusal = "The download " + url + " does not match the SHA-256 that the control file gives for it.";
        ::unlink(t.temp->path.c_str());
        return false;
    }
    if (!complete) {
        if (t.temp) ::unlink(t.temp->path.c_str());
        return false;
    }
    if (!t.temp) {
        leaveEmptyTarget(t.targetPath);
        return false;
    }
    // A compressed file is expanded from the download itself, so damaged data never replaces
    // the target, even when the expanded name is the downloaded one.
    if (compressed && UpperExtension(fileName) != ".CAB") return ExpandLZFile(t.targetPath, t.temp->path).has_value();
    if (!CommitFile(t.temp->path, t.targetPath)) {
        ::unlink(t.temp->path.c_str());
        return false;
    }
    return true;
}

}  // namespace quorvane
