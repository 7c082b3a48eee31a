#include "server/delivery_store.h"

#include <sqlite3.h>

#include <set>
#include <utility>

namespace klv::sus {

namespace {

constexpr int kBusyTimeoutMs = 5000;

constexpr char kSchema[] =
    "CREATE TABLE IF NOT EXISTS deliveries ("
    " computer TEXT NOT NULL,"
    " target TEXT NOT NULL,"
    " version TEXT NOT NULL,"
    " archive TEXT NOT NULL,"
    " sent_at TEXT NOT NULL,"
    " PRIMARY KEY (computer, target, version))";
constexpr char kSelectSent[] = "SELECT target, version FROM deliveries WHERE computer = ?1";
constexpr char kInsert[] =
    "INSERT OR REPLACE INTO deliveries (computer, target, version, archive, sent_at)"
    " VALUES (?1, ?2, ?3, ?4, strftime('%Y-%m-%dT%H:%M:%SZ', 'now'))";
constexpr char kSelectHistory[] =
    "SELECT target, version, archive, sent_at FROM deliveries WHERE computer = ?1"
    " ORDER BY sent_at, rowid";

// A prepared statement, finalised when it goes out of scope.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr) != SQLITE_OK) {
      throw StoreError(std::string("cannot prepare a statement: ") + sqlite3_errmsg(db));
    }
  }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  void Bind(int index, const std::string& text) {
    if (sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT) != SQLITE_OK) {
      throw StoreError(std::string("cannot bind a value: ") + sqlite3_errmsg(db_));
    }
  }
  // True while a row is available.
  bool Step() {
    const int code = sqlite3_step(statement_);
    if (code == SQLITE_ROW) return true;
    if (code == SQLITE_DONE) return false;
    throw StoreError(std::string("database step failed: ") + sqlite3_errmsg(db_));
  }
  std::string Column(int index) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, index));
    return text ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(statement_, index)))
                : std::string();
  }
  void Reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }

 private:
  sqlite3* db_;
  sqlite3_stmt* statement_ = nullptr;
};

// Rolls the transaction back unless it was committed.
class Transaction {
 public:
  explicit Transaction(sqlite3* db) : db_(db) { Run("BEGIN IMMEDIATE"); }
  ~Transaction() {
    if (!committed_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit() {
    Run("COMMIT");
    committed_ = true;
  }

 private:
  void Run(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
      throw StoreError(std::string(sql) + " failed: " + sqlite3_errmsg(db_));
    }
  }
  sqlite3* db_;
  bool committed_ = false;
};

}  // namespace

void DeliveryStore::Closer::operator()(sqlite3* db) const {
  sqlite3_close(db);
}

DeliveryStore::DeliveryStore(const std::string& path) {
  sqlite3* db = nullptr;
  const int code =
      sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  db_.reset(db);  // sqlite3_open_v2 hands out a handle even when it fails
  if (code != SQLITE_OK) {
    throw StoreError("cannot open the database " + path + ": " +
                     (db ? sqlite3_errmsg(db) : "out of memory"));
  }
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  // A write-ahead log keeps readers and the one writer apart; NORMAL synchronisation still
  // survives a crash of the server, and a lost last record only means one more download.
  Execute("PRAGMA journal_mode=WAL");
  Execute("PRAGMA synchronous=NORMAL");
  Execute(kSchema);
}

DeliveryStore::~DeliveryStore() = default;

void DeliveryStore::Execute(const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db_.get(), sql, nullptr, nullptr, &message) != SQLITE_OK) {
    const std::string text = message ? message : "unknown error";
    sqlite3_free(message);
    throw StoreError(std::string("database statement failed: ") + text);
  }
}

std::vector<size_t> DeliveryStore::OfferUnsent(const std::string& computer,
                                               const std::vector<ManifestEntry>& manifest) {
  std::vector<size_t> offered;
  if (computer.empty()) {
    for (size_t i = 0; i < manifest.size(); ++i) offered.push_back(i);
    return offered;
  }
  const std::lock_guard lock(mutex_);
  Transaction transaction(db_.get());
  std::set<std::pair<std::string, std::string>> sent;
  {
    Statement select(db_.get(), kSelectSent);
    select.Bind(1, computer);
    while (select.Step()) sent.emplace(select.Column(0), select.Column(1));
  }
  Statement insert(db_.get(), kInsert);
  for (size_t i = 0; i < manifest.size(); ++i) {
    const ManifestEntry& entry = manifest[i];
    if (sent.count({entry.target, entry.version}) != 0) continue;
    offered.push_back(i);
    insert.Bind(1, computer);
    insert.Bind(2, entry.target);
    insert.Bind(3, entry.version);
    insert.Bind(4, entry.archive);
    insert.Step();
    insert.Reset();
  }
  transaction.Commit();
  return offered;
}

std::vector<Delivery> DeliveryStore::History(const std::string& computer) {
  const std::lock_guard lock(mutex_);
  std::vector<Delivery> history;
  Statement select(db_.get(), kSelectHistory);
  select.Bind(1, computer);
  while (select.Step()) {
    history.push_back({select.Column(0), select.Column(1), select.Column(2), select.Column(3)});
  }
  return history;
}

}  // namespace klv::sus
