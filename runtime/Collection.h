// The runtime's Collection: an ordered list indexed from 1 whose items may
// carry a text key, compared without regard to letter case.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/RuntimeError.h"
#include "runtime/Strings.h"

namespace qx6 {

template <class T>
class Collection {
 public:
  int32_t Count() const noexcept { return static_cast<int32_t>(items_.size()); }

  // Appends an item without a key.
  void Add(T item) { Insert(Count() + 1, std::move(item)); }
  // Appends an item with a key; the empty text is a key like any other. A
  // key that is already present (in any letter case) fails with error 457
  // and adds nothing.
  void Add(T item, std::string_view key) { Insert(Count() + 1, std::move(item), key); }

  // Inserts before position `before` (1 to Count + 1); error 9 outside.
  void Insert(int32_t before, T item) { InsertKeyed(before, std::move(item), std::nullopt); }
  void Insert(int32_t before, T item, std::string_view key) {
    InsertKeyed(before, std::move(item), Strings::FoldCase(key));
  }

  // Error 9 when there is no such position or key.
  T& Item(int32_t index) {
    if (index < 1 || index > Count()) Raise(RuntimeErrorNumber::SubscriptOutOfRange);
    return items_[static_cast<size_t>(index - 1)];
  }
  const T& Item(int32_t index) const { return const_cast<Collection*>(this)->Item(index); }
  T& Item(std::string_view key) { return Item(IndexOfKey(key)); }
  const T& Item(std::string_view key) const { return const_cast<Collection*>(this)->Item(key); }

  bool Contains(std::string_view key) const { return IndexOfKey(key) != 0; }
  // 0 when absent.
  int32_t IndexOfKey(std::string_view key) const { return FindKey(Strings::FoldCase(key)); }

  void Remove(int32_t index) {
    if (index < 1 || index > Count()) Raise(RuntimeErrorNumber::SubscriptOutOfRange);
    items_.erase(items_.begin() + (index - 1));
    keys_.erase(keys_.begin() + (index - 1));
  }
  void Remove(std::string_view key) {
    int32_t index = IndexOfKey(key);
    if (index == 0) Raise(RuntimeErrorNumber::SubscriptOutOfRange);
    Remove(index);
  }

  void Clear() noexcept {
    items_.clear();
    keys_.clear();
  }
  void Reserve(size_t n) {
    items_.reserve(n);
    keys_.reserve(n);
  }

  auto begin() noexcept { return items_.begin(); }
  auto end() noexcept { return items_.end(); }
  auto begin() const noexcept { return items_.begin(); }
  auto end() const noexcept { return items_.end(); }

 private:
  void InsertKeyed(int32_t before, T item, std::optional<std::string> folded) {
    if (before < 1 || before > Count() + 1) Raise(RuntimeErrorNumber::SubscriptOutOfRange);
    if (folded && FindKey(*folded) != 0) Raise(RuntimeErrorNumber::DuplicateKey);
    items_.insert(items_.begin() + (before - 1), std::move(item));
    keys_.insert(keys_.begin() + (before - 1), std::move(folded));
  }
  int32_t FindKey(const std::string& folded) const {
    for (size_t i = 0; i < keys_.size(); ++i)
      if (keys_[i] == folded) return static_cast<int32_t>(i + 1);
    return 0;
  }

  std::vector<T> items_;
  std::vector<std::optional<std::string>> keys_;  // folded; none for an item without a key
};

}  // namespace qx6
