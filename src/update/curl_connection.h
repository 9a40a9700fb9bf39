#pragma once
// The open transfer handle of an update session (the stand-in for the Internet handle).
#include "update/web_update.h"

#include <curl/curl.h>

namespace quorvane {

struct TWebUpdate::Connection {
    CURL* handle = nullptr;
    ~Connection() {
        if (handle != nullptr) curl_easy_cleanup(handle);
    }
};

}  // namespace quorvane
