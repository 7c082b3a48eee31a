// Object lists: TObjectList (an ordered list that may own its items) and TSortedObjectList
// (kept ordered by a virtual compare, with a policy for equal items).
#pragma once

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "zip/zip_errors.h"

namespace klv::zip {

// "Index %d is out of range", the text of a list index error.
std::string IndexOutOfRangeText(long long index);

template <typename T>
class TObjectList {
 public:
  explicit TObjectList(bool owns_objects = true) : owns_objects_(owns_objects) {}
  virtual ~TObjectList() = default;
  TObjectList(const TObjectList&) = delete;
  TObjectList& operator=(const TObjectList&) = delete;

  int Count() const { return static_cast<int>(items_.size()); }
  int Capacity() const { return capacity_; }
  bool OwnsObjects() const { return owns_objects_; }
  // The item at `index`; EListError outside 0..Count()-1.
  T* Items(int index) const { return items_[Check(index)].get(); }
  // Replaces the item at `index` (the old one is destroyed when owned).
  virtual void Put(int index, std::unique_ptr<T> item) {
    items_[Check(index)] = Hold(item.release());
  }
  // Removes the item at `index`, destroying it when owned.
  void Delete(int index) { items_.erase(items_.begin() + Check(index)); }
  void Clear() { items_.clear(); }

 protected:
  struct Holder {
    bool owns = true;
    void operator()(T* item) const {
      if (owns) delete item;
    }
  };
  using Slot = std::unique_ptr<T, Holder>;

  Slot Hold(T* item) const { return Slot(item, Holder{owns_objects_}); }
  int Check(int index) const {
    if (index < 0 || index >= Count()) throw EListError(IndexOutOfRangeText(index));
    return index;
  }
  void Insert(int index, Slot slot) {
    if (Count() == capacity_) Grow();
    items_.insert(items_.begin() + index, std::move(slot));
  }
  // When full: by 4 below a capacity of 5, by 8 from 5 to 8, else by its rounded square root.
  void Grow() {
    const int delta = capacity_ < 5    ? 4
                      : capacity_ <= 8 ? 8
                                       : static_cast<int>(std::lround(std::sqrt(capacity_)));
    capacity_ += delta;
    items_.reserve(static_cast<size_t>(capacity_));
  }

  std::vector<Slot> items_;

 private:
  bool owns_objects_;
  int capacity_ = 0;
};

enum class TDuplicates { Ignore, Accept, Error };

template <typename T>
class TSortedObjectList : public TObjectList<T> {
 public:
  TSortedObjectList(bool owns_objects, TDuplicates duplicates)
      : TObjectList<T>(owns_objects), duplicates_(duplicates) {}

  // Inserts at the item's sorted position (binary search) and answers the index; `item` is
  // then held by the list. An equal item already there: Ignore answers -1 and leaves `item`
  // with the caller, Error raises EListError "Duplicate Object index", Accept inserts.
  int Add(std::unique_ptr<T>& item) {
    const int index = Position(*item);
    if (index >= 0) this->Insert(index, this->Hold(item.release()));
    return index;
  }
  // The same for an item the list does not own (a list created without ownership).
  int AddShared(T* item) {
    const int index = Position(*item);
    if (index >= 0) this->Insert(index, this->Hold(item));
    return index;
  }
  // A sorted list cannot take an item at a chosen place.
  void Put(int, std::unique_ptr<T>) override {
    throw EListError("Cannot <Put> an Object in a sorted list!");
  }

 protected:
  // <0, 0 or >0 as `a` sorts before, with or after `b`.
  virtual int Compare(const T& a, const T& b) const = 0;

 private:
  int Position(const T& item) const {
    int low = 0;
    int high = this->Count() - 1;
    bool found = false;
    while (high >= low) {
      const int mid = (low + high) / 2;
      const int order = Compare(*this->items_[mid], item);
      if (order < 0) {
        low = mid + 1;
      } else {
        high = mid - 1;
        if (order == 0) {
          found = true;
          if (duplicates_ != TDuplicates::Accept) low = mid;
        }
      }
    }
    if (found && duplicates_ == TDuplicates::Ignore) return -1;
    if (found && duplicates_ == TDuplicates::Error) throw EListError("Duplicate Object index");
    return low;
  }

  TDuplicates duplicates_;
};

}  // namespace klv::zip
