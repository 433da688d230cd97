#include "platform/rtl/Lists.h"

#include <algorithm>

#include "platform/rtl/Exceptions.h"
#include "platform/rtl/SysUtils.h"

namespace platform {

namespace {

[[noreturn]] void ListError(const char* format, int32_t value) {
  throw EListError(Format(format, static_cast<int>(value)));
}

constexpr const char* kIndexError = "List index out of bounds (%d)";

}  // namespace

// ---- TList

void TList::CheckIndex(int32_t Index) const {
  if (Index < 0 || Index >= Count()) ListError(kIndexError, Index);
}

void TList::Grow() {
  // Grow by a quarter for large lists, in small steps for short ones.
  const int32_t delta = capacity_ > 64 ? capacity_ / 4 : capacity_ > 8 ? 16 : 4;
  SetCapacity(capacity_ + delta);
}

int32_t TList::Add(void* Item) {
  if (Count() == capacity_) Grow();
  items_.push_back(Item);
  return Count() - 1;
}

void TList::Insert(int32_t Index, void* Item) {
  if (Index < 0 || Index > Count()) ListError(kIndexError, Index);
  if (Count() == capacity_) Grow();
  items_.insert(items_.begin() + Index, Item);
}

void TList::Delete(int32_t Index) {
  CheckIndex(Index);
  items_.erase(items_.begin() + Index);
}

int32_t TList::IndexOf(void* Item) const {
  const auto found = std::find(items_.begin(), items_.end(), Item);
  return found == items_.end() ? -1 : static_cast<int32_t>(found - items_.begin());
}

int32_t TList::Remove(void* Item) {
  const int32_t index = IndexOf(Item);
  if (index >= 0) Delete(index);
  return index;
}

void* TList::Extract(void* Item) {
  const int32_t index = IndexOf(Item);
  if (index < 0) return nullptr;
  Delete(index);
  return Item;
}

void TList::Clear() {
  items_.clear();
  items_.shrink_to_fit();
  capacity_ = 0;
}

void* TList::Get(int32_t Index) const {
  CheckIndex(Index);
  return items_[static_cast<size_t>(Index)];
}

void TList::Put(int32_t Index, void* Item) {
  CheckIndex(Index);
  items_[static_cast<size_t>(Index)] = Item;
}

void TList::Move(int32_t CurIndex, int32_t NewIndex) {
  if (CurIndex == NewIndex) return;
  CheckIndex(CurIndex);
  CheckIndex(NewIndex);
  void* item = items_[static_cast<size_t>(CurIndex)];
  items_.erase(items_.begin() + CurIndex);
  items_.insert(items_.begin() + NewIndex, item);
}

void TList::Exchange(int32_t Index1, int32_t Index2) {
  CheckIndex(Index1);
  CheckIndex(Index2);
  std::swap(items_[static_cast<size_t>(Index1)], items_[static_cast<size_t>(Index2)]);
}

void TList::Sort(const std::function<int(void*, void*)>& Compare) {
  std::stable_sort(items_.begin(), items_.end(),
                   [&](void* a, void* b) { return Compare(a, b) < 0; });
}

void TList::Pack() { std::erase(items_, nullptr); }

void TList::SetCount(int32_t NewCount) {
  if (NewCount < 0) ListError("List count out of bounds (%d)", NewCount);
  if (NewCount > capacity_) SetCapacity(NewCount);
  items_.resize(static_cast<size_t>(NewCount), nullptr);
}

void TList::SetCapacity(int32_t NewCapacity) {
  if (NewCapacity < Count()) ListError("List capacity out of bounds (%d)", NewCapacity);
  if (NewCapacity < capacity_) {
    items_.shrink_to_fit();
  }
  items_.reserve(static_cast<size_t>(NewCapacity));
  capacity_ = NewCapacity;
}

// ---- TStringList

void TStringList::CheckIndex(int32_t Index) const {
  if (Index < 0 || Index >= Count()) ListError(kIndexError, Index);
}

int32_t TStringList::Add(std::string S) { return AddObject(std::move(S), nullptr); }

int32_t TStringList::AddObject(std::string S, TObject* Object) {
  items_.push_back({std::move(S), Object});
  return Count() - 1;
}

void TStringList::Insert(int32_t Index, std::string S) {
  if (Index < 0 || Index > Count()) ListError(kIndexError, Index);
  items_.insert(items_.begin() + Index, TItem{std::move(S), nullptr});
}

void TStringList::Delete(int32_t Index) {
  CheckIndex(Index);
  items_.erase(items_.begin() + Index);
}

void TStringList::Clear() { items_.clear(); }

const std::string& TStringList::Strings(int32_t Index) const {
  CheckIndex(Index);
  return items_[static_cast<size_t>(Index)].String;
}

void TStringList::Put(int32_t Index, std::string S) {
  CheckIndex(Index);
  items_[static_cast<size_t>(Index)].String = std::move(S);
}

TObject* TStringList::Objects(int32_t Index) const {
  CheckIndex(Index);
  return items_[static_cast<size_t>(Index)].Object;
}

void TStringList::PutObject(int32_t Index, TObject* Object) {
  CheckIndex(Index);
  items_[static_cast<size_t>(Index)].Object = Object;
}

std::string TStringList::Text() const {
  std::string result;
  for (const TItem& item : items_) {
    result += item.String;
    result += LineBreak;
  }
  return result;
}

void TStringList::SetText(std::string_view Value) {
  items_.clear();
  size_t start = 0;
  while (start < Value.size()) {
    const size_t end = Value.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      Add(std::string(Value.substr(start)));
      break;
    }
    Add(std::string(Value.substr(start, end - start)));
    start = end + 1;
    if (Value[end] == '\r' && start < Value.size() && Value[start] == '\n') ++start;
  }
}

int32_t TStringList::IndexOf(std::string_view S) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    const std::string& item = items_[i].String;
    if (CaseSensitive ? item == S : SameText(item, S)) return static_cast<int32_t>(i);
  }
  return -1;
}

void TStringList::Assign(const TPersistent* Source) {
  if (const auto* list = dynamic_cast<const TStringList*>(Source)) {
    if (list != this) items_ = list->items_;
    return;
  }
  TPersistent::Assign(Source);
}

}  // namespace platform
