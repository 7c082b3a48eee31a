// The objects the download phase owns for one call, shared by its steps.
#pragma once

#include <memory>
#include <string>

#include "platform/http_client.h"
#include "update/name_value_list.h"
#include "update/server_address.h"

namespace klv {

// The longest server answer kept in memory; a longer one fails the exchange.
inline constexpr size_t kMaxAnswerSize = 16 * 1024 * 1024;

struct DownloadSession {
  ServerAddress server;
  std::unique_ptr<platform::HttpClient> http;
  NameValueList catalog;  // "update.file", loaded by the request and again by reconciliation
  std::string request;    // the request body, posted unchanged by every attempt
  std::string response;   // the answer's bytes
  int server_port = 0;    // `ServerPort`: the port of the latest post attempt
};

}  // namespace klv
