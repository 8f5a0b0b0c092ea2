#pragma once
// A libcurl transfer that another thread can end promptly.
#include <curl/curl.h>

#include <atomic>

// curl_easy_perform on h, except that a raised abort ends it with CURLE_ABORTED_BY_CALLBACK
// within about 50 ms, also while the server is silent (the easy interface only wakes about
// once a second then). An abort raised before the call sends nothing.
CURLcode PerformUnlessAborted(CURL* h, const std::atomic<bool>& abort);

// How often a blocked transfer looks at its abort flag.
inline constexpr int kAbortPollMs = 50;
