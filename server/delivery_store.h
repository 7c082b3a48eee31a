// What was sent to which computer, kept in an SQLite database so that a computer is offered
// each version of a component once, across restarts of the server.
#pragma once

#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "server/manifest.h"

struct sqlite3;

namespace klv::sus {

class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One recorded delivery.
struct Delivery {
  std::string target;
  std::string version;
  std::string archive;
  std::string sent_at;  // UTC, e.g. 2026-12-11T12:00:00Z
};

class DeliveryStore {
 public:
  // Opens or creates the database and its table. Throws StoreError.
  explicit DeliveryStore(const std::string& path);
  ~DeliveryStore();
  DeliveryStore(const DeliveryStore&) = delete;
  DeliveryStore& operator=(const DeliveryStore&) = delete;

  // The 0-based indexes of the manifest entries whose version was never sent to `computer`,
  // in manifest order, recorded as sent now in the same transaction. An empty computer name
  // identifies no machine: it is offered everything and nothing is recorded. Safe to call
  // from several threads. Throws StoreError.
  std::vector<size_t> OfferUnsent(const std::string& computer,
                                  const std::vector<ManifestEntry>& manifest);

  // Every delivery to `computer`, oldest first.
  std::vector<Delivery> History(const std::string& computer);

 private:
  struct Closer {
    void operator()(sqlite3* db) const;
  };
  void Execute(const char* sql);

  std::mutex mutex_;
  std::unique_ptr<sqlite3, Closer> db_;
};

}  // namespace klv::sus
