#include "common/download/CurlPerform.h"

CURLcode PerformUnlessAborted(CURL* h, const std::atomic<bool>& abort) {
  if (abort) return CURLE_ABORTED_BY_CALLBACK;
  CURLM* multi = curl_multi_init();
  if (!multi) return CURLE_OUT_OF_MEMORY;
  if (curl_multi_add_handle(multi, h) != CURLM_OK) {
    curl_multi_cleanup(multi);
    return CURLE_FAILED_INIT;
  }
  CURLcode rc = CURLE_ABORTED_BY_CALLBACK;
  int running = 1;
  while (!abort) {
    if (curl_multi_perform(multi, &running) != CURLM_OK) {
      rc = CURLE_FAILED_INIT;
      break;
    }
    if (running == 0) {
      int left = 0;
      rc = CURLE_RECV_ERROR;
      while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
        if (msg->msg == CURLMSG_DONE && msg->easy_handle == h) rc = msg->data.result;
      }
      break;
    }
    if (curl_multi_poll(multi, nullptr, 0, kAbortPollMs, nullptr) != CURLM_OK) {
      rc = CURLE_FAILED_INIT;
      break;
    }
  }
  curl_multi_remove_handle(multi, h);
  curl_multi_cleanup(multi);
  return rc;
}
