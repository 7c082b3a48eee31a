#include "server/sus_service.h"

// cpp-httplib is the HTTP base: small (one header, one library), each connection served on a
// worker of a thread pool, responses streamed through content providers, and it comes with
// Debian (libcpp-httplib-dev), so the server needs no framework or event loop of its own.
// Debian builds it as a shared library with TLS and compression; the server uses neither.
#include <httplib.h>

#include <memory>
#include <optional>

#include "server/answer_document.h"
#include "server/archive_file.h"
#include "server/bounded_server.h"
#include "server/delivery_store.h"
#include "server/request_document.h"

namespace klv::sus {

namespace {

constexpr char kAnswerPath[] = "/sus";
constexpr char kArchivePattern[] = R"(/update/(\d{1,9})/sus/([^/]+))";
constexpr char kTextType[] = "text/plain; charset=UTF-8";
constexpr int kBadRequest = 400;
constexpr int kNotFound = 404;
constexpr int kPayloadTooLarge = 413;
constexpr int kUnsupportedMediaType = 415;
constexpr int kServerError = 500;

void Refuse(httplib::Response& res, int status, const std::string& why) {
  res.status = status;
  res.set_content(why + "\n", kTextType);
}

// A body the server does not read must not be taken for the next request on the connection,
// so such a refusal also ends the connection.
void RefuseAndClose(httplib::Response& res, int status, const std::string& why) {
  Refuse(res, status, why);
  res.set_header("Connection", "close");
  CloseConnectionAfterResponse();
}

// The declared body length: 0 without the header, nullopt when it is no decimal number.
std::optional<uint64_t> DeclaredLength(const httplib::Request& req) {
  if (!req.has_header("Content-Length")) return 0;
  const std::string text = req.get_header_value("Content-Length");
  if (text.empty() || text.size() > 19) return std::nullopt;
  uint64_t length = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    length = length * 10 + static_cast<uint64_t>(c - '0');
  }
  return length;
}

bool CarriesBody(const httplib::Request& req) {
  const std::optional<uint64_t> length = DeclaredLength(req);
  return req.has_header("Transfer-Encoding") || !length || *length > 0;
}

std::string LimitText() {
  return "the request body is larger than " + std::to_string(kMaxRequestBytes) + " bytes";
}

}  // namespace

std::string EscapeForLog(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte > 0x20 && byte < 0x7F && byte != '%') {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    }
  }
  return out;
}

SusService::SusService(ServiceSettings settings, DeliveryStore& store, LogSink log)
    : settings_(std::move(settings)), store_(store), log_(std::move(log)) {
  for (const ManifestEntry& entry : settings_.manifest) {
    archives_.emplace(ArchiveBaseName(entry), entry.archive);
  }
}

std::string SusService::Answer(std::string_view body) {
  const UpdateRequest request = ParseRequestDocument(body);
  const std::vector<size_t> offered = store_.OfferUnsent(request.computer, settings_.manifest);
  return BuildAnswerDocument(settings_.manifest, offered, settings_.base_url);
}

void SusService::AnswerPost(httplib::Response& res, const httplib::ContentReader& read) {
  // A body sent in chunks declares no length: it is counted as it arrives.
  std::string body;
  bool too_large = false;
  const bool complete = read([&](const char* data, size_t size) {
    if (size > kMaxRequestBytes - body.size()) {
      too_large = true;
      return false;
    }
    body.append(data, size);
    return true;
  });
  if (too_large) return RefuseAndClose(res, kPayloadTooLarge, LimitText());
  if (!complete) return RefuseAndClose(res, kBadRequest, "the request body is incomplete");
  try {
    res.set_content(Answer(body), "text/xml; charset=UTF-8");
  } catch (const RequestError& error) {
    Refuse(res, kBadRequest, error.what());
  }
}

void SusService::ServeArchive(const std::string& base_name, httplib::Response& res) {
  const auto archive = archives_.find(base_name);
  if (archive == archives_.end()) return Refuse(res, kNotFound, "no such archive");
  std::shared_ptr<ArchiveFile> file = ArchiveFile::Open(settings_.folder, archive->second);
  if (!file) return Refuse(res, kNotFound, "the archive cannot be read");
  // Streamed in chunks from the file, so an archive of any size costs one buffer.
  res.set_content_provider(static_cast<size_t>(file->size()), "application/zip",
                           [file](size_t offset, size_t length, httplib::DataSink& sink) {
                             const size_t read = file->ReadAt(offset, length);
                             return read > 0 && sink.write(file->data(), read);
                           });
}

void SusService::Install(httplib::Server& server) {
  server.set_payload_max_length(kMaxRequestBytes);

  // Screens requests before any body is read: only POST /sus takes a body, and only an
  // uncompressed one of at most kMaxRequestBytes (a compressed body could grow without bound
  // when it is unpacked).
  server.set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
    using Outcome = httplib::Server::HandlerResponse;
    if (req.method == "POST" && req.path == kAnswerPath) {
      const std::string encoding = req.get_header_value("Content-Encoding");
      const std::optional<uint64_t> length = DeclaredLength(req);
      if (!encoding.empty() && encoding != "identity") {
        RefuseAndClose(res, kUnsupportedMediaType, "compressed request bodies are not accepted");
      } else if (!length) {
        RefuseAndClose(res, kBadRequest, "the Content-Length is not a number");
      } else if (*length > kMaxRequestBytes) {
        RefuseAndClose(res, kPayloadTooLarge, LimitText());
      } else {
        return Outcome::Unhandled;
      }
      return Outcome::Handled;
    }
    if (CarriesBody(req)) {
      RefuseAndClose(res, kNotFound, "not found");
      return Outcome::Handled;
    }
    return Outcome::Unhandled;
  });

  server.Post(kAnswerPath,
              httplib::Server::HandlerWithContentReader(
                  [this](const httplib::Request&, httplib::Response& res,
                         const httplib::ContentReader& read) { AnswerPost(res, read); }));
  server.Get(kArchivePattern, [this](const httplib::Request& req, httplib::Response& res) {
    ServeArchive(req.matches[2], res);
  });

  server.set_exception_handler(
      [this](const httplib::Request&, httplib::Response& res, std::exception_ptr failure) {
        std::string why = "unknown error";
        try {
          std::rethrow_exception(failure);
        } catch (const std::exception& error) {
          why = error.what();
        } catch (...) {
        }
        log_("error: " + why);
        Refuse(res, kServerError, "the server failed: " + why);
      });

  server.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
    const size_t bytes = res.content_provider_ ? res.content_length_ : res.body.size();
    log_(req.remote_addr + " :" + std::to_string(req.local_port) + " " + EscapeForLog(req.method) +
         " " + EscapeForLog(req.path) + " " + std::to_string(res.status) + " " +
         std::to_string(bytes));
  });
}

}  // namespace klv::sus
